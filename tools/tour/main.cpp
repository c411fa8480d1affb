// kovrit-tour: a guided tour of the client that leaves screenshots behind.
// Runs on any Qt platform; without a display use QT_QPA_PLATFORM=offscreen
// or xvfb-run.

#include "app/sprache.h"
#include "tour.h"

#include <QApplication>
#include <QIcon>

#include <clocale>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(kovrit);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/kovrit_24x24.ico")));
    std::setlocale(LC_NUMERIC, "C");
    Sprache::deutsch(&app);

    const QStringList args = QApplication::arguments();
    // The pictures in docs/ are taken at 1366x768, a common laptop screen.
    const QStringList groesse = args.value(2, QStringLiteral("1366x768")).split(QLatin1Char('x'));
    const QSize fenster(groesse.value(0).toInt(), groesse.value(1).toInt());
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(QLatin1Char('-')) || fenster.isEmpty()) {
        std::fprintf(stderr, "Aufruf: kovrit-tour BILDERORDNER [BREITExHOEHE]\n");
        return 2;
    }
    Tour tour(args[1], fenster);
    const bool ok = tour.run();
    for (const QString &bild : tour.bilder())
        std::printf("%s\n", qPrintable(bild));
    if (!ok)
        std::fprintf(stderr, "kovrit-tour: %s\n", qPrintable(tour.fehler()));
    return ok ? 0 : 1;
}

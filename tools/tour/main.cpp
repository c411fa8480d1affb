// kovrit-tour: a guided tour of the client that leaves screenshots behind.
// Runs on any Qt platform; without a display use QT_QPA_PLATFORM=offscreen
// or xvfb-run.

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

    const QStringList args = QApplication::arguments();
    if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "Aufruf: kovrit-tour BILDERORDNER\n");
        return 2;
    }
    Tour tour(args[1]);
    const bool ok = tour.run();
    for (const QString &bild : tour.bilder())
        std::printf("%s\n", qPrintable(bild));
    if (!ok)
        std::fprintf(stderr, "kovrit-tour: %s\n", qPrintable(tour.fehler()));
    return ok ? 0 : 1;
}

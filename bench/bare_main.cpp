// kovrit-bench-bare: the floor of start-up and memory, a QMainWindow that
// shows what the login screen shows, built plainly: the window icon, a menu
// bar with the four menu titles, one form of the login widgets in a group
// box, a status bar with "Offline" and the machine's state. Linked against
// the same Qt modules as the client (loading them is the toolkit's cost, not
// kovrit's).
//   kovrit-bench-bare startup <spawn ns> <config>   (config is ignored)
//   kovrit-bench-bare memory

#include "benchapp.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    alarm(120); // never hold up the benchmark that started it
    const bool startup = argc >= 3 && !std::strcmp(argv[1], "startup");
    const bool memory = argc >= 2 && !std::strcmp(argv[1], "memory");
    if (!startup && !memory) {
        std::fprintf(stderr, "usage: %s startup <ns> [config] | memory\n", argv[0]);
        return 2;
    }
    const qint64 gestartet = startup ? std::atoll(argv[2]) : 0;
    BenchApp app(argc, argv);

    QApplication::setWindowIcon(QIcon(QStringLiteral(KOVRIT_BENCH_ICON)));
    QMainWindow fenster;
    fenster.setWindowTitle(QStringLiteral("kovrit - Quilvo RM3"));
    for (const char *titel : { "&Datei", "&Maschine", "&Ansicht", "?" })
        fenster.menuBar()->addMenu(QString::fromUtf8(titel));
    auto *seite = new QWidget;
    auto *gruppe = new QGroupBox(QStringLiteral("Login"));
    (new QVBoxLayout(seite))->addWidget(gruppe);
    auto *layout = new QFormLayout(gruppe);
    auto *wahl = new QComboBox;
    wahl->addItem(QStringLiteral("Bitte Wettkampf wählen!"));
    layout->addRow(QStringLiteral("Wettkampf"), wahl);
    layout->addRow(QStringLiteral("Benutzername"), new QLineEdit);
    auto *passwort = new QLineEdit;
    passwort->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Passwort"), passwort);
    layout->addRow(new QPushButton(QStringLiteral("Anmelden")));
    fenster.setCentralWidget(seite);
    fenster.statusBar()->showMessage(QStringLiteral("Offline"));
    fenster.statusBar()->addPermanentWidget(new QLabel(QStringLiteral("Maschine: getrennt")));

    if (startup) {
        fenster.showMaximized();
    } else {
        fenster.resize(1920, 1080);
        fenster.show();
    }
    app.pumpUntil([&] { return app.paintedAt(&fenster) > 0; }, 60000);
    if (startup)
        std::printf("%lld\n", static_cast<long long>(app.paintedAt(&fenster) - gestartet));
    else
        std::printf("%lld\n", static_cast<long long>(peakRssKiB()));
    std::fflush(stdout);
    std::_Exit(0);
}

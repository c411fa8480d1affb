// kovrit-bench-bare: the floor of start-up and memory, a QMainWindow with one
// plain form of the login screen's widgets, linked against the same Qt
// modules as the client (loading them is the toolkit's cost, not kovrit's).
//   kovrit-bench-bare startup <spawn ns> <config>   (config is ignored)
//   kovrit-bench-bare memory

#include "benchapp.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

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

    QMainWindow fenster;
    auto *form = new QWidget;
    auto *layout = new QFormLayout(form);
    auto *wahl = new QComboBox;
    wahl->addItem(QStringLiteral("Wettkampf"));
    layout->addRow(QStringLiteral("Wettkampf"), wahl);
    layout->addRow(QStringLiteral("Benutzer"), new QLineEdit);
    auto *passwort = new QLineEdit;
    passwort->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Passwort"), passwort);
    layout->addRow(new QPushButton(QStringLiteral("Anmelden")));
    fenster.setCentralWidget(form);

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

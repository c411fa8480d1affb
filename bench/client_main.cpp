// kovrit-bench-client: the client as the station runs it, linked like the
// kovrit program (kovrit_core only), for the start-up and memory figures.
//   kovrit-bench-client startup <spawn ns> <config>
//       prints ns from spawn to the first finished frame of the login screen
//   kovrit-bench-client memory <server url> <cards>
//       runs a session of that many cards and prints peak RSS, RSS after card
//       20 and RSS after the last card, in KiB

#include "benchapp.h"
#include "sitzung.h"

#include "app/mainwindow.h"
#include "app/sprache.h"

#include <QIcon>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

// What main() does before the window exists.
// (Outside any namespace: the resource initialiser is a global function.)
static void wieMain()
{
    Q_INIT_RESOURCE(kovrit);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/kovrit_24x24.ico")));
    std::setlocale(LC_NUMERIC, "C");
    Sprache::deutsch(qApp);
}

namespace {

int startup(BenchApp &app, qint64 gestartet, const QString &config)
{
    wieMain();
    MainWindow fenster(nullptr, config);
    fenster.showMaximized();
    app.pumpUntil([&] { return app.paintedAt(&fenster) > 0; }, 60000);
    std::printf("%lld\n", static_cast<long long>(app.paintedAt(&fenster) - gestartet));
    std::fflush(stdout);
    // The competition list request is still open; leave without waiting for it.
    std::_Exit(0);
}

int memory(BenchApp &app, const QString &url, int karten)
{
    wieMain();
    Sitzung sitzung(app, url);
    if (!sitzung.start(1920, 1080))
        return 1;
    qint64 nach20 = 0;
    for (int k = 0; k < karten; ++k) {
        double ns;
        if (!sitzung.karte(ServerProzess::ErsteKarte + quint32(k), &ns))
            return 1;
        for (unsigned i = 0; i < 10; ++i)
            if (!sitzung.schuss(i, &ns))
                return 1;
        if (!sitzung.gespeichert())
            return 1;
        if (k + 1 == 20)
            nach20 = rssKiB();
    }
    std::printf("%lld %lld %lld\n", static_cast<long long>(peakRssKiB()), static_cast<long long>(nach20),
                static_cast<long long>(rssKiB()));
    std::fflush(stdout);
    std::_Exit(0);
}

} // namespace

int main(int argc, char **argv)
{
    // A run that hangs (an error box waiting for a click, say) must not
    // hold up the benchmark that started it.
    alarm(120);
    if (argc >= 4 && !std::strcmp(argv[1], "startup")) {
        const qint64 gestartet = std::atoll(argv[2]);
        const QString config = QString::fromLocal8Bit(argv[3]);
        BenchApp app(argc, argv);
        return startup(app, gestartet, config);
    }
    if (argc >= 4 && !std::strcmp(argv[1], "memory")) {
        const QString url = QString::fromLocal8Bit(argv[2]);
        const int karten = std::atoi(argv[3]);
        BenchApp app(argc, argv);
        return memory(app, url, karten);
    }
    std::fprintf(stderr, "usage: %s startup <ns> <config> | memory <url> <cards>\n", argv[0]);
    return 2;
}

// The server child process of the benchmarks.

#include "sitzung.h"

#include "kovritserver.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

int serverMain(int argc, char **argv, int karten)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    KovritServer server;
    if (!server.open(dir.filePath(QStringLiteral("bench.sqlite"))))
        return 1;
    server.setStationToken(QString::fromLatin1(ServerProzess::Token));
    const quint32 wettkampf = server.addCompetition(QStringLiteral("Benchmark"));
    server.addUser(QString::fromLatin1(ServerProzess::User), QString::fromLatin1(ServerProzess::Password));
    for (int i = 0; i < karten; ++i) {
        KovritServer::CardSpec karte;
        karte.competitionId = wettkampf;
        karte.nummer = ServerProzess::ErsteKarte + quint32(i);
        karte.events = QStringList { QStringLiteral("Luftgewehr Herren") };
        if (!server.addCard(karte))
            return 1;
    }
    if (!server.listen())
        return 1;
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    QSocketNotifier ende(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&ende, &QSocketNotifier::activated, &app, [&] {
        char c;
        if (::read(STDIN_FILENO, &c, 1) <= 0)
            app.quit();
    });
    return app.exec();
}

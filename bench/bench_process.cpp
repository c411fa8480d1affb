// Start-up and memory: each run is a fresh process, beside the same bare
// window as floor.

#include "benchapp.h"
#include "sitzung.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString configDatei(const QString &dir, const QString &url)
{
    const QString pfad = dir + QStringLiteral("/config.json");
    QFile f(pfad);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("{\"url\": \"%1\", \"jwt\": \"%2\", \"port\": \"/dev/null-kovrit-bench\"}")
                .arg(url, QString::fromLatin1(ServerProzess::Token))
                .toUtf8());
    return pfad;
}

// Runs a sibling executable and reads the numbers it prints.
QList<qint64> kindZahlen(const char *programm, const QStringList &argumente)
{
    QProcess kind;
    kind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kind.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(programm),
               argumente);
    kind.waitForFinished(120000);
    QList<qint64> zahlen;
    for (const QByteArray &w : kind.readAllStandardOutput().simplified().split(' '))
        if (!w.isEmpty())
            zahlen.append(w.toLongLong());
    return zahlen;
}

} // namespace

int benchStartup(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A server that accepts the connection and never answers: the list is
    // requested but no reply (and no error box) arrives while measuring.
    QTcpServer stumm;
    stumm.listen(QHostAddress::LocalHost);
    QTemporaryDir dir;
    const QString config
        = configDatei(dir.path(), QStringLiteral("http://127.0.0.1:%1/quilvo").arg(stumm.serverPort()));
    // Each pair runs back to back, in alternating order, and is judged by its
    // own ratio: a neighbour's load that comes and goes hits both of a pair
    // alike and neither first one more than the other.
    QList<double> appMs, bareMs, ratios;
    for (int i = 0; i < 41; ++i) {
        const char *const erster = i % 2 ? "bare" : "app";
        const char *const zweiter = i % 2 ? "app" : "bare";
        for (const char *modus : { erster, zweiter }) {
            const qint64 t0 = BenchApp::now();
            const bool appModus = qstrcmp(modus, "app") == 0;
            const QList<qint64> z = kindZahlen(appModus ? "kovrit-bench-client" : "kovrit-bench-bare",
                                               { QStringLiteral("startup"), QString::number(t0), config });
            if (z.size() != 1 || z.at(0) <= 0) {
                std::fprintf(stderr, "startup: child failed\n");
                return 1;
            }
            if (i == 0)
                continue; // warms the file cache
            (appModus ? appMs : bareMs).append(z.at(0) / 1e6);
        }
        if (i > 0)
            ratios.append(appMs.last() / bareMs.last());
    }
    const double a = median(appMs);
    const double b = median(bareMs);
    const double ratio = median(ratios);
    std::printf(
        "start-up: kovrit median %.1f ms, bare window median %.1f ms, median ratio of the pairs %.2f\n", a, b,
        ratio);
    result("start-up (to login screen shown, list requested)",
           QStringLiteral("%1 ms (%2 x floor)").arg(a, 0, 'f', 1).arg(ratio, 0, 'f', 2),
           QStringLiteral("%1 ms").arg(b, 0, 'f', 1), QStringLiteral("<= 1.1 x floor"), ratio <= 1.1);
    return 0;
}

int benchMemory(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int karten = 100;
    ServerProzess server;
    if (!server.start(QCoreApplication::applicationFilePath(), karten)) {
        std::fprintf(stderr, "memory: server did not start\n");
        return 1;
    }
    const QList<qint64> a = kindZahlen("kovrit-bench-client",
                                       { QStringLiteral("memory"), server.url(), QString::number(karten) });
    const QList<qint64> b = kindZahlen("kovrit-bench-bare", { QStringLiteral("memory") });
    if (a.size() != 3 || b.size() != 1) {
        std::fprintf(stderr, "memory: child failed\n");
        return 1;
    }
    const double ratio = double(a.at(0)) / double(b.at(0));
    const double proKarte = double(a.at(2) - a.at(1)) / (karten - 20);
    std::printf("memory: peak RSS %lld KiB after %d cards, bare window %lld KiB, ratio %.2f; "
                "RSS %lld KiB after card 20, %lld KiB after card %d (%.1f KiB/card)\n",
                static_cast<long long>(a.at(0)), karten, static_cast<long long>(b.at(0)), ratio,
                static_cast<long long>(a.at(1)), static_cast<long long>(a.at(2)), karten, proKarte);
    result("memory (peak RSS, 100-card session)",
           QStringLiteral("%1 MiB (%2 x floor)").arg(a.at(0) / 1024.0, 0, 'f', 1).arg(ratio, 0, 'f', 2),
           QStringLiteral("%1 MiB").arg(b.at(0) / 1024.0, 0, 'f', 1), QStringLiteral("<= 1.2 x floor"),
           ratio <= 1.2);
    // What 80 more cards add, against what the toolkit alone needs.
    const double wachstum = double(a.at(2) - a.at(1)) / double(b.at(0));
    result("memory growth per card (cards 21-100)",
           QStringLiteral("%1 KiB/card (%2% of floor over 80 cards)")
               .arg(proKarte, 0, 'f', 1)
               .arg(wachstum * 100.0, 0, 'f', 2),
           QStringLiteral("%1 MiB").arg(b.at(0) / 1024.0, 0, 'f', 1), QStringLiteral("<= 1% of floor"),
           wachstum <= 0.01);
    return 0;
}

// Shot to screen and card to screen, through a real MainWindow with its
// machine on a pty and the server stand-in in a child process.

#include "benchapp.h"
#include "sitzung.h"

#include <cstdio>

int benchScreen(int argc, char **argv)
{
    BenchApp app(argc, argv);
    const int karten = 41; // the first one warms up
    ServerProzess server;
    if (!server.start(QCoreApplication::applicationFilePath(), karten)) {
        std::fprintf(stderr, "screen: server did not start\n");
        return 1;
    }
    Sitzung sitzung(app, server.url());
    if (!sitzung.start(1920, 1080)) {
        std::fprintf(stderr, "screen: session did not start\n");
        return 1;
    }
    QList<double> kartenMs, schussMs;
    for (int k = 0; k < karten; ++k) {
        double ns = 0;
        if (!sitzung.karte(ServerProzess::ErsteKarte + quint32(k), &ns)) {
            std::fprintf(stderr, "screen: card %d not shown\n", k);
            return 1;
        }
        if (k > 0)
            kartenMs.append(ns / 1e6);
        for (unsigned i = 0; i < 10; ++i) {
            if (!sitzung.schuss(i, &ns)) {
                std::fprintf(stderr, "screen: shot %u of card %d not shown\n", i, k);
                return 1;
            }
            if (k > 0)
                schussMs.append(ns / 1e6);
        }
        if (!sitzung.gespeichert()) {
            std::fprintf(stderr, "screen: card %d not saved\n", k);
            return 1;
        }
    }
    const double sMed = median(schussMs);
    const double sP99 = percentile(schussMs, 99.0);
    const double kMed = median(kartenMs);
    std::printf("shot to screen: %lld shots, median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                static_cast<long long>(schussMs.size()), sMed, sP99, percentile(schussMs, 100.0));
    std::printf("card to screen: %lld cards, median %.2f ms, max %.2f ms\n",
                static_cast<long long>(kartenMs.size()), kMed, percentile(kartenMs, 100.0));
    // The limit is the display: a 60 Hz screen shows a new picture every
    // 16.7 ms. A shot or a card is on time when it is drawn before the next
    // refresh; a typical shot leaves most of the frame to everything else.
    const double frameMs = 1000.0 / 60.0;
    const QString frame = QStringLiteral("%1 ms frame (60 Hz)").arg(frameMs, 0, 'f', 1);
    const auto ms = [&](double v) {
        return QStringLiteral("%1 ms (%2 frame)").arg(v, 0, 'f', 2).arg(v / frameMs, 0, 'f', 2);
    };
    result("shot to screen (10-target card, 1920x1080)",
           QStringLiteral("median %1, p99 %2").arg(ms(sMed), ms(sP99)), frame,
           QStringLiteral("median <= 1/8 frame, p99 <= 1/4 frame"),
           sMed <= frameMs / 8 && sP99 <= frameMs / 4);
    result("card to screen (10-target card, 1920x1080)", QStringLiteral("median %1").arg(ms(kMed)), frame,
           QStringLiteral("median <= 1/2 frame"), kMed <= frameMs / 2);
    return 0;
}

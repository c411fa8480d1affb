// Line handling: ns per shot line through framing and parsing, fed through
// the same entry every byte read from the port takes.

#include "benchapp.h"

#include "common/ptypair.h"
#include "machine/maschine.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>

namespace {

void verwerfen(QtMsgType, const QMessageLogContext &, const QString &) { }

// ns per line over many batches of lines; median of the batches.
double messen(MaschineRm3 &maschine, const QByteArray &block, int zeilen, int runden)
{
    QList<double> proZeile;
    QElapsedTimer uhr;
    for (int r = 0; r < runden; ++r) {
        maschine.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Scheibe(9), MaschineRm3::SerieAus,
                                  MaschineRm3::Teilerfaktor(2), quint32(zeilen), QString());
        uhr.start();
        maschine.verarbeiteBytes(block);
        proZeile.append(double(uhr.nsecsElapsed()) / zeilen);
    }
    return median(proZeile);
}

} // namespace

int benchLine(int argc, char **argv)
{
    BenchApp app(argc, argv);
    PtyPair pty;
    MaschineRm3 maschine(pty.slavePath());
    quint64 schuesse = 0;
    QObject::connect(&maschine, &MaschineRm3::schuss, [&] { ++schuesse; });
    maschine.verbinden();
    maschine.verarbeiteBytes(QByteArrayLiteral("RM3\r"));
    if (maschine.zustand() != MaschineRm3::Verbunden) {
        std::fprintf(stderr, "line: machine link not up\n");
        return 1;
    }

    const QByteArray zeile = QByteArrayLiteral("F0;10.3;125.4;+0.412;-0.221;-\r");
    const int zeilen = 1000;
    QByteArray block;
    for (int i = 0; i < zeilen; ++i)
        block += zeile;

    // The figure: framing and parsing with the information log filtered out
    // by the logging rules, as a station run with QT_LOGGING_RULES does.
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    messen(maschine, block, zeilen, 20); // warm-up
    const double gefiltert = messen(maschine, block, zeilen, 200);

    // For the record: with every line logged to a message handler that drops
    // it (formatting counted, no terminal write).
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(verwerfen);
    const double protokolliert = messen(maschine, block, zeilen, 100);
    qInstallMessageHandler(nullptr);

    if (schuesse < quint64(zeilen) * 300) {
        std::fprintf(stderr, "line: only %llu of the lines became shots\n", schuesse);
        return 1;
    }
    std::printf("line handling: %.0f ns/line with the log filtered, %.0f ns/line with every line logged "
                "(%d-byte lines)\n",
                gefiltert, protokolliert, int(zeile.size()));
    // The limit is the wire: at 2400 baud with start and stop bit a byte
    // takes 10 bits, so this line takes 125 ms to arrive. The client's share
    // of that must stay negligible however busy the machine is.
    const double drahtNs = double(zeile.size()) * 10.0 / 2400.0 * 1e9;
    const QString draht = QStringLiteral("%1 ms wire time (%2 bytes, 2400 baud)")
                              .arg(drahtNs / 1e6, 0, 'f', 0)
                              .arg(zeile.size());
    const auto zahl = [&](double ns) {
        return QStringLiteral("%1 ns/line (1/%2 of wire)").arg(ns, 0, 'f', 0).arg(drahtNs / ns, 0, 'f', 0);
    };
    result("line handling (log filtered)", zahl(gefiltert), draht, QStringLiteral("<= 1/100000 of wire"),
           gefiltert * 100000.0 <= drahtNs);
    result("line handling (log formatted)", zahl(protokolliert), draht, QStringLiteral("<= 1/100000 of wire"),
           protokolliert * 100000.0 <= drahtNs);
    return 0;
}

#include "machine/maschine.h"

#include "common/ptypair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Lines handed to the line handling, as its diagnostics report them.
QStringList gemeldeteZeilen;

void sammleZeilen(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    static const QString prefix = QStringLiteral("MaschineRm3::onLineReceived: ");
    if (msg.startsWith(prefix)) {
        if (!msg.endsWith(QLatin1String("CR>")))
            gemeldeteZeilen.append(msg.mid(prefix.size()));
    } else {
        fprintf(stderr, "%s\n", qPrintable(msg));
    }
}

struct Schuss
{
    quint32 nummer;
    bool valid;
    double ringe;
    double teiler;
    double x;
    double y;
    bool zweifelhaft;
};

Schuss schussAus(const QList<QVariant> &args)
{
    return Schuss { args.at(0).toUInt(),   args.at(1).toBool(),   args.at(2).toDouble(),
                    args.at(3).toDouble(), args.at(4).toDouble(), args.at(5).toDouble(),
                    args.at(6).toBool() };
}

const QString handshakeText(const QString &port)
{
    return QStringLiteral("Verbingunsaufbau zur Auswertmaschine via '") + port
        + QStringLiteral("' fehlgeschlagen!");
}

const QString portText(const QString &port)
{
    return QStringLiteral("Serieller Port '") + port
        + QStringLiteral("' konnte nicht geöffnet werden! Bitte überprüfen Sie Ihre PORT Einstellung in "
                         "'config.json' und starten Sie das Programm neu!");
}

const QString unterbrochenText(const QString &port)
{
    return QStringLiteral("Verbindung zur Auswertmaschine via '") + port + QStringLiteral("' unterbrochen!");
}

} // namespace

Q_DECLARE_METATYPE(MaschineRm3::Waffe)
Q_DECLARE_METATYPE(MaschineRm3::Scheibe)
Q_DECLARE_METATYPE(MaschineRm3::Serie)

class TestMaschine : public QObject
{
    Q_OBJECT

private:
    // Opens the link on the pty and completes the handshake.
    void verbinde(PtyPair &pty, MaschineRm3 &m, bool portSetzen = true)
    {
        if (portSetzen)
            m.setSerialPort(pty.slavePath());
        m.verbinden();
        QCOMPARE(m.zustand(), 1);
        QTRY_COMPARE(pty.received(), QByteArray("V\r"));
        pty.write("RM3\r");
        QTRY_COMPARE(m.zustand(), 2);
        pty.clearReceived();
    }

    // Connected link with a card of n shots announced.
    void karte(PtyPair &pty, MaschineRm3 &m, quint32 n, bool portSetzen = true)
    {
        verbinde(pty, m, portSetzen);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), n, QString()));
        QCOMPARE(m.schussSoll(), n);
        QTRY_VERIFY(pty.received().endsWith('\r'));
        pty.clearReceived();
    }

private slots:
    void init()
    {
        gemeldeteZeilen.clear();
        qInstallMessageHandler(sammleZeilen);
    }
    void cleanup() { qInstallMessageHandler(nullptr); }

    void framing_data()
    {
        QTest::addColumn<QList<QByteArray>>("stuecke");
        QTest::addColumn<QStringList>("zeilen");

        QTest::newRow("one line") << QList<QByteArray> { "abc\r" } << QStringList { "abc" };
        QTest::newRow("no CR yet") << QList<QByteArray> { "abc" } << QStringList {};
        QTest::newRow("empty line") << QList<QByteArray> { "\r" } << QStringList { "" };
        QTest::newRow("two empty lines") << QList<QByteArray> { "\r\r" } << QStringList { "", "" };
        QTest::newRow("LF kept") << QList<QByteArray> { "a\nb\n\r" } << QStringList { "a\nb\n" };
        QTest::newRow("CR LF") << QList<QByteArray> { "a\r\nb\r" } << QStringList { "a", "\nb" };
        QTest::newRow("split over reads")
            << QList<QByteArray> { "SCH", "EI", "BE\rEN", "DE\r" } << QStringList { "SCHEIBE", "ENDE" };
        QTest::newRow("63 bytes kept")
            << QList<QByteArray> { QByteArray(63, 'a') + "\r" } << QStringList { QString(63, 'a') };
        QTest::newRow("100 bytes cut to 63")
            << QList<QByteArray> { QByteArray(63, 'a') + QByteArray(37, 'b') + "\rnext\r" }
            << QStringList { QString(63, 'a'), "next" };
        QTest::newRow("zero byte ends the logged text")
            << QList<QByteArray> { QByteArray("ab\0cd\r", 6) } << QStringList { "ab" };
    }
    void framing()
    {
        QFETCH(QList<QByteArray>, stuecke);
        QFETCH(QStringList, zeilen);
        MaschineRm3 m;
        for (const QByteArray &s : stuecke)
            m.verarbeiteBytes(s);
        QCOMPARE(gemeldeteZeilen, zeilen);
    }

    // The same framing over a real port, bytes arriving in pieces.
    void framingOverPort()
    {
        PtyPair pty;
        QVERIFY(pty.ok());
        MaschineRm3 m;
        karte(pty, m, 3);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        gemeldeteZeilen.clear();
        pty.write("1;9.7;1");
        QTest::qWait(50);
        pty.write("45;0.05;-0.1;\r2;8.0;400;1;1;\r");
        QTRY_COMPARE(schuesse.size(), 2);
        QCOMPARE(gemeldeteZeilen, (QStringList { "1;9.7;145;0.05;-0.1;", "2;8.0;400;1;1;" }));
        const Schuss s = schussAus(schuesse.at(0));
        QCOMPARE(s.ringe, 9.7);
        QCOMPARE(s.teiler, 145.0);
    }

    // Bytes beyond the 63rd are lost, so separators there do not count; a
    // zero byte is an ordinary data byte.
    void framingCutsShotLines_data()
    {
        QTest::addColumn<QByteArray>("zeile");
        QTest::addColumn<bool>("angenommen");
        QTest::addColumn<double>("y");

        const QByteArray f0(43, 'x');
        const QByteArray normal = f0 + ";9.7;145;0.05;-0.12345;"; // 66 bytes: F5 lies beyond the cut
        QTest::newRow("fifth separator beyond byte 63") << normal << false << 0.0;
        const QByteArray passt = QByteArray(40, 'x') + ";9.7;145;0.05;-0.12345;M"; // 64 bytes, cut to 63
        QTest::newRow("marker cut off") << passt << true << -0.12345;
        QTest::newRow("zero byte in F0") << QByteArray("\0"
                                                       "1;9.7;145;0.05;-0.5;",
                                                       21)
                                         << true << -0.5;
        QTest::newRow("zero byte in y") << QByteArray("1;9.7;145;0.05;-0.\0"
                                                      "5;",
                                                      21)
                                        << true << 0.0;
    }
    void framingCutsShotLines()
    {
        QFETCH(QByteArray, zeile);
        QFETCH(bool, angenommen);
        QFETCH(double, y);
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 3);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.verarbeiteBytes(zeile + '\r');
        QCOMPARE(schuesse.size(), angenommen ? 1 : 0);
        if (angenommen) {
            const Schuss s = schussAus(schuesse.at(0));
            QCOMPARE(s.y, y);
            QVERIFY(!s.zweifelhaft);
        }
    }

    void shotGrammar_data()
    {
        QTest::addColumn<QByteArray>("zeile");
        QTest::addColumn<bool>("angenommen");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("ringe");
        QTest::addColumn<double>("teiler");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<bool>("zweifelhaft");

        QTest::newRow("plain") << QByteArray("1;9.7;145;0.05;-0.1;") << true << true << 9.7 << 145.0 << 0.05
                               << -0.1 << false;
        QTest::newRow("four separators")
            << QByteArray("1;9.7;145;0.05;-0.1") << false << false << 0.0 << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("six separators")
            << QByteArray("1;9.7;145;0.05;-0.1;;") << false << false << 0.0 << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("10 bytes too short")
            << QByteArray("1;9;1;0;0;") << false << false << 0.0 << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("11 bytes enough")
            << QByteArray("1;9;1;0;0;M") << true << true << 9.0 << 1.0 << 0.0 << 0.0 << true;
        QTest::newRow("doubtful M") << QByteArray("1;9.7;145;0.05;-0.1;M") << true << true << 9.7 << 145.0
                                    << 0.05 << -0.1 << true;
        QTest::newRow("M with more text")
            << QByteArray("1;9.7;145;0.05;-0.1;Mxx") << true << true << 9.7 << 145.0 << 0.05 << -0.1 << true;
        QTest::newRow("M not first") << QByteArray("1;9.7;145;0.05;-0.1; M") << true << true << 9.7 << 145.0
                                     << 0.05 << -0.1 << false;
        QTest::newRow("lower-case m")
            << QByteArray("1;9.7;145;0.05;-0.1;m") << true << true << 9.7 << 145.0 << 0.05 << -0.1 << false;
        QTest::newRow("rings dash") << QByteArray("1;-;145;0.05;-0.1;") << true << false << -1.0 << 145.0
                                    << 0.05 << -0.1 << true;
        QTest::newRow("rings empty") << QByteArray("1;;145;0.05;-0.1;") << true << false << -1.0 << 145.0
                                     << 0.05 << -0.1 << true;
        QTest::newRow("rings leading blank")
            << QByteArray("1; 9.7;145;0.05;-0.1;") << true << false << -1.0 << 145.0 << 0.05 << -0.1 << true;
        QTest::newRow("rings plus sign")
            << QByteArray("1;+9.7;145;0.05;-0.1;") << true << false << -1.0 << 145.0 << 0.05 << -0.1 << true;
        QTest::newRow("rings comma stops")
            << QByteArray("1;9,7;145;0.05;-0.1;") << true << true << 9.0 << 145.0 << 0.05 << -0.1 << false;
        QTest::newRow("rings exponent")
            << QByteArray("1;1e1;145;0.05;-0.1;") << true << true << 10.0 << 145.0 << 0.05 << -0.1 << false;
        QTest::newRow("teiler x") << QByteArray("1;9.7;x;0.05;-0.1;") << true << true << 9.7 << -1.0 << 0.05
                                  << -0.1 << false;
        QTest::newRow("teiler empty")
            << QByteArray("1;9.7;;0.05;-0.1;") << true << true << 9.7 << -1.0 << 0.05 << -0.1 << false;
        QTest::newRow("teiler trailing text")
            << QByteArray("1;9.7;12abc;0.05;-0.1;") << true << true << 9.7 << 12.0 << 0.05 << -0.1 << false;
        QTest::newRow("teiler minus")
            << QByteArray("1;9.7;-12;0.05;-0.1;") << true << true << 9.7 << -1.0 << 0.05 << -0.1 << false;
        QTest::newRow("x y signs and exponents") << QByteArray("1;9.7;145;+1.5e1;-2.5E-1;") << true << true
                                                 << 9.7 << 145.0 << 15.0 << -0.25 << false;
        QTest::newRow("x y leading blanks") << QByteArray("1;9.7;145;  3.25; \t-.5;") << true << true << 9.7
                                            << 145.0 << 3.25 << -0.5 << false;
        QTest::newRow("x y without digits")
            << QByteArray("1;9.7;145;abc;;") << true << true << 9.7 << 145.0 << 0.0 << 0.0 << false;
        QTest::newRow("F0 free text")
            << QByteArray("Nr 12 Karte 3;10.9;0;0;0;") << true << true << 10.9 << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("rings overflow")
            << QByteArray("1;1e999;145;0.05;-0.1;") << true << false << -1.0 << 145.0 << 0.05 << -0.1 << true;
        QTest::newRow("teiler overflow")
            << QByteArray("1;9.7;9e999;0.05;-0.1;") << true << true << 9.7 << -1.0 << 0.05 << -0.1 << false;
        QTest::newRow("x infinite") << QByteArray("1;9.7;145;inf;-0.1;") << true << false << -1.0 << 145.0
                                    << 0.0 << 0.0 << true;
        QTest::newRow("y not a number")
            << QByteArray("1;9.7;145;0.05;nan;") << true << false << -1.0 << 145.0 << 0.0 << 0.0 << true;
        QTest::newRow("y overflow") << QByteArray("1;9.7;145;0.05;-1e400;") << true << false << -1.0 << 145.0
                                    << 0.0 << 0.0 << true;
        QTest::newRow("LF in F5") << QByteArray("1;9.7;145;0.05;-0.1;\n") << true << true << 9.7 << 145.0
                                  << 0.05 << -0.1 << false;
    }
    void shotGrammar()
    {
        QFETCH(QByteArray, zeile);
        QFETCH(bool, angenommen);
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 5);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.verarbeiteBytes(zeile + '\r');
        QCOMPARE(schuesse.size(), angenommen ? 1 : 0);
        QCOMPARE(m.schusszahl(), angenommen ? 1u : 0u);
        if (!angenommen)
            return;
        const Schuss s = schussAus(schuesse.at(0));
        QCOMPARE(s.nummer, 0u);
        QTEST(s.valid, "valid");
        QTEST(s.ringe, "ringe");
        QTEST(s.teiler, "teiler");
        QTEST(s.x, "x");
        QTEST(s.y, "y");
        QTEST(s.zweifelhaft, "zweifelhaft");
    }

    // The fields are read with "." whatever locale the process runs in.
    void shotGrammarIgnoresProcessLocale()
    {
        const std::string vorher = std::setlocale(LC_NUMERIC, nullptr);
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
            QSKIP("no German locale installed");
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 1);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.verarbeiteBytes("1;9.7;145.5;0.05;-0.1;\r");
        std::setlocale(LC_NUMERIC, vorher.c_str());
        QCOMPARE(schuesse.size(), 1);
        QCOMPARE(schussAus(schuesse.at(0)).ringe, 9.7);
        QCOMPARE(schussAus(schuesse.at(0)).teiler, 145.5);
    }

    void stateInitialAndIgnoredLines()
    {
        MaschineRm3 m;
        QCOMPARE(m.zustand(), 0);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\rSCHEIBE\r");
        QCOMPARE(gemeldeteZeilen.size(), 2); // logged ...
        QCOMPARE(schuesse.size(), 0); // ... and otherwise ignored
        QCOMPARE(zustand.size(), 0);
        QCOMPARE(m.zustand(), 0);
    }

    void verbindenUnusablePort()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("rm3");
        MaschineRm3 m(link);
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.verbinden();
        QCOMPARE(fehler.size(), 1);
        QCOMPARE(fehler.at(0).at(0).toString(), portText(link));
        QCOMPARE(m.zustand(), 0);
        QCOMPARE(zustand.size(), 0);

        // The second attempt opens the port again, which now exists.
        PtyPair pty;
        QVERIFY(QFile::link(pty.slavePath(), link));
        m.verbinden();
        QCOMPARE(fehler.size(), 1);
        QCOMPARE(m.zustand(), 1);
        QTRY_COMPARE(pty.received(), QByteArray("V\r"));
    }

    void verbindenHandshake()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(300, 10000, 250);
        m.setSerialPort(pty.slavePath());
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.verbinden();
        QCOMPARE(m.zustand(), 1);
        QTRY_COMPARE(pty.received(), QByteArray("V\r"));
        // Whatever the first line says, even a shot line, it only completes
        // the handshake.
        pty.write("1;9.7;145;0.05;-0.1;\r");
        QTRY_COMPARE(m.zustand(), 2);
        QTest::qWait(500);
        QCOMPARE(fehler.size(), 0);
        QCOMPARE(schuesse.size(), 0);
        QCOMPARE(zustand.size(), 2);
        QCOMPARE(zustand.at(0).at(0).toInt(), 1);
        QCOMPARE(zustand.at(1).at(0).toInt(), 2);
    }

    void verbindenLoneCrCompletesHandshake()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setSerialPort(pty.slavePath());
        m.verbinden();
        pty.write("\r");
        QTRY_COMPARE(m.zustand(), 2);
    }

    void verbindenHandshakeTimeout()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(200, 10000, 250);
        m.setSerialPort(pty.slavePath());
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.verbinden();
        QVERIFY(fehler.wait(5000));
        QCOMPARE(fehler.size(), 1);
        QCOMPARE(fehler.at(0).at(0).toString(), handshakeText(pty.slavePath()));
        QCOMPARE(m.zustand(), 0);
        QCOMPARE(zustand.size(), 2);
        QCOMPARE(zustand.at(1).at(0).toInt(), 0);

        // The port stayed open: the next attempt writes at once.
        QTRY_COMPARE(pty.received(), QByteArray("V\r"));
        m.verbinden();
        QTRY_COMPARE(pty.received(), QByteArray("V\rV\r"));
        pty.write("OK\r");
        QTRY_COMPARE(m.zustand(), 2);
        QTest::qWait(400);
        QCOMPARE(fehler.size(), 1);
    }

    void verbindenWhileConnected()
    {
        PtyPair pty;
        MaschineRm3 m;
        verbinde(pty, m);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.verbinden();
        QCOMPARE(m.zustand(), 1);
        m.verbinden(); // no change, no signal
        QCOMPARE(zustand.size(), 1);
        QTRY_COMPARE(pty.received(), QByteArray("V\rV\r"));
        pty.write("x\r");
        QTRY_COMPARE(m.zustand(), 2);
        QCOMPARE(zustand.size(), 2);
    }

    void trennenBeforeVerbinden()
    {
        MaschineRm3 m;
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.trennen();
        QCOMPARE(m.zustand(), 0);
        QCOMPARE(zustand.size(), 0);
    }

    void trennenWhileConnected()
    {
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 5);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.trennen();
        QCOMPARE(m.zustand(), 0);
        QCOMPARE(m.schussSoll(), 0u);
        QCOMPARE(zustand.size(), 1);
        QCOMPARE(zustand.at(0).at(0).toInt(), 0);
        QTRY_COMPARE(pty.received(), QByteArray("EXIT\r"));
        pty.write("1;9.7;145;0.05;-0.1;\r");
        QTest::qWait(100);
        QCOMPARE(schuesse.size(), 0);

        // The port stayed open: "V" goes out at once.
        m.verbinden();
        QTRY_COMPARE(pty.received(), QByteArray("EXIT\rV\r"));
    }

    void trennenStopsHandshakeTimer()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(150, 10000, 250);
        m.setSerialPort(pty.slavePath());
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        m.verbinden();
        m.trennen();
        QTest::qWait(500);
        QCOMPARE(fehler.size(), 0);
    }

    void clearToStateEvaluatesWithoutHandshake()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setSerialPort(pty.slavePath());
        m.verbinden();
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        m.clearToState(2);
        QCOMPARE(m.zustand(), 2);
        QCOMPARE(zustand.size(), 1);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        pty.write("1;9.7;145;0.05;-0.1;\r");
        QTRY_COMPARE(schuesse.size(), 1);
        m.clearToState(2);
        QCOMPARE(zustand.size(), 1);
        QCOMPARE(m.schussSoll(), 0u);
        m.clearToState(0);
        QCOMPARE(zustand.size(), 2);
        QCOMPARE(zustand.at(1).at(0).toInt(), 0);
    }

    // Timelines of the acknowledgement carriage returns, measured from the
    // machine's line, at the real 250 ms pacing.
    void acknowledgement_data()
    {
        QTest::addColumn<QByteArray>("schusszeile");
        QTest::addColumn<QByteArray>("ausloeser");
        QTest::addColumn<int>("crs");

        QTest::newRow("doubtful, SCHEIBE")
            << QByteArray("1;9.7;145;0.05;-0.1;M") << QByteArray("SCHEIBE") << 4;
        QTest::newRow("doubtful, ENDE") << QByteArray("1;9.7;145;0.05;-0.1;M") << QByteArray("ENDE") << 1;
        QTest::newRow("invalid, ENDE") << QByteArray("1;-;-;0.05;-0.1;") << QByteArray("ENDE") << 1;
        QTest::newRow("clean, SCHEIBE") << QByteArray("1;9.7;145;0.05;-0.1;") << QByteArray("SCHEIBE") << 0;
        QTest::newRow("clean, ENDE") << QByteArray("1;9.7;145;0.05;-0.1;") << QByteArray("ENDE") << 0;
        QTest::newRow("doubtful, SCHEIBE LF")
            << QByteArray("1;9.7;145;0.05;-0.1;M") << QByteArray("SCHEIBE\n") << 0;
        QTest::newRow("doubtful, lower case")
            << QByteArray("1;9.7;145;0.05;-0.1;M") << QByteArray("ende") << 0;
    }
    void acknowledgement()
    {
        QFETCH(QByteArray, schusszeile);
        QFETCH(QByteArray, ausloeser);
        QFETCH(int, crs);
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 5);
        pty.write(schusszeile + '\r');
        QTRY_COMPARE(m.schusszahl(), 1u);
        const qint64 start = pty.now();
        m.verarbeiteBytes(ausloeser + '\r');
        if (crs > 0)
            QTRY_COMPARE(pty.crTimes().size(), crs);
        QTest::qWait(400); // no further CR follows
        QCOMPARE(pty.received(), QByteArray(crs, '\r'));
        const QList<qint64> t = pty.crTimes();
        QVERIFY(t.isEmpty() || t.first() - start < 200);
        for (int i = 1; i < t.size(); ++i)
            QVERIFY2(t.at(i) - t.at(i - 1) >= 200, qPrintable(QString::number(t.at(i) - t.at(i - 1))));

        // The acknowledgement is given once; a repeated line gets nothing.
        m.verarbeiteBytes(ausloeser + '\r');
        QTest::qWait(100);
        QCOMPARE(pty.received(), QByteArray(crs, '\r'));
    }

    // The settings line waits until the acknowledgement is complete:
    // 1000 ms after "SCHEIBE", 250 ms after "ENDE".
    void settingsRefusedDuringAcknowledgement_data()
    {
        QTest::addColumn<QByteArray>("ausloeser");
        QTest::addColumn<int>("dauer");
        QTest::newRow("SCHEIBE") << QByteArray("SCHEIBE") << 1000;
        QTest::newRow("ENDE") << QByteArray("ENDE") << 250;
    }
    void settingsRefusedDuringAcknowledgement()
    {
        QFETCH(QByteArray, ausloeser);
        QFETCH(int, dauer);
        PtyPair pty;
        MaschineRm3 m;
        karte(pty, m, 5);
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;M\r");
        auto einstellen = [&m] {
            return m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                      MaschineRm3::Teilerfaktor(2), 7, QString());
        };
        QVERIFY(!einstellen()); // doubtful shot pending
        QCOMPARE(m.schussSoll(), 5u);
        QElapsedTimer uhr;
        uhr.start();
        m.verarbeiteBytes(ausloeser + '\r');
        QVERIFY(!einstellen()); // acknowledgement running
        QTRY_VERIFY_WITH_TIMEOUT(einstellen(), 5000);
        QVERIFY2(uhr.elapsed() >= dauer * 9 / 10, qPrintable(QString::number(uhr.elapsed())));
        QCOMPARE(m.schussSoll(), 7u);
        QTRY_VERIFY(pty.received().endsWith("110513227\r"));
    }

    void settingsLine_data()
    {
        QTest::addColumn<bool>("defaults");
        QTest::addColumn<int>("teilergrenze");
        QTest::addColumn<MaschineRm3::Waffe>("waffe");
        QTest::addColumn<MaschineRm3::Scheibe>("scheibe");
        QTest::addColumn<MaschineRm3::Serie>("serie");
        QTest::addColumn<quint32>("anzahl");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("soll");

        const auto lg = MaschineRm3::Luftgewehr;
        const auto lp = MaschineRm3::Luftpistole;
        const auto ein = MaschineRm3::Einzel;
        const auto aus = MaschineRm3::SerieAus;
        QTest::newRow("air pistol 10")
            << true << 13 << lp << ein << aus << 10u << QString() << QByteArray("21051321B\r") << 10u;
        QTest::newRow("air pistol 20")
            << true << 13 << lp << ein << aus << 20u << QString() << QByteArray("21051321C\r") << 20u;
        QTest::newRow("air rifle 5") << true << 13 << lg << MaschineRm3::Fuenfer << MaschineRm3::SerieEin
                                     << 1u << QString() << QByteArray("121513211\r") << 5u;
        QTest::newRow("air rifle 10") << true << 13 << lg << MaschineRm3::Zehner << MaschineRm3::SerieEin
                                      << 1u << QString() << QByteArray("131513211\r") << 10u;
        QTest::newRow("air rifle 7") << true << 13 << lg << ein << aus << 7u << QString()
                                     << QByteArray("110513217\r") << 7u;
        QTest::newRow("anzahl 0") << true << 13 << lg << ein << aus << 0u << QString()
                                  << QByteArray("110513210\r") << 0u;
        QTest::newRow("anzahl 9") << true << 13 << lg << ein << aus << 9u << QString()
                                  << QByteArray("110513219\r") << 9u;
        QTest::newRow("anzahl 25") << true << 13 << lg << ein << aus << 25u << QString()
                                   << QByteArray("11051321C\r") << 25u;
        QTest::newRow("anzahl 60") << true << 13 << lg << ein << aus << 60u << QString()
                                   << QByteArray("11051321G\r") << 60u;
        QTest::newRow("anzahl 100") << true << 13 << lg << ein << aus << 100u << QString()
                                    << QByteArray("11051321A\r") << 100u;
        QTest::newRow("Fuenfer times 3") << true << 13 << lg << MaschineRm3::Fuenfer << aus << 3u << QString()
                                         << QByteArray("120513213\r") << 15u;
        QTest::newRow("Scheibe 0") << true << 13 << lg << MaschineRm3::Scheibe(0) << aus << 5u << QString()
                                   << QByteArray("100513215\r") << 0u;
        QTest::newRow("Scheibe 4") << true << 13 << lg << MaschineRm3::Scheibe(4) << aus << 7u << QString()
                                   << QByteArray("140513217\r") << 7u;
        QTest::newRow("Teilergrenze 7")
            << true << 7 << lg << ein << aus << 1u << QString() << QByteArray("110507211\r") << 1u;
        QTest::newRow("Teilergrenze 123")
            << true << 123 << lg << ein << aus << 1u << QString() << QByteArray("110523211\r") << 1u;
        QTest::newRow("constructor defaults")
            << false << 0 << lg << ein << aus << 1u << QString() << QByteArray("110513221\r") << 1u;
        QTest::newRow("text") << true << 13 << lg << ein << aus << 1u << QString("Meier")
                              << QByteArray("110513211Meier\r") << 1u;
        QTest::newRow("text twelve characters")
            << true << 13 << lg << ein << aus << 1u << QString("ABCDEFGHIJKL")
            << QByteArray("110513211ABCDEFGHIJ\r") << 1u;
        QTest::newRow("text Latin-1") << true << 13 << lg << ein << aus << 1u << QString::fromUtf8("Müller")
                                      << QByteArray("110513211M\xfcller\r") << 1u;
        QTest::newRow("text euro sign")
            << true << 13 << lg << ein << aus << 1u << QString::fromUtf8("a\u20acbcdefghijk")
            << QByteArray("110513211a\0bcdefghi\r", 20) << 1u;
    }
    void settingsLine()
    {
        QFETCH(bool, defaults);
        QFETCH(int, teilergrenze);
        QFETCH(MaschineRm3::Waffe, waffe);
        QFETCH(MaschineRm3::Scheibe, scheibe);
        QFETCH(MaschineRm3::Serie, serie);
        QFETCH(quint32, anzahl);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, soll);
        PtyPair pty;
        MaschineRm3 m;
        if (defaults)
            m.setDefaults(MaschineRm3::Wertung(5), MaschineRm3::Teilergrenze(teilergrenze),
                          MaschineRm3::Drucker(1));
        verbinde(pty, m);
        QVERIFY(m.setEinstellungen(waffe, scheibe, serie, MaschineRm3::Teilerfaktor(2), anzahl, text));
        QTRY_COMPARE(pty.received(), bytes);
        QTest::qWait(50);
        QCOMPARE(pty.received(), bytes);
        QCOMPARE(m.schussSoll(), soll);
        QCOMPARE(m.schusszahl(), 0u);
    }

    void settingsRefused_data()
    {
        QTest::addColumn<int>("fall");
        QTest::newRow("port closed") << 0;
        QTest::newRow("handshake running") << 1;
        QTest::newRow("after trennen") << 2;
        QTest::newRow("doubtful shot pending") << 3;
        QTest::newRow("invalid shot pending") << 4;
    }
    void settingsRefused()
    {
        QFETCH(int, fall);
        PtyPair pty;
        MaschineRm3 m(pty.slavePath());
        switch (fall) {
        case 0:
            m.clearToState(2); // connected by state, but no port
            break;
        case 1:
            m.verbinden();
            QTRY_COMPARE(pty.received(), QByteArray("V\r"));
            break;
        case 2:
            verbinde(pty, m);
            m.trennen();
            QTRY_COMPARE(pty.received(), QByteArray("EXIT\r"));
            break;
        case 3:
        case 4:
            karte(pty, m, 3);
            m.verarbeiteBytes(fall == 3 ? "1;9.7;145;0.05;-0.1;M\r" : "1;?;145;0.05;-0.1;\r");
            QCOMPARE(m.schusszahl(), 1u);
            break;
        }
        const QByteArray vorher = pty.received();
        const quint32 sollVorher = m.schussSoll();
        QVERIFY(!m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                    MaschineRm3::Teilerfaktor(2), 9, QString()));
        QTest::qWait(100);
        QCOMPARE(pty.received(), vorher);
        QCOMPARE(m.schussSoll(), sollVorher);
    }

    // The settings line fixes how many shot lines are taken for the card; the
    // shot timer runs between the shots and stops with the last one.
    void shotCounting()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 300, 250);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);

        // Before any settings line no shot is expected.
        verbinde(pty, m);
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r");
        QCOMPARE(schuesse.size(), 0);

        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 3, QString()));
        QTest::qWait(500); // no time-out before the first shot
        QCOMPARE(timeout.size(), 0);
        for (int i = 0; i < 4; ++i) {
            m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r");
            QTest::qWait(150); // the first two shots restart the 300 ms timer
        }
        QCOMPARE(schuesse.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(schuesse.at(i).at(0).toUInt(), quint32(i));
        QCOMPARE(m.schusszahl(), 3u);
        QTest::qWait(500); // stopped by the third
        QCOMPARE(timeout.size(), 0);

        // A new card starts counting at 0 again.
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r");
        QCOMPARE(schuesse.last().at(0).toUInt(), 0u);
    }

    void shotTimeout()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 200, 250);
        karte(pty, m, 5);
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        pty.write("1;9.7;145;0.05;-0.1;\r2;9.7;145;0.05;-0.1;\r");
        QVERIFY(timeout.wait(5000));
        QCOMPARE(schuesse.size(), 2);
        QCOMPARE(timeout.size(), 1);
        QCOMPARE(timeout.at(0).at(0).toUInt(), 2u);
        QCOMPARE(m.zustand(), 2);
        QCOMPARE(zustand.size(), 0);
        QCOMPARE(m.schussSoll(), 0u);
        pty.write("3;9.7;145;0.05;-0.1;\r");
        QTest::qWait(400);
        QCOMPARE(schuesse.size(), 2);
        QCOMPARE(timeout.size(), 1);
    }

    // A new settings line stops the time-out of the previous card.
    void settingsLineStopsShotTimer()
    {
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 200, 250);
        karte(pty, m, 5);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r");
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 5, QString()));
        QTest::qWait(600);
        QCOMPARE(timeout.size(), 0);
    }

    // A reset of the card's data takes its shot timer along: a disconnect or
    // reconnect must not void the shots the card already got.
    void resetStopsShotTimer_data()
    {
        QTest::addColumn<int>("fall");
        QTest::newRow("trennen") << 0;
        QTest::newRow("verbinden") << 1;
        QTest::newRow("clearToState") << 2;
    }
    void resetStopsShotTimer()
    {
        QFETCH(int, fall);
        PtyPair pty;
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 200, 250);
        karte(pty, m, 5);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);
        m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r2;9.7;145;0.05;-0.1;\r");
        QCOMPARE(m.schusszahl(), 2u);
        if (fall == 0)
            m.trennen();
        else if (fall == 1)
            m.verbinden();
        else
            m.clearToState(2);
        QTest::qWait(700);
        QCOMPARE(timeout.size(), 0);
    }

    // An unplugged adapter (here: the other side of the pty hangs up) ends
    // the link with one message; the next verbinden opens the port afresh.
    void lineHangsUp_data()
    {
        QTest::addColumn<bool>("imHandshake");
        QTest::newRow("connected") << false;
        QTest::newRow("during handshake") << true;
    }
    void lineHangsUp()
    {
        QFETCH(bool, imHandshake);
        QTemporaryDir dir;
        const QString link = dir.filePath("rm3");
        auto pty = std::make_unique<PtyPair>();
        QVERIFY(QFile::link(pty->slavePath(), link));
        MaschineRm3 m(link);
        m.setTimerIntervalle(300, 200, 250);
        if (imHandshake) {
            m.verbinden();
            QTRY_COMPARE(pty->received(), QByteArray("V\r"));
        } else {
            karte(*pty, m, 5, false);
            m.verarbeiteBytes("1;9.7;145;0.05;-0.1;\r");
        }
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        QSignalSpy zustand(&m, &MaschineRm3::zustandGeaendert);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);
        pty->closeMaster();
        QVERIFY(fehler.wait(5000));
        QTest::qWait(700); // past both shortened time-outs
        QCOMPARE(fehler.size(), 1);
        QCOMPARE(fehler.at(0).at(0).toString(), unterbrochenText(link));
        QCOMPARE(timeout.size(), 0);
        QCOMPARE(m.zustand(), 0);
        QCOMPARE(zustand.size(), 1);
        QCOMPARE(zustand.at(0).at(0).toInt(), 0);
        QVERIFY(!m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                    MaschineRm3::Teilerfaktor(2), 5, QString()));

        // The adapter is plugged in again (a new device behind the same name).
        pty = std::make_unique<PtyPair>();
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(pty->slavePath(), link));
        m.verbinden();
        QCOMPARE(m.zustand(), 1);
        QTRY_COMPARE(pty->received(), QByteArray("V\r"));
        pty->write("OK\r");
        QTRY_COMPARE(m.zustand(), 2);
        QCOMPARE(fehler.size(), 1);
    }

    void realIntervals()
    {
        QCOMPARE(int(MaschineRm3::VerbindungsTimeout), 20000);
        QCOMPARE(int(MaschineRm3::SchussTimeout), 10000);
        QCOMPARE(int(MaschineRm3::KontrollstrIntervall), 250);
        MaschineRm3 m;
        QCOMPARE(m.verbindungsTimerIntervall(), 20000);
        QCOMPARE(m.schussTimerIntervall(), 10000);
        QCOMPARE(m.kontrollstrTimerIntervall(), 250);
        MaschineRm3 mitPort(QStringLiteral("COM1"));
        QCOMPARE(mitPort.verbindungsTimerIntervall(), 20000);
        QCOMPARE(mitPort.schussTimerIntervall(), 10000);
        QCOMPARE(mitPort.kontrollstrTimerIntervall(), 250);

        // A silent machine is not given up on within the first second.
        PtyPair pty;
        m.setSerialPort(pty.slavePath());
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        m.verbinden();
        QTest::qWait(1000);
        QCOMPARE(fehler.size(), 0);
        QCOMPARE(m.zustand(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMaschine)
#include "tst_maschine.moc"

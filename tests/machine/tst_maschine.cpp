#include "machine/maschine.h"
#include "machine/portliste.h"
#include "machine/portwaechter.h"
#include "server/serviceprovider.h"
#include "simuhr.h"
#include "targets/geometrie.h"

#include "common/ptypair.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

namespace {

const QByteArray sauber = "1;9.7;145;0.05;-0.1;\r";
using Signale = QList<QList<QVariant>>;

// The link on a pty and on a clock the test moves, with spies on shots, errors and time-outs.
struct Link
{
    explicit Link(const QString &port = QString())
    {
        m.setSerialPort(port.isEmpty() ? pty.slavePath() : port);
    }
    // Settings line of an air rifle card of single targets.
    bool einstellen(quint32 anzahl)
    {
        return m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                  MaschineRm3::Teilerfaktor(2), anzahl, QString());
    }

    SimUhr uhr;
    PtyPair pty;
    MaschineRm3 m;
    QSignalSpy schuesse { &m, &MaschineRm3::schuss };
    QSignalSpy fehler { &m, &MaschineRm3::verbindungsFehler };
    QSignalSpy timeout { &m, &MaschineRm3::schussTimeout };
};

// Completes the handshake with the shortest answer there is, a lone CR,
// then forgets the bytes it took. Until the answer no settings line is taken.
void verbinde(Link &l)
{
    l.m.verbinden();
    QCOMPARE(l.m.zustand(), 1);
    // The machine's line: 2400 baud, one stop bit, RTS/CTS, read from the
    // terminal; 8 data bits and no parity, which a pty does not keep.
    termios t;
    QCOMPARE(::tcgetattr(l.pty.slaveFd(), &t), 0);
    QCOMPARE(t.c_cflag & (CBAUD | CSTOPB | CRTSCTS), tcflag_t(B2400 | CRTSCTS));
    QCOMPARE(l.m.seriell().dataBits() * 10 + l.m.seriell().parity(), 80);
    QVERIFY(!l.einstellen(9));
    QTRY_COMPARE(l.pty.received(), QByteArray("V\r"));
    l.pty.write("\r");
    QTRY_COMPARE(l.m.zustand(), 2);
    l.pty.clearReceived();
}

// Connected, with a card of n shots announced.
void karte(Link &l, quint32 n)
{
    verbinde(l);
    QVERIFY(l.einstellen(n));
    QTRY_VERIFY(l.pty.received().endsWith('\r'));
    l.pty.clearReceived();
}

// The machine is acknowledged for what it marked and for a shot without
// rings; a field written oddly makes the shot doubtful for the officer only.
void schussZeile(const char *name, const QByteArray &zeile, bool valid, double ringe, double teiler, double x,
                 double y, bool zweifelhaft, bool quittiert = true)
{
    QTest::newRow(name) << zeile << QList<QVariant> { 0u, valid, ringe, teiler, x, y, zweifelhaft }
                        << (zweifelhaft && quittiert);
}

// The call's arguments: waffe, scheibe, serie, anzahl, Teilergrenze (-1: the
// constructor's defaults).
void einstellZeile(const char *name, QList<int> aufruf, const QByteArray &bytes, quint32 soll,
                   const QString &text = QString())
{
    QTest::newRow(name) << aufruf << text << bytes << soll;
}

} // namespace

class TestMaschine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("default.info=false")); }

    void realIntervals()
    {
        MaschineRm3 m;
        QCOMPARE(m.verbindungsTimerIntervall(), 20000);
        QCOMPARE(m.schussTimerIntervall(), 10000);
        QCOMPARE(m.kontrollstrTimerIntervall(), 250);
        QCOMPARE(PortWaechter(m).pruefIntervall(), 1000);
        QCOMPARE(ServiceProvider().transferTimeout(), 30000);
    }

    // Random shots stand in for the machine in demonstrations: scored like
    // real ones on either face, and the same sequence in every run, so that a
    // bug report can be reproduced. No other case of this process draws one.
    void randomShots()
    {
        MaschineRm3 m;
        QSignalSpy spy(&m, &MaschineRm3::schuss);
        for (quint32 i = 0; i < 200; ++i)
            m.emitZufallsSchuss(i, i % 2 ? MaschineRm3::Luftpistole : MaschineRm3::Luftgewehr);
        QList<double> anfang; // x and y of the first three shots, the same in every process
        for (int i = 0; i < 3; ++i)
            anfang << spy.at(i).at(4).toDouble() << spy.at(i).at(5).toDouble();
        QCOMPARE(anfang, (QList<double> { -6.63, 1.27, 4.49, 4.29, 3.42, -9.26 }));
        for (const QList<QVariant> &s : spy) {
            const double x = s.at(4).toDouble(), y = s.at(5).toDouble();
            QVERIFY(s.at(1).toBool());
            QCOMPARE(s.at(2).toDouble(), Geometrie::ringe(x, y));
            QCOMPARE(s.at(3).toDouble(),
                     Geometrie::teilerOhneTest(x, y, s.at(0).toUInt() % 2 ? 800.0 : 250.0));
            QCOMPARE(s.at(6).toBool(), std::abs(x - y) < 1.0);
        }
    }

    void shotGrammar_data()
    {
        QTest::addColumn<QByteArray>("zeile");
        QTest::addColumn<QList<QVariant>>("schuss"); // empty: no shot
        QTest::addColumn<bool>("quittiert");
        const QList<QVariant> keiner;

        schussZeile("plain", "1;9.7;145;0.05;-0.1;", true, 9.7, 145, 0.05, -0.1, false);
        QTest::newRow("six separators") << QByteArray("1;9.7;145;0.05;-0.1;;") << keiner << false;
        QTest::newRow("10 bytes too short") << QByteArray("1;9;1;0;0;") << keiner << false;
        schussZeile("11 bytes enough", "1;9;1;0;0;M", true, 9, 1, 0, 0, true);
        schussZeile("rings leading blank", "1; 9.7;145;0.05;-0.1;", false, -1, 145, 0.05, -0.1, true);
        schussZeile("teiler minus", "1;9.7;-12;0.05;-0.1;", true, 9.7, -1, 0.05, -0.1, false);
        schussZeile("zero byte in F0, x y signs and blanks",
                    QByteArray("\0001;9.7 ;145;+1.5; \t-0.25\t;", 26), true, 9.7, 145, 1.5, -0.25, false);
        // Read as the runtime reads numbers, but not written as a machine
        // writes them: the officer looks.
        schussZeile("exponents", "1;9.7;145;+1.5e1;-2.5E-1;", true, 9.7, 145, 15, -0.25, true, false);
        schussZeile("hexadecimal rings", "1;0x1p3;145;0.05;-0.1;", true, 8, 145, 0.05, -0.1, true, false);
        schussZeile("rings with a tail", "1;9.7x;145;0.05;-0.1;", true, 9.7, 145, 0.05, -0.1, true, false);
        schussZeile("teiler with a tail", "1;9.7;14,5;0.05;-0.1;", true, 9.7, 14, 0.05, -0.1, true, false);
        schussZeile("x empty", "1;9.7;145;;-0.1;xx", true, 9.7, 145, 0, -0.1, true, false);
        // Line noise that converts to no finite number counts as absent.
        schussZeile("rings, teiler overflow", "1;1e999;9e999;0.05;-0.1;", false, -1, -1, 0.05, -0.1, true);
        schussZeile("x infinite", "1;9.7;145;inf;-0.1;", false, -1, 145, 0, 0, true);
        schussZeile("y not a number", "1;9.7;145;0.05;nan;", false, -1, 145, 0, 0, true);
        // A line keeps its first 63 bytes; a line feed is an ordinary byte.
        schussZeile("63 bytes kept, M beyond", QByteArray(44, 'x') + ";9.7;145;0.05;-0.1;M", true, 9.7, 145,
                    0.05, -0.1, false);
        schussZeile("LF kept, M with more text", "1;9.7;145;0.05;-0.1\n;Mxx", true, 9.7, 145, 0.05, -0.1,
                    true);
    }
    void shotGrammar()
    {
        QFETCH(QByteArray, zeile);
        QFETCH(QList<QVariant>, schuss);
        QFETCH(bool, quittiert);
        Link l;
        karte(l, 5);
        // The machine writes "." whatever locale the process runs in.
        const QByteArray vorher = std::setlocale(LC_NUMERIC, nullptr);
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        for (const char c : zeile + '\r') // reads may split a line anywhere
            l.m.verarbeiteBytes(QByteArray(1, c));
        std::setlocale(LC_NUMERIC, vorher.constData());
        QCOMPARE(l.schuesse, schuss.isEmpty() ? Signale {} : Signale { schuss });
        l.m.verarbeiteBytes("ENDE\r");
        QCOMPARE(l.m.seriell().bytesToWrite(), quittiert ? 1 : 0);
    }

    // A faulty cable's noise fills no disk: of a run of it the first line is
    // logged and the rest counted, every line that means something as it came.
    void noiseIsLoggedOnce()
    {
        static QStringList log;
        log.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("default.info=true"));
        const QtMessageHandler vorher = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { log << text; });
        Link l;
        karte(l, 5);
        log.clear();
        QByteArray rauschen;
        for (int i = 0; i < 4999; ++i)
            rauschen += "\x7f#x;\r";
        l.m.verarbeiteBytes(rauschen + QByteArray(100, 'z') + '\r' + sauber + "\x01\r");
        l.m.trennen();
        qInstallMessageHandler(vorher);
        QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
        QCOMPARE(log,
                 (QStringList { "MaschineRm3::onLineReceived: \x7f#x;",
                                "MaschineRm3::onLineReceived: … 4999 weitere Zeilen ohne Bedeutung und 37 "
                                "Bytes ohne Zeilenende verworfen",
                                "MaschineRm3::onLineReceived: " + QString::fromLatin1(sauber.chopped(1)),
                                "MaschineRm3::onLineReceived: \x01", "MaschineRm3::trennen: EXIT" }));
    }

    // The acknowledgement carriage returns, one per interval from the
    // machine's line: four after "SCHEIBE" when a doubtful shot came, given
    // once; none after a clean shot or for another line. The settings line
    // for the next card waits until the last one is counted down.
    void acknowledgement()
    {
        Link l;
        karte(l, 5);
        l.m.verarbeiteBytes(sauber + "SCHEIBE\r1;9.7;145;0.05;-0.1;M\rSCHEIBE\n\r");
        QCOMPARE(l.m.seriell().bytesToWrite(), 0); // a write waits there for the event loop
        QVERIFY(!l.einstellen(7)); // the doubtful shot is not yet acknowledged
        l.m.verarbeiteBytes("SCHEIBE\r");
        l.uhr.vorstellen(4 * MaschineRm3::KontrollstrIntervall - 1);
        QVERIFY(!l.einstellen(7));
        l.uhr.vorstellen(1);
        QVERIFY(l.einstellen(7));
        QTRY_COMPARE(l.pty.received(), QByteArray(4, '\r') + "110513227\r");
        l.m.verarbeiteBytes("SCHEIBE\r");
        l.uhr.vorstellen(4 * MaschineRm3::KontrollstrIntervall);
        QCOMPARE(l.m.seriell().bytesToWrite(), 0);
    }

    void settingsLine_data()
    {
        QTest::addColumn<QList<int>>("aufruf");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("soll");

        einstellZeile("air pistol 10", { 2, 1, 0, 10, 13 }, "21051321B\r", 10);
        einstellZeile("air rifle 10", { 1, 3, 1, 1, 13 }, "131513211\r", 10);
        einstellZeile("Fuenfer times 3", { 1, 2, 0, 3, 13 }, "120513213\r", 15);
        einstellZeile("anzahl 100", { 1, 1, 0, 100, 13 }, "11051321A\r", 100);
        einstellZeile("Scheibe 4, anzahl 9", { 1, 4, 0, 9, 13 }, "140513219\r", 9);
        einstellZeile("Teilergrenze 7", { 1, 1, 0, 1, 7 }, "110507211\r", 1);
        einstellZeile("constructor defaults", { 1, 1, 0, 1, -1 }, "110513221\r", 1);
        // At most ten characters, one byte each, 0 above Latin-1.
        einstellZeile("text", { 1, 1, 0, 1, 13 }, QByteArray("110513211M\xfc\0bcdefgh\r", 20), 1,
                      QString::fromUtf8("M\u00fc\u20acbcdefghijk"));
    }
    void settingsLine()
    {
        QFETCH(QList<int>, aufruf);
        QFETCH(QString, text);
        Link l;
        if (aufruf.at(4) >= 0)
            l.m.setDefaults(MaschineRm3::Wertung(5), MaschineRm3::Teilergrenze(aufruf.at(4)),
                            MaschineRm3::Drucker(1));
        verbinde(l);
        QVERIFY(l.m.setEinstellungen(MaschineRm3::Waffe(aufruf.at(0)), MaschineRm3::Scheibe(aufruf.at(1)),
                                     MaschineRm3::Serie(aufruf.at(2)), MaschineRm3::Teilerfaktor(2),
                                     quint32(aufruf.at(3)), text));
        QFETCH(QByteArray, bytes);
        QTRY_COMPARE(l.pty.received(), bytes);
        QTEST(l.m.schussSoll(), "soll");
    }

    // The shot timer runs between the shots of a card: not before the first,
    // not after the last, not across a new settings line.
    void shotTimer()
    {
        Link l;
        verbinde(l);
        l.m.verarbeiteBytes(sauber + "1;9"); // no card yet; the settings line drops the begun line
        QCOMPARE(l.schuesse.size(), 0);

        QVERIFY(l.einstellen(5));
        // A receiver of schuss that runs a nested event loop frames the start
        // of the next line already.
        QObject::connect(&l.m, &MaschineRm3::schuss, &l.m, [&l] {
            if (l.schuesse.size() == 1)
                l.m.verarbeiteBytes(sauber.left(7));
        });
        l.m.verarbeiteBytes(sauber + sauber.mid(7));
        QVERIFY(l.einstellen(3));
        l.uhr.vorstellen(MaschineRm3::SchussTimeout);
        QCOMPARE(l.timeout.size(), 0);

        l.m.verarbeiteBytes(sauber + sauber + sauber + sauber);
        QCOMPARE(l.schuesse.size(), 5);
        l.uhr.vorstellen(MaschineRm3::SchussTimeout);
        QCOMPARE(l.timeout.size(), 0);

        // Two of five shots, then silence.
        QVERIFY(l.einstellen(5));
        l.m.verarbeiteBytes(sauber + sauber);
        l.uhr.vorstellen(MaschineRm3::SchussTimeout);
        QCOMPARE(l.timeout, (Signale { { 2u } }));
        QCOMPARE(l.m.zustand(), 2);
        l.m.verarbeiteBytes(sauber);
        QCOMPARE(l.schuesse.size(), 7);
    }

    // A reset of the card's data takes its shot timer along: a disconnect or
    // reconnect must not void the shots the card already got. trennen sends
    // "EXIT" and, during a repeated handshake, stops that handshake's time-out
    // as the answer stopped the first one.
    void resetStopsShotTimer_data()
    {
        QTest::addColumn<int>("fall");
        QTest::addColumn<QByteArray>("gesendet");
        QTest::newRow("trennen") << 0 << QByteArray("EXIT\r");
        QTest::newRow("verbinden") << 1 << QByteArray("V\rEXIT\r");
        QTest::newRow("clearToState") << 2 << QByteArray();
    }
    void resetStopsShotTimer()
    {
        QFETCH(int, fall);
        Link l;
        karte(l, 5);
        l.m.verarbeiteBytes(sauber + sauber);
        QCOMPARE(l.m.schusszahl(), 2u);
        // The port stays open: reopening it would drop what is still to be
        // written and toggle the adapter's modem lines.
        QSignalSpy schliessen(&l.m.seriell(), &QSerialPort::aboutToClose);
        if (fall == 0)
            l.m.trennen();
        else if (fall == 1)
            l.m.verbinden();
        else
            l.m.clearToState(2);
        QCOMPARE(l.m.schussSoll(), 0u);
        l.uhr.vorstellen(MaschineRm3::SchussTimeout);
        if (fall == 1)
            l.m.trennen();
        l.uhr.vorstellen(MaschineRm3::VerbindungsTimeout);
        QCOMPARE(l.timeout.size() + l.fehler.size() + schliessen.size(), 0);
        QFETCH(QByteArray, gesendet);
        QTRY_COMPARE(l.pty.received(), gesendet);
    }

    // A port that cannot be opened, or an unplugged adapter (the pty hangs up,
    // or the port reports its error again and again), ends the link with one
    // message, sent after the reset (its box runs a nested event loop), and
    // no time-out after it.
    void portLost_data()
    {
        QTest::addColumn<int>("fall");
        QTest::addColumn<int>("portfehler"); // 0: hang-up
        QTest::addColumn<QString>("meldung");
        QTest::newRow("port missing")
            << 0 << 0
            << "Serieller Port '%1' konnte nicht geöffnet werden! Bitte überprüfen Sie "
               "Ihre PORT Einstellung in 'config.json' und starten Sie das Programm neu!\n"
                + Portliste::grund(QSerialPort::DeviceNotFoundError, {}); // its words: tst_einstellungen
        const QString unterbrochen = QStringLiteral("Verbindung zur Auswertmaschine via '%1' unterbrochen!");
        QTest::newRow("hang-up during handshake") << 1 << 0 << unterbrochen;
        QTest::newRow("hang-up when connected") << 2 << 0 << unterbrochen;
        QTest::newRow("ResourceError during handshake")
            << 1 << int(QSerialPort::ResourceError) << unterbrochen;
        QTest::newRow("ReadError when connected") << 2 << int(QSerialPort::ReadError) << unterbrochen;
    }
    void portLost()
    {
        QFETCH(int, fall);
        QFETCH(int, portfehler);
        QTemporaryDir dir;
        const QString fehlt = dir.filePath("rm3");
        QList<qint64> beimFehler; // state, shots due and counted, line fill, port open
        Link l(fall == 0 ? fehlt : QString());
        QObject::connect(&l.m, &MaschineRm3::verbindungsFehler, &l.m, [&] {
            beimFehler = { l.m.zustand(), l.m.schussSoll(), l.m.schusszahl(), l.m.zeilenLaenge(),
                           l.m.seriell().isOpen() };
        });
        if (fall < 2) {
            l.m.verbinden();
        } else {
            karte(l, 5);
            l.m.verarbeiteBytes(sauber + "1;9");
        }
        if (fall == 1)
            QTRY_COMPARE(l.pty.received(), QByteArray("V\r"));
        if (portfehler == 0)
            l.pty.closeMaster();
        for (int i = 0; i < 2 && portfehler; ++i)
            QMetaObject::invokeMethod(
                &l.m, "onPortFehler",
                Q_ARG(QSerialPort::SerialPortError, QSerialPort::SerialPortError(portfehler)));
        QTRY_VERIFY(!l.fehler.isEmpty());
        l.uhr.vorstellen(MaschineRm3::VerbindungsTimeout); // past both time-outs
        QFETCH(QString, meldung);
        QCOMPARE(l.fehler, (Signale { { meldung.arg(fall == 0 ? fehlt : l.pty.slavePath()) } }));
        QCOMPARE(beimFehler, QList<qint64>(5, 0));
        QCOMPARE(l.timeout.size(), 0);
        // The port is closed: even a state forced to connected takes no settings line.
        l.m.clearToState(2);
        QVERIFY(!l.einstellen(5));
    }
};

QTEST_GUILESS_MAIN(TestMaschine)
#include "tst_maschine.moc"

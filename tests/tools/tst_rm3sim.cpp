#include "machine/maschine.h"
#include "rm3simulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

struct Empfangen
{
    quint32 nummer;
    bool valid;
    double ringe;
    double teiler;
    double x;
    double y;
    bool zweifelhaft;
};

// Ring value as the client's scoring geometry computes it from x and y.
double ringeAus(double x, double y)
{
    const int t = int(std::floor(10.0 * std::sqrt(x * x + y * y) + 0.5));
    const double v = (110 - t) / 10.0;
    return v < 1.0 ? 0.0 : std::min(v, 10.9);
}

} // namespace

Q_DECLARE_METATYPE(MaschineRm3::Waffe)
Q_DECLARE_METATYPE(MaschineRm3::Scheibe)
Q_DECLARE_METATYPE(MaschineRm3::Serie)

class TestRm3Sim : public QObject
{
    Q_OBJECT

private:
    QList<Empfangen> _schuesse;

    void verbinde(Rm3Simulator &sim, MaschineRm3 &m)
    {
        m.setSerialPort(sim.slavePath());
        m.verbinden();
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(sim.connected());
    }

    void sammle(MaschineRm3 &m)
    {
        _schuesse.clear();
        connect(&m, &MaschineRm3::schuss, this,
                [this](quint32 n, bool v, double r, double t, double x, double y, bool z) {
                    _schuesse.append(Empfangen { n, v, r, t, x, y, z });
                });
    }

private slots:
    void decodeSettings_data()
    {
        QTest::addColumn<QByteArray>("zeile");
        QTest::addColumn<bool>("gueltig");
        QTest::addColumn<int>("waffe");
        QTest::addColumn<int>("scheibe");
        QTest::addColumn<int>("teilergrenze");
        QTest::addColumn<int>("anzahl");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("schuesse");

        QTest::newRow("air pistol 10")
            << QByteArray("21051321B") << true << 2 << 1 << 13 << 10 << QByteArray() << 10;
        QTest::newRow("air rifle 5") << QByteArray("121513211") << true << 1 << 2 << 13 << 1 << QByteArray()
                                     << 5;
        QTest::newRow("air rifle 10")
            << QByteArray("131513211") << true << 1 << 3 << 13 << 1 << QByteArray() << 10;
        QTest::newRow("air rifle 7") << QByteArray("110513217") << true << 1 << 1 << 13 << 7 << QByteArray()
                                     << 7;
        QTest::newRow("count A is 100")
            << QByteArray("11050721A") << true << 1 << 1 << 7 << 100 << QByteArray() << 100;
        QTest::newRow("count G is 60")
            << QByteArray("11051321G") << true << 1 << 1 << 13 << 60 << QByteArray() << 60;
        QTest::newRow("card kind 0") << QByteArray("100513215") << true << 1 << 0 << 13 << 5 << QByteArray()
                                     << 0;
        QTest::newRow("card kind 4") << QByteArray("140513217") << true << 1 << 4 << 13 << 7 << QByteArray()
                                     << 7;
        QTest::newRow("text") << QByteArray("110513211Meier") << true << 1 << 1 << 13 << 1
                              << QByteArray("Meier") << 1;
        QTest::newRow("too short") << QByteArray("11051321") << false << 0 << 0 << 0 << 0 << QByteArray()
                                   << 0;
        QTest::newRow("not a digit") << QByteArray("1105x3211") << false << 0 << 0 << 0 << 0 << QByteArray()
                                     << 0;
        QTest::newRow("count K") << QByteArray("11051321K") << false << 0 << 0 << 0 << 0 << QByteArray() << 0;
        QTest::newRow("shot line") << QByteArray("1;9.7;145;0.05;-0.1;") << false << 0 << 0 << 0 << 0
                                   << QByteArray() << 0;
    }
    void decodeSettings()
    {
        QFETCH(QByteArray, zeile);
        QFETCH(bool, gueltig);
        Rm3Simulator::Settings s;
        QCOMPARE(Rm3Simulator::decodeSettings(zeile, &s), gueltig);
        if (!gueltig)
            return;
        QTEST(s.weapon, "waffe");
        QTEST(s.cardKind, "scheibe");
        QTEST(s.teilerLimit, "teilergrenze");
        QTEST(s.count, "anzahl");
        QTEST(s.text, "text");
        QTEST(s.shots, "schuesse");
    }

    // The emulator's scoring agrees with the client's geometry.
    void scoring_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("waffe");
        QTest::addColumn<double>("ringe");
        QTest::addColumn<double>("teiler");
        QTest::newRow("centre") << 0.0 << 0.0 << 1 << 10.9 << 0.0;
        QTest::newRow("r 0.5 rifle") << 0.3 << 0.4 << 1 << 10.5 << 125.0;
        QTest::newRow("r 0.5 pistol") << 0.3 << 0.4 << 2 << 10.5 << 400.0;
        QTest::newRow("8.6") << 1.2 << -2.1 << 1 << 8.6 << 604.669;
        QTest::newRow("r 10") << 10.0 << 0.0 << 1 << 1.0 << 2500.0;
        QTest::newRow("miss") << 10.05 << 0.0 << 1 << 0.0 << 2512.5;
    }
    void scoring()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(int, waffe);
        QFETCH(double, teiler);
        const Rm3Simulator::Shot s = Rm3Simulator::scoredShot(x, y, waffe);
        QTEST(s.rings, "ringe");
        QVERIFY(std::abs(s.teiler - teiler) < 0.001);
        QCOMPARE(s.rings, ringeAus(x, y));
    }

    // A settings line in auto mode makes the emulator read exactly the
    // card's number of shots, and the client takes every one of them.
    void autoCard_data()
    {
        QTest::addColumn<MaschineRm3::Waffe>("waffe");
        QTest::addColumn<MaschineRm3::Scheibe>("scheibe");
        QTest::addColumn<MaschineRm3::Serie>("serie");
        QTest::addColumn<quint32>("anzahl");
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("muell");

        QTest::newRow("air pistol 10")
            << MaschineRm3::Luftpistole << MaschineRm3::Einzel << MaschineRm3::SerieAus << 10u << 10 << false;
        QTest::newRow("air rifle 5") << MaschineRm3::Luftgewehr << MaschineRm3::Fuenfer
                                     << MaschineRm3::SerieEin << 1u << 5 << false;
        QTest::newRow("air rifle 10")
            << MaschineRm3::Luftgewehr << MaschineRm3::Zehner << MaschineRm3::SerieEin << 1u << 10 << false;
        QTest::newRow("air rifle 3") << MaschineRm3::Luftgewehr << MaschineRm3::Einzel
                                     << MaschineRm3::SerieAus << 3u << 3 << false;
        QTest::newRow("with garbage")
            << MaschineRm3::Luftgewehr << MaschineRm3::Einzel << MaschineRm3::SerieAus << 4u << 4 << true;
    }
    void autoCard()
    {
        QFETCH(MaschineRm3::Waffe, waffe);
        QFETCH(MaschineRm3::Scheibe, scheibe);
        QFETCH(MaschineRm3::Serie, serie);
        QFETCH(quint32, anzahl);
        QFETCH(int, n);
        QFETCH(bool, muell);
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setAuto(true);
        sim.setInterval(5);
        sim.setSeed(7);
        sim.setSpread(4.0);
        sim.setGarbage(muell);
        QSignalSpy gesendet(&sim, &Rm3Simulator::shotSent);
        QSignalSpy fertig(&sim, &Rm3Simulator::cardFinished);
        QSignalSpy einstellungen(&sim, &Rm3Simulator::settingsReceived);
        MaschineRm3 m;
        m.setDefaults(MaschineRm3::Wertung(5), MaschineRm3::Teilergrenze(13), MaschineRm3::Drucker(1));
        sammle(m);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(waffe, scheibe, serie, MaschineRm3::Teilerfaktor(2), anzahl, QString()));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(einstellungen.size(), 1);
        QCOMPARE(einstellungen.at(0).at(0).value<Rm3Simulator::Settings>().shots, n);
        QCOMPARE(gesendet.size(), n);
        QTRY_COMPARE(_schuesse.size(), n);
        QCOMPARE(m.schusszahl(), quint32(n));
        for (int i = 0; i < n; ++i) {
            const Empfangen &e = _schuesse.at(i);
            const QByteArray zeile = gesendet.at(i).at(1).toByteArray();
            QCOMPARE(e.nummer, quint32(i));
            QVERIFY(e.valid);
            QVERIFY(!e.zweifelhaft);
            QCOMPARE(zeile.split(';').at(1).toDouble(), e.ringe);
            QCOMPARE(e.ringe, ringeAus(e.x, e.y));
            const double faktor = waffe == MaschineRm3::Luftpistole ? 800.0 : 250.0;
            QVERIFY(std::abs(e.teiler - std::hypot(e.x, e.y) * faktor) <= 0.05 + 1e-9);
        }
        QCOMPARE(sim.ackCount(), 0);
    }

    void seededDraws()
    {
        QList<QByteArray> zeilen[2];
        for (auto &z : zeilen) {
            Rm3Simulator sim;
            QVERIFY(sim.openPty());
            sim.setAuto(true);
            sim.setInterval(0);
            sim.setSeed(42);
            sim.setDoubtfulProbability(0.5);
            connect(&sim, &Rm3Simulator::shotSent, this,
                    [&z](int, const QByteArray &line) { z.append(line); });
            MaschineRm3 m;
            m.setTimerIntervalle(20000, 10000, 20);
            verbinde(sim, m);
            QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                       MaschineRm3::Teilerfaktor(2), 6, QString()));
            QTRY_COMPARE(z.size(), 6);
        }
        QCOMPARE(zeilen[0], zeilen[1]);
    }

    // Doubtful shots: "SCHEIBE" and four CRs between shots, "ENDE" and one
    // CR after the card's last shot.
    void doubtfulShots()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setAuto(true);
        sim.setInterval(5);
        sim.setDoubtfulProbability(1.0);
        QSignalSpy fertig(&sim, &Rm3Simulator::cardFinished);
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 10000, 20);
        sammle(m);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 3, QString()));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(_schuesse.size(), 3);
        for (const Empfangen &e : _schuesse)
            QVERIFY(e.zweifelhaft);
        QCOMPARE(sim.ackCount(), 4 + 4 + 1);
        // The client may send the next card's settings line again.
        QTRY_VERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                       MaschineRm3::Teilerfaktor(2), 1, QString()));
        QTRY_COMPARE(_schuesse.size(), 4);
    }

    // Shots queued by a test arrive with exactly their values.
    void queuedShots()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setInterval(0);
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 10000, 20);
        sammle(m);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        QSignalSpy fertig(&sim, &Rm3Simulator::cardFinished);
        QSignalSpy gesendet(&sim, &Rm3Simulator::shotSent);
        Rm3Simulator::Shot a { 0.05, -0.1, 9.7, 145.0, false };
        Rm3Simulator::Shot b { -1.25, 3.5, 7.3, 929.0, true };
        sim.queueShots({ a, b });
        QVERIFY(fertig.wait(5000));
        QCOMPARE(gesendet.at(0).at(1).toByteArray(), QByteArray("1;9.7;145.0;0.05;-0.10;"));
        QCOMPARE(gesendet.at(1).at(1).toByteArray(), QByteArray("2;7.3;929.0;-1.25;3.50;M"));
        QCOMPARE(_schuesse.size(), 2);
        QCOMPARE(_schuesse.at(1).x, -1.25);
        QCOMPARE(_schuesse.at(1).y, 3.5);
        QCOMPARE(_schuesse.at(1).ringe, 7.3);
        QCOMPARE(_schuesse.at(1).teiler, 929.0);
        QVERIFY(_schuesse.at(1).zweifelhaft);
        QCOMPARE(sim.ackCount(), 1);
    }

    // What the client sends is recorded line by line.
    void receivedLines()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setAuto(true);
        sim.setInterval(0);
        QSignalSpy exit(&sim, &Rm3Simulator::exitReceived);
        MaschineRm3 m;
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 1, QStringLiteral("Test")));
        m.trennen();
        QVERIFY(exit.wait(5000));
        QCOMPARE(sim.receivedLines(), (QList<QByteArray> { "V", "110513221Test", "EXIT" }));
        QVERIFY(!sim.connected());

        // Idle: a settings line reads no card.
        QSignalSpy gesendet(&sim, &Rm3Simulator::shotSent);
        m.clearToState(2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 1, QString()));
        QTRY_COMPARE(sim.receivedLines().size(), 4);
        QTest::qWait(100);
        QCOMPARE(gesendet.size(), 0);
    }

    void sendArbitraryLines()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 10000, 20);
        sammle(m);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        sim.sendRaw("xx;-;;1.0;2;");
        sim.sendRaw("\rSCHEIBE\r");
        QTRY_COMPARE(sim.ackCount(), 4);
        QCOMPARE(_schuesse.size(), 1);
        QVERIFY(!_schuesse.at(0).valid);
        sim.sendLine("2;10.0;50;0;0.2;");
        QTRY_COMPARE(_schuesse.size(), 2);
        QCOMPARE(_schuesse.at(1).ringe, 10.0);
    }

    void silentMachine()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setSilentOnConnect(true);
        QSignalSpy anfrage(&sim, &Rm3Simulator::connectRequested);
        MaschineRm3 m;
        m.setTimerIntervalle(200, 10000, 250);
        m.setSerialPort(sim.slavePath());
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        m.verbinden();
        QVERIFY(fehler.wait(5000));
        QCOMPARE(anfrage.size(), 1);
        QCOMPARE(fehler.at(0).at(0).toString(),
                 QStringLiteral("Verbingunsaufbau zur Auswertmaschine via '") + sim.slavePath()
                     + QStringLiteral("' fehlgeschlagen!"));
        QCOMPARE(m.zustand(), 0);
    }

    // An unplugged cable after two shots: the client keeps the two shots and
    // reports the broken line once.
    void closeAfterShots()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        const QString port = sim.slavePath();
        sim.setAuto(true);
        sim.setInterval(5);
        sim.setCloseAfterShots(2);
        QSignalSpy zu(&sim, &Rm3Simulator::lineClosed);
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 300, 250);
        sammle(m);
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        QSignalSpy timeout(&m, &MaschineRm3::schussTimeout);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 5, QString()));
        QVERIFY(fehler.wait(5000));
        QCOMPARE(zu.size(), 1);
        QTest::qWait(500);
        QCOMPARE(fehler.size(), 1);
        QCOMPARE(fehler.at(0).at(0).toString(),
                 QStringLiteral("Verbindung zur Auswertmaschine via '") + port
                     + QStringLiteral("' unterbrochen!"));
        QCOMPARE(_schuesse.size(), 2);
        QCOMPARE(timeout.size(), 0);
        QCOMPARE(m.zustand(), 0);
    }

    void script()
    {
        QTemporaryDir dir;
        const QString datei = dir.filePath("karte.txt");
        QFile f(datei);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1;9.7;145;0.05;-0.1;\nsleep 300\n2;8.0;400;1.6;0.0;M\nENDE\n");
        f.close();
        QList<Rm3Simulator::ScriptStep> schritte;
        QVERIFY(Rm3Simulator::loadScript(datei, &schritte));
        QCOMPARE(schritte.size(), 4);
        QCOMPARE(schritte.at(1).sleepMs, 300);
        QVERIFY(!Rm3Simulator::loadScript(dir.filePath("fehlt.txt"), &schritte));

        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        QSignalSpy ende(&sim, &Rm3Simulator::scriptFinished);
        MaschineRm3 m;
        m.setTimerIntervalle(20000, 10000, 20);
        sammle(m);
        verbinde(sim, m);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        QElapsedTimer uhr;
        uhr.start();
        sim.runScript(schritte);
        QTRY_COMPARE(_schuesse.size(), 1);
        QVERIFY(ende.wait(5000));
        QTRY_COMPARE(_schuesse.size(), 2);
        QVERIFY(uhr.elapsed() >= 250);
        QVERIFY(_schuesse.at(1).zweifelhaft);
        QTRY_COMPARE(sim.ackCount(), 1);
    }

    // At 2400 baud a byte takes about 4.2 ms on the wire.
    void baudPacing()
    {
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setBaud(2400);
        MaschineRm3 m;
        sammle(m);
        m.setSerialPort(sim.slavePath());
        m.verbinden();
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 1, QString()));
        QSignalSpy leer(&sim, &Rm3Simulator::outputDrained);
        QElapsedTimer uhr;
        uhr.start();
        sim.sendLine(QByteArray("1;9.7;145;0.05;-0.1;") + QByteArray(30, ' ')); // 51 bytes: about 212 ms
        QVERIFY(leer.wait(5000));
        QTRY_COMPARE(_schuesse.size(), 1);
        QVERIFY2(uhr.elapsed() >= 150, qPrintable(QString::number(uhr.elapsed())));
    }

    // The command-line program on a stable link name.
    void program()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("rm3");
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(KOVRIT_RM3SIM_EXE),
                { "--link", link, "--auto", "--interval", "5", "--seed", "3", "--doubtful", "0" });
        QVERIFY(p.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 5000);
        const QString slave = QString::fromLocal8Bit(p.readLine()).trimmed();
        QVERIFY(slave.startsWith(QLatin1String("/dev/")));
        QCOMPARE(QFile::symLinkTarget(link), slave);

        MaschineRm3 m(link);
        sammle(m);
        m.verbinden();
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Fuenfer, MaschineRm3::SerieEin,
                                   MaschineRm3::Teilerfaktor(2), 1, QString()));
        QTRY_COMPARE(_schuesse.size(), 5);
        QTest::qWait(100);
        QCOMPARE(_schuesse.size(), 5);

        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A script replays a field log once the client has asked for the
    // connection.
    void programScript()
    {
        QTemporaryDir dir;
        const QString datei = dir.filePath("log.txt");
        QFile f(datei);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("sleep 300\n1;9.7;145;0.05;-0.1;M\nENDE\n");
        f.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(KOVRIT_RM3SIM_EXE), { "--script", datei });
        QVERIFY(p.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 5000);
        MaschineRm3 m(QString::fromLocal8Bit(p.readLine()).trimmed());
        m.setTimerIntervalle(20000, 10000, 20);
        sammle(m);
        m.verbinden();
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 1, QString()));
        QTRY_COMPARE(_schuesse.size(), 1);
        QVERIFY(_schuesse.at(0).zweifelhaft);
        // The single CR that answers "ENDE" lets the next card's settings through.
        QTRY_VERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                       MaschineRm3::Teilerfaktor(2), 1, QString()));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestRm3Sim)
#include "tst_rm3sim.moc"

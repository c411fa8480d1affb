#include "machine/maschine.h"
#include "rm3simulator.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// Ring value as the client's scoring geometry computes it from x and y.
double ringeAus(double x, double y)
{
    const int t = int(std::floor(10.0 * std::sqrt(x * x + y * y) + 0.5));
    const double v = (110 - t) / 10.0;
    return v < 1.0 ? 0.0 : std::min(v, 10.9);
}

// The emulator on a pty (or the program on the given port) and a client on
// its line, the client's acknowledgements paced fast.
struct Strecke
{
    explicit Strecke(const QString &port = QString())
    {
        m.setSerialPort(port.isEmpty() && sim.openPty() ? sim.slavePath() : port);
        m.setTimerIntervalle(20000, 10000, 20);
        sim.setAuto(true);
        sim.setInterval(5);
    }
    bool verbinden()
    {
        m.verbinden();
        return QTest::qWaitFor([this] { return m.zustand() == 2; }, 5000);
    }
    bool einstellen(quint32 anzahl)
    {
        return m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                  MaschineRm3::Teilerfaktor(2), anzahl, QString());
    }
    Rm3Simulator sim;
    MaschineRm3 m;
    QSignalSpy schuesse { &m, &MaschineRm3::schuss };
    QSignalSpy fehler { &m, &MaschineRm3::verbindungsFehler };
};

} // namespace

class TestRm3Sim : public QObject
{
    Q_OBJECT

private slots:
    // A settings line in auto mode makes the emulator read exactly the
    // card's number of shots, and the client takes every one of them, also
    // with garbage lines between them.
    void autoCard_data()
    {
        QTest::addColumn<QList<int>>("aufruf"); // waffe, scheibe, serie, anzahl
        QTest::addColumn<int>("n");
        QTest::newRow("air pistol 10") << QList<int> { 2, 1, 0, 10 } << 10;
        QTest::newRow("air rifle 5") << QList<int> { 1, 2, 1, 1 } << 5;
        QTest::newRow("air rifle 10") << QList<int> { 1, 3, 1, 1 } << 10;
        QTest::newRow("air rifle 3, garbage") << QList<int> { 1, 1, 0, 3 } << 3;
    }
    void autoCard()
    {
        QFETCH(QList<int>, aufruf);
        QFETCH(int, n);
        Strecke s;
        s.sim.setSeed(7);
        s.sim.setSpread(4.0);
        s.sim.setGarbage(n == 3);
        QSignalSpy gesendet(&s.sim, &Rm3Simulator::shotSent);
        QSignalSpy fertig(&s.sim, &Rm3Simulator::cardFinished);
        QVERIFY(s.verbinden());
        QVERIFY(s.m.setEinstellungen(MaschineRm3::Waffe(aufruf[0]), MaschineRm3::Scheibe(aufruf[1]),
                                     MaschineRm3::Serie(aufruf[2]), MaschineRm3::Teilerfaktor(2),
                                     quint32(aufruf[3]), QString()));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(gesendet.size(), n);
        QTRY_COMPARE(s.schuesse.size(), n);
        const double faktor = aufruf[0] == MaschineRm3::Luftpistole ? 800.0 : 250.0;
        for (int i = 0; i < n; ++i) {
            const QList<QVariant> &e = s.schuesse.at(i);
            const double x = e.at(4).toDouble(), y = e.at(5).toDouble(), ringe = e.at(2).toDouble();
            QCOMPARE(e.at(0).toUInt(), quint32(i));
            QVERIFY(e.at(1).toBool() && !e.at(6).toBool());
            QCOMPARE(ringe, ringeAus(x, y));
            QVERIFY(std::abs(e.at(3).toDouble() - std::hypot(x, y) * faktor) <= 0.05 + 1e-9);
        }
        QCOMPARE(s.sim.ackCount(), 0);
    }

    // Doubtful shots: "SCHEIBE" and four CRs between shots, "ENDE" and one
    // CR after the card's last shot; then the next card may start.
    void doubtfulShots()
    {
        Strecke s;
        s.sim.setDoubtfulProbability(1.0);
        QSignalSpy fertig(&s.sim, &Rm3Simulator::cardFinished);
        QVERIFY(s.verbinden());
        QVERIFY(s.einstellen(3));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(s.schuesse.size(), 3);
        for (const QList<QVariant> &e : s.schuesse)
            QVERIFY(e.at(6).toBool());
        QCOMPARE(s.sim.ackCount(), 4 + 4 + 1);
        bool angenommen = false; // QTRY evaluates once more after success
        QTRY_VERIFY(angenommen || (angenommen = s.einstellen(1)));
        QTRY_COMPARE(s.schuesse.size(), 4);
    }

    // A machine that never answers "V": the client gives up with one message.
    void silentMachine()
    {
        Strecke s;
        s.sim.setSilentOnConnect(true);
        QSignalSpy anfrage(&s.sim, &Rm3Simulator::connectRequested);
        s.m.setTimerIntervalle(200, 10000, 250);
        s.m.verbinden();
        QVERIFY(s.fehler.wait(5000));
        QCOMPARE(anfrage.size(), 1);
        QCOMPARE(s.m.zustand(), 0);
    }

    // An unplugged cable after two shots: the client keeps the two shots and
    // reports the broken line once.
    void closeAfterShots()
    {
        Strecke s;
        s.sim.setCloseAfterShots(2);
        QVERIFY(s.verbinden());
        QVERIFY(s.einstellen(5));
        QVERIFY(s.fehler.wait(5000));
        QVERIFY(!s.sim.isOpen());
        QTest::qWait(100);
        QCOMPARE(s.fehler.size(), 1);
        QCOMPARE(s.schuesse.size(), 2);
        QCOMPARE(s.m.zustand(), 0);
    }

    // The command-line program on a stable link name, removed on exit.
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
        QCOMPARE(QFile::symLinkTarget(link), QString::fromLocal8Bit(p.readLine()).trimmed());

        Strecke s(link);
        QVERIFY(s.verbinden());
        QVERIFY(s.m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Fuenfer, MaschineRm3::SerieEin,
                                     MaschineRm3::Teilerfaktor(2), 1, QString()));
        QTRY_COMPARE(s.schuesse.size(), 5);
        QTest::qWait(100);
        QCOMPARE(s.schuesse.size(), 5);

        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestRm3Sim)
#include "tst_rm3sim.moc"

#include "machine/maschine.h"
#include "rm3simulator.h"
#include "targets/lxscheibe.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The emulator on a pty and a client on its line, the client's
// acknowledgements paced fast.
struct Strecke
{
    Strecke()
    {
        sim.openPty();
        m.setSerialPort(sim.slavePath());
        m.setTimerIntervalle(20000, 10000, 20);
        sim.setAuto(true);
        sim.setInterval(5);
    }
    bool verbinden()
    {
        m.verbinden();
        return QTest::qWaitFor([this] { return m.zustand() == 2; }, 5000);
    }
    Rm3Simulator sim;
    MaschineRm3 m;
    QSignalSpy schuesse { &m, &MaschineRm3::schuss };
};

} // namespace

class TestRm3Sim : public QObject
{
    Q_OBJECT

private slots:
    // A settings line in auto mode makes the emulator read exactly the
    // card's number of shots, scored as the client scores them, and the
    // client takes every one of them, also with garbage lines between them.
    // A doubtful shot wants "SCHEIBE" and four CRs, the card's last "ENDE"
    // and one.
    void autoCard_data()
    {
        QTest::addColumn<QList<int>>("aufruf"); // waffe, scheibe, serie, anzahl
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("stoerung"); // 1: garbage lines, 2: every shot doubtful
        QTest::newRow("air pistol 10") << QList<int> { 2, 1, 0, 10 } << 10 << 0;
        QTest::newRow("air rifle 5") << QList<int> { 1, 2, 1, 1 } << 5 << 0;
        QTest::newRow("air rifle 10") << QList<int> { 1, 3, 1, 1 } << 10 << 0;
        QTest::newRow("air rifle 3, garbage") << QList<int> { 1, 1, 0, 3 } << 3 << 1;
        QTest::newRow("air rifle 3, doubtful") << QList<int> { 1, 1, 0, 3 } << 3 << 2;
    }
    void autoCard()
    {
        QFETCH(QList<int>, aufruf);
        QFETCH(int, n);
        QFETCH(int, stoerung);
        Strecke s;
        s.sim.setSeed(7);
        s.sim.setSpread(4.0);
        s.sim.setGarbage(stoerung == 1);
        s.sim.setDoubtfulProbability(stoerung == 2 ? 1.0 : 0.0);
        QSignalSpy fertig(&s.sim, &Rm3Simulator::cardFinished);
        QVERIFY(s.verbinden());
        QVERIFY(s.m.setEinstellungen(MaschineRm3::Waffe(aufruf[0]), MaschineRm3::Scheibe(aufruf[1]),
                                     MaschineRm3::Serie(aufruf[2]), MaschineRm3::Teilerfaktor(2),
                                     quint32(aufruf[3]), QString()));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(s.sim.shotsSent(), n);
        QTRY_COMPARE(s.schuesse.size(), n);
        const double faktor = aufruf[0] == MaschineRm3::Luftpistole ? 800.0 : 250.0;
        for (int i = 0; i < n; ++i) {
            const QList<QVariant> &e = s.schuesse.at(i);
            const double x = e.at(4).toDouble(), y = e.at(5).toDouble();
            QCOMPARE(e.at(0).toUInt(), quint32(i));
            QVERIFY(e.at(1).toBool());
            QCOMPARE(e.at(6).toBool(), stoerung == 2);
            QCOMPARE(e.at(2).toDouble(), LxScheibe::ringe(x, y));
            QVERIFY(std::abs(e.at(3).toDouble() - LxScheibe::_teiler(x, y, faktor)) <= 0.05 + 1e-9);
        }
        QCOMPARE(s.sim.ackCount(), stoerung == 2 ? 4 * (n - 1) + 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestRm3Sim)
#include "tst_rm3sim.moc"

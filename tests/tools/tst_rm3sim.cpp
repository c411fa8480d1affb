#include "machine/maschine.h"
#include "rm3simulator.h"
#include "targets/lxscheibe.h"

#include <QSignalSpy>
#include <QTest>

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
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        sim.setAuto(true);
        sim.setInterval(5);
        sim.setSeed(7);
        sim.setSpread(4.0);
        sim.setGarbage(stoerung == 1);
        sim.setDoubtfulProbability(stoerung == 2 ? 1.0 : 0.0);
        QSignalSpy fertig(&sim, &Rm3Simulator::cardFinished);
        MaschineRm3 m(sim.slavePath());
        m.setTimerIntervalle(20000, 10000, 20); // acknowledgements paced fast
        QSignalSpy schuesse(&m, &MaschineRm3::schuss);
        m.verbinden();
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Waffe(aufruf[0]), MaschineRm3::Scheibe(aufruf[1]),
                                   MaschineRm3::Serie(aufruf[2]), MaschineRm3::Teilerfaktor(2),
                                   quint32(aufruf[3]), QString()));
        QVERIFY(fertig.wait(5000));
        QCOMPARE(sim.shotsSent(), n);
        QTRY_COMPARE(schuesse.size(), n);
        const double faktor = aufruf[0] == MaschineRm3::Luftpistole ? 800.0 : 250.0;
        for (const QList<QVariant> &e : schuesse) {
            const double x = e.at(4).toDouble(), y = e.at(5).toDouble();
            QVERIFY(e.at(1).toBool());
            QCOMPARE(e.at(6).toBool(), stoerung == 2);
            QCOMPARE(e.at(2).toDouble(), LxScheibe::ringe(x, y));
            QVERIFY(std::abs(e.at(3).toDouble() - LxScheibe::_teiler(x, y, faktor)) <= 0.05 + 1e-9);
        }
        QCOMPARE(sim.ackCount(), stoerung == 2 ? 4 * (n - 1) + 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestRm3Sim)
#include "tst_rm3sim.moc"

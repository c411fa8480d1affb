#include "machine/maschine.h"
#include "machine/portwaechter.h"
#include "rm3simulator.h"
#include "simuhr.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The adapter pulled out and plugged in again, as a pty behind a stable
// link name (as /dev/serial/by-id/... is): the pty goes away with its link
// dangling, and a new pty comes back under the same link. The watch looks on
// a clock of the test's own.
class TestPortWaechter : public QObject
{
    Q_OBJECT

private slots:
    void replug_data()
    {
        QTest::addColumn<bool>("trennen"); // the officer disconnects while the port is away
        QTest::newRow("back by itself") << false;
        QTest::newRow("Trennen ends the watch") << true;
    }

    void replug()
    {
        QFETCH(bool, trennen);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("rm3"));
        Rm3Simulator sim;
        QVERIFY(sim.openPty());
        QVERIFY(QFile::link(sim.slavePath(), link));
        SimUhr uhr;
        MaschineRm3 maschine(link);
        PortWaechter waechter(maschine);
        QSignalSpy fehler(&maschine, &MaschineRm3::verbindungsFehler);
        maschine.verbinden();
        QTRY_COMPARE(maschine.zustand(), int(MaschineRm3::Verbunden));
        QVERIFY(!waechter.wartet());

        // The link dangles into the test's own folder: a pty number freed
        // here may be taken at once by another test running beside this one.
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("weg")), link));
        sim.closeLine();
        QTRY_COMPARE(fehler.size(), 1);
        QVERIFY(waechter.wartet());
        QCOMPARE(maschine.zustand(), int(MaschineRm3::Getrennt));
        uhr.vorstellen(3 * PortWaechter::PruefIntervall); // the dangling link is not taken for the port
        QVERIFY(waechter.wartet());
        if (trennen) {
            maschine.trennen();
            waechter.stop();
        }

        QSignalSpy neu(&waechter, &PortWaechter::geaendert);
        QSignalSpy verbindung(&sim, &Rm3Simulator::connectRequested);
        QVERIFY(sim.openPty());
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(sim.slavePath(), link));
        uhr.vorstellen(2 * PortWaechter::PruefIntervall); // two looks find it
        if (trennen) {
            QCOMPARE(maschine.zustand(), int(MaschineRm3::Getrennt));
        } else {
            QTRY_COMPARE(maschine.zustand(), int(MaschineRm3::Verbunden));
            QCOMPARE(verbindung.size(), 1);
            QVERIFY(!waechter.wartet() && !waechter.verbindetNeu());
            QCOMPARE(neu.size(), 2); // re-connecting, then connected
        }
        QCOMPARE(fehler.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPortWaechter)
#include "tst_portwaechter.moc"

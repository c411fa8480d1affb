#include "machine/maschine.h"
#include "machine/schussbuffer.h"

#include "common/ptypair.h"

#include <QSignalSpy>
#include <QTest>

class TestSchussBuffer : public QObject
{
    Q_OBJECT

private slots:
    void pushRecordsAndForwards()
    {
        SchussBuffer b;
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        int imRecordBeiEmpfang = -1;
        connect(&b, &SchussBuffer::schuss, this, [&] { imRecordBeiEmpfang = int(b.eintraege().size()); });
        b.push(3, false, -1.0, 604.669, 1.2, -2.1, true);
        QCOMPARE(spy.size(), 1);
        const QList<QVariant> a = spy.at(0);
        QCOMPARE(a.at(0).toUInt(), 3u);
        QCOMPARE(a.at(1).toBool(), false);
        QCOMPARE(a.at(2).toDouble(), -1.0);
        QCOMPARE(a.at(3).toDouble(), 604.669);
        QCOMPARE(a.at(4).toDouble(), 1.2);
        QCOMPARE(a.at(5).toDouble(), -2.1);
        QCOMPARE(a.at(6).toBool(), true);
        // The entry was stored before the signal went out.
        QCOMPARE(imRecordBeiEmpfang, 1);
        const SchussBuffer::Eintrag &e = b.eintraege().last();
        QCOMPARE(e.nummer, 3u);
        QCOMPARE(e.valid, false);
        QCOMPARE(e.ringe, -1.0);
        QCOMPARE(e.teiler, 604.669);
        QCOMPARE(e.x, 1.2);
        QCOMPARE(e.y, -2.1);
        QCOMPARE(e.zweifelhaft, true);
    }

    void replayRepeatsInOrder()
    {
        SchussBuffer b;
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        b.push(0, true, 9.7, 145.0, 0.05, -0.1, false);
        b.push(1, true, 10.9, 0.0, 0.0, 0.0, false);
        b.push(2, false, -1.0, -1.0, 3.0, 4.0, true);
        b.wiederholen();
        QCOMPARE(spy.size(), 6);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(spy.at(3 + i), spy.at(i));
        QCOMPARE(spy.at(3).at(0).toUInt(), 0u);
        QCOMPARE(spy.at(5).at(0).toUInt(), 2u);
        QCOMPARE(b.eintraege().size(), 3); // the record stays
    }

    void clearEmptiesRecord()
    {
        SchussBuffer b;
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        b.clear(); // nothing to do on an empty buffer
        QVERIFY(b.eintraege().isEmpty());
        QCOMPARE(spy.size(), 0);
        b.push(0, true, 9.7, 145.0, 0.05, -0.1, false);
        b.push(1, true, 9.0, 250.0, 1.0, 0.0, false);
        b.clear();
        QVERIFY(b.eintraege().isEmpty());
        b.wiederholen();
        QCOMPARE(spy.size(), 2);
    }

    // A receiver that clears the buffer during the replay (a new card number
    // entered inside a nested event loop) does not disturb the replay.
    void clearDuringReplay()
    {
        SchussBuffer b;
        b.push(0, true, 9.7, 145.0, 0.05, -0.1, false);
        b.push(1, true, 9.0, 250.0, 1.0, 0.0, false);
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        connect(&b, &SchussBuffer::schuss, &b, &SchussBuffer::clear);
        b.wiederholen();
        QCOMPARE(spy.size(), 2);
        QVERIFY(b.eintraege().isEmpty());
    }

    // Wired as the main window wires it: every shot the link takes lands in
    // the record in order, and the replay repeats them for the new card.
    void recordsShotsOfTheLink()
    {
        PtyPair pty;
        QVERIFY(pty.ok());
        MaschineRm3 m(pty.slavePath());
        SchussBuffer b;
        connect(&m, &MaschineRm3::schuss, &b, &SchussBuffer::push);
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        m.verbinden();
        pty.write("RM3\r");
        QTRY_COMPARE(m.zustand(), 2);
        QVERIFY(m.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), 2, QString()));
        pty.write("1;9.7;145;0.05;-0.1;\r2;-;-;4.5;1.5;\r3;10.0;0;0;0;\r");
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(b.eintraege().size(), 2);
        QCOMPARE(b.eintraege().at(0).nummer, 0u);
        QCOMPARE(b.eintraege().at(0).ringe, 9.7);
        QCOMPARE(b.eintraege().at(1).nummer, 1u);
        QCOMPARE(b.eintraege().at(1).valid, false);
        QCOMPARE(b.eintraege().at(1).x, 4.5);
        b.wiederholen();
        QCOMPARE(spy.size(), 4);
        QCOMPARE(spy.at(2), spy.at(0));
        QCOMPARE(spy.at(3), spy.at(1));
    }
};

QTEST_GUILESS_MAIN(TestSchussBuffer)
#include "tst_schussbuffer.moc"

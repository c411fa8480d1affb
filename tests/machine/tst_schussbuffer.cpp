#include "machine/schussbuffer.h"

#include <QSignalSpy>
#include <QTest>

class TestSchussBuffer : public QObject
{
    Q_OBJECT

private slots:
    // The shot goes on unchanged, and only after it is recorded: a receiver
    // already finds it in the record.
    void pushRecordsThenForwards()
    {
        SchussBuffer b;
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        QList<QVariant> imRecord;
        connect(&b, &SchussBuffer::schuss, this, [&] {
            if (!b.eintraege().isEmpty()) {
                const SchussBuffer::Eintrag &e = b.eintraege().last();
                imRecord = { e.nummer, e.valid, e.ringe, e.teiler, e.x, e.y, e.zweifelhaft };
            }
        });
        b.push(3, false, -1.0, 604.669, 1.2, -2.1, true);
        const QList<QVariant> erwartet { 3u, false, -1.0, 604.669, 1.2, -2.1, true };
        QCOMPARE(spy, (QList<QList<QVariant>> { erwartet }));
        QCOMPARE(imRecord, erwartet);
    }

    // Three shots and a replay: six emissions, the same three again in order;
    // the record stays until clear, after which a replay emits nothing.
    void replayAndClear()
    {
        SchussBuffer b;
        QSignalSpy spy(&b, &SchussBuffer::schuss);
        b.clear(); // nothing to do on an empty buffer
        b.push(0, true, 9.7, 145.0, 0.05, -0.1, false);
        b.push(1, true, 10.9, 0.0, 0.0, 0.0, false);
        b.push(2, false, -1.0, -1.0, 3.0, 4.0, true);
        b.wiederholen();
        QCOMPARE(spy.size(), 6);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(spy.at(i).at(0).toUInt(), quint32(i));
            QCOMPARE(spy.at(3 + i), spy.at(i));
        }
        QCOMPARE(b.eintraege().size(), 3);
        b.clear();
        b.wiederholen();
        QCOMPARE(spy.size(), 6);
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
};

QTEST_GUILESS_MAIN(TestSchussBuffer)
#include "tst_schussbuffer.moc"

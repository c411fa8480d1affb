#include "machine/schussbuffer.h"

#include <QSignalSpy>
#include <QTest>

class TestSchussBuffer : public QObject
{
    Q_OBJECT

private slots:
    // A shot goes on unchanged, and only after it is recorded: a receiver
    // already finds it in the record. A replay repeats the record in order and
    // keeps it; a receiver that clears the buffer during the replay (a new
    // card number entered inside a nested event loop) does not cut it short.
    void recordAndReplay()
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
        b.push(0, true, 9.7, 145.0, 0.05, -0.1, false);
        b.push(3, false, -1.0, 604.669, 1.2, -2.1, true);
        const QList<QVariant> erwartet { 3u, false, -1.0, 604.669, 1.2, -2.1, true };
        QCOMPARE(spy.last(), erwartet);
        QCOMPARE(imRecord, erwartet);

        b.wiederholen();
        QCOMPARE(spy.size(), 4);
        QCOMPARE(spy.mid(2), spy.mid(0, 2));
        QCOMPARE(b.eintraege().size(), 2);
        connect(&b, &SchussBuffer::schuss, &b, &SchussBuffer::clear);
        b.wiederholen();
        QCOMPARE(spy.size(), 6);
        QVERIFY(b.eintraege().isEmpty());
        b.wiederholen();
        QCOMPARE(spy.size(), 6);
    }
};

QTEST_GUILESS_MAIN(TestSchussBuffer)
#include "tst_schussbuffer.moc"

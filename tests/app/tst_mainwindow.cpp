#include "station.h"
#include "targets/lpscheibe.h"

// The officer's whole day, end to end: the real window against the
// in-process competition server and the machine emulator on a pty.

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    // The login screen asks for the competition list once, not again and
    // again.
    void competitionListIsFetchedOnce()
    {
        Station st;
        QVERIFY(st.start());
        QTRY_COMPARE(st.find<QComboBox>("wettkampfSelect")->count(), 3);
        QSignalSpy handled(st.server.get(), &KovritServer::requestHandled);
        QTest::qWait(100);
        QCOMPARE(handled.count(), 0);
    }

    // Each card kind sets the machine up with its own line and face; every
    // clean card is submitted once, on its own, with the hits as shot.
    void cleanCardPerKind_data()
    {
        QTest::addColumn<int>("schuss");
        QTest::addColumn<int>("waffe");
        QTest::addColumn<QByteArray>("zeile");
        QTest::newRow("air rifle 10") << 10 << 1 << QByteArray("131513211");
        QTest::newRow("air pistol 10 is not a Zehner card") << 10 << 2 << QByteArray("21051321B");
        QTest::newRow("air rifle 5") << 5 << 1 << QByteArray("121513211");
    }

    void cleanCardPerKind()
    {
        QFETCH(int, schuss);
        QFETCH(int, waffe);
        QFETCH(QByteArray, zeile);
        Station st;
        QVERIFY(st.bereit(1001, schuss, waffe));
        QCOMPARE(st.einstellungen().last(), zeile);
        QCOMPARE(dynamic_cast<LpScheibe *>(st.scheibe(0)) != nullptr, waffe == 2);

        st.sim.queueShots(sauber(schuss));
        QCOMPARE(st.storedOnce(1001), treffer(sauber(schuss)));
        if (schuss == 10) {
            // 10.9 + 10.7 + ... + 9.1 = 100.0; whole rings 10*5 + 9*5 = 95
            QCOMPARE(st.ringe(), QStringLiteral("95 / 95"));
            QCOMPARE(st.zehntel(), QStringLiteral("100,0 / 100,0"));
        }
    }

    // The machine already reads the next card while its number is typed:
    // the whole card is on the line before the reply reaches the window.
    // The old card shows the shots meanwhile but never sends them as its own.
    void shotsBeforeTheCardReplyAreReplayed()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.server->addCard(st.kartenSpec(1002));
        st.sim.sendRaw(shotLines(zehnSchuss()));
        st.tippen(1002);
        QCOMPARE(st.storedOnce(1002), treffer(zehnSchuss()));
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
    }

    // Whatever is still on its way at a logoff (a refused submission, the
    // machine's shots, a card reply) touches nothing on the login screen.
    void lateEventsAfterLogoffTouchNothing()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.server->failNextRequests(1, 500);
        st.sim.queueShots(zehnSchuss());
        QTRY_COMPARE_WITH_TIMEOUT(st.sim.shotsSent(), 10, 10000);
        st.action("logoff")->trigger(); // while the submission is on its way
        QVERIFY(st.warteAufFehler(1));
        st.window->onSchussTimeout(0);
        st.window->onSetTrefferOk();
        st.window->onSchussReceived(0, true, 10.0, 1.0, 0.0, 0.0, false);
        ServiceProvider::Scheibe karte;
        karte.schussProScheibe = 10;
        st.window->onScheibeFetched(karte);
        QVERIFY(!st.grid());
        QCOMPARE(st.fehler.size(), 1);
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: verbunden")); // a logoff keeps the link
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

#include "station.h"
#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"

#include <QMenuBar>
#include <QSignalSpy>

// The officer's whole day, end to end: the real window against the
// in-process competition server and the machine emulator on a pty.

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startShowsTheLoginScreen()
    {
        Station st;
        QVERIFY(st.start());
        QCOMPARE(st.window->windowTitle(), QStringLiteral("kovrit - Quilvo RM3"));
        QCOMPARE(st.status(), QStringLiteral("Offline"));
        QVERIFY(!st.action("logoff")->isEnabled());
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: getrennt"));
        QStringList menus;
        for (QAction *a : st.window->menuBar()->actions())
            menus << a->text().remove(QLatin1Char('&')); // the marks of Alt+D and Alt+M
        QCOMPARE(menus, (QStringList { "Datei", "Maschine", "?" }));
        // The competition list was requested at once and fills the choice.
        auto *select = st.find<QComboBox>("wettkampfSelect");
        QTRY_COMPARE(select->count(), 3);
        QCOMPARE(select->itemText(1), QStringLiteral("Kreismeisterschaft 2026"));
        QVERIFY(!st.grid());
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
        QTest::newRow("air rifle 3") << 3 << 1 << QByteArray("110513213");
    }

    void cleanCardPerKind()
    {
        QFETCH(int, schuss);
        QFETCH(int, waffe);
        QFETCH(QByteArray, zeile);
        Station st;
        QVERIFY(st.bereit(1001, schuss, waffe));
        QCOMPARE(st.status(), QStringLiteral("Kreismeisterschaft 2026"));
        QVERIFY(st.action("logoff")->isEnabled());
        QCOMPARE(st.einstellungen().last(), zeile);
        QCOMPARE(st.grid()->getScheibenzahl(), unsigned(schuss));
        QCOMPARE(dynamic_cast<LpScheibe *>(st.scheibe(0)) != nullptr, waffe == 2);
        QCOMPARE(dynamic_cast<LgScheibe *>(st.scheibe(0)) != nullptr, waffe == 1);

        const QList<Shot> shots = zehnSchuss().mid(0, schuss);
        st.sim.queueShots(shots);
        const quint32 id = st.server->cardId(1001);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        QCOMPARE(st.server->storedHits(id), treffer(shots));
        QTRY_VERIFY(st.karte()->isEnabled()); // the confirmation selects the input
        QVERIFY(st.karte()->hasFocus());
        QCOMPARE(st.karte()->selectedText().trimmed(), QStringLiteral("1001"));
        QVERIFY(!st.speichern()->isEnabled());
        QVERIFY(st.fehler.isEmpty());
        if (schuss == 10) {
            QCOMPARE(st.scheibe(0)->ringeLabel(), QStringLiteral("10,9R"));
            QCOMPARE(st.scheibe(0)->teilerLabel(), QStringLiteral("100,5T"));
            QCOMPARE(st.scheibe(9)->ringeLabel(), QStringLiteral("9,1R"));
            // 10.9 + 10.7 + ... + 9.1 = 100.0; whole rings 10*5 + 9*5 = 95
            QCOMPARE(st.ringe(), QStringLiteral("95 / 95"));
            QCOMPARE(st.zehntel(), QStringLiteral("100,0 / 100,0"));
        }
        QTest::qWait(200);
        QCOMPARE(st.server->submissionCount(id), 1);
    }

    // A doubtful shot is acknowledged, held for the officer, may be placed
    // by hand, and the card is saved only by hand.
    void doubtfulShotsAreCorrectedAndSavedByHand()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        QList<Shot> shots = zehnSchuss();
        shots[3].doubtful = true;
        shots[9].doubtful = true;
        QVERIFY(st.schiessen(shots));
        // "SCHEIBE" after a doubtful shot wants four carriage returns, "ENDE" one.
        QTRY_COMPARE(st.sim.ackCount(), 5);
        QCOMPARE(st.scheibe(3)->farbe(), LxScheibe::Hellrot);
        const quint32 id = st.server->cardId(1001);
        QTest::qWait(200);
        QCOMPARE(st.server->submissionCount(id), 0);
        QVERIFY(st.speichern()->isEnabled());
        QVERIFY(!st.karte()->isEnabled());

        LxScheibe *ziel = st.scheibe(9);
        QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
        QCOMPARE(ziel->farbe(), LxScheibe::Hellgruen);
        // A left click places the shot where the officer sees the hole.
        const QPoint loch(ziel->mitteX() + 2 * ziel->pixelProRing(), ziel->mitteY());
        QTest::mouseClick(ziel, Qt::LeftButton, {}, loch);
        QVERIFY(ziel->valid());
        const Hit gesetzt { ziel->x(), ziel->y(), ziel->ringe(), ziel->teiler() };
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(st.server->submissionCount(id), 1);
        QCOMPARE(st.server->storedHits(id), treffer(shots.mid(0, 9)) << gesetzt);
        QTRY_VERIFY(st.karte()->isEnabled());
    }

    void timeoutVoidsTheRestOfTheCard()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        const QList<Shot> shots = zehnSchuss().mid(0, 7);
        st.sim.queueShots(shots);
        // The machine stops after seven shots; the shortened gap timer fires.
        QTRY_COMPARE_WITH_TIMEOUT(st.scheibe(9)->farbe(), LxScheibe::Hellrot, 5000);
        for (unsigned i = 0; i < 7; ++i)
            QCOMPARE(st.scheibe(i)->farbe(), LxScheibe::Weiss);
        for (unsigned i = 7; i < 10; ++i)
            QVERIFY(!st.scheibe(i)->valid());
        // 10.9 ... 9.7: whole rings 10*5 + 9*2 = 68, with tenths 72.1
        QCOMPARE(st.ringe(), QStringLiteral("68 / 68"));
        QCOMPARE(st.zehntel(), QStringLiteral("72,1 / 72,1"));
        const quint32 id = st.server->cardId(1001);
        QCOMPARE(st.server->submissionCount(id), 0);

        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(st.server->submissionCount(id), 1);
        QCOMPARE(st.server->storedHits(id), treffer(shots) + QList<Hit>(3)); // the rest void
    }

    void cancelClearsTheCardAndTellsNobody()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.sim.queueShots(zehnSchuss().mid(0, 2));
        QTRY_VERIFY(st.scheibe(1)->valid());
        QVERIFY(st.abbrechen()->isEnabled());
        QTest::mouseClick(st.abbrechen(), Qt::LeftButton);
        QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
        QCOMPARE(st.zehntel(), QStringLiteral("0,0 / 0,0"));
        QVERIFY(st.karte()->text().isEmpty());
        QVERIFY(st.karte()->isEnabled());
        QVERIFY(!st.scheibe(0)->valid());
        // Save after cancel does nothing.
        st.window->onSpeichernClicked();
        QTest::qWait(200);
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
    }

    void storedHitsAndTeilerFactor()
    {
        Station st;
        QVERIFY(st.start() && st.login() && st.verbinden());
        KovritServer::CardSpec karte = st.kartenSpec(3001, 5);
        karte.teilerFaktor = 2.5;
        karte.hits = {
            { 1.0, 0.0, 10.4, 250.0 }, { 0.0, 2.0, 9.8, 500.0 }, { 3.0, 3.0, 0.0, -1.0 }, { 0, 0, -1, -1 }
        };
        st.server->addCard(karte);
        QVERIFY(st.karteEingeben(3001, 5));
        QCOMPARE(st.scheibe(0)->ringeLabel(), QStringLiteral("10,4R"));
        QCOMPARE(st.scheibe(0)->teilerLabel(), QStringLiteral("250,0T")); // stored Teiler not divided again
        QCOMPARE(st.scheibe(2)->ringeLabel(), QStringLiteral("0,0R"));
        QCOMPARE(st.scheibe(2)->teilerLabel(), QString());
        QVERIFY(!st.scheibe(3)->valid());
        QCOMPARE(st.ringe(), QStringLiteral("19 / 19"));
        QCOMPARE(st.zehntel(), QStringLiteral("20,2 / 20,2"));
        auto *info = st.find<QLineEdit>("info");
        QVERIFY2(info->text().startsWith(
                     "1 Scheibe(n) / Serie; 5 Schuss / Scheibe; Teilerfaktor: 2.5; Kaufdatum: "),
                 qPrintable(info->text()));

        // A received Teiler of 250 on a card with factor 2.5 shows as 100.
        st.sim.queueShots({ Shot { 0.4, 0.0, 10.5, 250.0 } });
        QTRY_COMPARE(st.scheibe(0)->teilerLabel(), QStringLiteral("100,0T"));
        // the replaced hit: 10.5 instead of 10.4 → 19 / 20.3
        QCOMPARE(st.ringe(), QStringLiteral("19 / 19"));
        QCOMPARE(st.zehntel(), QStringLiteral("20,3 / 20,3"));
    }

    void shotsBeforeTheCardReplyAreReplayed()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.server->addCard(st.kartenSpec(1002));
        // The machine already reads the next card while its number is typed:
        // the whole card is on the line before the reply reaches the window.
        const QList<Shot> shots = zehnSchuss();
        QByteArray zeilen;
        for (int i = 0; i < shots.size(); ++i)
            zeilen += Rm3Simulator::shotLine(i, shots[i]) + '\r';
        st.sim.sendRaw(zeilen);
        st.karte()->setText(QStringLiteral("1002"));
        QTest::keyClick(st.karte(), Qt::Key_Return);
        const quint32 id = st.server->cardId(1002);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        QCOMPARE(st.server->storedHits(id), treffer(shots));
        // The old card shows them meanwhile but never sends them as its own.
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
    }

    void logoffAndLoginAgainBuildsFreshWidgets()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        QPointer<ScheibenLayout> alt = st.grid();
        st.action("logoff")->trigger();
        QVERIFY(alt.isNull());
        QCOMPARE(st.status(), QStringLiteral("Offline"));
        QVERIFY(!st.action("logoff")->isEnabled());
        // The machine stays connected across a logoff.
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: verbunden"));
        QVERIFY(st.login());
        QVERIFY(st.grid() != nullptr);
        QCOMPARE(st.grid()->getScheibenzahl(), 0u);
        QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
        QVERIFY(st.karte()->hasFocus());
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
        st.sim.queueShots(zehnSchuss().mid(0, 3));
        QTest::qWait(300);
        st.window->onSchussTimeout(0);
        st.window->onSetTrefferOk();
        st.window->onSchussReceived(0, true, 10.0, 1.0, 0.0, 0.0, false);
        ServiceProvider::Scheibe karte;
        karte.schussProScheibe = 10;
        st.window->onScheibeFetched(karte);
        QVERIFY(!st.grid());
        QCOMPARE(st.status(), QStringLiteral("Offline"));
        QCOMPARE(st.fehler.size(), 1);
    }

    void cardWithMoreThanTenShotsIsRefused()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        const int zeilen = st.einstellungen().size();
        st.server->addCard(st.kartenSpec(1111, 11));
        QVERIFY(st.karteEingeben(1111, 0));
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.fehler.first(),
                 QStringLiteral("Scheibe mit 11 Schuss wird nicht unterstützt (höchstens 10)!"));
        QCOMPARE(st.grid()->getScheibenzahl(), 0u);
        QVERIFY(st.karte()->text().isEmpty());
        QVERIFY(st.find<QLineEdit>("schutze")->text().isEmpty());
        QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
        QTest::qWait(200);
        QCOMPARE(st.einstellungen().size(), zeilen); // the machine was not armed
        // Shots for the refused card are dropped.
        st.window->onSchussReceived(10, true, 10.0, 1.0, 0.0, 0.0, false);
        st.window->onSchussReceived(0, true, 10.0, 1.0, 0.0, 0.0, false);
        QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
    }

    void statusLabelFollowsTheLink()
    {
        Station st;
        QVERIFY(st.start());
        st.sim.setSilentOnConnect(true);
        st.action("connect")->trigger();
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: Verbindungsaufbau..."));
        st.sim.setSilentOnConnect(false);
        st.action("connect")->trigger(); // connecting again restarts the handshake
        QTRY_COMPARE(st.maschinenStatus(), QStringLiteral("Maschine: verbunden"));
        st.sim.closeLine(); // the cable is pulled
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(
            st.fehler.first(),
            QStringLiteral("Verbindung zur Auswertmaschine via '%1' unterbrochen!").arg(st.sim.slavePath()));
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: getrennt"));
        QTest::qWait(200);
        QCOMPARE(st.fehler.size(), 1); // one message, not a flood
    }

    void infoDialogAndExit()
    {
        Station st;
        QVERIFY(st.start());
        QTimer::singleShot(100, [&] {
            auto *info = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(info);
            QCOMPARE(info->windowTitle(), QStringLiteral("Info"));
            QCOMPARE(info->findChild<QLabel *>("title")->text(), QStringLiteral("Quilvo RM3"));
            QCOMPARE(info->findChild<QLabel *>("version")->text(), QStringLiteral("V1.00r1"));
            QVERIFY(!info->findChild<QLabel *>("logo")->pixmap().isNull());
            info->reject();
        });
        st.action("info")->trigger();

        QSignalSpy handled(st.server.get(), &KovritServer::requestHandled);
        st.action("exit")->trigger();
        QVERIFY(!st.window->isVisible());
        QTest::qWait(100);
        QCOMPARE(handled.count(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

#include "station.h"

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>

// Every hit on the right card where it crosses the widgets: the mouse on a
// target, keys in the card number input, the questions before a card is
// thrown away or read again, the status bar, the log. The card flow's own
// orderings are tst_kartenfluss, without widgets.

class TestStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { protokollStarten(); }

    // Unlocking keeps the machine's values in the slot; a void by hand
    // clears it, so the server gets null and not the old values.
    void unlockingKeepsTheMachinesValues()
    {
        Station st;
        QVERIFY(st.bereit(1001, 3));
        st.sim.sendRaw("1;9.7;145;0.05;-0.1;\r" + shotLines({ zehnSchuss().at(1) }, 2));
        QTRY_VERIFY(st.scheibe(1)->valid());
        for (unsigned i : { 0u, 1u }) {
            LxScheibe *ziel = st.scheibe(i);
            QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
        }
        QTest::mouseClick(st.scheibe(1), Qt::RightButton, {}, st.scheibe(1)->rect().center());
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QCOMPARE(st.storedOnce(1001), (QList<Hit> { { 0.05, -0.1, 9.7, 145.0 }, {}, {} }));
    }

    // Whatever the cursor, typed or scanned digits make the next number.
    void scanAfterASavedCard_data()
    {
        QTest::addColumn<bool>("alt"); // what the officer did to the field
        QTest::newRow("clicked right of the number") << false;
        QTest::newRow("Alt, then Escape") << true;
    }

    void scanAfterASavedCard()
    {
        QFETCH(bool, alt);
        Station st;
        QVERIFY(st.bereit(1001, 2));
        st.sim.queueShots(sauber(2));
        QCOMPARE(st.storedOnce(1001), treffer(sauber(2)));
        QTRY_VERIFY(st.karte()->isEnabled() && st.karte()->hasFocus());
        if (alt) {
            QTest::keyClick(st.karte(), Qt::Key_Alt);
            QTest::keyClick(st.karte(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(st.karte(), Qt::LeftButton, {}, QPoint(st.karte()->width() - 4, 5));
        }
        QTest::keyClicks(st.karte(), QStringLiteral("1002"));
        QCOMPARE(st.karte()->text(), QStringLiteral("1002"));
    }

    // A card whose record already holds hits is shown only after Ja, its
    // hits as stored: a stored Teiler is not divided again, a miss has no
    // Teiler, a hit without rings is no hit. Nein leaves the card on screen
    // and the machine alone. A card refused for its size is refused without
    // the question, and nothing of it stays.
    void storedResultsAreNotOverwrittenWithoutAQuestion_data()
    {
        QTest::addColumn<int>("schuss");
        QTest::addColumn<bool>("ja");
        QTest::newRow("Ja") << 5 << true;
        QTest::newRow("Nein") << 5 << false;
        QTest::newRow("eleven positions") << 11 << true;
    }

    void storedResultsAreNotOverwrittenWithoutAQuestion()
    {
        QFETCH(int, schuss);
        QFETCH(bool, ja);
        Station st;
        QVERIFY(st.bereit(1000, 3));
        auto karte = st.kartenSpec(1001, schuss);
        karte.teilerFaktor = 2.5;
        karte.hits = {
            { 1.0, 0.0, 10.4, 250.0 }, { 0.0, 2.0, 9.8, 500.0 }, { 3.0, 3.0, 0.0, 1200.0 }, { 0, 0, -1, -1 }
        };
        karte.evaluatedAt = 1710267900;
        st.server->addCard(karte);
        const int zeilen = st.einstellungen().size();
        st.antwort = ja ? QMessageBox::Yes : QMessageBox::No;
        st.tippen(1001);
        QTRY_VERIFY(!st.fragen.isEmpty() || !st.fehler.isEmpty());
        QTest::qWait(200);
        QCOMPARE(st.einstellungen().size(), zeilen + int(ja && schuss <= 10));
        if (schuss > 10) {
            QVERIFY(st.fragen.isEmpty());
            QCOMPARE(st.grid()->getScheibenzahl(), 0u);
            st.window->onSchussReceived(0, true, 10.0, 1.0, 0.0, 0.0, false);
            QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
            return;
        }
        QCOMPARE(st.fragen,
                 QStringList(QStringLiteral("Scheibe 1001 von Erika Mustermann ist bereits ausgewertet (3 "
                                            "Treffer, 19 Ringe, %1). Neu auswerten?")
                                 .arg(ServiceProvider::toDatumString(1710267900))));
        if (!ja) {
            QCOMPARE(st.grid()->getScheibenzahl(), 3u);
            return;
        }
        QCOMPARE(st.scheibe(0)->teilerLabel(), QStringLiteral("250,0T"));
        QCOMPARE(st.scheibe(2)->teilerLabel(), QString());
        QVERIFY(!st.scheibe(3)->valid());
        QCOMPARE(st.zehntel(), QStringLiteral("20,2 / 20,2"));
        // A received Teiler of 250 on this card shows as 100.
        st.sim.queueShots({ Shot { 0.4, 0.0, 10.5, 250.0 } });
        QTRY_COMPARE(st.scheibe(0)->teilerLabel(), QStringLiteral("100,0T"));
    }

    // While a card is fetched or asked about, the header says so and does
    // not pass the card below off as the new one; after "Nein" the number of
    // the card on screen comes back, selected. Escape then cancels that
    // card, asking first for the hits the server does not hold, and a line
    // and the count say so.
    void theHeaderNeverContradictsTheCard()
    {
        Station st;
        QVERIFY(st.bereit(1000, 3));
        auto karte = st.kartenSpec(1001, 3);
        karte.hits = { { 1.0, 0.0, 10.4, 250.0 } };
        st.server->addCard(karte);
        st.antwort = QMessageBox::NoButton;
        st.tippen(1001);
        QTRY_COMPARE(st.fragen.size(), 1);
        QCOMPARE(st.find<QLabel>("naechste")->text(), QStringLiteral("wird geladen…"));
        QMessageBox *box = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
                box = b;
        QVERIFY(box);
        box->button(QMessageBox::No)->click();
        QTRY_COMPARE(st.karte()->text(), QStringLiteral("1000"));
        QCOMPARE(st.karte()->selectedText().trimmed(), QStringLiteral("1000"));
        QCOMPARE(st.find<QLabel>("naechste")->text(), QString());

        st.antwort = QMessageBox::Yes;
        st.sim.queueShots({ zehnSchuss().first() });
        QTRY_VERIFY(!st.karte()->isEnabled());
        QTest::keyClick(st.window.get(), Qt::Key_Escape);
        QTRY_COMPARE(st.meldung(), QStringLiteral("Scheibe 1000 abgebrochen – Karte erneut einlesen"));
        QCOMPARE(st.fragen.last(), QStringLiteral("Nicht gespeicherte Treffer verwerfen?"));
        QCOMPARE(st.find<QLabel>("zaehlung")->text(),
                 QStringLiteral("0 gespeichert, 0 offen, 1 abgebrochen"));
    }

    // Hits the server does not hold are not thrown away without a question.
    void nothingThrownAwayWithoutAQuestion_data()
    {
        // Beenden closes the window as its close button does.
        QTest::addColumn<bool>("abmelden"); // or Beenden
        QTest::addColumn<bool>("ja");
        QTest::newRow("Abmelden, Nein") << true << false;
        QTest::newRow("Beenden, Nein") << false << false;
        QTest::newRow("Beenden, Ja") << false << true;
    }

    // A scan into the open "Neu auswerten?" box does not answer it "Nein"
    // with its Return; a Return of the officer's own does.
    void aScanDoesNotAnswerTheQuestion()
    {
        Station st;
        QVERIFY(st.start() && st.login());
        auto karte = st.kartenSpec(1001, 2);
        karte.hits = { { 1.0, 0.0, 10.4, 25.0 }, { 0, 0, -1, -1 } };
        st.server->addCard(karte);
        st.antwort = QMessageBox::NoButton;
        st.tippen(1001);
        QTRY_COMPARE(st.fragen.size(), 1);
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())));
        QTest::keyClicks(box, QStringLiteral("1005"));
        QTest::keyClick(box, Qt::Key_Return);
        QTest::qWait(50);
        QVERIFY(box->isVisible());
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(!box->isVisible());
        QCOMPARE(st.grid()->getScheibenzahl(), 0u); // "Nein": the card is not taken
    }

    void nothingThrownAwayWithoutAQuestion()
    {
        QFETCH(bool, abmelden);
        QFETCH(bool, ja);
        Station st;
        QVERIFY(st.bereit(1001, 3));
        st.sim.sendRaw(shotLines({ zehnSchuss().first() }));
        QTRY_VERIFY(st.scheibe(0)->valid());
        st.antwort = ja ? QMessageBox::Yes : QMessageBox::No;
        st.action(abmelden ? "logoff" : "exit")->trigger();
        QCOMPARE(st.fragen, QStringList(QStringLiteral("Nicht gespeicherte Treffer verwerfen?")));
        QCOMPARE(st.window->isVisible(), abmelden || !ja);
        QCOMPARE(st.grid() != nullptr, !(abmelden && ja));
    }

    // The handshake time-out resets the link before its box opens.
    void handshakeTimeoutResetsBeforeTheBox()
    {
        Station st;
        QVERIFY(st.start());
        st.window->maschine().setTimerIntervalle(200, 600, 20);
        st.sim.setSilentOnConnect(true);
        st.action("connect")->trigger();
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.statusBeiFehler.first(), QStringLiteral("Maschine: getrennt"));
    }

    // The Verlauf is made at the first login, not for the login screen; its
    // menu entry stands in the same place throughout, usable only while
    // logged in.
    void verlaufEntryThroughLoginAndLogoff()
    {
        Station st;
        QVERIFY(st.start());
        QMenu *datei = st.find<QMenu>("menuDatei");
        const auto eintrag = [&] {
            const QList<QAction *> a = datei->actions();
            const qsizetype i = a.indexOf(st.action("drucken"));
            return i > 0 ? a.at(i - 1) : nullptr;
        };
        QVERIFY(!st.window->findChild<QTableView *>(QStringLiteral("verlauf")));
        QCOMPARE(eintrag()->text(), QStringLiteral("Verlauf"));
        QVERIFY(!eintrag()->isEnabled());
        QCOMPARE(eintrag()->shortcut(), QKeySequence(Qt::Key_F9));

        for (int runde = 0; runde < 2; ++runde) {
            QVERIFY(st.login());
            auto *dock = st.window->findChild<QDockWidget *>(QStringLiteral("verlaufDock"));
            QVERIFY(dock && st.window->findChild<QTableView *>(QStringLiteral("verlauf")));
            QCOMPARE(st.window->findChildren<QDockWidget *>().size(), 1);
            QCOMPARE(eintrag(), dock->toggleViewAction());
            QVERIFY(eintrag()->isEnabled());
            QCOMPARE(eintrag()->shortcut(), QKeySequence(Qt::Key_F9));
            st.action("logoff")->trigger();
            QVERIFY(!eintrag()->isEnabled());
            QVERIFY(dock->isHidden());
        }
    }

    // Menus passing under the mouse leave the competition name standing.
    void statusBarKeepsTheCompetition()
    {
        Station st;
        QVERIFY(st.start() && st.login());
        for (QAction *a : st.window->menuBar()->actions())
            a->showStatusText(st.window->menuBar());
        QCOMPARE(st.status(), QStringLiteral("Kreismeisterschaft 2026"));
    }

    // Absurd stored ring values are clamped, not overflowed: a hit of 1e12
    // rings, and a series total near 2^31 that this card's shots push over.
    void absurdTotalsAreClamped()
    {
        Station st;
        QVERIFY(st.start() && st.login() && st.verbinden());
        auto karte = st.kartenSpec(1000, 3);
        karte.hits = { { 0, 0, 1e12, 1 } };
        st.server->addCard(karte);
        QVERIFY(st.karteBereit(1000, 3));
        QVERIFY(st.ringe().startsWith(QLatin1String("2147483647 / ")));

        karte = st.kartenSpec(1001, 3);
        karte.hits = { { 0, 0, 2147483640.0, 1 } };
        const quint32 partner = st.server->addCard(karte);
        karte = st.kartenSpec(1002, 3);
        karte.seriesId = st.server->seriesId(partner);
        karte.hits = { { 0, 0, 5.0, 1 } };
        st.server->addCard(karte);
        QVERIFY(st.karteBereit(1002, 3));
        QVERIFY(st.schiessen(sauber(3)));
        QCOMPARE(st.ringe(), QStringLiteral("30 / 2147483647"));
    }

    // A server's megabyte names, control characters and thousands of hits
    // reach no widget as they came: the texts are cut and clean, and only
    // the card's positions count in the question and the totals.
    void hugeTextsAndHits()
    {
        Station st;
        QVERIFY(st.start() && st.login() && st.verbinden());
        auto karte = st.kartenSpec(1001);
        const QString mega(1 << 20, QLatin1Char('x'));
        karte.shooter = QStringLiteral("Anna\u202e\nBerger") + mega;
        karte.club = karte.team = karte.weapon = mega.left(300000); // the body stays below 4 MiB
        for (int i = 0; i < 500; ++i)
            karte.events << mega.left(1000);
        for (int i = 0; i < 10000; ++i)
            karte.hits << Hit { 0, 0, 10.0, 1 };
        st.server->addCard(karte);
        st.antwort = QMessageBox::Yes;
        QVERIFY(st.karteBereit(1001, 10));
        QCOMPARE(st.fragen.size(), 1);
        QVERIFY2(st.fragen.first().contains(QLatin1String("(10 Treffer, 100 Ringe,")),
                 qPrintable(st.fragen.first()));
        QCOMPARE(st.schuetze().section(QStringLiteral(" ("), 0, 0),
                 QStringLiteral("Anna Berger") + QString(88, QLatin1Char('x')) + QStringLiteral("…"));
        QVERIFY2(st.ringe().startsWith(QLatin1String("100 / ")), qPrintable(st.ringe()));
    }

    // A URL with a user and a password never shows them in the log.
    void credentialsStayOutOfTheLog()
    {
        Station st;
        st.zugangInUrl = QStringLiteral("kartenwart:Geheim7@");
        QVERIFY(st.start());
        QTRY_VERIFY(protokolliert(
            QStringLiteral("ServiceProvider::get: http://127.0.0.1:%1/quilvo/wettkampfe").arg(st.port)));
        for (const QString &z : qAsConst(protokoll()))
            QVERIFY2(!z.contains(QLatin1String("Geheim7")) && !z.contains(QLatin1String("kartenwart")),
                     qPrintable(z));
    }
};

QTEST_MAIN(TestStation)
#include "tst_station.moc"

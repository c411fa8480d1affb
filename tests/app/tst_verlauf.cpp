#include "station.h"

#include <QTableView>

// What the officer sees of the cards handled so far: the Verlauf with each
// card's state, the saved line on the result panel, the counts in the status
// bar, and the keyboard and scanner on the target screen.

class TestVerlauf : public QObject
{
    Q_OBJECT

    static QString zeile(Station &st, int z)
    {
        auto *ansicht = st.find<QTableView>("verlauf");
        QStringList felder;
        for (int s : { Verlauf::Nummer, Verlauf::Ringe, Verlauf::Status })
            felder << ansicht->model()->index(z, s).data().toString();
        return felder.join(QLatin1Char('|'));
    }

private slots:
    // One card saved, one refused, one cancelled: each shows its state,
    // newest on top, and the counts follow; the logoff empties the list.
    void statesOfTheCards()
    {
        Station st;
        QVERIFY(st.bereit(1001, 2, 1, true));
        for (quint32 n : { 1002u, 1003u })
            st.server->addCard(st.kartenSpec(n, 2));

        st.proxy->hold("/treffer/");
        st.sim.queueShots(sauber(2));
        QTRY_COMPARE_WITH_TIMEOUT(st.proxy->held(), 1, 10000);
        QCOMPARE(st.meldung(), QStringLiteral("wird gespeichert…"));
        QCOMPARE(zeile(st, 0), QStringLiteral("1001|20 (21,6)|wird gespeichert…"));
        st.proxy->releaseAll();
        QTRY_COMPARE(st.meldung(), QStringLiteral("Scheibe 1001 gespeichert (20 Ringe)"));

        QVERIFY(st.karteBereit(1002, 2));
        QVERIFY(st.meldung().isEmpty());
        st.server->failNextRequests(1, 500);
        st.sim.queueShots(sauber(2));
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(zeile(st, 0), QStringLiteral("1002|20 (21,6)|Übermittlung fehlgeschlagen"));

        QTest::mouseClick(st.abbrechen(), Qt::LeftButton);
        QVERIFY(st.karteBereit(1003, 2));
        QCOMPARE(zeile(st, 1), QStringLiteral("1002|20 (21,6)|abgebrochen"));
        QCOMPARE(zeile(st, 2), QStringLiteral("1001|20 (21,6)|gespeichert"));
        QCOMPARE(zeile(st, 0), QStringLiteral("1003|0 (0,0)|nicht gespeichert"));
        // Cut in a narrow dock, every cell still tells the whole entry.
        const QString tipp = st.find<QTableView>("verlauf")
                                 ->model()
                                 ->index(1, Verlauf::Zeit)
                                 .data(Qt::ToolTipRole)
                                 .toString();
        QVERIFY2(tipp.startsWith(QLatin1String("Scheibe 1002"))
                     && tipp.contains(QLatin1String("\n20 Ringe (21,6), abgebrochen (")),
                 qPrintable(tipp));
        QCOMPARE(st.find<QLabel>("zaehlung")->text(),
                 QStringLiteral("1 gespeichert, 1 offen, 1 abgebrochen"));

        // Return on an entry reads that card again, with the question.
        auto *ansicht = st.find<QTableView>("verlauf");
        ansicht->setFocus();
        ansicht->setCurrentIndex(ansicht->model()->index(2, 0));
        st.antwort = QMessageBox::No;
        QTest::keyClick(ansicht, Qt::Key_Return);
        QTRY_COMPARE(st.fragen.size(), 1);
        QVERIFY(st.fragen.first().startsWith(QLatin1String("Scheibe 1001 ")));

        st.action("logoff")->trigger();
        QCOMPARE(ansicht->model()->rowCount(), 0);
    }

    // Return on the focused "Speichern" presses it; the scanner's digits and
    // Return while a card waits for a decision press nothing: the number
    // waits as the next card, fetched once this one is saved.
    // (Station::login presses Return after the password.)
    void keyboardAndScanner()
    {
        Station st;
        QVERIFY(st.bereit(1001, 2));
        st.server->addCard(st.kartenSpec(1002, 2));
        // The first shot locks the input, which hands its focus to nobody: in
        // the Verlauf the scanner's keys would search, and its focus frame
        // would repaint the whole list with every card.
        st.sim.queueShots({ zehnSchuss().first() });
        QTRY_VERIFY(!st.karte()->isEnabled());
        QVERIFY(st.find<QTableView>("verlauf")->isVisible());
        QCOMPARE(QApplication::focusWidget(), nullptr);
        st.sim.queueShots({ doubtful(zehnSchuss().at(1)) });
        QTRY_VERIFY(st.speichern()->isEnabled());
        st.speichern()->setFocus();

        // The scanner, into the window while the input is locked.
        QTest::keyClicks(st.speichern(), QStringLiteral("1002"));
        QTest::keyClick(st.speichern(), Qt::Key_Return);
        QCOMPARE(st.find<QLabel>("naechste")->text(), QStringLiteral("Nächste Scheibe: 1002"));
        QCOMPARE(st.meldung(), QStringLiteral("Schuss 2 zweifelhaft – prüfen, dann Speichern"));
        QTest::qWait(200);
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
        QCOMPARE(st.karte()->text(), QStringLiteral("1001"));

        QTest::keyClick(st.speichern(), Qt::Key_Return); // now the officer's own Return
        QTRY_COMPARE(st.server->submissionCount(st.server->cardId(1001)), 1);
        QTRY_COMPARE(st.einstellungen().size(), 2);
        QCOMPARE(st.karte()->text(), QStringLiteral("1002"));
        QVERIFY(st.karte()->isEnabled());
        QCOMPARE(st.find<QLabel>("naechste")->text(), QString());

        // Digits typed while the focus is elsewhere still make the number.
        st.abbrechen()->setFocus();
        QTest::keyClicks(st.abbrechen(), QStringLiteral("1002"));
        QCOMPARE(st.karte()->text(), QStringLiteral("1002"));
    }
};

QTEST_MAIN(TestVerlauf)
#include "tst_verlauf.moc"

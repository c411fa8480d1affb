#include "simstation.h"

#include <QTest>

// The card flow's side towards the officer's keys and the machine link: the
// next card scanned while one is read, Escape, the line that says why a card
// waits, a card cut by a lost link. The flow with the real link and shot
// buffer on a clock of the test's own, the server in memory.

namespace {

using St = SimStation;
using T = Kartenfluss::Taste;
using A = Kartenfluss::TastenAntwort;

// Card `nummer` fetched as request `auftrag` and on screen, in the reader.
void karte(St &st, quint32 nummer, quint32 auftrag)
{
    st.entry(nummer);
    st.process(auftrag);
    st.deliver(auftrag);
    st.insert();
}

} // namespace

class TstKartenflussMaschine : public QObject
{
    Q_OBJECT

private slots:
    // A number scanned while the card on screen is read waits: it changes
    // nothing of that card, a later scan replaces it, Escape clears it, and
    // once the card is saved or cancelled it is entered as any number is,
    // through the question of stored hits.
    void theNextCardWaits_data()
    {
        QTest::addColumn<quint32>("scan");
        QTest::addColumn<QString>("ablauf"); // s: save, c: cancel, e: Escape, 2: a second scan of 1003
        QTest::addColumn<quint32>("naechste");
        QTest::addColumn<quint32>("danach"); // the card on screen at the end, 0 for none
        QTest::addColumn<bool>("frage");
        QTest::newRow("saved") << 1005u << "s" << 1005u << 1005u << false;
        QTest::newRow("cancelled") << 1005u << "c" << 1005u << 1005u << false;
        QTest::newRow("a later scan replaces it") << 1005u << "2s" << 1003u << 1003u << false;
        QTest::newRow("Escape clears it") << 1005u << "es" << 0u << 1001u << false;
        QTest::newRow("stored hits ask first") << 2001u << "s" << 2001u << 1001u << true;
    }

    void theNextCardWaits()
    {
        QFETCH(quint32, scan);
        QFETCH(QString, ablauf);
        QFETCH(quint32, naechste);
        QFETCH(quint32, danach);
        QFETCH(bool, frage);
        St st;
        karte(st, 1001, 1);
        st.shot(St::Doubtful);
        QVERIFY(st.fluss().eingabeGesperrt());
        st.scan(scan);
        if (ablauf.contains('2'))
            st.scan(1003);
        if (ablauf.contains('e')) {
            QCOMPARE(st.fluss().taste(T::Escape), A::Verschlucken);
            QCOMPARE(st.fluss().taste(T::Escape), A::Abbrechen);
        }
        QCOMPARE(st.fluss().naechste(), naechste);
        QVERIFY(!st.tastenLeck());
        QCOMPARE(st.fluss().nummer(), 1001u);
        QCOMPARE(st.server().offen().size(), 0);
        if (ablauf.contains('s')) {
            st.save();
            st.process(2);
            st.deliver(2);
        } else {
            st.cancel();
        }
        QCOMPARE(st.fluss().naechste(), 0u);
        if (naechste != 0) {
            const quint32 abruf = ablauf.contains('s') ? 3 : 2;
            st.process(abruf);
            st.deliver(abruf);
        }
        QCOMPARE(st.fluss().offeneFrage() != 0, frage);
        QCOMPARE(st.fluss().hatKarte() ? st.fluss().nummer() : 0u, danach);
    }

    // A scan while "Neu auswerten?" is open would answer it "Nein" with its
    // Return: its digits and its Return are dropped, the question stays, and
    // a Return of its own answers it.
    void aScanDoesNotAnswerTheQuestion()
    {
        St st;
        st.entry(2001);
        st.process(1);
        st.deliver(1);
        st.scan(1005);
        QVERIFY(st.fluss().offeneFrage() != 0 && !st.tastenLeck());
        QCOMPARE(st.fluss().taste(T::Eingabe), A::Weiter);
    }

    // The line above the targets names what keeps the card from sending
    // itself, by position.
    void whyTheCardWaits_data()
    {
        QTest::addColumn<QString>("schuesse"); // c clean, d doubtful, i invalid, h voided by hand
        QTest::addColumn<QString>("meldung");
        QTest::newRow("one doubtful") << "cd"
                                      << "Schuss 2 zweifelhaft – prüfen, dann Speichern";
        QTest::newRow("two doubtful") << "dd"
                                      << "Schuss 1 und 2 zweifelhaft – prüfen, dann Speichern";
        QTest::newRow("three kinds")
            << "dih"
            << "Schuss 1 zweifelhaft; Schuss 2 ungültig; Schuss 3 von Hand geändert – prüfen, dann Speichern";
    }

    void whyTheCardWaits()
    {
        QFETCH(QString, schuesse);
        QFETCH(QString, meldung);
        St st;
        karte(st, 1001, 1);
        for (const QChar c : schuesse) {
            if (c == 'h')
                st.hand(quint32(schuesse.indexOf(c)), St::Void);
            else
                st.shot(c == 'c' ? St::Clean : c == 'd' ? St::Doubtful : St::Invalid);
        }
        QCOMPARE(st.fluss().meldung(), meldung);
    }

    // Shot lines the link did not take say why, in the Verlauf too.
    void ignoredShotsSayWhy()
    {
        St st;
        karte(st, 1001, 1);
        st.fluss().schussIgnoriert(2);
        const QString tip = st.fluss().verlauf().index(0, 0).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QStringLiteral("\n2 Schuss nicht übernommen: vor der Einstellung")),
                 qPrintable(tip));
        QVERIFY(st.fluss()
                    .maschinenText(MaschineRm3::Verbunden, false, false, "p")
                    .endsWith(" – 2 Schuss nicht übernommen"));
    }

    // The adapter pulled mid-card: what arrived stays and can be saved, the
    // missing positions read as missing, and nothing sends itself.
    void aCutCardShowsWhatIsMissing()
    {
        St st;
        karte(st, 1003, 1);
        st.shot(St::Clean);
        st.shot(St::Clean);
        st.fluss().maschinenZustand(MaschineRm3::Getrennt);
        QVERIFY(st.fluss().speichernAn() && st.fluss().abbrechenAn());
        QCOMPARE(st.fluss().vermerk(2), QStringLiteral("fehlt (Verbindung unterbrochen)"));
        QCOMPARE(st.fluss().meldung(), QStringLiteral("Schuss 3, 4 und 5 fehlen – prüfen, dann Speichern"));
        QCOMPARE(st.server().offen().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstKartenflussMaschine)
#include "tst_kartenflussmaschine.moc"

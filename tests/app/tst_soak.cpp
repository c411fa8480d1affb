#include "station.h"

#include <QRandomGenerator>
#include <QSignalSpy>

#include <cstdio>

// Card after card through the whole station: clean, doubtful, timed-out and
// hand-corrected cards on both faces, two cards per series. Nothing may be
// lost or stored twice, and the process must not grow once it is warm.
// KOVRIT_SOAK_KARTEN sets the number of cards (./test.sh --soak 1000).

namespace {

enum Art { Sauber, Zweifelhaft, Zeitueberschreitung, VonHand };

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &zeile : status.readAll().split('\n'))
        if (zeile.startsWith("VmRSS:"))
            return zeile.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

QtMessageHandler standard = nullptr;
QStringList letzteZeilen; // the tail of the log, shown when a card goes wrong

// Thousands of cards log far too much to read; only warnings and worse count.
void ohneInfo(QtMsgType typ, const QMessageLogContext &kontext, const QString &text)
{
    letzteZeilen << text;
    if (letzteZeilen.size() > 60)
        letzteZeilen.removeFirst();
    if (typ != QtInfoMsg && typ != QtDebugMsg && !text.contains(QLatin1String("propagateSizeHints")))
        standard(typ, kontext, text);
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { standard = qInstallMessageHandler(ohneInfo); }

    void karteFuerKarte()
    {
        const int anzahl = qMax(4, qEnvironmentVariableIntValue("KOVRIT_SOAK_KARTEN") ?: 8);
        const int warm = qMin(50, anzahl / 2);
        Station st;
        QVERIFY(st.start() && st.login() && st.verbinden());
        st.sim.setInterval(5);
        // A loaded machine may stall the emulator for a moment; only the
        // time-out cards should ever see the shot gap run out.
        st.window->maschine().setTimerIntervalle(2000, 2000, 20);

        struct Karte
        {
            quint32 id;
            quint32 serie;
            QList<KovritServer::Hit> soll;
        };
        QList<Karte> karten;
        long rssWarm = 0;
        QRandomGenerator zufall(7);

        for (int i = 0; i < anzahl; ++i) {
            const Art art = Art(i % 4);
            const int waffe = (i / 4) % 2 + 1;
            const int schuss = (i / 2) % 3 == 1 ? 5 : 10; // both cards of a series alike
            const double faktor = waffe == 2 ? 2.5 : 1.0;
            KovritServer::CardSpec neu = st.kartenSpec(quint32(100000 + i), schuss, waffe);
            neu.teilerFaktor = faktor;
            neu.scheibenProSerie = 2;
            if (i % 2 == 1)
                neu.seriesId = karten.last().serie;
            const quint32 id = st.server->addCard(neu);
            QVERIFY(id);
            QVERIFY2(st.karteBereit(neu.nummer, schuss),
                     qPrintable(QStringLiteral("card %1: %2\n").arg(i).arg(st.fehler.join('|'))
                                + letzteZeilen.join('\n')));

            QList<Rm3Simulator::Shot> shots;
            const int gelesen = art == Zeitueberschreitung ? schuss - 3 : schuss;
            for (int k = 0; k < gelesen; ++k) {
                const bool zweifel = (art == Zweifelhaft && k == 1) || (art == VonHand && k == gelesen - 1);
                shots << Rm3Simulator::scoredShot(zufall.bounded(-300, 300) / 100.0,
                                                  zufall.bounded(-300, 300) / 100.0, waffe, zweifel);
            }
            QSignalSpy gesendet(&st.sim, &Rm3Simulator::shotSent);
            QSignalSpy fertig(&st.sim, &Rm3Simulator::cardFinished);
            st.sim.queueShots(shots);

            KovritServer::Hit hand;
            if (art == Sauber) {
                QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(fertig.count(), 1, 10000);
                if (art == Zeitueberschreitung)
                    QTRY_COMPARE_WITH_TIMEOUT(st.scheibe(unsigned(schuss - 1))->farbe(), LxScheibe::Hellrot,
                                              5000);
                if (art == VonHand) {
                    // The officer places the doubtful last shot where he sees the hole.
                    LxScheibe *ziel = st.scheibe(unsigned(schuss - 1));
                    QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
                    const QPoint loch(ziel->mitteX() + (i % 5) * ziel->pixelProRing(), ziel->mitteY());
                    QTest::mouseClick(ziel, Qt::LeftButton, {}, loch);
                    QVERIFY(ziel->valid());
                    hand = { ziel->x(), ziel->y(), ziel->ringe(), ziel->teiler() };
                }
                QCOMPARE(st.server->submissionCount(id), 0);
                QTest::mouseClick(st.speichern(), Qt::LeftButton);
                QTRY_COMPARE(st.server->submissionCount(id), 1);
            }
            Karte karte { id, st.server->seriesId(id), {} };
            for (const QList<QVariant> &s : qAsConst(gesendet))
                karte.soll << Station::trefferAus(s[1].toByteArray(), faktor);
            if (art == VonHand)
                karte.soll.last() = hand;
            while (karte.soll.size() < schuss)
                karte.soll << KovritServer::Hit();
            karten.append(karte);
            QTRY_VERIFY(st.karte()->isEnabled());
            vergleiche(st.server->storedHits(id), karten.last().soll);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("card %1, kind %2").arg(i).arg(int(art))));

            if (i % 2 == 1) {
                // The window's series total is the server's.
                const KovritServer::SeriesTotals summe = st.server->seriesTotals(karten.last().serie);
                QCOMPARE(summe.ringe, ganzeRinge(karten[i - 1].soll) + ganzeRinge(karten[i].soll));
                QCOMPARE(st.ringe().section(QLatin1String(" / "), 1), QString::number(summe.ringe));
            }
            if (i + 1 == warm)
                rssWarm = rssKb();
        }

        // Nothing lost, nothing twice, at the end as well as on the way.
        for (const Karte &k : qAsConst(karten)) {
            QCOMPARE(st.server->submissionCount(k.id), 1);
            vergleiche(st.server->storedHits(k.id), k.soll);
        }
        QVERIFY(st.fehler.isEmpty());
        const long rssEnde = rssKb();
        std::printf("soak: %d cards, RSS after %d cards %ld kB, at the end %ld kB (%+ld kB)\n", anzahl, warm,
                    rssWarm, rssEnde, rssEnde - rssWarm);
        if (anzahl >= 500) // only a long run says anything about growth
            QVERIFY2(rssEnde - rssWarm < 16 * 1024, "the process grows card by card");
    }

private:
    static int ganzeRinge(const QList<KovritServer::Hit> &hits)
    {
        int summe = 0;
        for (const KovritServer::Hit &h : hits)
            if (h.r >= 0)
                summe += int(h.r);
        return summe;
    }

    static void vergleiche(const QList<KovritServer::Hit> &ist, const QList<KovritServer::Hit> &soll)
    {
        QCOMPARE(ist.size(), soll.size());
        for (int i = 0; i < soll.size(); ++i) {
            QCOMPARE(ist[i].x, soll[i].x);
            QCOMPARE(ist[i].y, soll[i].y);
            QCOMPARE(ist[i].r, soll[i].r);
            QCOMPARE(ist[i].t, soll[i].t);
        }
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

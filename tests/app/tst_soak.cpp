#include "station.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>
#include <numeric>

// Card after card through the whole station: clean, doubtful, timed-out and
// hand-corrected cards on both faces, two cards per series. Nothing may be
// lost or stored twice, and the process must not grow once it is warm.
// KOVRIT_SOAK_KARTEN sets the number of cards (./test.sh --soak 1000).

namespace {

enum Art { Sauber, Zweifelhaft, Zeitueberschreitung, VonHand };

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QString text = status.open(QIODevice::ReadOnly) ? QString::fromLatin1(status.readAll()) : QString();
    return QRegularExpression(QStringLiteral("VmRSS:\\s*(\\d+)")).match(text).captured(1).toLong();
}

QtMessageHandler standard = nullptr;

// Thousands of cards log far too much to read; only warnings and worse count.
void ohneInfo(QtMsgType typ, const QMessageLogContext &kontext, const QString &text)
{
    if (typ != QtInfoMsg && typ != QtDebugMsg && !text.contains(QLatin1String("propagateSizeHints")))
        standard(typ, kontext, text);
}

// The hit a sent shot line ("n;rings;teiler;x;y;marker") must be stored as.
Hit gesendet(const QByteArray &zeile, double teilerFaktor)
{
    const QList<QByteArray> f = zeile.split(';');
    return { f.value(3).toDouble(), f.value(4).toDouble(), f.value(1).toDouble(),
             f.value(2).toDouble() / teilerFaktor };
}

int ganzeRinge(const QList<Hit> &hits)
{
    return std::accumulate(hits.cbegin(), hits.cend(), 0,
                           [](int summe, const Hit &h) { return summe + (h.r >= 0 ? int(h.r) : 0); });
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
        QList<QPair<quint32, QList<Hit>>> karten; // card id, hits it must hold
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
            neu.seriesId = i % 2 ? st.server->seriesId(karten.last().first) : 0;
            const quint32 id = st.server->addCard(neu);
            QVERIFY2(st.karteBereit(neu.nummer, schuss),
                     qPrintable(QStringLiteral("card %1: %2").arg(i).arg(st.fehler.join('|'))));

            QList<Shot> shots;
            const int gelesen = art == Zeitueberschreitung ? schuss - 3 : schuss;
            for (int k = 0; k < gelesen; ++k) {
                const bool zweifel = (art == Zweifelhaft && k == 1) || (art == VonHand && k == gelesen - 1);
                shots << Rm3Simulator::scoredShot(zufall.bounded(-300, 300) / 100.0,
                                                  zufall.bounded(-300, 300) / 100.0, waffe, zweifel);
            }
            QSignalSpy zeilen(&st.sim, &Rm3Simulator::shotSent);
            Hit hand;
            if (art == Sauber) {
                st.sim.queueShots(shots);
                QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
            } else {
                QVERIFY(st.schiessen(shots));
                LxScheibe *letzte = st.scheibe(unsigned(schuss - 1));
                if (art == Zeitueberschreitung)
                    QTRY_COMPARE_WITH_TIMEOUT(letzte->farbe(), LxScheibe::Hellrot, 5000);
                if (art == VonHand) {
                    // The officer places the doubtful last shot where he sees the hole.
                    QTest::mouseDClick(letzte, Qt::LeftButton, {}, letzte->rect().center());
                    const QPoint loch(letzte->mitteX() + (i % 5) * letzte->pixelProRing(), letzte->mitteY());
                    QTest::mouseClick(letzte, Qt::LeftButton, {}, loch);
                    QVERIFY(letzte->valid());
                    hand = { letzte->x(), letzte->y(), letzte->ringe(), letzte->teiler() };
                }
                QCOMPARE(st.server->submissionCount(id), 0);
                QTest::mouseClick(st.speichern(), Qt::LeftButton);
                QTRY_COMPARE(st.server->submissionCount(id), 1);
            }
            QList<Hit> soll;
            for (const QList<QVariant> &z : qAsConst(zeilen))
                soll << gesendet(z[1].toByteArray(), faktor);
            if (art == VonHand)
                soll.last() = hand;
            soll += QList<Hit>(schuss - soll.size()); // the timed-out rest is void
            karten.append({ id, soll });
            QTRY_VERIFY(st.karte()->isEnabled());
            const QList<Hit> ist = st.server->storedHits(id);
            QVERIFY2(ist == soll,
                     qPrintable(QStringLiteral("card %1, kind %2: %3 instead of %4")
                                    .arg(i)
                                    .arg(art)
                                    .arg(QDebug::toString(ist), QDebug::toString(soll))));

            if (i % 2 == 1) {
                // The window's series total is the server's.
                const auto summe = st.server->seriesTotals(st.server->seriesId(id));
                QCOMPARE(summe.ringe, ganzeRinge(karten[i - 1].second) + ganzeRinge(soll));
                QCOMPARE(st.ringe().section(QLatin1String(" / "), 1), QString::number(summe.ringe));
            }
            if (i + 1 == warm)
                rssWarm = rssKb();
        }

        // Nothing lost, nothing twice, at the end as well as on the way.
        for (const auto &k : qAsConst(karten)) {
            QCOMPARE(st.server->submissionCount(k.first), 1);
            QCOMPARE(st.server->storedHits(k.first), k.second);
        }
        QVERIFY(st.fehler.isEmpty());
        const long rssEnde = rssKb();
        std::printf("soak: %d cards, RSS after %d cards %ld kB, at the end %ld kB (%+ld kB)\n", anzahl, warm,
                    rssWarm, rssEnde, rssEnde - rssWarm);
        if (anzahl >= 500) // only a long run says anything about growth
            QVERIFY2(rssEnde - rssWarm < 16 * 1024, "the process grows card by card");
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

#include "simwaechter.h"
#include "simwahl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

// The whole station under simulated schedules of what the officer, the
// machine and the server do, and small scenarios in every order that cause
// and effect allow. After every event the station must not have done what
// it must never do.
//
//   tst_simulation             KOVRIT_SCHEDULES schedules (50 000) from seed
//                              KOVRIT_SEED_BASE + 1, every scenario up to
//                              KOVRIT_EXPLORE_STATES states (30 000)
//   tst_simulation --seed S    one schedule: its events as C++, its outcome
//   tst_simulation --explore   every scenario to its end

namespace {

// About 20 s of the suite; a tenth of it under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
constexpr int Teil = 10;
#else
constexpr int Teil = 1;
#endif

using E = SimStation::Ereignis;
const QList<quint32> Nummern { 1001, 1002, 1003, 1004, 1005, 1006, 2001, 2002, 3011, 9999 };

// How often the generator picks an event of each kind, in the order of E::Art.
constexpr int Gewicht[] = { 6, 1, 5, 2, 6, 2, 1, 4, 6, 6, 16, 2, 1, 2, 1, 1, 6, 8, 8, 1 };

bool schussMoeglich(const SimStation &st)
{
    const QList<E> m = SimWahl::moeglich(st, {});
    return std::any_of(m.cbegin(), m.cend(), [](const E &e) { return e.art == E::Shot; });
}

struct Summe
{
    qint64 ereignisse = 0;
    int zahl[5] = {};
};

// One schedule from its seed; false when an invariant broke. The report
// holds the events and the outcome.
bool schedule(quint32 seed, Summe &summe, QString *bericht)
{
    QRandomGenerator zufall(seed);
    SimStation st;
    Waechter w(st);
    const int laenge = int(zufall.bounded(20, 61));
    for (int i = 0; i < laenge && w.verstoss.isEmpty(); ++i) {
        const QList<E> m = SimWahl::moeglich(st, Nummern);
        int summeGewicht = 0;
        QList<E::Art> arten;
        for (const E &e : m) {
            if (!arten.contains(e.art)) {
                arten << e.art;
                summeGewicht += Gewicht[e.art];
            }
        }
        int wurf = int(zufall.bounded(summeGewicht));
        E::Art art = arten.first();
        for (const E::Art a : arten) {
            if ((wurf -= Gewicht[a]) < 0) {
                art = a;
                break;
            }
        }
        QList<E> wahl;
        std::copy_if(m.cbegin(), m.cend(), std::back_inserter(wahl),
                     [art](const E &e) { return e.art == art; });
        E e = wahl.at(int(zufall.bounded(wahl.size())));
        const int los = int(zufall.bounded(100));
        if (art == E::Shot && los % 6 == 0) {
            // The machine reads the rest of the card at full speed.
            while (w.verstoss.isEmpty() && schussMoeglich(st))
                st.shot(SimStation::Clean);
            continue;
        }
        if (art == E::Shot)
            e.b = los < 84 ? SimStation::Clean : los < 94 ? SimStation::Doubtful : SimStation::Invalid;
        if (art == E::Process)
            e.b = los < 88 ? 0 : QList<int> { 401, 404, 500 }.at(los % 3);
        SimWahl::ausfuehren(st, e);
    }
    // Every reply is handed on, every question answered, every time-out runs out.
    for (int k = 0; k < 100 && w.verstoss.isEmpty(); ++k) {
        if (st.verwerfenOffen())
            st.discard(false);
        else if (st.fluss().offeneFrage())
            st.answer(false);
        else if (!st.server().offen().isEmpty() && st.server().offen().first().verarbeitet)
            st.deliver(st.server().offen().first().auftrag);
        else if (!st.server().offen().isEmpty())
            st.process(st.server().offen().first().auftrag);
        else
            break;
    }
    for (int k = 0; k < 2 && w.verstoss.isEmpty(); ++k)
        st.silence();
    QStringList gespeichert;
    for (const SimServer::Karte &k : st.server().karten()) {
        QStringList t;
        for (const Treffer &h : k.treffer)
            t << text(h);
        if (k.speicherungen > 0)
            gespeichert << QStringLiteral("%1 [%2]").arg(k.nummer).arg(t.join(QLatin1Char(' ')));
    }
    *bericht
        = QStringLiteral("seed %1:\n%2\n// outcome: %3 events, %4 cards taken, %5 submissions (%6 by "
                         "themselves), %7 committed, %8 questions, %9 Fehler; stored: %10\n")
              .arg(seed)
              .arg(st.protokoll().join(QLatin1Char('\n')))
              .arg(st.protokoll().size())
              .arg(w.zahl[0])
              .arg(w.zahl[1])
              .arg(w.zahl[2])
              .arg(w.zahl[3])
              .arg(w.zahl[4])
              .arg(st.fehlerboxen().size())
              .arg(gespeichert.isEmpty() ? QStringLiteral("none") : gespeichert.join(QStringLiteral(", ")));
    if (!w.verstoss.isEmpty())
        *bericht += QStringLiteral("// broken: %1\n").arg(w.verstoss);
    summe.ereignisse += st.protokoll().size();
    for (int i = 0; i < 5; ++i)
        summe.zahl[i] += w.zahl[i];
    return w.verstoss.isEmpty();
}

// A small scenario: the numbers entered, in this order, and how often each
// kind of event may happen (-1: as often as it is enabled).
struct Szenario
{
    const char *name;
    QList<quint32> eingaben;
    QList<QPair<E::Art, int>> budget;
    QList<int> status { 0 }; // how the server may answer
    QList<int> schuesse { SimStation::Clean };
};

const QList<Szenario> Szenarien {
    { "two entries, replies in either order",
      { 1001, 1005 },
      { { E::Entry, 2 }, { E::Insert, 1 }, { E::Shot, 3 } } },
    { "stored card, Ja or Nein at any point",
      { 2001, 1002 },
      { { E::Entry, 2 }, { E::Insert, 1 }, { E::Shot, 2 }, { E::Save, 1 } } },
    { "ten shots",
      { 1004 },
      { { E::Entry, 1 }, { E::Shot, 10 }, { E::Line, 1 }, { E::Save, 1 } },
      { 0 },
      { SimStation::Clean, SimStation::Doubtful } },
    { "one submission outcome",
      { 1005 },
      { { E::Entry, 1 }, { E::Shot, 1 }, { E::Hand, 1 }, { E::Save, 2 }, { E::Timeout, 1 } },
      { 0, 401, 500 } },
    { "cancel and stray shots",
      { 1001, 1002 },
      { { E::Entry, 2 }, { E::Insert, 1 }, { E::Shot, 4 }, { E::Cancel, 1 } } },
    { "time-out and re-plug",
      { 1003 },
      { { E::Entry, 1 },
        { E::Shot, 3 },
        { E::Silence, 1 },
        { E::Replug, 1 },
        { E::Line, 1 },
        { E::Pause, 1 } },
      { 0 },
      { SimStation::Clean, SimStation::Doubtful } },
    { "logoff with unsaved hits",
      { 1001 },
      { { E::Entry, 1 }, { E::Shot, 2 }, { E::Logoff, 1 }, { E::Save, 1 } } },
    { "refused card and unknown number", { 3011, 9999, 1005 }, { { E::Entry, 3 }, { E::Shot, 1 } } },
};

// Depth first over every enabled event. A station cannot be copied, so
// every branch but the last is reached by running its path anew.
class Suche
{
public:
    Suche(const Szenario &sz, qint64 grenze)
        : _sz(sz)
        , _grenze(grenze)
    { }

    qint64 zustaende = 0, wiederholungen = 0;
    quint64 pfade = 0; // orderings from the start to an end, repeats counted through
    QString fund;

    void laufen()
    {
        QList<E> pfad;
        pfade = besuche(welt(pfad), pfad);
    }

private:
    struct Welt
    {
        SimStation st;
        Waechter w { st };
        int rest[20];
        int eingabe = 0;
    };

    std::unique_ptr<Welt> welt(const QList<E> &pfad)
    {
        auto w = std::make_unique<Welt>();
        std::fill(std::begin(w->rest), std::end(w->rest), 0);
        for (const E::Art a : { E::Answer, E::Discard, E::Login, E::Hello, E::Process, E::Deliver })
            w->rest[a] = -1;
        for (const auto &b : _sz.budget)
            w->rest[b.first] = b.second;
        for (const E &e : pfad)
            anwenden(*w, e);
        return w;
    }

    static void anwenden(Welt &w, const E &e)
    {
        SimWahl::ausfuehren(w.st, e);
        w.rest[e.art] -= w.rest[e.art] > 0;
        w.eingabe += e.art == E::Entry || e.art == E::Scan;
    }

    // The number of orderings from here to an end.
    quint64 besuche(std::unique_ptr<Welt> w, QList<E> &pfad)
    {
        if (!fund.isEmpty() || zustaende >= _grenze)
            return 0;
        if (!w->w.verstoss.isEmpty()) {
            fund
                = w->st.protokoll().join(QLatin1Char('\n')) + QStringLiteral("\n// broken: ") + w->w.verstoss;
            return 0;
        }
        quint64 h = SimWahl::hash(w->st);
        SimWahl::mische(h, w->w.hash() << 8 | quint64(w->eingabe));
        for (const int r : w->rest)
            SimWahl::mische(h, quint64(r + 1));
        if (_gesehen.contains(h)) {
            ++wiederholungen;
            return _gesehen.value(h);
        }
        _gesehen.insert(h, 0);
        ++zustaende;
        QList<E> m;
        for (const E &e : SimWahl::moeglich(w->st, { _sz.eingaben.value(w->eingabe) })) {
            if (w->rest[e.art] != 0 && (e.art != E::Hand || e.a == 0)
                && (e.art != E::Process || _sz.status.contains(e.b))
                && (e.art != E::Shot || _sz.schuesse.contains(e.b))
                && ((e.art != E::Entry && e.art != E::Scan) || e.a))
                m << e;
        }
        quint64 n = m.isEmpty();
        for (qsizetype i = 0; i < m.size(); ++i) {
            std::unique_ptr<Welt> weiter = i + 1 < m.size() ? welt(pfad) : std::move(w);
            anwenden(*weiter, m.at(i));
            pfad << m.at(i);
            n += besuche(std::move(weiter), pfad);
            pfad.removeLast();
        }
        return _gesehen[h] = n;
    }

    const Szenario &_sz;
    qint64 _grenze;
    QHash<quint64, quint64> _gesehen; // a state: its orderings to an end
};

// Every scenario, each up to `grenze` states; false when one broke an invariant.
bool erkunden(qint64 grenze)
{
    bool ok = true;
    for (const Szenario &sz : Szenarien) {
        QElapsedTimer uhr;
        uhr.start();
        Suche suche(sz, grenze);
        suche.laufen();
        std::printf("explore \"%s\": %lld states, %llu orderings, %lld repeats, %.1f s%s\n", sz.name,
                    suche.zustaende, suche.pfade, suche.wiederholungen, uhr.elapsed() / 1000.0,
                    suche.zustaende >= grenze ? " (bounded)" : "");
        if (!suche.fund.isEmpty())
            std::printf("%s\n", qPrintable(suche.fund));
        ok = ok && suche.fund.isEmpty();
    }
    std::fflush(stdout);
    return ok;
}

} // namespace

class TestSimulation : public QObject
{
    Q_OBJECT

private slots:
    void schedules()
    {
        const int anzahl = qEnvironmentVariableIsSet("KOVRIT_SCHEDULES")
            ? qEnvironmentVariableIntValue("KOVRIT_SCHEDULES")
            : 50000 / Teil;
        const quint32 basis = quint32(qEnvironmentVariableIntValue("KOVRIT_SEED_BASE"));
        QElapsedTimer uhr;
        uhr.start();
        Summe summe;
        for (int i = 0; i < anzahl; ++i) {
            QString bericht;
            const bool ok = schedule(basis + 1 + quint32(i), summe, &bericht);
            if (!ok)
                std::printf("%s", qPrintable(bericht));
            QVERIFY2(ok, qPrintable(QStringLiteral("seed %1").arg(basis + 1 + i)));
        }
        std::printf("simulation: %d schedules (seeds %u-%u) in %.1f s; %lld events, %d cards taken, %d "
                    "submissions (%d by themselves), %d committed, %d questions\n",
                    anzahl, basis + 1, basis + quint32(anzahl), uhr.elapsed() / 1000.0, summe.ereignisse,
                    summe.zahl[0], summe.zahl[1], summe.zahl[2], summe.zahl[3], summe.zahl[4]);
    }

    void exploration()
    {
        QVERIFY(erkunden(qEnvironmentVariableIntValue("KOVRIT_EXPLORE_STATES") ?: 30000 / Teil));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("KOVRIT_LOG"))
        QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    const QStringList argumente = app.arguments();
    if (argumente.contains(QStringLiteral("--explore")))
        return erkunden(std::numeric_limits<qint64>::max()) ? 0 : 1;
    // --survey N: N schedules, the shortest broken one for each invariant.
    const qsizetype umfrage = argumente.indexOf(QStringLiteral("--survey"));
    if (umfrage > 0) {
        QMap<QString, QPair<qsizetype, QString>> kuerzeste;
        for (quint32 seed = 1; seed <= argumente.value(umfrage + 1).toUInt(); ++seed) {
            Summe summe;
            QString bericht;
            if (schedule(seed, summe, &bericht))
                continue;
            const QString art = bericht.section(QStringLiteral("// broken: "), 1)
                                    .remove(QRegularExpression(QStringLiteral("[0-9]+")));
            if (!kuerzeste.contains(art) || bericht.size() < kuerzeste[art].first)
                kuerzeste[art] = { bericht.size(), bericht };
        }
        for (const auto &k : std::as_const(kuerzeste))
            std::printf("%s\n", qPrintable(k.second));
        return kuerzeste.isEmpty() ? 0 : 1;
    }
    const qsizetype at = argumente.indexOf(QStringLiteral("--seed"));
    if (at > 0) {
        Summe summe;
        QString bericht;
        const bool ok = schedule(argumente.value(at + 1).toUInt(), summe, &bericht);
        std::printf("%s", qPrintable(bericht));
        return ok ? 0 : 1;
    }
    TestSimulation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_simulation.moc"

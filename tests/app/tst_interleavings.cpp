#include "station.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTableView>

#include <cstdio>

// The whole station under a seeded random schedule of what the officer, the
// machine and the server do, in any order, in real time: the real window,
// server, pty and timers. Beside it a model of what the officer saw: the
// card on screen and its hits at every submission. After each schedule the
// server's records must agree with that model. The card flow's orderings are
// explored by the simulation (tst_simulation); these few schedules check that
// its stand-ins behave as the real parts do.
//
//   tst_interleavings                 KOVRIT_INTERLEAVINGS schedules (default 4)
//   tst_interleavings --seed S        one schedule, its events printed

namespace {

constexpr int SchussLuecke = 250; // the link's shot gap time-out here, ms
constexpr int Uebertragung = 500; // the server client's transfer time-out here, ms
constexpr quint32 NeueKarten = 16; // cards 100 on, none evaluated
const QByteArray Abruf = "/scheibe-ext/";
const QByteArray Uebermittlung = "/treffer/";

// What one target showed.
struct Gezeigt
{
    bool valid = false;
    double x = 0, y = 0;
    QString ringe;
    bool rot = false; // doubtful, voided or missing
};
using Bild = QList<Gezeigt>;

// A submission as the officer saw it go out.
struct Gesendet
{
    quint32 auftrag, id, nummer;
    int sitzung;
    Bild bild;
};

bool gleich(double a, double b)
{
    return qAbs(a - b) < 1e-9;
}

// Whether the stored hits are the hits of the picture; positions the server
// holds nothing for are empty.
bool passt(const QList<Hit> &gespeichert, const Bild &bild)
{
    for (int i = 0; i < qMax(gespeichert.size(), bild.size()); ++i) {
        const Hit h = gespeichert.value(i);
        const Gezeigt g = bild.value(i);
        if ((h.r >= 0) != g.valid
            || (g.valid && !(gleich(h.x, g.x) && gleich(h.y, g.y) && LxScheibe::ringeText(h.r) == g.ringe)))
            return false;
    }
    return true;
}

QString text(const Bild &bild)
{
    QStringList t;
    for (const Gezeigt &g : bild)
        t << (g.valid ? QStringLiteral("%1@%2,%3").arg(g.ringe).arg(g.x, 0, 'g', 15).arg(g.y, 0, 'g', 15)
                      : QStringLiteral("-"));
    return t.join(QLatin1Char(' '));
}

class Lauf;
Lauf *laufend = nullptr;
int summe[4] = {}; // over all schedules: events, submissions, confirmations, questions
QtMessageHandler standard = nullptr;
void mitschreiben(QtMsgType typ, const QMessageLogContext &kontext, const QString &zeile);

// One schedule from its seed.
class Lauf : public QObject
{
public:
    explicit Lauf(quint32 seed)
        : _zufall(seed)
    { }

    QStringList ereignisse, verstoesse;

    bool laufen()
    {
        if (!st.start(true) || !st.login() || !st.verbinden())
            return false;
        st.window->maschine().setTimerIntervalle(2000, SchussLuecke, 10);
        st.window->serviceProvider().setTransferTimeout(Uebertragung);
        for (quint32 n = 100; n < 100 + NeueKarten; ++n)
            karteAnlegen(n, {});
        karteAnlegen(200, { { 1.0, 0.0, 10.4, 25.0 }, { 0.0, 2.0, 9.8, 50.0 } });
        karteAnlegen(201, { {}, { -1.5, 0.5, 8.6, 375.0 } });
        connect(&st.window->serviceProvider(), &ServiceProvider::setTrefferOk, this, &Lauf::bestaetigt);
        connect(&st.window->serviceProvider(), &ServiceProvider::scheibe, this, [this] { sitzung(); });
        // Every card taken onto the screen gets its line in the Verlauf.
        connect(st.find<QTableView>("verlauf")->model(), &QAbstractItemModel::rowsInserted, this,
                [this] { ++_genommen; });
        laufend = this;
        const int anzahl = _zufall.bounded(20, 41);
        for (int i = 0; i < anzahl; ++i) {
            ereignis();
            QTest::qWait(_zufall.bounded(0, 12));
        }
        ausklingen();
        pruefen();
        int i = 0;
        for (const int n : { ereignisse.size(), _gesendet.size(), _bestaetigt.size(), st.fragen.size() })
            summe[i++] += n;
        laufend = nullptr;
        return true;
    }

    // The station sends hits: what does the officer see at this moment?
    void gesendet(const QString &url)
    {
        verbucheFragen();
        const quint32 id = url.section(QLatin1Char('/'), -1).toUInt();
        const quint32 nummer = aufSchirm();
        const Gesendet g { st.window->serviceProvider().letzterAuftrag() + 1, id, nummer, sitzung(), bild() };
        ereignisse << QStringLiteral("  -> POST card id %1 (%2) #%3: %4")
                          .arg(id)
                          .arg(nummer)
                          .arg(g.auftrag)
                          .arg(text(g.bild));
        if (st.server->cardId(nummer) != id)
            verstoesse << QStringLiteral("1: hits of card %1 sent under card id %2").arg(nummer).arg(id);
        // 3: hits the server holds are replaced only after Ja, or by this
        // very session's own earlier submission.
        const QList<Hit> vorher = st.server->storedHits(id);
        const bool eigene = std::any_of(_gesendet.cbegin(), _gesendet.cend(), [&](const Gesendet &e) {
            return e.sitzung == g.sitzung && e.id == id && passt(vorher, e.bild);
        });
        if (std::any_of(vorher.cbegin(), vorher.cend(), [](const Hit &h) { return h.r >= 0; }) && !eigene
            && !_ja.value(g.sitzung).contains(nummer))
            verstoesse << QStringLiteral("3: card %1 with stored hits overwritten without Ja").arg(nummer);
        _gesendet << g;
    }

    Station st;

private:
    QRandomGenerator _zufall;
    QList<Gesendet> _gesendet;
    QHash<quint32, Gesendet> _bestaetigt; // card id: the submission seen confirmed
    QList<quint32> _benutzt; // card numbers entered so far
    quint32 _neu = 100;
    int _fragen = 0, _fehler = 0; // questions and error boxes already booked
    QList<quint32> _jaOffen; // Ja given, not yet tied to a card on screen
    QHash<int, QList<quint32>> _ja; // per session: the cards whose re-reading got Ja
    int _genommen = 0; // cards taken onto the screen
    int _sitzung = 0; // the last of them seen
    int _schuss = 0;

    void karteAnlegen(quint32 nummer, const QList<Hit> &hits)
    {
        const int schuss = hits.isEmpty() ? int(_zufall.bounded(1, 4)) : 3;
        auto karte = st.kartenSpec(nummer, schuss, int(_zufall.bounded(1, 3)));
        karte.shooter = QStringLiteral("S%1").arg(nummer);
        karte.hits = hits;
        if (!hits.isEmpty())
            karte.evaluatedAt = 1710267900;
        st.server->addCard(karte);
    }

    // The card number named in the shooter line, 0 for none.
    quint32 aufSchirm() const
    {
        return st.grid() ? st.schuetze().section(QLatin1Char(' '), 0, 0).mid(1).toUInt() : 0;
    }

    Bild bild() const
    {
        Bild b;
        for (unsigned i = 0; st.grid() && i < st.grid()->getScheibenzahl(); ++i) {
            const LxScheibe *s = st.scheibe(i);
            b << Gezeigt { s->valid(), s->x(), s->y(), s->ringeLabel(), s->farbe() == LxScheibe::Hellrot };
        }
        return b;
    }

    // Every card taken is a new session of the targets.
    int sitzung()
    {
        verbucheFragen();
        if (_genommen != _sitzung) {
            _sitzung = _genommen;
            _ja[_sitzung] = _jaOffen;
            _jaOffen.clear();
        }
        return _sitzung;
    }

    void verbucheFragen()
    {
        for (; _fehler < st.fehler.size(); ++_fehler)
            ereignisse << QStringLiteral("  ! %1").arg(st.fehler.at(_fehler));
        static const QRegularExpression neu(QStringLiteral("^Scheibe (\\d+) von .* Neu auswerten\\?$"));
        for (; _fragen < st.fragen.size(); ++_fragen) {
            const auto m = neu.match(st.fragen.at(_fragen));
            ereignisse << QStringLiteral("  ? %1 -> %2")
                              .arg(st.fragen.at(_fragen), st.antwort == QMessageBox::Yes ? "Ja" : "Nein");
            if (m.hasMatch() && st.antwort == QMessageBox::Yes)
                _jaOffen << m.captured(1).toUInt();
        }
    }

    // After the window handled a confirmation: does the officer see the
    // submitted card saved, as it was sent?
    void bestaetigt()
    {
        const quint32 auftrag = st.window->serviceProvider().antwortAuftrag();
        for (const Gesendet &g : qAsConst(_gesendet)) {
            if (g.auftrag == auftrag && st.grid() && aufSchirm() == g.nummer && !st.speichern()->isEnabled()
                && text(bild()) == text(g.bild)) {
                _bestaetigt[g.id] = g;
                ereignisse << QStringLiteral("  <- #%1 confirmed and committed").arg(auftrag);
            }
        }
    }

    void ereignis()
    {
        verbucheFragen();
        sitzung();
        // Whole cards from the machine weigh more: without them few cards
        // fill up, and the submission paths would be exercised rarely.
        const int wurf = int(_zufall.bounded(22));
        const int art = wurf < 18 ? wurf : wurf < 21 ? 8 : 0;
        const unsigned ziele = st.grid() ? st.grid()->getScheibenzahl() : 0;
        QString e;
        if (art <= 2) { // the officer enters a card number
            const int wie = int(_zufall.bounded(4));
            quint32 n = wie == 0 && _neu < 100 + NeueKarten ? _neu++
                : wie == 1 && !_benutzt.isEmpty() ? _benutzt.at(int(_zufall.bounded(_benutzt.size())))
                : wie == 2                        ? 900 + _zufall.bounded(5)
                                                  : 200 + _zufall.bounded(2);
            e = QStringLiteral("Karte %1").arg(n);
            if (st.grid() && st.karte()->isEnabled()) {
                _benutzt << n;
                st.karte()->setText(QString::number(n));
                QTest::keyClick(st.karte(), Qt::Key_Return);
            } else {
                e += QStringLiteral(" (input locked)");
            }
        } else if (art <= 4) {
            QPushButton *knopf = art == 3 ? st.speichern() : st.abbrechen();
            e = knopf ? knopf->text() : QStringLiteral("button");
            if (knopf && knopf->isEnabled())
                QTest::mouseClick(knopf, Qt::LeftButton);
            else
                e += QStringLiteral(" (disabled)");
        } else if (art == 5 && ziele > 0) { // unlock, then place or void
            const unsigned i = _zufall.bounded(ziele);
            const int wo = int(_zufall.bounded(6));
            LxScheibe *ziel = st.scheibe(i);
            QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
            if (wo < 5 && st.scheibe(i) == ziel)
                QTest::mouseClick(ziel, Qt::LeftButton, {},
                                  QPoint(ziel->mitteX() + wo * ziel->pixelProRing(), ziel->mitteY()));
            else if (st.scheibe(i) == ziel)
                QTest::mouseClick(ziel, Qt::RightButton, {}, ziel->rect().center());
            e = QStringLiteral("Scheibe %1 %2").arg(i + 1).arg(wo < 5 ? "setzen" : "entwerten");
        } else if (art == 6) {
            st.antwort = _zufall.bounded(3) ? QMessageBox::Yes : QMessageBox::No;
            e = st.antwort == QMessageBox::Yes ? QStringLiteral("answer Ja") : QStringLiteral("answer Nein");
        } else if (art == 7) {
            e = QStringLiteral("Abmelden");
            st.action("logoff")->trigger();
            if (!st.grid()) {
                st.server->failNextRequests(0, 500);
                e += st.login() ? QStringLiteral(", Anmelden") : QStringLiteral(", Anmelden FAILED");
            }
        } else if (art == 8) {
            // The machine reads the rest of the card at full speed: what lets
            // a card fill up and submit itself.
            const MaschineRm3 &m = st.window->maschine();
            const int rest = qMax(1, int(m.schussSoll()) - int(m.schusszahl()));
            for (int k = 0; k < rest; ++k) {
                const Shot s = Rm3Simulator::scoredShot(_zufall.bounded(-300, 300) / 100.0,
                                                        _zufall.bounded(-300, 300) / 100.0, 1, false);
                st.sim.sendRaw(Rm3Simulator::shotLine(_schuss++, s) + '\r');
            }
            e = QStringLiteral("machine: %1 clean shots").arg(rest);
        } else if (art <= 11) { // the machine reads a shot
            const int wie = int(_zufall.bounded(6));
            Shot s = Rm3Simulator::scoredShot(_zufall.bounded(-300, 300) / 100.0,
                                              _zufall.bounded(-300, 300) / 100.0, 1, wie == 4);
            // An invalid shot has no ring value.
            const QByteArray zeile = wie == 5 ? QByteArray::number(_schuss++) + ";-;-;0.00;0.00;"
                                              : Rm3Simulator::shotLine(_schuss++, s);
            st.sim.sendRaw(zeile + '\r');
            e = QStringLiteral("machine: %1").arg(QString::fromLatin1(zeile));
        } else if (art == 12) {
            const QByteArray zeile = _zufall.bounded(2) ? "ENDE" : "SCHEIBE";
            st.sim.sendRaw(zeile + '\r');
            e = QStringLiteral("machine: ") + QString::fromLatin1(zeile);
        } else if (art == 13) {
            const int wie = int(_zufall.bounded(2));
            // Silence past the shot gap, or past the server's transfer time-out.
            QTest::qWait(wie ? SchussLuecke + 50 : Uebertragung + 50);
            e = wie ? QStringLiteral("machine silent") : QStringLiteral("server silent");
        } else if (art == 14) {
            // A line that breaks off: its rest runs into the next line.
            st.sim.sendRaw(Rm3Simulator::shotLine(_schuss++, Shot { 0.5, 0.5, 10.0, 150.0 }).left(7));
            e = QStringLiteral("machine: line dropped");
        } else if (art == 15) {
            const bool neueste = _zufall.bounded(2);
            e = QStringLiteral("server: %1 held reply %2")
                    .arg(neueste ? "newest" : "oldest")
                    .arg(st.proxy->release(neueste) ? "released" : "(none)");
        } else if (art == 16) {
            const QByteArray muster = QList<QByteArray> { Abruf, Uebermittlung, {} }.at(_zufall.bounded(3));
            muster.isEmpty() ? st.proxy->stopHolding() : st.proxy->hold(muster);
            e = QStringLiteral("server: hold '%1'").arg(QString::fromLatin1(muster)); // '' stops holding
        } else {
            const int status = QList<int> { 401, 404, 500 }.at(_zufall.bounded(3));
            st.server->failNextRequests(1, status);
            e = QStringLiteral("server: refuse the next request with %1").arg(status);
        }
        ereignisse << e;
    }

    // Everything held is answered, every time-out has run out, every box
    // is closed.
    void ausklingen()
    {
        st.server->failNextRequests(0, 500);
        st.proxy->releaseAll();
        MaschineRm3 &m = st.window->maschine();
        (void)QTest::qWaitFor([&] {
            return st.proxy->offen() == 0 && (m.schusszahl() == 0 || m.schusszahl() >= m.schussSoll());
        });
        QTest::qWait(40);
        (void)QTest::qWaitFor([] {
            const auto alle = QApplication::topLevelWidgets();
            return std::none_of(alle.cbegin(), alle.cend(),
                                [](QWidget *w) { return qobject_cast<QMessageBox *>(w) && w->isVisible(); });
        });
        verbucheFragen();
    }

    void pruefen()
    {
        if (std::any_of(st.fehler.cbegin(), st.fehler.cend(),
                        [](const QString &f) { return f.trimmed().isEmpty(); }))
            verstoesse << QStringLiteral("5: a \"Fehler\" box without a text");
        QHash<quint32, int> posts;
        for (const Gesendet &g : qAsConst(_gesendet))
            ++posts[g.id];
        QList<quint32> karten { 200, 201 };
        for (quint32 n = 100; n < 100 + NeueKarten; ++n)
            karten << n;
        for (const quint32 n : qAsConst(karten)) {
            const quint32 id = st.server->cardId(n);
            const QList<Hit> ist = st.server->storedHits(id);
            const int mal = st.server->submissionCount(id);
            if (mal > posts.value(id))
                verstoesse << QStringLiteral("2: card %1 stored %2 times, sent %3 times")
                                  .arg(n)
                                  .arg(mal)
                                  .arg(posts.value(id));
            if (mal > 0 && std::none_of(_gesendet.cbegin(), _gesendet.cend(), [&](const Gesendet &g) {
                    return g.id == id && passt(ist, g.bild);
                }))
                verstoesse << QStringLiteral("1: card %1 holds hits never shown when it was sent: %2")
                                  .arg(n)
                                  .arg(QDebug::toString(ist));
            if (_bestaetigt.contains(id)) {
                const Gesendet &b = _bestaetigt[id];
                const bool spaeter
                    = std::any_of(_gesendet.cbegin(), _gesendet.cend(),
                                  [&](const Gesendet &g) { return g.id == id && g.auftrag > b.auftrag; });
                if (!spaeter && !passt(ist, b.bild))
                    verstoesse << QStringLiteral("2: card %1 confirmed as %2 but holds %3")
                                      .arg(n)
                                      .arg(text(b.bild), QDebug::toString(ist));
            }
        }
        // 4: hits on screen the server does not hold can be saved or dropped.
        const Bild jetzt = bild();
        const bool sichtbar
            = std::any_of(jetzt.cbegin(), jetzt.cend(), [](const Gezeigt &g) { return g.valid || g.rot; });
        if (sichtbar && !passt(st.server->storedHitsByNumber(aufSchirm()), jetzt)
            && !st.speichern()->isEnabled() && !st.abbrechen()->isEnabled())
            verstoesse << QStringLiteral(
                              "4: unsaved hits %1 of card %2, neither Speichern nor Abbrechen enabled")
                              .arg(text(jetzt))
                              .arg(aufSchirm());
    }
};

void mitschreiben(QtMsgType typ, const QMessageLogContext &kontext, const QString &zeile)
{
    if (laufend && zeile.startsWith(QLatin1String("ServiceProvider::post:")) && zeile.contains(Uebermittlung))
        laufend->gesendet(zeile.section(QLatin1Char(' '), 1));
    if ((typ != QtInfoMsg && !zeile.contains(QLatin1String("propagateSizeHints")))
        || qEnvironmentVariableIsSet("KOVRIT_LOG"))
        standard(typ, kontext, zeile);
}

} // namespace

class TestInterleavings : public QObject
{
    Q_OBJECT

public:
    quint32 seed = 0; // --seed: this one schedule, its events printed

private slots:
    void initTestCase() { standard = qInstallMessageHandler(mitschreiben); }

    void schedules()
    {
        const int anzahl = seed ? 1 : qMax(1, qEnvironmentVariableIntValue("KOVRIT_INTERLEAVINGS") ?: 4);
        QElapsedTimer uhr;
        uhr.start();
        for (int i = 0; i < anzahl; ++i) {
            const quint32 s = seed ? seed : quint32(qEnvironmentVariableIntValue("KOVRIT_SEED_BASE") + 1 + i);
            Lauf lauf(s);
            QVERIFY2(lauf.laufen(), qPrintable(QStringLiteral("seed %1: station did not start").arg(s)));
            if (seed || !lauf.verstoesse.isEmpty())
                std::printf("seed %u, %lld events:\n%s\n", s, qlonglong(lauf.ereignisse.size()),
                            qPrintable(lauf.ereignisse.join(QLatin1Char('\n'))));
            QVERIFY2(lauf.verstoesse.isEmpty(),
                     qPrintable(QStringLiteral("seed %1 (replay with --seed %1): %2")
                                    .arg(s)
                                    .arg(lauf.verstoesse.join(QStringLiteral("; ")))));
        }
        std::printf("interleavings: %d schedules in %.1f s; %d lines of events, %d submissions, %d cards "
                    "seen confirmed, %d questions\n",
                    anzahl, uhr.elapsed() / 1000.0, summe[0], summe[1], summe[2], summe[3]);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestInterleavings test;
    QStringList argumente = app.arguments();
    const int at = argumente.indexOf(QStringLiteral("--seed"));
    if (at > 0) {
        test.seed = argumente.value(at + 1).toUInt();
        argumente.remove(at, 2);
    }
    return QTest::qExec(&test, argumente);
}

#include "tst_interleavings.moc"

#pragma once

#include "simstation.h"

#include <QObject>
#include <QString>

#include <algorithm>

// What the simulated station must never do, checked after every event.

namespace {

using Treffer = ServiceProvider::Treffer;

bool gleich(const Treffer &a, const Treffer &b)
{
    return a.x == b.x && a.y == b.y && a.ringe == b.ringe && a.teiler == b.teiler;
}

bool mitTreffern(const QList<Treffer> &treffer)
{
    return std::any_of(treffer.cbegin(), treffer.cend(), [](const Treffer &t) { return t.valid(); });
}

QString text(const Treffer &t)
{
    return t.valid() ? QStringLiteral("%1@%2,%3").arg(t.ringe).arg(t.x).arg(t.y) : QStringLiteral("-");
}

// Watches one station and keeps the first invariant it breaks.
class Waechter : public QObject
{
public:
    explicit Waechter(SimStation &st)
        : _st(st)
    {
        const Kartenfluss &f = st.fluss();
        connect(&st, &SimStation::schritt, this, &Waechter::schritt);
        connect(&st, &SimStation::uebermittelt, this, &Waechter::gesendet);
        connect(&f, &Kartenfluss::karteGezeigt, this, &Waechter::genommen);
        connect(&f, &Kartenfluss::zielGesetzt, this,
                [this](quint32, double, double, const QString &, const QString &, bool z) { _sauber &= !z; });
        connect(&f, &Kartenfluss::zielUngueltig, this, [this] { _sauber = false; });
        connect(&f, &Kartenfluss::zieleFestgeschrieben, this, [this] {
            ++zahl[3];
            _festgeschrieben = _st.fluss().karteNr();
        });
        connect(&f, &Kartenfluss::frageNeuAuswerten, this, [this] { ++zahl[4]; });
        connect(&f, &Kartenfluss::meldungGeaendert, this, &Waechter::gemeldet);
    }

    QString verstoss;
    int zahl[5] = {}; // cards taken, submissions, automatic ones, commits, questions

    quint64 hash() const
    {
        return quint64(_sauber) | quint64(_mitJa) << 1 | quint64(!verstoss.isEmpty()) << 2
            | quint64(_festgeschrieben == _st.fluss().karteNr()) << 3;
    }

private:
    void fehler(const QString &was)
    {
        if (verstoss.isEmpty())
            verstoss = was;
    }

    // A card taken is the card of the latest entry, and stored hits only with Ja.
    void genommen()
    {
        const Kartenfluss &f = _st.fluss();
        if (!f.hatKarte())
            return;
        ++zahl[0];
        const SimServer::Karte *k = _st.server().karte(_st.eingabe());
        if (f.nummer() != _st.eingabe() || !k || k->id != f.scheibenId()
            || _st.zustellung() < _st.eingabeAuftrag())
            fehler(QStringLiteral("7: card id %1 taken by #%2 under number %3; the latest entry is %4 (#%5)")
                       .arg(f.scheibenId())
                       .arg(_st.zustellung())
                       .arg(f.nummer())
                       .arg(_st.eingabe())
                       .arg(_st.eingabeAuftrag()));
        _mitJa = mitTreffern(f.karte().treffer) && _st.jaGesagt(_st.zustellung());
        if (mitTreffern(f.karte().treffer) && !_mitJa)
            fehler(QStringLiteral("3: card %1 with stored hits taken without Ja").arg(f.nummer()));
        _sauber = true;
    }

    void gesendet(quint32 auftrag, bool automatisch)
    {
        ++zahl[1];
        zahl[2] += automatisch;
        const Kartenfluss &f = _st.fluss();
        const SimServer::Karte *k = _st.server().karte(f.nummer());
        if (!k || _st.server().anfrage(auftrag)->id != k->id)
            fehler(QStringLiteral("1: hits of card %1 sent under another card id").arg(f.nummer()));
        else if (mitTreffern(k->treffer) && !_mitJa && k->gespeichertVon != f.karteNr())
            fehler(QStringLiteral("3: card %1 holds hits not its own; they are replaced without Ja")
                       .arg(f.nummer()));
        if (automatisch && !_sauber)
            fehler(QStringLiteral("6: card %1 submitted by itself after an unclean event").arg(f.nummer()));
        for (quint32 i = 0; automatisch && i < f.schussProScheibe(); ++i) {
            if (!f.treffer(i).valid())
                fehler(QStringLiteral("6: card %1 submitted by itself with position %2 empty")
                           .arg(f.nummer())
                           .arg(i));
        }
        if (automatisch && f.abruf() != 0)
            fehler(QStringLiteral("6: card %1 submitted by itself while #%2 is awaited")
                       .arg(f.nummer())
                       .arg(f.abruf()));
        for (quint32 i = 0; i < f.schussProScheibe(); ++i) {
            const SimStation::Ziel &z = _st.ziel(i);
            // Not counted but with KOVRIT_SIM_STRICT: a shot the officer saves
            // that came while the reply to a newer entry was awaited, which
            // the flow itself holds as likely the next card's.
            if (z.quelle == SimStation::Ziel::Maschine && z.herkunft.karte != f.nummer()
                && (z.gezeigt || !z.wiederholt || z.herkunft.streuner)
                && (automatisch || !z.gehalten || SimStation::streng()))
                fehler(QStringLiteral("8: hit %1 of card %2 sent from shot %3 of card %4")
                           .arg(i)
                           .arg(f.nummer())
                           .arg(z.herkunft.position)
                           .arg(z.herkunft.karte));
        }
    }

    void schritt()
    {
        const Kartenfluss &f = _st.fluss();
        if (_st.tastenLeck())
            fehler(QStringLiteral("9: a key of a scan got through while the input was locked"));
        for (; _boxen < _st.fehlerboxen().size(); ++_boxen) {
            if (_st.fehlerboxen().at(_boxen).trimmed().isEmpty())
                fehler(QStringLiteral("5: a \"Fehler\" box without a text"));
        }
        if (f.ungespeichert() && !f.speichernAn() && !f.abbrechenAn())
            fehler(QStringLiteral("4: unsaved hits on card %1, neither Speichern nor Abbrechen")
                       .arg(f.nummer()));
        gemeldet({}, false);
        if (f.ungespeichert() && !f.eingabeGesperrt())
            fehler(QStringLiteral("10: card %1 holds unsaved hits, its input is free").arg(f.nummer()));
        verloren();
        const MaschineRm3 &m = _st.maschine();
        bool leer = false;
        for (quint32 i = 0; f.hatKarte() && i < f.schussProScheibe(); ++i)
            leer = leer || _st.ziel(i).quelle == SimStation::Ziel::Leer;
        if (leer && !f.einstellungOffen() && _festgeschrieben != f.karteNr() && m.istBereit()
            && m.schusszahl() >= m.schussSoll())
            fehler(QStringLiteral("12: card %1 has empty positions, the link takes no shot for them")
                       .arg(f.nummer()));
        for (quint32 i = 0; f.hatKarte() && i < f.schussProScheibe(); ++i) {
            const SimStation::Ziel &z = _st.ziel(i);
            _sauber &= z.quelle != SimStation::Ziel::Hand;
            if (z.quelle == SimStation::Ziel::Maschine && z.herkunft.streuner)
                fehler(QStringLiteral(
                           "8: target %1 of card %2 shows shot %3 of card %4, which had left the screen")
                           .arg(i)
                           .arg(f.nummer())
                           .arg(z.herkunft.position)
                           .arg(z.herkunft.karte));
        }
    }

    // Unsaved hits leave the screen only by the officer's word (cancel,
    // discard) or as shots read while the reply to an entry was awaited:
    // those are the fetched card's, replayed onto it as far as they fit.
    void verloren()
    {
        const Kartenfluss &f = _st.fluss();
        const QString &zuletzt = _st.protokoll().constLast();
        const bool verworfen = zuletzt.startsWith(QLatin1String("st.cancel"))
            || zuletzt.startsWith(QLatin1String("st.discard(true"))
            || zuletzt.startsWith(QLatin1String("st.logoff"));
        if (f.karteNr() != _karteNr && !verworfen) {
            for (const SimStation::Ziel &vorher : std::as_const(_ungespeichert)) {
                bool da = vorher.quelle == SimStation::Ziel::Maschine && vorher.gehalten;
                for (quint32 i = 0; vorher.quelle == SimStation::Ziel::Maschine && i < f.schussProScheibe();
                     ++i) {
                    const SimStation::Ziel &z = _st.ziel(i);
                    da = da
                        || (z.quelle == SimStation::Ziel::Maschine
                            && z.herkunft.karte == vorher.herkunft.karte
                            && z.herkunft.position == vorher.herkunft.position);
                }
                if (!da)
                    fehler(QStringLiteral("11: an unsaved hit of card %1 is gone, card %2 replaced it")
                               .arg(_nummer)
                               .arg(f.nummer()));
            }
        }
        _karteNr = f.karteNr();
        _nummer = f.nummer();
        _ungespeichert.clear();
        for (quint32 i = 0; f.hatKarte() && i < f.schussProScheibe(); ++i) {
            const SimStation::Ziel &z = _st.ziel(i);
            if ((z.quelle == SimStation::Ziel::Maschine || z.quelle == SimStation::Ziel::Hand)
                && f.treffer(i).valid() && !gleich(f.treffer(i), f.gespeichert(i)))
                _ungespeichert << z;
        }
    }

    // For as long as the flow says "gespeichert", the card shows what the
    // server holds.
    void gemeldet(const QString &, bool gespeichert)
    {
        const Kartenfluss &f = _st.fluss();
        gespeichert = gespeichert || f.gespeichertGemeldet();
        const SimServer::Karte *k = _st.server().karteMitId(f.scheibenId());
        for (quint32 i = 0; gespeichert && f.hatKarte() && i < f.schussProScheibe(); ++i) {
            if (!gleich(f.treffer(i), k->treffer.value(i)))
                fehler(QStringLiteral("2: card %1 reported saved shows %2 at %3, the server holds %4")
                           .arg(f.nummer())
                           .arg(text(f.treffer(i)))
                           .arg(i)
                           .arg(text(k->treffer.value(i))));
        }
    }

    SimStation &_st;
    bool _sauber = false; // every event of the card on screen was clean
    bool _mitJa = false; // taken with stored hits after Ja
    qsizetype _boxen = 0;
    quint64 _karteNr = 0; // the card on screen after the latest event
    quint64 _festgeschrieben = 0; // the latest card committed
    quint32 _nummer = 0;
    QList<SimStation::Ziel> _ungespeichert; // its targets holding unsaved hits
};

} // namespace

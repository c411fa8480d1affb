#include "simserver.h"

#include <cmath>

namespace {

// The cards on the server: new ones of every shape the flow knows, one
// evaluated with hits, one evaluated without a valid hit, one the flow
// refuses for its length. 9999 is unknown.
struct Muster
{
    quint32 nummer;
    qint32 waffenTyp;
    qint32 schuss;
    double teilerFaktor;
};
constexpr Muster Karten[] = {
    { 1001, 1, 3, 1.0 }, { 1002, 2, 2, 2.5 }, { 1003, 1, 5, 1.0 }, { 1004, 1, 10, 1.0 }, { 1005, 1, 1, 1.0 },
    { 1006, 2, 3, 1.0 }, { 2001, 1, 3, 1.0 }, { 2002, 1, 2, 1.0 }, { 3011, 1, 11, 1.0 },
};

ServiceProvider::Treffer treffer(double x, double y, double ringe, double teiler)
{
    return { x, y, ringe, teiler };
}

} // namespace

void SimServer::musterAnlegen()
{
    quint32 id = 501;
    for (const Muster &m : Karten) {
        SimServer::Karte k;
        k.id = id++;
        k.nummer = m.nummer;
        k.waffenTyp = m.waffenTyp;
        k.schuss = m.schuss;
        k.teilerFaktor = m.teilerFaktor;
        if (m.nummer == 2001)
            k.treffer = { treffer(1.0, 0.0, 10.4, 25.0), treffer(0.0, 2.0, 9.8, 50.0), {} };
        if (m.nummer == 2002)
            k.treffer = { {}, {} };
        k.ausgewertet = !k.treffer.isEmpty();
        anlegen(k);
    }
}

const SimServer::Karte *SimServer::karte(quint32 nummer) const
{
    for (const Karte &k : _karten) {
        if (k.nummer == nummer)
            return &k;
    }
    return nullptr;
}

const SimServer::Karte *SimServer::karteMitId(quint32 id) const
{
    for (const Karte &k : _karten) {
        if (k.id == id)
            return &k;
    }
    return nullptr;
}

const SimServer::Anfrage *SimServer::anfrage(quint32 auftrag) const
{
    for (const Anfrage &a : _offen) {
        if (a.auftrag == auftrag)
            return &a;
    }
    return nullptr;
}

quint32 SimServer::abrufen(quint32 nummer)
{
    Anfrage a;
    a.auftrag = ++_zaehler;
    a.nummer = nummer;
    _offen.append(a);
    return a.auftrag;
}

quint32 SimServer::uebermitteln(quint32 id, const ServiceProvider::Treffer *treffer, quint32 zahl,
                                quint64 karte)
{
    Anfrage a;
    a.auftrag = ++_zaehler;
    a.art = Uebermittlung;
    a.id = id;
    a.treffer = QList<ServiceProvider::Treffer>(treffer, treffer + zahl);
    a.karte = karte;
    _offen.append(a);
    _letzte.insert(id, a.auftrag);
    return a.auftrag;
}

void SimServer::verarbeiten(quint32 auftrag, int status)
{
    for (Anfrage &a : _offen) {
        if (a.auftrag != auftrag || a.verarbeitet)
            continue;
        a.verarbeitet = true;
        a.status = status;
        const Karte *k = a.art == Abruf ? karte(a.nummer) : karteMitId(a.id);
        if (!k && a.status == 0)
            a.status = 404;
        if (a.status != 0)
            return;
        if (a.art == Abruf) {
            a.antwort = lesen(*k);
            return;
        }
        Karte &ziel = _karten[int(k - _karten.constData())];
        ziel.treffer = a.treffer;
        ziel.ausgewertet = true;
        ziel.gespeichertVon = a.karte;
        ++ziel.speicherungen;
        return;
    }
}

SimServer::Anfrage SimServer::nehmen(quint32 auftrag)
{
    for (qsizetype i = 0; i < _offen.size(); ++i) {
        if (_offen.at(i).auftrag == auftrag)
            return _offen.takeAt(i);
    }
    return {};
}

QString SimServer::fehlertext(Art art, int status)
{
    // The toolkit's network error for the status, as the server client
    // writes the pair.
    const int code = status == 401 ? 204 : status == 404 ? 203 : status == 500 ? 401 : 5;
    return (art == Abruf ? QStringLiteral("Scheibe konnte nicht abgerufen werden! ")
                         : QStringLiteral("Treffer konnten nicht übermittelt werden! "))
        + QStringLiteral("(%1:%2)").arg(code).arg(status);
}

ServiceProvider::Scheibe SimServer::lesen(const Karte &karte) const
{
    ServiceProvider::Scheibe s;
    s.id = karte.id;
    s.waffenTyp = karte.waffenTyp;
    s.schussProScheibe = karte.schuss;
    s.teilerFaktor = karte.teilerFaktor;
    s.treffer = karte.treffer;
    for (const ServiceProvider::Treffer &t : karte.treffer) {
        if (t.valid()) {
            s.ringe += qint32(std::trunc(t.ringe));
            s.zehntel += t.ringe;
        }
    }
    s.wertungsdatum = ServiceProvider::toDatumString(karte.ausgewertet ? 1773478800.0 : 0.0);
    s.schuetzeId = qint32(karte.nummer);
    s.schuetze = QStringLiteral("S%1").arg(karte.nummer);
    s.verein = QStringLiteral("SV Simulation");
    s.waffe = karte.waffenTyp == 2 ? QStringLiteral("Luftpistole") : QStringLiteral("Luftgewehr");
    s.scheibenProSerie = 2;
    // The series' other card scored 90 rings.
    s.serieRinge = s.ringe + 90;
    s.serieZehntel = s.zehntel + 95.3;
    return s;
}

#include "app/karte.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Ring totals from a broken server can be absurd; they are shown clamped
// rather than overflowing.
qint32 begrenzt(double wert)
{
    return qint32(
        qBound(double(std::numeric_limits<qint32>::min()), wert, double(std::numeric_limits<qint32>::max())));
}

} // namespace

Karte::Karte(const ServiceProvider::Scheibe &scheibe, quint32 nummer)
    : scheibenId(scheibe.id)
    , nummer(nummer)
    , schussProScheibe(quint32(std::clamp(scheibe.schussProScheibe, 0, int(MaxSchuss))))
    , teilerFaktor(scheibe.teilerFaktor)
    , ringeRest(begrenzt(double(scheibe.serieRinge) - scheibe.ringe))
    , zehntelRest(scheibe.serieZehntel - scheibe.zehntel)
    , daten(scheibe)
{
    // Hits the server holds beyond the card's positions have no slot.
    const quint32 n = std::min(quint32(scheibe.treffer.size()), schussProScheibe);
    for (quint32 i = 0; i < n; ++i) {
        if (scheibe.treffer.at(i).valid())
            treffer[i] = gespeichert[i] = scheibe.treffer.at(i);
    }
}

bool Karte::gleich(const ServiceProvider::Treffer &a, const ServiceProvider::Treffer &b)
{
    return a.x == b.x && a.y == b.y && a.ringe == b.ringe && a.teiler == b.teiler;
}

Karte::Summen Karte::summen() const
{
    double ganze = 0.0;
    double zehntel = 0.0;
    for (quint32 i = 0; i < schussProScheibe; ++i) {
        const double r = treffer[i].ringe;
        if (!(r >= 0)) // an empty slot, or not a number
            continue;
        zehntel += r;
        ganze += std::trunc(r);
    }
    Summen s;
    s.ringe = begrenzt(ganze);
    s.serieRinge = begrenzt(double(s.ringe) + ringeRest);
    s.zehntel = zehntel;
    s.serieZehntel = zehntel + zehntelRest;
    return s;
}

bool Karte::ungespeichert() const
{
    for (quint32 i = 0; i < schussProScheibe; ++i) {
        if (!gleich(treffer[i], gespeichert[i]))
            return true;
    }
    return false;
}

bool Karte::haelt(const QList<ServiceProvider::Treffer> &gesendet) const
{
    for (quint32 i = 0; i < schussProScheibe; ++i) {
        if (!gleich(gesendet.value(qsizetype(i)), treffer[i]))
            return false;
    }
    return true;
}

Karte::Einstellung Karte::einstellung() const
{
    const quint32 n = schussProScheibe;
    if (daten.waffenTyp == 2)
        return { MaschineRm3::Luftpistole, MaschineRm3::Einzel, MaschineRm3::SerieAus, n };
    if (n == 5)
        return { MaschineRm3::Luftgewehr, MaschineRm3::Fuenfer, MaschineRm3::SerieEin, 1 };
    if (n == 10)
        return { MaschineRm3::Luftgewehr, MaschineRm3::Zehner, MaschineRm3::SerieEin, 1 };
    return { MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus, n };
}

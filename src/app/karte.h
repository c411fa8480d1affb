#pragma once

#include "machine/maschine.h"
#include "server/serviceprovider.h"

#include <QList>
#include <QString>

// The card on screen as data: the record the server sent, its hit slots,
// the hits as the server holds them, and what became of each shot.
struct Karte
{
    // The hit array has room for this many positions; longer cards are refused.
    static constexpr quint32 MaxSchuss = 10;

    // The ring totals of the card and of the series with this card's hits.
    struct Summen
    {
        qint32 ringe = 0;
        qint32 serieRinge = 0;
        double zehntel = 0.0;
        double serieZehntel = 0.0;
    };

    // The settings line a card needs.
    struct Einstellung
    {
        MaschineRm3::Waffe waffe = MaschineRm3::Luftgewehr;
        MaschineRm3::Scheibe scheibe = MaschineRm3::Einzel;
        MaschineRm3::Serie serie = MaschineRm3::SerieAus;
        quint32 anzahl = 0;
    };

    quint32 scheibenId = 0; // the hits go to this id; 0 for no card
    quint32 nummer = 0; // as entered
    quint32 schussProScheibe = 0;
    double teilerFaktor = 1.0;
    ServiceProvider::Treffer treffer[MaxSchuss];
    ServiceProvider::Treffer gespeichert[MaxSchuss]; // fetched, or confirmed since
    QString vermerk[MaxSchuss]; // in words, for the printout
    qint32 ringeRest = 0; // the series' totals without this card's stored hits
    double zehntelRest = 0.0;
    ServiceProvider::Scheibe daten;

    Karte() = default;
    // A fetched card of at most MaxSchuss positions, its stored hits in their slots.
    Karte(const ServiceProvider::Scheibe &scheibe, quint32 nummer);

    Summen summen() const;
    Einstellung einstellung() const;
    // Hits in the slots that the server does not hold.
    bool ungespeichert() const;
    // The slots hold exactly `gesendet`.
    bool haelt(const QList<ServiceProvider::Treffer> &gesendet) const;
    static bool gleich(const ServiceProvider::Treffer &a, const ServiceProvider::Treffer &b);
};

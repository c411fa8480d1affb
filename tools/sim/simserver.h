#pragma once

#include "server/serviceprovider.h"

#include <QList>
#include <QMap>
#include <QString>

// The competition server of a simulated station, in memory: its cards with
// the hits they hold, and every request the station has sent and not yet had
// answered. A request is first processed (a fetch reads the record then, a
// submission stores then), and its reply is delivered at another moment;
// both moments, and their order across requests, are the schedule's choice.
// Nothing happens by itself.
class SimServer
{
public:
    struct Karte
    {
        quint32 id = 0;
        quint32 nummer = 0; // printed on the card, entered by the officer
        qint32 waffenTyp = 1;
        qint32 schuss = 0;
        double teilerFaktor = 1.0;
        QList<ServiceProvider::Treffer> treffer;
        bool ausgewertet = false;
        quint64 gespeichertVon = 0; // the station's card that stored the hits, 0 for seeded ones
        int speicherungen = 0;
    };

    enum Art { Abruf, Uebermittlung };

    struct Anfrage
    {
        quint32 auftrag = 0;
        Art art = Abruf;
        quint32 nummer = 0; // fetch: the number asked for
        quint32 id = 0; // submission: the card id it names
        QList<ServiceProvider::Treffer> treffer; // submission: the hits as sent
        quint64 karte = 0; // the station's card a submission came from
        bool verarbeitet = false;
        int status = 0; // after processing: 0 answered, otherwise the refusal's HTTP status
        ServiceProvider::Scheibe antwort; // a fetch answered: the record as it was read
    };

    void anlegen(const Karte &karte) { _karten.append(karte); }
    // The cards of every shape the flow knows, numbered 1001 to 3011.
    void musterAnlegen();
    const QList<Karte> &karten() const { return _karten; }
    const Karte *karte(quint32 nummer) const;
    const Karte *karteMitId(quint32 id) const;

    // Requests take their numbers from one counter, 1, 2, 3, ...
    quint32 abrufen(quint32 nummer);
    quint32 uebermitteln(quint32 id, const ServiceProvider::Treffer *treffer, quint32 zahl, quint64 karte);

    // Requests sent and not yet answered, in the order they were sent.
    const QList<Anfrage> &offen() const { return _offen; }
    const Anfrage *anfrage(quint32 auftrag) const;
    // The server handles the request; `status` 0 answers it (a fetch of an
    // unknown number is refused with 404 all the same), 401/404/500 refuse it.
    void verarbeiten(quint32 auftrag, int status);
    // Hands out the request for its reply to be delivered, or for its
    // failure at the station after the transfer time-out.
    Anfrage nehmen(quint32 auftrag);
    // The highest request number of a submission of card `id`, 0 for none.
    quint32 letzteUebermittlung(quint32 id) const { return _letzte.value(id); }
    const QMap<quint32, quint32> &letzteUebermittlungen() const { return _letzte; }

    // The first line of the "Fehler" box the station's server client shows
    // when the request fails with this HTTP status (0: time-out).
    static QString fehlertext(Art art, int status);

private:
    ServiceProvider::Scheibe lesen(const Karte &karte) const;

    QList<Karte> _karten;
    QList<Anfrage> _offen;
    QMap<quint32, quint32> _letzte; // card id -> request of its latest submission
    quint32 _zaehler = 0;
};

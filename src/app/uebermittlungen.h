#pragma once

#include "server/serviceprovider.h"

#include <QHash>
#include <QList>

// The submissions on their way to the server, each with the card it belongs
// to, and the latest one of every card id: a confirmation or a card reply
// older than that says nothing about what the server holds now.
class Uebermittlungen
{
public:
    struct Uebermittlung
    {
        quint32 auftrag = 0;
        quint32 id = 0; // the card id it went to
        quint64 karte = 0; // the flow's card count when it was sent
        quint32 nummer = 0; // card number as entered, for messages
        QList<ServiceProvider::Treffer> treffer; // as sent
    };

    void neu(const Uebermittlung &uebermittlung);
    // Takes submission `auftrag` off the list; false if it is not on it.
    bool nimm(quint32 auftrag, Uebermittlung *uebermittlung);
    // The request of the latest submission to card id `id`, 0 for none.
    quint32 letzte(quint32 id) const { return _letzte.value(id); }
    // A submission to card id `id` is still unanswered.
    bool unterwegsZu(quint32 id) const;
    // A submission to card id `id` was answered while fetch `abruf` was out:
    // the server may have read the card before it stored those hits.
    void beantwortet(quint32 id, quint32 abruf) { _waehrend.insert(id, abruf); }
    quint32 beantwortetWaehrend(quint32 id) const { return _waehrend.value(id); }

private:
    QList<Uebermittlung> _offen;
    QHash<quint32, quint32> _letzte;
    QHash<quint32, quint32> _waehrend;
};

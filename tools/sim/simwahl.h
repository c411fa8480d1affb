#pragma once

#include "simstation.h"

#include <QList>

// The choices of a simulated station: the events enabled now, carrying one
// out, and the hash of everything the effects of the next events depend on,
// for the exploration to prune repeats.
class SimWahl
{
public:
    static QList<SimStation::Ereignis> moeglich(const SimStation &st, const QList<quint32> &nummern);
    static void ausfuehren(SimStation &st, const SimStation::Ereignis &e);
    static quint64 hash(const SimStation &st);
    static void mische(quint64 &h, quint64 wert);
    static void mische(quint64 &h, double wert);
};

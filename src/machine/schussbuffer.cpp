#include "machine/schussbuffer.h"

void SchussBuffer::clear()
{
    _eintraege.clear();
}

void SchussBuffer::push(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                        bool zweifelhaft)
{
    // Stored first, so a receiver of schuss already finds the shot in the record.
    _eintraege.append(Eintrag { nummer, valid, ringe, teiler, x, y, zweifelhaft });
    emit schuss(nummer, valid, ringe, teiler, x, y, zweifelhaft);
}

void SchussBuffer::wiederholen()
{
    // A copy: a receiver may clear or extend the record while it is replayed.
    const QList<Eintrag> eintraege = _eintraege;
    for (const Eintrag &e : eintraege)
        emit schuss(e.nummer, e.valid, e.ringe, e.teiler, e.x, e.y, e.zweifelhaft);
}

#include "targets/lgscheibe.h"

#include <QPaintEvent>

LgScheibe::LgScheibe(QWidget *parent, unsigned index, double teilerAbstand)
    : LxScheibe(parent, index, teilerAbstand)
{ }

LxScheibe *LgScheibe::kopie(QWidget *parent) const
{
    auto *k = new LgScheibe(parent, index(), teilerAbstand());
    k->uebernehmen(*this);
    return k;
}

void LgScheibe::paintEvent(QPaintEvent *event)
{
    // Ring lines of the paper target, in ring widths of 2.5 mm; the mark has
    // the radius of a 4.5 mm pellet, so a mark touching the outer line of
    // ring n lies at 11 - n ring widths from the centre.
    static const double ringRadius[] = { 9.1, 8.1, 7.1, 6.1, 5.1, 4.1, 3.1, 2.1, 1.1, 0.1 };
    static const double zifferRadius[] = { 8.6, 7.6, 6.6, 5.6, 4.6, 3.6, 2.6, 1.6 };
    static const Face face { ringRadius, 10, zifferRadius, 4, 5, 10, 4, 0.9 };
    paintFace(face);
    LxScheibe::paintEvent(event);
}

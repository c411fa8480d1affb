#include "targets/lpscheibe.h"

#include <QPaintEvent>

LpScheibe::LpScheibe(QWidget *parent, unsigned index, double teilerAbstand)
    : LxScheibe(parent, index, teilerAbstand)
{ }

LxScheibe *LpScheibe::kopie(QWidget *parent) const
{
    auto *k = new LpScheibe(parent, index(), teilerAbstand());
    k->uebernehmen(*this);
    return k;
}

void LpScheibe::paintEvent(QPaintEvent *event)
{
    // Ring lines of the paper target, in ring widths of 8 mm, and the inner
    // ten last; the mark has the radius of a 4.5 mm pellet.
    static const double ringRadius[] = { 9.71875, 8.71875, 7.71875, 6.71875, 5.71875, 4.71875,
                                         3.71875, 2.71875, 1.71875, 0.71875, 0.3125 };
    static const double zifferRadius[]
        = { 9.21875, 8.21875, 7.21875, 6.21875, 5.21875, 4.21875, 3.21875, 2.21875 };
    static const Face face { ringRadius, 11, zifferRadius, 7, 8, 0, 7, 0.28125 };
    paintFace(face);
    LxScheibe::paintEvent(event);
}

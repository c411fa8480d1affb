#pragma once

#include "targets/lxscheibe.h"

class QPaintEvent;

// 10 m air-rifle target: ring width 2.5 mm, black from ring 4, white ten dot.
class LgScheibe : public LxScheibe
{
public:
    LgScheibe(QWidget *parent, unsigned index, double teilerAbstand);
    LxScheibe *kopie(QWidget *parent) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

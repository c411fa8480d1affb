#pragma once

#include "targets/lxscheibe.h"

class QPaintEvent;

// 10 m air-pistol target: ring width 8 mm, black from ring 7, inner ten.
class LpScheibe : public LxScheibe
{
public:
    LpScheibe(QWidget *parent, unsigned index, double teilerAbstand);
    LxScheibe *kopie(QWidget *parent) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

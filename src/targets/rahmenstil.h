#pragma once

#include <QColor>
#include <QProxyStyle>

// Style of the target grid's group box. Some styles (Fusion among them) draw
// a group box by stretching a small image over the whole frame, inside
// included; behind a full-screen grid of targets that smooth scaling costs
// more than all the faces together, on every repaint of a target. This style
// lets the base style draw only the border band and fills the inside, which
// such images keep one flat (translucent) colour, with that colour.
class RahmenStil : public QProxyStyle
{
    Q_OBJECT

public:
    explicit RahmenStil(QObject *parent = nullptr);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    // Colour of the inside as the base style draws it, taken from a sample
    // picture; invalid when the inside is not one flat colour.
    QColor innenFarbe(const QStyleOption *option, const QWidget *widget) const;

    mutable bool _geprueft = false;
    mutable QColor _innen;
};

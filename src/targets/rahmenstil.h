#pragma once

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>

// Style of the target grid's group box. Some styles (Fusion among them) draw
// a group box by stretching a small image over the whole frame, inside
// included; behind a full-screen grid of targets that smooth scaling costs
// more than all the faces together, on every repaint of a target. This style
// lets the base style draw only the border band, kept as four pictures per
// frame size, and fills the inside, which such images keep one flat
// (translucent) colour, with that colour. The group box fills its own
// background, so the inside can be filled with the opaque colour that the
// translucent one gives over it: a plain fill instead of a blend.
class RahmenStil : public QProxyStyle
{
    Q_OBJECT

public:
    explicit RahmenStil(QObject *parent = nullptr);

    void polish(QWidget *widget) override;
    void unpolish(QWidget *widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    // Colour of the inside as the base style draws it over `hinter`, taken
    // from a sample picture; invalid when the inside is not one flat colour.
    QColor innenFarbe(const QStyleOption *option, const QWidget *widget, const QColor &hinter) const;
    // Side `seite` (top, bottom, left, right) of the base style's frame: the
    // part within `streifen` of a frame drawn in `rahmen` over `hinter`, from
    // the pixmap cache; drawn with the painter's `hinweise`.
    QPixmap bandBild(int seite, const QRect &streifen, const QRect &rahmen, const QStyleOption *option,
                     const QWidget *widget, const QColor &hinter, qreal dpr,
                     QPainter::RenderHints hinweise) const;

    mutable QColor _geprueftUeber; // the `hinter` of the last sample
    mutable bool _geprueft = false;
    mutable QColor _innen;
};

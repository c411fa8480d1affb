#include "targets/rahmenstil.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOption>
#include <QWidget>

namespace {

// Width of the border band left to the base style; the title sits above it.
constexpr int band = 10;

QRect innen(const QStyleOption *option)
{
    const int oben = option->fontMetrics.height();
    return option->rect.adjusted(band, band + oben, -band, -band);
}

} // namespace

RahmenStil::RahmenStil(QObject *parent)
    : QProxyStyle()
{
    setParent(parent);
}

QColor RahmenStil::innenFarbe(const QStyleOption *option, const QWidget *widget) const
{
    if (_geprueft)
        return _innen;
    _geprueft = true;
    // A sample frame large enough for a real inside; its inside must be one colour.
    QStyleOption probe(*option);
    probe.rect = QRect(0, 0, 200, 120);
    QImage bild(probe.rect.size(), QImage::Format_ARGB32);
    bild.fill(Qt::transparent);
    {
        QPainter painter(&bild);
        baseStyle()->drawPrimitive(PE_FrameGroupBox, &probe, &painter, widget);
    }
    const QRect flaeche = innen(&probe);
    const QRgb farbe = bild.pixel(flaeche.topLeft());
    for (int y = flaeche.top(); y <= flaeche.bottom(); ++y)
        for (int x = flaeche.left(); x <= flaeche.right(); ++x)
            if (bild.pixel(x, y) != farbe)
                return _innen;
    _innen = QColor::fromRgba(farbe);
    return _innen;
}

void RahmenStil::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    const QRect flaeche = innen(option);
    if (element != PE_FrameGroupBox || flaeche.width() < 2 * band || flaeche.height() < 2 * band) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QColor farbe = innenFarbe(option, widget);
    if (!farbe.isValid()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Four rectangular clips: the raster engine skips the pixels outside a
    // clip rectangle, but works through all of them for a clip region.
    const QRect &r = option->rect;
    const QRect streifen[] = {
        QRect(r.left(), r.top(), r.width(), flaeche.top() - r.top()),
        QRect(r.left(), flaeche.bottom() + 1, r.width(), r.bottom() - flaeche.bottom()),
        QRect(r.left(), flaeche.top(), flaeche.left() - r.left(), flaeche.height()),
        QRect(flaeche.right() + 1, flaeche.top(), r.right() - flaeche.right(), flaeche.height()),
    };
    // A target repainted inside the frame repaints the frame behind it too:
    // the bands outside what is being repainted cost a full draw each and
    // show nothing.
    const QPaintEngine *engine = painter->paintEngine();
    const QRegion neu = engine ? engine->systemClip() : QRegion();
    const QTransform zumGeraet = painter->deviceTransform();
    for (const QRect &streifenRect : streifen) {
        if (!neu.isEmpty() && !neu.intersects(zumGeraet.mapRect(streifenRect)))
            continue;
        painter->save();
        painter->setClipRect(streifenRect, Qt::IntersectClip);
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        painter->restore();
    }
    if (farbe.alpha() > 0)
        painter->fillRect(flaeche, farbe);
}

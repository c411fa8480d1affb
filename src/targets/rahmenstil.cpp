#include "targets/rahmenstil.h"

#include <QGroupBox>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Width of the border band left to the base style; the title sits above it.
constexpr int band = 10;

QRect innen(const QStyleOption *option)
{
    const int oben = option->fontMetrics.height();
    return option->rect.adjusted(band, band + oben, -band, -band);
}

// What lies behind the inside: the box's own background when it fills it
// with one opaque colour, else unknown (transparent).
QColor hintergrund(const QWidget *widget)
{
    if (!widget || !widget->autoFillBackground())
        return Qt::transparent;
    const QBrush &pinsel = widget->palette().brush(widget->backgroundRole());
    return pinsel.style() == Qt::SolidPattern && pinsel.isOpaque() ? pinsel.color() : QColor(Qt::transparent);
}

// The frame's own fields (line width, features) go along with a new rect.
QStyleOptionFrame rahmenOption(const QStyleOption *option, const QRect &rect)
{
    QStyleOptionFrame neu;
    if (const auto *rahmen = qstyleoption_cast<const QStyleOptionFrame *>(option))
        neu = *rahmen;
    else
        neu.QStyleOption::operator=(*option);
    neu.rect = rect;
    return neu;
}

} // namespace

RahmenStil::RahmenStil(QObject *parent)
    : QProxyStyle()
{
    setParent(parent);
}

void RahmenStil::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    if (qobject_cast<QGroupBox *>(widget))
        widget->setAutoFillBackground(true);
}

void RahmenStil::unpolish(QWidget *widget)
{
    if (qobject_cast<QGroupBox *>(widget))
        widget->setAutoFillBackground(false);
    QProxyStyle::unpolish(widget);
}

QColor RahmenStil::innenFarbe(const QStyleOption *option, const QWidget *widget, const QColor &hinter) const
{
    if (_geprueft && _geprueftUeber == hinter)
        return _innen;
    _geprueft = true;
    _geprueftUeber = hinter;
    _innen = QColor();
    // A sample frame large enough for a real inside; its inside must be one colour.
    QStyleOption probe(*option);
    probe.rect = QRect(0, 0, 200, 120);
    QImage bild(probe.rect.size(), QImage::Format_ARGB32_Premultiplied);
    bild.fill(hinter);
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

QPixmap RahmenStil::bandBild(int seite, const QRect &streifen, const QRect &rahmen,
                             const QStyleOption *option, const QWidget *widget, const QColor &hinter,
                             qreal dpr, QPainter::RenderHints hinweise) const
{
    // Everything the base style's frame depends on; a group box's title
    // and check box move the frame's top line.
    const auto *box = qobject_cast<const QGroupBox *>(widget);
    const QString schluessel
        = QStringLiteral("RahmenStil/%1/%2/%3/%4/%5x%6/%7/%8/%9/%10/%11/%12")
              .arg(baseStyle()->name())
              .arg(quintptr(baseStyle()))
              .arg(seite)
              .arg(option->palette.cacheKey())
              .arg(streifen.width())
              .arg(streifen.height())
              .arg(int(option->state))
              .arg(dpr)
              .arg(option->fontMetrics.height())
              .arg(box ? (box->title().isEmpty() ? 1 : 2) + (box->isCheckable() ? 2 : 0) : 0)
              .arg(hinter.rgba())
              .arg(int(hinweise));
    QPixmap bild;
    if (QPixmapCache::find(schluessel, &bild))
        return bild;
    // The whole shallow frame, none of it cut off at the picture's edge: a
    // stretched piece cut there is sampled a shade differently. Over the
    // box's own background the band is then what a direct drawing leaves,
    // to the bit.
    QPixmap ganz(rahmen.size() * dpr);
    ganz.setDevicePixelRatio(dpr);
    ganz.fill(hinter);
    QPainter painter(&ganz);
    painter.setRenderHints(hinweise);
    painter.translate(-rahmen.topLeft());
    const QStyleOptionFrame seitenOption = rahmenOption(option, rahmen);
    QProxyStyle::drawPrimitive(PE_FrameGroupBox, &seitenOption, &painter, widget);
    painter.end();
    const QRect teil = streifen.translated(-rahmen.topLeft());
    bild = ganz.copy(QRect(teil.topLeft() * dpr, teil.size() * dpr));
    bild.setDevicePixelRatio(dpr);
    QPixmapCache::insert(schluessel, bild);
    return bild;
}

void RahmenStil::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    const QRect flaeche = innen(option);
    const QTransform zumGeraet = painter->deviceTransform();
    const bool ganzzahlig
        = zumGeraet.dx() == std::floor(zumGeraet.dx()) && zumGeraet.dy() == std::floor(zumGeraet.dy());
    const bool verschoben = zumGeraet.type() <= QTransform::TxTranslate && ganzzahlig;
    // A style that clips its frame itself (around the title) meets a scaled
    // device's rounding of that clip only when it draws the whole frame.
    if (element != PE_FrameGroupBox || flaeche.width() < 2 * band || flaeche.height() < 2 * band
        || (painter->hasClipping() && !verschoben)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QColor hinter = hintergrund(widget);
    const QColor farbe = innenFarbe(option, widget, hinter);
    if (!farbe.isValid()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Each band comes from a frame only as deep as the band needs: a side
    // is the same in a shallower frame, as the corners keep their size and
    // the sides only stretch along their own length.
    const QRect &r = option->rect;
    const int oben = flaeche.top() - r.top();
    const int unten = r.bottom() - flaeche.bottom();
    const int flach = std::min(r.height(), oben + unten + 2 * band);
    const int schmal = std::min(r.width(), 3 * band);
    const struct
    {
        QRect streifen;
        QRect rahmen;
    } seiten[] = {
        { QRect(r.left(), r.top(), r.width(), oben), QRect(r.left(), r.top(), r.width(), flach) },
        { QRect(r.left(), flaeche.bottom() + 1, r.width(), unten),
          QRect(r.left(), r.bottom() + 1 - flach, r.width(), flach) },
        { QRect(r.left(), flaeche.top(), flaeche.left() - r.left(), flaeche.height()),
          QRect(r.left(), r.top(), schmal, r.height()) },
        { QRect(flaeche.right() + 1, flaeche.top(), r.right() - flaeche.right(), flaeche.height()),
          QRect(r.right() + 1 - schmal, r.top(), schmal, r.height()) },
    };
    // A target repainted inside the frame repaints the frame behind it too:
    // the bands outside what is being repainted show nothing.
    const QPaintEngine *engine = painter->paintEngine();
    const QRegion neu = engine ? engine->systemClip() : QRegion();
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    // On a screen or an image the bands are pictures made once per frame
    // size: the base style stretches its frame image piece by piece, and
    // under a repainted region's clip each piece costs a pass of the raster
    // engine's worker threads, far more than the band shows. Under any other
    // transform (a printer's scale) the bands are drawn directly.
    const bool bilder = zumGeraet.type() <= QTransform::TxScale && zumGeraet.m11() == dpr
        && zumGeraet.m22() == dpr && ganzzahlig;
    for (int seite = 0; seite < 4; ++seite) {
        const QRect &streifen = seiten[seite].streifen;
        if (!neu.isEmpty() && !neu.intersects(zumGeraet.mapRect(streifen)))
            continue;
        if (bilder) {
            painter->drawPixmap(streifen.topLeft(),
                                bandBild(seite, streifen, seiten[seite].rahmen, option, widget, hinter, dpr,
                                         painter->renderHints()));
            continue;
        }
        // Rectangular clips: the raster engine skips the pixels outside a
        // clip rectangle, but works through all of them for a clip region.
        const QStyleOptionFrame seitenOption = rahmenOption(option, seiten[seite].rahmen);
        painter->save();
        painter->setClipRect(streifen, Qt::IntersectClip);
        QProxyStyle::drawPrimitive(element, &seitenOption, painter, widget);
        painter->restore();
    }
    if (farbe.alpha() > 0)
        painter->fillRect(flaeche, farbe);
}

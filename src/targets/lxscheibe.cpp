#include "targets/lxscheibe.h"

#include <QColor>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// Pixel offset of a coordinate, truncated toward zero. Shots far off the face
// are clamped so that the conversion stays defined; they are clipped anyway.
int pixelOffset(double ringWidths, int pixelProRing)
{
    const double p = std::clamp(ringWidths * pixelProRing, -1.0e6, 1.0e6);
    return static_cast<int>(p);
}

} // namespace

LxScheibe::LxScheibe(QWidget *parent, unsigned index, double teilerAbstand)
    : QWidget(parent)
    , _index(index)
    , _teilerAbstand(teilerAbstand)
{
    setToolTip(tr(
        "Doppelklick: Scheibe entsperren\nLinksklick: Schuss hierhin setzen\nRechtsklick: Schuss ungültig"));
}

void LxScheibe::setTeilerAbstand(double abstand)
{
    _teilerAbstand = abstand;
}

void LxScheibe::setAusschnitt(int abRing)
{
    _abRing = std::max(1, abRing);
    update();
}

void LxScheibe::setMindestMarke(double pixel)
{
    _mindestMarke = pixel;
    update();
}

void LxScheibe::setHoechstensPixelProRing(int pixel)
{
    if (pixel == _hoechstens)
        return;
    _hoechstens = pixel;
    update();
}

int LxScheibe::pixelProRingFuer(QSize groesse)
{
    // The smaller side decides, leaving room for the texts above ring 1.
    const int w = groesse.width();
    const int h = groesse.height();
    return static_cast<int>(std::floor(0.045 * (w / 2 > h / 2 ? h : w)));
}

void LxScheibe::setSchuss(double x, double y, unsigned farbe)
{
    // A miss scores 0.0 and Teiler -1.0, which read "0,0R" and no Teiler text.
    const double r = std::sqrt(x * x + y * y);
    _ringeLabel = Geometrie::ringeText(Geometrie::ringe(r));
    _teilerLabel = Geometrie::teilerText(Geometrie::teiler(r, _teilerAbstand));
    _valid = true;
    _vonHand = false;
    _x = x;
    _y = y;
    _farbe = farbe;
    update();
}

void LxScheibe::setSchuss(double x, double y, QString ringeText, QString teilerText, unsigned farbe)
{
    _valid = true;
    _vonHand = false;
    _x = x;
    _y = y;
    _ringeLabel = ringeText;
    _teilerLabel = teilerText;
    _farbe = farbe;
    update();
}

void LxScheibe::setSchussUngultig(QString ringeText, QString teilerText, unsigned farbe)
{
    _valid = false;
    _vonHand = false;
    _ringeLabel = ringeText;
    _teilerLabel = teilerText;
    _farbe = farbe;
    update();
}

LxScheibe *LxScheibe::kopie(QWidget *parent) const
{
    auto *k = new LxScheibe(parent, _index, _teilerAbstand);
    k->uebernehmen(*this);
    return k;
}

void LxScheibe::uebernehmen(const LxScheibe &von)
{
    _valid = von._valid;
    _vonHand = false;
    _x = von._x;
    _y = von._y;
    _ringeLabel = von._ringeLabel;
    _teilerLabel = von._teilerLabel;
    _farbe = von._farbe;
    update();
}

void LxScheibe::fillScheibe(unsigned farbe)
{
    _farbe = farbe;
    update();
}

void LxScheibe::commitScheibe()
{
    _farbe = Weiss;
    _editierbar = false;
    update();
}

void LxScheibe::clearScheibe()
{
    _valid = false;
    _vonHand = false;
    _ringeLabel.clear();
    _teilerLabel.clear();
    _farbe = Weiss;
    _editierbar = false;
    update();
}

void LxScheibe::mousePressEvent(QMouseEvent *event)
{
    // Before the first paint there is no face geometry to map the press onto.
    if (!_editierbar || _pixelProRing <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const int px = static_cast<int>(std::round(event->position().x()));
        const int py = static_cast<int>(std::round(event->position().y()));
        const double x = static_cast<double>(px - _mitteX) / _pixelProRing;
        const double y = static_cast<double>(py - _mitteY) / _pixelProRing;
        setSchuss(x, y, Hellgruen);
        _vonHand = true;
        emit scheibeClicked(this);
        QWidget::mousePressEvent(event);
        return;
    }
    _valid = false;
    _vonHand = true;
    _ringeLabel = ringeText(0.0);
    _teilerLabel.clear();
    _farbe = Hellrot;
    update();
    emit scheibeClicked(this);
}

void LxScheibe::mouseDoubleClickEvent(QMouseEvent *event)
{
    _farbe = Hellgruen;
    update();
    _editierbar = true;
    emit scheibeClicked(this);
    // The widget base would hand the double click on as a press, which on the
    // now unlocked target would move or void the shot at the very moment of
    // unlocking. Unlocking must report the shot unchanged, so it stops here.
    event->accept();
}

void LxScheibe::addText(QPainter *painter)
{
    const int s = _schriftProRing;
    const int cx = _mitteX;
    const int cy = _mitteY;

    painter->setPen(QColor(53, 53, 53));
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    QFont font;

    // A face too small for a readable size gets no text rather than an
    // invalid font size.
    const int nummerGroesse = static_cast<int>(std::floor(1.4 * s));
    if (nummerGroesse > 0) {
        font.setPointSize(nummerGroesse);
        painter->setFont(font);
        painter->drawText(QRect(cx - 9 * s, cy - 11 * s, 10 * s, static_cast<int>(std::floor(2.2 * s))),
                          Qt::AlignLeft, QStringLiteral("#") + QString::number(_index + 1));
    }

    if (_ringeLabel.isEmpty())
        return;
    const int ringeHoehe = static_cast<int>(std::floor(1.6 * s));
    if (s > 0) {
        font.setPointSize(s);
        painter->setFont(font);
        painter->drawText(QRect(cx - s, cy - 11 * s, 10 * s, ringeHoehe), Qt::AlignRight, _ringeLabel);
    }

    if (_teilerLabel.isEmpty())
        return;
    const int teilerGroesse = static_cast<int>(std::floor(0.8 * s));
    if (teilerGroesse > 0) {
        font.setPointSize(teilerGroesse);
        painter->setFont(font);
        painter->drawText(
            QRect(cx - s, cy - 11 * s + ringeHoehe, 10 * s, static_cast<int>(std::floor(1.3 * s))),
            Qt::AlignRight, _teilerLabel);
    }
}

bool LxScheibe::_flaechenBehalten = true;

void LxScheibe::setFlaechenBehalten(bool behalten)
{
    _flaechenBehalten = behalten;
}

void LxScheibe::zeichneFlaeche(QPainter *painter, const Face &face, int abRing, QPoint mitte) const
{
    // The numbers are the same on every face and every paint.
    static const QStringList zifferText = [] {
        QStringList texte;
        for (int i = 1; i <= 8; ++i)
            texte << QString::number(i);
        return texte;
    }();

    const int mx = mitte.x();
    const int my = mitte.y();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::black);
    painter->setBrush(QColor(static_cast<QRgb>(_farbe)));
    for (int i = 0; i < face.ringCount; ++i) {
        const int ring = i + 1;
        if (ring == face.schwarzAb)
            painter->setBrush(Qt::black);
        if (ring == face.weisseLinienAb)
            painter->setPen(Qt::white);
        if (ring == face.weisserPunktAb)
            painter->setBrush(Qt::white);
        if (ring < abRing)
            continue;
        const int r = static_cast<int>(std::floor(_pixelProRing * face.ringRadius[i]));
        painter->drawEllipse(QRect(mx - r, my - r, 2 * r, 2 * r));
    }

    // Numbers on rings narrower than their type run into each other and
    // into the lines; such a small face reads better without them.
    if (_pixelProRing < 6)
        return;
    painter->setFont(zifferFont());
    painter->setPen(Qt::black);
    for (int i = 0; i < zifferText.size(); ++i) {
        if (i + 1 == face.weisseZiffernAb)
            painter->setPen(Qt::white);
        if (i + 1 < abRing)
            continue;
        const int hoehe = static_cast<int>(std::floor(_pixelProRing * face.zifferRadius[i]));
        const QString &text = zifferText.at(i);
        painter->drawText(QPoint(mx - 2, my + 4 - hoehe), text);
        painter->drawText(QPoint(mx - 2 + hoehe, my + 4), text);
        painter->drawText(QPoint(mx - 2, my + 4 + hoehe), text);
        painter->drawText(QPoint(mx - 2 - hoehe, my + 4), text);
    }
}

QFont LxScheibe::zifferFont() const
{
    QFont f = font();
    f.setPointSize(7);
    return f;
}

QPixmap LxScheibe::flaeche(const Face &face, int abRing, int rand, qreal dpr) const
{
    const QString schluessel = QStringLiteral("LxScheibe/%1/%2/%3/%4/%5/%6")
                                   .arg(quintptr(&face))
                                   .arg(abRing)
                                   .arg(_pixelProRing)
                                   .arg(_farbe)
                                   .arg(dpr)
                                   .arg(zifferFont().key());
    QPixmap bild;
    if (QPixmapCache::find(schluessel, &bild))
        return bild;

    const int seite = 2 * rand;
    bild = QPixmap(QSize(seite, seite) * dpr);
    bild.setDevicePixelRatio(dpr);
    bild.fill(Qt::transparent);
    QPainter painter(&bild);
    zeichneFlaeche(&painter, face, abRing, QPoint(rand, rand));
    painter.end();
    QPixmapCache::insert(schluessel, bild);
    return bild;
}

void LxScheibe::paintFace(const Face &face)
{
    _mitteX = width() / 2;
    _mitteY = height() / 2;
    _pixelProRing = pixelProRingFuer(size());
    if (_hoechstens > 0)
        _pixelProRing = std::min(_pixelProRing, _hoechstens);
    _schriftProRing = _pixelProRing;
    // A cut-out face fills the room of the whole one with its outer ring.
    const double abstand = std::hypot(_x, _y);
    int abRing = 1;
    if (_abRing > 1 && _abRing <= face.ringCount && (!_valid || abstand <= face.ringRadius[_abRing - 1])) {
        abRing = _abRing;
        _pixelProRing
            = static_cast<int>(std::lround(_pixelProRing * face.ringRadius[0] / face.ringRadius[abRing - 1]));
    }

    QPainter painter(this);
    // The picture is kept at the pixels of the device painted on, which a
    // render into a finer image or a second screen's backing store sets by
    // the painter's scale, not by the widget's own pixel ratio; it must land
    // on whole device pixels to come out as drawn.
    const int rand = static_cast<int>(std::floor(_pixelProRing * face.ringRadius[abRing - 1])) + 16;
    const QTransform zumGeraet = painter.deviceTransform();
    const QPointF ecke = zumGeraet.map(QPointF(_mitteX - rand, _mitteY - rand));
    const bool behalten = _flaechenBehalten && zumGeraet.type() <= QTransform::TxScale
        && zumGeraet.m11() == zumGeraet.m22() && zumGeraet.m11() > 0 && ecke.x() == std::floor(ecke.x())
        && ecke.y() == std::floor(ecke.y());
    if (behalten)
        painter.drawPixmap(_mitteX - rand, _mitteY - rand, flaeche(face, abRing, rand, zumGeraet.m11()));
    else
        zeichneFlaeche(&painter, face, abRing, QPoint(_mitteX, _mitteY));
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (_valid && std::isfinite(_x) && std::isfinite(_y)) {
        const int px = _mitteX + pixelOffset(_x, _pixelProRing);
        const int py = _mitteY + pixelOffset(_y, _pixelProRing);
        const int m = static_cast<int>(std::floor(face.markRadius * _pixelProRing));
        if (m >= _mindestMarke) {
            painter.setPen(Qt::darkRed);
            painter.setBrush(Qt::red);
            painter.drawEllipse(QRect(px - m, py - m, 2 * m, 2 * m));
        } else {
            const bool aufSchwarz = abstand < face.ringRadius[face.schwarzAb - 1];
            const QPointF mitte(px, py);
            painter.setPen(Qt::NoPen);
            painter.setBrush(aufSchwarz ? Qt::white : Qt::black);
            const double umriss = _mindestMarke * 1.375;
            painter.drawEllipse(mitte, umriss, umriss);
            painter.setBrush(Qt::red);
            painter.drawEllipse(mitte, _mindestMarke, _mindestMarke);
        }
    }

    addText(&painter);
}

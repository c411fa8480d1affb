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

// Number of tenths already rounded to a whole value, written as "whole,tenth".
// Done by hand so that the separator is a comma whatever the locale says.
QString zehntelText(double n)
{
    const double ganz = std::floor(n / 10.0);
    const double zehntel = n - 10.0 * ganz;
    return QString::number(ganz, 'f', 0) + QLatin1Char(',') + QString::number(zehntel, 'f', 0);
}

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

double LxScheibe::ringe() const
{
    if (!_valid)
        return 0.0;
    return ringe(_x, _y);
}

double LxScheibe::ringe(double x, double y)
{
    return ringe(std::sqrt(x * x + y * y));
}

double LxScheibe::ringe(double r)
{
    // Tenths counted from the centre, halves upwards; kept in double so that
    // absurd distances cannot overflow an integer.
    const double zehntel = std::floor(10.0 * r + 0.5);
    const double wert = (110.0 - zehntel) / 10.0;
    if (!(wert >= 1.0))
        return 0.0;
    // The best hit is 10.9, a shot in the very centre does not make 11.
    return std::min(wert, 10.9);
}

double LxScheibe::teiler() const
{
    if (!_valid)
        return -1.0;
    return teiler(_x, _y);
}

double LxScheibe::teiler(double x, double y) const
{
    return teiler(std::sqrt(x * x + y * y));
}

double LxScheibe::teiler(double r) const
{
    if (ringe(r) < 1.0)
        return -1.0;
    return _teiler(r, _teilerAbstand);
}

double LxScheibe::_teiler(double x, double y, double abstand)
{
    return _teiler(std::sqrt(x * x + y * y), abstand);
}

double LxScheibe::_teiler(double r, double abstand)
{
    return r * abstand;
}

int LxScheibe::tendenz() const
{
    return tendenz(_x, _y);
}

int LxScheibe::tendenz(double x, double y)
{
    const double r = std::sqrt(x * x + y * y);
    if (!(r > 0.1))
        return -1;
    // y grows downwards, so the angle grows clockwise from the right; turned
    // by 90 degrees sector 0 points straight up.
    const double grad = std::atan2(y, x) * 180.0 / 3.141592653589793;
    const double m = std::round(grad) + 90.0;
    const int n = static_cast<int>(std::round(m / 45.0));
    return (n + 8) % 8;
}

void LxScheibe::setTeilerAbstand(double abstand)
{
    _teilerAbstand = abstand;
}

void LxScheibe::setSchuss(double x, double y, unsigned farbe)
{
    const double r = std::sqrt(x * x + y * y);
    const double wert = ringe(r);
    if (wert < 1.0) {
        _ringeLabel = ringeText(0.0);
        _teilerLabel.clear();
    } else {
        const double t = _teiler(r, _teilerAbstand);
        _ringeLabel = ringeText(wert);
        _teilerLabel = t >= 0.0 ? teilerText(t) : QString();
    }
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

QString LxScheibe::ringeText(double ringe)
{
    if (!(ringe > 0.0))
        return QStringLiteral("0,0R");
    // Rings are never rounded up: 9.79 is still a nine and seven tenths.
    return zehntelText(std::trunc(10.0 * ringe)) + QLatin1Char('R');
}

QString LxScheibe::teilerText(double teiler)
{
    if (!(teiler >= 0.0))
        return QString();
    return zehntelText(std::round(10.0 * teiler)) + QLatin1Char('T');
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
    const int s = _pixelProRing;
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

QPixmap LxScheibe::flaeche(const Face &face, int *rand) const
{
    // The numbers are the same on every face and every paint.
    static const QStringList zifferText = [] {
        QStringList texte;
        for (int i = 1; i <= 8; ++i)
            texte << QString::number(i);
        return texte;
    }();

    // Room for the outer ring and for ring numbers that stick out of a tiny face.
    const int aussen = static_cast<int>(std::floor(_pixelProRing * face.ringRadius[0]));
    *rand = aussen + 16;
    QFont zifferFont = font();
    zifferFont.setPointSize(7);
    const qreal dpr = devicePixelRatioF();
    const QString schluessel = QStringLiteral("LxScheibe/%1/%2/%3/%4/%5")
                                   .arg(quintptr(&face))
                                   .arg(_pixelProRing)
                                   .arg(_farbe)
                                   .arg(dpr)
                                   .arg(zifferFont.key());
    QPixmap bild;
    if (QPixmapCache::find(schluessel, &bild))
        return bild;

    const int seite = 2 * *rand;
    bild = QPixmap(QSize(seite, seite) * dpr);
    bild.setDevicePixelRatio(dpr);
    bild.fill(Qt::transparent);
    const int m = *rand;
    QPainter painter(&bild);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::black);
    painter.setBrush(QColor(static_cast<QRgb>(_farbe)));

    for (int i = 0; i < face.ringCount; ++i) {
        const int ring = i + 1;
        if (ring == face.schwarzAb)
            painter.setBrush(Qt::black);
        if (ring == face.weisseLinienAb)
            painter.setPen(Qt::white);
        if (ring == face.weisserPunktAb)
            painter.setBrush(Qt::white);
        const int r = static_cast<int>(std::floor(_pixelProRing * face.ringRadius[i]));
        painter.drawEllipse(QRect(m - r, m - r, 2 * r, 2 * r));
    }

    painter.setFont(zifferFont);
    painter.setPen(Qt::black);
    for (int i = 0; i < zifferText.size(); ++i) {
        if (i + 1 == face.weisseZiffernAb)
            painter.setPen(Qt::white);
        const int hoehe = static_cast<int>(std::floor(_pixelProRing * face.zifferRadius[i]));
        const QString &text = zifferText.at(i);
        painter.drawText(QPoint(m - 2, m + 4 - hoehe), text);
        painter.drawText(QPoint(m - 2 + hoehe, m + 4), text);
        painter.drawText(QPoint(m - 2, m + 4 + hoehe), text);
        painter.drawText(QPoint(m - 2 - hoehe, m + 4), text);
    }
    painter.end();
    QPixmapCache::insert(schluessel, bild);
    return bild;
}

void LxScheibe::paintFace(const Face &face)
{
    const int w = width();
    const int h = height();
    _mitteX = w / 2;
    _mitteY = h / 2;
    // The smaller side decides, leaving room for the texts above ring 1.
    _pixelProRing = static_cast<int>(std::floor(0.045 * (_mitteX > _mitteY ? h : w)));

    int rand = 0;
    const QPixmap bild = flaeche(face, &rand);
    QPainter painter(this);
    painter.drawPixmap(_mitteX - rand, _mitteY - rand, bild);
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (_valid && std::isfinite(_x) && std::isfinite(_y)) {
        painter.setPen(Qt::darkRed);
        painter.setBrush(Qt::red);
        const int m = static_cast<int>(std::floor(face.markRadius * _pixelProRing));
        const int px = _mitteX + pixelOffset(_x, _pixelProRing);
        const int py = _mitteY + pixelOffset(_y, _pixelProRing);
        painter.drawEllipse(QRect(px - m, py - m, 2 * m, 2 * m));
    }

    addText(&painter);
}

// Paint: a full 10-target card rendered into a raster image, beside the same
// number of filled circles and texts drawn with a bare QPainter.

#include "benchapp.h"

#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>

namespace {

// What one air-rifle face draws: ten rings, 32 ring numbers, the shot mark
// and three texts, at the target's own size; only without any widget.
void boden(QPainter &p, const QRect &r, int index)
{
    static const double ringRadius[] = { 9.1, 8.1, 7.1, 6.1, 5.1, 4.1, 3.1, 2.1, 1.1, 0.1 };
    static const double zifferRadius[] = { 8.6, 7.6, 6.6, 5.6, 4.6, 3.6, 2.6, 1.6 };
    const int cx = r.x() + r.width() / 2;
    const int cy = r.y() + r.height() / 2;
    const int s = int(std::floor(0.045 * std::min(r.width(), r.height())));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    for (int i = 0; i < 10; ++i) {
        if (i == 3)
            p.setBrush(Qt::black);
        if (i == 4)
            p.setPen(Qt::white);
        if (i == 9)
            p.setBrush(Qt::white);
        const int rr = int(std::floor(s * ringRadius[i]));
        p.drawEllipse(QRect(cx - rr, cy - rr, 2 * rr, 2 * rr));
    }
    QFont f;
    f.setPointSize(7);
    p.setFont(f);
    p.setPen(Qt::black);
    for (int i = 0; i < 8; ++i) {
        if (i == 3)
            p.setPen(Qt::white);
        const int h = int(std::floor(s * zifferRadius[i]));
        const QString t = QString::number(i + 1);
        p.drawText(QPoint(cx - 2, cy + 4 - h), t);
        p.drawText(QPoint(cx - 2 + h, cy + 4), t);
        p.drawText(QPoint(cx - 2, cy + 4 + h), t);
        p.drawText(QPoint(cx - 2 - h, cy + 4), t);
    }
    p.setPen(Qt::darkRed);
    p.setBrush(Qt::red);
    const int m = int(std::floor(0.9 * s));
    p.drawEllipse(QRect(cx + s - m, cy - s - m, 2 * m, 2 * m));
    p.setPen(QColor(53, 53, 53));
    f.setPointSize(int(std::floor(1.4 * s)));
    p.setFont(f);
    p.drawText(QRect(cx - 9 * s, cy - 11 * s, 10 * s, int(std::floor(2.2 * s))), Qt::AlignLeft,
               QStringLiteral("#%1").arg(index + 1));
    f.setPointSize(s);
    p.setFont(f);
    p.drawText(QRect(cx - s, cy - 11 * s, 10 * s, int(std::floor(1.6 * s))), Qt::AlignRight,
               QStringLiteral("9,7R"));
    f.setPointSize(int(std::floor(0.8 * s)));
    p.setFont(f);
    p.drawText(QRect(cx - s, cy - 11 * s + int(std::floor(1.6 * s)), 10 * s, int(std::floor(1.3 * s))),
               Qt::AlignRight, QStringLiteral("125,4T"));
}

template<typename F> double msMedian(int runden, F f)
{
    QList<double> ms;
    QElapsedTimer uhr;
    for (int i = 0; i < runden; ++i) {
        uhr.start();
        f();
        ms.append(uhr.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

} // namespace

int benchPaint(int argc, char **argv)
{
    BenchApp app(argc, argv);
    const QSize groessen[] = { { 1920, 1080 }, { 3840, 2160 } };
    for (const QSize &g : groessen) {
        ScheibenLayout karte;
        karte.resize(g);
        karte.show();
        app.processEvents();
        // After this: the targets of the size before were deleted, and new
        // ones may sit at their addresses with their paint times.
        const qint64 gebaut = BenchApp::now();
        karte.setLayout(10, ScheibenLayout::Lg, 1.0);
        for (unsigned i = 0; i < 10; ++i)
            karte.setScheibe(i, 1.0, -1.0, QStringLiteral("9,7R"), QStringLiteral("125,4T"), false);
        app.pumpUntil([&] { return app.paintedAfter(karte.getScheibe(9), gebaut) > 0; });

        QImage bild(g, QImage::Format_ARGB32_Premultiplied);
        QList<QRect> rechtecke;
        for (unsigned i = 0; i < 10; ++i)
            rechtecke.append(karte.getScheibe(i)->geometry().translated(
                karte.getScheibe(i)->parentWidget()->mapTo(&karte, QPoint(0, 0))));

        const int runden = g.width() > 2000 ? 5 : 10;
        // Many short blocks in turn, each pair judged by its own ratio: a
        // neighbour's load that comes and goes hits both halves of a pair.
        QList<double> voll, nackt, ratios;
        for (int block = 0; block < 9; ++block) {
            voll.append(msMedian(runden, [&] { karte.render(&bild); }));
            nackt.append(msMedian(runden, [&] {
                QPainter p(&bild);
                p.fillRect(bild.rect(), karte.palette().window());
                for (int i = 0; i < 10; ++i)
                    boden(p, rechtecke.at(i), i);
            }));
            ratios.append(voll.last() / nackt.last());
        }
        const double v = median(voll);
        const double n = median(nackt);
        const double ratio = median(ratios);
        const QByteArray name = QStringLiteral("paint %1x%2").arg(g.width()).arg(g.height()).toLatin1();
        result(name.constData(), QStringLiteral("%1 ms (%2 x floor)").arg(v, 0, 'f', 2).arg(ratio, 0, 'f', 2),
               QStringLiteral("%1 ms").arg(n, 0, 'f', 2), QStringLiteral("<= 0.5 x floor"), ratio <= 0.5);
    }
    return 0;
}

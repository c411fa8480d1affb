// The two faces differ only in their ring table: ring radii, where the black
// area starts and where the ring numbers sit and turn white. One row per face
// checks all of that on a picture of the face.

#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

class TstFaces : public QObject
{
    Q_OBJECT

private slots:
    void rings_data();
    void rings();
    void marks_data();
    void marks();
    void ausschnitt();
    void behaltenWieDirekt_data();
    void behaltenWieDirekt();
};

namespace {

std::unique_ptr<LxScheibe> face(const QString &typ)
{
    if (typ == QLatin1String("Lg"))
        return std::make_unique<LgScheibe>(nullptr, 0, 250.0);
    return std::make_unique<LpScheibe>(nullptr, 0, 800.0);
}

} // namespace

// 18 pixels per ring width in both rows; the other side is longer so that
// taking the wrong side for the scale shows.
void TstFaces::rings_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<QList<int>>("radien"); // of the ring lines in pixels, outside in
    QTest::addColumn<int>("schwarzAb"); // first ring filled black
    QTest::addColumn<int>("mitte"); // brightness of the centre pixel
    QTest::newRow("Lg") << "Lg" << QSize(400, 460) << QList<int> { 163, 145, 127, 109, 91, 73, 55, 37, 19, 1 }
                        << 4 << 255;
    QTest::newRow("Lp") << "Lp" << QSize(460, 400)
                        << QList<int> { 174, 156, 138, 120, 102, 84, 66, 48, 30, 12, 5 } << 7 << 0;
}

void TstFaces::rings()
{
    QFETCH(QString, typ);
    QFETCH(QSize, groesse);
    QFETCH(QList<int>, radien);
    QFETCH(int, schwarzAb);
    QFETCH(int, mitte);
    std::unique_ptr<LxScheibe> scheibe = face(typ);
    // The rings are cached per face, size and colour: paint another colour
    // and size first, so that a hit on the wrong picture shows.
    scheibe->resize(groesse);
    scheibe->grab();
    scheibe->fillScheibe(LxScheibe::Hellgruen);
    scheibe->resize(100, 100);
    scheibe->grab();
    scheibe->resize(groesse);
    const QImage bild = scheibe->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto grau = [&](double x, int dy) {
        return qGray(bild.pixel(groesse.width() / 2 + int(x), groesse.height() / 2 + dy));
    };
    QVERIFY(std::abs(grau(0, 0) - mitte) < 40);

    // Lines are looked for along a pixel row just below the ring numbers,
    // which a line crosses nearly upright, so that its position shows to
    // within a pixel; the inner ten along the row through the centre. This
    // gives the column, right of the centre, where a circle crosses the row.
    auto zeile = [](double radius) { return radius > 10 ? 8 : 0; };
    auto kreuzung = [&](double radius) {
        const double dy = zeile(radius) + 0.5; // pixel centres lie half a pixel in
        return std::sqrt(std::max(0.0, radius * radius - dy * dy));
    };
    for (int ring = 1; ring <= radien.size(); ++ring) {
        const bool schwarz = ring >= schwarzAb;
        // How far a pixel stands out: bright on the black rings, dark on the others.
        auto hervor = [&](double x, int dy) { return schwarz ? grau(x, dy) : 255 - grau(x, dy); };
        const QString wo = QStringLiteral("ring %1").arg(ring);
        const int r = radien[ring - 1];
        // The fill, and the ring's number, white on the black rings, both
        // halfway to the next line on the axis.
        const int halb = ring < radien.size() ? (r + radien[ring]) / 2 : 0;
        if (halb > 10)
            QVERIFY2(grau(kreuzung(halb), 8) == (schwarz ? 0 : qGray(LxScheibe::Hellgruen)), qPrintable(wo));
        int ziffer = 0;
        for (int x = halb - 3; ring <= 8 && x <= halb + 5; ++x)
            for (int dy = -7; dy <= 4; ++dy)
                ziffer = std::max(ziffer, hervor(x, dy));
        QVERIFY2(ring > 8 || ziffer > 100, qPrintable(wo));

        // The ring's outer line. The first black ring's line is black on
        // black: there the edge of the black area is checked. The rifle's
        // ten is a dot.
        const double soll = kreuzung(r);
        const int dy = zeile(r);
        if (r < 3)
            continue;
        if (ring == schwarzAb) {
            QVERIFY2(grau(soll + 2, dy) > 150 && grau(soll - 2, dy) == 0, qPrintable(wo));
            continue;
        }
        int linie = int(soll) - 4;
        for (int x = linie; x <= int(soll) + 4; ++x)
            linie = hervor(x, dy) > hervor(linie, dy) ? x : linie;
        QVERIFY2(std::abs(linie + 0.5 - soll) <= 1.0 && hervor(linie, dy) > 120, qPrintable(wo));
    }
}

// Targets as the grid sizes them at 1024x768 beside the Verlauf (4 pixels
// per ring width) and without it (7), and at 1920x1080 (13).
void TstFaces::marks_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<QPointF>("schuss");
    QTest::addColumn<int>("umriss"); // grey of the outline; -1 for a mark drawn to scale
    QTest::newRow("Lp 1024 Verlauf, ten") << "Lp" << QSize(105, 165) << QPointF(0.2, -0.1) << 255;
    QTest::newRow("Lp 1024, nine") << "Lp" << QSize(180, 165) << QPointF(1.5, 0.5) << 255;
    QTest::newRow("Lp 1024, five") << "Lp" << QSize(180, 165) << QPointF(-4.0, 3.0) << 0;
    QTest::newRow("Lp 1920, eight") << "Lp" << QSize(295, 330) << QPointF(0.0, 2.5) << 255;
    QTest::newRow("Lp 1920, three") << "Lp" << QSize(295, 330) << QPointF(6.0, -5.0) << 0;
    QTest::newRow("Lg 1024 Verlauf, two") << "Lg" << QSize(105, 165) << QPointF(8.5, 0.0) << 0;
    QTest::newRow("Lg 1024, ten") << "Lg" << QSize(180, 165) << QPointF(0.3, 0.2) << -1;
    QTest::newRow("Lg 1920, six") << "Lg" << QSize(295, 330) << QPointF(-3.0, -3.5) << -1;
}

// Seen, not only scored: a red disc of some size, outlined against the ring
// under it when it is drawn larger than the pellet.
void TstFaces::marks()
{
    QFETCH(QString, typ);
    QFETCH(QSize, groesse);
    QFETCH(QPointF, schuss);
    QFETCH(int, umriss);
    std::unique_ptr<LxScheibe> scheibe = face(typ);
    scheibe->resize(groesse);
    scheibe->setSchuss(schuss.x(), schuss.y(), LxScheibe::Weiss);
    const QImage bild = scheibe->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int s = scheibe->pixelProRing();
    const int px = scheibe->mitteX() + int(schuss.x() * s);
    const int py = scheibe->mitteY() + int(schuss.y() * s);
    int rot = 0;
    for (int y = py - 12; y <= py + 12; ++y)
        for (int x = px - 12; x <= px + 12; ++x) {
            const QColor c = bild.pixelColor(x, y);
            rot += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    QVERIFY2(rot >= 40, qPrintable(QString::number(rot)));
    if (umriss < 0)
        return;
    // Pixels wholly inside the outline band, on four sides of the mark.
    for (const QPoint &d : { QPoint(4, 0), QPoint(-5, 0), QPoint(0, 4), QPoint(0, -5) })
        QVERIFY(std::abs(qGray(bild.pixel(px + d.x(), py + d.y())) - umriss) < 40);
}

// Rings 5 to 10 over the room of the whole face; a shot outside ring 5
// brings the whole face back, so that it stays in view.
void TstFaces::ausschnitt()
{
    LpScheibe scheibe(nullptr, 0, 800.0);
    scheibe.resize(400, 400); // 18 pixels per ring width as a whole face
    scheibe.setAusschnitt(5);
    // 90 pixels right of the centre: five ring widths of the whole face,
    // in the white, or under three of the cut-out, in the black.
    auto grau = [&] { return qGray(scheibe.grab().toImage().pixel(290, 212)); };
    scheibe.setSchuss(5.5, 0.5, LxScheibe::Weiss);
    QCOMPARE(grau(), 0);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("5,5R"));
    scheibe.setSchuss(6.0, 0.0, LxScheibe::Weiss);
    QCOMPARE(grau(), 255);
    QCOMPARE(scheibe.pixelProRing(), 18);
}

// The kept ring pictures against the rings drawn straight onto the target,
// for every face kind, with and without a shot, at grid sizes from 1024x768
// to 3840x2160 and at pixel ratios 1 and 2. Only where the outer ring's line
// is antialiased over the ground may a picture blended twice round a shade
// off: by at most 2 of 255 in a channel, within 2 pixels of that line.
void TstFaces::behaltenWieDirekt_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<bool>("mitSchuss");
    QTest::addColumn<int>("abRing");
    QTest::addColumn<double>("aussen"); // radius of the outer line drawn, in ring widths
    QTest::addColumn<qreal>("dpr");
    for (const QString typ : { "Lg", "Lp" })
        for (const QSize &g : { QSize(105, 165), QSize(370, 492), QSize(754, 1032) })
            for (const bool schuss : { false, true })
                for (const qreal dpr : { 1.0, 2.0 })
                    QTest::addRow("%s %dx%d%s dpr %g", qPrintable(typ), g.width(), g.height(),
                                  schuss ? " shot" : "", dpr)
                        << typ << g << schuss << 1 << (typ == "Lg" ? 9.1 : 9.71875) << dpr;
    for (const qreal dpr : { 1.0, 2.0 })
        QTest::addRow("Lp rings 5-10 shot dpr %g", dpr)
            << "Lp" << QSize(400, 400) << true << 5 << 5.71875 << dpr;
}

void TstFaces::behaltenWieDirekt()
{
    QFETCH(QString, typ);
    QFETCH(QSize, groesse);
    QFETCH(bool, mitSchuss);
    QFETCH(int, abRing);
    QFETCH(double, aussen);
    QFETCH(qreal, dpr);
    std::unique_ptr<LxScheibe> scheibe = face(typ);
    scheibe->resize(groesse);
    scheibe->setAusschnitt(abRing);
    if (mitSchuss)
        scheibe->setSchuss(1.3, -2.1, LxScheibe::Hellrot);
    const auto bild = [&](bool behalten) {
        LxScheibe::setFlaechenBehalten(behalten);
        QImage b(groesse * dpr, QImage::Format_ARGB32_Premultiplied);
        b.setDevicePixelRatio(dpr);
        b.fill(Qt::white);
        scheibe->render(&b);
        LxScheibe::setFlaechenBehalten(true);
        return b;
    };
    bild(true); // the picture made, then taken from the cache
    const QImage behalten = bild(true);
    const QImage direkt = bild(false);
    const double linie = std::floor(scheibe->pixelProRing() * aussen) * dpr;
    const QPointF mitte = QPointF(scheibe->mitteX(), scheibe->mitteY()) * dpr;
    for (int y = 0; y < direkt.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(behalten.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(direkt.constScanLine(y));
        for (int x = 0; x < direkt.width(); ++x) {
            if (a[x] == b[x])
                continue;
            const int abstand
                = std::max({ std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                             std::abs(qBlue(a[x]) - qBlue(b[x])) });
            const double vonLinie = std::abs(std::hypot(x + 0.5 - mitte.x(), y + 0.5 - mitte.y()) - linie);
            QVERIFY2(abstand <= 2 && vonLinie <= 2 * dpr,
                     qPrintable(QStringLiteral("pixel %1,%2: off by %3, %4 px from the outer line")
                                    .arg(x)
                                    .arg(y)
                                    .arg(abstand)
                                    .arg(vonLinie)));
        }
    }
}

QTEST_MAIN(TstFaces)
#include "tst_faces.moc"

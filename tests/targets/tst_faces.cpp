#include "scheiben.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

namespace {

QPoint polar(const QPoint &mitte, double r, double grad)
{
    const double rad = grad * 3.141592653589793 / 180.0;
    return QPoint(static_cast<int>(std::lround(mitte.x() + r * std::cos(rad))),
                  static_cast<int>(std::lround(mitte.y() + r * std::sin(rad))));
}

QRgb at(const QImage &bild, const QPoint &mitte, double r, double grad)
{
    return bild.pixel(polar(mitte, r, grad)) & 0xFFFFFF;
}

// Darkest and brightest pixel along a short radial stretch across a ring line,
// with the four neighbours, since a thin slanted line may touch only some.
// An antialiased one-pixel line straddling two pixels reaches about half its
// colour, so a black line on the light fill stays below 130.
QPair<int, int> dunkelHellUm(const QImage &bild, const QPoint &mitte, int radius, double grad)
{
    QPair<int, int> minMax(255, 0);
    for (double r = radius - 1.5; r <= radius + 1.5; r += 0.5) {
        const QPoint p = polar(mitte, r, grad);
        for (const QPoint &q :
             { p, p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) }) {
            minMax.first = std::min(minMax.first, qGray(bild.pixel(q)));
            minMax.second = std::max(minMax.second, qGray(bild.pixel(q)));
        }
    }
    return minMax;
}

// Bounding box of the pixels in which two pictures differ, or, without a
// second picture, of the clearly red pixels (the shot mark).
QRect bereich(const QImage &a, const QImage &b = QImage())
{
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb c = a.pixel(x, y);
            if (b.isNull() ? (qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60) : c != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

const QRgb Gruen = LxScheibe::Hellgruen;

} // namespace

class TstFaces : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void rings_data();
    void rings();
    void shotMark_data();
    void shotMark();
    void markPositionTruncatesAndClips();
    void texts();
    void picture();
};

void TstFaces::geometry_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<int>("pixelProRing");
    QTest::addColumn<QPoint>("mitte");
    for (const QString typ : { "Lg", "Lp" }) {
        QTest::addRow("%s 200x400", qPrintable(typ)) << typ << QSize(200, 400) << 9 << QPoint(100, 200);
        QTest::addRow("%s 400x200", qPrintable(typ)) << typ << QSize(400, 200) << 9 << QPoint(200, 100);
        QTest::addRow("%s 801x601", qPrintable(typ)) << typ << QSize(801, 601) << 27 << QPoint(400, 300);
        // Below 23 pixels there is no ring width at all; nothing may break.
        QTest::addRow("%s 20x20", qPrintable(typ)) << typ << QSize(20, 20) << 0 << QPoint(10, 10);
    }
}

void TstFaces::geometry()
{
    QFETCH(QString, typ);
    QFETCH(QSize, groesse);
    QFETCH(int, pixelProRing);
    QFETCH(QPoint, mitte);
    auto scheibe = neueScheibe(typ);
    scheibe->setSchuss(-3.0, 3.0, LxScheibe::Weiss);
    scheibe->fillScheibe(Gruen);
    paint(*scheibe, 100, 100);
    QCOMPARE(scheibe->pixelProRing(), 4);
    // Recomputed on every paint.
    paint(*scheibe, groesse.width(), groesse.height());
    QCOMPARE(scheibe->pixelProRing(), pixelProRing);
    QCOMPARE(QPoint(scheibe->mitteX(), scheibe->mitteY()), mitte);
}

// 400 x 400: 18 pixels per ring width. Sampled at 30 degrees, away from the
// ring numbers on the axes.
void TstFaces::rings_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QList<int>>("radien"); // of the ring lines, outside in
    QTest::addColumn<int>("schwarzAb"); // first ring filled black
    QTest::addColumn<int>("letzteLinie"); // last ring line drawn white
    QTest::addColumn<int>("mitte"); // brightness of the centre pixel
    QTest::newRow("Lg") << "Lg" << QList<int> { 163, 145, 127, 109, 91, 73, 55, 37, 19, 1 } << 4 << 9 << 255;
    QTest::newRow("Lp") << "Lp" << QList<int> { 174, 156, 138, 120, 102, 84, 66, 48, 30, 12, 5 } << 7 << 11
                        << 0;
}

void TstFaces::rings()
{
    QFETCH(QString, typ);
    QFETCH(QList<int>, radien);
    QFETCH(int, schwarzAb);
    QFETCH(int, letzteLinie);
    QFETCH(int, mitte);
    auto scheibe = neueScheibe(typ);
    const QImage weiss = paint(*scheibe, 400, 400);
    scheibe->fillScheibe(Gruen);
    const QImage bild = paint(*scheibe, 400, 400);
    const QPoint m(200, 200);

    QVERIFY(at(bild, m, radien[0] + 7, 30) != Gruen);
    for (int ring = 1; ring < radien.size(); ++ring) {
        const QRgb c = at(bild, m, (radien[ring - 1] + radien[ring]) / 2.0, 30);
        QCOMPARE(c, ring < schwarzAb ? Gruen : 0x000000u);
    }
    // Black lines around the coloured rings, white lines inside the black
    // area, and none at the edge of the first black ring (black on black).
    for (int ring = 1; ring < schwarzAb; ++ring)
        QVERIFY2(dunkelHellUm(bild, m, radien[ring - 1], 30).first < 130, qPrintable(QString::number(ring)));
    for (int ring = schwarzAb + 1; ring <= letzteLinie; ++ring)
        QVERIFY2(dunkelHellUm(bild, m, radien[ring - 1], 30).second > 120, qPrintable(QString::number(ring)));
    QCOMPARE(at(bild, m, radien[schwarzAb - 1] - 2, 30), 0x000000u);
    // Rifle: white ten dot; pistol: black inner ten.
    QVERIFY(std::abs(qGray(bild.pixel(m)) - mitte) < 40);

    // The colour fills the outer rings only, all around.
    const int r0 = radien[0] + 2;
    QVERIFY(QRect(200 - r0, 200 - r0, 2 * r0, 2 * r0).contains(bereich(weiss, bild)));
    for (const double grad : { 120.0, 210.0, 300.0 })
        QCOMPARE(at(bild, m, radien[0] - 5, grad), Gruen);
}

void TstFaces::shotMark_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<int>("radius");
    QTest::newRow("Lg") << "Lg" << 16;
    QTest::newRow("Lp") << "Lp" << 5;
}

void TstFaces::shotMark()
{
    QFETCH(QString, typ);
    QFETCH(int, radius);
    auto scheibe = neueScheibe(typ);
    scheibe->setSchuss(0.0, 0.0, LxScheibe::Weiss);
    const QImage bild = paint(*scheibe, 400, 400);
    const QRect rot = bereich(bild);
    // The circle spans pixels 200 - radius to 200 + radius - 1; its edge is
    // dark red, blended by antialiasing.
    QVERIFY(QRect(199, 199, 2, 2).contains(rot.center()));
    QVERIFY2(rot.width() >= 2 * radius - 3 && rot.width() <= 2 * radius,
             qPrintable(QString::number(rot.width())));
    QCOMPARE(bild.pixel(200, 200) & 0xFFFFFF, 0xFF0000u);

    // Moved one ring width right and two down.
    scheibe->setSchuss(1.0, 2.0, "10,3R", "176,8T", LxScheibe::Weiss);
    const QRect verschoben = bereich(paint(*scheibe, 400, 400));
    QCOMPARE(verschoben.center(), rot.center() + QPoint(18, 36));
    QCOMPARE(verschoben.size(), rot.size());

    // A voided or cleared target shows no mark.
    scheibe->setSchussUngultig("0,0R", QString(), LxScheibe::Hellrot);
    QVERIFY(bereich(paint(*scheibe, 400, 400)).isEmpty());
    scheibe->setSchuss(0.5, 0.5, LxScheibe::Weiss);
    scheibe->clearScheibe();
    QVERIFY(bereich(paint(*scheibe, 400, 400)).isEmpty());
}

void TstFaces::markPositionTruncatesAndClips()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    // 80 x 80: 3 pixels per ring width. -0.5 ring widths are -1.5 pixels,
    // drawn at -1; -0.3 are -0.9 pixels, drawn at 0.
    scheibe.setSchuss(0.0, 0.0, LxScheibe::Weiss);
    const QRect mitte = bereich(paint(scheibe, 80, 80));
    QVERIFY(!mitte.isEmpty());
    scheibe.setSchuss(-0.5, 0.0, LxScheibe::Weiss);
    QCOMPARE(bereich(paint(scheibe, 80, 80)), mitte.translated(-1, 0));
    scheibe.setSchuss(-0.3, 0.3, LxScheibe::Weiss);
    QCOMPARE(bereich(paint(scheibe, 80, 80)), mitte);
    scheibe.setSchuss(0.5, 0.7, LxScheibe::Weiss);
    QCOMPARE(bereich(paint(scheibe, 80, 80)), mitte.translated(1, 2));

    // Far off the face the mark is clipped by the widget: at 400 x 400 a shot
    // at 15 lies wholly beyond the right edge (200 + 270 - 16 > 400).
    scheibe.clearScheibe();
    const QImage leer = paint(scheibe, 400, 400);
    scheibe.setSchuss(11.5, 0.0, LxScheibe::Weiss);
    QCOMPARE(bereich(paint(scheibe, 400, 400)).right(), 399);
    scheibe.setSchuss(15.0, 0.0, LxScheibe::Weiss);
    QVERIFY(bereich(paint(scheibe, 400, 400)).isEmpty());
    // Absurd coordinates neither crash nor leave a mark.
    scheibe.setSchuss(1.0e300, -1.0e300, LxScheibe::Weiss);
    QVERIFY(bereich(paint(scheibe, 400, 400)).isEmpty());
    scheibe.setSchuss(std::nan(""), 0.0, QString(), QString(), LxScheibe::Weiss);
    QCOMPARE(paint(scheibe, 400, 400), leer);
}

// 400 x 400, s = 18: ring text in (182, 2, 180, 28), Teiler text in
// (182, 30, 180, 23), number in (38, 2, 180, 39).
void TstFaces::texts()
{
    for (const QString typ : { "Lg", "Lp" }) {
        auto scheibe = neueScheibe(typ);
        const QImage ohne = paint(*scheibe, 400, 400);
        // A Teiler text alone is not shown.
        scheibe->setSchussUngultig(QString(), "125,0T", LxScheibe::Weiss);
        QCOMPARE(paint(*scheibe, 400, 400), ohne);

        scheibe->setSchussUngultig("10,9R", QString(), LxScheibe::Weiss);
        const QImage ringe = paint(*scheibe, 400, 400);
        const QRect ringeBereich = bereich(ohne, ringe);
        QVERIFY2(QRect(182, 2, 180, 28).contains(ringeBereich), qPrintable(typ));
        // Aligned right and to the top of the rectangle, below the leading.
        QVERIFY(ringeBereich.right() >= 357);
        QVERIFY(ringeBereich.top() >= 3 && ringeBereich.top() <= 8);

        scheibe->setSchussUngultig("10,9R", "125,0T", LxScheibe::Weiss);
        const QImage beide = paint(*scheibe, 400, 400);
        const QRect teilerBereich = bereich(ringe, beide);
        QVERIFY2(QRect(182, 30, 180, 23).contains(teilerBereich), qPrintable(typ));
        QVERIFY(teilerBereich.right() >= 357);
        QVERIFY(teilerBereich.top() >= 31 && teilerBereich.top() <= 36);
        QVERIFY(teilerBereich.height() < ringeBereich.height()); // smaller font

        // "#1" against "#10": they differ only inside the number's rectangle;
        // the number is drawn in the text colour (53, 53, 53).
        const QRect nummer = bereich(ohne, paint(*neueScheibe(typ, 9), 400, 400));
        QVERIFY(QRect(38, 2, 180, 39).contains(nummer));
        bool grau = false;
        for (int y = 2; y < 41; ++y)
            for (int x = 38; x < 218; ++x)
                grau = grau || (ohne.pixel(x, y) & 0xFFFFFF) == 0x353535u;
        QVERIFY(grau);
    }
}

// Both faces, each with a plain shot, a doubtful one and one edited by mouse,
// for a look by eye; the README shows this picture. Written to the path in
// KOVRIT_TARGETS_PNG, or to targets.png in the working directory.
void TstFaces::picture()
{
    const int seite = 300;
    QImage bild(3 * seite, 2 * seite, QImage::Format_RGB32);
    bild.fill(Qt::white);
    QPainter painter(&bild);
    const QPointF schuesse[] = { { 0.6, -0.9 }, { -3.2, 2.1 }, { 1.7, 4.4 } };
    const unsigned farben[] = { LxScheibe::Weiss, LxScheibe::Hellrot, LxScheibe::Hellgruen };
    for (unsigned i = 0; i < 6; ++i) {
        auto scheibe = neueScheibe(i < 3 ? "Lg" : "Lp", i);
        scheibe->setSchuss(schuesse[i % 3].x(), schuesse[i % 3].y(), farben[i % 3]);
        painter.drawImage(int(i % 3) * seite, int(i / 3) * seite, paint(*scheibe, seite, seite));
    }
    painter.end();

    QString pfad = qEnvironmentVariable("KOVRIT_TARGETS_PNG");
    if (pfad.isEmpty())
        pfad = QDir::current().filePath("targets.png");
    QVERIFY2(bild.save(pfad), qPrintable(pfad));
}

QTEST_MAIN(TstFaces)
#include "tst_faces.moc"

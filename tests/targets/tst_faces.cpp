#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

const double Pi = 3.141592653589793;

QImage paint(LxScheibe &scheibe, int w, int h)
{
    scheibe.resize(w, h);
    return scheibe.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QPoint polar(const QPoint &mitte, double r, double grad)
{
    const double rad = grad * Pi / 180.0;
    return QPoint(static_cast<int>(std::lround(mitte.x() + r * std::cos(rad))),
                  static_cast<int>(std::lround(mitte.y() + r * std::sin(rad))));
}

QRgb at(const QImage &bild, const QPoint &mitte, double r, double grad)
{
    return bild.pixel(polar(mitte, r, grad)) & 0xFFFFFF;
}

int helligkeit(QRgb c)
{
    return (qRed(c) + qGreen(c) + qBlue(c)) / 3;
}

// The pixel and its four neighbours: a thin line seen on a slant may only
// touch some of them.
QList<QPoint> umgebung(const QPoint &p)
{
    return { p, p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) };
}

// Darkest and brightest pixel along a short radial stretch across a ring line.
// An antialiased one-pixel line straddling two pixels reaches about half its
// colour, so a black line on the light fill stays below 130.
int dunkelsteUm(const QImage &bild, const QPoint &mitte, int radius, double grad)
{
    int minimum = 255;
    for (double r = radius - 1.5; r <= radius + 1.5; r += 0.5)
        for (const QPoint &p : umgebung(polar(mitte, r, grad)))
            minimum = std::min(minimum, helligkeit(bild.pixel(p)));
    return minimum;
}

int hellsteUm(const QImage &bild, const QPoint &mitte, int radius, double grad)
{
    int maximum = 0;
    for (double r = radius - 1.5; r <= radius + 1.5; r += 0.5)
        for (const QPoint &p : umgebung(polar(mitte, r, grad)))
            maximum = std::max(maximum, helligkeit(bild.pixel(p)));
    return maximum;
}

bool istRot(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

// Bounding box of the clearly red pixels, i.e. of the shot mark.
QRect rotBereich(const QImage &bild)
{
    QRect bereich;
    for (int y = 0; y < bild.height(); ++y)
        for (int x = 0; x < bild.width(); ++x)
            if (istRot(bild.pixel(x, y)))
                bereich |= QRect(x, y, 1, 1);
    return bereich;
}

// Bounding box of the pixels in which two pictures differ.
QRect unterschied(const QImage &a, const QImage &b)
{
    QRect bereich;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                bereich |= QRect(x, y, 1, 1);
    return bereich;
}

std::unique_ptr<LxScheibe> neueScheibe(const QString &typ, unsigned index = 0)
{
    if (typ == QLatin1String("Lg"))
        return std::make_unique<LgScheibe>(nullptr, index, 250.0);
    return std::make_unique<LpScheibe>(nullptr, index, 800.0);
}

const QRgb Gruen = LxScheibe::Hellgruen;

} // namespace

class TstFaces : public QObject
{
    Q_OBJECT

private slots:
    void geometryFollowsWidgetSize_data();
    void geometryFollowsWidgetSize();
    void rifleRings();
    void pistolRings();
    void rifleTenDot();
    void farbeOnlyInOuterRings_data();
    void farbeOnlyInOuterRings();
    void outerRingAtNarrowSizes_data();
    void outerRingAtNarrowSizes();
    void shotMark_data();
    void shotMark();
    void shotMarkTruncatesTowardZero();
    void noMarkWithoutValidShot();
    void shotFarOffIsClipped();
    void textsInTheirRectangles();
    void emptyRingTextHidesTeiler();
    void numberRectangle();
    void tinyWidgetPaints();
    void picture();
};

void TstFaces::geometryFollowsWidgetSize_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<int>("pixelProRing");
    QTest::addColumn<QPoint>("mitte");
    for (const QString typ : { "Lg", "Lp" }) {
        QTest::addRow("%s 400x400", qPrintable(typ)) << typ << QSize(400, 400) << 18 << QPoint(200, 200);
        QTest::addRow("%s 200x400", qPrintable(typ)) << typ << QSize(200, 400) << 9 << QPoint(100, 200);
        QTest::addRow("%s 400x200", qPrintable(typ)) << typ << QSize(400, 200) << 9 << QPoint(200, 100);
        QTest::addRow("%s 801x601", qPrintable(typ)) << typ << QSize(801, 601) << 27 << QPoint(400, 300);
        QTest::addRow("%s 80x80", qPrintable(typ)) << typ << QSize(80, 80) << 3 << QPoint(40, 40);
    }
}

void TstFaces::geometryFollowsWidgetSize()
{
    QFETCH(QString, typ);
    QFETCH(QSize, groesse);
    QFETCH(int, pixelProRing);
    QFETCH(QPoint, mitte);
    auto scheibe = neueScheibe(typ);
    paint(*scheibe, 100, 100);
    QCOMPARE(scheibe->pixelProRing(), 4);
    // Recomputed on every paint.
    paint(*scheibe, groesse.width(), groesse.height());
    QCOMPARE(scheibe->pixelProRing(), pixelProRing);
    QCOMPARE(QPoint(scheibe->mitteX(), scheibe->mitteY()), mitte);
}

// 400 x 400: 18 pixels per ring width. Sampled at 30 degrees, away from the
// ring numbers on the axes.
void TstFaces::rifleRings()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    scheibe.fillScheibe(Gruen);
    const QImage bild = paint(scheibe, 400, 400);
    const QPoint m(200, 200);
    const int radius[] = { 163, 145, 127, 109, 91, 73, 55, 37, 19, 1 };

    // Rings 1 to 3 in the target's colour, 4 to 9 black.
    for (int ring = 1; ring <= 9; ++ring) {
        const double mitteDesRings = (radius[ring - 1] + radius[ring]) / 2.0;
        const QRgb c = at(bild, m, mitteDesRings, 30);
        if (ring <= 3)
            QCOMPARE(c, Gruen);
        else
            QCOMPARE(c, 0x000000u);
    }
    QVERIFY(at(bild, m, 170, 30) != Gruen);
    // Black lines around rings 1 to 3, white lines inside the black area.
    for (int ring = 1; ring <= 3; ++ring)
        QVERIFY2(dunkelsteUm(bild, m, radius[ring - 1], 30) < 130, qPrintable(QString::number(ring)));
    for (int ring = 5; ring <= 9; ++ring)
        QVERIFY2(hellsteUm(bild, m, radius[ring - 1], 30) > 120, qPrintable(QString::number(ring)));
    // Ring 4 is black on black: no light line at its edge inside the black area.
    QCOMPARE(at(bild, m, 107, 30), 0x000000u);
}

void TstFaces::pistolRings()
{
    LpScheibe scheibe(nullptr, 0, 800.0);
    scheibe.fillScheibe(Gruen);
    const QImage bild = paint(scheibe, 400, 400);
    const QPoint m(200, 200);
    const int radius[] = { 174, 156, 138, 120, 102, 84, 66, 48, 30, 12, 5 };

    for (int ring = 1; ring <= 10; ++ring) {
        const double mitteDesRings = (radius[ring - 1] + radius[ring]) / 2.0;
        const QRgb c = at(bild, m, mitteDesRings, 30);
        if (ring <= 6)
            QCOMPARE(c, Gruen);
        else
            QCOMPARE(c, 0x000000u);
    }
    QCOMPARE(bild.pixel(200, 200) & 0xFFFFFF, 0x000000u); // inner ten, black
    for (int ring = 1; ring <= 6; ++ring)
        QVERIFY2(dunkelsteUm(bild, m, radius[ring - 1], 30) < 130, qPrintable(QString::number(ring)));
    for (int ring = 8; ring <= 11; ++ring)
        QVERIFY2(hellsteUm(bild, m, radius[ring - 1], 30) > 120, qPrintable(QString::number(ring)));
    QCOMPARE(at(bild, m, 64, 30), 0x000000u);
}

void TstFaces::rifleTenDot()
{
    // 800 x 800: 36 pixels per ring width, ten dot radius 3, ring 10 radius 39.
    LgScheibe scheibe(nullptr, 0, 250.0);
    const QImage bild = paint(scheibe, 800, 800);
    QCOMPARE(scheibe.pixelProRing(), 36);
    QVERIFY(helligkeit(bild.pixel(400, 400)) > 200);
    QCOMPARE(at(bild, QPoint(400, 400), 10, 30), 0x000000u);
    QVERIFY(hellsteUm(bild, QPoint(400, 400), 39, 30) > 120);
}

void TstFaces::farbeOnlyInOuterRings_data()
{
    QTest::addColumn<QString>("typ");
    QTest::addColumn<int>("innen"); // radius of the first black ring
    QTest::addColumn<int>("aussen"); // radius of ring 1
    QTest::newRow("Lg") << "Lg" << 109 << 163;
    QTest::newRow("Lp") << "Lp" << 66 << 174;
}

void TstFaces::farbeOnlyInOuterRings()
{
    QFETCH(QString, typ);
    QFETCH(int, innen);
    QFETCH(int, aussen);
    auto scheibe = neueScheibe(typ);
    const QImage weiss = paint(*scheibe, 400, 400);
    scheibe->fillScheibe(LxScheibe::Hellrot);
    const QImage rot = paint(*scheibe, 400, 400);

    int anzahl = 0;
    double rMin = 1e9;
    double rMax = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (weiss.pixel(x, y) != rot.pixel(x, y)) {
                ++anzahl;
                const double r = std::hypot(x + 0.5 - 200, y + 0.5 - 200);
                rMin = std::min(rMin, r);
                rMax = std::max(rMax, r);
            }
    QVERIFY(anzahl > 10000);
    QVERIFY2(rMin >= innen - 2, qPrintable(QString::number(rMin)));
    QVERIFY2(rMax <= aussen + 2, qPrintable(QString::number(rMax)));
    QCOMPARE(at(rot, QPoint(200, 200), aussen - 5, 30), LxScheibe::Hellrot);
}

void TstFaces::outerRingAtNarrowSizes_data()
{
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<QPoint>("mitte");
    QTest::newRow("200x400") << QSize(200, 400) << QPoint(100, 200);
    QTest::newRow("400x200") << QSize(400, 200) << QPoint(200, 100);
}

void TstFaces::outerRingAtNarrowSizes()
{
    QFETCH(QSize, groesse);
    QFETCH(QPoint, mitte);
    // 9 pixels per ring width: outer air-rifle circle of radius 81.
    LgScheibe scheibe(nullptr, 0, 250.0);
    scheibe.fillScheibe(Gruen);
    const QImage bild = paint(scheibe, groesse.width(), groesse.height());
    QCOMPARE(scheibe.pixelProRing(), 9);
    for (const double grad : { 30.0, 150.0, 210.0, 330.0 }) {
        QCOMPARE(at(bild, mitte, 78, grad), Gruen);
        QVERIFY(at(bild, mitte, 84, grad) != Gruen);
        QVERIFY(dunkelsteUm(bild, mitte, 81, grad) < 130);
    }
    // Ring 9 has radius 9; the ten dot has radius 0, so the middle is black.
    QCOMPARE(at(bild, mitte, 5, 30), 0x000000u);
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
    const QRect rot = rotBereich(bild);
    QVERIFY(!rot.isEmpty());
    // The circle spans pixels 200 - radius to 200 + radius - 1; its edge is
    // dark red, blended by antialiasing.
    QVERIFY2(std::abs(rot.center().x() + 0.5 - 200) <= 1.0, qPrintable(QString::number(rot.center().x())));
    QVERIFY2(std::abs(rot.center().y() + 0.5 - 200) <= 1.0, qPrintable(QString::number(rot.center().y())));
    QVERIFY2(rot.width() >= 2 * radius - 3 && rot.width() <= 2 * radius,
             qPrintable(QString::number(rot.width())));
    QCOMPARE(bild.pixel(200, 200) & 0xFFFFFF, 0xFF0000u);

    // Moved one ring width right and two down.
    scheibe->setSchuss(1.0, 2.0, LxScheibe::Weiss);
    const QRect verschoben = rotBereich(paint(*scheibe, 400, 400));
    QCOMPARE(verschoben.center(), rot.center() + QPoint(18, 36));
    QCOMPARE(verschoben.size(), rot.size());
}

void TstFaces::shotMarkTruncatesTowardZero()
{
    // 80 x 80: 3 pixels per ring width. -0.5 ring widths are -1.5 pixels,
    // drawn at -1; -0.3 are -0.9 pixels, drawn at 0.
    LgScheibe scheibe(nullptr, 0, 250.0);
    scheibe.setSchuss(0.0, 0.0, LxScheibe::Weiss);
    const QRect mitte = rotBereich(paint(scheibe, 80, 80));
    QCOMPARE(scheibe.pixelProRing(), 3);
    QVERIFY(!mitte.isEmpty());
    scheibe.setSchuss(-0.5, 0.0, LxScheibe::Weiss);
    QCOMPARE(rotBereich(paint(scheibe, 80, 80)), mitte.translated(-1, 0));
    scheibe.setSchuss(-0.3, 0.3, LxScheibe::Weiss);
    QCOMPARE(rotBereich(paint(scheibe, 80, 80)), mitte);
    scheibe.setSchuss(0.5, 0.7, LxScheibe::Weiss);
    QCOMPARE(rotBereich(paint(scheibe, 80, 80)), mitte.translated(1, 2));
}

void TstFaces::noMarkWithoutValidShot()
{
    for (const QString typ : { "Lg", "Lp" }) {
        auto scheibe = neueScheibe(typ);
        QVERIFY(rotBereich(paint(*scheibe, 300, 300)).isEmpty());
        scheibe->setSchuss(0.5, 0.5, LxScheibe::Weiss);
        QVERIFY(!rotBereich(paint(*scheibe, 300, 300)).isEmpty());
        scheibe->setSchussUngultig("0,0R", QString(), LxScheibe::Hellrot);
        QVERIFY(rotBereich(paint(*scheibe, 300, 300)).isEmpty());
        scheibe->setSchuss(0.5, 0.5, "10,3R", "176,8T", LxScheibe::Weiss);
        QVERIFY(!rotBereich(paint(*scheibe, 300, 300)).isEmpty());
        scheibe->clearScheibe();
        QVERIFY(rotBereich(paint(*scheibe, 300, 300)).isEmpty());
    }
}

void TstFaces::shotFarOffIsClipped()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    const QImage leer = paint(scheibe, 400, 400);
    scheibe.setSchuss(15.0, 0.0, LxScheibe::Weiss);
    // Wholly beyond the right edge: 200 + 270 - 16 > 400.
    QVERIFY(rotBereich(paint(scheibe, 400, 400)).isEmpty());
    scheibe.setSchuss(11.5, 0.0, LxScheibe::Weiss);
    const QRect rand = rotBereich(paint(scheibe, 400, 400));
    QVERIFY(!rand.isEmpty());
    QCOMPARE(rand.right(), 399);
    // Absurd coordinates neither crash nor leave a mark.
    scheibe.setSchuss(1.0e300, -1.0e300, LxScheibe::Weiss);
    QVERIFY(rotBereich(paint(scheibe, 400, 400)).isEmpty());
    scheibe.setSchuss(std::nan(""), 0.0, QString(), QString(), LxScheibe::Weiss);
    QCOMPARE(paint(scheibe, 400, 400), leer);
}

// 400 x 400, s = 18: ring text in (182, 2, 180, 28), Teiler text in
// (182, 30, 180, 23), number in (38, 2, 180, 39).
void TstFaces::textsInTheirRectangles()
{
    for (const QString typ : { "Lg", "Lp" }) {
        auto scheibe = neueScheibe(typ);
        const QImage ohne = paint(*scheibe, 400, 400);

        scheibe->setSchussUngultig("10,9R", QString(), LxScheibe::Weiss);
        const QImage ringe = paint(*scheibe, 400, 400);
        const QRect ringeBereich = unterschied(ohne, ringe);
        QVERIFY(!ringeBereich.isEmpty());
        QVERIFY2(QRect(182, 2, 180, 28).contains(ringeBereich), qPrintable(typ));
        // Aligned right and to the top of the rectangle, below the leading.
        QVERIFY(ringeBereich.right() >= 357);
        QVERIFY(ringeBereich.top() >= 3 && ringeBereich.top() <= 8);
        QVERIFY(ringeBereich.height() >= 12);

        scheibe->setSchussUngultig("10,9R", "125,0T", LxScheibe::Weiss);
        const QImage beide = paint(*scheibe, 400, 400);
        const QRect teilerBereich = unterschied(ringe, beide);
        QVERIFY(!teilerBereich.isEmpty());
        QVERIFY2(QRect(182, 30, 180, 23).contains(teilerBereich), qPrintable(typ));
        QVERIFY(teilerBereich.right() >= 357);
        QVERIFY(teilerBereich.top() >= 31 && teilerBereich.top() <= 36);
        // The Teiler line is smaller than the ring line.
        QVERIFY(teilerBereich.height() < ringeBereich.height());

        // Text colour (53, 53, 53): some pixel of the ring text is that dark grey.
        bool grau = false;
        for (int y = ringeBereich.top(); y <= ringeBereich.bottom(); ++y)
            for (int x = ringeBereich.left(); x <= ringeBereich.right(); ++x)
                grau = grau || (beide.pixel(x, y) & 0xFFFFFF) == 0x353535u;
        QVERIFY(grau);
    }
}

void TstFaces::emptyRingTextHidesTeiler()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    const QImage ohne = paint(scheibe, 400, 400);
    scheibe.setSchussUngultig(QString(), "125,0T", LxScheibe::Weiss);
    QCOMPARE(paint(scheibe, 400, 400), ohne);
}

void TstFaces::numberRectangle()
{
    // "#1" against "#10": they differ only inside the number's rectangle,
    // which starts at the left.
    auto erste = neueScheibe("Lg", 0);
    auto zehnte = neueScheibe("Lg", 9);
    const QRect bereich = unterschied(paint(*erste, 400, 400), paint(*zehnte, 400, 400));
    QVERIFY(!bereich.isEmpty());
    QVERIFY(QRect(38, 2, 180, 39).contains(bereich));

    // The number itself begins at the left edge of its rectangle.
    auto ohneNummer = neueScheibe("Lp", 0);
    const QImage bild = paint(*ohneNummer, 400, 400);
    int links = 400;
    for (int y = 2; y < 41; ++y)
        for (int x = 0; x < 400; ++x)
            if (helligkeit(bild.pixel(x, y)) < 120)
                links = std::min(links, x);
    QVERIFY2(links >= 38 && links <= 45, qPrintable(QString::number(links)));
}

void TstFaces::tinyWidgetPaints()
{
    // Below 23 pixels there is no ring width at all; nothing may break.
    for (const QString typ : { "Lg", "Lp" }) {
        auto scheibe = neueScheibe(typ);
        scheibe->setSchuss(1.0, 1.0, LxScheibe::Weiss);
        paint(*scheibe, 20, 20);
        QCOMPARE(scheibe->pixelProRing(), 0);
        paint(*scheibe, 30, 30);
        QCOMPARE(scheibe->pixelProRing(), 1);
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
    const struct
    {
        double x, y;
        unsigned farbe;
    } schuesse[] = { { 0.6, -0.9, LxScheibe::Weiss },
                     { -3.2, 2.1, LxScheibe::Hellrot },
                     { 1.7, 4.4, LxScheibe::Hellgruen } };
    int zeile = 0;
    for (const QString typ : { "Lg", "Lp" }) {
        for (int spalte = 0; spalte < 3; ++spalte) {
            auto scheibe = neueScheibe(typ, static_cast<unsigned>(3 * zeile + spalte));
            scheibe->setSchuss(schuesse[spalte].x, schuesse[spalte].y, schuesse[spalte].farbe);
            painter.drawImage(spalte * seite, zeile * seite, paint(*scheibe, seite, seite));
        }
        ++zeile;
    }
    painter.end();

    QString pfad = qEnvironmentVariable("KOVRIT_TARGETS_PNG");
    if (pfad.isEmpty())
        pfad = QDir::current().filePath("targets.png");
    QVERIFY2(bild.save(pfad), qPrintable(pfad));
    QCOMPARE(QImage(pfad).size(), QSize(3 * seite, 2 * seite));
}

QTEST_MAIN(TstFaces)
#include "tst_faces.moc"

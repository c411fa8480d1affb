#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"
#include "targets/lxscheibe.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

// Everything a target shows or reports in one line, so that a state change is
// checked as a whole: validity, coordinates, texts, colour, lock.
QString zustand(const LxScheibe &s)
{
    return QStringLiteral("%1 %2,%3 %4|%5 %6%7")
        .arg(s.valid() ? "valid" : "void")
        .arg(s.x())
        .arg(s.y())
        .arg(s.ringeLabel(), s.teilerLabel())
        .arg(s.farbe(), 6, 16, QLatin1Char('0'))
        .arg(s.editierbar() ? " edit" : "");
}

} // namespace

class TstLxScheibe : public QObject
{
    Q_OBJECT

private slots:
    void scoring_data();
    void scoring();
    void tendenz_data();
    void tendenz();
    void texts_data();
    void texts();
    void mouseEditing();
};

// Ring value at the ring boundaries, Teiler per face and factor with the
// miss rule, and the texts setSchuss derives from them.
void TstLxScheibe::scoring_data()
{
    QTest::addColumn<double>("abstand");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("ringe");
    QTest::addColumn<QString>("texte");
    QTest::newRow("centre") << 250.0 << 0.0 << 0.0 << 10.9 << "10,9R|0,0T";
    QTest::newRow("rifle r=1") << 250.0 << 1.0 << 0.0 << 10.0 << "10,0R|250,0T";
    QTest::newRow("rifle factor 2") << 125.0 << 0.3 << 0.4 << 10.5 << "10,5R|62,5T";
    QTest::newRow("(1.2,-2.1)") << 250.0 << 1.2 << -2.1 << 8.6 << "8,6R|604,7T";
    QTest::newRow("9.95") << 250.0 << 0.0 << 9.95 << 1.0 << "1,0R|2487,5T";
    QTest::newRow("10.0") << 250.0 << -10.0 << 0.0 << 1.0 << "1,0R|2500,0T";
    QTest::newRow("10.05 misses") << 250.0 << 10.05 << 0.0 << 0.0 << "0,0R|";
    QTest::newRow("not a number") << 250.0 << std::nan("") << 0.0 << 0.0 << "0,0R|";
    QTest::newRow("huge") << 250.0 << 1.0e300 << -1.0e300 << 0.0 << "0,0R|";
}

void TstLxScheibe::scoring()
{
    QFETCH(double, abstand);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, ringe);
    QFETCH(QString, texte);
    const double r = std::sqrt(x * x + y * y);
    const double teiler = ringe > 0.0 ? r * abstand : -1.0;
    LxScheibe scheibe(nullptr, 0, abstand);
    // The static form never decides about a miss.
    QCOMPARE(LxScheibe::_teiler(x, y, abstand), r * abstand);

    scheibe.setSchuss(x, y, LxScheibe::Hellrot);
    QCOMPARE(scheibe.ringe(), ringe);
    QCOMPARE(scheibe.teiler(), teiler);
    // A miss placed by coordinates is still a valid shot.
    QCOMPARE(zustand(scheibe), QStringLiteral("valid %1,%2 %3 f78181").arg(x).arg(y).arg(texte));
}

void TstLxScheibe::tendenz_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("tendenz");
    // By the distance and the angle from the right, clockwise, in degrees:
    // none up to 0.1; 180 and -180 lie on both sides of the cut of atan2.
    const struct
    {
        double r;
        double grad;
        int tendenz;
    } faelle[] = { { 0.0, 0.0, -1 }, { 0.1, 0.0, -1 }, { 0.1001, 0.0, 2 }, { 2, 22.0, 2 },  { 2, 22.5, 3 },
                   { 2, -22.0, 2 },  { 2, -22.5, 1 },  { 2, 67.4, 3 },     { 2, 67.5, 4 },  { 2, -67.5, 0 },
                   { 2, 112.0, 4 },  { 2, 112.5, 5 },  { 2, -112.5, 7 },   { 2, 157.5, 6 }, { 2, -157.4, 7 },
                   { 2, -157.5, 6 }, { 2, 180.0, 6 },  { 2, -180.0, 6 } };
    for (const auto &f : faelle) {
        const double rad = f.grad * 3.141592653589793 / 180.0;
        QTest::addRow("%g, %.1f deg", f.r, f.grad) << f.r * std::cos(rad) << f.r * std::sin(rad) << f.tendenz;
    }
}

void TstLxScheibe::tendenz()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, tendenz);
    QCOMPARE(LxScheibe::tendenz(x, y), tendenz);
}

// Ring values are truncated, Teiler values rounded with halves up.
void TstLxScheibe::texts_data()
{
    QTest::addColumn<double>("wert");
    QTest::addColumn<QString>("texte");
    QTest::newRow("9.95") << 9.95 << "9,9R 10,0T";
    QTest::newRow("604.669") << 604.669 << "604,6R 604,7T";
    QTest::newRow("-0.01") << -0.01 << "0,0R ";
    // Every ring value must read back with its own tenth although the ring
    // text truncates: 8.7 held as 8.69999... must not show 8,6R.
    for (int zehntel = 2; zehntel <= 100; ++zehntel) {
        const int n = 110 - zehntel;
        QTest::addRow("ring %d", n) << LxScheibe::ringe(zehntel / 10.0)
                                    << QStringLiteral("%1,%2R %1,%2T").arg(n / 10).arg(n % 10);
    }
}

void TstLxScheibe::texts()
{
    QFETCH(double, wert);
    QFETCH(QString, texte);
    QCOMPARE(LxScheibe::ringeText(wert) + ' ' + LxScheibe::teilerText(wert), texte);
}

void TstLxScheibe::mouseEditing()
{
    // Before the first paint there is no scale to turn a pixel into ring
    // widths (it would divide by zero): presses are ignored, unlocking works.
    LpScheibe ungemalt(nullptr, 0, 800.0);
    ungemalt.resize(400, 400);
    ungemalt.setSchuss(1.0, 0.0, LxScheibe::Weiss);
    QSignalSpy ungemaltSpy(&ungemalt, &LxScheibe::scheibeClicked);
    QTest::mouseDClick(&ungemalt, Qt::LeftButton, {}, QPoint(250, 250));
    QTest::mouseClick(&ungemalt, Qt::LeftButton, {}, QPoint(250, 250));
    QTest::mouseClick(&ungemalt, Qt::RightButton, {}, QPoint(250, 250));
    QCOMPARE(ungemaltSpy.count(), 1);
    QCOMPARE(zustand(ungemalt), QStringLiteral("valid 1,0 10,0R|800,0T a9f5a9 edit"));

    // 400 x 400: 18 pixels per ring width, centre (200, 200). A new target
    // is empty, white and locked.
    LgScheibe scheibe(nullptr, 2, 250.0);
    scheibe.resize(400, 400);
    scheibe.grab();
    QCOMPARE(zustand(scheibe), QStringLiteral("void 0,0 | ffffff"));
    scheibe.setSchuss(1.0, 1.0, LxScheibe::Weiss);
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);

    // A double click unlocks and reports the unchanged shot.
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(zustand(scheibe), QStringLiteral("valid 1,1 9,6R|353,6T a9f5a9 edit"));

    // Left places a light green shot: two ring widths right, one up.
    QTest::mouseClick(&scheibe, Qt::LeftButton, {}, QPoint(200 + 36, 200 - 18));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(zustand(scheibe), QStringLiteral("valid 2,-1 8,8R|559,0T a9f5a9 edit"));

    // The press position is rounded to whole pixels, halves away from zero.
    const QPointF pos(218.5, 181.5);
    QMouseEvent press(QEvent::MouseButtonPress, pos, scheibe.mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&scheibe, &press);
    QCOMPARE(scheibe.x(), 19.0 / 18.0);
    QCOMPARE(scheibe.y(), -1.0);

    // Any other button voids the shot in light red; coordinates stay, and so
    // does the trend, which looks at them alone.
    for (const Qt::MouseButton knopf : { Qt::RightButton, Qt::MiddleButton }) {
        scheibe.setSchuss(0.5, -0.5, LxScheibe::Weiss);
        QTest::mouseClick(&scheibe, knopf, {}, QPoint(250, 250));
        QCOMPARE(zustand(scheibe), QStringLiteral("void 0.5,-0.5 0,0R| f78181 edit"));
        QCOMPARE(scheibe.teiler(), -1.0);
    }
    QCOMPARE(scheibe.tendenz(), 1);
    QCOMPARE(spy.count(), 5);

    // Saving locks again; clearing empties and locks too.
    scheibe.commitScheibe();
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(spy.count(), 5);
    QCOMPARE(zustand(scheibe), QStringLiteral("void 0.5,-0.5 0,0R| ffffff"));
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(&scheibe, Qt::LeftButton, {}, QPoint(200, 200));
    scheibe.clearScheibe();
    QCOMPARE(zustand(scheibe), QStringLiteral("void 0,0 | ffffff"));
}

QTEST_MAIN(TstLxScheibe)
#include "tst_lxscheibe.moc"

#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"
#include "targets/lxscheibe.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

class TstLxScheibe : public QObject
{
    Q_OBJECT

private slots:
    // Scoring geometry
    void ringeVonR_data();
    void ringeVonR();
    void ringeTextOfEveryRingValue();
    void teilerPerFace_data();
    void teilerPerFace();
    void teilerOfMissAndStaticForms();
    void memberFormsWithoutValidShot();
    void tendenz_data();
    void tendenz();
    void tendenzUsesStoredCoordinates();

    // Texts
    void ringeText_data();
    void ringeText();
    void teilerText_data();
    void teilerText();

    // Widget state
    void newTarget();
    void setSchussComputesTexts_data();
    void setSchussComputesTexts();
    void stateTable();

    // Mouse
    void doubleClickUnlocksAndReportsUnchangedShot();
    void leftPressPlacesShotAtPressedRing();
    void pressPositionRoundsHalvesAwayFromZero();
    void otherButtonVoidsShot();
    void lockedTargetIgnoresPresses();
    void neverPaintedTargetIgnoresPresses();
    void commitLocksAgain();
};

void TstLxScheibe::ringeVonR_data()
{
    QTest::addColumn<double>("r");
    QTest::addColumn<double>("ringe");
    QTest::newRow("centre") << 0.0 << 10.9;
    QTest::newRow("just inside 0.15") << 0.1499 << 10.9;
    QTest::newRow("0.15 is 10.8") << 0.15 << 10.8;
    QTest::newRow("0.5") << 0.5 << 10.5;
    QTest::newRow("2.34") << 2.34 << 8.7;
    QTest::newRow("9.94") << 9.94 << 1.1;
    QTest::newRow("9.95") << 9.95 << 1.0;
    QTest::newRow("10.0") << 10.0 << 1.0;
    QTest::newRow("10.0499") << 10.0499 << 1.0;
    QTest::newRow("10.05 misses") << 10.05 << 0.0;
    QTest::newRow("far off") << 1.0e12 << 0.0;
    QTest::newRow("not a number") << std::nan("") << 0.0;
}

void TstLxScheibe::ringeVonR()
{
    QFETCH(double, r);
    QFETCH(double, ringe);
    QCOMPARE(LxScheibe::ringe(r), ringe);
    // On either axis the two-coordinate form agrees.
    if (!std::isnan(r)) {
        QCOMPARE(LxScheibe::ringe(r, 0.0), ringe);
        QCOMPARE(LxScheibe::ringe(0.0, -r), ringe);
    }
}

// Every ring value the geometry can produce must read back with its own
// tenth, although the text truncates.
void TstLxScheibe::ringeTextOfEveryRingValue()
{
    for (int zehntel = 2; zehntel <= 100; ++zehntel) {
        const double r = zehntel / 10.0;
        const double v = LxScheibe::ringe(r);
        const int soll = 110 - zehntel;
        const QString text = QString::number(soll / 10) + QLatin1Char(',') + QString::number(soll % 10) + "R";
        QCOMPARE(LxScheibe::ringeText(v), text);
    }
    QCOMPARE(LxScheibe::ringeText(LxScheibe::ringe(0.0)), QStringLiteral("10,9R"));
}

void TstLxScheibe::teilerPerFace_data()
{
    QTest::addColumn<double>("abstand");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("teiler");
    QTest::newRow("rifle r=1") << 250.0 << 1.0 << 0.0 << 250.0;
    QTest::newRow("pistol r=1") << 800.0 << 0.0 << 1.0 << 800.0;
    QTest::newRow("rifle r=0.5") << 250.0 << 0.3 << 0.4 << 125.0;
    QTest::newRow("pistol r=0.5") << 800.0 << 0.3 << 0.4 << 400.0;
    QTest::newRow("rifle factor 2") << 125.0 << 0.3 << 0.4 << 62.5;
    QTest::newRow("pistol factor 2") << 400.0 << 0.3 << 0.4 << 200.0;
    QTest::newRow("centre") << 250.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("rifle (1.2,-2.1)") << 250.0 << 1.2 << -2.1 << std::sqrt(1.2 * 1.2 + 2.1 * 2.1) * 250.0;
}

void TstLxScheibe::teilerPerFace()
{
    QFETCH(double, abstand);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, teiler);
    LxScheibe scheibe(nullptr, 0, abstand);
    QCOMPARE(scheibe.teiler(x, y), teiler);
    QCOMPARE(scheibe.teiler(std::sqrt(x * x + y * y)), teiler);
    scheibe.setSchuss(x, y, LxScheibe::Weiss);
    QCOMPARE(scheibe.teiler(), teiler);
    QCOMPARE(LxScheibe::_teiler(x, y, abstand), teiler);
}

void TstLxScheibe::teilerOfMissAndStaticForms()
{
    LxScheibe scheibe(nullptr, 0, 250.0);
    QCOMPARE(scheibe.teiler(10.05), -1.0);
    QCOMPARE(scheibe.teiler(10.05, 0.0), -1.0);
    QCOMPARE(scheibe.teiler(10.0), 2500.0);
    // The static forms never decide about a miss.
    QCOMPARE(LxScheibe::_teiler(10.05, 250.0), 10.05 * 250.0);
    QCOMPARE(LxScheibe::_teiler(0.0, -10.05, 800.0), 10.05 * 800.0);
    QCOMPARE(LxScheibe::ringe(1.2, -2.1), 8.6);
    QCOMPARE(LxScheibe::teilerText(scheibe.teiler(1.2, -2.1)), QStringLiteral("604,7T"));
    scheibe.setTeilerAbstand(800.0);
    QCOMPARE(scheibe.teilerAbstand(), 800.0);
    QCOMPARE(scheibe.teiler(1.0), 800.0);
}

void TstLxScheibe::memberFormsWithoutValidShot()
{
    LxScheibe scheibe(nullptr, 0, 250.0);
    scheibe.setSchuss(1.0, 0.0, LxScheibe::Weiss);
    QCOMPARE(scheibe.ringe(), 10.0);
    scheibe.setSchussUngultig("0,0R", QString(), LxScheibe::Hellrot);
    QCOMPARE(scheibe.x(), 1.0);
    QCOMPARE(scheibe.ringe(), 0.0);
    QCOMPARE(scheibe.teiler(), -1.0);

    // A miss placed by coordinates is a valid shot without a Teiler.
    scheibe.setSchuss(10.05, 0.0, LxScheibe::Weiss);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.ringe(), 0.0);
    QCOMPARE(scheibe.teiler(), -1.0);
}

void TstLxScheibe::tendenz_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("tendenz");
    QTest::newRow("centre") << 0.0 << 0.0 << -1;
    QTest::newRow("r=0.1") << 0.1 << 0.0 << -1;
    QTest::newRow("r=0.1001") << 0.1001 << 0.0 << 2;
    QTest::newRow("right") << 1.0 << 0.0 << 2;
    QTest::newRow("up") << 0.0 << -1.0 << 0;
    QTest::newRow("down") << 0.0 << 1.0 << 4;
    QTest::newRow("left") << -1.0 << 0.0 << 6;
    QTest::newRow("up right") << 1.0 << -1.0 << 1;
    QTest::newRow("up left") << -1.0 << -1.0 << 7;
    QTest::newRow("down right") << 1.0 << 1.0 << 3;
    QTest::newRow("down left") << -1.0 << 1.0 << 5;
    QTest::newRow("left, just above") << -1.0 << -0.000000001 << 6;
    QTest::newRow("left, just below") << -1.0 << 0.000000001 << 6;

    // Sector boundaries by whole degrees of the angle from the right, clockwise.
    const struct
    {
        double grad;
        int tendenz;
    } grenzen[] = {
        { 22.0, 2 },   { 22.5, 3 },   { 23.0, 3 },   { 67.0, 3 },   { 68.0, 4 },   { 112.0, 4 },
        { 113.0, 5 },  { 157.0, 5 },  { 158.0, 6 },  { 180.0, 6 },  { -22.0, 2 },  { -22.5, 1 },
        { -23.0, 1 },  { -67.0, 1 },  { -68.0, 0 },  { -112.0, 0 }, { -113.0, 7 }, { -157.0, 7 },
        { -158.0, 6 }, { -179.0, 6 }, { 67.4, 3 },   { 67.5, 4 },   { -67.5, 0 },  { -112.5, 7 },
        { 112.5, 5 },  { 157.5, 6 },  { -157.5, 6 }, { -157.4, 7 },
    };
    for (const auto &g : grenzen) {
        const double rad = g.grad * 3.141592653589793 / 180.0;
        QTest::addRow("%.1f deg", g.grad) << 2.0 * std::cos(rad) << 2.0 * std::sin(rad) << g.tendenz;
    }
}

void TstLxScheibe::tendenz()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, tendenz);
    QCOMPARE(LxScheibe::tendenz(x, y), tendenz);
}

void TstLxScheibe::tendenzUsesStoredCoordinates()
{
    LxScheibe scheibe(nullptr, 0, 250.0);
    QCOMPARE(scheibe.tendenz(), -1);
    scheibe.setSchuss(0.0, -2.0, LxScheibe::Weiss);
    QCOMPARE(scheibe.tendenz(), 0);
    scheibe.clearScheibe(); // the trend looks at the coordinates alone
    QCOMPARE(scheibe.tendenz(), 0);
}

void TstLxScheibe::ringeText_data()
{
    QTest::addColumn<double>("ringe");
    QTest::addColumn<QString>("text");
    QTest::newRow("9.7") << 9.7 << "9,7R";
    QTest::newRow("10.9") << 10.9 << "10,9R";
    QTest::newRow("1.0") << 1.0 << "1,0R";
    QTest::newRow("truncates 9.79") << 9.79 << "9,7R";
    QTest::newRow("truncates 9.75") << 9.75 << "9,7R";
    QTest::newRow("truncates 0.05") << 0.05 << "0,0R";
    QTest::newRow("zero") << 0.0 << "0,0R";
    QTest::newRow("negative") << -3.0 << "0,0R";
    QTest::newRow("not a number") << std::nan("") << "0,0R";
}

void TstLxScheibe::ringeText()
{
    QFETCH(double, ringe);
    QFETCH(QString, text);
    QCOMPARE(LxScheibe::ringeText(ringe), text);
}

void TstLxScheibe::teilerText_data()
{
    QTest::addColumn<double>("teiler");
    QTest::addColumn<QString>("text");
    QTest::newRow("604.669") << 604.669 << "604,7T";
    QTest::newRow("125.0") << 125.0 << "125,0T";
    QTest::newRow("zero") << 0.0 << "0,0T";
    QTest::newRow("0.04 rounds down") << 0.04 << "0,0T";
    QTest::newRow("0.05 rounds up") << 0.05 << "0,1T";
    QTest::newRow("9.95 rounds up") << 9.95 << "10,0T";
    QTest::newRow("2.25 rounds up") << 2.25 << "2,3T";
    QTest::newRow("large") << 12345.64 << "12345,6T";
    QTest::newRow("none") << -1.0 << "";
    QTest::newRow("slightly negative") << -0.01 << "";
}

void TstLxScheibe::teilerText()
{
    QFETCH(double, teiler);
    QFETCH(QString, text);
    QCOMPARE(LxScheibe::teilerText(teiler), text);
}

void TstLxScheibe::newTarget()
{
    LxScheibe scheibe(nullptr, 4, 250.0);
    QCOMPARE(scheibe.index(), 4u);
    QCOMPARE(scheibe.teilerAbstand(), 250.0);
    QVERIFY(!scheibe.valid());
    QCOMPARE(scheibe.x(), 0.0);
    QCOMPARE(scheibe.y(), 0.0);
    QVERIFY(scheibe.ringeLabel().isEmpty());
    QVERIFY(scheibe.teilerLabel().isEmpty());
    QCOMPARE(scheibe.farbe(), 0xFFFFFFu);
    QVERIFY(!scheibe.editierbar());
    QCOMPARE(scheibe.pixelProRing(), 0);
    QCOMPARE(scheibe.mitteX(), 0);
    QCOMPARE(scheibe.mitteY(), 0);
    QCOMPARE(LxScheibe::Hellgruen, 0xA9F5A9u);
    QCOMPARE(LxScheibe::Hellrot, 0xF78181u);
}

void TstLxScheibe::setSchussComputesTexts_data()
{
    QTest::addColumn<double>("abstand");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("ringeText");
    QTest::addColumn<QString>("teilerText");
    QTest::newRow("centre") << 250.0 << 0.0 << 0.0 << "10,9R"
                            << "0,0T";
    QTest::newRow("r=0.5 rifle") << 250.0 << 0.3 << 0.4 << "10,5R"
                                 << "125,0T";
    QTest::newRow("r=0.5 pistol") << 800.0 << 0.3 << -0.4 << "10,5R"
                                  << "400,0T";
    QTest::newRow("(1.2,-2.1)") << 250.0 << 1.2 << -2.1 << "8,6R"
                                << "604,7T";
    QTest::newRow("r=10.0") << 250.0 << -10.0 << 0.0 << "1,0R"
                            << "2500,0T";
    QTest::newRow("miss") << 250.0 << 10.05 << 0.0 << "0,0R"
                          << "";
}

void TstLxScheibe::setSchussComputesTexts()
{
    QFETCH(double, abstand);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QString, ringeText);
    QFETCH(QString, teilerText);
    LxScheibe scheibe(nullptr, 0, abstand);
    scheibe.setSchuss(x, y, LxScheibe::Hellrot);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), x);
    QCOMPARE(scheibe.y(), y);
    QCOMPARE(scheibe.ringeLabel(), ringeText);
    QCOMPARE(scheibe.teilerLabel(), teilerText);
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellrot);
}

void TstLxScheibe::stateTable()
{
    LxScheibe scheibe(nullptr, 0, 250.0);
    scheibe.setSchuss(1.5, 2.5, "9,7R", "604,7T", LxScheibe::Hellrot);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 1.5);
    QCOMPARE(scheibe.y(), 2.5);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("9,7R"));
    QCOMPARE(scheibe.teilerLabel(), QStringLiteral("604,7T"));
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellrot);

    scheibe.fillScheibe(LxScheibe::Hellgruen);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("9,7R"));
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellgruen);

    scheibe.setSchussUngultig("0,0R", "", LxScheibe::Hellrot);
    QVERIFY(!scheibe.valid());
    QCOMPARE(scheibe.x(), 1.5);
    QCOMPARE(scheibe.y(), 2.5);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("0,0R"));
    QCOMPARE(scheibe.teilerLabel(), QString());
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellrot);

    scheibe.setSchuss(0.5, 0.0, "10,5R", "125,0T", LxScheibe::Hellrot);
    scheibe.commitScheibe();
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("10,5R"));
    QCOMPARE(scheibe.teilerLabel(), QStringLiteral("125,0T"));
    QCOMPARE(scheibe.farbe(), LxScheibe::Weiss);

    scheibe.fillScheibe(LxScheibe::Hellrot);
    scheibe.clearScheibe();
    QVERIFY(!scheibe.valid());
    QCOMPARE(scheibe.x(), 0.5);
    QCOMPARE(scheibe.y(), 0.0);
    QVERIFY(scheibe.ringeLabel().isEmpty());
    QVERIFY(scheibe.teilerLabel().isEmpty());
    QCOMPARE(scheibe.farbe(), LxScheibe::Weiss);
    QVERIFY(!scheibe.editierbar());
}

// A 400 x 400 air-rifle target has 18 pixels per ring width, centre (200, 200).
static void paintOnce(LxScheibe &scheibe)
{
    scheibe.resize(400, 400);
    scheibe.grab();
    QCOMPARE(scheibe.pixelProRing(), 18);
    QCOMPARE(scheibe.mitteX(), 200);
    QCOMPARE(scheibe.mitteY(), 200);
}

void TstLxScheibe::doubleClickUnlocksAndReportsUnchangedShot()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    paintOnce(scheibe);
    scheibe.setSchuss(1.0, 1.0, LxScheibe::Weiss);
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);

    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(300, 300));
    QVERIFY(scheibe.editierbar());
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellgruen);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<LxScheibe *>(), &scheibe);
    // Unlocking neither moves nor voids the shot.
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 1.0);
    QCOMPARE(scheibe.y(), 1.0);

    QTest::mouseDClick(&scheibe, Qt::RightButton, {}, QPoint(300, 300));
    QCOMPARE(spy.count(), 2);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 1.0);
}

void TstLxScheibe::leftPressPlacesShotAtPressedRing()
{
    LgScheibe scheibe(nullptr, 2, 250.0);
    paintOnce(scheibe);
    scheibe.setSchuss(0.0, 0.0, LxScheibe::Weiss);
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);

    // Two ring widths right of the centre and one up.
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(200 + 36, 200 - 18));
    QCOMPARE(spy.count(), 1);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 2.0);
    QCOMPARE(scheibe.y(), -1.0);
    QCOMPARE(scheibe.ringe(), 8.8);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("8,8R"));
    QCOMPARE(scheibe.teilerLabel(), LxScheibe::teilerText(std::sqrt(5.0) * 250.0));
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellgruen);
    QVERIFY(scheibe.editierbar());
    QTest::mouseRelease(&scheibe, Qt::LeftButton, {}, QPoint(200 + 36, 200 - 18));

    // Tenths come from pixels: 9 pixels is half a ring width.
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(200 - 9, 200));
    QCOMPARE(scheibe.x(), -0.5);
    QCOMPARE(scheibe.y(), 0.0);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("10,5R"));
    QCOMPARE(scheibe.teilerLabel(), QStringLiteral("125,0T"));
    QCOMPARE(spy.count(), 2);
}

void TstLxScheibe::pressPositionRoundsHalvesAwayFromZero()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    paintOnce(scheibe);
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));

    const QPointF pos(218.5, 181.5);
    QMouseEvent press(QEvent::MouseButtonPress, pos, scheibe.mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&scheibe, &press);
    QCOMPARE(scheibe.x(), 19.0 / 18.0);
    QCOMPARE(scheibe.y(), -18.0 / 18.0);
}

void TstLxScheibe::otherButtonVoidsShot()
{
    LpScheibe scheibe(nullptr, 0, 800.0);
    scheibe.resize(400, 400);
    scheibe.grab();
    scheibe.setSchuss(0.5, -0.5, LxScheibe::Weiss);
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);

    QTest::mousePress(&scheibe, Qt::RightButton, {}, QPoint(250, 250));
    QCOMPARE(spy.count(), 1);
    QVERIFY(!scheibe.valid());
    QCOMPARE(scheibe.x(), 0.5);
    QCOMPARE(scheibe.y(), -0.5);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("0,0R"));
    QVERIFY(scheibe.teilerLabel().isEmpty());
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellrot);
    QCOMPARE(scheibe.ringe(), 0.0);
    QCOMPARE(scheibe.teiler(), -1.0);
    QTest::mouseRelease(&scheibe, Qt::RightButton, {}, QPoint(250, 250));

    QTest::mousePress(&scheibe, Qt::MiddleButton, {}, QPoint(250, 250));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellrot);
}

void TstLxScheibe::lockedTargetIgnoresPresses()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    paintOnce(scheibe);
    scheibe.setSchuss(1.0, 0.0, LxScheibe::Weiss);
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);

    QTest::mousePress(&scheibe, Qt::RightButton, {}, QPoint(250, 250));
    QTest::mouseRelease(&scheibe, Qt::RightButton, {}, QPoint(250, 250));
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(250, 250));
    QCOMPARE(spy.count(), 0);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 1.0);
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("10,0R"));
    QCOMPARE(scheibe.farbe(), LxScheibe::Weiss);
}

void TstLxScheibe::neverPaintedTargetIgnoresPresses()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    scheibe.resize(400, 400);
    scheibe.setSchuss(1.0, 0.0, LxScheibe::Weiss);
    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(250, 250));
    QCOMPARE(spy.count(), 1); // unlocking works without a face
    QVERIFY(scheibe.editierbar());

    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(250, 250));
    QTest::mouseRelease(&scheibe, Qt::LeftButton, {}, QPoint(250, 250));
    QTest::mousePress(&scheibe, Qt::RightButton, {}, QPoint(250, 250));
    QCOMPARE(spy.count(), 1);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.x(), 1.0);
    QCOMPARE(scheibe.y(), 0.0);
    QCOMPARE(scheibe.farbe(), LxScheibe::Hellgruen);
}

void TstLxScheibe::commitLocksAgain()
{
    LgScheibe scheibe(nullptr, 0, 250.0);
    paintOnce(scheibe);
    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(218, 200));
    QTest::mouseRelease(&scheibe, Qt::LeftButton, {}, QPoint(218, 200));
    scheibe.commitScheibe();
    QVERIFY(!scheibe.editierbar());
    QCOMPARE(scheibe.farbe(), LxScheibe::Weiss);
    QVERIFY(scheibe.valid());
    QCOMPARE(scheibe.ringeLabel(), QStringLiteral("10,0R"));

    QSignalSpy spy(&scheibe, &LxScheibe::scheibeClicked);
    QTest::mousePress(&scheibe, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(scheibe.x(), 1.0);

    QTest::mouseDClick(&scheibe, Qt::LeftButton, {}, QPoint(10, 10));
    scheibe.clearScheibe();
    QVERIFY(!scheibe.editierbar());
}

QTEST_MAIN(TstLxScheibe)
#include "tst_lxscheibe.moc"

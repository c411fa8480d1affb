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
    void mouseEditing();
};

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
    // A miss placed by coordinates is still a valid shot.
    scheibe.setSchuss(10.05, 0.0, LxScheibe::Weiss);
    QCOMPARE(zustand(scheibe), QStringLiteral("valid 10.05,0 0,0R| ffffff"));
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
    QCOMPARE(scheibe.ringe(), 8.8);
    QCOMPARE(scheibe.teiler(), 250.0 * std::sqrt(5.0));

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

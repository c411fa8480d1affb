#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"
#include "targets/scheibenlayout.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QVBoxLayout *body(ScheibenLayout &grid)
{
    return grid.findChild<QVBoxLayout *>("body");
}

QPushButton *speichern(ScheibenLayout &grid)
{
    return grid.findChild<QPushButton *>("speichernButton");
}

QPushButton *abbrechen(ScheibenLayout &grid)
{
    return grid.findChild<QPushButton *>("abbrechenButton");
}

// One row of "body" as its sequence: 'S' stretch, 'T' target with its index,
// 'B' a button.
QString beschreibe(QLayout *reihe)
{
    QString text;
    for (int i = 0; i < reihe->count(); ++i) {
        QLayoutItem *item = reihe->itemAt(i);
        if (auto *scheibe = qobject_cast<LxScheibe *>(item->widget()))
            text += QStringLiteral("T%1 ").arg(scheibe->index());
        else if (qobject_cast<QPushButton *>(item->widget()))
            text += QStringLiteral("B:%1 ").arg(static_cast<QPushButton *>(item->widget())->text());
        else if (item->spacerItem())
            text += QStringLiteral("S ");
        else
            text += QStringLiteral("? ");
    }
    return text.trimmed();
}

// All of "body": rows separated by " | ", a stretch directly in "body" as "S".
QString beschreibe(ScheibenLayout &grid)
{
    QStringList reihen;
    for (int i = 0; i < body(grid)->count(); ++i) {
        QLayoutItem *item = body(grid)->itemAt(i);
        if (item->layout())
            reihen << beschreibe(item->layout());
        else if (item->spacerItem())
            reihen << QStringLiteral("S");
        else
            reihen << QStringLiteral("?");
    }
    return reihen.join(QStringLiteral(" | "));
}

} // namespace

class TstScheibenLayout : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void rows_data();
    void rows();
    void stretchFactors();
    void noHeightYetGivesOneRow();
    void refusesMoreThanTen();
    void emptyGrid();
    void repeatedSetLayout();
    void facesAndTeilerAbstand_data();
    void facesAndTeilerAbstand();
    void indexBounds();
    void setScheibeComputesOrTakesTexts();
    void nullAndUngultig();
    void buttonsAndFocus();
    void clickedTargetIsForwarded();
    void buttonSignals();
    void sums();
    void commitAndClear();
};

void TstScheibenLayout::form()
{
    ScheibenLayout grid;
    QCOMPARE(grid.objectName(), QStringLiteral("ScheibenLayout"));
    QCOMPARE(grid.size(), QSize(400, 300));
    QCOMPARE(grid.windowTitle(), QStringLiteral("Form"));
    QVERIFY(grid.findChild<QVBoxLayout *>("verticalLayout"));
    auto *schussbild = grid.findChild<QGroupBox *>("schussbild");
    QVERIFY(schussbild);
    QCOMPARE(schussbild->title(), QStringLiteral("Schussbild"));
    QVERIFY(body(grid));
    QCOMPARE(body(grid)->parentWidget(), schussbild);
    QCOMPARE(body(grid)->count(), 0);

    QVERIFY(speichern(grid));
    QVERIFY(abbrechen(grid));
    QCOMPARE(speichern(grid)->text(), QStringLiteral("Speichern"));
    QCOMPARE(abbrechen(grid)->text(), QStringLiteral("Abbrechen"));
    QCOMPARE(speichern(grid)->parentWidget(), schussbild);
    QCOMPARE(abbrechen(grid)->parentWidget(), schussbild);
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());
    QCOMPARE(grid.getScheibenzahl(), 0u);

    ScheibenLayout benannt;
    benannt.setObjectName("eigener");
    QCOMPARE(benannt.objectName(), QStringLiteral("eigener"));
}

void TstScheibenLayout::rows_data()
{
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<unsigned>("anzahl");
    QTest::addColumn<QString>("aufbau");
    const QString knoepfe = QStringLiteral("B:Abbrechen B:Speichern");
    // 1000 x 300: k = (2000 + 150) / 300 = 7.
    QTest::newRow("1 wide") << QSize(1000, 300) << 1u << "T0 | " + knoepfe;
    QTest::newRow("3 wide") << QSize(1000, 300) << 3u << "T0 T1 T2 | " + knoepfe;
    QTest::newRow("7 wide") << QSize(1000, 300) << 7u << "T0 T1 T2 T3 T4 T5 T6 | " + knoepfe;
    QTest::newRow("8 wide") << QSize(1000, 300) << 8u << "T0 T1 T2 T3 | T4 T5 T6 T7 | " + knoepfe;
    QTest::newRow("9 wide") << QSize(1000, 300) << 9u << "T0 T1 T2 T3 T4 | S T5 T6 T7 T8 S | " + knoepfe;
    QTest::newRow("10 wide") << QSize(1000, 300) << 10u << "T0 T1 T2 T3 T4 | T5 T6 T7 T8 T9 | " + knoepfe;
    // 400 x 300: k = (800 + 150) / 300 = 3.
    QTest::newRow("3 narrow") << QSize(400, 300) << 3u << "T0 T1 T2 | " + knoepfe;
    QTest::newRow("4 narrow") << QSize(400, 300) << 4u << "T0 T1 | T2 T3 | " + knoepfe;
    QTest::newRow("5 narrow") << QSize(400, 300) << 5u << "T0 T1 T2 | S T3 T4 S | " + knoepfe;
    // 2w/h rounded: 2 * 350 / 300 = 2.33 gives 2, 2 * 375 / 300 = 2.5 gives 3.
    QTest::newRow("3 at 350") << QSize(350, 300) << 3u << "T0 T1 | S T2 S | " + knoepfe;
    QTest::newRow("3 at 375") << QSize(375, 300) << 3u << "T0 T1 T2 | " + knoepfe;
    QTest::newRow("2 tall") << QSize(100, 300) << 2u << "T0 | T1 | " + knoepfe;
}

void TstScheibenLayout::rows()
{
    QFETCH(QSize, groesse);
    QFETCH(unsigned, anzahl);
    QFETCH(QString, aufbau);
    ScheibenLayout grid;
    grid.resize(groesse);
    QVERIFY(grid.setLayout(anzahl, ScheibenLayout::Lg, 1.0));
    QCOMPARE(grid.getScheibenzahl(), anzahl);
    QCOMPARE(beschreibe(grid), aufbau);

    // Resizing later does not rearrange anything.
    grid.resize(groesse.width() * 3, groesse.height());
    QCOMPARE(beschreibe(grid), aufbau);
}

void TstScheibenLayout::stretchFactors()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    QVERIFY(grid.setLayout(9, ScheibenLayout::Lp, 1.0));
    auto *voll = qobject_cast<QBoxLayout *>(body(grid)->itemAt(0)->layout());
    auto *kurz = qobject_cast<QBoxLayout *>(body(grid)->itemAt(1)->layout());
    QVERIFY(voll && kurz);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(voll->stretch(i), 2);
    QCOMPARE(kurz->stretch(0), 1);
    for (int i = 1; i <= 4; ++i)
        QCOMPARE(kurz->stretch(i), 2);
    QCOMPARE(kurz->stretch(5), 1);
    // Targets are children of the group box.
    QCOMPARE(grid.getScheibe(8)->parentWidget(), grid.findChild<QGroupBox *>("schussbild"));
}

void TstScheibenLayout::noHeightYetGivesOneRow()
{
    ScheibenLayout grid;
    grid.resize(1000, 0);
    QCOMPARE(grid.height(), 0);
    QVERIFY(grid.setLayout(10, ScheibenLayout::Lg, 1.0));
    QCOMPARE(beschreibe(grid), QStringLiteral("T0 T1 T2 T3 T4 T5 T6 T7 T8 T9 | B:Abbrechen B:Speichern"));
}

void TstScheibenLayout::refusesMoreThanTen()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 1.0));
    QPointer<LxScheibe> erste = grid.getScheibe(0);
    const QString vorher = beschreibe(grid);
    QVERIFY(!grid.setLayout(11, ScheibenLayout::Lp, 1.0));
    QCOMPARE(grid.getScheibenzahl(), 3u);
    QVERIFY(erste);
    QCOMPARE(grid.getScheibe(0), erste.data());
    QCOMPARE(beschreibe(grid), vorher);
    QVERIFY(grid.setLayout(10, ScheibenLayout::Lp, 1.0));
    QCOMPARE(grid.getScheibenzahl(), 10u);
    QVERIFY(!erste); // the old targets are gone
}

void TstScheibenLayout::emptyGrid()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    QVERIFY(grid.setLayout(0, ScheibenLayout::Lg, 1.0));
    QCOMPARE(grid.getScheibenzahl(), 0u);
    QCOMPARE(grid.getScheibe(0), nullptr);
    QCOMPARE(beschreibe(grid), QStringLiteral("S | B:Abbrechen B:Speichern"));
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());
    QCOMPARE(grid.findChildren<LxScheibe *>().size(), 0);
    QCOMPARE(grid.getRinge(), 0u);
    QCOMPARE(grid.getZehntel(), 0.0);
}

void TstScheibenLayout::repeatedSetLayout()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    QVERIFY(grid.setLayout(0, ScheibenLayout::Lg, 1.0));
    QVERIFY(grid.setLayout(9, ScheibenLayout::Lg, 1.0));
    grid.setScheibeUngultig(0);
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(grid.setLayout(2, ScheibenLayout::Lp, 1.0));
    QCOMPARE(beschreibe(grid), QStringLiteral("T0 T1 | B:Abbrechen B:Speichern"));
    QCOMPARE(grid.findChildren<LxScheibe *>().size(), 2);
    QCOMPARE(grid.findChildren<QPushButton *>().size(), 2);
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());
    QVERIFY(grid.setLayout(0, ScheibenLayout::Lp, 1.0));
    QCOMPARE(beschreibe(grid), QStringLiteral("S | B:Abbrechen B:Speichern"));
    QCOMPARE(grid.findChildren<LxScheibe *>().size(), 0);
}

void TstScheibenLayout::facesAndTeilerAbstand_data()
{
    QTest::addColumn<int>("typ");
    QTest::addColumn<double>("faktor");
    QTest::addColumn<bool>("gewehr");
    QTest::addColumn<double>("abstand");
    QTest::newRow("Lg 1") << int(ScheibenLayout::Lg) << 1.0 << true << 250.0;
    QTest::newRow("Lg 2") << int(ScheibenLayout::Lg) << 2.0 << true << 125.0;
    QTest::newRow("Lp 1") << int(ScheibenLayout::Lp) << 1.0 << false << 800.0;
    QTest::newRow("Lp 2") << int(ScheibenLayout::Lp) << 2.0 << false << 400.0;
    QTest::newRow("other is Lp") << 7 << 10.0 << false << 80.0;
}

void TstScheibenLayout::facesAndTeilerAbstand()
{
    QFETCH(int, typ);
    QFETCH(double, faktor);
    QFETCH(bool, gewehr);
    QFETCH(double, abstand);
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(4, static_cast<ScheibenLayout::ScheibenTyp>(typ), faktor));
    for (unsigned i = 0; i < 4; ++i) {
        LxScheibe *scheibe = grid.getScheibe(i);
        QVERIFY(scheibe);
        QCOMPARE(scheibe->index(), i);
        QCOMPARE(qobject_cast<LxScheibe *>(scheibe) != nullptr, true);
        QCOMPARE(dynamic_cast<LgScheibe *>(scheibe) != nullptr, gewehr);
        QCOMPARE(dynamic_cast<LpScheibe *>(scheibe) != nullptr, !gewehr);
        QCOMPARE(scheibe->teilerAbstand(), abstand);
    }
}

void TstScheibenLayout::indexBounds()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 1.0));
    QVERIFY(grid.getScheibe(2));
    QCOMPARE(grid.getScheibe(3), nullptr);
    QCOMPARE(grid.getScheibe(10), nullptr);
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, true));
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, "10,9R", "0,0T", true));
    QVERIFY(!grid.setScheibeNull(3));
    QVERIFY(!grid.setScheibeUngultig(3));
    QVERIFY(!grid.setScheibeUngultig(4000000000u));
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());
    for (unsigned i = 0; i < 3; ++i)
        QVERIFY(!grid.getScheibe(i)->valid() && grid.getScheibe(i)->ringeLabel().isEmpty());
}

void TstScheibenLayout::setScheibeComputesOrTakesTexts()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 2.0));
    QVERIFY(grid.setScheibe(0, 0.3, 0.4, false));
    LxScheibe *erste = grid.getScheibe(0);
    QVERIFY(erste->valid());
    QCOMPARE(erste->ringeLabel(), QStringLiteral("10,5R"));
    QCOMPARE(erste->teilerLabel(), QStringLiteral("62,5T"));
    QCOMPARE(erste->farbe(), LxScheibe::Weiss);
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());

    QVERIFY(grid.setScheibe(1, 1.0, 2.0, "9,7R", "123,4T", false));
    LxScheibe *zweite = grid.getScheibe(1);
    QVERIFY(zweite->valid());
    QCOMPARE(zweite->x(), 1.0);
    QCOMPARE(zweite->y(), 2.0);
    QCOMPARE(zweite->ringeLabel(), QStringLiteral("9,7R"));
    QCOMPARE(zweite->teilerLabel(), QStringLiteral("123,4T"));
    QCOMPARE(zweite->farbe(), LxScheibe::Weiss);
    QVERIFY(!speichern(grid)->isEnabled());

    QVERIFY(grid.setScheibe(2, 1.0, 0.0, "10,0R", "250,0T", true));
    QCOMPARE(grid.getScheibe(2)->farbe(), LxScheibe::Hellrot);
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(abbrechen(grid)->isEnabled());

    grid.clearScheiben();
    QVERIFY(grid.setScheibe(0, 1.0, 0.0, true));
    QCOMPARE(erste->farbe(), LxScheibe::Hellrot);
    QCOMPARE(erste->ringeLabel(), QStringLiteral("10,0R"));
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(abbrechen(grid)->isEnabled());
}

void TstScheibenLayout::nullAndUngultig()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(2, ScheibenLayout::Lp, 1.0));
    grid.setScheibe(0, 1.0, 0.0, false);
    QVERIFY(grid.setScheibeNull(0));
    LxScheibe *scheibe = grid.getScheibe(0);
    QVERIFY(!scheibe->valid());
    QCOMPARE(scheibe->ringeLabel(), QStringLiteral("0,0R"));
    QVERIFY(scheibe->teilerLabel().isEmpty());
    QCOMPARE(scheibe->farbe(), LxScheibe::Weiss);
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());

    QVERIFY(grid.setScheibeUngultig(1));
    QCOMPARE(grid.getScheibe(1)->ringeLabel(), QStringLiteral("0,0R"));
    QVERIFY(grid.getScheibe(1)->teilerLabel().isEmpty());
    QCOMPARE(grid.getScheibe(1)->farbe(), LxScheibe::Hellrot);
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(abbrechen(grid)->isEnabled());
    QCOMPARE(grid.focusWidget(), speichern(grid));
}

void TstScheibenLayout::buttonsAndFocus()
{
    ScheibenLayout grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 1.0));

    grid.enableAbbrechen(true);
    QVERIFY(abbrechen(grid)->isEnabled());
    QVERIFY(!speichern(grid)->isEnabled());
    grid.enableAbbrechen(false);
    QVERIFY(!abbrechen(grid)->isEnabled());

    abbrechen(grid)->setFocus();
    grid.onScheibeClicked(grid.getScheibe(1));
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(abbrechen(grid)->isEnabled());
    QCOMPARE(grid.focusWidget(), speichern(grid));
    if (grid.isActiveWindow())
        QVERIFY(speichern(grid)->hasFocus());

    grid.commitScheiben();
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());

    grid.setScheibeUngultig(2);
    QVERIFY(speichern(grid)->isEnabled());
    grid.clearScheiben();
    QVERIFY(!speichern(grid)->isEnabled());
    QVERIFY(!abbrechen(grid)->isEnabled());
}

void TstScheibenLayout::clickedTargetIsForwarded()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 1.0));
    QSignalSpy spy(&grid, &ScheibenLayout::scheibeClicked);
    LxScheibe *zweite = grid.getScheibe(1);
    QTRY_VERIFY(zweite->isVisible() && zweite->pixelProRing() > 0);

    QTest::mouseDClick(zweite, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<LxScheibe *>(), zweite);
    QVERIFY(speichern(grid)->isEnabled());
    QVERIFY(abbrechen(grid)->isEnabled());
    QCOMPARE(grid.focusWidget(), speichern(grid));

    // One ring width right of the centre: 10.0 rings.
    const QPoint punkt(zweite->mitteX() + zweite->pixelProRing(), zweite->mitteY());
    QTest::mousePress(zweite, Qt::LeftButton, {}, punkt);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(zweite->farbe(), LxScheibe::Hellgruen);
    QCOMPARE(zweite->ringe(), 10.0);
    QCOMPARE(grid.getRinge(), 10u);
}

void TstScheibenLayout::buttonSignals()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(1, ScheibenLayout::Lg, 1.0));
    QSignalSpy gespeichert(&grid, &ScheibenLayout::speichernClicked);
    QSignalSpy abgebrochen(&grid, &ScheibenLayout::abbrechenClicked);
    QTest::mouseClick(speichern(grid), Qt::LeftButton); // disabled: nothing
    QCOMPARE(gespeichert.count(), 0);
    grid.setScheibeUngultig(0);
    QTest::mouseClick(speichern(grid), Qt::LeftButton);
    QCOMPARE(gespeichert.count(), 1);
    QCOMPARE(abgebrochen.count(), 0);
    QTest::mouseClick(abbrechen(grid), Qt::LeftButton);
    QCOMPARE(abgebrochen.count(), 1);
    QCOMPARE(gespeichert.count(), 1);
}

void TstScheibenLayout::sums()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 1.0));
    grid.setScheibe(0, 1.3, 0.0, false); // 9.7
    grid.setScheibe(1, 0.0, 0.0, false); // 10.9
    grid.setScheibe(2, 0.0, -0.5, false); // voided below
    grid.setScheibeUngultig(2);
    QCOMPARE(grid.getScheibe(0)->ringe(), 9.7);
    QCOMPARE(grid.getRinge(), 19u);
    QCOMPARE(grid.getZehntel(), 20.6);

    // Texts supplied by the caller do not count; the coordinates do.
    grid.setScheibe(2, 0.5, 0.0, "0,0R", "", false);
    QCOMPARE(grid.getRinge(), 29u);
    QCOMPARE(grid.getZehntel(), 31.1);
    grid.setScheibeNull(2);
    QCOMPARE(grid.getRinge(), 19u);
}

void TstScheibenLayout::commitAndClear()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(2, ScheibenLayout::Lg, 1.0));
    grid.setScheibe(0, 1.0, 0.0, true);
    grid.getScheibe(1)->fillScheibe(LxScheibe::Hellgruen);
    grid.commitScheiben();
    QCOMPARE(grid.getScheibe(0)->farbe(), LxScheibe::Weiss);
    QCOMPARE(grid.getScheibe(1)->farbe(), LxScheibe::Weiss);
    QVERIFY(grid.getScheibe(0)->valid());
    QCOMPARE(grid.getScheibe(0)->ringeLabel(), QStringLiteral("10,0R"));

    grid.clearScheiben();
    QVERIFY(!grid.getScheibe(0)->valid());
    QVERIFY(grid.getScheibe(0)->ringeLabel().isEmpty());
    QCOMPARE(grid.getRinge(), 0u);
}

QTEST_MAIN(TstScheibenLayout)
#include "tst_scheibenlayout.moc"

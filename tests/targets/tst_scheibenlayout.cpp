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

// "AS" when both buttons are enabled, "-" in place of a disabled one.
QString knoepfe(ScheibenLayout &grid)
{
    return QString(abbrechen(grid)->isEnabled() ? "A" : "-") + (speichern(grid)->isEnabled() ? "S" : "-");
}

// All of "body": rows separated by " | "; in a row 'T' and the index for a
// target, 'B:' and the text for a button, 'S' for a stretch.
QString beschreibe(ScheibenLayout &grid)
{
    QStringList reihen;
    for (int i = 0; i < body(grid)->count(); ++i) {
        QLayout *reihe = body(grid)->itemAt(i)->layout();
        QStringList teile;
        for (int j = 0; reihe && j < reihe->count(); ++j) {
            QWidget *w = reihe->itemAt(j)->widget();
            auto *scheibe = qobject_cast<LxScheibe *>(w);
            auto *knopf = qobject_cast<QPushButton *>(w);
            teile << (scheibe     ? QStringLiteral("T%1").arg(scheibe->index())
                          : knopf ? "B:" + knopf->text()
                          : w     ? "?"
                                  : "S");
        }
        reihen << (reihe ? teile.join(' ') : body(grid)->itemAt(i)->spacerItem() ? "S" : "?");
    }
    return reihen.join(QStringLiteral(" | "));
}

// What a target shows: ring and Teiler text and its colour.
QString anzeige(LxScheibe *s)
{
    return QStringLiteral("%1|%2 %3")
        .arg(s->ringeLabel(), s->teilerLabel())
        .arg(s->farbe(), 6, 16, QLatin1Char('0'));
}

// The kind of the last target with its Teiler scale, e.g. "Lg 250"; all are built alike.
QString flaechen(ScheibenLayout &grid)
{
    LxScheibe *s = grid.getScheibe(grid.getScheibenzahl() - 1);
    return s ? QStringLiteral("%1 %2").arg(dynamic_cast<LgScheibe *>(s) ? "Lg" : "Lp").arg(s->teilerAbstand())
             : QString();
}

} // namespace

class TstScheibenLayout : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void rebuild();
    void shotsAndButtons();
    void sums();
};

void TstScheibenLayout::rows_data()
{
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<unsigned>("anzahl");
    QTest::addColumn<QString>("aufbau");
    const QString knoepfe = QStringLiteral(" | B:Abbrechen B:Speichern");
    // 1000 x 300: k = (2000 + 150) / 300 = 7.
    QTest::newRow("7 wide") << QSize(1000, 300) << 7u << "T0 T1 T2 T3 T4 T5 T6" + knoepfe;
    QTest::newRow("8 wide") << QSize(1000, 300) << 8u << "T0 T1 T2 T3 | T4 T5 T6 T7" + knoepfe;
    QTest::newRow("9 wide") << QSize(1000, 300) << 9u << "T0 T1 T2 T3 T4 | S T5 T6 T7 T8 S" + knoepfe;
    QTest::newRow("0") << QSize(1000, 300) << 0u << "S" + knoepfe;
    // 400 x 300: k = (800 + 150) / 300 = 3.
    QTest::newRow("5 narrow") << QSize(400, 300) << 5u << "T0 T1 T2 | S T3 T4 S" + knoepfe;
    // 2w/h rounded: 2 * 350 / 300 = 2.33 gives 2, 2 * 375 / 300 = 2.5 gives 3.
    QTest::newRow("3 at 350") << QSize(350, 300) << 3u << "T0 T1 | S T2 S" + knoepfe;
    QTest::newRow("3 at 375") << QSize(375, 300) << 3u << "T0 T1 T2" + knoepfe;
    // No height yet: one row rather than a division by zero.
    QTest::newRow("height 0") << QSize(1000, 0) << 10u << "T0 T1 T2 T3 T4 T5 T6 T7 T8 T9" + knoepfe;
}

void TstScheibenLayout::rows()
{
    QFETCH(QSize, groesse);
    QFETCH(unsigned, anzahl);
    QFETCH(QString, aufbau);
    ScheibenLayout grid;
    grid.resize(groesse);
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QVERIFY(grid.setLayout(anzahl, ScheibenLayout::Lg, 1.0));
    QCOMPARE(grid.getScheibenzahl(), anzahl);
    QCOMPARE(beschreibe(grid), aufbau);
    QCOMPARE(flaechen(grid), anzahl ? "Lg 250" : "");
    QCOMPARE(grid.getScheibe(anzahl), nullptr);
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));

    // Resizing later does not rearrange anything.
    grid.resize(groesse.width() * 3, groesse.height() + 1);
    QCOMPARE(beschreibe(grid), aufbau);
}

void TstScheibenLayout::rebuild()
{
    ScheibenLayout grid;
    grid.resize(1000, 300);
    QVERIFY(grid.setLayout(0, ScheibenLayout::Lg, 1.0));
    QVERIFY(grid.setLayout(9, ScheibenLayout::Lp, 2.0));
    QCOMPARE(flaechen(grid), QStringLiteral("Lp 400"));
    // Full rows stretch each target by 2; a short row is centred by stretches of 1.
    auto *voll = qobject_cast<QBoxLayout *>(body(grid)->itemAt(0)->layout());
    auto *kurz = qobject_cast<QBoxLayout *>(body(grid)->itemAt(1)->layout());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(voll->stretch(i), 2);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(kurz->stretch(i), i == 0 || i == 5 ? 1 : 2);
    auto *schussbild = grid.findChild<QGroupBox *>("schussbild");
    QCOMPARE(schussbild->title(), QStringLiteral("Schussbild"));
    QCOMPARE(grid.getScheibe(8)->parentWidget(), schussbild);

    // More than ten is refused and leaves the targets on screen.
    QPointer<LxScheibe> erste = grid.getScheibe(0);
    const QString vorher = beschreibe(grid);
    grid.setScheibeUngultig(0);
    QVERIFY(!grid.setLayout(11, ScheibenLayout::Lg, 1.0));
    QCOMPARE(grid.getScheibe(0), erste.data());
    QCOMPARE(beschreibe(grid), vorher);
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));

    // A new layout destroys the old targets and keeps one button row.
    QVERIFY(grid.setLayout(2, static_cast<ScheibenLayout::ScheibenTyp>(7), 10.0));
    QVERIFY(!erste);
    QCOMPARE(flaechen(grid), QStringLiteral("Lp 80")); // any other kind is Lp
    QCOMPARE(beschreibe(grid), QStringLiteral("T0 T1 | B:Abbrechen B:Speichern"));
    QCOMPARE(grid.findChildren<QPushButton *>().size(), 2);
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QVERIFY(grid.setLayout(0, ScheibenLayout::Lp, 1.0));
    QCOMPARE(beschreibe(grid), QStringLiteral("S | B:Abbrechen B:Speichern"));
    QVERIFY(grid.setLayout(10, ScheibenLayout::Lg, 2.0));
    QCOMPARE(flaechen(grid), QStringLiteral("Lg 125"));
}

void TstScheibenLayout::shotsAndButtons()
{
    ScheibenLayout grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 2.0));
    QSignalSpy gespeichert(&grid, &ScheibenLayout::speichernClicked);
    QSignalSpy abgebrochen(&grid, &ScheibenLayout::abbrechenClicked);
    LxScheibe *erste = grid.getScheibe(0);
    LxScheibe *zweite = grid.getScheibe(1);

    // Beyond the last target nothing changes and nothing is enabled.
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, true));
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, "10,9R", "0,0T", true));
    QVERIFY(!grid.setScheibeNull(3));
    QVERIFY(!grid.setScheibeUngultig(4000000000u));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QCOMPARE(anzeige(erste) + anzeige(grid.getScheibe(2)), QStringLiteral("| ffffff| ffffff"));

    // Shots from the card or the machine: texts computed or taken, white.
    QVERIFY(grid.setScheibe(0, 0.3, 0.4, false));
    QCOMPARE(anzeige(erste), QStringLiteral("10,5R|62,5T ffffff"));
    QVERIFY(grid.setScheibe(1, 1.0, 2.0, "9,7R", "123,4T", false));
    QCOMPARE(anzeige(zweite), QStringLiteral("9,7R|123,4T ffffff"));
    QVERIFY(grid.setScheibeNull(2));
    QCOMPARE(anzeige(grid.getScheibe(2)), QStringLiteral("0,0R| ffffff"));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));

    grid.enableAbbrechen(true);
    QCOMPARE(knoepfe(grid), QStringLiteral("A-"));
    grid.enableAbbrechen(false);

    // A doubtful shot is light red and enables both buttons.
    QVERIFY(grid.setScheibe(2, 1.0, 0.0, "10,0R", "250,0T", true));
    QCOMPARE(anzeige(grid.getScheibe(2)), QStringLiteral("10,0R|250,0T f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    grid.commitScheiben();
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QCOMPARE(anzeige(grid.getScheibe(2)), QStringLiteral("10,0R|250,0T ffffff"));

    QVERIFY(grid.setScheibe(0, 1.0, 0.0, true));
    QCOMPARE(anzeige(erste), QStringLiteral("10,0R|125,0T f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    grid.clearScheiben();
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QCOMPARE(anzeige(erste), QStringLiteral("| ffffff"));

    // A missing shot is light red and hands the focus to "Speichern".
    abbrechen(grid)->setFocus();
    QVERIFY(grid.setScheibeUngultig(1));
    QCOMPARE(anzeige(zweite), QStringLiteral("0,0R| f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    QCOMPARE(grid.focusWidget(), speichern(grid));

    QTest::mouseClick(speichern(grid), Qt::LeftButton);
    QTest::mouseClick(abbrechen(grid), Qt::LeftButton);
    QCOMPARE(gespeichert.count(), 1);
    QCOMPARE(abgebrochen.count(), 1);

    // A click on a target enables both buttons, focuses "Speichern" and is
    // passed on with the same target.
    grid.commitScheiben();
    abbrechen(grid)->setFocus();
    QSignalSpy geklickt(&grid, &ScheibenLayout::scheibeClicked);
    QTRY_VERIFY(zweite->isVisible() && zweite->pixelProRing() > 0);
    QTest::mouseDClick(zweite, Qt::LeftButton);
    QCOMPARE(geklickt.count(), 1);
    QCOMPARE(geklickt.at(0).at(0).value<LxScheibe *>(), zweite);
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    QCOMPARE(grid.focusWidget(), speichern(grid));
}

void TstScheibenLayout::sums()
{
    ScheibenLayout grid;
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lp, 1.0));
    QCOMPARE(flaechen(grid), QStringLiteral("Lp 800"));
    QCOMPARE(grid.getRinge(), 0u);
    grid.setScheibe(0, 1.3, 0.0, false); // 9.7
    grid.setScheibe(1, 0.0, 0.0, false); // 10.9
    grid.setScheibe(2, 0.0, -0.5, false); // voided below
    grid.setScheibeUngultig(2);
    QCOMPARE(grid.getRinge(), 19u);
    QCOMPARE(grid.getZehntel(), 20.6);

    // Texts supplied by the caller do not count; the coordinates do.
    grid.setScheibe(2, 0.5, 0.0, "0,0R", "", false);
    QCOMPARE(grid.getRinge(), 29u);
    QCOMPARE(grid.getZehntel(), 31.1);
    grid.setScheibeNull(2);
    QCOMPARE(grid.getRinge(), 19u);
}

QTEST_MAIN(TstScheibenLayout)
#include "tst_scheibenlayout.moc"

#include "targets/lgscheibe.h"
#include "targets/scheibenlayout.h"

#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

namespace {

QPushButton *knopf(ScheibenLayout &grid, const char *name)
{
    return grid.findChild<QPushButton *>(QLatin1String(name) + "Button");
}

// "AS" when both buttons are enabled, "-" in place of a disabled one.
QString knoepfe(ScheibenLayout &grid)
{
    return QString(knopf(grid, "abbrechen")->isEnabled() ? "A" : "-")
        + (knopf(grid, "speichern")->isEnabled() ? "S" : "-");
}

// The rows of "body": the number of targets in each, "B" for the button row,
// "S" for a stretch, e.g. "4 3 B".
QString reihen(ScheibenLayout &grid)
{
    auto *body = grid.findChild<QVBoxLayout *>("body");
    QStringList reihen;
    for (int i = 0; i < body->count(); ++i) {
        QLayout *reihe = body->itemAt(i)->layout();
        int scheiben = 0;
        for (int j = 0; reihe && j < reihe->count(); ++j)
            scheiben += qobject_cast<LxScheibe *>(reihe->itemAt(j)->widget()) ? 1 : 0;
        reihen << (!reihe ? "S" : scheiben ? QString::number(scheiben) : "B");
    }
    return reihen.join(' ');
}

// What a target shows: ring and Teiler text and its colour.
QString anzeige(LxScheibe *s)
{
    return QStringLiteral("%1|%2 %3")
        .arg(s->ringeLabel(), s->teilerLabel())
        .arg(s->farbe(), 6, 16, QLatin1Char('0'));
}

// The kind, Teiler scale and index of the last target, e.g. "Lg 250 #6"; all
// are built alike.
QString flaechen(ScheibenLayout &grid)
{
    LxScheibe *s = grid.getScheibe(grid.getScheibenzahl() - 1);
    return s ? QStringLiteral("%1 %2 #%3")
                   .arg(dynamic_cast<LgScheibe *>(s) ? "Lg" : "Lp")
                   .arg(s->teilerAbstand())
                   .arg(s->index())
             : QString();
}

} // namespace

class TstScheibenLayout : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void shotsAndButtons();
    void sameSize();
};

void TstScheibenLayout::rows_data()
{
    QTest::addColumn<QSize>("groesse");
    QTest::addColumn<unsigned>("anzahl");
    QTest::addColumn<QString>("aufbau");
    // 1000 x 300: k = (2000 + 150) / 300 = 7.
    QTest::newRow("7 wide") << QSize(1000, 300) << 7u << "7 B";
    QTest::newRow("8 wide") << QSize(1000, 300) << 8u << "4 4 B";
    QTest::newRow("9 wide") << QSize(1000, 300) << 9u << "5 4 B";
    QTest::newRow("0") << QSize(1000, 300) << 0u << "S B";
    // 2w/h rounded: 2 * 350 / 300 = 2.33 gives 2, 2 * 375 / 300 = 2.5 gives 3.
    QTest::newRow("3 at 350") << QSize(350, 300) << 3u << "2 1 B";
    QTest::newRow("3 at 375") << QSize(375, 300) << 3u << "3 B";
    // No height yet: one row rather than a division by zero.
    QTest::newRow("height 0") << QSize(1000, 0) << 10u << "10 B";
}

void TstScheibenLayout::rows()
{
    QFETCH(QSize, groesse);
    QFETCH(unsigned, anzahl);
    QFETCH(QString, aufbau);
    ScheibenLayout grid;
    grid.resize(groesse);
    QVERIFY(grid.setLayout(anzahl, ScheibenLayout::Lg, 1.0));
    QCOMPARE(reihen(grid), aufbau);
    QCOMPARE(flaechen(grid), anzahl ? QStringLiteral("Lg 250 #%1").arg(anzahl - 1) : "");
}

void TstScheibenLayout::shotsAndButtons()
{
    ScheibenLayout grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QVERIFY(grid.setLayout(3, ScheibenLayout::Lg, 2.0));
    LxScheibe *erste = grid.getScheibe(0);
    LxScheibe *zweite = grid.getScheibe(1);
    LxScheibe *dritte = grid.getScheibe(2);

    // Beyond the last target nothing changes and nothing is enabled.
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, true));
    QVERIFY(!grid.setScheibe(3, 0.0, 0.0, "10,9R", "0,0T", true));
    QVERIFY(!grid.setScheibeNull(3));
    QVERIFY(!grid.setScheibeUngultig(4000000000u));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));

    // Shots from the card or the machine: texts computed or taken, white.
    QVERIFY(grid.setScheibe(0, 0.3, 0.4, false));
    QVERIFY(grid.setScheibe(1, 1.0, 2.0, "9,7R", "123,4T", false));
    QVERIFY(grid.setScheibeNull(2));
    QCOMPARE(anzeige(erste) + anzeige(zweite) + anzeige(dritte),
             QStringLiteral("10,5R|62,5T ffffff9,7R|123,4T ffffff0,0R| ffffff"));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    // Each target adds its whole rings, from the coordinates, not the texts:
    // 10.5 + 8.8 + nothing for the empty slot.
    QCOMPARE(grid.getRinge(), 18u);
    QCOMPARE(grid.getZehntel(), 19.3);

    // A doubtful shot is light red and enables both buttons until saved.
    QVERIFY(grid.setScheibe(2, 1.0, 0.0, "10,0R", "250,0T", true));
    QCOMPARE(anzeige(dritte), QStringLiteral("10,0R|250,0T f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    grid.commitScheiben();
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QCOMPARE(anzeige(dritte), QStringLiteral("10,0R|250,0T ffffff"));

    // A missing shot is light red, counts nothing and hands the focus to "Speichern".
    knopf(grid, "abbrechen")->setFocus();
    QVERIFY(grid.setScheibeUngultig(1));
    QCOMPARE(anzeige(zweite), QStringLiteral("0,0R| f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    QCOMPARE(grid.focusWidget(), knopf(grid, "speichern"));
    QCOMPARE(grid.getRinge(), 20u);
    QCOMPARE(grid.getZehntel(), 20.5);

    // A doubtful shot with computed texts likewise, until cleared.
    grid.commitScheiben();
    QVERIFY(grid.setScheibe(0, 1.0, 0.0, true));
    QCOMPARE(anzeige(erste), QStringLiteral("10,0R|125,0T f78181"));
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    grid.clearScheiben();
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    QCOMPARE(anzeige(erste), QStringLiteral("| ffffff"));

    // A click on a target enables both buttons and is passed on with the
    // same target.
    QSignalSpy geklickt(&grid, &ScheibenLayout::scheibeClicked);
    QTRY_VERIFY(zweite->isVisible() && zweite->pixelProRing() > 0);
    QTest::mouseDClick(zweite, Qt::LeftButton);
    QCOMPARE(geklickt.count(), 1);
    QCOMPARE(geklickt.at(0).at(0).value<LxScheibe *>(), zweite);
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));

    // More than ten is refused and leaves the targets on screen; a new
    // layout destroys them, keeps one button row and disables the buttons.
    QPointer<LxScheibe> alt = zweite;
    QVERIFY(!grid.setLayout(11, ScheibenLayout::Lg, 1.0));
    QCOMPARE(grid.getScheibe(1), zweite);
    QCOMPARE(knoepfe(grid), QStringLiteral("AS"));
    QVERIFY(grid.setLayout(2, static_cast<ScheibenLayout::ScheibenTyp>(7), 10.0));
    QVERIFY(!alt);
    QCOMPARE(flaechen(grid), QStringLiteral("Lp 80 #1")); // any other kind is Lp
    QCOMPARE(reihen(grid), QStringLiteral("2 B"));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));

    // The next card of the same shape keeps the targets but nothing of the
    // last card: no shot, white, locked, the new factor's Teiler scale.
    LxScheibe *lp = grid.getScheibe(1);
    QVERIFY(grid.setScheibe(0, 0.3, 0.4, true));
    QTRY_VERIFY(lp->isVisible() && lp->pixelProRing() > 0);
    QTest::mouseDClick(lp, Qt::LeftButton);
    QVERIFY(grid.setLayout(2, ScheibenLayout::Lp, 4.0));
    QCOMPARE(grid.getScheibe(1), lp);
    QCOMPARE(anzeige(grid.getScheibe(0)) + anzeige(lp), QStringLiteral("| ffffff| ffffff"));
    QVERIFY(!grid.getScheibe(0)->valid() && !lp->editierbar());
    QCOMPARE(flaechen(grid), QStringLiteral("Lp 200 #1"));
    QCOMPARE(knoepfe(grid), QStringLiteral("--"));
    // Another kind of face is built anew.
    QVERIFY(grid.setLayout(2, ScheibenLayout::Lg, 1.0));
    QCOMPARE(flaechen(grid), QStringLiteral("Lg 250 #1"));
}

// Two rows share the height unevenly by a pixel whenever it is odd, which
// at some heights cost the second row a whole ring width.
void TstScheibenLayout::sameSize()
{
    ScheibenLayout grid;
    grid.setAttribute(Qt::WA_DontShowOnScreen);
    grid.show();
    QVERIFY(grid.setLayout(10, ScheibenLayout::Lp, 1.0));
    QTRY_VERIFY(grid.getScheibe(9)->isVisible());
    for (int hoehe = 380; hoehe < 420; ++hoehe) {
        grid.resize(940, hoehe);
        grid.grab();
        QSet<int> groessen;
        for (unsigned i = 0; i < 10; ++i)
            groessen << grid.getScheibe(i)->pixelProRing();
        QVERIFY2(groessen.size() == 1, qPrintable(QString::number(hoehe)));
    }
}

QTEST_MAIN(TstScheibenLayout)
#include "tst_scheibenlayout.moc"

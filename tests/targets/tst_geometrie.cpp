#include "targets/geometrie.h"

#include <QTest>

#include <cmath>

class TstGeometrie : public QObject
{
    Q_OBJECT

private slots:
    // Ring value at the ring boundaries, Teiler per face and factor with the
    // miss rule, and the texts a target shows for them.
    void scoring_data()
    {
        QTest::addColumn<int>("waffe");
        QTest::addColumn<double>("faktor");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("ringe");
        QTest::addColumn<QString>("texte");
        QTest::newRow("centre") << 1 << 1.0 << 0.0 << 0.0 << 10.9 << "10,9R|0,0T";
        QTest::newRow("rifle r=1") << 1 << 1.0 << 1.0 << 0.0 << 10.0 << "10,0R|250,0T";
        QTest::newRow("pistol r=1") << 2 << 1.0 << 0.0 << -1.0 << 10.0 << "10,0R|800,0T";
        QTest::newRow("rifle factor 2") << 1 << 2.0 << 0.3 << 0.4 << 10.5 << "10,5R|62,5T";
        QTest::newRow("(1.2,-2.1)") << 1 << 1.0 << 1.2 << -2.1 << 8.6 << "8,6R|604,7T";
        QTest::newRow("9.95") << 1 << 1.0 << 0.0 << 9.95 << 1.0 << "1,0R|2487,5T";
        QTest::newRow("10.0") << 1 << 1.0 << -10.0 << 0.0 << 1.0 << "1,0R|2500,0T";
        QTest::newRow("10.05 misses") << 1 << 1.0 << 10.05 << 0.0 << 0.0 << "0,0R|";
        QTest::newRow("not a number") << 1 << 1.0 << std::nan("") << 0.0 << 0.0 << "0,0R|";
        QTest::newRow("huge") << 1 << 1.0 << 1.0e300 << -1.0e300 << 0.0 << "0,0R|";
    }

    void scoring()
    {
        QFETCH(int, waffe);
        QFETCH(double, faktor);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, ringe);
        const double abstand = Geometrie::teilerAbstand(waffe, faktor);
        const double r = std::sqrt(x * x + y * y);
        const double teiler = Geometrie::teiler(x, y, abstand);
        QCOMPARE(Geometrie::ringe(x, y), ringe);
        QCOMPARE(teiler, ringe > 0.0 ? r * abstand : -1.0);
        // The form without the test never decides about a miss.
        QCOMPARE(Geometrie::teilerOhneTest(x, y, abstand), r * abstand);
        QTEST(Geometrie::ringeText(ringe) + '|' + Geometrie::teilerText(teiler), "texte");
    }

    void tendenz_data()
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
        } faelle[]
            = { { 0.0, 0.0, -1 }, { 0.1, 0.0, -1 }, { 0.1001, 0.0, 2 }, { 2, 22.0, 2 },  { 2, 22.5, 3 },
                { 2, -22.0, 2 },  { 2, -22.5, 1 },  { 2, 67.4, 3 },     { 2, 67.5, 4 },  { 2, -67.5, 0 },
                { 2, 112.0, 4 },  { 2, 112.5, 5 },  { 2, -112.5, 7 },   { 2, 157.5, 6 }, { 2, -157.4, 7 },
                { 2, -157.5, 6 }, { 2, 180.0, 6 },  { 2, -180.0, 6 } };
        for (const auto &f : faelle) {
            const double rad = f.grad * 3.141592653589793 / 180.0;
            QTest::addRow("%g, %.1f deg", f.r, f.grad)
                << f.r * std::cos(rad) << f.r * std::sin(rad) << f.tendenz;
        }
    }

    void tendenz()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(int, tendenz);
        QCOMPARE(Geometrie::tendenz(x, y), tendenz);
    }

    // Ring values are truncated, Teiler values rounded with halves up.
    void texts_data()
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
            QTest::addRow("ring %d", n) << Geometrie::ringe(zehntel / 10.0)
                                        << QStringLiteral("%1,%2R %1,%2T").arg(n / 10).arg(n % 10);
        }
    }

    void texts()
    {
        QFETCH(double, wert);
        QFETCH(QString, texte);
        QCOMPARE(Geometrie::ringeText(wert) + ' ' + Geometrie::teilerText(wert), texte);
    }
};

QTEST_APPLESS_MAIN(TstGeometrie)
#include "tst_geometrie.moc"

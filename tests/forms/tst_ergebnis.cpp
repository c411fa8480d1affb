#include "forms/ergebnis.h"

#include <QLabel>
#include <QTest>

class TestErgebnis : public QObject
{
    Q_OBJECT

private slots:
    void startsWithThePlaceholders()
    {
        Ergebnis ergebnis;
        QCOMPARE(ergebnis.findChild<QLabel *>("ringe")->text(), QStringLiteral("Ringe"));
        QCOMPARE(ergebnis.findChild<QLabel *>("zehntel")->text(), QStringLiteral("Zehntel"));
        QCOMPARE(ergebnis.findChild<QLabel *>("ringe")->font().pointSize(), 42);
        QCOMPARE(ergebnis.findChild<QLabel *>("zehntel")->font().pointSize(), 32);
    }

    void ringe()
    {
        Ergebnis ergebnis;
        ergebnis.setRinge(93, 187);
        QCOMPARE(ergebnis.findChild<QLabel *>("ringe")->text(), QStringLiteral("93 / 187"));
        ergebnis.setRinge(0, 0);
        QCOMPARE(ergebnis.findChild<QLabel *>("ringe")->text(), QStringLiteral("0 / 0"));
    }

    void zehntelFormatting_data()
    {
        QTest::addColumn<double>("wert");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0.0 << "0,0";
        QTest::newRow("95.3") << 95.3 << "95,3";
        QTest::newRow("190.7") << 190.7 << "190,7";
        QTest::newRow("9.96 rounds up to a whole") << 9.96 << "10,0";
        QTest::newRow("100.04") << 100.04 << "100,0";
        QTest::newRow("100.05 half away from zero") << 100.05 << "100,1";
        QTest::newRow("0.05") << 0.05 << "0,1";
        QTest::newRow("-0.5 keeps its sign") << -0.5 << "-0,5";
        QTest::newRow("-12.34") << -12.34 << "-12,3";
        QTest::newRow("not a number") << qQNaN() << "0,0";
    }

    void zehntelFormatting()
    {
        QFETCH(double, wert);
        QFETCH(QString, text);
        QCOMPARE(Ergebnis::zehntelText(wert), text);
    }

    void zehntelIgnoresTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::English));
        Ergebnis ergebnis;
        ergebnis.setZehntel(95.3, 190.7);
        QCOMPARE(ergebnis.findChild<QLabel *>("zehntel")->text(), QStringLiteral("95,3 / 190,7"));
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_MAIN(TestErgebnis)
#include "tst_ergebnis.moc"

#include "forms/ergebnis.h"

#include <QLabel>
#include <QTest>

class TestErgebnis : public QObject
{
    Q_OBJECT

private slots:
    void zehntelFormatting_data()
    {
        QTest::addColumn<double>("wert");
        QTest::addColumn<QString>("text");
        QTest::newRow("95.3") << 95.3 << "95,3";
        QTest::newRow("9.96 rounds up to a whole") << 9.96 << "10,0";
        QTest::newRow("100.05 half away from zero") << 100.05 << "100,1";
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

    void labelsIgnoreTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::English));
        Ergebnis ergebnis;
        ergebnis.setRinge(93, 187);
        ergebnis.setZehntel(95.3, 190.7);
        QCOMPARE(ergebnis.findChild<QLabel *>("ringe")->text(), QStringLiteral("93 / 187"));
        QCOMPARE(ergebnis.findChild<QLabel *>("zehntel")->text(), QStringLiteral("95,3 / 190,7"));
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_MAIN(TestErgebnis)
#include "tst_ergebnis.moc"

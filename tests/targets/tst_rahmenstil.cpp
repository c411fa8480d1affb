// The grid's group box style must look exactly like the style it stands in
// for; it only changes how the inside is filled.

#include "targets/rahmenstil.h"

#include <QGroupBox>
#include <QStyleFactory>
#include <QTest>

#include <memory>

class TestRahmenStil : public QObject
{
    Q_OBJECT

private slots:
    void gleichesBild_data();
    void gleichesBild();
};

void TestRahmenStil::gleichesBild_data()
{
    QTest::addColumn<QString>("stil");
    QTest::addColumn<QSize>("groesse");
    for (const QString &stil : QStyleFactory::keys()) {
        for (const QSize &g : { QSize(60, 50), QSize(400, 300), QSize(1900, 700) })
            QTest::addRow("%s %dx%d", qPrintable(stil), g.width(), g.height()) << stil << g;
    }
}

void TestRahmenStil::gleichesBild()
{
    QFETCH(QString, stil);
    QFETCH(QSize, groesse);
    std::unique_ptr<QStyle> basis(QStyleFactory::create(stil));
    QVERIFY(basis);
    auto *rahmen = new RahmenStil;
    rahmen->setBaseStyle(QStyleFactory::create(stil));

    QGroupBox box(QStringLiteral("Schussbild"));
    box.resize(groesse);
    box.setStyle(basis.get());
    const QImage vorher = box.grab().toImage();
    box.setStyle(rahmen);
    const QImage nachher = box.grab().toImage();
    box.setStyle(basis.get());
    delete rahmen;
    QCOMPARE(nachher, vorher);
}

QTEST_MAIN(TestRahmenStil)
#include "tst_rahmenstil.moc"

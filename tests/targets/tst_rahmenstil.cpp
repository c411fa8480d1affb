// The grid's group box style must look exactly like the style it stands in
// for; it only changes how the inside is filled. And a cached face must look
// like a freshly drawn one after size and colour changes.

#include "scheiben.h"
#include "targets/rahmenstil.h"

#include <QApplication>
#include <QGroupBox>
#include <QPixmapCache>
#include <QStyleFactory>
#include <QTest>

#include <memory>

class TestRahmenStil : public QObject
{
    Q_OBJECT

private slots:
    void gleichesBild_data();
    void gleichesBild();
    void gesicht_data();
    void gesicht();
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

void TestRahmenStil::gesicht_data()
{
    QTest::addColumn<QString>("typ");
    QTest::newRow("Luftgewehr") << "Lg";
    QTest::newRow("Luftpistole") << "Lp";
}

void TestRahmenStil::gesicht()
{
    QFETCH(QString, typ);
    auto bild = [](LxScheibe &s, int w, int h, unsigned farbe) {
        s.setSchuss(1.0, -2.0, farbe);
        return paint(s, w, h);
    };
    // One target goes through sizes and colours with the cache warm; each
    // picture must equal one drawn with an empty cache.
    auto scheibe = neueScheibe(typ);
    const struct
    {
        int w, h;
        unsigned farbe;
    } folge[] = { { 300, 400, LxScheibe::Weiss },
                  { 300, 400, LxScheibe::Hellrot },
                  { 500, 300, LxScheibe::Hellrot },
                  { 300, 400, LxScheibe::Weiss },
                  { 300, 400, LxScheibe::Hellgruen } };
    for (const auto &s : folge) {
        const QImage warm = bild(*scheibe, s.w, s.h, s.farbe);
        QPixmapCache::clear();
        auto frisch = neueScheibe(typ);
        QCOMPARE(warm, bild(*frisch, s.w, s.h, s.farbe));
    }
}

QTEST_MAIN(TestRahmenStil)
#include "tst_rahmenstil.moc"

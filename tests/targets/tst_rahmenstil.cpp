// The grid's group box style must look exactly like the style it stands in
// for; it only changes how the frame is drawn: the bands as kept pictures,
// the inside as one fill.

#include "targets/rahmenstil.h"

#include <QGroupBox>
#include <QPainter>
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
    // The whole box, and parts repainted alone as a target repaints the frame
    // behind it: the right band, the lower left corner, the middle.
    const int w = groesse.width();
    const int h = groesse.height();
    const QList<QRect> teile { box.rect(), QRect(w - 30, h / 3, 30, 20), QRect(0, h - 25, 40, 25),
                               QRect(w / 2 - 10, h / 2 - 10, 20, 20) };
    // Also the whole box on a device of twice the pixels, and under a
    // printer's scale, where the bands are drawn directly.
    const auto bilder = [&](QStyle *stil) {
        box.setStyle(stil);
        QList<QImage> b;
        for (const QRect &teil : teile)
            b << box.grab(teil).toImage();
        for (const qreal massstab : { 2.0, 1.5 }) {
            QImage bild(groesse * massstab, QImage::Format_ARGB32_Premultiplied);
            bild.fill(Qt::white);
            if (massstab == 2.0)
                bild.setDevicePixelRatio(massstab);
            QPainter painter(&bild);
            if (massstab != 2.0)
                painter.scale(massstab, massstab);
            box.render(&painter);
            b << bild;
        }
        return b;
    };
    const QList<QImage> vorher = bilder(basis.get());
    const QList<QImage> nachher = bilder(rahmen);
    box.setStyle(basis.get());
    delete rahmen;
    QCOMPARE(nachher, vorher);
}

QTEST_MAIN(TestRahmenStil)
#include "tst_rahmenstil.moc"

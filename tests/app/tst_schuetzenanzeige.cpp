#include "app/schuetzenanzeige.h"
#include "station.h"

#include <QFrame>

// The shooter's display follows the card on screen through shots, a
// correction by hand, the save and a cancel, and never takes the keyboard.
class TestSchuetzenanzeige : public QObject
{
    Q_OBJECT

    // What the shooter sees equals what the officer sees, target by target.
    static void gleich(Station &st, Schuetzenanzeige *anzeige)
    {
        const QList<LxScheibe *> kopien = anzeige->scheiben();
        QCOMPARE(unsigned(kopien.size()), st.grid()->getScheibenzahl());
        for (unsigned i = 0; i < st.grid()->getScheibenzahl(); ++i) {
            const LxScheibe *von = st.scheibe(i);
            const LxScheibe *s = kopien.at(i);
            QCOMPARE(s->valid(), von->valid());
            QCOMPARE(s->ringeLabel(), von->ringeLabel());
            QCOMPARE(s->teilerLabel(), von->teilerLabel());
            QCOMPARE(s->farbe(), von->farbe());
            if (von->valid())
                QCOMPARE(QPointF(s->x(), s->y()), QPointF(von->x(), von->y()));
        }
        // "45 / 45" on the officer's screen: card, then series.
        const QStringList ringe = st.ringe().split(QStringLiteral(" / "));
        const QStringList zehntel = st.zehntel().split(QStringLiteral(" / "));
        QCOMPARE(anzeige->findChild<QLabel *>("ringe")->text(),
                 QStringLiteral("%1 Ringe (%2)").arg(ringe.value(0), zehntel.value(0)));
        QCOMPARE(anzeige->findChild<QLabel *>("serie")->text(),
                 QStringLiteral("Serie %1 (%2)").arg(ringe.value(1), zehntel.value(1)));
    }

    // The colour of the frame around target i, read from the picture.
    static QColor rahmen(Schuetzenanzeige *anzeige, int i)
    {
        auto *r = qobject_cast<QFrame *>(anzeige->scheiben().at(i)->parentWidget());
        return r->grab().toImage().pixelColor(2, r->height() / 2);
    }

private slots:
    void followsTheCard()
    {
        Station st;
        QVERIFY(st.bereit(1001, 5));
        st.action("schuetzenanzeige")->trigger();
        auto *anzeige = st.window->schuetzenanzeige();
        QVERIFY(anzeige && anzeige->isVisible());
        // A second screen is there (see main): the display fills it.
        QTRY_COMPARE(anzeige->screen()->name(), QStringLiteral("schuetzen"));
        QVERIFY(anzeige->isFullScreen() && st.window->screen()->name() == QLatin1String("aufsicht"));
        QVERIFY(!anzeige->isActiveWindow());
        QVERIFY(st.karte()->hasFocus());
        QCOMPARE(anzeige->findChild<QLabel *>("karte")->text(), QStringLiteral("Scheibe 1001"));
        QCOMPARE(anzeige->scheiben().size(), 5);

        QList<Shot> shots = zehnSchuss().mid(0, 5);
        shots[4].doubtful = true;
        QVERIFY(st.schiessen(shots));
        gleich(st, anzeige);
        const QColor markiert = rahmen(anzeige, 4);
        QVERIFY(markiert != rahmen(anzeige, 0));

        // The officer moves shot 2: the display takes it and marks it latest.
        LxScheibe *ziel = st.scheibe(1);
        const QImage vorher = anzeige->scheiben().at(1)->grab().toImage();
        QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
        QTest::mouseClick(ziel, Qt::LeftButton, {},
                          QPoint(ziel->mitteX() + 3 * ziel->pixelProRing(), ziel->mitteY()));
        gleich(st, anzeige);
        QVERIFY(anzeige->scheiben().at(1)->grab().toImage() != vorher);
        QCOMPARE(rahmen(anzeige, 1), markiert);
        QVERIFY(rahmen(anzeige, 4) != markiert);

        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(anzeige->findChild<QLabel *>("gespeichert")->text(), QStringLiteral("gespeichert"));
        gleich(st, anzeige);

        // The next card empties the display until its reply is there.
        st.server->addCard(st.kartenSpec(1002, 10, 2));
        QVERIFY(st.karteBereit(1002, 10));
        QCOMPARE(anzeige->scheiben().size(), 10);
        QCOMPARE(anzeige->findChild<QLabel *>("gespeichert")->text(), QString());
        gleich(st, anzeige);
        st.sim.queueShots(zehnSchuss().mid(0, 1));
        QTRY_VERIFY(anzeige->scheiben().at(0)->valid());
        QTest::mouseClick(st.abbrechen(), Qt::LeftButton);
        QCOMPARE(anzeige->findChild<QLabel *>("karte")->text(), QString());
        QVERIFY(anzeige->scheiben().isEmpty());

        // Closed from its own frame, the menu entry follows.
        anzeige->close();
        QVERIFY(!st.action("schuetzenanzeige")->isChecked());
    }
};

// The officer's screen and, to its right, one facing the firing line.
int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const QString bildschirme = dir.filePath(QStringLiteral("screens.json"));
    QFile datei(bildschirme);
    if (!datei.open(QIODevice::WriteOnly)
        || datei.write(R"({"screens": [
            {"name": "aufsicht", "x": 0, "y": 0, "width": 1366, "height": 768},
            {"name": "schuetzen", "x": 1366, "y": 0, "width": 1920, "height": 1080}]})")
            <= 0)
        return 1;
    datei.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + bildschirme.toUtf8());
    QApplication app(argc, argv);
    TestSchuetzenanzeige test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_schuetzenanzeige.moc"

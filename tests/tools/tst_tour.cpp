#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The guided tour is the README's source of pictures: it must get through
// the whole evening and leave every picture behind, each one a full window.
class TestTour : public QObject
{
    Q_OBJECT

private slots:
    void tourFinishesAndWritesEveryPicture()
    {
        QTemporaryDir dir;
        QProcess tour;
        tour.start(QStringLiteral(KOVRIT_TOUR_EXE),
                   { dir.filePath(QStringLiteral("bilder")), QStringLiteral("1024x768") });
        QVERIFY(tour.waitForFinished(90000));
        QVERIFY2(tour.exitCode() == 0, tour.readAllStandardError().constData());

        const QStringList namen { "anmeldung.png",     "scheibe-laufend.png", "scheibe-fertig.png",
                                  "korrektur.png",     "fehler.png",          "gespeichert.png",
                                  "neu-auswerten.png", "einstellungen.png" };
        for (const QString &name : namen) {
            const QString datei = dir.filePath(QStringLiteral("bilder/") + name);
            const QImage bild(datei);
            QVERIFY2(bild.size() == QSize(1024, 768), qPrintable(datei));
            QImage leer(bild.size(), bild.format()); // a blank grab has one colour throughout
            leer.fill(bild.pixel(0, 0));
            QVERIFY2(bild != leer, qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestTour)
#include "tst_tour.moc"

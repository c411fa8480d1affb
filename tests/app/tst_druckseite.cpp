#include "station.h"

#include <QProcess>
#include <QStandardPaths>

// The printout of a card with a doubtful, a moved and a voided shot, read
// back from the PDF as a reader of the notice board would: its text and its
// picture.
class TestDruckseite : public QObject
{
    Q_OBJECT

    static bool lauf(const QString &programm, const QStringList &argumente, QByteArray *ausgabe = nullptr)
    {
        QProcess p;
        p.start(programm, argumente);
        const bool ok = p.waitForFinished(30000) && p.exitCode() == 0;
        if (ausgabe)
            *ausgabe = p.readAllStandardOutput();
        return ok;
    }

private slots:
    void pageOfTheCardOnScreen()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP(
                "pdftotext and pdftoppm (Debian package poppler-utils) are needed; ./test.sh installs them");
        Station st;
        QVERIFY(st.bereit(1001, 5));
        const QString pdf = st.dir.filePath(QStringLiteral("karte.pdf"));
        QVERIFY(st.action("pdf")->isEnabled() && st.action("drucken")->isEnabled());
        QList<Shot> shots = zehnSchuss().mid(0, 5);
        shots[0].doubtful = true;
        QVERIFY(st.schiessen(shots));
        LxScheibe *ziel = st.scheibe(1);
        QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
        QTest::mouseClick(ziel, Qt::LeftButton, {},
                          QPoint(ziel->mitteX() + 3 * ziel->pixelProRing(), ziel->mitteY()));
        ziel = st.scheibe(2);
        QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
        QTest::mouseClick(ziel, Qt::RightButton, {}, ziel->rect().center());
        QVERIFY(st.window->alsPdfSpeichern(pdf));

        QByteArray ausgabe;
        QVERIFY(lauf(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") }, &ausgabe));
        const QString text = QString::fromUtf8(ausgabe);
        QVERIFY2(text.contains(st.status()), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Scheibe 1001")));
        for (unsigned i = 0; i < 5; ++i) {
            const QString werte = QStringLiteral("#%1 %2 %3")
                                      .arg(i + 1)
                                      .arg(st.scheibe(i)->ringeLabel(), st.scheibe(i)->teilerLabel())
                                      .trimmed();
            QVERIFY2(text.simplified().contains(werte), qPrintable(werte));
        }
        for (const char *vermerk : { "zweifelhaft", "von Hand gesetzt", "von Hand entwertet" })
            QVERIFY2(text.contains(QLatin1String(vermerk)), vermerk);
        const QStringList ringe = st.ringe().split(QStringLiteral(" / "));
        const QStringList zehntel = st.zehntel().split(QStringLiteral(" / "));
        QVERIFY(text.simplified().contains(
            QStringLiteral("Ringe: %1 (%2) Serie: %3 (%4)")
                .arg(ringe.value(0), zehntel.value(0), ringe.value(1), zehntel.value(1))));
        QVERIFY(text.contains(QStringLiteral("Nicht gespeichert")));

        // The faces are on the page: one A4 page with the black of five
        // air rifle faces in its upper half and nothing below the texts.
        QVERIFY(lauf(QStringLiteral("pdftoppm"),
                     { QStringLiteral("-r"), QStringLiteral("20"), QStringLiteral("-gray"),
                       QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf,
                       st.dir.filePath(QStringLiteral("seite")) }));
        const QImage seite(st.dir.filePath(QStringLiteral("seite.png")));
        QCOMPARE(seite.size(), QSize(166, 234)); // A4 at 20 dpi
        int schwarz = 0;
        for (int y = 0; y < seite.height(); ++y)
            for (int x = 0; x < seite.width(); ++x)
                schwarz += qGray(seite.pixel(x, y)) < 60 ? (y < seite.height() / 2 ? 1 : -1000) : 0;
        QVERIFY2(schwarz > 5 * 40, qPrintable(QString::number(schwarz)));

        // Logged off, there is no card to print.
        st.antwort = QMessageBox::Yes;
        st.action("logoff")->trigger();
        QVERIFY(!st.action("pdf")->isEnabled() && !st.action("drucken")->isEnabled());
        QVERIFY(!st.window->alsPdfSpeichern(pdf));
    }
};

QTEST_MAIN(TestDruckseite)
#include "tst_druckseite.moc"

#include "app/einstellungen.h"
#include "app/kartenfluss.h"
#include "app/konfiguration.h"
#include "app/nebenansichten.h"
#include "app/sprache.h"
#include "common/ptypair.h"
#include "machine/maschine.h"
#include "machine/portliste.h"
#include "server/recordinghttpserver.h"
#include "targets/scheibenlayout.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

// The settings dialog: config.json written through it, the port's line and
// "Server prüfen"; and the toolkit's dialogs in German. The file itself is
// tst_konfiguration's.

class TestEinstellungen : public QObject
{
    Q_OBJECT

    PtyPair _pty; // a port the system does not list, offered through the seam

private slots:
    void initTestCase()
    {
        QVERIFY(_pty.ok());
        Portliste::setZusatz({ _pty.slavePath() });
    }

    // Each row: config.json before (none: null), the folder it lies in (a
    // regular file there: it cannot be written), and the file saved or the
    // start of the dialog's error. The officer picks the pty and wertung 3.
    void speichern_data()
    {
        QTest::addColumn<QByteArray>("vorher");
        QTest::addColumn<QString>("ordner");
        QTest::addColumn<QString>("danach");
        const QString neu = R"("url":"http://localhost:8080/quilvo","jwt":"","port":"%pty","wertung":3,)"
                            R"("teilergrenze":13,"drucker":1,"ca":""})";
        QTest::newRow("unknown keys kept") << QByteArray(R"({"x":[1],"port":"COM9","wertung":"7"})") << ""
                                           << R"({"x":[1],)" + neu;
        QTest::newRow("no file yet") << QByteArray() << ""
                                     << "{" + neu;
        QTest::newRow("folder is a file") << QByteArray() << "datei"
                                          << "Die Einstellungen konnten nicht gespeichert werden: ";
    }
    void speichern()
    {
        QFETCH(QByteArray, vorher);
        QFETCH(QString, ordner);
        QFETCH(QString, danach);
        QTemporaryDir dir;
        const auto schreibe = [](const QString &pfad, const QByteArray &inhalt) {
            QFile datei(pfad);
            return datei.open(QIODevice::WriteOnly) && datei.write(inhalt) == inhalt.size();
        };
        const auto lies = [](const QString &pfad) {
            QFile datei(pfad);
            return datei.open(QIODevice::ReadOnly) ? datei.readAll() : QByteArray();
        };
        QVERIFY(ordner.isEmpty() || schreibe(dir.filePath(ordner), "x"));
        const QString pfad = dir.filePath(ordner.isEmpty() ? "config.json" : ordner + "/config.json");
        // A second name for the old file: it keeps the old content when the
        // new file is put in place instead of being written over.
        QVERIFY(
            vorher.isNull()
            || (schreibe(pfad, vorher) && ::link(qPrintable(pfad), qPrintable(dir.filePath("alt"))) == 0));

        Konfiguration k = Konfiguration::lesen(pfad);
        QStringList gesehen; // path, port description, error
        QTimer::singleShot(0, this, [&] {
            auto *d = qobject_cast<Einstellungen *>(QApplication::activeModalWidget());
            QVERIFY(d);
            auto *port = d->findChild<QComboBox *>("port");
            port->setCurrentIndex(port->findText(_pty.slavePath()));
            d->findChild<QSpinBox *>("wertung")->setValue(3);
            d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
            for (const char *name : { "pfad", "portInfo", "fehler" })
                gesehen << d->findChild<QLabel *>(name)->text();
            if (d->isVisible()) // after a failure the dialog stays open
                d->reject();
        });
        const bool gespeichert = Einstellungen::bearbeiten(nullptr, pfad, &k);
        QCOMPARE(gesehen.mid(0, 2), QStringList({ pfad, "Gefundener Port, ohne Beschreibung." }));
        QCOMPARE(gespeichert, gesehen.value(2).isEmpty());
        QVERIFY2(gespeichert || gesehen.value(2).startsWith(danach), qPrintable(gesehen.value(2)));
        // The caller gets the values saved, or keeps its own.
        QCOMPARE(QStringList({ k.port, QString::number(k.wertung) }),
                 gespeichert ? QStringList({ _pty.slavePath(), "3" }) : QStringList({ "COM1", "5" }));
        if (gespeichert)
            QCOMPARE(QJsonDocument::fromJson(lies(pfad)).object(),
                     QJsonDocument::fromJson(danach.replace("%pty", _pty.slavePath()).toUtf8()).object());
        QCOMPARE(lies(dir.filePath("alt")), vorher);
        // Nothing left over beside the file and its second name.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), vorher.isNull() ? 1 : 2);
    }

    // The line below the message of a port that would not open: the reason,
    // then the ports there are, the pty among them.
    void portFehler_data()
    {
        QTest::addColumn<QString>("port"); // empty: the pty, held by another link
        QTest::addColumn<QString>("grund");
        QTest::newRow("missing") << "/dev/kovrit-fehlt"
                                 << "Der Port ist nicht vorhanden. ";
        QTest::newRow("busy") << ""
                              << "Der Port ist belegt (ein anderes Programm benutzt ihn). ";
    }
    void portFehler()
    {
        QFETCH(QString, port);
        QFETCH(QString, grund);
        MaschineRm3 haelt(_pty.slavePath());
        haelt.verbinden();
        MaschineRm3 m(port.isEmpty() ? _pty.slavePath() : port);
        QSignalSpy fehler(&m, &MaschineRm3::verbindungsFehler);
        m.verbinden();
        const QString zeile = fehler.value(0).value(0).toString().section(QLatin1Char('\n'), 1);
        QVERIFY2(zeile.startsWith(grund + "Vorhandene Ports: ") && zeile.endsWith(_pty.slavePath() + "."),
                 qPrintable(zeile));
    }

    // "Server prüfen" asks with the URL and token as they stand in the
    // dialog, and answers in the dialog's words: never with the start-up
    // text, which sends the officer to config.json and a restart.
    void serverPruefen_data()
    {
        QTest::addColumn<int>("status"); // 0: connection refused
        QTest::addColumn<QByteArray>("kopf");
        QTest::addColumn<QString>("antwort"); // %1: the refused port
        QTest::newRow("three competitions") << 200 << QByteArray() << "Verbindung in Ordnung, 3 Wettkämpfe";
        QTest::newRow("refused") << 0 << QByteArray()
                                 << "Server nicht erreichbar: 127.0.0.1:%1 nimmt keine Verbindung an.";
        QTest::newRow("token refused")
            << 401 << QByteArray()
            << "Token abgelehnt: der Server kennt dieses Stations-Token nicht (oder es ist abgelaufen).";
        QTest::newRow("redirect")
            << 301 << QByteArray("Location: https://neu.example/quilvo/wettkampfe\r\n")
            << "Keine Wettkampfliste: Der Server leitet auf "
               "https://neu.example/quilvo/wettkampfe um; kovrit folgt keiner Umleitung.";
    }
    void serverPruefen()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, kopf);
        QFETCH(QString, antwort);
        RecordingHttpServer http;
        QVERIFY(http.listen());
        http.setAnswer(status, R"([{"id":1,"name":"A"},{"id":2,"name":"B"},{"id":3,"name":"C"}])");
        http.setHeaders(kopf);
        const QString frei = QString::number(RecordingHttpServer::refusedPort());
        Einstellungen d(nullptr, "config.json", Konfiguration());
        d.findChild<QLineEdit *>("url")->setText(status ? http.baseUrl() : "http://127.0.0.1:" + frei);
        d.findChild<QLineEdit *>("jwt")->setText("neu");
        d.findChild<QPushButton *>("serverPruefen")->click();
        auto *text = d.findChild<QLabel *>("serverStatus");
        QTRY_VERIFY_WITH_TIMEOUT(!text->text().startsWith("Frage den Server"), 10000);
        QCOMPARE(text->text(), antwort.replace("%1", frei));
        QCOMPARE(http.lastRequest().headers.value("authorization"), QByteArray(status ? "Bearer neu" : ""));
    }

    // The toolkit's own texts are German (qt6-translations-l10n), and the
    // PDF of card 1005 is offered as Scheibe-1005.pdf in Documents, then in
    // the folder the last one went to.
    void deutschUndPdf()
    {
        QVERIFY2(Sprache::deutsch(qApp), "qtbase_de.qm missing: apt-get install qt6-translations-l10n");
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));

        QTemporaryDir home;
        const QByteArray vorher = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        QVERIFY(QDir(home.path()).mkpath("Dokumente/Ablage"));
        QFile orte(home.filePath(".config/user-dirs.dirs"));
        QVERIFY(QDir(home.path()).mkpath(".config") && orte.open(QIODevice::WriteOnly));
        orte.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        orte.close();
        struct : Kartenfluss::Anschluss
        {
            quint32 abrufen(quint32) override { return 1; }
            quint32 uebermitteln(quint32, const ServiceProvider::Treffer *, quint32) override { return 0; }
            bool einstellen(const Kartenfluss::Einstellung &) override { return true; }
            void karteBeenden() override { }
            void schuesseVergessen() override { }
            void wiederholen() override { }
        } anschluss;
        Kartenfluss fluss(anschluss);
        fluss.angemeldet();
        fluss.nummerEingegeben(1005, 1);
        ServiceProvider::Scheibe karte;
        karte.id = 7;
        karte.waffenTyp = 1;
        karte.schussProScheibe = 1;
        karte.teilerFaktor = 1.0;
        fluss.scheibeErhalten(1, karte);
        QMainWindow fenster;
        Nebenansichten neben(fluss, &fenster);
        neben.richteMenuesEin(fenster.menuBar()->addMenu("Datei"), nullptr, fenster.menuBar(), nullptr);
        ScheibenLayout raster;
        QVERIFY(raster.setLayout(1, ScheibenLayout::Lg, 1.0));
        neben.setRaster(&raster, "Wettkampf");
        QStringList angeboten; // file, the label of the folder
        for (const QString &ziel : { home.filePath("Dokumente/Ablage/a.pdf"), home.filePath("b.pdf") }) {
            QTimer::singleShot(0, this, [&] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                angeboten << dialog->selectedFiles().value(0)
                          << dialog->findChild<QLabel *>("lookInLabel")->text();
                dialog->selectFile(ziel);
                static_cast<QDialog *>(dialog)->accept(); // as the officer's "Speichern"
            });
            fenster.findChild<QAction *>("pdf")->trigger();
            QVERIFY(QFileInfo(ziel).size() > 0);
        }
        qputenv("HOME", vorher);
        QCOMPARE(angeboten,
                 QStringList({ home.filePath("Dokumente/Scheibe-1005.pdf"), "Suchen in:",
                               home.filePath("Dokumente/Ablage/Scheibe-1005.pdf"), "Suchen in:" }));
        QCOMPARE(fenster.findChild<QAction *>("pdf")->shortcut(), QKeySequence("Ctrl+Shift+P"));
    }
};

QTEST_MAIN(TestEinstellungen)
#include "tst_einstellungen.moc"

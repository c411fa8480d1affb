#include "app/einstellungen.h"
#include "app/konfiguration.h"
#include "common/ptypair.h"
#include "machine/maschine.h"
#include "machine/portliste.h"
#include "server/recordinghttpserver.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

// The settings dialog: config.json written through it, the port's line and
// "Server prüfen". The file itself is tst_konfiguration's.

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

    // "Server prüfen" asks with the URL and token as they stand in the dialog.
    void serverPruefen_data()
    {
        QTest::addColumn<int>("status"); // 0: connection refused
        QTest::addColumn<QString>("antwort");
        QTest::newRow("two competitions") << 200 << "Der Server antwortet: 2 Wettkämpfe.";
        // The failure's words are the server client's.
        QTest::newRow("refused") << 0 << "Netzwerkfehler!";
    }
    void serverPruefen()
    {
        QFETCH(int, status);
        QFETCH(QString, antwort);
        RecordingHttpServer http;
        QVERIFY(http.listen());
        http.setAnswer(200, R"([{"id":1,"name":"A"},{"id":2,"name":"B"}])");
        const QString frei = QString::number(RecordingHttpServer::refusedPort());
        Einstellungen d(nullptr, "config.json", Konfiguration());
        d.findChild<QLineEdit *>("url")->setText(status ? http.baseUrl() : "http://127.0.0.1:" + frei);
        d.findChild<QLineEdit *>("jwt")->setText("neu");
        d.findChild<QPushButton *>("serverPruefen")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(d.findChild<QLabel *>("serverStatus")->text().startsWith(antwort),
                                  qPrintable(d.findChild<QLabel *>("serverStatus")->text()), 10000);
        QCOMPARE(http.lastRequest().headers.value("authorization"), QByteArray(status ? "Bearer neu" : ""));
    }
};

QTEST_MAIN(TestEinstellungen)
#include "tst_einstellungen.moc"

#include "app/konfiguration.h"
#include "kovritserver.h"
#include "server/serviceprovider.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A club server behind HTTPS with a certificate the club issued itself
// (tests/server/tls, made by scripts/make-test-certs.sh), over real TLS on
// 127.0.0.1.
class TestTls : public QObject
{
    Q_OBJECT

    const QString tls = QStringLiteral(KOVRIT_TLS_DIR "/");

private slots:
    void connection_data()
    {
        QTest::addColumn<QString>("zertifikat"); // the server's
        QTest::addColumn<QString>("ca"); // config.json "ca", relative to the config's directory
        QTest::addColumn<QString>("grund"); // second line of the error box; empty: the request works
        QTest::newRow("club certificate trusted") << "server"
                                                  << "ca.pem" << QString();
        QTest::newRow("no ca")
            << "server" << QString()
            << "Der Aussteller des Serverzertifikats ist unbekannt (das Zertifikat des Vereins "
               "in config.json unter \"ca\" eintragen).";
        QTest::newRow("wrong host name") << "anderer"
                                         << "ca.pem"
                                         << "Das Zertifikat des Servers gilt nicht für den Namen 127.0.0.1.";
    }

    void connection()
    {
        QFETCH(QString, zertifikat);
        QFETCH(QString, ca);
        QFETCH(QString, grund);
        QTemporaryDir dir;
        KovritServer server;
        QVERIFY(server.open(dir.filePath(QStringLiteral("server.sqlite"))));
        server.setStationToken(QStringLiteral("station"));
        server.addCompetition(QStringLiteral("Kreismeisterschaft"));
        QVERIFY2(server.setTls(tls + zertifikat + ".pem", tls + zertifikat + ".key"),
                 qPrintable(server.errorString()));
        QVERIFY(server.listen());
        QVERIFY(server.baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));

        QFile config(dir.filePath(QStringLiteral("config.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"url": "%1", "jwt": "station", "ca": "%2"})")
                         .arg(server.baseUrl(), ca.isEmpty() ? QString() : QStringLiteral("certs/") + ca)
                         .toUtf8());
        config.close();
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("certs")));
        QVERIFY(QFile::copy(tls + "ca.pem", dir.filePath(QStringLiteral("certs/ca.pem"))));
        QStringList probleme;
        const Konfiguration k = Konfiguration::lesen(config.fileName(), &probleme);
        QCOMPARE(probleme, QStringList());
        QCOMPARE(k.zertifikate.size(), ca.isEmpty() ? 0 : 1);

        ServiceProvider client;
        client.init(k.url, k.jwt);
        client.setZertifikate(k.zertifikate);
        QSignalSpy liste(&client, &ServiceProvider::wettkampfe);
        QSignalSpy fehler(&client, &ServiceProvider::requestError);
        client.getWettkampfe();
        QTRY_COMPARE(liste.size() + fehler.size(), 1);
        if (grund.isEmpty()) {
            using Liste = QList<QPair<quint32, QString>>;
            QCOMPARE(liste.at(0).at(0).value<Liste>().size(), 1);
        } else {
            // Certificate errors are never ignored: nothing reached the server.
            QCOMPARE(fehler.at(0).at(0).toString(),
                     QStringLiteral("Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT Einstellungen in "
                                    "'config.json' und starten Sie das Programm neu! (6)\n")
                         + grund);
        }
    }

    // A "ca" that cannot be used is a problem of config.json like any other,
    // and the system's certificates still apply.
    void unusableCa_data()
    {
        QTest::addColumn<QByteArray>("inhalt"); // of certs/ca.pem; empty: no such file
        QTest::addColumn<QString>("grund");
        QTest::newRow("missing") << QByteArray() << "ist nicht vorhanden";
        QTest::newRow("no certificate")
            << QByteArray("-----BEGIN NOTHING-----\n") << "enthält kein PEM-Zertifikat";
    }

    void unusableCa()
    {
        QFETCH(QByteArray, inhalt);
        QFETCH(QString, grund);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("certs")));
        if (!inhalt.isEmpty()) {
            QFile pem(dir.filePath(QStringLiteral("certs/ca.pem")));
            QVERIFY(pem.open(QIODevice::WriteOnly) && pem.write(inhalt) == inhalt.size());
        }
        QFile config(dir.filePath(QStringLiteral("config.json")));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write(R"({"ca": "certs/ca.pem"})") > 0);
        config.close();
        QStringList probleme;
        const Konfiguration k = Konfiguration::lesen(config.fileName(), &probleme);
        QCOMPARE(probleme,
                 QStringList {
                     QStringLiteral("\"ca\": %1 %2; der Server wird nur mit den Zertifikaten des Systems "
                                    "geprüft.")
                         .arg(dir.filePath(QStringLiteral("certs/ca.pem")), grund) });
        QVERIFY(k.zertifikate.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"

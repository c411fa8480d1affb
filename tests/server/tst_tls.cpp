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
// 127.0.0.1, with "ca" read from config.json as at start.
class TestTls : public QObject
{
    Q_OBJECT

private slots:
    void connection_data()
    {
        QTest::addColumn<QString>("zertifikat"); // the server's
        QTest::addColumn<QString>("ca"); // config.json "ca", relative to the config's folder
        QTest::addColumn<QString>("problem"); // reported for config.json
        QTest::addColumn<QString>("grund"); // below the failure text; empty: the request works
        const QString unbekannt
            = "Der Aussteller des Serverzertifikats ist unbekannt (das Zertifikat des Vereins "
              "in config.json unter \"ca\" eintragen).";
        QTest::newRow("club certificate trusted") << "server"
                                                  << "certs/ca.pem"
                                                  << ""
                                                  << "";
        QTest::newRow("no ca") << "server"
                               << ""
                               << "" << unbekannt;
        QTest::newRow("wrong host name") << "anderer"
                                         << "certs/ca.pem"
                                         << ""
                                         << "Das Zertifikat des Servers gilt nicht für den Namen 127.0.0.1.";
        QTest::newRow("ca missing") << "server"
                                    << "certs/fehlt.pem"
                                    << "ist nicht vorhanden" << unbekannt;
        QTest::newRow("ca without a certificate") << "server"
                                                  << "certs/leer.pem"
                                                  << "enthält kein PEM-Zertifikat" << unbekannt;
    }

    void connection()
    {
        QFETCH(QString, zertifikat);
        QFETCH(QString, ca);
        QFETCH(QString, problem);
        QFETCH(QString, grund);
        const QString tls = QStringLiteral(KOVRIT_TLS_DIR "/");
        QTemporaryDir dir;
        KovritServer server;
        QVERIFY(server.open(dir.filePath(QStringLiteral("server.sqlite"))));
        server.setStationToken(QStringLiteral("station"));
        server.addCompetition(QStringLiteral("Kreismeisterschaft"));
        QVERIFY2(server.setTls(tls + zertifikat + ".pem", tls + zertifikat + ".key"),
                 qPrintable(server.errorString()));
        QVERIFY(server.listen());
        QVERIFY(server.baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));

        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("certs")));
        QVERIFY(QFile::copy(tls + "ca.pem", dir.filePath(QStringLiteral("certs/ca.pem"))));
        QFile leer(dir.filePath(QStringLiteral("certs/leer.pem")));
        QVERIFY(leer.open(QIODevice::WriteOnly) && leer.write("-----BEGIN NOTHING-----\n") > 0);
        QFile config(dir.filePath(QStringLiteral("config.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"url": "%1", "jwt": "station", "ca": "%2"})")
                         .arg(server.baseUrl(), ca)
                         .toUtf8());
        config.close();
        QStringList probleme;
        const Konfiguration k = Konfiguration::lesen(config.fileName(), &probleme);
        QCOMPARE(probleme.join(QString()),
                 problem.isEmpty()
                     ? QString()
                     : QStringLiteral("\"ca\": %1 %2; der Server wird nur mit den Zertifikaten des "
                                      "Systems geprüft.")
                           .arg(dir.filePath(ca), problem));

        ServiceProvider client;
        client.init(k.url, k.jwt);
        client.setZertifikate(k.zertifikate);
        QSignalSpy liste(&client, &ServiceProvider::wettkampfe);
        QSignalSpy fehler(&client, &ServiceProvider::requestError);
        client.getWettkampfe();
        QTRY_COMPARE(liste.size() + fehler.size(), 1);
        // Certificate errors are never ignored: nothing reached the server.
        QCOMPARE(fehler.isEmpty() ? QString() : fehler.at(0).at(0).toString(),
                 grund.isEmpty()
                     ? QString()
                     : QStringLiteral("Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT "
                                      "Einstellungen in 'config.json' und starten Sie das Programm "
                                      "neu! (6)\n")
                         + grund);
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"

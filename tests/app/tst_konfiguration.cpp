#include "app/konfiguration.h"

#include <QTemporaryDir>
#include <QTest>

class TestKonfiguration : public QObject
{
    Q_OBJECT

private slots:
    void builtInValues()
    {
        const Konfiguration k = Konfiguration::lesen(QStringLiteral("/nonexistent/config.json"));
        QCOMPARE(k.url, QStringLiteral("http://localhost:8080/quilvo"));
        QCOMPARE(k.jwt, QString());
        QCOMPARE(k.port, QStringLiteral("COM1"));
        QCOMPARE(k.wertung, 5);
        QCOMPARE(k.teilergrenze, 13);
        QCOMPARE(k.drucker, 1);
    }

    void rules_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("jwt");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("wertung");
        QTest::addColumn<int>("teilergrenze");
        QTest::addColumn<int>("drucker");

        const QString url = QStringLiteral("http://localhost:8080/quilvo");
        QTest::newRow("only port") << QByteArray("{\"port\":\"/dev/ttyUSB0\"}") << url << ""
                                   << "/dev/ttyUSB0" << 5 << 13 << 1;
        QTest::newRow("everything") << QByteArray(
            "{\"url\":\"http://h:1/"
            "q\",\"jwt\":\"abc\",\"port\":\"COM3\",\"wertung\":4,\"teilergrenze\":99,\"drucker\":0,\"x\":1}")
                                    << "http://h:1/q"
                                    << "abc"
                                    << "COM3" << 4 << 99 << 0;
        QTest::newRow("empty strings count") << QByteArray("{\"url\":\"\",\"port\":\"\"}") << ""
                                             << ""
                                             << "" << 5 << 13 << 1;
        QTest::newRow("digits as string") << QByteArray("{\"wertung\":\"7\"}") << url << ""
                                          << "COM1" << 5 << 13 << 1;
        QTest::newRow("whole double") << QByteArray("{\"drucker\":2.0}") << url << ""
                                      << "COM1" << 5 << 13 << 2;
        QTest::newRow("fraction") << QByteArray("{\"drucker\":2.5}") << url << ""
                                  << "COM1" << 5 << 13 << 1;
        QTest::newRow("beyond 32 bits") << QByteArray("{\"teilergrenze\":4294967296}") << url << ""
                                        << "COM1" << 5 << 13 << 1;
        QTest::newRow("int32 edges") << QByteArray("{\"wertung\":-2147483648,\"drucker\":2147483647}") << url
                                     << ""
                                     << "COM1" << int(-2147483648LL) << 13 << 2147483647;
        QTest::newRow("no range test here") << QByteArray("{\"wertung\":12}") << url << ""
                                            << "COM1" << 12 << 13 << 1;
        QTest::newRow("wrong types") << QByteArray(
            "{\"url\":5,\"jwt\":null,\"port\":[\"COM2\"],\"drucker\":true}")
                                     << url << ""
                                     << "COM1" << 5 << 13 << 1;
        QTest::newRow("array") << QByteArray("[{\"port\":\"COM2\"}]") << url << ""
                               << "COM1" << 5 << 13 << 1;
        QTest::newRow("not json") << QByteArray("port=COM2") << url << ""
                                  << "COM1" << 5 << 13 << 1;
        QTest::newRow("empty file") << QByteArray() << url << ""
                                    << "COM1" << 5 << 13 << 1;
    }

    void rules()
    {
        QFETCH(QByteArray, json);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("config.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(json);
        file.close();

        const Konfiguration k = Konfiguration::lesen(file.fileName());
        QTEST(k.url, "url");
        QTEST(k.jwt, "jwt");
        QTEST(k.port, "port");
        QTEST(k.wertung, "wertung");
        QTEST(k.teilergrenze, "teilergrenze");
        QTEST(k.drucker, "drucker");
    }
};

QTEST_GUILESS_MAIN(TestKonfiguration)
#include "tst_konfiguration.moc"

#include "app/konfiguration.h"

#include <QTemporaryDir>
#include <QTest>

class TestKonfiguration : public QObject
{
    Q_OBJECT

private slots:
    // Each row: config.json's content (or a path instead of a written file;
    // ".": the directory itself) and the values that differ from the
    // built-in ones. Whatever is unusable falls back to the built-in value.
    void lesen_data()
    {
        QTest::addColumn<QByteArray>("inhalt");
        QTest::addColumn<QString>("pfad");
        QTest::addColumn<QVariantMap>("anders");
        const auto zeile = [](const char *name, const QByteArray &inhalt, const QVariantMap &anders = {},
                              const QString &pfad = {}) { QTest::newRow(name) << inhalt << pfad << anders; };
        QByteArray binaer;
        for (int i = 0; i < 4096; ++i)
            binaer += char(i * 31);

        zeile("no file", {}, {}, QStringLiteral("/nonexistent/config.json"));
        zeile("only port", "{\"port\":\"/dev/ttyUSB0\"}", { { "port", "/dev/ttyUSB0" } });
        zeile("everything",
              "{\"url\":\"http://h:1/q\",\"jwt\":\"abc\",\"port\":\"COM3\",\"wertung\":4,\"teilergrenze\":99,"
              "\"drucker\":0,\"x\":1}",
              { { "url", "http://h:1/q" },
                { "jwt", "abc" },
                { "port", "COM3" },
                { "wertung", 4 },
                { "teilergrenze", 99 },
                { "drucker", 0 } });
        zeile("empty strings count", "{\"url\":\"\",\"port\":\"\"}", { { "url", "" }, { "port", "" } });
        zeile("whole double", "{\"drucker\":2.0}", { { "drucker", 2 } });
        zeile("fraction", "{\"drucker\":2.5}");
        zeile("beyond 32 bits", "{\"teilergrenze\":4294967296}");
        zeile("int32 edges", "{\"wertung\":-2147483648,\"drucker\":2147483647}",
              { { "wertung", int(-2147483648LL) }, { "drucker", 2147483647 } });
        zeile("no range test here", "{\"wertung\":12}", { { "wertung", 12 } });
        zeile("wrong types",
              "{\"url\":[1],\"jwt\":null,\"port\":{},\"wertung\":\"7\",\"drucker\":true,\"teilergrenze\":"
              "\"13\"}");
        zeile("array", "[{\"port\":\"COM2\"}]");
        zeile("not json", "port=COM2");
        zeile("empty file", {});
        zeile("binary", binaer);
        zeile("huge", "{\"port\":\"COM7\",\"x\":\"" + QByteArray(100000, 'x') + "\"}");
        zeile("endless", {}, {}, QStringLiteral("/dev/zero"));
        zeile("a directory", {}, {}, QStringLiteral("."));
    }

    void lesen()
    {
        QFETCH(QByteArray, inhalt);
        QFETCH(QString, pfad);
        QFETCH(QVariantMap, anders);
        QTemporaryDir dir;
        if (pfad.isEmpty()) {
            QFile file(pfad = dir.filePath(QStringLiteral("config.json")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(inhalt);
        } else if (pfad == QLatin1String(".")) {
            pfad = dir.path();
        }
        const Konfiguration k = Konfiguration::lesen(pfad);
        QCOMPARE(k.url, anders.value("url", "http://localhost:8080/quilvo").toString());
        QCOMPARE(k.jwt, anders.value("jwt", "").toString());
        QCOMPARE(k.port, anders.value("port", "COM1").toString());
        QCOMPARE(k.wertung, anders.value("wertung", 5).toInt());
        QCOMPARE(k.teilergrenze, anders.value("teilergrenze", 13).toInt());
        QCOMPARE(k.drucker, anders.value("drucker", 1).toInt());
    }
};

QTEST_GUILESS_MAIN(TestKonfiguration)
#include "tst_konfiguration.moc"

#include "app/konfiguration.h"

#include <QTemporaryDir>
#include <QTest>

class TestKonfiguration : public QObject
{
    Q_OBJECT

private slots:
    // Each row: config.json's content (or a path instead of a written file;
    // ".": the directory itself), the values that differ from the built-in
    // ones, and the problems reported. Whatever is unusable falls back to the
    // built-in value and is named with it.
    void lesen_data()
    {
        QTest::addColumn<QByteArray>("inhalt");
        QTest::addColumn<QString>("pfad");
        QTest::addColumn<QVariantMap>("anders");
        QTest::addColumn<QStringList>("probleme");
        const auto zeile = [](const char *name, const QByteArray &inhalt, const QVariantMap &anders = {},
                              const QStringList &probleme = {}, const QString &pfad = {}) {
            QTest::newRow(name) << inhalt << pfad << anders << probleme;
        };
        const auto ganz = [](const QStringList &problem) {
            return problem
                + QStringList {
                      "Verwendet werden die eingebauten Werte: url \"http://localhost:8080/quilvo\", "
                      "jwt \"\", port \"COM1\", wertung 5, teilergrenze 13, drucker 1."
                  };
        };
        const auto ungueltig = [](const char *key, const char *wert, const char *erlaubt, const char *statt) {
            return QStringLiteral("\"%1\": %2 ist ungültig (erlaubt: %3); verwendet wird %4.")
                .arg(key, wert, erlaubt, statt);
        };
        const QStringList zuGross = ganz({ "Die Datei ist größer als 64 KiB und wurde nicht gelesen." });
        QByteArray binaer;
        for (int i = 0; i < 4096; ++i)
            binaer += char(i * 31);

        zeile("no file", {}, {}, ganz({ "Die Datei ist nicht vorhanden." }),
              QStringLiteral("/nonexistent/config.json"));
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
        zeile("whole double", "{\"drucker\":9.0,\"wertung\":0}", { { "drucker", 9 }, { "wertung", 0 } });
        zeile("fraction", "{\"drucker\":2.5}", {},
              { ungueltig("drucker", "2.5", "ganze Zahl von 0 bis 9", "1") });
        zeile("beyond 32 bits", "{\"teilergrenze\":4294967296}", {},
              { ungueltig("teilergrenze", "4294967296", "ganze Zahl von 0 bis 99", "13") });
        zeile("out of range", "{\"wertung\":10,\"teilergrenze\":100,\"drucker\":-1}", {},
              { ungueltig("wertung", "10", "ganze Zahl von 0 bis 9", "5"),
                ungueltig("teilergrenze", "100", "ganze Zahl von 0 bis 99", "13"),
                ungueltig("drucker", "-1", "ganze Zahl von 0 bis 9", "1") });
        zeile("wrong types",
              "{\"url\":[1],\"jwt\":null,\"port\":{},\"wertung\":\"7\",\"drucker\":true,\"teilergrenze\":"
              "\"13\"}",
              {},
              { ungueltig("url", "[1]", "Text", "\"http://localhost:8080/quilvo\""),
                ungueltig("jwt", "null", "Text", "\"\""), ungueltig("port", "{}", "Text", "\"COM1\""),
                ungueltig("wertung", "\"7\"", "ganze Zahl von 0 bis 9", "5"),
                ungueltig("teilergrenze", "\"13\"", "ganze Zahl von 0 bis 99", "13"),
                ungueltig("drucker", "true", "ganze Zahl von 0 bis 9", "1") });
        zeile("array", "[{\"port\":\"COM2\"}]", {}, ganz({ "Die Datei enthält kein JSON-Objekt { … }." }));
        // Lines and columns as an editor counts them: "ä" is one column.
        zeile("comma missing", "{\n  \"jwt\": \"ä\" \"port\": \"COM2\"\n}", {},
              ganz({ "JSON-Syntaxfehler in Zeile 2, Spalte 14." }));
        zeile("comma too many", "{\"port\": \"COM2\",\r\n}\r\n", {},
              ganz({ "JSON-Syntaxfehler in Zeile 2, Spalte 1." }));
        zeile("not json", "port=COM2", {}, ganz({ "JSON-Syntaxfehler in Zeile 1, Spalte 1." }));
        zeile("empty file", {}, {}, ganz({ "JSON-Syntaxfehler in Zeile 1, Spalte 1." }));
        zeile("binary", binaer, {}, ganz({ "JSON-Syntaxfehler in Zeile 1, Spalte 1." }));
        zeile("huge", "{\"port\":\"COM7\",\"x\":\"" + QByteArray(100000, 'x') + "\"}", {}, zuGross);
        zeile("endless", {}, {}, zuGross, QStringLiteral("/dev/zero"));
        zeile("a directory", {}, {}, ganz({ "Die Datei kann nicht gelesen werden." }), QStringLiteral("."));
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
        QStringList probleme;
        const Konfiguration k = Konfiguration::lesen(pfad, &probleme);
        QTEST(probleme, "probleme");
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

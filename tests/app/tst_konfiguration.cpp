#include "app/konfiguration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// config.json as the file system has it: read at start, written by the
// settings dialog. A FIFO in a row that hangs shows up as the test's timeout.

namespace {

// Puts at `pfad` what a row names: nothing ("keine"), a file with `inhalt`,
// a folder, a FIFO, a listening socket, a link to /dev/null ("geraet") or to
// itself ("kreis"). "link-X" puts X at echt.json and links `pfad` to it.
bool lege(QString art, const QString &pfad, const QByteArray &inhalt, QLocalServer &socket)
{
    QString ort = pfad;
    if (art.startsWith(QLatin1String("link-"))) {
        art = art.mid(5);
        ort = QFileInfo(pfad).dir().filePath(QStringLiteral("echt.json"));
        if (::symlink("echt.json", qPrintable(pfad)) != 0)
            return false;
    }
    QFile datei(ort);
    return art == "keine" || (art == "datei" && datei.open(QIODevice::WriteOnly) && datei.write(inhalt) >= 0)
        || (art == "ordner" && QDir().mkdir(ort)) || (art == "fifo" && ::mkfifo(qPrintable(ort), 0600) == 0)
        || (art == "socket" && socket.listen(ort))
        || (art == "geraet" && ::symlink("/dev/null", qPrintable(ort)) == 0)
        || (art == "kreis" && ::symlink("config.json", qPrintable(ort)) == 0);
}

} // namespace

class TestKonfiguration : public QObject
{
    Q_OBJECT

private slots:
    // Each row: what config.json is, its content, the values that differ
    // from the built-in ones, and the problems reported. Whatever is
    // unusable falls back to the built-in value and is named with it.
    void lesen_data()
    {
        QTest::addColumn<QString>("art");
        QTest::addColumn<QByteArray>("inhalt");
        QTest::addColumn<QVariantMap>("anders");
        QTest::addColumn<QStringList>("probleme");
        const auto zeile = [](const char *name, const QByteArray &inhalt, const QVariantMap &anders = {},
                              const QStringList &probleme = {}, const QString &art = "datei") {
            QTest::newRow(name) << art << inhalt << anders << probleme;
        };
        const auto ganz = [](const QString &problem) {
            return QStringList {
                problem,
                "Verwendet werden die eingebauten Werte: url \"http://localhost:8080/quilvo\", "
                "jwt \"\", port \"COM1\", wertung 5, teilergrenze 13, drucker 1, ca \"\"."
            };
        };
        const auto ungueltig = [](const char *key, const char *wert, const char *erlaubt, const char *statt) {
            return QStringLiteral("\"%1\": %2 ist ungültig (erlaubt: %3); verwendet wird %4.")
                .arg(key, wert, erlaubt, statt);
        };
        const auto keine = [&](const char *sondern) {
            return ganz(
                QStringLiteral("Die Datei kann nicht gelesen werden: sie ist keine gewöhnliche Datei, "
                               "sondern %1.")
                    .arg(sondern));
        };

        zeile("no file", {}, {}, ganz("Die Datei ist nicht vorhanden."), "keine");
        zeile("everything",
              "{\"url\":\"http://h:1/q\",\"jwt\":\"abc\",\"port\":\"COM3\",\"wertung\":4,\"teilergrenze\":99,"
              "\"drucker\":0,\"x\":1}",
              { { "url", "http://h:1/q" },
                { "jwt", "abc" },
                { "port", "COM3" },
                { "wertung", 4 },
                { "teilergrenze", 99 },
                { "drucker", 0 } },
              { "'x' ist unbekannt und wird nicht verwendet." });
        // Typed by hand, a key meant for the table; another program's keys
        // are named without a guess, and not at any length or number.
        const auto unbekannt = [](const QString &name) {
            return QStringLiteral("'%1' ist unbekannt und wird nicht verwendet.").arg(name);
        };
        zeile("unknown keys",
              "{\"URL\":\"http://h:1/q\",\"Port\":\"COM3\",\"wertnug\":3,\"drucke\":2,\"tielergrenze\":1,"
              "\"cas\":\"\",\"xyz\":1,\"\\u0007"
                  + QByteArray(50, 'y') + "\":1}",
              {},
              { unbekannt(QString(40, 'y') + "…"), "'Port' ist unbekannt – gemeint ist 'port'?",
                "'URL' ist unbekannt – gemeint ist 'url'?", "'cas' ist unbekannt – gemeint ist 'ca'?",
                "'drucke' ist unbekannt – gemeint ist 'drucker'?",
                "'tielergrenze' ist unbekannt – gemeint ist 'teilergrenze'?",
                "'wertnug' ist unbekannt – gemeint ist 'wertung'?", unbekannt("xyz") });
        QStringList elf;
        for (int i = 0; i < 10; ++i)
            elf << unbekannt(QStringLiteral("k%1").arg(i));
        zeile(
            "eleven unknown keys",
            R"({"k0":0,"k1":0,"k2":0,"k3":0,"k4":0,"k5":0,"k6":0,"k7":0,"k8":0,"k9":0,"port":"COM2","k_":0})",
            { { "port", "COM2" } }, elf << "Weitere unbekannte Schlüssel: 1.");
        zeile("empty strings count", "{\"url\":\"\",\"port\":\"\"}", { { "url", "" }, { "port", "" } });
        zeile("above the range, fraction, beyond 32 bits",
              "{\"wertung\":10,\"teilergrenze\":4294967296,\"drucker\":2.5}", {},
              { ungueltig("wertung", "10", "ganze Zahl von 0 bis 9", "5"),
                ungueltig("teilergrenze", "4294967296", "ganze Zahl von 0 bis 99", "13"),
                ungueltig("drucker", "2.5", "ganze Zahl von 0 bis 9", "1") });
        zeile("wrong types, too low", "{\"url\":[1],\"jwt\":null,\"wertung\":\"7\",\"drucker\":-1}", {},
              { ungueltig("url", "[1]", "Text", "\"http://localhost:8080/quilvo\""),
                ungueltig("jwt", "null", "Text", "\"\""),
                ungueltig("wertung", "\"7\"", "ganze Zahl von 0 bis 9", "5"),
                ungueltig("drucker", "-1", "ganze Zahl von 0 bis 9", "1") });
        zeile("array", "[{\"port\":\"COM2\"}]", {}, ganz("Die Datei enthält kein JSON-Objekt { … }."));
        // Lines and columns as an editor counts them: "ä" is one column.
        zeile("comma missing", "{\n  \"jwt\": \"ä\" \"port\": \"COM2\"\n}", {},
              ganz("JSON-Syntaxfehler in Zeile 2, Spalte 14."));
        zeile("a key behind U+FEFF", "{\"\xef\xbb\xbfport\":\"COM2\"}", { { "port", "COM2" } });
        zeile("over 64 KiB", "{\"port\":\"COM2\"}" + QByteArray(64 * 1024, ' '), {},
              ganz("Die Datei ist größer als 64 KiB und wurde nicht gelesen."));
        zeile("a link to a file", "{\"port\":\"COM2\"}", { { "port", "COM2" } }, {}, "link-datei");
        zeile("a dangling link", {}, {}, ganz("Die Datei ist nicht vorhanden."), "link-keine");
        zeile("a directory", {}, {}, keine("ein Ordner"), "ordner");
        zeile("a FIFO", {}, {}, keine("eine benannte Pipe (FIFO)"), "fifo");
        zeile("a link to a FIFO", {}, {}, keine("eine benannte Pipe (FIFO)"), "link-fifo");
        zeile("a socket", {}, {}, keine("ein Socket"), "socket");
        zeile("a device", {}, {}, keine("ein Gerät"), "geraet");
    }

    void lesen()
    {
        QFETCH(QString, art);
        QFETCH(QByteArray, inhalt);
        QFETCH(QVariantMap, anders);
        QTemporaryDir dir;
        QLocalServer socket;
        const QString pfad = dir.filePath(QStringLiteral("config.json"));
        QVERIFY(lege(art, pfad, inhalt, socket));
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

    // "ca" names something that is no file: reported like a missing one.
    void zertifikate_data()
    {
        QTest::addColumn<QString>("art");
        QTest::addColumn<QString>("grund");
        QTest::newRow("a FIFO") << "fifo"
                                << "ist keine gewöhnliche Datei, sondern eine benannte Pipe (FIFO)";
        QTest::newRow("a device") << "geraet"
                                  << "ist keine gewöhnliche Datei, sondern ein Gerät";
    }
    void zertifikate()
    {
        QFETCH(QString, art);
        QFETCH(QString, grund);
        QTemporaryDir dir;
        QLocalServer socket;
        QVERIFY(lege(art, dir.filePath("ca.pem"), {}, socket));
        QList<QSslCertificate> zertifikate;
        QCOMPARE(
            Konfiguration::zertifikateLesen("ca.pem", dir.filePath("config.json"), &zertifikate),
            QStringLiteral("\"ca\": %1 %2; der Server wird nur mit den Zertifikaten des Systems geprüft.")
                .arg(dir.filePath("ca.pem"), grund));
        QVERIFY(zertifikate.isEmpty());
    }

    // Each row: what config.json is (an old file has the mode given, and an
    // unknown key), and the mode of the file written, or the error's end.
    void schreiben_data()
    {
        QTest::addColumn<QString>("art");
        QTest::addColumn<int>("vorher");
        QTest::addColumn<int>("danach");
        QTest::addColumn<QString>("fehler");
        QTest::newRow("new file: the owner's only") << "keine" << 0 << 0600 << "";
        QTest::newRow("old file keeps its mode") << "datei" << 0664 << 0664 << "";
        QTest::newRow("link: its target written") << "link-datei" << 0640 << 0640 << "";
        QTest::newRow("dangling link: target made") << "link-keine" << 0 << 0600 << "";
        QTest::newRow("FIFO") << "fifo" << 0 << 0
                              << "ist keine gewöhnliche Datei, sondern eine benannte Pipe (FIFO)";
        QTest::newRow("link to a FIFO")
            << "link-fifo" << 0 << 0 << "ist keine gewöhnliche Datei, sondern eine benannte Pipe (FIFO)";
        QTest::newRow("directory") << "ordner" << 0 << 0 << "ist keine gewöhnliche Datei, sondern ein Ordner";
        QTest::newRow("link to itself") << "kreis" << 0 << 0 << "ist eine Verknüpfung, die im Kreis führt";
    }
    void schreiben()
    {
        QFETCH(QString, art);
        QFETCH(int, vorher);
        QFETCH(int, danach);
        QFETCH(QString, fehler);
        QTemporaryDir dir;
        QLocalServer socket;
        const QString pfad = dir.filePath(QStringLiteral("config.json"));
        const QString echt = art.startsWith("link-") ? dir.filePath("echt.json") : pfad;
        // The BOM is invisible in an editor; "port" must not end up twice.
        QVERIFY(lege(art, pfad, "{\"x\":1,\"\xef\xbb\xbfport\":\"COM9\"}", socket));
        QVERIFY(!vorher || ::chmod(qPrintable(echt), mode_t(vorher)) == 0);
        const QStringList vorherIm = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);

        Konfiguration k;
        k.port = QStringLiteral("COM2");
        const QString antwort = k.schreiben(pfad);
        QVERIFY2(fehler.isEmpty() ? antwort.isEmpty()
                                  : antwort.endsWith(fehler + ". Die Datei bleibt unverändert."),
                 qPrintable(antwort));
        // Nothing left beside it, nothing put in place of a link or a FIFO.
        QStringList imOrdner = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);
        QStringList erwartet = vorherIm;
        if (art.endsWith("keine"))
            erwartet << QFileInfo(echt).fileName();
        imOrdner.sort();
        erwartet.sort();
        QCOMPARE(imOrdner, erwartet);
        QCOMPARE(QFileInfo(pfad).isSymLink(), art.startsWith("link-") || art == "kreis");
        if (!fehler.isEmpty())
            return;
        struct stat st;
        QCOMPARE(::stat(qPrintable(echt), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), danach);
        QFile datei(echt);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        const QByteArray geschrieben = datei.readAll();
        QCOMPARE(Konfiguration::auswerten(geschrieben, pfad).port, QStringLiteral("COM2"));
        QCOMPARE(geschrieben.contains("\"x\": 1"), art.endsWith("datei"));
    }
};

QTEST_GUILESS_MAIN(TestKonfiguration)
#include "tst_konfiguration.moc"

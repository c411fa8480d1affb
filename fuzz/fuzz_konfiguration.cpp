// libFuzzer target for config.json: arbitrary bytes through
// Konfiguration::auswerten (the reader behind lesen()), then through
// inhalt(), what schreiben() would put in their place. A plain JSON parse
// says which keys must be taken and which reported; what is written must read
// back as the same values and keep every key the table does not know.
//
// "ca" is looked up beside a config.json in a folder that holds a FIFO, a
// folder and a PEM file without a certificate: a reader that opens the FIFO
// hangs, and libFuzzer reports the hang.

#include "app/konfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace {

QString pfad; // config.json in the folder made by LLVMFuzzerInitialize

[[noreturn]] void fehler(const char *was)
{
    std::fprintf(stderr, "fuzz_konfiguration: %s\n", was);
    std::abort();
}

bool gleich(const Konfiguration &a, const Konfiguration &b)
{
    return a.url == b.url && a.jwt == b.jwt && a.port == b.port && a.wertung == b.wertung
        && a.teilergrenze == b.teilergrenze && a.drucker == b.drucker && a.ca == b.ca;
}

QJsonObject ohneTabelle(QJsonObject objekt)
{
    for (const Konfiguration::Schluessel &s : Konfiguration::schluessel())
        objekt.remove(QLatin1String(s.name));
    return objekt;
}

// The value a key must get from `v`, and whether `v` must be reported.
bool erwarte(const Konfiguration::Schluessel &s, const QJsonValue &v, Konfiguration *k)
{
    if (v.isUndefined())
        return false;
    if (s.text) {
        if (v.isString())
            k->*s.text = v.toString();
        return !v.isString();
    }
    const double d = v.isDouble() ? v.toDouble() : -1e300;
    const bool ganz = d >= s.min && d <= s.max && double(int(d)) == d;
    if (ganz)
        k->*s.zahl = int(d);
    return !ganz;
}

bool caGemeldet(const Konfiguration &k, const QStringList &probleme)
{
    return !k.ca.isEmpty() && k.zertifikate.isEmpty() && !probleme.isEmpty()
        && probleme.last().startsWith(QLatin1String("\"ca\": "));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QTemporaryDir dir;
    QFile leer(dir.filePath(QStringLiteral("leer.pem")));
    if (!dir.isValid()
        || ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600) != 0
        || !QDir(dir.path()).mkdir(QStringLiteral("ordner")) || !leer.open(QIODevice::WriteOnly)
        || leer.write("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n") <= 0)
        fehler("cannot set up the folder");
    pfad = dir.filePath(QStringLiteral("config.json"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList probleme;
    const Konfiguration k = Konfiguration::auswerten(body, pfad, &probleme);
    Konfiguration::bericht(pfad, probleme);

    QJsonParseError syntax;
    const QJsonDocument dokument = QJsonDocument::fromJson(body, &syntax);
    // What Qt's own writer and reader make of the object: Qt 6.4 drops a
    // U+FEFF at the start of a key on the way, and the file as an editor
    // shows it is what counts.
    const QJsonObject objekt = QJsonDocument::fromJson(QJsonDocument(dokument.object()).toJson()).object();
    Konfiguration erwartet;
    qsizetype gemeldet = 0;
    if (!dokument.isObject()) {
        if (probleme.size() != 2 || !probleme.last().startsWith(QLatin1String("Verwendet werden")))
            fehler("a file that is no JSON object not reported in two lines");
        if ((syntax.error != QJsonParseError::NoError)
            != probleme.first().startsWith(QLatin1String("JSON-Syntax")))
            fehler("syntax error reported wrongly");
        gemeldet = 2;
    }
    for (const Konfiguration::Schluessel &s : Konfiguration::schluessel()) {
        if (!erwarte(s, objekt.value(QLatin1String(s.name)), &erwartet))
            continue;
        const QString anfang = QLatin1Char('"') + QLatin1String(s.name) + QStringLiteral("\": ");
        if (!probleme.value(gemeldet++).startsWith(anfang))
            fehler("an unusable key not reported in its place");
    }
    if (!gleich(k, erwartet))
        fehler("a value differs from the plain parse");
    if (k.wertung < 0 || k.wertung > 9 || k.teilergrenze < 0 || k.teilergrenze > 99 || k.drucker < 0
        || k.drucker > 9)
        fehler("a code out of its range");
    if (!k.zertifikate.isEmpty() && k.ca.isEmpty())
        fehler("certificates without ca");
    if (probleme.size() != gemeldet + (caGemeldet(k, probleme) ? 1 : 0))
        fehler("problems reported that the plain parse does not see");

    // What the settings dialog would write reads back as it was, unknown keys
    // and all, without a problem but the certificate's.
    const QByteArray geschrieben = k.inhalt(body);
    QStringList danach;
    const Konfiguration wieder = Konfiguration::auswerten(geschrieben, pfad, &danach);
    if (!gleich(wieder, k))
        fehler("written values read back differently");
    if (danach.size() != (caGemeldet(wieder, danach) ? 1 : 0))
        fehler("written file has problems");
    if (ohneTabelle(QJsonDocument::fromJson(geschrieben).object()) != ohneTabelle(objekt))
        fehler("unknown keys lost or changed");
    return 0;
}

// libFuzzer target for the server side: arbitrary bodies through the card,
// competition-list and login readers of ServiceProvider. Whatever the body,
// the defaults the rest of the client relies on must hold and the card's
// totals must agree with its hits.

#include "server/servertext.h"
#include "server/serviceprovider.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

[[noreturn]] void fehler(const char *was)
{
    std::fprintf(stderr, "fuzz_server: %s\n", was);
    std::abort();
}

bool datumOk(const QString &text)
{
    return text == QLatin1String("---") || text.size() == 16;
}

void pruefeScheibe(const QByteArray &body)
{
    const ServiceProvider::Scheibe s = ServiceProvider::leseScheibe(body);
    if (s.waffenTyp != 1 && s.waffenTyp != 2)
        fehler("waffenTyp neither 1 nor 2");
    if (!(s.teilerFaktor > 0.0) || !std::isfinite(s.teilerFaktor))
        fehler("teilerFaktor not a finite positive number");
    if (!datumOk(s.wertungsdatum) || !datumOk(s.kaufdatum))
        fehler("date text malformed");

    double ganze = 0.0, zehntel = 0.0;
    for (const ServiceProvider::Treffer &t : s.treffer) {
        if (t.valid()) {
            ganze += std::trunc(t.ringe);
            zehntel += t.ringe;
        }
    }
    if (s.ringe < 0 || s.ringe != qint32(qBound(0.0, ganze, double(std::numeric_limits<qint32>::max()))))
        fehler("card rings differ from its hits");
    if (!(s.zehntel == zehntel || (std::isnan(s.zehntel) && std::isnan(zehntel))))
        fehler("card tenths differ from its hits");

    // Every hit is kept, whatever it holds, up to the card's positions.
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonObject top = doc.isObject() ? doc.object() : QJsonObject();
    const QJsonValue treffer = top.value(QStringLiteral("treffer"));
    const qsizetype geschickt = treffer.isArray() ? treffer.toArray().size() : 0;
    if (s.treffer.size()
        != (s.schussProScheibe >= 0 ? qMin(geschickt, qsizetype(s.schussProScheibe)) : geschickt))
        fehler("hits lost or invented");
    // No text reaches a widget unbounded or with control characters.
    for (const QString &text : QStringList { s.schuetze, s.verein, s.mannschaft, s.waffe } + s.wettbewerbe) {
        if (text.size() > Servertext::MaxLaenge)
            fehler("a text longer than the bound");
        for (const QChar c : text)
            if (c.category() == QChar::Other_Control || c == QChar(0x202e) || c == QChar(0x2067))
                fehler("a control character in a text");
    }
    if (s.wettbewerbe.size() > ServiceProvider::MaxWettbewerbe)
        fehler("more competitions on a card than the bound");
    if (s.id == 0 && top.value(QStringLiteral("id")).toDouble() >= 1.0
        && top.value(QStringLiteral("id")).toDouble() <= 2147483647.0
        && std::trunc(top.value(QStringLiteral("id")).toDouble())
            == top.value(QStringLiteral("id")).toDouble())
        fehler("a plain card id was not read");
}

void pruefeWettkampfe(const QByteArray &body)
{
    const auto liste = ServiceProvider::leseWettkampfe(body);
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (liste.size()
        != qMin(doc.isArray() ? doc.array().size() : 0, qsizetype(ServiceProvider::MaxWettkaempfe)))
        fehler("competitions lost or invented");
}

void pruefeLogin(const QByteArray &body)
{
    const QString token = ServiceProvider::leseLogin(body);
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonValue jwt = doc.isObject() ? doc.object().value(QStringLiteral("jwt")) : QJsonValue();
    if (token != (jwt.isString() ? jwt.toString() : QString()))
        fehler("token differs from the reply's jwt text");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    pruefeScheibe(body);
    pruefeWettkampfe(body);
    pruefeLogin(body);
    return 0;
}

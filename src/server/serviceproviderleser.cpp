#include "server/serviceprovider.h"

#include "server/servertext.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <limits>

// The readers of the reply bodies, apart from the requests: they see only
// bytes, so fuzzers and tests feed them anything.

namespace {

// The server's replies are read leniently: a member that is missing or has
// another type takes a fixed default, and no content is ever an error.

int readInt(const QJsonValue &value, int fallback)
{
    if (!value.isDouble())
        return fallback;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        return fallback;
    if (d < std::numeric_limits<qint32>::min() || d > std::numeric_limits<qint32>::max())
        return fallback;
    return static_cast<int>(d);
}

double readReal(const QJsonValue &value, double fallback)
{
    return value.isDouble() ? value.toDouble() : fallback;
}

// Every text of the server reaches a label, the printout or the shooter's
// display; none comes through unbounded or with control characters.
QString readText(const QJsonValue &value)
{
    return value.isString() ? Servertext::bereinigt(value.toString()) : QString();
}

QJsonObject readObject(const QJsonValue &value)
{
    return value.isObject() ? value.toObject() : QJsonObject();
}

QJsonArray readArray(const QJsonValue &value)
{
    return value.isArray() ? value.toArray() : QJsonArray();
}

QJsonObject parseObject(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject();
}

QJsonArray parseArray(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isArray() ? doc.array() : QJsonArray();
}

} // namespace

QString ServiceProvider::toDatumString(double seconds)
{
    // The server's timestamps are whole seconds since 1970 in an unsigned
    // 32-bit field; anything else is wrapped the way such a field would be.
    double t = std::trunc(seconds);
    if (!std::isfinite(t))
        t = 0.0;
    t = std::fmod(t, 4294967296.0);
    if (t < 0.0)
        t += 4294967296.0;
    const quint32 count = static_cast<quint32>(t);
    if (count == 0)
        return QStringLiteral("---");
    return QDateTime::fromSecsSinceEpoch(count, Qt::LocalTime).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
}

QString ServiceProvider::leseLogin(const QByteArray &body)
{
    // The token is checked as it came, never cleaned into something else.
    const QJsonValue jwt = parseObject(body).value(QStringLiteral("jwt"));
    return jwt.isString() ? jwt.toString() : QString();
}

QList<QPair<quint32, QString>> ServiceProvider::leseWettkampfe(const QByteArray &body)
{
    QList<QPair<quint32, QString>> list;
    const QJsonArray entries = parseArray(body);
    for (const QJsonValue &entry : entries) {
        if (list.size() == MaxWettkaempfe) {
            qInfo() << "ServiceProvider::leseWettkampfe: only the first" << MaxWettkaempfe << "of"
                    << entries.size() << "competitions taken";
            break;
        }
        const QJsonObject o = readObject(entry);
        list.append(qMakePair(static_cast<quint32>(readInt(o.value(QStringLiteral("id")), 0)),
                              readText(o.value(QStringLiteral("name")))));
    }
    return list;
}

ServiceProvider::Scheibe ServiceProvider::leseScheibe(const QByteArray &body)
{
    const QJsonObject top = parseObject(body);
    Scheibe s;
    s.id = static_cast<quint32>(readInt(top.value(QStringLiteral("id")), 0));
    s.ringe = 0;
    s.zehntel = 0.0;
    s.wertungsdatum = toDatumString(readReal(top.value(QStringLiteral("timestamp")), 0.0));

    const QJsonObject serie = readObject(top.value(QStringLiteral("serie")));
    s.serieRinge = readInt(serie.value(QStringLiteral("ringe")), 0);
    s.serieZehntel = readReal(serie.value(QStringLiteral("zehntel")), 0.0);
    s.kaufdatum = toDatumString(readReal(serie.value(QStringLiteral("timestamp")), 0.0));

    const QJsonObject schuetze = readObject(serie.value(QStringLiteral("schutze")));
    s.schuetzeId = readInt(schuetze.value(QStringLiteral("id")), 0);
    s.schuetze = readText(schuetze.value(QStringLiteral("name")));
    s.verein = readText(readObject(schuetze.value(QStringLiteral("verein"))).value(QStringLiteral("name")));

    s.mannschaft
        = readText(readObject(serie.value(QStringLiteral("mannschaft"))).value(QStringLiteral("name")));

    // The server's weapon id doubles as the face type: 2 is air pistol,
    // everything else is drawn as air rifle.
    const QJsonObject waffe = readObject(serie.value(QStringLiteral("waffe")));
    s.waffenTyp = readInt(waffe.value(QStringLiteral("id")), 0) == 2 ? 2 : 1;
    s.schussProScheibe = readInt(waffe.value(QStringLiteral("schussProScheibe")), 10);
    s.teilerFaktor = readReal(waffe.value(QStringLiteral("teilerFaktor")), 1.0);
    if (!(s.teilerFaktor > 0.0))
        s.teilerFaktor = 1.0; // the Teiler is divided by it
    s.scheibenProSerie = readInt(waffe.value(QStringLiteral("scheibenProSerie")), 1);
    s.waffe = readText(waffe.value(QStringLiteral("name")));

    const QJsonArray wettbewerbe = readArray(serie.value(QStringLiteral("wettbewerbe")));
    for (const QJsonValue &w : wettbewerbe) {
        if (s.wettbewerbe.size() == MaxWettbewerbe)
            break;
        s.wettbewerbe.append(readText(readObject(w).value(QStringLiteral("name"))));
    }

    // Hits beyond the card's positions belong to no target; counted, they
    // would make the totals and the question of stored hits absurd.
    const QJsonArray treffer = readArray(top.value(QStringLiteral("treffer")));
    for (const QJsonValue &v : treffer) {
        if (s.schussProScheibe >= 0 && s.treffer.size() >= s.schussProScheibe)
            break;
        const QJsonObject o = readObject(v);
        Treffer t;
        t.x = readReal(o.value(QStringLiteral("x")), 0.0);
        t.y = readReal(o.value(QStringLiteral("y")), 0.0);
        t.ringe = readReal(o.value(QStringLiteral("r")), -1.0);
        t.teiler = readReal(o.value(QStringLiteral("t")), -1.0);
        s.treffer.append(t);
    }

    // Each hit counts with its whole rings; 10.5 and 9.6 make 19, not 20.
    double ganze = 0.0;
    for (const Treffer &t : qAsConst(s.treffer)) {
        if (t.ringe >= 0.0) {
            ganze += std::trunc(t.ringe);
            s.zehntel += t.ringe;
        }
    }
    // Absurd ring values from a broken server must not overflow the total.
    s.ringe = static_cast<qint32>(qBound(0.0, ganze, double(std::numeric_limits<qint32>::max())));

    return s;
}

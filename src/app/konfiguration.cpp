#include "app/konfiguration.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

void leseText(const QJsonObject &objekt, const char *key, QString &wert)
{
    const QJsonValue v = objekt.value(QLatin1String(key));
    if (v.isString())
        wert = v.toString();
}

// Only a whole number in the signed 32-bit range counts; "5", 2.5 or 2^32
// keep the built-in code rather than sending the machine something odd.
void leseGanzzahl(const QJsonObject &objekt, const char *key, int &wert)
{
    const QJsonValue v = objekt.value(QLatin1String(key));
    if (!v.isDouble())
        return;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < std::numeric_limits<qint32>::min()
        || d > std::numeric_limits<qint32>::max())
        return;
    wert = static_cast<int>(d);
}

} // namespace

Konfiguration Konfiguration::lesen(const QString &pfad)
{
    Konfiguration k;
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly | QIODevice::Text))
        return k;
    const QByteArray inhalt = datei.read(MaxGroesse + 1);
    if (inhalt.size() > MaxGroesse) {
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + " over" << MaxGroesse << "bytes, not read";
        return k;
    }
    const QJsonObject objekt = QJsonDocument::fromJson(inhalt).object();
    leseText(objekt, "url", k.url);
    leseText(objekt, "jwt", k.jwt);
    leseText(objekt, "port", k.port);
    leseGanzzahl(objekt, "wertung", k.wertung);
    leseGanzzahl(objekt, "teilergrenze", k.teilergrenze);
    leseGanzzahl(objekt, "drucker", k.drucker);
    return k;
}

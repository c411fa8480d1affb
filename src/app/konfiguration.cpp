#include "app/konfiguration.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace {

// A value as it stands in the file, shortened for a message box.
QString jsonText(const QJsonValue &wert)
{
    QString text = QString::fromUtf8(QJsonDocument(QJsonArray { wert }).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

QString vorgabeText(const Konfiguration::Schluessel &s)
{
    return s.text ? jsonText(QString::fromUtf8(s.vorgabeText)) : QString::number(s.vorgabeZahl);
}

QString erlaubt(const Konfiguration::Schluessel &s)
{
    return s.text ? QStringLiteral("Text") : QStringLiteral("ganze Zahl von %1 bis %2").arg(s.min).arg(s.max);
}

QString alleVorgaben()
{
    QStringList werte;
    for (const Konfiguration::Schluessel &s : Konfiguration::schluessel())
        werte << QLatin1String(s.name) + QLatin1Char(' ') + vorgabeText(s);
    return QStringLiteral("Verwendet werden die eingebauten Werte: %1.")
        .arg(werte.join(QStringLiteral(", ")));
}

} // namespace

const QList<Konfiguration::Schluessel> &Konfiguration::schluessel()
{
    static const QList<Schluessel> _tabelle = {
        { "url", &Konfiguration::url, nullptr, "http://localhost:8080/quilvo", 0, 0, 0 },
        { "jwt", &Konfiguration::jwt, nullptr, "", 0, 0, 0 },
        { "port", &Konfiguration::port, nullptr, "COM1", 0, 0, 0 },
        { "wertung", nullptr, &Konfiguration::wertung, nullptr, 5, 0, 9 },
        { "teilergrenze", nullptr, &Konfiguration::teilergrenze, nullptr, 13, 0, 99 },
        { "drucker", nullptr, &Konfiguration::drucker, nullptr, 1, 0, 9 },
        { "ca", &Konfiguration::ca, nullptr, "", 0, 0, 0 },
    };
    return _tabelle;
}

Konfiguration::Konfiguration()
{
    for (const Schluessel &s : schluessel()) {
        if (s.text)
            this->*s.text = QString::fromUtf8(s.vorgabeText);
        else
            this->*s.zahl = s.vorgabeZahl;
    }
}

Konfiguration Konfiguration::lesen(const QString &pfad, QStringList *probleme)
{
    Konfiguration k;
    QStringList verworfen;
    QStringList &p = probleme ? *probleme : verworfen;
    QFile datei(pfad);
    if (!datei.exists()) {
        p << QStringLiteral("Die Datei ist nicht vorhanden.") << alleVorgaben();
        return k;
    }
    QByteArray inhalt;
    if (datei.open(QIODevice::ReadOnly | QIODevice::Text))
        inhalt = datei.read(MaxGroesse + 1);
    if (datei.error() != QFileDevice::NoError) {
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + ": " + datei.errorString();
        p << QStringLiteral("Die Datei kann nicht gelesen werden.") << alleVorgaben();
        return k;
    }
    if (inhalt.size() > MaxGroesse) {
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + " over" << MaxGroesse << "bytes, not read";
        p << QStringLiteral("Die Datei ist größer als %1 KiB und wurde nicht gelesen.").arg(MaxGroesse / 1024)
          << alleVorgaben();
        return k;
    }

    QJsonParseError fehler;
    const QJsonDocument dokument = QJsonDocument::fromJson(inhalt, &fehler);
    if (fehler.error != QJsonParseError::NoError) {
        // The parser gives the byte just after the one it could not take; an
        // editor counts lines and characters.
        const QByteArray davor = inhalt.left(qMax(0, fehler.offset - 1));
        const qsizetype zeilenAnfang = davor.lastIndexOf('\n') + 1;
        p << QStringLiteral("JSON-Syntaxfehler in Zeile %1, Spalte %2.")
                 .arg(davor.count('\n') + 1)
                 .arg(QString::fromUtf8(davor.mid(zeilenAnfang)).size() + 1)
          << alleVorgaben();
        return k;
    }
    if (!dokument.isObject()) {
        p << QStringLiteral("Die Datei enthält kein JSON-Objekt { … }.") << alleVorgaben();
        return k;
    }

    const QJsonObject objekt = dokument.object();
    for (const Schluessel &s : schluessel()) {
        const QJsonValue v = objekt.value(QLatin1String(s.name));
        if (v.isUndefined())
            continue;
        if (s.text && v.isString()) {
            k.*s.text = v.toString(); // an empty text is a value too
            continue;
        }
        // Only a whole number in the key's range counts; "5", 2.5 or 12 for
        // a one-digit code keep the built-in code rather than sending the
        // machine something odd.
        const double d = v.toDouble();
        if (s.zahl && v.isDouble() && d == std::floor(d) && d >= s.min && d <= s.max) {
            k.*s.zahl = static_cast<int>(d);
            continue;
        }
        p << QStringLiteral("\"%1\": %2 ist ungültig (erlaubt: %3); verwendet wird %4.")
                 .arg(QLatin1String(s.name), jsonText(v), erlaubt(s), vorgabeText(s));
    }
    if (!k.ca.isEmpty()) {
        const QString problem = zertifikateLesen(k.ca, pfad, &k.zertifikate);
        if (!problem.isEmpty())
            p << problem;
    }
    return k;
}

QString Konfiguration::zertifikateLesen(const QString &datei, const QString &pfad,
                                        QList<QSslCertificate> *zertifikate)
{
    zertifikate->clear();
    const QString name = QFileInfo(pfad).dir().absoluteFilePath(datei);
    QFile pem(name);
    QByteArray inhalt;
    if (pem.open(QIODevice::ReadOnly))
        inhalt = pem.read(MaxGroesse + 1);
    QString grund;
    if (!pem.exists())
        grund = QStringLiteral("ist nicht vorhanden");
    else if (pem.error() != QFileDevice::NoError)
        grund = QStringLiteral("kann nicht gelesen werden");
    else if (inhalt.size() > MaxGroesse
             || (*zertifikate = QSslCertificate::fromData(inhalt, QSsl::Pem)).isEmpty())
        grund = QStringLiteral("enthält kein PEM-Zertifikat");
    if (grund.isEmpty())
        return {};
    zertifikate->clear();
    qInfo().noquote() << "Konfiguration::zertifikateLesen: " + name + ": " + grund;
    return QStringLiteral("\"ca\": %1 %2; der Server wird nur mit den Zertifikaten des Systems geprüft.")
        .arg(name, grund);
}

QString Konfiguration::bericht(const QString &pfad, const QStringList &probleme)
{
    QString text = QStringLiteral("Die Einstellungsdatei %1 ist nicht in Ordnung:\n")
                       .arg(QFileInfo(pfad).absoluteFilePath());
    for (const QString &problem : probleme)
        text += QStringLiteral("• ") + problem + QLatin1Char('\n');
    return text + QStringLiteral("Die Einstellungen lassen sich unter „Datei“ → „Einstellungen…“ ändern.");
}

QString Konfiguration::schreiben(const QString &pfad) const
{
    // Keys of other programs or of later versions stay as they are.
    QJsonObject objekt;
    QFile alt(pfad);
    if (alt.open(QIODevice::ReadOnly))
        objekt = QJsonDocument::fromJson(alt.read(MaxGroesse + 1)).object();
    for (const Schluessel &s : schluessel())
        objekt.insert(QLatin1String(s.name), s.text ? QJsonValue(this->*s.text) : QJsonValue(this->*s.zahl));
    const QByteArray json = QJsonDocument(objekt).toJson(QJsonDocument::Indented);

    // QSaveFile writes beside the file and renames at the end, so a full disk
    // or a crash leaves the old file, never half a new one.
    QSaveFile datei(pfad);
    if (datei.open(QIODevice::WriteOnly) && datei.write(json) == json.size() && datei.commit())
        return {};
    qInfo().noquote() << "Konfiguration::schreiben: " + pfad + ": " + datei.errorString();
    return QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: %1 lässt sich nicht schreiben "
                          "(Ordner schreibgeschützt oder nicht vorhanden?). Die Datei bleibt unverändert. "
                          "Systemmeldung: %2")
        .arg(QFileInfo(pfad).absoluteFilePath(), datei.errorString());
}

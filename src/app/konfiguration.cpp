#include "app/konfiguration.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// What stands at `name` if it is not a regular file (after following links),
// as the end of a German sentence; empty for a regular file or nothing at all.
QString keineDatei(const QString &name)
{
    const QFileInfo info(name);
    if (!info.exists() || info.isFile())
        return {};
    QString art = info.isDir() ? QStringLiteral("ein Ordner") : QString();
#ifdef Q_OS_UNIX
    struct stat st;
    if (art.isEmpty() && ::stat(QFile::encodeName(name).constData(), &st) == 0)
        art = S_ISFIFO(st.st_mode)                       ? QStringLiteral("eine benannte Pipe (FIFO)")
            : S_ISSOCK(st.st_mode)                       ? QStringLiteral("ein Socket")
            : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("ein Gerät")
                                                         : QString();
#endif
    return QStringLiteral("keine gewöhnliche Datei") + (art.isEmpty() ? QString() : ", sondern " + art);
}

enum class Gelesen { Ja, Fehlt, KeineDatei, Nein };

// Reads at most MaxGroesse + 1 bytes of a regular file. A FIFO would block
// open() and read() for good, and a device is not even opened: opening a
// serial port can reset what hangs on it. O_NONBLOCK and the check after
// opening cover a file swapped for a FIFO in between.
Gelesen leseDatei(const QString &name, QByteArray *inhalt, QString *grund)
{
    if (!QFileInfo::exists(name))
        return Gelesen::Fehlt;
    *grund = keineDatei(name);
    if (!grund->isEmpty())
        return Gelesen::KeineDatei;
    QFile datei(name);
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        *grund = QStringLiteral("keine gewöhnliche Datei");
        return Gelesen::KeineDatei;
    }
    const bool offen = fd >= 0 && datei.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (fd < 0)
        *grund = qt_error_string(errno);
#else
    const bool offen = datei.open(QIODevice::ReadOnly);
#endif
    if (offen)
        *inhalt = datei.read(Konfiguration::MaxGroesse + 1);
    if (offen && datei.error() == QFileDevice::NoError)
        return Gelesen::Ja;
    if (grund->isEmpty())
        *grund = datei.errorString();
    return Gelesen::Nein;
}

// Qt 6.4 hands out a key that starts with U+FEFF without that character, but
// value() does not find it by that name, and the writer drops it too: the
// key read as "port" would not count, and written beside the real "port" it
// would stand twice in the file. Rebuilt key by key, the object holds each
// key as an editor shows it.
QJsonObject objektAus(const QJsonDocument &dokument)
{
    const QJsonObject roh = dokument.object();
    QJsonObject objekt;
    for (auto it = roh.begin(); it != roh.end(); ++it)
        objekt.insert(it.key(), it.value());
    return objekt;
}

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

// True when `b` is `a` with one letter changed, added or left out, or two
// neighbours swapped: the typos of a key typed by hand.
bool einBuchstabe(QStringView a, QStringView b)
{
    if (a.size() < b.size())
        std::swap(a, b);
    if (a.size() - b.size() > 1)
        return false;
    qsizetype i = 0;
    while (i < b.size() && a[i] == b[i])
        ++i;
    if (a.size() > b.size())
        return a.mid(i + 1) == b.mid(i);
    return a.mid(i + 1) == b.mid(i + 1)
        || (i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.mid(i + 2) == b.mid(i + 2));
}

// A key of the file, fit for one line of a message box.
QString schluesselText(QString name)
{
    name.removeIf([](QChar c) { return !c.isPrint(); });
    return name.size() > 40 ? name.left(40) + QStringLiteral("…") : name;
}

// One line for each key that is not in the table, with the key likely meant.
// The keys stay in the file (schreiben keeps them), so another program's
// keys are named too, without a guess; a file full of them is summed up.
QStringList unbekannteSchluessel(const QJsonObject &objekt)
{
    constexpr int MaxZeilen = 10;
    QStringList zeilen;
    int weitere = 0;
    for (auto it = objekt.begin(); it != objekt.end(); ++it) {
        const QString name = it.key();
        const auto &tabelle = Konfiguration::schluessel();
        if (std::any_of(tabelle.cbegin(), tabelle.cend(),
                        [&](const Konfiguration::Schluessel &s) { return name == QLatin1String(s.name); }))
            continue;
        if (zeilen.size() == MaxZeilen) {
            ++weitere;
            continue;
        }
        const QString klein = name.toLower();
        const auto gemeint
            = std::find_if(tabelle.cbegin(), tabelle.cend(), [&](const Konfiguration::Schluessel &s) {
                  return einBuchstabe(klein, QString::fromLatin1(s.name));
              });
        zeilen
            << (gemeint == tabelle.cend()
                    ? QStringLiteral("'%1' ist unbekannt und wird nicht verwendet.").arg(schluesselText(name))
                    : QStringLiteral("'%1' ist unbekannt – gemeint ist '%2'?")
                          .arg(schluesselText(name), QLatin1String(gemeint->name)));
    }
    if (weitere > 0)
        zeilen << QStringLiteral("Weitere unbekannte Schlüssel: %1.").arg(weitere);
    return zeilen;
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
    QStringList verworfen;
    QStringList &p = probleme ? *probleme : verworfen;
    QByteArray inhalt;
    QString grund;
    switch (leseDatei(pfad, &inhalt, &grund)) {
    case Gelesen::Ja:
        break;
    case Gelesen::Fehlt:
        p << QStringLiteral("Die Datei ist nicht vorhanden.") << alleVorgaben();
        return {};
    case Gelesen::KeineDatei:
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + " is not a regular file, not read";
        p << QStringLiteral("Die Datei kann nicht gelesen werden: sie ist %1.").arg(grund) << alleVorgaben();
        return {};
    case Gelesen::Nein:
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + ": " + grund;
        p << QStringLiteral("Die Datei kann nicht gelesen werden.") << alleVorgaben();
        return {};
    }
    if (inhalt.size() > MaxGroesse) {
        qInfo().noquote() << "Konfiguration::lesen: " + pfad + " over" << MaxGroesse << "bytes, not read";
        p << QStringLiteral("Die Datei ist größer als %1 KiB und wurde nicht gelesen.").arg(MaxGroesse / 1024)
          << alleVorgaben();
        return {};
    }
    Konfiguration k = auswerten(inhalt, pfad, probleme);
    p << unbekannteSchluessel(objektAus(QJsonDocument::fromJson(inhalt)));
    return k;
}

Konfiguration Konfiguration::auswerten(const QByteArray &inhalt, const QString &pfad, QStringList *probleme)
{
    Konfiguration k;
    QStringList verworfen;
    QStringList &p = probleme ? *probleme : verworfen;
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

    const QJsonObject objekt = objektAus(dokument);
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
    QByteArray inhalt;
    QString grund;
    switch (leseDatei(name, &inhalt, &grund)) {
    case Gelesen::Ja:
        if (inhalt.size() > MaxGroesse
            || (*zertifikate = QSslCertificate::fromData(inhalt, QSsl::Pem)).isEmpty())
            grund = QStringLiteral("enthält kein PEM-Zertifikat");
        break;
    case Gelesen::Fehlt:
        grund = QStringLiteral("ist nicht vorhanden");
        break;
    case Gelesen::KeineDatei:
        grund = QStringLiteral("ist ") + grund;
        break;
    case Gelesen::Nein:
        grund = QStringLiteral("kann nicht gelesen werden");
        break;
    }
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

QByteArray Konfiguration::inhalt(const QByteArray &alt) const
{
    // Keys of other programs or of later versions stay as they are.
    QJsonObject objekt = objektAus(QJsonDocument::fromJson(alt));
    for (const Schluessel &s : schluessel())
        objekt.insert(QLatin1String(s.name), s.text ? QJsonValue(this->*s.text) : QJsonValue(this->*s.zahl));
    return QJsonDocument(objekt).toJson(QJsonDocument::Indented);
}

QString Konfiguration::schreiben(const QString &pfad) const
{
    const auto nicht = [](const QString &ziel, const QString &grund) {
        qInfo().noquote() << "Konfiguration::schreiben: " + ziel + ": " + grund;
        return QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: %1. Die Datei bleibt "
                              "unverändert.")
            .arg(grund);
    };
    // A station may keep config.json as a link to a file elsewhere; the
    // link stays and what it points to is replaced, even if that is missing.
    // QSaveFile follows links itself, but gives up on a loop and would then
    // put a file in place of the link.
    QString ziel = QFileInfo(pfad).absoluteFilePath();
    for (int tiefe = 0; QFileInfo(ziel).isSymLink(); ++tiefe) {
        if (tiefe == 40)
            return nicht(ziel,
                         QFileInfo(pfad).absoluteFilePath() + " ist eine Verknüpfung, die im Kreis führt");
        ziel = QFileInfo(ziel).symLinkTarget();
    }

    QByteArray alt;
    QString grund;
    const Gelesen gelesen = leseDatei(ziel, &alt, &grund);
    if (gelesen == Gelesen::KeineDatei)
        return nicht(ziel, ziel + " ist " + grund);
    const QByteArray json = inhalt(alt);

    // QSaveFile writes beside the file and renames at the end, so a full disk
    // or a crash leaves the old file, never half a new one. The new file
    // gets the old one's mode; a first one holds the token, so it is the
    // owner's alone, whatever the umask.
    QSaveFile datei(ziel);
    const QFileDevice::Permissions modus = gelesen == Gelesen::Fehlt
        ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
        // The *User flags are what this process may do, not the file's mode.
        : QFileInfo(ziel).permissions()
            & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    if (datei.open(QIODevice::WriteOnly) && datei.setPermissions(modus) && datei.write(json) == json.size()
        && datei.commit())
        return {};
    qInfo().noquote() << "Konfiguration::schreiben: " + ziel + ": " + datei.errorString();
    return QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: %1 lässt sich nicht schreiben "
                          "(Ordner schreibgeschützt oder nicht vorhanden?). Die Datei bleibt unverändert. "
                          "Systemmeldung: %2")
        .arg(ziel, datei.errorString());
}

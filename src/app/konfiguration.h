#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

// The station's config.json. One table of keys (schluessel()) gives each
// setting its name, type, allowed range and built-in value; the reader, the
// problem report at start and the settings dialog all work from it. Every
// key is optional, and whatever is missing or unusable keeps its built-in
// value, so a station without a usable configuration still starts.
struct Konfiguration
{
    QString url;
    QString jwt;
    QString port;
    int wertung;
    int teilergrenze;
    int drucker;
    QString ca; // PEM file: the club's own certificates, trusted beside the system's

    // The certificates of "ca" as lesen() found them.
    QList<QSslCertificate> zertifikate;

    // One key of config.json: a text key points to its text member, a
    // whole-number key to its number member and carries the range the
    // machine takes (wertung and drucker are sent as one digit,
    // teilergrenze as two).
    struct Schluessel
    {
        const char *name;
        QString Konfiguration::*text;
        int Konfiguration::*zahl;
        const char *vorgabeText;
        int vorgabeZahl;
        int min;
        int max;
    };
    static const QList<Schluessel> &schluessel();

    Konfiguration(); // the built-in values

    // A real config.json is a few hundred bytes; a bigger file (a log or an
    // image saved under the wrong name) is not read at all.
    static constexpr qint64 MaxGroesse = 64 * 1024;

    // Each problem found (file missing or unreadable, not a regular file,
    // JSON syntax error with line and column, a key of the wrong type or out
    // of range) is added to `probleme` as one German line that also names
    // the value used instead; after them one line for each key not in the
    // table ("URL" is taken for "url"? a key of another program?). Never
    // blocks: a FIFO or a device named config.json is reported, not opened.
    static Konfiguration lesen(const QString &pfad, QStringList *probleme = nullptr);
    // lesen() once the bytes are in memory, without the lines of unknown
    // keys: what the values are; `pfad` is where they came from, for a
    // relative "ca".
    static Konfiguration auswerten(const QByteArray &inhalt, const QString &pfad,
                                   QStringList *probleme = nullptr);
    // Reads the certificates of the PEM file `datei` (a relative name counts
    // from the directory of config.json at `pfad`). Returns an empty text,
    // or the German problem line.
    static QString zertifikateLesen(const QString &datei, const QString &pfad,
                                    QList<QSslCertificate> *zertifikate);
    // The text of the box that reports those problems at start.
    static QString bericht(const QString &pfad, const QStringList &probleme);
    // The content schreiben() puts in place of `alt`: every key of the table
    // with this object's value, the keys it does not know as in `alt`.
    QByteArray inhalt(const QByteArray &alt) const;
    // Writes inhalt() of the old file; the file is replaced only once the new
    // content is complete. A link stays a link and its target is written; a
    // new file is readable by its owner only, an old one keeps its mode;
    // anything but a regular file is left alone. Returns an empty text, or
    // the German reason why nothing was written.
    QString schreiben(const QString &pfad) const;
};

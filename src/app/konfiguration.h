#pragma once

#include <QString>

// The station's config.json, read once at start-up. Every key is optional; a
// missing file, a file that is not a JSON object and a key of the wrong type
// all fall back to the built-in values, silently, so a station without a
// configuration still starts.
struct Konfiguration
{
    QString url = QStringLiteral("http://localhost:8080/quilvo");
    QString jwt;
    QString port = QStringLiteral("COM1");
    int wertung = 5;
    int teilergrenze = 13;
    int drucker = 1;

    // A real config.json is a few hundred bytes; a bigger file (a log or an
    // image saved under the wrong name) is not read at all.
    static constexpr qint64 MaxGroesse = 64 * 1024;

    static Konfiguration lesen(const QString &pfad);
};

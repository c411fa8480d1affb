#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "server/serviceprovider.h"

class LxScheibe;
class QPagedPaintDevice;
class QPainter;
class QWidget;

// The card on screen as one A4 page, for a protest or the notice board:
// competition, shooter, every target with its shot, ring and Teiler texts
// and what happened to it in words, the totals, when and where it was
// printed. The targets are the screen's own faces, painted once more.
class Druckseite
{
public:
    struct Inhalt
    {
        QString wettkampf;
        quint32 nummer = 0; // card number as entered
        ServiceProvider::Scheibe karte; // as fetched: shooter, club, team, weapon
        QList<const LxScheibe *> scheiben;
        QStringList vermerke; // per target: "von Hand gesetzt", "entwertet", ... or empty
        qint32 ringe = 0;
        double zehntel = 0.0;
        qint32 serieRinge = 0;
        double serieZehntel = 0.0;
        bool gespeichert = false; // the server holds the card as shown
        QString station; // host name of this PC
        QDateTime zeit;
    };

    // Draws the page on a printer or PDF writer; false if it cannot be painted on.
    static bool zeichnen(QPagedPaintDevice *geraet, const Inhalt &inhalt);
    // Writes the page as a PDF file; false when the file cannot be written.
    static bool alsPdf(const QString &datei, const Inhalt &inhalt);
    // Asks for a printer with the system's dialog and prints the page that
    // `inhalt` gives once the officer confirmed (nothing when it gives false).
    // Returns an empty text, or the German message of a printer that failed.
    // `name` is the document's name, which the dialog offers for a file.
    static QString drucken(QWidget *eltern, const QString &name, const std::function<bool(Inhalt *)> &inhalt);
};

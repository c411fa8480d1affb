#pragma once

#include "app/druckseite.h"

#include <QObject>
#include <QPointer>

class Kartenfluss;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class ScheibenLayout;
class Schuetzenanzeige;

// The card on screen beyond the main window: the shooter's display on a
// second monitor, the printout and the PDF, with their menu entries. Each
// shows what the card flow holds and the grid draws.
class Nebenansichten : public QObject
{
    Q_OBJECT

public:
    Nebenansichten(const Kartenfluss &fluss, QWidget *fenster);

    // "Drucken…" and "Als PDF speichern…" go into `datei` before `vor`, the
    // "Ansicht" menu into `leiste` before `vorMenue`.
    void richteMenuesEin(QMenu *datei, QAction *vor, QMenuBar *leiste, QAction *vorMenue);
    // The grid of the target screen, null on the login screen.
    void setRaster(ScheibenLayout *raster, const QString &wettkampf);
    // The card on screen changed.
    void aktualisieren();
    // False with nothing on screen or when the file cannot be written.
    bool alsPdfSpeichern(const QString &datei);
    // What the file dialog of "Als PDF speichern…" offers: "Scheibe-<number
    // on screen>.pdf" in the folder of the last PDF saved in this run, else
    // in Documents, else in the home folder.
    QString pdfVorschlag() const;
    Schuetzenanzeige *anzeige() const { return _anzeige; }

signals:
    void fehler(const QString &text);

private:
    bool karteDa() const;
    Druckseite::Inhalt inhalt() const;
    void onSchuetzenanzeige(bool an);
    void onDrucken();
    void onPdf();

    const Kartenfluss &_fluss;
    QWidget *_fenster;
    QPointer<ScheibenLayout> _raster;
    QString _wettkampf;
    Schuetzenanzeige *_anzeige = nullptr; // made when first opened
    QAction *_anzeigeZeigen = nullptr;
    QAction *_drucken = nullptr;
    QAction *_pdf = nullptr;
    QString _pdfOrdner; // of the last PDF saved in this run
};

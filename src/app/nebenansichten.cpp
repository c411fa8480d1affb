#include "app/nebenansichten.h"

#include "app/kartenfluss.h"
#include "app/schuetzenanzeige.h"
#include "machine/uhr.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QSysInfo>

Nebenansichten::Nebenansichten(const Kartenfluss &fluss, QWidget *fenster)
    : _fluss(fluss)
    , _fenster(fenster)
{ }

void Nebenansichten::richteMenuesEin(QMenu *datei, QAction *vor, QMenuBar *leiste, QAction *vorMenue)
{
    _drucken = new QAction(tr("Drucken…"), _fenster);
    _drucken->setObjectName(QStringLiteral("drucken"));
    _drucken->setShortcut(QKeySequence::Print);
    connect(_drucken, &QAction::triggered, this, &Nebenansichten::onDrucken);
    _pdf = new QAction(tr("Als PDF speichern…"), _fenster);
    _pdf->setObjectName(QStringLiteral("pdf"));
    _pdf->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(_pdf, &QAction::triggered, this, &Nebenansichten::onPdf);
    datei->insertActions(vor, { _drucken, _pdf });

    // The shooter's display: a window of its own, for a second monitor.
    auto *ansicht = new QMenu(tr("&Ansicht"), _fenster);
    leiste->insertMenu(vorMenue, ansicht);
    _anzeigeZeigen = ansicht->addAction(tr("Schützenanzeige"));
    _anzeigeZeigen->setObjectName(QStringLiteral("schuetzenanzeige"));
    _anzeigeZeigen->setCheckable(true);
    connect(_anzeigeZeigen, &QAction::toggled, this, &Nebenansichten::onSchuetzenanzeige);
    QAction *vollbild = ansicht->addAction(tr("Schützenanzeige als Vollbild"));
    vollbild->setObjectName(QStringLiteral("schuetzenanzeigeVollbild"));
    vollbild->setShortcut(Qt::Key_F11);
    connect(vollbild, &QAction::triggered, this, [this] {
        _anzeigeZeigen->setChecked(true);
        if (_anzeige->isFullScreen())
            _anzeige->showNormal();
        else
            _anzeige->showFullScreen();
    });
}

void Nebenansichten::setRaster(ScheibenLayout *raster, const QString &wettkampf)
{
    _raster = raster;
    _wettkampf = wettkampf;
    aktualisieren();
}

bool Nebenansichten::karteDa() const
{
    return _raster && _fluss.hatKarte();
}

void Nebenansichten::aktualisieren()
{
    _drucken->setEnabled(karteDa());
    _pdf->setEnabled(karteDa());
    if (!_anzeige)
        return;
    Schuetzenanzeige::Stand stand;
    QList<const LxScheibe *> scheiben;
    if (_raster && _fluss.aktiv()) {
        const Kartenfluss::Summen s = _fluss.summen();
        stand.ringe = s.ringe;
        stand.serieRinge = s.serieRinge;
        stand.zehntel = s.zehntel;
        stand.serieZehntel = s.serieZehntel;
    }
    if (karteDa()) {
        stand.nummer = _fluss.nummer();
        stand.schuetze = _fluss.karte().schuetze;
        stand.verein = _fluss.karte().verein;
        stand.letzter = _fluss.letzter();
        stand.gespeichert = _fluss.gespeichertGemeldet();
        for (unsigned i = 0; i < _raster->getScheibenzahl(); ++i)
            scheiben << _raster->getScheibe(i);
    }
    _anzeige->zeige(stand, scheiben);
}

void Nebenansichten::onSchuetzenanzeige(bool an)
{
    if (!an) {
        if (_anzeige)
            _anzeige->hide();
        return;
    }
    if (!_anzeige) {
        _anzeige = new Schuetzenanzeige(_fenster);
        // Closed by its own window button: the menu entry follows.
        connect(_anzeige, &Schuetzenanzeige::geschlossen, _anzeigeZeigen,
                [this] { _anzeigeZeigen->setChecked(false); });
    }
    aktualisieren();
    _anzeige->oeffnen(_fenster);
}

Druckseite::Inhalt Nebenansichten::inhalt() const
{
    Druckseite::Inhalt inhalt;
    inhalt.wettkampf = _wettkampf;
    inhalt.nummer = _fluss.nummer();
    inhalt.karte = _fluss.karte();
    for (unsigned i = 0; i < _raster->getScheibenzahl(); ++i) {
        inhalt.scheiben << _raster->getScheibe(i);
        inhalt.vermerke << _fluss.vermerk(i);
    }
    const Kartenfluss::Summen s = _fluss.summen();
    inhalt.ringe = s.ringe;
    inhalt.zehntel = s.zehntel;
    inhalt.serieRinge = s.serieRinge;
    inhalt.serieZehntel = s.serieZehntel;
    inhalt.gespeichert = !_fluss.ungespeichert();
    inhalt.station = QSysInfo::machineHostName();
    inhalt.zeit = Uhr::aktuell().jetzt();
    return inhalt;
}

bool Nebenansichten::alsPdfSpeichern(const QString &datei)
{
    return karteDa() && Druckseite::alsPdf(datei, inhalt());
}

QString Nebenansichten::pdfVorschlag() const
{
    QString ordner = _pdfOrdner;
    // A fresh account may have no Documents folder; the dialog would then
    // open wherever the program was started.
    for (const QString &sonst :
         { QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), QDir::homePath() })
        if (!QFileInfo(ordner).isDir())
            ordner = sonst;
    return QDir(ordner).filePath(QStringLiteral("Scheibe-%1.pdf").arg(_fluss.nummer()));
}

void Nebenansichten::onPdf()
{
    const QString datei = QFileDialog::getSaveFileName(_fenster, tr("Als PDF speichern"), pdfVorschlag(),
                                                       tr("PDF-Dateien (*.pdf)"));
    if (datei.isEmpty())
        return;
    if (!alsPdfSpeichern(datei)) {
        emit fehler(tr("Die Datei %1 konnte nicht geschrieben werden.").arg(datei));
        return;
    }
    // Remembered for this run only: the station keeps nothing between runs.
    _pdfOrdner = QFileInfo(datei).absolutePath();
}

void Nebenansichten::onDrucken()
{
    // The card may change while the print dialog is open; what is printed
    // is the card on screen when the officer confirms.
    const QString name = QStringLiteral("Scheibe-%1").arg(_fluss.nummer());
    const QString text = Druckseite::drucken(_fenster, name, [this](Druckseite::Inhalt *seite) {
        if (!karteDa())
            return false;
        *seite = inhalt();
        return true;
    });
    if (!text.isEmpty())
        emit fehler(text);
}

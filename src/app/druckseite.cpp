#include "app/druckseite.h"

#include "app/mainwindow.h"
#include "targets/geometrie.h"
#include "targets/lxscheibe.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace {

// The face at print size: a copy of the screen's target, painted by the
// same code, so paper and screen cannot disagree.
QPixmap gesicht(const LxScheibe *vorlage, int pixel)
{
    std::unique_ptr<LxScheibe> kopie(vorlage->kopie(nullptr));
    kopie->fillScheibe(LxScheibe::Weiss); // the words below say what the colours said
    kopie->setAttribute(Qt::WA_DontShowOnScreen);
    // Paper white around the face, not the grey of a window.
    QPalette weiss = kopie->palette();
    weiss.setColor(QPalette::Window, Qt::white);
    kopie->setPalette(weiss);
    kopie->setAutoFillBackground(true);
    // The face is printed some 35 mm wide: a mark of a few screen pixels
    // would be a dot of a quarter millimetre there.
    kopie->setMindestMarke(pixel / 60.0);
    kopie->resize(pixel, pixel);
    return kopie->grab();
}

} // namespace

bool Druckseite::zeichnen(QPagedPaintDevice *geraet, const Inhalt &inhalt)
{
    QPainter p;
    if (!p.begin(geraet))
        return false;
    const QRectF seite = geraet->pageLayout().paintRectPixels(geraet->logicalDpiX());
    const double mm = geraet->logicalDpiX() / 25.4;
    const double breite = seite.width();
    double y = 0;
    const auto zeile = [&](const QString &text, double punkte, bool fett = false,
                           Qt::Alignment ausrichtung = Qt::AlignLeft) {
        QFont schrift(QStringLiteral("DejaVu Sans"));
        schrift.setPointSizeF(punkte);
        schrift.setBold(fett);
        p.setFont(schrift);
        const QRectF rahmen(0, y, breite, p.fontMetrics().height() * 1.25);
        p.drawText(rahmen, ausrichtung | Qt::AlignVCenter | Qt::TextWordWrap, text);
        return rahmen.height();
    };

    const ServiceProvider::Scheibe &k = inhalt.karte;
    zeile(inhalt.wettkampf, 16, true);
    y += zeile(QStringLiteral("Scheibe %1").arg(inhalt.nummer), 16, true, Qt::AlignRight) + 2 * mm;
    y += zeile(QStringLiteral("Schütze: %1 (%2, %3)").arg(k.schuetze).arg(k.schuetzeId).arg(k.verein), 12);
    if (!k.mannschaft.isEmpty())
        y += zeile(QStringLiteral("Mannschaft: %1").arg(k.mannschaft), 11);
    y += zeile(QStringLiteral("Waffe: %1; %2 Schuss / Scheibe; Teilerfaktor %3")
                   .arg(k.waffe)
                   .arg(k.schussProScheibe)
                   .arg(QString::number(k.teilerFaktor, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','))),
               11);
    if (!k.wettbewerbe.isEmpty())
        y += zeile(QStringLiteral("Wettbewerbe: %1").arg(k.wettbewerbe.join(QStringLiteral(", "))), 11);
    y += 5 * mm;

    // Five targets a row, each with its texts and remark below.
    const int spalten = 5;
    const double feld = breite / spalten;
    const double flaeche = feld - 4 * mm;
    for (qsizetype i = 0; i < inhalt.scheiben.size(); ++i) {
        const LxScheibe *s = inhalt.scheiben.at(i);
        const double x = (i % spalten) * feld;
        const double oben = y + (i / spalten) * (flaeche + 22 * mm);
        p.drawPixmap(QRectF(x + 2 * mm, oben, flaeche, flaeche), gesicht(s, 600), QRectF());
        QFont schrift(QStringLiteral("DejaVu Sans"));
        schrift.setPointSizeF(10);
        p.setFont(schrift);
        const QString werte = QStringLiteral("#%1  %2  %3").arg(i + 1).arg(s->ringeLabel(), s->teilerLabel());
        p.drawText(QRectF(x, oben + flaeche + 1 * mm, feld, 7 * mm), Qt::AlignHCenter | Qt::AlignTop,
                   werte.trimmed());
        schrift.setItalic(true);
        p.setFont(schrift);
        p.drawText(QRectF(x, oben + flaeche + 7 * mm, feld, 12 * mm),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, inhalt.vermerke.value(i));
    }
    const int reihen = int(inhalt.scheiben.size() + spalten - 1) / spalten;
    y += reihen * (flaeche + 22 * mm) + 3 * mm;

    y += zeile(QStringLiteral("Ringe: %1 (%2)    Serie: %3 (%4)")
                   .arg(inhalt.ringe)
                   .arg(Geometrie::zehntelText(inhalt.zehntel))
                   .arg(inhalt.serieRinge)
                   .arg(Geometrie::zehntelText(inhalt.serieZehntel)),
               14, true);
    y += zeile(inhalt.gespeichert ? QStringLiteral("Auf dem Server gespeichert.")
                                  : QStringLiteral("Nicht gespeichert: der Server hält diese Treffer nicht."),
               11);
    y = seite.height() - 8 * mm;
    zeile(QStringLiteral("Gedruckt am %1 an Station %2 – kovrit %3")
              .arg(inhalt.zeit.toString(QStringLiteral("dd.MM.yyyy HH:mm")), inhalt.station,
                   QLatin1String(MainWindow::version)),
          9);
    return p.end();
}

bool Druckseite::alsPdf(const QString &datei, const Inhalt &inhalt)
{
    QPrinter drucker(QPrinter::HighResolution);
    drucker.setOutputFormat(QPrinter::PdfFormat);
    drucker.setOutputFileName(datei);
    drucker.setPageSize(QPageSize(QPageSize::A4));
    drucker.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    drucker.setDocName(QStringLiteral("Scheibe %1").arg(inhalt.nummer));
    return zeichnen(&drucker, inhalt);
}

QString Druckseite::drucken(QWidget *eltern, const QString &name, const std::function<bool(Inhalt *)> &inhalt)
{
    QPrinter drucker(QPrinter::HighResolution);
    drucker.setPageSize(QPageSize(QPageSize::A4));
    // Printed to a file, the dialog offers this name instead of "print.pdf".
    drucker.setDocName(name);
    QPrintDialog dialog(&drucker, eltern);
    Inhalt seite;
    if (dialog.exec() != QDialog::Accepted || !inhalt(&seite))
        return {};
    drucker.setDocName(QStringLiteral("Scheibe %1").arg(seite.nummer));
    if (zeichnen(&drucker, seite))
        return {};
    return QStringLiteral("Drucken nicht möglich: der Drucker %1 nimmt nichts an.")
        .arg(drucker.printerName());
}

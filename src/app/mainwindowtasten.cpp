#include "app/mainwindow.h"

#include "forms/header.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include <memory>

#include "ui_mainwindow.h"

// The window's keyboard, its questions and its boxes.

// Ja or Nein, Nein the default: Return alone never discards or overwrites.
QMessageBox *MainWindow::frage(const QString &titel, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Question, titel, text, QMessageBox::Yes | QMessageBox::No, this);
    box->button(QMessageBox::Yes)->setText(tr("Ja"));
    box->button(QMessageBox::No)->setText(tr("Nein"));
    box->setDefaultButton(QMessageBox::No);
    return box;
}

void MainWindow::frageNeuAuswerten(quint32 auftrag, const QString &text)
{
    QMessageBox *box = frage(tr("Scheibe bereits ausgewertet"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, auftrag, box] {
        _fluss.neuAuswertenBeantwortet(auftrag, box->clickedButton() == box->button(QMessageBox::Yes));
    });
    _frage = box;
    box->open();
}

void MainWindow::frageZurueckgezogen(quint32)
{
    if (!_frage)
        return;
    _frage->disconnect(this);
    _frage->close();
}

bool MainWindow::verwerfenErlaubt()
{
    if (!_fluss.ungespeichert())
        return true;
    const std::unique_ptr<QMessageBox> box(
        frage(tr("Treffer verwerfen"), tr("Nicht gespeicherte Treffer verwerfen?")));
    return box->exec() == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!verwerfenErlaubt()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    QWidget *fenster = watched->isWidgetType() ? static_cast<QWidget *>(watched)->window() : nullptr;
    if (event->type() != QEvent::KeyPress || !_header || !fenster || (fenster != this && fenster != _frage))
        return QMainWindow::eventFilter(watched, event);
    auto *taste = static_cast<QKeyEvent *>(event);
    const QChar z = taste->text().size() == 1 ? taste->text().at(0) : QChar();
    const bool ziffer = (z.isDigit() || z == QLatin1Char('+')) && z.unicode() < 128
        && !(taste->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const bool enter = taste->key() == Qt::Key_Return || taste->key() == Qt::Key_Enter;
    using T = Kartenfluss::Taste;
    const T art = ziffer                                        ? T::Ziffer
        : enter                                                 ? T::Eingabe
        : taste->key() == Qt::Key_Escape && !taste->modifiers() ? T::Escape
                                                                : T::Andere;
    switch (_fluss.taste(art, z)) {
    case Kartenfluss::TastenAntwort::Hinweis:
        hinweis(_fluss.offeneFrage() ? tr("Scan verworfen – erst die Frage beantworten")
                                     : Header::sperrText());
        return true;
    case Kartenfluss::TastenAntwort::Verschlucken:
        return true;
    case Kartenfluss::TastenAntwort::ZurNummer:
        if (!_header->isAncestorOf(static_cast<QWidget *>(watched))) {
            _header->tippe(taste);
            return true;
        }
        break;
    case Kartenfluss::TastenAntwort::NichtMehrWarten:
        _serviceProvider.aufgeben(_fluss.wartetAuf());
        return true;
    case Kartenfluss::TastenAntwort::Abbrechen:
        if (verwerfenErlaubt())
            _fluss.abbrechen();
        return true;
    case Kartenfluss::TastenAntwort::Weiter:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::hinweis(const QString &text)
{
    qInfo().noquote() << "MainWindow::hinweis: " + text;
    ui->statusBar->showMessage(text, 5000);
}

void MainWindow::onVerlaufGewaehlt(quint32 nummer)
{
    if (!_header)
        return;
    if (_fluss.eingabeGesperrt())
        hinweis(Header::sperrText());
    else
        _header->eingeben(nummer);
}

void MainWindow::onVerbindungsFehler(const QString &text)
{
    QString meldung = text;
    const QString nachsatz = _fluss.nimmNachsatz();
    if (!nachsatz.isEmpty())
        meldung += QLatin1Char('\n') + nachsatz;
    QMessageBox box(QMessageBox::NoIcon, tr("Fehler"), meldung, QMessageBox::Ok);
    // The link's boxes close themselves once it is back by itself.
    if (sender() == &_maschine)
        _maschinenBox = &box;
    box.exec();
}

void MainWindow::maschineWieder(int zustand)
{
    if (zustand != MaschineRm3::Verbunden || !_maschinenBox)
        return;
    _maschinenBox->done(QMessageBox::Ok);
    hinweis(tr("Maschine wieder verbunden"));
}

// The header never shows another card than the one below it: while one is
// fetched the fields of the card on screen are greyed, and once the fetch
// ends without a new card its number comes back.
void MainWindow::zeigeLaden(bool laedt)
{
    if (!_header)
        return;
    _header->setLaedt(laedt);
    if (!laedt && _fluss.hatKarte())
        _header->setNummer(_fluss.nummer(), !_fluss.eingabeGesperrt());
}

void MainWindow::naechsteEinlesen(quint32 nummer)
{
    if (_header && !_fluss.eingabeGesperrt() && !_fluss.offeneFrage())
        _header->eingeben(nummer);
}

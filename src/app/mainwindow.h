#pragma once

#include "app/kartenfluss.h"
#include "app/nebenansichten.h"
#include "app/stationsanschluss.h"
#include "app/verlauf.h"
#include "machine/maschine.h"
#include "machine/portwaechter.h"
#include "machine/schussbuffer.h"
#include "server/serviceprovider.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

class QCloseEvent;
class QEvent;
class QLabel;
struct Konfiguration;
class QMessageBox;
class VerlaufDock;
class Login;
class Header;
class Ergebnis;
class ScheibenLayout;
class LxScheibe;

namespace Ui {
class MainWindow;
}

// The one window: owns the machine link, the shot buffer, the server client
// and the card flow, switches between the login screen and the target
// screen, and renders what the card flow says.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Program name and version shown in the info dialog.
    static const char *const version;

    explicit MainWindow(QWidget *parent = nullptr, const QString &path = QStringLiteral("config.json"));
    ~MainWindow() override;

    // The machine link, for tests and the demo tour that shorten its timers.
    MaschineRm3 &maschine() { return _maschine; }
    // Writes the card on screen as a PDF page, as "Als PDF speichern…" does;
    // false with nothing on screen or when the file cannot be written.
    bool alsPdfSpeichern(const QString &datei) { return _neben.alsPdfSpeichern(datei); }
    // The shooter's display, null until it was first opened.
    Schuetzenanzeige *schuetzenanzeige() const { return _neben.anzeige(); }
    // The server client, for tests that shorten its transfer time-out.
    ServiceProvider &serviceProvider() { return _serviceProvider; }
    // For tests that shorten how often a lost port is looked for.
    PortWaechter &portWaechter() { return _portWaechter; }
    const Kartenfluss &kartenfluss() const { return _fluss; }

public slots:
    void onScheibeClicked(LxScheibe *scheibe);
    void onSpeichernClicked();
    void onAbbrechenClicked();
    void on_logoff_triggered();
    void on_exit_triggered();
    void on_connect_triggered();
    void on_disconnect_triggered();
    void onSchussReceived(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                          bool zweifelhaft);
    void onSchussTimeout(quint32 schusszahl);
    void onLoginDone(const QString &wettkampf, const QString &user);
    void onScheibeFetched(const ServiceProvider::Scheibe &scheibe);
    void onSetTrefferOk();
    void onVerbindungsFehler(const QString &text);
    void on_info_triggered();

protected:
    // Closing with hits on screen that the server does not hold asks first.
    void closeEvent(QCloseEvent *event) override;
    // Card numbers typed or scanned anywhere in the window go to the card
    // number input, or are refused with a word while a card waits for a
    // decision (with the scanner's Return after them, so it cannot press
    // "Speichern").
    // Keys to the window and to the open question box (a window of its own,
    // which a scan must not answer).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The Verlauf's menu entry, the added menu entries and the keyboard shortcuts.
    void richteVerlaufEin(const QString &path);
    // The Verlauf dock, made at the first login: the login screen never shows
    // it, and its table and bold header font would delay the first frame.
    VerlaufDock *verlaufDock();
    void gotoLoginLayout();
    void gotoScheibenLayout(const QString &wettkampf, const QString &user);
    void updateErgebnis();
    void zeigeKarte();
    void zeigeEingabe(Kartenfluss::Eingabe eingabe);
    // "Neu auswerten?": open while the flow goes on; the answer is its own event.
    void frageNeuAuswerten(quint32 auftrag, const QString &text);
    void frageZurueckgezogen(quint32 auftrag);
    QMessageBox *frage(const QString &titel, const QString &text);
    // Asks before hits the server does not hold are thrown away.
    bool verwerfenErlaubt();
    void zeigeMaschinenStatus();
    void onVerlaufGewaehlt(quint32 nummer);
    void stelleMaschineEin(const Konfiguration &konfiguration);
    // "Einstellungen…": saved values apply without a restart.
    void onEinstellungen(const QString &pfad);
    // The saved line of the target screen; green once the server holds the card.
    void zeigeMeldung(const QString &text, bool gespeichert);
    // A short note in the status bar; the competition name comes back after it.
    void hinweis(const QString &text);
    void maschineWieder(int zustand);
    void zaehleWarten();
    void zeigeServer(bool antwortet);
    void zeigeLaden(bool laedt);
    void naechsteEinlesen(quint32 nummer);
    // Removes one screen widget from the body and deletes it.
    template<typename Widget> void entferne(Widget *&widget);
    void leereBody();

    Ui::MainWindow *ui;
    Login *_login = nullptr;
    Header *_header = nullptr;
    Ergebnis *_ergebnis = nullptr;
    ScheibenLayout *_scheibenLayout = nullptr;
    QLabel *_meldung = nullptr; // target screen: whether the card is saved
    MaschineRm3 _maschine;
    PortWaechter _portWaechter { _maschine }; // connects again after a re-plug
    SchussBuffer _schussBuffer;
    ServiceProvider _serviceProvider;
    Stationsanschluss _anschluss { _maschine, _schussBuffer, _serviceProvider };
    // The card on screen, its hits, its pending requests: the truth that
    // the screen renders.
    Kartenfluss _fluss { _anschluss };
    QPointer<QMessageBox> _frage; // "Neu auswerten?" while open
    QPointer<QMessageBox> _maschinenBox; // a box of the link while open
    Nebenansichten _neben { _fluss, this };
    VerlaufDock *_verlaufDock = nullptr;
    QAction *_verlaufPlatz = nullptr; // the menu entry until the dock exists
    QLabel *_zaehlung = nullptr; // "12 gespeichert, 1 offen"
    QString _statusText; // the competition name, or "Offline"
    QString _url; // server and station token as configured, for the next login
    QString _jwt;
    bool _serverNeu = false; // changed while logged in: taken at the logoff
    QString _startBericht; // what was wrong with config.json, until it is shown
    // Link state at the right of the status bar, so the officer sees whether
    // shots can arrive at all.
    QLabel *_maschinenStatus = nullptr;
    QLabel *_serverStatus = nullptr; // whether the server answered its latest request
    QDateTime _stummSeit; // the first request in a row it did not answer
    Wecker _warteUhr; // a second of "wird gespeichert…"
    int _warteSekunden = 0;
};

#pragma once

#include "app/druckseite.h"
#include "app/schuetzenanzeige.h"
#include "app/verlauf.h"
#include "machine/maschine.h"
#include "machine/portwaechter.h"
#include "machine/schussbuffer.h"
#include "server/serviceprovider.h"

#include <QHash>
#include <QMainWindow>

class QCloseEvent;
class QDockWidget;
class QEvent;
class QLabel;
class QTableView;
class Login;
class Header;
class Ergebnis;
class ScheibenLayout;
class LxScheibe;

namespace Ui {
class MainWindow;
}

// The one window: owns the machine link, the shot buffer, the server client
// and the hit slots of the current card, and switches between the login
// screen and the target screen.
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
    bool alsPdfSpeichern(const QString &datei);
    // The shooter's display, null until it was first opened.
    Schuetzenanzeige *schuetzenanzeige() const { return _anzeige; }
    // The server client, for tests that shorten its transfer time-out.
    ServiceProvider &serviceProvider() { return _serviceProvider; }
    // For tests that shorten how often a lost port is looked for.
    PortWaechter &portWaechter() { return _portWaechter; }

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
    // A refused submission must be repeatable at once by "Speichern".
    void onSetTrefferFailed();
    void onMaschinenZustand(int zustand);
    // A new card number was entered: until its reply is handled, the card on
    // screen holds back its automatic submission.
    void onScheibenIdEntered(unsigned id);
    void onScheibeFailed();
    // The link can take a settings line now; the card on screen may wait for one.
    void onMaschineBereit();
    void onSchussIgnoriert(quint32 anzahl);

protected:
    // Closing with hits on screen that the server does not hold asks first.
    void closeEvent(QCloseEvent *event) override;
    // Card numbers typed or scanned anywhere in the window go to the card
    // number input, or are refused with a word while a card waits for a
    // decision (with the scanner's Return after them, so it cannot press
    // "Speichern").
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the clean last shot of the card on screen does.
    enum class AutoSpeichern {
        Aus, // the card is not clean, or already confirmed: the officer saves
        Scharf, // the clean last shot submits the card
        Gehalten, // clean, but a card number was entered and its reply is
                  // awaited: the shots arriving now are likely the next card's
        Faellig, // held, and the clean last shot came: offered to the officer
                 // once the hold ends without a new card
    };

    // One submission on its way: the card it belongs to and the hits as sent.
    struct Uebermittlung
    {
        quint32 auftrag; // the server client's request number
        quint64 karte; // _karte when it was sent
        quint32 nummer; // card number as entered, for messages
        QList<ServiceProvider::Treffer> treffer;
    };

    // The settings line the card on screen needs.
    struct Einstellung
    {
        MaschineRm3::Waffe waffe;
        MaschineRm3::Scheibe scheibe;
        MaschineRm3::Serie serie;
        quint32 anzahl;
    };

    // The Verlauf dock, the added menu entries and the keyboard shortcuts.
    void richteVerlaufEin(const QString &path);
    void verlaufSpalten();
    void gotoLoginLayout();
    void gotoScheibenLayout(const QString &wettkampf, const QString &user);
    void updateErgebnis();
    void clearTreffer();
    // Empties the card state as a cancel does.
    void resetKarte();
    // Shows a fetched card, stored hits and all, and sets the machine up for it.
    void nimmKarte(const ServiceProvider::Scheibe &scheibe);
    // Asks before a card whose server record holds hits is read again.
    bool neuAuswerten(const ServiceProvider::Scheibe &scheibe);
    // Asks before hits the server does not hold are thrown away.
    bool verwerfenErlaubt();
    bool frage(const QString &titel, const QString &text);
    // The hold on the automatic submission ends without a new card.
    void freigeben();
    void uebermitteln();
    // Takes the submission the server client is reporting on out of the list.
    bool nimmUebermittlung(Uebermittlung *uebermittlung);
    bool ungespeichert() const;
    void sendeEinstellung();
    void zeigeMaschinenStatus();
    void onVerlaufGewaehlt(int zeile);
    // "Einstellungen…": saved values apply without a restart.
    void onEinstellungen(const QString &pfad);
    // The saved line of the target screen; green once the server holds the card.
    void zeigeMeldung(const QString &text, bool gespeichert = false);
    // The shooter's display follows the card on screen.
    void zeigeAnzeige();
    void onSchuetzenanzeige(bool an);
    Druckseite::Inhalt druckInhalt() const;
    void onDrucken();
    void onPdf();
    // A short note in the status bar; the competition name comes back after it.
    void hinweis(const QString &text);
    // Removes one screen widget from the body and deletes it.
    template<typename Widget> void entferne(Widget *&widget);
    void leereBody();

    // The hit array has room for this many positions; longer cards are refused.
    static constexpr quint32 maxSchuss = 10;

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
    quint32 _scheibenId = 0;
    quint32 _schussProScheibe = 0;
    double _teilerFaktor = 1.0;
    ServiceProvider::Treffer _treffer[maxSchuss];
    AutoSpeichern _autoSpeichern = AutoSpeichern::Aus;
    qint32 _ringeRest = 0;
    double _zehntelRest = 0.0;
    // Counts every card taken and every cancel: late replies compare it to
    // tell whether their card is still the one on screen.
    quint64 _karte = 0;
    quint32 _scheibenNummer = 0; // as entered, for messages
    // The hits as the server holds them: fetched, or confirmed since.
    ServiceProvider::Treffer _gespeichert[maxSchuss];
    quint32 _abruf = 0; // request of the latest card-number entry, while awaited
    quint32 _abrufNummer = 0;
    QList<Uebermittlung> _uebermittlungen;
    QHash<quint32, quint32> _letzteUebermittlung; // card id -> request of its latest submission
    Einstellung _einstellung {};
    bool _einstellungOffen = false; // the card on screen still needs its settings line
    quint32 _ignoriert = 0; // shot lines the link did not take, since the last settings line
    QString _fehlerNachsatz; // a second line for the error box about to open
    Verlauf _verlauf;
    QDockWidget *_verlaufDock = nullptr;
    QTableView *_verlaufAnsicht = nullptr;
    QLabel *_zaehlung = nullptr; // "12 gespeichert, 1 offen"
    Schuetzenanzeige *_anzeige = nullptr; // made when first opened
    Schuetzenanzeige::Stand _anzeigeStand;
    QAction *_anzeigeZeigen = nullptr;
    QAction *_drucken = nullptr;
    QAction *_pdf = nullptr;
    ServiceProvider::Scheibe _karteDaten; // the card on screen as fetched, for the printout
    QString _vermerk[maxSchuss]; // what became of each shot, in words, for the printout
    QString _statusText; // the competition name, or "Offline"
    QString _url; // server and station token as configured, for the next login
    QString _jwt;
    bool _serverNeu = false; // changed while logged in: taken at the logoff
    bool _scanGesperrt = false; // digits were refused; their Return is refused too
    // Link state at the right of the status bar, so the officer sees whether
    // shots can arrive at all.
    QLabel *_maschinenStatus = nullptr;
};

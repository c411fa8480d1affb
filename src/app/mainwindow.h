#pragma once

#include "machine/maschine.h"
#include "machine/schussbuffer.h"
#include "server/serviceprovider.h"

#include <QMainWindow>

class QLabel;
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
    // The server client, for tests that shorten its transfer time-out.
    ServiceProvider &serviceProvider() { return _serviceProvider; }

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
    // A new card number was entered: the current card is no longer
    // submitted automatically.
    void onScheibenIdEntered();

private:
    void gotoLoginLayout();
    void gotoScheibenLayout(const QString &wettkampf, const QString &user);
    void updateErgebnis();
    void clearTreffer();
    // Empties the card state as a cancel does.
    void resetKarte();
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
    MaschineRm3 _maschine;
    SchussBuffer _schussBuffer;
    ServiceProvider _serviceProvider;
    quint32 _scheibenId = 0;
    quint32 _schussProScheibe = 0;
    double _teilerFaktor = 1.0;
    ServiceProvider::Treffer _treffer[maxSchuss];
    bool _autoSpeichern = false;
    qint32 _ringeRest = 0;
    double _zehntelRest = 0.0;
    // Link state at the right of the status bar, so the officer sees whether
    // shots can arrive at all.
    QLabel *_maschinenStatus = nullptr;
};

#pragma once

#include "common/ptypair.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class BenchApp;
class MainWindow;
class LxScheibe;

// Competition server stand-in in a child process, so that its database and
// HTTP work neither share the client's event loop nor count in its memory.
class ServerProzess
{
public:
    static constexpr const char *User = "bench";
    static constexpr const char *Password = "bench-pw";
    static constexpr const char *Token = "bench-station";
    static constexpr quint32 ErsteKarte = 1000; // printed number of the first card

    ~ServerProzess();
    bool start(const QString &benchExe, int karten);
    QString url() const { return _url; }

private:
    QProcess _prozess;
    QString _url;
};

// Runs by itself in the child process: seeds karten 10-shot air rifle cards
// and serves them until stdin closes.
int serverMain(int argc, char **argv, int karten);

// One station session against the server: a real MainWindow whose machine
// port is a pty, logged in and connected, driven like the officer and the
// machine would.
class Sitzung
{
public:
    Sitzung(BenchApp &app, const QString &url);
    ~Sitzung();

    bool start(int width, int height); // window shown, logged in, machine connected
    // Fetches card nummer; *ns: card reply finished -> grid laid out and painted.
    bool karte(quint32 nummer, double *ns);
    // Machine reports shot i; *ns: CR written on the pty -> target i painted.
    bool schuss(unsigned i, double *ns);
    // Waits until the auto-saved card is confirmed and the input is open again.
    bool gespeichert();

    MainWindow *fenster() const { return _fenster.get(); }
    LxScheibe *scheibe(unsigned i) const;

private:
    BenchApp &_app;
    QString _url;
    QTemporaryDir _dir;
    PtyPair _pty;
    std::unique_ptr<MainWindow> _fenster;
};

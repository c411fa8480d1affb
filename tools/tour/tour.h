#pragma once

#include "kovritserver.h"
#include "rm3simulator.h"

#include <QDir>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class MainWindow;
class QWidget;

// Walks through one evening at the range as an officer would, on the real
// MainWindow against the competition server stand-in (seeded with the demo
// data) and the machine emulator on a pseudo-terminal: log in, connect the
// machine, an air-rifle card shot clean and submitted by itself, an
// air-pistol card with a doubtful shot corrected by hand, a refused
// submission and the successful second try, the question before a saved card
// is read again, and the settings dialog. Screenshots go to a folder.
class Tour : public QObject
{
    Q_OBJECT

public:
    explicit Tour(const QString &bilderOrdner, QSize groesse = QSize(1366, 768), QObject *parent = nullptr);
    ~Tour() override;

    // False with a reason in fehler() when a step did not come about in time.
    bool run();
    QString fehler() const { return _fehler; }
    QStringList bilder() const { return _bilder; } // written files, in order

private:
    bool start();
    bool anmelden();
    bool luftgewehr();
    bool luftpistole();
    bool einstellungen();
    bool karte(quint32 nummer, unsigned schuss);
    bool warte(const std::function<bool()> &bedingung, const QString &schritt, int ms = 15000);
    bool bild(const QString &name, const QPixmap &pixmap);
    bool bild(const QString &name) { return bild(name, fensterBild()); }
    QPixmap fensterBild() const;
    void onSettings(const Rm3Simulator::Settings &settings);
    void onBoxTimer();

    QDir _ordner;
    QSize _groesse; // of the window in the pictures
    QTemporaryDir _arbeit;
    KovritServer _server;
    Rm3Simulator _sim;
    std::unique_ptr<MainWindow> _window;
    QTimer _boxTimer;
    QString _boxBild; // name for the next "Fehler" box, empty: just close it
    QString _fehler;
    QStringList _bilder;
};

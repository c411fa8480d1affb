#pragma once

#include "app/konfiguration.h"

#include <QDialog>

#include <memory>

class ServiceProvider;

namespace Ui {
class Einstellungen;
}

// The station's settings without editing config.json by hand: the serial port
// from the ports found on this PC, server URL and token with a check against
// the server, and the three machine codes within their ranges. "Speichern"
// writes the file; a failure is shown in the dialog, which stays open.
class Einstellungen : public QDialog
{
    Q_OBJECT

public:
    Einstellungen(QWidget *parent, const QString &pfad, const Konfiguration &konfiguration);
    ~Einstellungen() override;

    // The values as they stand in the dialog.
    Konfiguration werte() const;

    // Shows the dialog for the file at `pfad`, starting from `*konfiguration`.
    // True when the officer saved: `*konfiguration` then holds the new values,
    // which the caller hands to the machine link and the server client.
    static bool bearbeiten(QWidget *parent, const QString &pfad, Konfiguration *konfiguration);

public slots:
    void accept() override;

private slots:
    void on_port_currentTextChanged(const QString &text);
    void on_serverPruefen_clicked();

private:
    Ui::Einstellungen *ui;
    QString _pfad;
    std::unique_ptr<ServiceProvider> _pruefung; // the last "Server prüfen", with its own token
};

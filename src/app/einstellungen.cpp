#include "app/einstellungen.h"

#include "machine/portliste.h"
#include "server/serviceprovider.h"
#include "ui_einstellungen.h"

#include <QDebug>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

Einstellungen::Einstellungen(QWidget *parent, const QString &pfad, const Konfiguration &konfiguration)
    : QDialog(parent)
    , ui(new Ui::Einstellungen)
    , _pfad(pfad)
{
    ui->setupUi(this);
    ui->knoepfe->button(QDialogButtonBox::Save)->setText(tr("Speichern"));
    ui->knoepfe->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    ui->pfad->setText(QFileInfo(pfad).absoluteFilePath());

    for (const Portliste::Port &port : Portliste::finden())
        ui->port->addItem(port.name, port.beschreibung);
    // Every key has the widget of its name; the table gives the ranges.
    for (const Konfiguration::Schluessel &s : Konfiguration::schluessel()) {
        if (auto *zahl = findChild<QSpinBox *>(QLatin1String(s.name))) {
            zahl->setRange(s.min, s.max);
            zahl->setValue(konfiguration.*s.zahl);
        } else if (auto *text = findChild<QLineEdit *>(QLatin1String(s.name))) {
            text->setText(konfiguration.*s.text);
        }
    }
    ui->port->setCurrentText(konfiguration.port);
    on_port_currentTextChanged(konfiguration.port);
}

Einstellungen::~Einstellungen()
{
    delete ui;
}

Konfiguration Einstellungen::werte() const
{
    Konfiguration k;
    for (const Konfiguration::Schluessel &s : Konfiguration::schluessel()) {
        if (auto *zahl = findChild<QSpinBox *>(QLatin1String(s.name)))
            k.*s.zahl = zahl->value();
        else if (auto *text = findChild<QLineEdit *>(QLatin1String(s.name)))
            k.*s.text = text->text();
    }
    k.port = ui->port->currentText().trimmed();
    return k;
}

bool Einstellungen::bearbeiten(QWidget *parent, const QString &pfad, Konfiguration *konfiguration)
{
    Einstellungen dialog(parent, pfad, *konfiguration);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *konfiguration = dialog.werte();
    return true;
}

void Einstellungen::accept()
{
    const QString fehler = werte().schreiben(_pfad);
    ui->fehler->setText(fehler);
    if (fehler.isEmpty()) {
        qInfo().noquote() << "Einstellungen::accept: " + ui->pfad->text() + " written";
        QDialog::accept();
    }
}

void Einstellungen::on_port_currentTextChanged(const QString &text)
{
    const int index = ui->port->findText(text.trimmed());
    if (index < 0)
        ui->portInfo->setText(tr("Nicht unter den gefundenen Ports."));
    else if (ui->port->itemData(index).toString().isEmpty())
        ui->portInfo->setText(tr("Gefundener Port, ohne Beschreibung."));
    else
        ui->portInfo->setText(ui->port->itemData(index).toString());
}

void Einstellungen::on_serverPruefen_clicked()
{
    // A client of its own: the window's client keeps the token of the login.
    _pruefung = std::make_unique<ServiceProvider>();
    _pruefung->init(ui->url->text(), ui->jwt->text());
    QList<QSslCertificate> zertifikate;
    if (!ui->ca->text().isEmpty()) {
        const QString problem = Konfiguration::zertifikateLesen(ui->ca->text(), _pfad, &zertifikate);
        if (!problem.isEmpty()) {
            ui->serverStatus->setText(problem);
            return;
        }
    }
    _pruefung->setZertifikate(zertifikate);
    connect(_pruefung.get(), &ServiceProvider::wettkampfe, this,
            [this](const QList<QPair<quint32, QString>> &liste) {
                ui->serverStatus->setText(liste.size() == 1
                                              ? tr("Der Server antwortet: 1 Wettkampf.")
                                              : tr("Der Server antwortet: %1 Wettkämpfe.").arg(liste.size()));
            });
    connect(_pruefung.get(), &ServiceProvider::requestError, ui->serverStatus, &QLabel::setText);
    ui->serverStatus->setText(tr("Frage den Server …"));
    _pruefung->getWettkampfe();
}

#include "app/einstellungen.h"

#include "machine/portliste.h"
#include "server/serviceprovider.h"
#include "ui_einstellungen.h"

#include <QDebug>
#include <QFileInfo>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

namespace {

// What "Server prüfen" found, in the dialog's words: the server client's
// text speaks of config.json and a restart, which the dialog replaces. Its
// first line ends in "(code)" or "(0:status)", as every failure text of the
// server client does; the line below it, if any, is the cause in words.
QString pruefergebnis(const QString &fehler, const QUrl &url, bool ohneToken)
{
    const QString zeile = fehler.section(QLatin1Char('\n'), 0, 0);
    const QString ursache = fehler.section(QLatin1Char('\n'), 1);
    static const QRegularExpression zahlen(QStringLiteral("\\((\\d+)(?::(\\d+))?\\)\\s*$"));
    const QRegularExpressionMatch m = zahlen.match(zeile);
    const int code = m.hasMatch() ? m.captured(1).toInt() : -1;
    const int status = m.captured(2).toInt();
    const QString ort = QStringLiteral("%1:%2")
                            .arg(url.host())
                            .arg(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
        return Einstellungen::tr("Server nicht erreichbar: %1 nimmt keine Verbindung an.").arg(ort);
    case QNetworkReply::HostNotFoundError:
        return Einstellungen::tr("Server nicht erreichbar: den Rechner %1 gibt es nicht.").arg(url.host());
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return Einstellungen::tr("Server nicht erreichbar: die Verbindung zu %1 brach ab.").arg(ort);
    case QNetworkReply::SslHandshakeFailedError:
        // The dialog has a field for the club's certificate.
        return Einstellungen::tr("Zertifikat abgelehnt: %1")
            .arg(ursache.isEmpty()
                     ? Einstellungen::tr("die verschlüsselte Verbindung kam nicht zustande.")
                     : QString(ursache).replace(QStringLiteral("in config.json unter \"ca\" eintragen"),
                                                Einstellungen::tr("unter „Zertifikat (PEM)“ angeben")));
    case QNetworkReply::AuthenticationRequiredError:
        return ohneToken ? Einstellungen::tr("Token fehlt: der Server verlangt ein Stations-Token.")
                         : Einstellungen::tr("Token abgelehnt: der Server kennt dieses Stations-Token nicht "
                                             "(oder es ist abgelaufen).");
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return Einstellungen::tr("Die Server-URL ist ungültig: sie muss mit http:// oder https:// beginnen.");
    case QNetworkReply::ContentNotFoundError:
        if (ursache.isEmpty())
            return Einstellungen::tr(
                "Keine Wettkampfliste unter dieser URL (HTTP 404): stimmt der Pfad, etwa "
                "„/quilvo“?");
        break;
    default:
        break;
    }
    if (!ursache.isEmpty()) // a redirect, an oversized or late answer
        return Einstellungen::tr("Keine Wettkampfliste: %1").arg(ursache);
    if (code == 0)
        return Einstellungen::tr("Keine Wettkampfliste: der Server antwortet mit HTTP %1.").arg(status);
    return Einstellungen::tr("Keine Wettkampfliste: der Server meldet Fehler %1.").arg(code);
}

} // namespace

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
                                              ? tr("Verbindung in Ordnung, 1 Wettkampf")
                                              : tr("Verbindung in Ordnung, %1 Wettkämpfe").arg(liste.size()));
            });
    connect(_pruefung.get(), &ServiceProvider::requestError, this,
            [this, url = QUrl(ui->url->text()), ohneToken = ui->jwt->text().isEmpty()](const QString &text) {
                qInfo().noquote() << "Einstellungen::on_serverPruefen_clicked: "
                        + QString(text).replace(QLatin1Char('\n'), QStringLiteral(" / "));
                ui->serverStatus->setText(pruefergebnis(text, url, ohneToken));
            });
    ui->serverStatus->setText(tr("Frage den Server …"));
    _pruefung->getWettkampfe();
}

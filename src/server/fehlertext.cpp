#include "server/fehlertext.h"

#include <QNetworkReply>

QString Fehlertext::anfrage(int code, int status, const QUrl &url, int zeitlimit, qint64 scheibe)
{
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("Server %1:%2 nicht erreichbar.")
            .arg(url.host())
            .arg(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    case QNetworkReply::OperationCanceledError:
        // Cancelled with an HTTP status is a body cut off for its size; without
        // one, the transfer time-out ended a request the server never answered.
        if (status != 0)
            return {};
        return zeitlimit % 1000 == 0
            ? QStringLiteral("Der Server hat nicht innerhalb von %1 s geantwortet.").arg(zeitlimit / 1000)
            : QStringLiteral("Der Server hat nicht innerhalb von %1 ms geantwortet.").arg(zeitlimit);
    default:
        break;
    }
    if (status == 401)
        return QStringLiteral("Der Server hat die Anmeldung abgelehnt (Token ungültig oder abgelaufen).");
    if (status == 404 && scheibe >= 0)
        return QStringLiteral("Scheibe %1 nicht gefunden (oder sie gehört zu einem anderen Wettkampf).")
            .arg(scheibe);
    return {};
}

QString Fehlertext::zertifikat(const QList<QSslError> &fehler, const QString &host)
{
    QStringList gruende;
    for (const QSslError &f : fehler) {
        QString grund;
        switch (f.error()) {
        case QSslError::CertificateExpired:
            grund = QStringLiteral("Das Zertifikat des Servers ist abgelaufen.");
            break;
        case QSslError::CertificateNotYetValid:
            grund = QStringLiteral("Das Zertifikat des Servers gilt noch nicht (Datum und Uhrzeit dieses PCs "
                                   "prüfen).");
            break;
        case QSslError::HostNameMismatch:
            grund = QStringLiteral("Das Zertifikat des Servers gilt nicht für den Namen %1.").arg(host);
            break;
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            grund = QStringLiteral("Der Aussteller des Serverzertifikats ist unbekannt (das Zertifikat des "
                                   "Vereins in config.json unter \"ca\" eintragen).");
            break;
        case QSslError::CertificateRevoked:
            grund = QStringLiteral("Das Zertifikat des Servers wurde widerrufen.");
            break;
        default:
            grund = QStringLiteral("Das Zertifikat des Servers wurde nicht anerkannt: %1.")
                        .arg(f.errorString());
            break;
        }
        if (!gruende.contains(grund))
            gruende << grund;
    }
    return gruende.join(QLatin1Char(' '));
}

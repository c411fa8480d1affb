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
        return frist(false, zeitlimit);
    default:
        break;
    }
    if (status == 401)
        return QStringLiteral("Der Server hat die Anmeldung abgelehnt (Token ungültig oder abgelaufen).");
    if (status == 404 && scheibe >= 0)
        return QStringLiteral("Scheibe %1 nicht gefunden (oder sie gehört zu einem anderen Wettkampf).")
            .arg(scheibe);
    // The competition list, the first request of all, not found: the URL's
    // path is wrong, most often by a trailing "/" that doubles the one of
    // the request.
    if (status == 404 && url.path().endsWith(QLatin1String("/wettkampfe")))
        return url.path().contains(QLatin1String("//"))
            ? QStringLiteral("Pfad %1 nicht gefunden – endet die URL mit '/'?").arg(url.path())
            : QStringLiteral("Pfad %1 nicht gefunden – stimmt der Pfad in der URL?").arg(url.path());
    return {};
}

QString Fehlertext::frist(bool begonnen, int zeitlimit)
{
    const QString dauer = zeitlimit % 1000 == 0 ? QStringLiteral("%1 s").arg(zeitlimit / 1000)
                                                : QStringLiteral("%1 ms").arg(zeitlimit);
    return begonnen
        ? QStringLiteral("Der Server hat seine Antwort nicht innerhalb von %1 vollständig geschickt.")
              .arg(dauer)
        : QStringLiteral("Der Server hat nicht innerhalb von %1 geantwortet.").arg(dauer);
}

QString Fehlertext::zuGross(qint64 grenze)
{
    return grenze % (1024 * 1024) == 0
        ? QStringLiteral("Die Antwort des Servers ist größer als %1 MiB.").arg(grenze / (1024 * 1024))
        : QStringLiteral("Die Antwort des Servers ist größer als %1 Bytes.").arg(grenze);
}

QString Fehlertext::umleitung(const QUrl &ziel)
{
    // The target is the server's text: shown without user info, without
    // anything unprintable and not at any length.
    QString text = ziel.toDisplayString(QUrl::RemoveUserInfo);
    text.removeIf([](QChar c) { return !c.isPrint(); });
    if (text.size() > 80)
        text = text.left(79) + QStringLiteral("…");
    if (text.isEmpty())
        return QStringLiteral("Der Server leitet auf eine andere Adresse um; kovrit folgt keiner Umleitung.");
    return QStringLiteral("Der Server leitet auf %1 um; kovrit folgt keiner Umleitung.").arg(text);
}

QString Fehlertext::token()
{
    return QStringLiteral("Der Server hat kein brauchbares Token geschickt (leer, zu lang oder mit Leer- "
                          "oder Steuerzeichen).");
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

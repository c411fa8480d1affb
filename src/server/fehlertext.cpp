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

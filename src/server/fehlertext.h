#pragma once

#include <QList>
#include <QSslError>
#include <QString>
#include <QUrl>

// The plain-German line that a "Fehler" box adds below the message of a
// failed request: what the numbers most likely mean. The message itself stays
// the first line, unchanged.
class Fehlertext
{
public:
    // For a failed request to `url` with the toolkit's network error `code`
    // and the HTTP `status`; `scheibe` is the card number of a card fetch
    // (-1 otherwise), `zeitlimit` the transfer time-out in ms. Empty when no
    // common cause fits.
    static QString anfrage(int code, int status, const QUrl &url, int zeitlimit, qint64 scheibe = -1);
    // The request's deadline of `zeitlimit` ms ended it; `begonnen` when the
    // server had started to answer.
    static QString frist(bool begonnen, int zeitlimit);
    // The body went over `grenze` bytes.
    static QString zuGross(qint64 grenze);
    // The server answered with a redirect to `ziel`, which is not followed.
    static QString umleitung(const QUrl &ziel);
    // A login answered with a token that cannot go into a header.
    static QString token();
    // Why the certificate of the server `host` was not accepted, in words.
    static QString zertifikat(const QList<QSslError> &fehler, const QString &host);
};

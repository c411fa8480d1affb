#include "server/recordinghttpserver.h"

#include <QTcpSocket>
#include <QTimer>

RecordingHttpServer::RecordingHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&_server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *socket = _server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

quint16 RecordingHttpServer::refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when probe goes
}

void RecordingHttpServer::onReadyRead(QTcpSocket *socket)
{
    // Leave the bytes in the socket until the whole request is there.
    const QByteArray buffer = socket->peek(socket->bytesAvailable());
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (const QByteArray &line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        // Only the separator blank and the line end go: a token test must
        // see "Bearer " with its blank.
        QByteArray value = line.mid(colon + 2);
        value.chop(value.endsWith('\r') ? 1 : 0);
        request.headers.insert(line.left(colon).trimmed().toLower(), value);
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    socket->readAll(); // one request per connection: every answer closes it

    _requests.append(request);
    emit requestReceived();
    if (_silent)
        return;
    const auto [status, body] = _answer;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Test\r\nConnection: close\r\n" + _headers;
    const qint64 size = _flood >= 0 ? _flood : body.size();
    if (status != 204 && (_flood < 0 || _floodLength))
        out += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(size) + "\r\n";
    out += "\r\n";
    if (status != 204 && _flood < 0)
        out += body;
    feed(socket, out, _flood >= 0 ? _flood : 0);
}

void RecordingHttpServer::feed(QTcpSocket *socket, QByteArray rest, qint64 blanks)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (_trickle > 0 && !rest.isEmpty()) {
        socket->write(rest.left(1));
        QTimer::singleShot(_trickle, socket, [=] { feed(socket, rest.mid(1), blanks); });
        return;
    }
    socket->write(rest);
    if (blanks <= 0) {
        socket->disconnectFromHost();
        return;
    }
    // Keeps at most a few chunks queued, so a client that stops reading
    // stops the flood too.
    const qint64 chunk = qMin<qint64>(blanks, 1 << 16);
    if (socket->bytesToWrite() < 1 << 20) {
        socket->write(QByteArray(chunk, ' '));
        blanks -= chunk;
    }
    QTimer::singleShot(1, socket, [=] { feed(socket, QByteArray(), blanks); });
}

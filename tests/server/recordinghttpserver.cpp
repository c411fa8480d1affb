#include "server/recordinghttpserver.h"

#include <QTcpSocket>

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
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Test\r\nConnection: close\r\n";
    if (status != 204)
        out += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n";
    socket->write(out + "\r\n" + (status != 204 ? body : QByteArray()));
    socket->disconnectFromHost();
}

#include "server/recordinghttpserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

bool RecordingHttpServer::Request::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray RecordingHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

RecordingHttpServer::RecordingHttpServer(QObject *parent)
    : QObject(parent)
    , _server(new QTcpServer(this))
{
    connect(_server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *socket = _server->nextPendingConnection()) {
            _buffers.insert(socket, QByteArray());
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
                _buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

bool RecordingHttpServer::listen()
{
    return _server->listen(QHostAddress::LocalHost, 0);
}

QString RecordingHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(_server->serverPort());
}

void RecordingHttpServer::setAnswer(int status, const QByteArray &body)
{
    _answer.status = status;
    _answer.body = body;
}

void RecordingHttpServer::queueAnswer(int status, const QByteArray &body)
{
    _queue.enqueue(Answer { status, body, false });
}

quint16 RecordingHttpServer::refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when probe goes
}

void RecordingHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray &buffer = _buffers[socket];
    buffer += socket->readAll();
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (const QByteArray &line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        // Keep the value byte for byte apart from the separator blanks and
        // the line end: a token test must see "Bearer " with its blank.
        QByteArray value = line.mid(colon + 1);
        while (value.startsWith(' ') || value.startsWith('\t'))
            value.remove(0, 1);
        if (value.endsWith('\r'))
            value.chop(1);
        request.headers.append(qMakePair(name, value));
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    if (buffer.size() < headerEnd + 4 + contentLength)
        return;
    request.body = buffer.mid(headerEnd + 4, contentLength);
    buffer.clear(); // one request per connection: every answer closes it

    _requests.append(request);
    const Answer a = _queue.isEmpty() ? _answer : _queue.dequeue();
    emit requestReceived();
    if (a.silent)
        return;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " Test\r\nConnection: close\r\n";
    if (a.status != 204)
        out += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(a.body.size())
            + "\r\n\r\n" + a.body;
    else
        out += "\r\n";
    socket->write(out);
    socket->disconnectFromHost();
}

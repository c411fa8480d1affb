#include "kovritgate.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 401:
        return "Unauthorized";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Bad Request";
    }
}

} // namespace

KovritGate::KovritGate(Check check, QObject *http, QObject *parent)
    : QTcpServer(parent)
    , _check(std::move(check))
    , _http(http)
{ }

void KovritGate::setSslConfiguration(const QSslConfiguration &configuration)
{
    _ssl = configuration;
    _tls = true;
}

void KovritGate::incomingConnection(qintptr descriptor)
{
    QSslSocket *ssl = _tls ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = ssl ? ssl : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        qInfo().noquote() << "KovritGate::incomingConnection:" << socket->errorString();
        delete socket;
        return;
    }
    // A legal request is at most one head and one body; the read buffer holds
    // a few, so a flood waits in the kernel, not in this process.
    socket->setReadBufferSize(4 * (MaxHead + MaxBody));
    // Connected before QHttpServer's slot, so it always runs first.
    auto connection = std::make_shared<Connection>();
    connect(socket, &QIODevice::readyRead, this,
            [this, socket, connection] { inspect(socket, *connection); });
    if (ssl) {
        ssl->setSslConfiguration(_ssl);
        ssl->startServerEncryption();
    }
    addPendingConnection(socket);
}

void KovritGate::inspect(QTcpSocket *socket, Connection &connection)
{
    if (connection.closing) {
        socket->readAll();
        return;
    }
    // What QHttpServer has not read yet: it reads everything on every
    // notification, after this slot.
    const QByteArray fresh = socket->peek(socket->bytesAvailable());
    qsizetype pos = 0;
    while (pos < fresh.size()) {
        if (connection.bodyLeft > 0) {
            const qsizetype take = qsizetype(qMin<qint64>(connection.bodyLeft, fresh.size() - pos));
            connection.bodyLeft -= take;
            pos += take;
            continue;
        }
        const qsizetype before = connection.head.size();
        connection.head += QByteArrayView(fresh).sliced(pos);
        const qsizetype end = connection.head.indexOf("\r\n\r\n");
        Head head;
        if (end < 0 || end > MaxHead) {
            if (connection.head.size() > MaxHead)
                refuse(socket, connection, head, { 431, QStringLiteral("request head too large") });
            return;
        }
        pos += end + 4 - before;
        const std::optional<Refusal> refusal = judge(connection.head.left(end), head);
        connection.head.clear();
        if (refusal) {
            refuse(socket, connection, head, *refusal);
            return;
        }
        connection.bodyLeft = head.contentLength;
    }
}

std::optional<KovritGate::Refusal> KovritGate::judge(const QByteArray &raw, Head &head) const
{
    const QList<QByteArray> lines = raw.split('\n');
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    if (request.size() != 3)
        return Refusal { 400, QStringLiteral("malformed request line") };
    head.method = request.at(0);
    head.target = request.at(1);
    bool lengthSeen = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "authorization") {
            head.authorization = value;
        } else if (name == "content-length") {
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            if (!ok || length < 0 || (lengthSeen && length != head.contentLength))
                return Refusal { 400, QStringLiteral("bad Content-Length") };
            head.contentLength = length;
            lengthSeen = true;
        } else if (name == "transfer-encoding") {
            // The gate must know where a body ends; every client sends a length.
            return Refusal { 411, QStringLiteral("Content-Length required") };
        }
    }
    return _check(head);
}

void KovritGate::refuse(QTcpSocket *socket, Connection &connection, const Head &head, const Refusal &refusal)
{
    // QHttpServer never sees the rest; what it has read of this request it
    // drops with the socket.
    disconnect(socket, &QIODevice::readyRead, _http, nullptr);
    connection.closing = true;
    socket->readAll();

    const QByteArray body = QJsonDocument(QJsonObject { { QStringLiteral("error"), refusal.message } })
                                .toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 " + QByteArray::number(refusal.status) + ' ' + reasonPhrase(refusal.status)
                  + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                  + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
    emit refused(head.method, head.target, refusal.status);
}

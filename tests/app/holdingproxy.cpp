#include "holdingproxy.h"

#include <QTcpSocket>

namespace {

// Length of a complete HTTP message (head and body) at the start of
// `bytes`, or -1 while it is still incomplete. Bodies come with a
// Content-Length from both the client and the stand-in server.
qsizetype messageLength(const QByteArray &bytes)
{
    const qsizetype kopfEnde = bytes.indexOf("\r\n\r\n");
    if (kopfEnde < 0)
        return -1;
    qsizetype laenge = 0;
    for (const QByteArray &zeile : bytes.left(kopfEnde).split('\n')) {
        if (zeile.toLower().startsWith("content-length:"))
            laenge = zeile.mid(15).trimmed().toLongLong();
    }
    const qsizetype gesamt = kopfEnde + 4 + laenge;
    return bytes.size() >= gesamt ? gesamt : -1;
}

} // namespace

HoldingProxy::HoldingProxy(quint16 serverPort, QObject *parent)
    : QObject(parent)
    , _serverPort(serverPort)
{
    connect(&_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = _server.nextPendingConnection()) {
            connect(client, &QTcpSocket::readyRead, this, [this, client] { onClientReadable(client); });
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        }
    });
}

HoldingProxy::~HoldingProxy()
{
    qDeleteAll(_anfragen);
}

bool HoldingProxy::listen()
{
    return _server.listen(QHostAddress(QHostAddress::LocalHost), 0);
}

int HoldingProxy::held(const QByteArray &pattern) const
{
    int n = 0;
    for (const Anfrage *a : _anfragen)
        n += a->halten && a->fertig && a->target.contains(pattern);
    return n;
}

bool HoldingProxy::release(const QByteArray &pattern, bool neueste)
{
    for (qsizetype i = 0; i < _anfragen.size(); ++i) {
        Anfrage *a = _anfragen.at(neueste ? _anfragen.size() - 1 - i : i);
        if (a->halten && a->fertig && a->target.contains(pattern)) {
            deliver(a);
            return true;
        }
    }
    return false;
}

void HoldingProxy::releaseAll()
{
    stopHolding();
    const QList<Anfrage *> alle = _anfragen;
    for (Anfrage *a : alle) {
        a->halten = false;
        if (a->fertig)
            deliver(a);
    }
}

void HoldingProxy::onClientReadable(QTcpSocket *client)
{
    // One request per connection: every reply below closes it.
    const QByteArray bytes = client->peek(client->bytesAvailable());
    const qsizetype laenge = messageLength(bytes);
    if (laenge < 0)
        return;
    client->read(laenge);
    auto *a = new Anfrage;
    a->client = client;
    a->target = bytes.left(bytes.indexOf("\r\n")).split(' ').value(1);
    for (const QByteArray &m : qAsConst(_muster))
        a->halten = a->halten || a->target.contains(m);
    a->upstream = new QTcpSocket(this);
    connect(a->upstream, &QTcpSocket::readyRead, this, [this, a] { onUpstreamReadable(a); });
    a->upstream->connectToHost(QHostAddress(QHostAddress::LocalHost), _serverPort);
    a->upstream->write(bytes.left(laenge));
    _anfragen << a;
}

void HoldingProxy::onUpstreamReadable(Anfrage *a)
{
    a->antwort += a->upstream->readAll();
    const qsizetype laenge = messageLength(a->antwort);
    if (laenge < 0 || a->fertig)
        return;
    a->antwort.truncate(laenge);
    // The station must not send its next request on this connection.
    const qsizetype kopfEnde = a->antwort.indexOf("\r\n\r\n");
    QList<QByteArray> zeilen;
    for (const QByteArray &z : a->antwort.left(kopfEnde).split('\n')) {
        if (!z.toLower().startsWith("connection:"))
            zeilen << z.trimmed();
    }
    zeilen.insert(1, "Connection: close");
    a->antwort = zeilen.join("\r\n") + a->antwort.mid(kopfEnde);
    a->fertig = true;
    a->upstream->deleteLater();
    a->upstream = nullptr;
    if (!a->halten)
        deliver(a);
}

void HoldingProxy::deliver(Anfrage *a)
{
    _anfragen.removeOne(a);
    if (a->client) {
        a->client->write(a->antwort);
        a->client->disconnectFromHost();
    }
    delete a;
}

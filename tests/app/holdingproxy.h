#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <iterator>

// Sits between the station and the competition server on 127.0.0.1 and
// passes every request on. Replies to requests whose target contains a held
// pattern are kept back until the test releases them, so a test can let
// replies arrive late and out of order, as a slow server does on match day.
class HoldingProxy : public QObject
{
public:
    explicit HoldingProxy(quint16 serverPort)
        : _serverPort(serverPort)
    {
        connect(&_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = _server.nextPendingConnection()) {
                connect(client, &QTcpSocket::readyRead, this, [this, client] { onClientReadable(client); });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    ~HoldingProxy() override { qDeleteAll(_anfragen); }

    bool listen() { return _server.listen(QHostAddress(QHostAddress::LocalHost), 0); }
    quint16 port() const { return _server.serverPort(); }

    // Replies to requests whose target contains `pattern` wait from now on.
    void hold(const QByteArray &pattern) { _muster << pattern; }
    void stopHolding() { _muster.clear(); }
    // The number of replies that the server has given and the proxy keeps back.
    int held() const { return int(std::count_if(_anfragen.cbegin(), _anfragen.cend(), &gehalten)); }
    // Hands on the oldest kept reply (the newest with `neueste`, so replies
    // overtake each other); false if there is none.
    bool release(bool neueste = false)
    {
        QList<Anfrage *> kandidaten;
        std::copy_if(_anfragen.cbegin(), _anfragen.cend(), std::back_inserter(kandidaten), &gehalten);
        if (kandidaten.isEmpty())
            return false;
        deliver(neueste ? kandidaten.last() : kandidaten.first());
        return true;
    }
    // Stops holding and hands on every reply, kept or still on its way.
    void releaseAll()
    {
        stopHolding();
        const QList<Anfrage *> alle = _anfragen;
        for (Anfrage *a : alle) {
            a->halten = false;
            if (a->fertig)
                deliver(a);
        }
    }
    // Requests whose reply has not been handed on yet.
    int offen() const { return int(_anfragen.size()); }

private:
    struct Anfrage
    {
        QPointer<QTcpSocket> client;
        QTcpSocket *upstream = nullptr;
        QByteArray antwort;
        bool halten = false;
        bool fertig = false; // the whole reply is in
    };

    static bool gehalten(const Anfrage *a) { return a->halten && a->fertig; }

    // Length of a complete HTTP message (head and body) at the start of
    // `bytes`, or -1 while it is still incomplete. Bodies come with a
    // Content-Length from both the client and the stand-in server.
    static qsizetype messageLength(const QByteArray &bytes)
    {
        const qsizetype kopfEnde = bytes.indexOf("\r\n\r\n");
        qsizetype gesamt = kopfEnde + 4;
        for (const QByteArray &zeile : bytes.left(kopfEnde).split('\n')) {
            if (zeile.toLower().startsWith("content-length:"))
                gesamt += zeile.mid(15).trimmed().toLongLong();
        }
        return kopfEnde >= 0 && bytes.size() >= gesamt ? gesamt : -1;
    }

    void onClientReadable(QTcpSocket *client)
    {
        // One request per connection: every reply below closes it.
        const QByteArray bytes = client->peek(client->bytesAvailable());
        const qsizetype laenge = messageLength(bytes);
        if (laenge < 0)
            return;
        client->read(laenge);
        auto *a = new Anfrage;
        a->client = client;
        const QByteArray target = bytes.left(bytes.indexOf("\r\n")).split(' ').value(1);
        for (const QByteArray &m : qAsConst(_muster))
            a->halten = a->halten || target.contains(m);
        a->upstream = new QTcpSocket(this);
        connect(a->upstream, &QTcpSocket::readyRead, this, [this, a] { onUpstreamReadable(a); });
        a->upstream->connectToHost(QHostAddress(QHostAddress::LocalHost), _serverPort);
        a->upstream->write(bytes.left(laenge));
        _anfragen << a;
    }

    void onUpstreamReadable(Anfrage *a)
    {
        a->antwort += a->upstream->readAll();
        const qsizetype laenge = messageLength(a->antwort);
        if (laenge < 0)
            return;
        a->antwort.truncate(laenge);
        // The station must not send its next request on this connection; the
        // stand-in server's replies carry no Connection header of their own.
        a->antwort.insert(a->antwort.indexOf("\r\n") + 2, "Connection: close\r\n");
        a->fertig = true;
        a->upstream->deleteLater();
        a->upstream = nullptr;
        if (!a->halten)
            deliver(a);
    }

    void deliver(Anfrage *a)
    {
        _anfragen.removeOne(a);
        if (a->client) {
            a->client->write(a->antwort);
            a->client->disconnectFromHost();
        }
        delete a;
    }

    quint16 _serverPort;
    QTcpServer _server;
    QList<QByteArray> _muster;
    QList<Anfrage *> _anfragen;
};

#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

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
    // The number of replies (for targets containing `pattern`) that the
    // server has given and the proxy keeps back.
    int held(const QByteArray &pattern = QByteArray()) const
    {
        return int(std::count_if(_anfragen.cbegin(), _anfragen.cend(), [&](const Anfrage *a) {
            return a->halten && a->fertig && a->target.contains(pattern);
        }));
    }
    // Hands on the oldest kept reply for `pattern` (the newest with
    // `neueste`, so replies overtake each other); false if there is none.
    bool release(const QByteArray &pattern = QByteArray(), bool neueste = false)
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
        QByteArray target;
        QByteArray antwort;
        bool halten = false;
        bool fertig = false; // the whole reply is in
    };

    // Length of a complete HTTP message (head and body) at the start of
    // `bytes`, or -1 while it is still incomplete. Bodies come with a
    // Content-Length from both the client and the stand-in server.
    static qsizetype messageLength(const QByteArray &bytes)
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
        a->target = bytes.left(bytes.indexOf("\r\n")).split(' ').value(1);
        for (const QByteArray &m : qAsConst(_muster))
            a->halten = a->halten || a->target.contains(m);
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

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

// Sits between the station and the competition server on 127.0.0.1 and
// passes every request on. Replies to requests whose target contains a held
// pattern are kept back until the test releases them, so a test can let
// replies arrive late and out of order, as a slow server does on match day.
class HoldingProxy : public QObject
{
    Q_OBJECT

public:
    explicit HoldingProxy(quint16 serverPort, QObject *parent = nullptr);
    ~HoldingProxy() override;

    bool listen(); // OS-chosen port on 127.0.0.1
    quint16 port() const { return _server.serverPort(); }

    // Replies to requests whose target contains `pattern` wait from now on.
    void hold(const QByteArray &pattern) { _muster << pattern; }
    void stopHolding() { _muster.clear(); }
    // The number of replies (for targets containing `pattern`) that the
    // server has given and the proxy keeps back.
    int held(const QByteArray &pattern = QByteArray()) const;
    // Hands on the oldest kept reply for `pattern` (the newest with
    // `neueste`, so replies overtake each other); false if there is none.
    bool release(const QByteArray &pattern = QByteArray(), bool neueste = false);
    // Stops holding and hands on every reply, kept or still on its way.
    void releaseAll();
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

    void onClientReadable(QTcpSocket *client);
    void onUpstreamReadable(Anfrage *anfrage);
    void deliver(Anfrage *anfrage);

    quint16 _serverPort;
    QTcpServer _server;
    QList<QByteArray> _muster;
    QList<Anfrage *> _anfragen;
};

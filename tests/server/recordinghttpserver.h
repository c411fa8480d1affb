#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

class QTcpSocket;

// Minimal HTTP/1.1 server on 127.0.0.1 for client tests: records every request
// exactly as it arrived and answers each with the status and body the test
// set, or not at all.
class RecordingHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent, e.g. "/quilvo//wettkampfe"
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit RecordingHttpServer(QObject *parent = nullptr);

    bool listen() { return _server.listen(QHostAddress::LocalHost, 0); } // OS-chosen port
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(_server.serverPort()); }

    // The answer to every request.
    void setAnswer(int status, const QByteArray &body = QByteArray()) { _answer = { status, body }; }
    void setSilent(bool silent) { _silent = silent; } // take requests, never answer

    QList<Request> requests() const { return _requests; }
    Request lastRequest() const { return _requests.value(_requests.size() - 1); }

    // A port on 127.0.0.1 that was free a moment ago: connecting is refused.
    static quint16 refusedPort();

signals:
    void requestReceived();

private:
    void onReadyRead(QTcpSocket *socket);

    QTcpServer _server;
    QList<Request> _requests;
    QPair<int, QByteArray> _answer { 200, QByteArray() };
    bool _silent = false;
};

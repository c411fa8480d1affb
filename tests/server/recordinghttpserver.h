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
    void setHeaders(const QByteArray &lines) { _headers = lines; } // each ending in "\r\n"
    // The answer one byte every `ms`, however long that takes.
    void setTrickle(int ms) { _trickle = ms; }
    // A body of `bytes` blanks instead of the set one, written as fast as the
    // client reads, with or without a Content-Length.
    void setFlood(qint64 bytes, bool withLength)
    {
        _flood = bytes;
        _floodLength = withLength;
    }

    QList<Request> requests() const { return _requests; }
    Request lastRequest() const { return _requests.value(_requests.size() - 1); }

    // A port on 127.0.0.1 that was free a moment ago: connecting is refused.
    static quint16 refusedPort();

signals:
    void requestReceived();

private:
    void onReadyRead(QTcpSocket *socket);
    void feed(QTcpSocket *socket, QByteArray rest, qint64 blanks);

    QTcpServer _server;
    QList<Request> _requests;
    QPair<int, QByteArray> _answer { 200, QByteArray() };
    bool _silent = false;
    QByteArray _headers;
    int _trickle = 0;
    qint64 _flood = -1;
    bool _floodLength = false;
};

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QQueue>
#include <QString>

class QTcpServer;
class QTcpSocket;

// Minimal HTTP/1.1 server on 127.0.0.1 for client tests: records every request
// exactly as it arrived (method, target, headers, body) and answers each with
// whatever status and body the test set, or not at all.
class RecordingHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // request target as sent, e.g. "/quilvo//wettkampfe"
        QList<QPair<QByteArray, QByteArray>> headers; // in arrival order
        QByteArray body;

        bool hasHeader(const QByteArray &name) const;
        QByteArray header(const QByteArray &name) const; // case-insensitive
    };

    struct Answer
    {
        int status = 200;
        QByteArray body;
        bool silent = false; // accept the request and never answer
    };

    explicit RecordingHttpServer(QObject *parent = nullptr);

    bool listen(); // OS-chosen port on 127.0.0.1
    QString baseUrl() const; // "http://127.0.0.1:<port>"

    void setAnswer(int status, const QByteArray &body = QByteArray()); // for every request
    void setSilent(bool silent) { _answer.silent = silent; }
    void queueAnswer(int status, const QByteArray &body = QByteArray()); // used before the default, FIFO

    QList<Request> requests() const { return _requests; }
    Request lastRequest() const { return _requests.value(_requests.size() - 1); }

    // A port on 127.0.0.1 that was free a moment ago: connecting is refused.
    static quint16 refusedPort();

signals:
    void requestReceived();

private:
    void onReadyRead(QTcpSocket *socket);

    QTcpServer *_server;
    QHash<QTcpSocket *, QByteArray> _buffers;
    QList<Request> _requests;
    Answer _answer;
    QQueue<Answer> _queue;
};

#pragma once

#include <QByteArray>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <optional>

class QTcpSocket;

// Accepts the stand-in's connections and reads the head of every request
// before QHttpServer gets to its body.
//
// QHttpServer 6.4 buffers a whole request, however large, before any route
// runs, and offers no hook on the headers alone. So a wrong token or an
// oversized body has to be refused here: the gate's readyRead slot is
// connected before QHttpServer's, and on every notification it peeks at the
// bytes QHttpServer is about to read. It follows the request boundaries
// (end of the head, Content-Length) across keep-alive requests. A refused
// request is answered by the gate, QHttpServer is cut off that socket, and
// the connection is closed.
class KovritGate : public QTcpServer
{
    Q_OBJECT

public:
    struct Head
    {
        QByteArray method;
        QByteArray target;
        QByteArray authorization;
        qint64 contentLength = 0;
    };
    struct Refusal
    {
        int status = 400;
        QString message;
    };
    // Decides on a request from its head alone; no value lets it through.
    using Check = std::function<std::optional<Refusal>(const Head &)>;

    static constexpr qsizetype MaxHead = 16 * 1024;
    static constexpr qint64 MaxBody = 64 * 1024;

    // http: the QHttpServer that is bound to this gate.
    KovritGate(Check check, QObject *http, QObject *parent = nullptr);

    void setSslConfiguration(const QSslConfiguration &configuration);

signals:
    void refused(const QByteArray &method, const QByteArray &target, int status);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection
    {
        QByteArray head; // of the request being read, up to its blank line
        qint64 bodyLeft = 0;
        bool closing = false;
    };

    void inspect(QTcpSocket *socket, Connection &connection);
    std::optional<Refusal> judge(const QByteArray &raw, Head &head) const;
    void refuse(QTcpSocket *socket, Connection &connection, const Head &head, const Refusal &refusal);

    Check _check;
    QObject *_http;
    QSslConfiguration _ssl;
    bool _tls = false;
};

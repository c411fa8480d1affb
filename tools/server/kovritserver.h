#pragma once

#include "kovritdemo.h"
#include "kovritgate.h"
#include "kovritstore.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

// Stand-in for the competition server: answers exactly the four requests the
// client makes, under the base path "/quilvo", from its KovritStore.
//
// Two kinds of bearer token are accepted: the station token (what a station's
// config.json holds) opens the login and the competition list; a login token,
// issued by a successful login and bound to one competition, opens the card
// and hit routes of that competition, until it is older than the token age.
//
// Every request's head passes KovritGate first: a wrong token or a body
// above KovritGate::MaxBody is refused before the body is read. After
// FreeTries wrong passwords for one user name from one address, logins of
// that pair are refused with 429 for a time that doubles with every further
// wrong password; a right one clears the count.
//
// The helpers below the routes pass through to the store, so end-to-end tests
// can set up and inspect exactly what they need.
class KovritServer : public QObject
{
    Q_OBJECT

public:
    using Hit = KovritStore::Hit;
    using SeriesTotals = KovritStore::SeriesTotals;
    using CardSpec = KovritStore::CardSpec;

    static constexpr const char *BasePath = "/quilvo";
    static constexpr const char *DemoUser = KovritDemo::User;
    static constexpr const char *DemoPassword = KovritDemo::Password;
    static constexpr const char *DemoStationToken = KovritDemo::StationToken;
    static constexpr qint64 DefaultTokenAge = 12 * 3600; // seconds, a long match day
    static constexpr int FreeTries = 3;
    static constexpr qint64 MaxLockSeconds = 300;

    explicit KovritServer(QObject *parent = nullptr);
    ~KovritServer() override;

    bool open(const QString &file) { return _store.open(file); } // see KovritStore::open
    QString errorString() const; // the last failure, of the store or of listen()

    // Serves HTTPS with the certificate (chain) and private key of two PEM
    // files; call before listen(). False, with errorString(), when either
    // file cannot be used.
    bool setTls(const QString &certFile, const QString &keyFile);
    // Returns the port actually bound (port 0 picks a free one), 0 on failure.
    quint16 listen(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    quint16 port() const { return _port; }
    QString baseUrl() const; // e.g. "http://127.0.0.1:8080/quilvo", "https://..." with TLS
    void failNextRequests(int count, int status); // the next count requests answer status
    void setTokenAge(qint64 seconds) { _tokenAge = seconds; } // of login tokens
    // Seconds since 1970 for token ages and login locks; tests step it.
    void setClock(std::function<qint64()> now) { _now = std::move(now); }

    KovritStore &store() { return _store; }
    const KovritStore &store() const { return _store; }
    bool seedDemo() { return KovritDemo::seed(_store); }

    QString stationToken() const { return _store.stationToken(); }
    void setStationToken(const QString &token) { _store.setStationToken(token); }
    bool isEmpty() const { return _store.isEmpty(); }
    bool hasUser(const QString &name) const { return _store.hasUser(name); }
    QStringList cardSummary() const { return _store.cardSummary(); }
    quint32 addCompetition(const QString &name) { return _store.addCompetition(name); }
    bool addUser(const QString &name, const QString &password) { return _store.addUser(name, password); }
    quint32 addCard(const CardSpec &karte) { return _store.addCard(karte); }
    quint32 cardId(quint32 nummer) const { return _store.cardId(nummer); }
    quint32 seriesId(quint32 cardId) const { return _store.seriesId(cardId); }
    QList<Hit> storedHits(quint32 cardId) const { return _store.storedHits(cardId); }
    QList<Hit> storedHitsByNumber(quint32 nummer) const { return _store.storedHits(_store.cardId(nummer)); }
    std::optional<qint64> evaluatedAt(quint32 cardId) const { return _store.evaluatedAt(cardId); }
    SeriesTotals seriesTotals(quint32 seriesId) const { return _store.seriesTotals(seriesId); }
    int submissionCount(quint32 cardId) const { return _store.submissionCount(cardId); }
    QList<QPair<quint32, QString>> competitions() const { return _store.competitions(); }

signals:
    void requestHandled(const QString &method, const QString &path, int status);

private:
    enum class TokenKind { None, Station, Login };
    struct Caller
    {
        TokenKind kind = TokenKind::None;
        quint32 competitionId = 0; // for a login token
    };

    void setupRoutes();
    // Logs the answer and emits requestHandled.
    QHttpServerResponse finish(const QHttpServerRequest &request, QHttpServerResponse &&response);
    std::optional<int> injectedStatus(); // set by failNextRequests, counted down per request
    Caller caller(const QByteArray &authorization) const; // from the bearer token
    Caller caller(const QHttpServerRequest &request) const;
    std::optional<KovritGate::Refusal> checkHead(const KovritGate::Head &head) const;
    qint64 lockSeconds(const QString &key, qint64 now) const; // 0: the login may be tried
    void noteWrongPassword(const QString &key, qint64 now);

    QHttpServerResponse login(const QHttpServerRequest &request);
    QHttpServerResponse wettkampfe(const QHttpServerRequest &request);
    QHttpServerResponse scheibe(const QString &nummer, const QHttpServerRequest &request);
    QHttpServerResponse treffer(const QString &id, const QHttpServerRequest &request);

    KovritStore _store;
    std::unique_ptr<QHttpServer> _http;
    KovritGate *_gate; // owned by _http
    QString _listenError;
    QHostAddress _address;
    quint16 _port = 0;
    bool _tls = false;
    int _failCount = 0;
    int _failStatus = 500;
    qint64 _tokenAge = DefaultTokenAge;
    std::function<qint64()> _now;
    struct Tries
    {
        int wrong = 0;
        qint64 last = 0; // time of the last wrong password
    };
    QHash<QString, Tries> _tries; // by peer address and user name
};

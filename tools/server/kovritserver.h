#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <optional>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;
class QSqlDatabase;

// Stand-in for the competition server: answers exactly the four requests the
// client makes, under the base path "/quilvo", from a SQLite database.
//
// Two kinds of bearer token are accepted: the station token (what a station's
// config.json holds) opens the login and the competition list; a login token,
// issued by a successful login and bound to one competition, opens the card
// and hit routes of that competition.
//
// The test helpers below work directly on the database, so end-to-end tests
// can set up and inspect exactly what they need.
class KovritServer : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *BasePath = "/quilvo";
    static constexpr const char *DemoUser = "aufsicht";
    static constexpr const char *DemoPassword = "kovrit-demo";
    static constexpr const char *DemoStationToken = "kovrit-demo-station";

    // One stored hit; r and t of -1 stand for null ("no hit" / "no Teiler").
    struct Hit
    {
        double x = 0.0;
        double y = 0.0;
        double r = -1.0;
        double t = -1.0;
    };

    struct SeriesTotals
    {
        int ringe = 0; // whole rings, summed per hit
        double zehntel = 0.0; // ring values with tenths, summed
    };

    // Everything needed to create a card; clubs, teams, shooters, weapon
    // classes and events are found by name or created.
    struct CardSpec
    {
        quint32 competitionId = 0;
        quint32 nummer = 0; // printed number, what the officer types
        quint32 seriesId = 0; // 0: the card opens a new series
        int weaponType = 1; // 1 air rifle, 2 air pistol
        int schussProScheibe = 10;
        double teilerFaktor = 1.0;
        int scheibenProSerie = 1;
        QString weapon = QStringLiteral("Luftgewehr");
        QString shooter = QStringLiteral("Erika Mustermann");
        QString club = QStringLiteral("SV Musterstadt");
        QString team; // empty: no team
        QStringList events;
        qint64 purchasedAt = 0; // seconds since 1970, 0: unknown
        qint64 evaluatedAt = 0; // seconds since 1970, 0: not evaluated yet
        QList<Hit> hits;
    };

    explicit KovritServer(QObject *parent = nullptr);
    ~KovritServer() override;

    // Opens (and if needed creates) the database file in WAL mode.
    bool open(const QString &file);
    QString errorString() const { return _error; }

    // Returns the port actually bound (port 0 picks a free one), 0 on failure.
    quint16 listen(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    quint16 port() const { return _port; }
    QString baseUrl() const; // e.g. "http://127.0.0.1:8080/quilvo"

    QString stationToken() const;
    void setStationToken(const QString &token);

    bool isEmpty() const; // no competition yet
    bool seedDemo(); // fills an empty database with demo data; false if not empty
    bool hasUser(const QString &name) const;
    QStringList cardSummary() const; // one line per card, for the start-up banner

    // Helpers for tests and tools.
    quint32 addCompetition(const QString &name);
    bool addUser(const QString &name, const QString &password);
    quint32 addCard(const CardSpec &karte); // returns the card id, 0 on failure
    quint32 cardId(quint32 nummer) const; // 0 when unknown
    quint32 seriesId(quint32 cardId) const;
    QList<Hit> storedHits(quint32 cardId) const;
    QList<Hit> storedHitsByNumber(quint32 nummer) const;
    std::optional<qint64> evaluatedAt(quint32 cardId) const; // empty when never evaluated
    SeriesTotals seriesTotals(quint32 seriesId) const;
    int submissionCount(quint32 cardId) const;
    QList<QPair<quint32, QString>> competitions() const;
    void failNextRequests(int count, int status); // the next count requests answer status

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
    QHttpServerResponse finish(const QHttpServerRequest &request, QHttpServerResponse &&response);
    std::optional<int> injectedStatus();
    Caller caller(const QHttpServerRequest &request) const;

    QHttpServerResponse login(const QHttpServerRequest &request);
    QHttpServerResponse wettkampfe(const QHttpServerRequest &request);
    QHttpServerResponse scheibe(const QString &nummer, const QHttpServerRequest &request);
    QHttpServerResponse treffer(const QString &id, const QHttpServerRequest &request);

    bool exec(const QString &sql, const QVariantList &values = {}) const;
    QVariant scalar(const QString &sql, const QVariantList &values = {}) const;
    quint32 findOrInsert(const QString &select, const QString &insert, const QVariantList &values);
    bool recomputeSeriesTotals(quint32 seriesId);
    bool storeHits(quint32 cardId, const QList<Hit> &hits);
    QString setting(const QString &key) const;
    void setSetting(const QString &key, const QString &value);
    QSqlDatabase db() const;

    std::unique_ptr<QHttpServer> _http;
    QString _connection; // name of this instance's database connection
    QString _error;
    QHostAddress _address;
    quint16 _port = 0;
    int _failCount = 0;
    int _failStatus = 500;
};

#include "kovritserver.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cmath>

namespace {

using Status = QHttpServerResponder::StatusCode;

// PBKDF2 with SHA-256; the count is stored with every account so it can be
// raised later without invalidating existing passwords.
constexpr int PasswordIterations = 20000;
constexpr int SaltBytes = 16;
constexpr int TokenBytes = 32;
// More hit slots than any real card has; protects the store from junk.
constexpr int MaxHitsPerCard = 100;

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS setting (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS competition (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS account (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    " salt BLOB NOT NULL, hash BLOB NOT NULL, iterations INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS login_token (token_hash TEXT PRIMARY KEY,"
    " competition_id INTEGER NOT NULL, account_id INTEGER NOT NULL, issued_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS club (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS team (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS shooter (id INTEGER PRIMARY KEY, name TEXT NOT NULL, club_id INTEGER NOT "
    "NULL,"
    " UNIQUE (name, club_id))",
    "CREATE TABLE IF NOT EXISTS weapon_class (id INTEGER PRIMARY KEY, name TEXT NOT NULL, type INTEGER NOT "
    "NULL,"
    " shots_per_card INTEGER NOT NULL, teiler_factor REAL NOT NULL, cards_per_series INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS event (id INTEGER PRIMARY KEY, competition_id INTEGER NOT NULL,"
    " name TEXT NOT NULL, UNIQUE (competition_id, name))",
    "CREATE TABLE IF NOT EXISTS series (id INTEGER PRIMARY KEY, competition_id INTEGER NOT NULL,"
    " shooter_id INTEGER NOT NULL, team_id INTEGER, weapon_class_id INTEGER NOT NULL,"
    " purchased_at INTEGER NOT NULL DEFAULT 0, ringe INTEGER NOT NULL DEFAULT 0,"
    " zehntel REAL NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS series_event (series_id INTEGER NOT NULL, event_id INTEGER NOT NULL,"
    " position INTEGER NOT NULL, PRIMARY KEY (series_id, event_id))",
    "CREATE TABLE IF NOT EXISTS card (id INTEGER PRIMARY KEY, number INTEGER NOT NULL UNIQUE,"
    " series_id INTEGER NOT NULL, evaluated_at INTEGER NOT NULL DEFAULT 0,"
    " submissions INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS hit (card_id INTEGER NOT NULL, position INTEGER NOT NULL,"
    " x REAL, y REAL, r REAL, t REAL, PRIMARY KEY (card_id, position))",
};

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return bytes;
}

QString newToken()
{
    return QString::fromLatin1(
        randomBytes(TokenBytes).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// Login tokens are kept only as hashes: a copy of the database hands out no
// valid token.
QString tokenHash(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray passwordHash(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              32);
}

// Compares without an early exit, so the time taken says nothing about how
// much of a guess was right.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

QHttpServerResponse errorResponse(Status status, const QString &message)
{
    return QHttpServerResponse(QJsonObject { { QStringLiteral("error"), message } }, status);
}

// A JSON integer that fits the client's signed 32-bit field.
std::optional<qint64> jsonInteger(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || d < -2147483648.0 || d > 2147483647.0)
        return std::nullopt;
    return static_cast<qint64>(d);
}

std::optional<quint32> pathNumber(const QString &text)
{
    bool ok = false;
    const quint32 n = text.toUInt(&ok, 10);
    if (!ok || text.isEmpty() || !text.at(0).isDigit())
        return std::nullopt;
    return n;
}

QJsonValue nullable(const QVariant &v)
{
    return v.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(v.toDouble());
}

QString methodName(const QHttpServerRequest &request)
{
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    default:
        return QStringLiteral("OTHER");
    }
}

} // namespace

KovritServer::KovritServer(QObject *parent)
    : QObject(parent)
    , _http(std::make_unique<QHttpServer>())
    , _connection(QStringLiteral("kovritserver-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    setupRoutes();
}

KovritServer::~KovritServer()
{
    _http.reset();
    if (QSqlDatabase::contains(_connection)) {
        {
            QSqlDatabase d = QSqlDatabase::database(_connection, false);
            d.close();
        }
        QSqlDatabase::removeDatabase(_connection);
    }
}

QSqlDatabase KovritServer::db() const
{
    return QSqlDatabase::database(_connection, false);
}

bool KovritServer::open(const QString &file)
{
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), _connection);
    d.setDatabaseName(file);
    // Several server processes or tools may share one file.
    d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!d.open()) {
        _error = d.lastError().text();
        return false;
    }
    // WAL lets readers go on while a submission is being written.
    // With WAL, synchronous=NORMAL still never corrupts the file; it only
    // saves the disk flush on every single commit.
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !exec(QStringLiteral("PRAGMA foreign_keys=ON")))
        return false;
    for (const char *statement : Schema) {
        if (!exec(QString::fromLatin1(statement)))
            return false;
    }
    return true;
}

quint16 KovritServer::listen(const QHostAddress &address, quint16 port)
{
    _address = address;
    _port = _http->listen(address, port);
    if (_port == 0)
        _error = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port);
    return _port;
}

QString KovritServer::baseUrl() const
{
    QString host = _address.toString();
    if (_address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2%3").arg(host).arg(_port).arg(QLatin1String(BasePath));
}

QString KovritServer::stationToken() const
{
    return setting(QStringLiteral("station_token"));
}

void KovritServer::setStationToken(const QString &token)
{
    setSetting(QStringLiteral("station_token"), token);
}

bool KovritServer::isEmpty() const
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM competition")).toInt() == 0;
}

bool KovritServer::hasUser(const QString &name) const
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM account WHERE name = ?"), { name }).toInt() > 0;
}

void KovritServer::failNextRequests(int count, int status)
{
    _failCount = qMax(0, count);
    _failStatus = status;
}

// ---------------------------------------------------------------- routes

void KovritServer::setupRoutes()
{
    const QString base = QLatin1String(BasePath);
    _http->route(base + QStringLiteral("/login/wettkampf"), QHttpServerRequest::Method::Post,
                 [this](const QHttpServerRequest &request) { return finish(request, login(request)); });
    _http->route(base + QStringLiteral("/wettkampfe"), QHttpServerRequest::Method::Get,
                 [this](const QHttpServerRequest &request) { return finish(request, wettkampfe(request)); });
    _http->route(base + QStringLiteral("/scheibe-ext/<arg>"), QHttpServerRequest::Method::Get,
                 [this](const QString &nummer, const QHttpServerRequest &request) {
                     return finish(request, scheibe(nummer, request));
                 });
    _http->route(base + QStringLiteral("/treffer/scheibe/<arg>"), QHttpServerRequest::Method::Post,
                 [this](const QString &id, const QHttpServerRequest &request) {
                     return finish(request, treffer(id, request));
                 });
}

QHttpServerResponse KovritServer::finish(const QHttpServerRequest &request, QHttpServerResponse &&response)
{
    const int status = static_cast<int>(response.statusCode());
    const QString path = request.url().path();
    qInfo().noquote() << "KovritServer::finish:" << methodName(request) << path << status;
    emit requestHandled(methodName(request), path, status);
    return std::move(response);
}

std::optional<int> KovritServer::injectedStatus()
{
    if (_failCount <= 0)
        return std::nullopt;
    --_failCount;
    return _failStatus;
}

KovritServer::Caller KovritServer::caller(const QHttpServerRequest &request) const
{
    QByteArray authorization;
    for (const auto &header : request.headers()) {
        if (header.first.compare("Authorization", Qt::CaseInsensitive) == 0)
            authorization = header.second.trimmed();
    }
    if (!authorization.startsWith("Bearer "))
        return {};
    const QString token = QString::fromUtf8(authorization.mid(7)).trimmed();
    if (token.isEmpty())
        return {};

    const QString station = stationToken();
    if (!station.isEmpty() && sameBytes(token.toUtf8(), station.toUtf8()))
        return { TokenKind::Station, 0 };

    const QVariant competition = scalar(
        QStringLiteral("SELECT competition_id FROM login_token WHERE token_hash = ?"), { tokenHash(token) });
    if (competition.isValid() && !competition.isNull())
        return { TokenKind::Login, competition.toUInt() };
    return {};
}

QHttpServerResponse KovritServer::login(const QHttpServerRequest &request)
{
    if (const auto status = injectedStatus())
        return errorResponse(Status(*status), QStringLiteral("injected failure"));
    // The client always logs in with the station's configured token.
    if (caller(request).kind != TokenKind::Station)
        return errorResponse(Status::Unauthorized, QStringLiteral("station token required"));

    const QJsonDocument doc = QJsonDocument::fromJson(request.body());
    const QJsonObject body = doc.object();
    const std::optional<qint64> competitionId = jsonInteger(body.value(QStringLiteral("wettkampf")));
    const QJsonValue user = body.value(QStringLiteral("user"));
    const QJsonValue password = body.value(QStringLiteral("password"));
    if (!doc.isObject() || !competitionId || !user.isString() || !password.isString())
        return errorResponse(Status::Unauthorized, QStringLiteral("login refused"));

    const bool competitionKnown
        = scalar(QStringLiteral("SELECT COUNT(*) FROM competition WHERE id = ?"), { *competitionId }).toInt()
        > 0;

    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT id, salt, hash, iterations FROM account WHERE name = ?"));
    q.addBindValue(user.toString());
    bool passwordOk = false;
    qint64 accountId = 0;
    if (q.exec() && q.next()) {
        accountId = q.value(0).toLongLong();
        const QByteArray expected = q.value(2).toByteArray();
        passwordOk = sameBytes(
            passwordHash(password.toString(), q.value(1).toByteArray(), q.value(3).toInt()), expected);
    } else {
        // Spend the same work for an unknown name, so the answer time does not
        // tell which user names exist.
        passwordHash(password.toString(), QByteArray(SaltBytes, '\0'), PasswordIterations);
    }
    if (!passwordOk || !competitionKnown)
        return errorResponse(Status::Unauthorized, QStringLiteral("login refused"));

    const QString token = newToken();
    if (!exec(QStringLiteral("INSERT INTO login_token (token_hash, competition_id, account_id, issued_at)"
                             " VALUES (?, ?, ?, ?)"),
              { tokenHash(token), *competitionId, accountId, QDateTime::currentSecsSinceEpoch() }))
        return errorResponse(Status::InternalServerError, _error);
    return QHttpServerResponse(QJsonObject { { QStringLiteral("jwt"), token } });
}

QHttpServerResponse KovritServer::wettkampfe(const QHttpServerRequest &request)
{
    if (const auto status = injectedStatus())
        return errorResponse(Status(*status), QStringLiteral("injected failure"));
    // After a logoff the client still presents its last login token here.
    if (caller(request).kind == TokenKind::None)
        return errorResponse(Status::Unauthorized, QStringLiteral("token required"));

    QJsonArray list;
    for (const auto &c : competitions())
        list.append(
            QJsonObject { { QStringLiteral("id"), qint64(c.first) }, { QStringLiteral("name"), c.second } });
    return QHttpServerResponse(list);
}

QHttpServerResponse KovritServer::scheibe(const QString &nummer, const QHttpServerRequest &request)
{
    if (const auto status = injectedStatus())
        return errorResponse(Status(*status), QStringLiteral("injected failure"));
    const Caller who = caller(request);
    if (who.kind != TokenKind::Login)
        return errorResponse(Status::Unauthorized, QStringLiteral("login required"));
    const std::optional<quint32> number = pathNumber(nummer);
    if (!number)
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));

    QSqlQuery q(db());
    q.prepare(QStringLiteral(
        "SELECT c.id, c.number, c.evaluated_at, s.id, s.ringe, s.zehntel, s.purchased_at,"
        " sh.id, sh.name, cl.id, cl.name, tm.id, tm.name,"
        " w.type, w.name, w.shots_per_card, w.teiler_factor, w.cards_per_series"
        " FROM card c JOIN series s ON s.id = c.series_id"
        " JOIN shooter sh ON sh.id = s.shooter_id JOIN club cl ON cl.id = sh.club_id"
        " LEFT JOIN team tm ON tm.id = s.team_id JOIN weapon_class w ON w.id = s.weapon_class_id"
        " WHERE c.number = ? AND s.competition_id = ?"));
    q.addBindValue(qint64(*number));
    q.addBindValue(qint64(who.competitionId));
    if (!q.exec() || !q.next())
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));

    const quint32 id = q.value(0).toUInt();
    const quint32 seriesId = q.value(3).toUInt();

    QJsonObject shooter { { QStringLiteral("id"), q.value(7).toLongLong() },
                          { QStringLiteral("name"), q.value(8).toString() },
                          { QStringLiteral("verein"),
                            QJsonObject { { QStringLiteral("id"), q.value(9).toLongLong() },
                                          { QStringLiteral("name"), q.value(10).toString() } } } };
    const QJsonValue team = q.value(11).isNull()
        ? QJsonValue(QJsonValue::Null)
        : QJsonValue(QJsonObject { { QStringLiteral("id"), q.value(11).toLongLong() },
                                   { QStringLiteral("name"), q.value(12).toString() } });
    // The client takes the weapon's id as its face type (1 air rifle, 2 air
    // pistol), so the class's type goes out as "id".
    QJsonObject weapon { { QStringLiteral("id"), q.value(13).toInt() },
                         { QStringLiteral("name"), q.value(14).toString() },
                         { QStringLiteral("schussProScheibe"), q.value(15).toInt() },
                         { QStringLiteral("teilerFaktor"), q.value(16).toDouble() },
                         { QStringLiteral("scheibenProSerie"), q.value(17).toInt() } };

    QJsonArray events;
    QSqlQuery e(db());
    e.prepare(QStringLiteral("SELECT ev.id, ev.name FROM series_event se JOIN event ev ON ev.id = se.event_id"
                             " WHERE se.series_id = ? ORDER BY se.position"));
    e.addBindValue(qint64(seriesId));
    if (e.exec()) {
        while (e.next())
            events.append(QJsonObject { { QStringLiteral("id"), e.value(0).toLongLong() },
                                        { QStringLiteral("name"), e.value(1).toString() } });
    }

    QJsonObject series { { QStringLiteral("id"), qint64(seriesId) },
                         { QStringLiteral("ringe"), q.value(4).toInt() },
                         { QStringLiteral("zehntel"), q.value(5).toDouble() },
                         { QStringLiteral("timestamp"), q.value(6).toLongLong() },
                         { QStringLiteral("schutze"), shooter },
                         { QStringLiteral("mannschaft"), team },
                         { QStringLiteral("waffe"), weapon },
                         { QStringLiteral("wettbewerbe"), events } };

    QJsonArray hits;
    QSqlQuery h(db());
    h.prepare(QStringLiteral("SELECT x, y, r, t FROM hit WHERE card_id = ? ORDER BY position"));
    h.addBindValue(qint64(id));
    if (h.exec()) {
        while (h.next())
            hits.append(QJsonObject { { QStringLiteral("x"), nullable(h.value(0)) },
                                      { QStringLiteral("y"), nullable(h.value(1)) },
                                      { QStringLiteral("r"), nullable(h.value(2)) },
                                      { QStringLiteral("t"), nullable(h.value(3)) } });
    }

    return QHttpServerResponse(QJsonObject { { QStringLiteral("id"), qint64(id) },
                                             { QStringLiteral("nummer"), q.value(1).toLongLong() },
                                             { QStringLiteral("timestamp"), q.value(2).toLongLong() },
                                             { QStringLiteral("serie"), series },
                                             { QStringLiteral("treffer"), hits } });
}

QHttpServerResponse KovritServer::treffer(const QString &id, const QHttpServerRequest &request)
{
    if (const auto status = injectedStatus())
        return errorResponse(Status(*status), QStringLiteral("injected failure"));
    const Caller who = caller(request);
    if (who.kind != TokenKind::Login)
        return errorResponse(Status::Unauthorized, QStringLiteral("login required"));
    const std::optional<quint32> cardNumber = pathNumber(id);
    if (!cardNumber)
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));
    const quint32 card = *cardNumber;
    const QVariant competition = scalar(
        QStringLiteral(
            "SELECT s.competition_id FROM card c JOIN series s ON s.id = c.series_id WHERE c.id = ?"),
        { qint64(card) });
    if (!competition.isValid() || competition.toUInt() != who.competitionId)
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));

    // Validate everything before touching the store: a bad body changes nothing.
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isArray())
        return errorResponse(Status::BadRequest, QStringLiteral("expected a JSON array of hits"));
    const QJsonArray array = doc.array();
    if (array.size() > MaxHitsPerCard)
        return errorResponse(Status::BadRequest, QStringLiteral("too many hits"));

    QList<Hit> hits;
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return errorResponse(Status::BadRequest, QStringLiteral("every hit must be an object"));
        const QJsonObject o = element.toObject();
        Hit hit;
        double *const fields[] = { &hit.x, &hit.y, &hit.r, &hit.t };
        const char *const keys[] = { "x", "y", "r", "t" };
        for (int k = 0; k < 4; ++k) {
            const QJsonValue v = o.value(QLatin1String(keys[k]));
            if (v.isNull() || v.isUndefined())
                continue; // x, y stay 0; r, t stay "none"
            if (!v.isDouble() || !std::isfinite(v.toDouble()))
                return errorResponse(
                    Status::BadRequest,
                    QStringLiteral("\"%1\" must be a number or null").arg(QLatin1String(keys[k])));
            *fields[k] = v.toDouble();
        }
        // Ring values run from 0.0 (a miss) to 10.9; a Teiler is a distance.
        if ((o.value(QLatin1String("r")).isDouble() && (hit.r < 0.0 || hit.r >= 11.0))
            || (o.value(QLatin1String("t")).isDouble() && hit.t < 0.0))
            return errorResponse(Status::BadRequest, QStringLiteral("ring value or Teiler out of range"));
        hits.append(hit);
    }

    if (!storeHits(card, hits))
        return errorResponse(Status::InternalServerError, _error);
    return QHttpServerResponse(QJsonObject { { QStringLiteral("ok"), true } });
}

// ---------------------------------------------------------------- storage

bool KovritServer::storeHits(quint32 cardId, const QList<Hit> &hits)
{
    QSqlDatabase d = db();
    if (!d.transaction()) {
        _error = d.lastError().text();
        return false;
    }
    bool ok = exec(QStringLiteral("DELETE FROM hit WHERE card_id = ?"), { qint64(cardId) });
    for (int i = 0; ok && i < hits.size(); ++i) {
        const Hit &h = hits.at(i);
        ok = exec(QStringLiteral("INSERT INTO hit (card_id, position, x, y, r, t) VALUES (?, ?, ?, ?, ?, ?)"),
                  { qint64(cardId), i, h.x, h.y, h.r >= 0.0 ? QVariant(h.r) : QVariant(),
                    h.t >= 0.0 ? QVariant(h.t) : QVariant() });
    }
    ok = ok
        && exec(
             QStringLiteral("UPDATE card SET evaluated_at = ?, submissions = submissions + 1 WHERE id = ?"),
             { QDateTime::currentSecsSinceEpoch(), qint64(cardId) })
        && recomputeSeriesTotals(seriesId(cardId));
    if (!ok) {
        d.rollback();
        return false;
    }
    if (!d.commit()) {
        _error = d.lastError().text();
        d.rollback();
        return false;
    }
    return true;
}

bool KovritServer::recomputeSeriesTotals(quint32 seriesId)
{
    // Whole rings are summed per hit (10.5 + 9.6 make 19), the way the client
    // sums a card; the series totals include every stored hit of the series.
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT h.r FROM hit h JOIN card c ON c.id = h.card_id"
                             " WHERE c.series_id = ? AND h.r IS NOT NULL"));
    q.addBindValue(qint64(seriesId));
    if (!q.exec()) {
        _error = q.lastError().text();
        return false;
    }
    qint64 ringe = 0;
    double zehntel = 0.0;
    while (q.next()) {
        const double r = q.value(0).toDouble();
        ringe += static_cast<qint64>(std::trunc(r));
        zehntel += r;
    }
    // Summing tenths in binary leaves noise such as 19.900000000000002.
    zehntel = std::round(zehntel * 1e6) / 1e6;
    return exec(QStringLiteral("UPDATE series SET ringe = ?, zehntel = ? WHERE id = ?"),
                { ringe, zehntel, qint64(seriesId) });
}

bool KovritServer::exec(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(db());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        const_cast<KovritServer *>(this)->_error = q.lastError().text();
        qInfo().noquote() << "KovritServer::exec:" << sql << "failed:" << _error;
        return false;
    }
    return true;
}

QVariant KovritServer::scalar(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(db());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return QVariant();
    return q.value(0);
}

quint32 KovritServer::findOrInsert(const QString &select, const QString &insert, const QVariantList &values)
{
    const QVariant found = scalar(select, values);
    if (found.isValid())
        return found.toUInt();
    QSqlQuery q(db());
    q.prepare(insert);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        _error = q.lastError().text();
        return 0;
    }
    return q.lastInsertId().toUInt();
}

QString KovritServer::setting(const QString &key) const
{
    return scalar(QStringLiteral("SELECT value FROM setting WHERE key = ?"), { key }).toString();
}

void KovritServer::setSetting(const QString &key, const QString &value)
{
    exec(QStringLiteral("INSERT INTO setting (key, value) VALUES (?, ?)"
                        " ON CONFLICT(key) DO UPDATE SET value = excluded.value"),
         { key, value });
}

// ---------------------------------------------------------------- helpers

quint32 KovritServer::addCompetition(const QString &name)
{
    QSqlQuery q(db());
    q.prepare(QStringLiteral("INSERT INTO competition (name) VALUES (?)"));
    q.addBindValue(name);
    if (!q.exec()) {
        _error = q.lastError().text();
        return 0;
    }
    return q.lastInsertId().toUInt();
}

bool KovritServer::addUser(const QString &name, const QString &password)
{
    const QByteArray salt = randomBytes(SaltBytes);
    return exec(QStringLiteral("INSERT INTO account (name, salt, hash, iterations) VALUES (?, ?, ?, ?)"
                               " ON CONFLICT(name) DO UPDATE SET salt = excluded.salt, hash = excluded.hash,"
                               " iterations = excluded.iterations"),
                { name, salt, passwordHash(password, salt, PasswordIterations), PasswordIterations });
}

quint32 KovritServer::addCard(const CardSpec &karte)
{
    QSqlDatabase d = db();
    d.transaction();
    auto fail = [&d]() {
        d.rollback();
        return 0u;
    };

    quint32 series = karte.seriesId;
    if (series == 0) {
        const quint32 club
            = findOrInsert(QStringLiteral("SELECT id FROM club WHERE name = ?"),
                           QStringLiteral("INSERT INTO club (name) VALUES (?)"), { karte.club });
        const quint32 shooter
            = findOrInsert(QStringLiteral("SELECT id FROM shooter WHERE name = ? AND club_id = ?"),
                           QStringLiteral("INSERT INTO shooter (name, club_id) VALUES (?, ?)"),
                           { karte.shooter, qint64(club) });
        QVariant team;
        if (!karte.team.isEmpty())
            team = qint64(findOrInsert(QStringLiteral("SELECT id FROM team WHERE name = ?"),
                                       QStringLiteral("INSERT INTO team (name) VALUES (?)"), { karte.team }));
        const quint32 weapon = findOrInsert(
            QStringLiteral("SELECT id FROM weapon_class WHERE name = ? AND type = ? AND shots_per_card = ?"
                           " AND teiler_factor = ? AND cards_per_series = ?"),
            QStringLiteral(
                "INSERT INTO weapon_class (name, type, shots_per_card, teiler_factor, cards_per_series)"
                " VALUES (?, ?, ?, ?, ?)"),
            { karte.weapon, karte.weaponType, karte.schussProScheibe, karte.teilerFaktor,
              karte.scheibenProSerie });
        if (club == 0 || shooter == 0 || weapon == 0)
            return fail();

        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO series (competition_id, shooter_id, team_id, weapon_class_id,"
                                 " purchased_at) VALUES (?, ?, ?, ?, ?)"));
        q.addBindValue(qint64(karte.competitionId));
        q.addBindValue(qint64(shooter));
        q.addBindValue(team);
        q.addBindValue(qint64(weapon));
        q.addBindValue(karte.purchasedAt);
        if (!q.exec()) {
            _error = q.lastError().text();
            return fail();
        }
        series = q.lastInsertId().toUInt();

        for (int i = 0; i < karte.events.size(); ++i) {
            const quint32 event
                = findOrInsert(QStringLiteral("SELECT id FROM event WHERE competition_id = ? AND name = ?"),
                               QStringLiteral("INSERT INTO event (competition_id, name) VALUES (?, ?)"),
                               { qint64(karte.competitionId), karte.events.at(i) });
            if (event == 0
                || !exec(QStringLiteral("INSERT OR IGNORE INTO series_event (series_id, event_id, position)"
                                        " VALUES (?, ?, ?)"),
                         { qint64(series), qint64(event), i }))
                return fail();
        }
    }

    QSqlQuery q(d);
    q.prepare(QStringLiteral("INSERT INTO card (number, series_id, evaluated_at) VALUES (?, ?, ?)"));
    q.addBindValue(qint64(karte.nummer));
    q.addBindValue(qint64(series));
    q.addBindValue(karte.evaluatedAt);
    if (!q.exec()) {
        _error = q.lastError().text();
        return fail();
    }
    const quint32 card = q.lastInsertId().toUInt();

    for (int i = 0; i < karte.hits.size(); ++i) {
        const Hit &h = karte.hits.at(i);
        if (!exec(QStringLiteral("INSERT INTO hit (card_id, position, x, y, r, t) VALUES (?, ?, ?, ?, ?, ?)"),
                  { qint64(card), i, h.x, h.y, h.r >= 0.0 ? QVariant(h.r) : QVariant(),
                    h.t >= 0.0 ? QVariant(h.t) : QVariant() }))
            return fail();
    }
    if (!recomputeSeriesTotals(series))
        return fail();
    d.commit();
    return card;
}

quint32 KovritServer::cardId(quint32 nummer) const
{
    return scalar(QStringLiteral("SELECT id FROM card WHERE number = ?"), { qint64(nummer) }).toUInt();
}

quint32 KovritServer::seriesId(quint32 cardId) const
{
    return scalar(QStringLiteral("SELECT series_id FROM card WHERE id = ?"), { qint64(cardId) }).toUInt();
}

QList<KovritServer::Hit> KovritServer::storedHits(quint32 cardId) const
{
    QList<Hit> hits;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT x, y, r, t FROM hit WHERE card_id = ? ORDER BY position"));
    q.addBindValue(qint64(cardId));
    if (!q.exec())
        return hits;
    while (q.next()) {
        Hit h;
        h.x = q.value(0).toDouble();
        h.y = q.value(1).toDouble();
        h.r = q.value(2).isNull() ? -1.0 : q.value(2).toDouble();
        h.t = q.value(3).isNull() ? -1.0 : q.value(3).toDouble();
        hits.append(h);
    }
    return hits;
}

QList<KovritServer::Hit> KovritServer::storedHitsByNumber(quint32 nummer) const
{
    return storedHits(cardId(nummer));
}

std::optional<qint64> KovritServer::evaluatedAt(quint32 cardId) const
{
    const qint64 at = scalar(QStringLiteral("SELECT evaluated_at FROM card WHERE id = ?"), { qint64(cardId) })
                          .toLongLong();
    if (at == 0)
        return std::nullopt;
    return at;
}

KovritServer::SeriesTotals KovritServer::seriesTotals(quint32 seriesId) const
{
    SeriesTotals totals;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT ringe, zehntel FROM series WHERE id = ?"));
    q.addBindValue(qint64(seriesId));
    if (q.exec() && q.next()) {
        totals.ringe = q.value(0).toInt();
        totals.zehntel = q.value(1).toDouble();
    }
    return totals;
}

int KovritServer::submissionCount(quint32 cardId) const
{
    return scalar(QStringLiteral("SELECT submissions FROM card WHERE id = ?"), { qint64(cardId) }).toInt();
}

QList<QPair<quint32, QString>> KovritServer::competitions() const
{
    QList<QPair<quint32, QString>> list;
    QSqlQuery q(db());
    if (q.exec(QStringLiteral("SELECT id, name FROM competition ORDER BY id"))) {
        while (q.next())
            list.append(qMakePair(q.value(0).toUInt(), q.value(1).toString()));
    }
    return list;
}

QStringList KovritServer::cardSummary() const
{
    QStringList lines;
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral(
            "SELECT c.number, c.id, co.name, w.name, w.shots_per_card, w.teiler_factor, sh.name,"
            " (SELECT COUNT(*) FROM hit h WHERE h.card_id = c.id AND h.r IS NOT NULL)"
            " FROM card c JOIN series s ON s.id = c.series_id JOIN competition co ON co.id = s.competition_id"
            " JOIN weapon_class w ON w.id = s.weapon_class_id JOIN shooter sh ON sh.id = s.shooter_id"
            " ORDER BY co.id, c.number")))
        return lines;
    while (q.next()) {
        lines << QStringLiteral("%1 (id %2) %3: %4, %5 Schuss, Teilerfaktor %6, %7, %8 Treffer gespeichert")
                     .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                          q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                          q.value(6).toString(), q.value(7).toString());
    }
    return lines;
}

// ---------------------------------------------------------------- demo data

bool KovritServer::seedDemo()
{
    if (!isEmpty())
        return false;

    const quint32 km = addCompetition(QStringLiteral("Kreismeisterschaft 2024"));
    const quint32 vm = addCompetition(QStringLiteral("Vereinsmeisterschaft 2024"));
    if (km == 0 || vm == 0 || !addUser(QLatin1String(DemoUser), QLatin1String(DemoPassword)))
        return false;
    if (stationToken().isEmpty())
        setStationToken(QLatin1String(DemoStationToken));

    const qint64 purchased = QDateTime(QDate(2024, 3, 12), QTime(18, 30), Qt::UTC).toSecsSinceEpoch();
    const qint64 evaluated = QDateTime(QDate(2024, 3, 12), QTime(19, 5), Qt::UTC).toSecsSinceEpoch();

    auto card
        = [&](quint32 competition, quint32 nummer, const QString &shooter, const QString &club,
              const QString &team, const QString &weapon, int type, int shots, double factor, int perSeries,
              const QStringList &events, const QList<Hit> &hits = {}, quint32 series = 0) {
              CardSpec karte;
              karte.competitionId = competition;
              karte.nummer = nummer;
              karte.seriesId = series;
              karte.weaponType = type;
              karte.schussProScheibe = shots;
              karte.teilerFaktor = factor;
              karte.scheibenProSerie = perSeries;
              karte.weapon = weapon;
              karte.shooter = shooter;
              karte.club = club;
              karte.team = team;
              karte.events = events;
              karte.purchasedAt = purchased;
              karte.evaluatedAt = hits.isEmpty() ? 0 : evaluated;
              karte.hits = hits;
              return addCard(karte);
          };

    const QString tell = QStringLiteral("SV Tell Hinterdorf");
    const QString edelweiss = QStringLiteral("SG Edelweiß Oberau");
    const QString muehlbach = QStringLiteral("Schützengilde Mühlbach");
    const QString seewinkel = QStringLiteral("BSV Seewinkel");
    const QString lg = QStringLiteral("Luftgewehr");
    const QString lg5 = QStringLiteral("Luftgewehr Auflage 5 Schuss");
    const QString lp = QStringLiteral("Luftpistole");
    const QString lpTeiler = QStringLiteral("Luftpistole Teilerwertung");
    const QString lg40 = QStringLiteral("Luftgewehr 40 Schuss");
    const QStringList herren { QStringLiteral("Einzel Herren"), QStringLiteral("Mannschaft") };
    const QStringList damen { QStringLiteral("Einzel Damen"), QStringLiteral("Mannschaft") };
    const QStringList jugend { QStringLiteral("Jugend") };
    const QStringList senioren { QStringLiteral("Auflage Senioren") };
    const QStringList teiler { QStringLiteral("Bester Teiler") };

    // Four hits already stored, the rest of the card still to be shot.
    const QList<Hit> partial { { 0.12, -0.30, 10.4, 82.7 },
                               { -0.85, 0.41, 9.8, 236.2 },
                               { 1.52, 0.77, 8.9, 426.0 },
                               { 0.05, 0.02, 10.9, 13.5 } };
    QList<Hit> full;
    for (int i = 0; i < 10; ++i)
        full.append({ 0.1 * i - 0.4, 0.35 - 0.07 * i, 9.0 + 0.1 * i, 120.0 + 25.0 * i });

    bool ok = true;
    ok &= card(km, 1001, QStringLiteral("Anna Berger"), tell, QStringLiteral("Hinterdorf I"), lg, 1, 10, 1.0,
               1, damen)
        != 0;
    ok &= card(km, 1002, QStringLiteral("Markus Huber"), tell, QStringLiteral("Hinterdorf I"), lg, 1, 10, 1.0,
               1, herren, partial)
        != 0;
    ok &= card(km, 1003, QStringLiteral("Lena Maier"), edelweiss, QStringLiteral("Oberau I"), lg5, 1, 5, 1.0,
               1, senioren)
        != 0;
    ok &= card(km, 1004, QStringLiteral("Josef Gruber"), muehlbach, QString(), lp, 2, 10, 1.0, 1, herren)
        != 0;
    ok &= card(km, 1005, QStringLiteral("Sabine Wimmer"), edelweiss, QStringLiteral("Oberau I"), lpTeiler, 2,
               10, 3.2, 1, teiler)
        != 0;
    const quint32 first = card(km, 1011, QStringLiteral("Tobias Egger"), muehlbach,
                               QStringLiteral("Mühlbach Jugend"), lg40, 1, 10, 1.0, 4, jugend, full);
    ok &= first != 0;
    const quint32 series = seriesId(first);
    for (quint32 n = 1012; n <= 1014; ++n)
        ok &= card(km, n, QString(), QString(), QString(), QString(), 1, 10, 1.0, 4, {}, {}, series) != 0;
    ok &= card(vm, 2001, QStringLiteral("Anna Berger"), tell, QString(), lg, 1, 10, 1.0, 1,
               { QStringLiteral("Vereinsmeister") })
        != 0;
    ok &= card(vm, 2002, QStringLiteral("Peter Lang"), seewinkel, QString(), lp, 2, 10, 1.0, 1,
               { QStringLiteral("Pokal") })
        != 0;
    return ok;
}

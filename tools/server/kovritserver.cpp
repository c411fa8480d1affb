#include "kovritserver.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

#include <cmath>

namespace {

using Status = QHttpServerResponder::StatusCode;

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
    , _gate(new KovritGate([this](const KovritGate::Head &head) { return checkHead(head); }, _http.get(),
                           _http.get()))
    , _now([] { return QDateTime::currentSecsSinceEpoch(); })
{
    connect(_gate, &KovritGate::refused, this,
            [this](const QByteArray &method, const QByteArray &target, int status) {
                const QString path = QUrl(QString::fromLatin1(target)).path();
                const QString name = method == "GET" || method == "POST" ? QString::fromLatin1(method)
                                                                         : QStringLiteral("OTHER");
                qInfo().noquote() << "KovritServer::finish:" << name << path << status << "(before the body)";
                emit requestHandled(name, path, status);
            });
    setupRoutes();
}

KovritServer::~KovritServer() = default;

QString KovritServer::errorString() const
{
    return _listenError.isEmpty() ? _store.errorString() : _listenError;
}

bool KovritServer::setTls(const QString &certFile, const QString &keyFile)
{
    const QList<QSslCertificate> kette = QSslCertificate::fromPath(certFile, QSsl::Pem);
    QFile datei(keyFile);
    QSslKey key;
    if (datei.open(QIODevice::ReadOnly)) {
        const QByteArray pem = datei.readAll();
        key = QSslKey(pem, QSsl::Ec);
        if (key.isNull())
            key = QSslKey(pem, QSsl::Rsa);
    }
    if (kette.isEmpty() || key.isNull()) {
        _listenError = kette.isEmpty() ? QStringLiteral("no certificate in %1").arg(certFile)
                                       : QStringLiteral("no EC or RSA private key in %1").arg(keyFile);
        return false;
    }
    QSslConfiguration konfiguration = QSslConfiguration::defaultConfiguration();
    konfiguration.setLocalCertificateChain(kette);
    konfiguration.setPrivateKey(key);
    _gate->setSslConfiguration(konfiguration);
    _tls = true;
    return true;
}

quint16 KovritServer::listen(const QHostAddress &address, quint16 port)
{
    _address = address;
    if (!_gate->listen(address, port)) {
        _listenError = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port);
        return 0;
    }
    _http->bind(_gate);
    _port = _gate->serverPort();
    return _port;
}

QString KovritServer::baseUrl() const
{
    QString host = _address.toString();
    if (_address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("%1://%2:%3%4")
        .arg(QLatin1String(_tls ? "https" : "http"), host)
        .arg(_port)
        .arg(QLatin1String(BasePath));
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
    return caller(authorization);
}

KovritServer::Caller KovritServer::caller(const QByteArray &authorization) const
{
    if (!authorization.startsWith("Bearer "))
        return {};
    const QString token = QString::fromUtf8(authorization.mid(7)).trimmed();
    if (token.isEmpty())
        return {};

    if (_store.isStationToken(token))
        return { TokenKind::Station, 0 };
    if (const std::optional<quint32> competition = _store.loginTokenCompetition(token, _now() - _tokenAge))
        return { TokenKind::Login, *competition };
    return {};
}

std::optional<KovritGate::Refusal> KovritServer::checkHead(const KovritGate::Head &head) const
{
    // The token first: a stranger learns nothing, not even the size limit.
    if (caller(head.authorization).kind == TokenKind::None)
        return KovritGate::Refusal { 401, QStringLiteral("token required") };
    if (head.contentLength > KovritGate::MaxBody)
        return KovritGate::Refusal { 413, QStringLiteral("body too large") };
    return std::nullopt;
}

qint64 KovritServer::lockSeconds(const QString &key, qint64 now) const
{
    const Tries tries = _tries.value(key);
    if (tries.wrong < FreeTries)
        return 0;
    const qint64 lock = qMin(qint64(1) << qMin(tries.wrong - FreeTries, 16), MaxLockSeconds);
    return qMax(qint64(0), tries.last + lock - now);
}

void KovritServer::noteWrongPassword(const QString &key, qint64 now)
{
    // A guesser trying many names must not fill the memory: counts an hour
    // old are forgotten.
    if (_tries.size() > 4096)
        _tries.removeIf([now](const auto &entry) { return entry.value().last < now - 3600; });
    Tries &tries = _tries[key];
    ++tries.wrong;
    tries.last = now;
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

    // Refused before the password is hashed, so a locked guesser costs no work.
    const QString key = request.remoteAddress().toString() + QLatin1Char(' ') + user.toString();
    const qint64 now = _now();
    if (const qint64 wait = lockSeconds(key, now)) {
        QHttpServerResponse locked = errorResponse(
            Status::TooManyRequests, QStringLiteral("too many wrong passwords, wait %1 s").arg(wait));
        locked.addHeader("Retry-After", QByteArray::number(wait));
        return locked;
    }
    const bool competitionKnown = _store.hasCompetition(*competitionId);
    const std::optional<qint64> accountId = _store.checkPassword(user.toString(), password.toString());
    if (!accountId)
        noteWrongPassword(key, now);
    else
        _tries.remove(key);
    if (!accountId || !competitionKnown)
        return errorResponse(Status::Unauthorized, QStringLiteral("login refused"));

    const QString token = _store.issueLoginToken(*competitionId, *accountId, now);
    if (token.isEmpty())
        return errorResponse(Status::InternalServerError, _store.errorString());
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
    for (const auto &c : _store.competitions())
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

    const std::optional<KovritStore::CardRecord> card = _store.card(*number, who.competitionId);
    if (!card)
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));

    QJsonObject shooter { { QStringLiteral("id"), card->shooterId },
                          { QStringLiteral("name"), card->shooter },
                          { QStringLiteral("verein"),
                            QJsonObject { { QStringLiteral("id"), card->clubId },
                                          { QStringLiteral("name"), card->club } } } };
    const QJsonValue team = card->teamId == 0
        ? QJsonValue(QJsonValue::Null)
        : QJsonValue(
            QJsonObject { { QStringLiteral("id"), card->teamId }, { QStringLiteral("name"), card->team } });
    // The client takes the weapon's id as its face type (1 air rifle, 2 air
    // pistol), so the class's type goes out as "id".
    QJsonObject weapon { { QStringLiteral("id"), card->weaponType },
                         { QStringLiteral("name"), card->weapon },
                         { QStringLiteral("schussProScheibe"), card->schussProScheibe },
                         { QStringLiteral("teilerFaktor"), card->teilerFaktor },
                         { QStringLiteral("scheibenProSerie"), card->scheibenProSerie } };

    QJsonArray events;
    for (const auto &event : card->events)
        events.append(
            QJsonObject { { QStringLiteral("id"), event.first }, { QStringLiteral("name"), event.second } });

    QJsonObject series { { QStringLiteral("id"), qint64(card->seriesId) },
                         { QStringLiteral("ringe"), card->totals.ringe },
                         { QStringLiteral("zehntel"), card->totals.zehntel },
                         { QStringLiteral("timestamp"), card->purchasedAt },
                         { QStringLiteral("schutze"), shooter },
                         { QStringLiteral("mannschaft"), team },
                         { QStringLiteral("waffe"), weapon },
                         { QStringLiteral("wettbewerbe"), events } };

    // A missing ring value or Teiler goes out as null.
    auto orNull = [](double v) { return v >= 0.0 ? QJsonValue(v) : QJsonValue(QJsonValue::Null); };
    QJsonArray hits;
    for (const Hit &h : card->hits)
        hits.append(QJsonObject { { QStringLiteral("x"), h.x },
                                  { QStringLiteral("y"), h.y },
                                  { QStringLiteral("r"), orNull(h.r) },
                                  { QStringLiteral("t"), orNull(h.t) } });

    return QHttpServerResponse(QJsonObject { { QStringLiteral("id"), qint64(card->id) },
                                             { QStringLiteral("nummer"), qint64(card->nummer) },
                                             { QStringLiteral("timestamp"), card->evaluatedAt },
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
    const std::optional<quint32> competition = _store.cardCompetition(card);
    if (!competition || *competition != who.competitionId)
        return errorResponse(Status::NotFound, QStringLiteral("unknown card"));
    const int positions = _store.shotsPerCard(card);

    // Validate everything before touching the store: a bad body changes nothing.
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isArray())
        return errorResponse(Status::BadRequest, QStringLiteral("expected a JSON array of hits"));
    const QJsonArray array = doc.array();
    if (array.size() > KovritStore::MaxHitsPerCard || array.size() > positions)
        return errorResponse(Status::BadRequest,
                             QStringLiteral("more hits than the card's %1 positions").arg(positions));

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

    if (!_store.storeHits(card, hits))
        return errorResponse(Status::InternalServerError, _store.errorString());
    return QHttpServerResponse(QJsonObject { { QStringLiteral("ok"), true } });
}

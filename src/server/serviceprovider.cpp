#include "server/serviceprovider.h"

#include "machine/uhr.h"
#include "server/fehlertext.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>

namespace {

// Only a completed exchange with status 200 counts; other 2xx answers too are
// failures, because the server promises 200 for everything it accepted.
struct Outcome
{
    int code;
    int status;
    bool ok() const { return code == 0 && status == 200; }
    QString suffix() const { return QStringLiteral("(%1:%2)").arg(code).arg(status); }
};

// Set on a reply whose body went over MaxAntwortGroesse.
constexpr const char *zuGross = "kovritZuGross";
// Set on a reply that its deadline ended.
constexpr const char *abgelaufen = "kovritAbgelaufen";
// Set on a reply the officer gave up waiting for.
constexpr const char *aufgegeben = "kovritAufgegeben";
// The number of the request a reply answers.
constexpr const char *auftrag = "kovritAuftrag";
// The certificate errors of a reply, in words.
constexpr const char *zertifikat = "kovritZertifikat";

Outcome outcomeOf(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->property(zuGross).toBool() || reply->property(abgelaufen).toBool()
        || reply->property(aufgegeben).toBool())
        return { static_cast<int>(QNetworkReply::OperationCanceledError), status };
    return { static_cast<int>(reply->error()), status };
}

// What most likely went wrong, in words; empty when nothing fits. The marks
// on the reply come first: they say more than the numbers.
QString ursache(QNetworkReply *reply, const Outcome &outcome, int zeitlimit, qint64 scheibe,
                bool nachStatus = true)
{
    if (const QString zeile = reply->property(zertifikat).toString(); !zeile.isEmpty())
        return zeile;
    if (reply->property(zuGross).toBool())
        return Fehlertext::zuGross(ServiceProvider::MaxAntwortGroesse);
    if (reply->property(abgelaufen).toBool())
        return Fehlertext::frist(outcome.status != 0, zeitlimit);
    if (outcome.status >= 300 && outcome.status < 400)
        return Fehlertext::umleitung(reply->header(QNetworkRequest::LocationHeader).toUrl());
    if (!nachStatus)
        return {};
    return Fehlertext::anfrage(outcome.code, outcome.status, reply->url(), zeitlimit, scheibe);
}

// The failure text with the plain-German cause below it, when one fits.
QString mitUrsache(const QString &text, QNetworkReply *reply, const Outcome &outcome, int zeitlimit,
                   qint64 scheibe = -1)
{
    const QString zeile = ursache(reply, outcome, zeitlimit, scheibe);
    return zeile.isEmpty() ? text : text + QLatin1Char('\n') + zeile;
}

// A token goes into a header line as it is, so only printable characters
// without blanks may pass: a line break in it would start a header of the
// sender's choosing. A JWT is a few hundred bytes.
bool schlicht(const QString &token)
{
    if (token.isEmpty() || token.size() > 8192)
        return false;
    return std::all_of(token.cbegin(), token.cend(), [](QChar c) { return c.isPrint() && !c.isSpace(); });
}

// Empty when the token must not go into a header at all.
QByteArray bearer(const QString &token)
{
    if (!token.isEmpty() && !schlicht(token))
        return {};
    return QStringLiteral("Bearer %1").arg(token).toUtf8();
}

// Gives the whole exchange `ms` on the current clock, from the moment the
// request goes out. The manager's own transfer time-out starts again with
// every byte, so a server dribbling a byte now and then held a request for
// good. Aborted, the reply fails with network error 5 and no status, which
// reads as a server that did not answer. The alarm goes with the reply.
QNetworkReply *zeitlimit(QNetworkReply *reply, int ms)
{
    if (ms <= 0)
        return reply;
    auto *wecker = new Wecker(reply);
    wecker->setSingleShot(true);
    QObject::connect(wecker, &Wecker::timeout, reply, [reply] {
        reply->setProperty(abgelaufen, true);
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, wecker, &Wecker::stop);
    wecker->start(ms);
    return reply;
}

} // namespace

class ServiceProvider::Antwort
{
public:
    Antwort(ServiceProvider *provider, QNetworkReply *reply)
        : _provider(provider)
        , _vorher(provider->_antwort)
    {
        _provider->_antwort = reply->property(auftrag).toUInt();
    }
    ~Antwort() { _provider->_antwort = _vorher; }
    quint32 nummer() const { return _provider->_antwort; }
    Antwort(const Antwort &) = delete;
    Antwort &operator=(const Antwort &) = delete;

private:
    ServiceProvider *_provider;
    quint32 _vorher;
};

void ServiceProvider::Treffer::clear()
{
    x = 0.0;
    y = 0.0;
    ringe = -1.0;
    teiler = -1.0;
}

ServiceProvider::ServiceProvider(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ServiceProvider::Treffer>("ServiceProvider::Treffer");
    qRegisterMetaType<ServiceProvider::Scheibe>("ServiceProvider::Scheibe");
    qRegisterMetaType<QList<QPair<quint32, QString>>>();
    // Each reply has an alarm of its own instead, see zeitlimit().
    _manager.setTransferTimeout(0);
    // A redirect would carry the token, and a login's password, to whatever
    // host the answer names; it is reported as the failure it is instead.
    _manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

ServiceProvider::~ServiceProvider()
{
    // The manager takes its outstanding replies with it; their handlers must
    // not run on this half-destroyed object.
    for (QNetworkReply *reply : _manager.findChildren<QNetworkReply *>())
        reply->disconnect(this);
}

void ServiceProvider::init(const QString &url, const QString &jwt)
{
    _url = url;
    _jwt = jwt;
    _authorization = bearer(_jwt);
    if (_authorization.isEmpty())
        qInfo() << "ServiceProvider::init: the configured token holds blanks or control characters, not sent";
}

void ServiceProvider::setZertifikate(const QList<QSslCertificate> &zertifikate)
{
    _ssl.reset();
    if (zertifikate.isEmpty())
        return;
    // Once a list is set, the system's certificates are no longer loaded on
    // demand: they go into the list as well.
    _ssl = QSslConfiguration::defaultConfiguration();
    _ssl->setCaCertificates(QSslConfiguration::systemCaCertificates() + zertifikate);
}

int ServiceProvider::transferTimeout() const
{
    return _transferTimeout;
}

void ServiceProvider::setTransferTimeout(int ms)
{
    _transferTimeout = ms;
}

void ServiceProvider::doLogin(quint32 wettkampfId, const QString &wettkampfName, const QString &user,
                              const QString &password)
{
    // A login always presents the station's configured token, never the one
    // of an earlier login.
    _authorization = bearer(_jwt);

    QJsonObject body;
    body.insert(QStringLiteral("wettkampf"), static_cast<qint32>(wettkampfId));
    body.insert(QStringLiteral("user"), user);
    body.insert(QStringLiteral("password"), password);

    QNetworkReply *reply
        = post(QStringLiteral("/login/wettkampf"), QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, wettkampfName, user]() { onLoginFinished(reply, wettkampfName, user); });
}

void ServiceProvider::getWettkampfe()
{
    QNetworkReply *reply = get(QStringLiteral("/wettkampfe"));
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onWettkampfeFinished(reply); });
}

void ServiceProvider::getScheibe(quint32 id)
{
    QNetworkReply *reply = get(QStringLiteral("/scheibe-ext/%1").arg(id));
    connect(reply, &QNetworkReply::finished, this, [this, reply, id]() { onScheibeFinished(reply, id); });
}

void ServiceProvider::setTreffer(quint32 scheibenId, const ServiceProvider::Treffer *treffer,
                                 quint32 trefferZahl)
{
    if (trefferZahl == 0)
        return;

    // Empty and voided slots go out too, so the server sees every position of
    // the card; a negative value means "none" and is sent as null.
    QJsonArray body;
    for (quint32 i = 0; i < trefferZahl; ++i) {
        const Treffer &t = treffer[i];
        QJsonObject hit;
        hit.insert(QStringLiteral("x"), t.x);
        hit.insert(QStringLiteral("y"), t.y);
        hit.insert(QStringLiteral("r"), t.ringe >= 0.0 ? QJsonValue(t.ringe) : QJsonValue(QJsonValue::Null));
        hit.insert(QStringLiteral("t"),
                   t.teiler >= 0.0 ? QJsonValue(t.teiler) : QJsonValue(QJsonValue::Null));
        body.append(hit);
    }

    QNetworkReply *reply = post(QStringLiteral("/treffer/scheibe/%1").arg(scheibenId),
                                QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onTrefferFinished(reply); });
}

QNetworkReply *ServiceProvider::get(const QString &path)
{
    QNetworkRequest request(QUrl(_url + path, QUrl::TolerantMode));
    if (!_authorization.isEmpty())
        request.setRawHeader("Authorization", _authorization);
    if (_ssl)
        request.setSslConfiguration(*_ssl);
    // A URL may carry a user and a password; neither belongs in a log.
    qInfo().noquote() << "ServiceProvider::get:" << request.url().toDisplayString(QUrl::RemoveUserInfo);
    return begrenze(zeitlimit(_manager.get(request), _transferTimeout));
}

QNetworkReply *ServiceProvider::post(const QString &path, const QByteArray &body)
{
    QNetworkRequest request(QUrl(_url + path, QUrl::TolerantMode));
    if (!_authorization.isEmpty())
        request.setRawHeader("Authorization", _authorization);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (_ssl)
        request.setSslConfiguration(*_ssl);
    qInfo().noquote() << "ServiceProvider::post:" << request.url().toDisplayString(QUrl::RemoveUserInfo);
    return begrenze(zeitlimit(_manager.post(request, body), _transferTimeout));
}

QNetworkReply *ServiceProvider::begrenze(QNetworkReply *reply)
{
    reply->setProperty(auftrag, ++_auftraege);
    connect(reply, &QNetworkReply::sslErrors, reply, [reply](const QList<QSslError> &fehler) {
        reply->setProperty(zertifikat, Fehlertext::zertifikat(fehler, reply->url().host()));
    });
    // The body is taken out of the reply as it comes, so the cap is seen
    // at once; left in the reply's buffer, a body without a length stalled
    // just below the buffer's size until the deadline. The buffer's size
    // still keeps what the client does not take yet in the socket.
    reply->setReadBufferSize(MaxAntwortGroesse);
    const auto zuViel = [reply] {
        if (reply->property(zuGross).toBool())
            return;
        qInfo().noquote() << "ServiceProvider::begrenze: reply over" << MaxAntwortGroesse << "bytes, aborted";
        // The report may come from a reply that is finishing with the whole
        // body in hand; the mark makes it a failure all the same.
        reply->setProperty(zuGross, true);
        if (!reply->isFinished())
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    connect(reply, &QNetworkReply::downloadProgress, reply, [zuViel](qint64, qint64 gesamt) {
        if (gesamt > MaxAntwortGroesse)
            zuViel();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, zuViel] {
        QByteArray &koerper = _koerper[reply];
        koerper += reply->read(MaxAntwortGroesse + 1 - koerper.size());
        if (koerper.size() > MaxAntwortGroesse)
            zuViel();
    });
    connect(reply, &QObject::destroyed, this, [this, reply] { _koerper.remove(reply); });
    return reply;
}

void ServiceProvider::aufgeben(quint32 nummer)
{
    for (QNetworkReply *reply : _manager.findChildren<QNetworkReply *>()) {
        if (nummer == 0 || reply->property(auftrag).toUInt() != nummer || reply->isFinished())
            continue;
        qInfo() << "ServiceProvider::aufgeben: request" << nummer;
        reply->setProperty(aufgegeben, true);
        reply->abort();
    }
}

QByteArray ServiceProvider::koerper(QNetworkReply *reply)
{
    return _koerper.take(reply) + reply->readAll();
}

void ServiceProvider::onLoginFinished(QNetworkReply *reply, const QString &wettkampfName, const QString &user)
{
    const Outcome outcome = outcomeOf(reply);
    emit erreichbar(outcome.status != 0);
    // The token goes into every later request's header; one that is not a
    // plain token is a failed login, and nothing of it is sent.
    const QString token = outcome.ok() ? leseLogin(koerper(reply)) : QString();
    if (outcome.ok() && schlicht(token)) {
        _authorization = bearer(token);
        emit loginOk(wettkampfName, user);
    } else {
        qInfo().noquote() << "ServiceProvider::doLogin: failed" << outcome.suffix();
        // The status texts speak of the station's token; a refused login is
        // about the user and the password.
        const QString grund
            = outcome.ok() ? Fehlertext::token() : ursache(reply, outcome, transferTimeout(), -1, false);
        const QString text = QStringLiteral("Zugang verweigert! ") + outcome.suffix();
        emit loginFailed(grund.isEmpty() ? text : text + QLatin1Char('\n') + grund);
    }
    reply->deleteLater();
}

void ServiceProvider::onWettkampfeFinished(QNetworkReply *reply)
{
    const Outcome outcome = outcomeOf(reply);
    emit erreichbar(outcome.status != 0);
    if (outcome.code != 0) {
        emit requestError(
            mitUrsache(QStringLiteral("Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT Einstellungen in "
                                      "'config.json' und starten Sie das Programm neu! (%1)")
                           .arg(outcome.code),
                       reply, outcome, transferTimeout()));
    } else if (outcome.status != 200) {
        emit requestError(mitUrsache(
            QStringLiteral("Wettkämpfe konnten nicht abgerufen werden! (0:%1)").arg(outcome.status), reply,
            outcome, transferTimeout()));
    } else {
        emit wettkampfe(leseWettkampfe(koerper(reply)));
    }
    reply->deleteLater();
}

void ServiceProvider::onScheibeFinished(QNetworkReply *reply, quint32 id)
{
    const Outcome outcome = outcomeOf(reply);
    emit erreichbar(outcome.status != 0);
    const Antwort antwort(this, reply);
    if (!outcome.ok()) {
        emit scheibeFailed(antwort.nummer());
        if (reply->property(aufgegeben).toBool()) {
            reply->deleteLater();
            return;
        }
        emit requestError(
            mitUrsache(QStringLiteral("Scheibe konnte nicht abgerufen werden! ") + outcome.suffix(), reply,
                       outcome, transferTimeout(), id));
        reply->deleteLater();
        return;
    }

    emit scheibe(leseScheibe(koerper(reply)));
    reply->deleteLater();
}

void ServiceProvider::onTrefferFinished(QNetworkReply *reply)
{
    const Outcome outcome = outcomeOf(reply);
    emit erreichbar(outcome.status != 0);
    const Antwort antwort(this, reply);
    if (!outcome.ok() && reply->property(aufgegeben).toBool()) {
        emit setTrefferFailed(antwort.nummer());
    } else if (!outcome.ok()) {
        emit setTrefferFailed(antwort.nummer());
        emit requestError(
            mitUrsache(QStringLiteral("Treffer konnten nicht übermittelt werden! ") + outcome.suffix(), reply,
                       outcome, transferTimeout()));
    } else
        emit setTrefferOk();
    reply->deleteLater();
}

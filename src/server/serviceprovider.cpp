#include "server/serviceprovider.h"

#include "machine/uhr.h"
#include "server/fehlertext.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {

// The server's replies are read leniently: a member that is missing or has
// another type takes a fixed default, and no content is ever an error.

int readInt(const QJsonValue &value, int fallback)
{
    if (!value.isDouble())
        return fallback;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        return fallback;
    if (d < std::numeric_limits<qint32>::min() || d > std::numeric_limits<qint32>::max())
        return fallback;
    return static_cast<int>(d);
}

double readReal(const QJsonValue &value, double fallback)
{
    return value.isDouble() ? value.toDouble() : fallback;
}

QString readText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

QJsonObject readObject(const QJsonValue &value)
{
    return value.isObject() ? value.toObject() : QJsonObject();
}

QJsonArray readArray(const QJsonValue &value)
{
    return value.isArray() ? value.toArray() : QJsonArray();
}

QJsonObject parseObject(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject();
}

QJsonArray parseArray(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isArray() ? doc.array() : QJsonArray();
}

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
// The number of the request a reply answers.
constexpr const char *auftrag = "kovritAuftrag";

Outcome outcomeOf(QNetworkReply *reply)
{
    if (reply->property(zuGross).toBool())
        return { static_cast<int>(QNetworkReply::OperationCanceledError),
                 reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() };
    return { static_cast<int>(reply->error()),
             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() };
}

// The certificate errors of a reply, in words.
constexpr const char *zertifikat = "kovritZertifikat";

// The failure text with the plain-German cause below it, when one fits.
QString mitUrsache(const QString &text, QNetworkReply *reply, const Outcome &outcome, int zeitlimit,
                   qint64 scheibe = -1)
{
    QString zeile = reply->property(zertifikat).toString();
    if (zeile.isEmpty())
        zeile = Fehlertext::anfrage(outcome.code, outcome.status, reply->url(), zeitlimit, scheibe);
    return zeile.isEmpty() ? text : text + QLatin1Char('\n') + zeile;
}

QByteArray bearer(const QString &token)
{
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
    QObject::connect(wecker, &Wecker::timeout, reply, &QNetworkReply::abort);
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

QString ServiceProvider::toDatumString(double seconds)
{
    // The server's timestamps are whole seconds since 1970 in an unsigned
    // 32-bit field; anything else is wrapped the way such a field would be.
    double t = std::trunc(seconds);
    if (!std::isfinite(t))
        t = 0.0;
    t = std::fmod(t, 4294967296.0);
    if (t < 0.0)
        t += 4294967296.0;
    const quint32 count = static_cast<quint32>(t);
    if (count == 0)
        return QStringLiteral("---");
    return QDateTime::fromSecsSinceEpoch(count, Qt::LocalTime).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
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
    // Data beyond the cap stays in the socket instead of in memory.
    reply->setReadBufferSize(MaxAntwortGroesse);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 empfangen, qint64 gesamt) {
        if ((empfangen < MaxAntwortGroesse && gesamt <= MaxAntwortGroesse)
            || reply->property(zuGross).toBool())
            return;
        qInfo().noquote() << "ServiceProvider::begrenze: reply over" << MaxAntwortGroesse << "bytes, aborted";
        // The report may come from a reply that is finishing with the whole
        // body in hand; the mark makes it a failure all the same.
        reply->setProperty(zuGross, true);
        if (!reply->isFinished())
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });
    return reply;
}

void ServiceProvider::onLoginFinished(QNetworkReply *reply, const QString &wettkampfName, const QString &user)
{
    const Outcome outcome = outcomeOf(reply);
    if (!outcome.ok()) {
        qInfo().noquote() << "ServiceProvider::doLogin: failed" << outcome.suffix();
        QString text = QStringLiteral("Zugang verweigert! ") + outcome.suffix();
        if (const QString grund = reply->property(zertifikat).toString(); !grund.isEmpty())
            text += QLatin1Char('\n') + grund;
        emit loginFailed(text);
    } else {
        _authorization = bearer(leseLogin(reply->readAll()));
        emit loginOk(wettkampfName, user);
    }
    reply->deleteLater();
}

void ServiceProvider::onWettkampfeFinished(QNetworkReply *reply)
{
    const Outcome outcome = outcomeOf(reply);
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
        emit wettkampfe(leseWettkampfe(reply->readAll()));
    }
    reply->deleteLater();
}

void ServiceProvider::onScheibeFinished(QNetworkReply *reply, quint32 id)
{
    const Outcome outcome = outcomeOf(reply);
    const Antwort antwort(this, reply);
    if (!outcome.ok()) {
        emit scheibeFailed(antwort.nummer());
        emit requestError(
            mitUrsache(QStringLiteral("Scheibe konnte nicht abgerufen werden! ") + outcome.suffix(), reply,
                       outcome, transferTimeout(), id));
        reply->deleteLater();
        return;
    }

    emit scheibe(leseScheibe(reply->readAll()));
    reply->deleteLater();
}

QString ServiceProvider::leseLogin(const QByteArray &body)
{
    return readText(parseObject(body).value(QStringLiteral("jwt")));
}

QList<QPair<quint32, QString>> ServiceProvider::leseWettkampfe(const QByteArray &body)
{
    QList<QPair<quint32, QString>> list;
    const QJsonArray entries = parseArray(body);
    for (const QJsonValue &entry : entries) {
        const QJsonObject o = readObject(entry);
        list.append(qMakePair(static_cast<quint32>(readInt(o.value(QStringLiteral("id")), 0)),
                              readText(o.value(QStringLiteral("name")))));
    }
    return list;
}

ServiceProvider::Scheibe ServiceProvider::leseScheibe(const QByteArray &body)
{
    const QJsonObject top = parseObject(body);
    Scheibe s;
    s.id = static_cast<quint32>(readInt(top.value(QStringLiteral("id")), 0));
    s.ringe = 0;
    s.zehntel = 0.0;
    s.wertungsdatum = toDatumString(readReal(top.value(QStringLiteral("timestamp")), 0.0));

    const QJsonObject serie = readObject(top.value(QStringLiteral("serie")));
    s.serieRinge = readInt(serie.value(QStringLiteral("ringe")), 0);
    s.serieZehntel = readReal(serie.value(QStringLiteral("zehntel")), 0.0);
    s.kaufdatum = toDatumString(readReal(serie.value(QStringLiteral("timestamp")), 0.0));

    const QJsonObject schuetze = readObject(serie.value(QStringLiteral("schutze")));
    s.schuetzeId = readInt(schuetze.value(QStringLiteral("id")), 0);
    s.schuetze = readText(schuetze.value(QStringLiteral("name")));
    s.verein = readText(readObject(schuetze.value(QStringLiteral("verein"))).value(QStringLiteral("name")));

    s.mannschaft
        = readText(readObject(serie.value(QStringLiteral("mannschaft"))).value(QStringLiteral("name")));

    // The server's weapon id doubles as the face type: 2 is air pistol,
    // everything else is drawn as air rifle.
    const QJsonObject waffe = readObject(serie.value(QStringLiteral("waffe")));
    s.waffenTyp = readInt(waffe.value(QStringLiteral("id")), 0) == 2 ? 2 : 1;
    s.schussProScheibe = readInt(waffe.value(QStringLiteral("schussProScheibe")), 10);
    s.teilerFaktor = readReal(waffe.value(QStringLiteral("teilerFaktor")), 1.0);
    if (!(s.teilerFaktor > 0.0))
        s.teilerFaktor = 1.0; // the Teiler is divided by it
    s.scheibenProSerie = readInt(waffe.value(QStringLiteral("scheibenProSerie")), 1);
    s.waffe = readText(waffe.value(QStringLiteral("name")));

    const QJsonArray wettbewerbe = readArray(serie.value(QStringLiteral("wettbewerbe")));
    for (const QJsonValue &w : wettbewerbe)
        s.wettbewerbe.append(readText(readObject(w).value(QStringLiteral("name"))));

    const QJsonArray treffer = readArray(top.value(QStringLiteral("treffer")));
    for (const QJsonValue &v : treffer) {
        const QJsonObject o = readObject(v);
        Treffer t;
        t.x = readReal(o.value(QStringLiteral("x")), 0.0);
        t.y = readReal(o.value(QStringLiteral("y")), 0.0);
        t.ringe = readReal(o.value(QStringLiteral("r")), -1.0);
        t.teiler = readReal(o.value(QStringLiteral("t")), -1.0);
        s.treffer.append(t);
    }

    // Each hit counts with its whole rings; 10.5 and 9.6 make 19, not 20.
    double ganze = 0.0;
    for (const Treffer &t : qAsConst(s.treffer)) {
        if (t.ringe >= 0.0) {
            ganze += std::trunc(t.ringe);
            s.zehntel += t.ringe;
        }
    }
    // Absurd ring values from a broken server must not overflow the total.
    s.ringe = static_cast<qint32>(qBound(0.0, ganze, double(std::numeric_limits<qint32>::max())));

    return s;
}

void ServiceProvider::onTrefferFinished(QNetworkReply *reply)
{
    const Outcome outcome = outcomeOf(reply);
    const Antwort antwort(this, reply);
    if (!outcome.ok()) {
        emit setTrefferFailed(antwort.nummer());
        emit requestError(
            mitUrsache(QStringLiteral("Treffer konnten nicht übermittelt werden! ") + outcome.suffix(), reply,
                       outcome, transferTimeout()));
    } else
        emit setTrefferOk();
    reply->deleteLater();
}

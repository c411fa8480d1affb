#include "kovritserver.h"
#include "server/serviceprovider.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QJsonValue json() const { return QJsonDocument::fromJson(body).object(); }
};

const QByteArray Credentials = R"({"wettkampf":1,"user":"aufsicht","password":"geheim"})";
const QString Hits501 = QStringLiteral("0.5/-0.25/10.5/120.5 0/0/-1/-1 1/2/9.6/300");

// Stored hits as "x/y/r/t", blank-separated.
QString text(const QList<KovritServer::Hit> &hits)
{
    QStringList out;
    for (const KovritServer::Hit &h : hits)
        out << QStringLiteral("%1/%2/%3/%4").arg(h.x).arg(h.y).arg(h.r).arg(h.t);
    return out.join(' ');
}

} // namespace

// The stand-in is tested for what the client and the demo rely on. One server
// and database for the whole run, because password hashing makes every login
// cost real time; the functions that change stored hits come last.
class TstKovritServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void access_data();
    void access();
    void cardJson();
    void badBodiesRefused_data();
    void badBodiesRefused();
    void clientFlow();
    void failNextRequests();
    void dataSurvivesRestart();
    void demoData();

private:
    void startServer(const QString &file);
    Answer send(const QByteArray &method, const QString &path, const QString &token,
                const QByteArray &body = QByteArray());
    Answer post(quint32 card, const QByteArray &body)
    {
        return send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(card), _token, body);
    }
    Answer get(quint32 nummer, const QString &token)
    {
        return send("GET", QStringLiteral("/quilvo/scheibe-ext/%1").arg(nummer), token);
    }

    QTemporaryDir _dir;
    std::unique_ptr<KovritServer> _server;
    QNetworkAccessManager _net;
    QString _token; // login token for the first competition
    quint32 _card = 0; // number 501, three stored hits
    quint32 _second = 0; // number 502, same series, no hits; shot by the client
    quint32 _plain = 0; // number 503, own series without team
};

void TstKovritServer::startServer(const QString &file)
{
    _server = std::make_unique<KovritServer>();
    QVERIFY2(_server->open(_dir.filePath(file)), qPrintable(_server->errorString()));
    QVERIFY(_server->listen() != 0);
}

void TstKovritServer::initTestCase()
{
    startServer("server.sqlite");
    _server->setStationToken(QStringLiteral("station-1"));
    QVERIFY(_server->addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
    const quint32 km = _server->addCompetition(QStringLiteral("Kreismeisterschaft"));
    const quint32 vm = _server->addCompetition(QStringLiteral("Vereinsmeisterschaft"));
    // competition, number, series, face, shots, factor, cards per series,
    // weapon, shooter, club, team, events, bought, evaluated, hits
    const QList<KovritServer::Hit> hits { { 0.5, -0.25, 10.5, 120.5 }, { 0, 0, -1, -1 }, { 1, 2, 9.6, 300 } };
    _card = _server->addCard({ km, 501, 0, 2, 5, 3.2, 2, "Luftpistole Teiler", "Anna Berger", "SV Tell",
                               "Tell I", QStringList { "Einzel", "Mannschaft" }, 1710268200, 1710270000,
                               hits });
    KovritServer::CardSpec more;
    more.competitionId = km;
    more.nummer = 502;
    more.seriesId = _server->seriesId(_card);
    _second = _server->addCard(more);
    more.nummer = 503;
    more.seriesId = 0;
    _plain = _server->addCard(more);
    more.competitionId = vm;
    more.nummer = 601;
    // The rows below name card id 1 beside the printed number 501.
    QVERIFY(_server->addCard(more) && _card == 1 && _second && _plain);

    _token = send("POST", "/quilvo/login/wettkampf", "station-1", Credentials).json()["jwt"].toString();
    QVERIFY(_token.size() >= 32);
}

Answer TstKovritServer::send(const QByteArray &method, const QString &path, const QString &token,
                             const QByteArray &body)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(_server->port()).arg(path)));
    if (!token.isNull())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    if (method == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply *reply = _net.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    Answer answer;
    if (finished.wait(10000))
        answer = { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll() };
    reply->deleteLater();
    return answer;
}

void TstKovritServer::access_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("token"); // "login": the login token; null: no header
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    auto row = [](const char *name, const char *method, const char *path, const QString &token, int status,
                  const QByteArray &body = "[]") {
        QTest::newRow(name) << QByteArray(method) << QString(path) << token << body << status;
    };
    auto login = [&](const char *name, const QString &token, const QByteArray &body, int status) {
        row(name, "POST", "/quilvo/login/wettkampf", token, status, body);
    };

    login("login accepted", "station-1", Credentials, 200);
    login("wrong password", "station-1", R"({"wettkampf":1,"user":"aufsicht","password":"Geheim"})", 401);
    login("login without authorization", QString(), Credentials, 401);
    login("login with a login token", "login", Credentials, 401);
    row("list, station token", "GET", "/quilvo/wettkampfe", "station-1", 200);
    row("list, bogus token", "GET", "/quilvo/wettkampfe", "bogus", 401);
    row("card, station token", "GET", "/quilvo/scheibe-ext/501", "station-1", 401);
    row("card id instead of number", "GET", "/quilvo/scheibe-ext/1", "login", 404);
    row("card of another competition", "GET", "/quilvo/scheibe-ext/601", "login", 404);
    row("hits, station token", "POST", "/quilvo/treffer/scheibe/1", "station-1", 401);
}

void TstKovritServer::access()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, token);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    const Answer a = send(method, path, token == "login" ? _token : token, body);
    QCOMPARE(a.status, status);
    if (path.endsWith("/login/wettkampf") && status == 200) {
        // A fresh token; the earlier one stays valid (two stations, one competition).
        const QString fresh = a.json()["jwt"].toString();
        QVERIFY(fresh.size() >= 32 && fresh != _token);
        QCOMPARE(get(501, fresh).status, 200);
    } else if (path.endsWith("/login/wettkampf")) {
        QVERIFY(!a.json().toObject().contains("jwt"));
    } else if (path.endsWith("wettkampfe") && status == 200) {
        QCOMPARE(a.body, R"([{"id":1,"name":"Kreismeisterschaft"},{"id":2,"name":"Vereinsmeisterschaft"}])");
    }
}

void TstKovritServer::cardJson()
{
    // The weapon's id is the face type; the series totals are summed per hit
    // (10 + 9). A card without team or hits has team null and no evaluation.
    QCOMPARE(get(501, _token).json(),
             QJsonDocument::fromJson(R"({"id":1,"nummer":501,"timestamp":1710270000,
        "serie":{"id":1,"ringe":19,"zehntel":20.1,"timestamp":1710268200,"schutze":{"id":1,"name":"Anna Berger",
        "verein":{"id":1,"name":"SV Tell"}},"mannschaft":{"id":1,"name":"Tell I"},"waffe":{"id":2,
        "name":"Luftpistole Teiler","schussProScheibe":5,"teilerFaktor":3.2,"scheibenProSerie":2},
        "wettbewerbe":[{"id":1,"name":"Einzel"},{"id":2,"name":"Mannschaft"}]},"treffer":[{"x":0.5,"y":-0.25,
        "r":10.5,"t":120.5},{"x":0,"y":0,"r":null,"t":null},{"x":1,"y":2,"r":9.6,"t":300}]})")
                 .object());
    const QJsonValue plain = get(503, _token).json();
    QVERIFY(plain["serie"]["mannschaft"].isNull());
    QCOMPARE(plain["treffer"].toArray().size(), 0);
    QCOMPARE(plain["timestamp"].toInteger(), 0);
}

void TstKovritServer::badBodiesRefused_data()
{
    QTest::addColumn<quint32>("card"); // 0: the set-up's card 501
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QByteArray good = R"([{"x":0,"y":0,"r":10,"t":1}])";
    QTest::newRow("not json") << 0u << QByteArray(R"([{"x":1,"y":2,"r":10)") << 400;
    QTest::newRow("rings above 10.9") << 0u << QByteArray(R"([{"x":1,"y":2,"r":11,"t":5}])") << 400;
    QTest::newRow("more than 100 hits")
        << 0u << "[" + QByteArrayList(101, R"({"x":0,"y":0,"r":null,"t":null})").join(',') + "]" << 400;
    QTest::newRow("printed number instead of id") << 501u << good << 404;
}

void TstKovritServer::badBodiesRefused()
{
    QFETCH(quint32, card);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    QCOMPARE(post(card ? card : _card, body).status, status);
    // Nothing stored changed.
    QCOMPARE(text(_server->storedHits(_card)), Hits501);
    QCOMPARE(_server->submissionCount(_card), 0);
}

void TstKovritServer::clientFlow()
{
    // The client against the stand-in: what it sends is what the server
    // accepts, and what the server answers is what the client reads.
    ServiceProvider client;
    client.init(_server->baseUrl(), QStringLiteral("station-1"));
    QSignalSpy ok(&client, &ServiceProvider::loginOk);
    client.doLogin(1, QStringLiteral("KM"), QStringLiteral("aufsicht"), QStringLiteral("geheim"));
    QVERIFY(ok.wait(10000));
    const auto fetch = [&client](quint32 nummer) {
        QSignalSpy spy(&client, &ServiceProvider::scheibe);
        client.getScheibe(nummer);
        return spy.wait(10000) ? spy.at(0).at(0).value<ServiceProvider::Scheibe>()
                               : ServiceProvider::Scheibe();
    };
    const auto submit = [&client](quint32 id, const QList<ServiceProvider::Treffer> &t) {
        QSignalSpy done(&client, &ServiceProvider::setTrefferOk);
        client.setTreffer(id, t.constData(), t.size());
        return done.wait(10000);
    };
    const ServiceProvider::Scheibe first = fetch(501);
    QCOMPARE(first.id, _card);
    QCOMPARE(first.ringe, 19);

    // Shoot the second card of the series: three hits, two slots left empty.
    QVERIFY(submit(fetch(502).id,
                   { { 0.25, -0.5, 10.3, 55.5 }, { -1.0, 1.5, 8.7, 610.25 }, { 0, 0, 0, 2400 }, {}, {} }));
    QCOMPARE(text(_server->storedHits(_second)),
             QStringLiteral("0.25/-0.5/10.3/55.5 -1/1.5/8.7/610.25 0/0/0/2400 0/0/-1/-1 0/0/-1/-1"));
    // Read back: the card's own totals and the series totals agree, so the
    // client's series remainder is exactly the first card.
    ServiceProvider::Scheibe again = fetch(502);
    QCOMPARE(QList<double>({ double(again.treffer.size()), double(again.ringe), again.zehntel }),
             QList<double>({ 5, 18, 19.0 }));
    QCOMPARE(again.serieRinge - again.ringe, first.ringe);
    QVERIFY(qAbs((again.serieZehntel - again.zehntel) - first.zehntel) < 1e-9);

    // A new submission replaces the card's hits; the other card is untouched.
    QVERIFY(submit(_second, { { 0, 0, 9.9, 100 } }));
    QCOMPARE(text(_server->storedHits(_second)), QStringLiteral("0/0/9.9/100"));
    QCOMPARE(text(_server->storedHits(_card)), Hits501);
}

void TstKovritServer::failNextRequests()
{
    _server->failNextRequests(2, 500);
    QCOMPARE(send("GET", "/quilvo/wettkampfe", "station-1").status, 500);
    QCOMPARE(post(_plain, R"([{"x":0,"y":0,"r":9,"t":9}])").status, 500);
    QCOMPARE(_server->submissionCount(_plain), 0); // the refused submission changed nothing
    QCOMPARE(post(_plain, R"([{"x":0,"y":0,"r":9,"t":9}])").status, 200);
}

void TstKovritServer::dataSurvivesRestart()
{
    QCOMPARE(post(_card, R"([{"x":1.25,"y":-2,"r":10.7,"t":15.5},{"x":0,"y":0,"r":null,"t":null}])").status,
             200);
    _server.reset();
    startServer("server.sqlite");

    QCOMPARE(text(_server->storedHitsByNumber(501)), QStringLiteral("1.25/-2/10.7/15.5 0/0/-1/-1"));
    QCOMPARE(_server->seriesTotals(_server->seriesId(_card)).ringe, 10 + 9);
    // A station that logged in before the restart carries on; the station
    // token and the accounts stay.
    QCOMPARE(get(501, _token).json()["treffer"].toArray().size(), 2);
    QCOMPARE(send("POST", "/quilvo/login/wettkampf", "station-1", Credentials).status, 200);
}

void TstKovritServer::demoData()
{
    // The demo goes into an empty database only and must offer what the
    // client distinguishes: both faces, 5 and 10 shots, a Teiler factor,
    // several cards per series and cards already shot.
    startServer("demo.sqlite");
    QVERIFY(_server->seedDemo());
    QVERIFY(!_server->seedDemo());
    const QByteArray credentials = QByteArray(R"({"wettkampf":1,"user":")") + KovritServer::DemoUser
        + R"(","password":")" + KovritServer::DemoPassword + "\"}";
    const Answer login = send("POST", "/quilvo/login/wettkampf", KovritServer::DemoStationToken, credentials);
    const QString token = login.json()["jwt"].toString();
    QSet<QString> seen;
    for (quint32 nummer = 1000; nummer < 1100; ++nummer) {
        const QJsonValue card = get(nummer, token).json();
        const QJsonValue w = card["serie"]["waffe"];
        seen << QStringLiteral("face %1").arg(w["id"].toInt())
             << QStringLiteral("shots %1").arg(w["schussProScheibe"].toInt())
             << (w["teilerFaktor"].toDouble(1.0) != 1.0 ? "factor" : "")
             << (w["scheibenProSerie"].toInt() > 1 ? "series" : "")
             << (card["treffer"].toArray().isEmpty() ? "" : "hits");
    }
    for (const char *feature : { "face 1", "face 2", "shots 5", "shots 10", "factor", "series", "hits" })
        QVERIFY2(seen.contains(feature), feature);
}

QTEST_GUILESS_MAIN(TstKovritServer)

#include "tst_kovritserver.moc"

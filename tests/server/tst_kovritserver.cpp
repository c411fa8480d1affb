#include "kovritserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
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

// Stored hits as "x/y/r/t", blank-separated.
QString text(const QList<KovritServer::Hit> &hits)
{
    QStringList out;
    for (const KovritServer::Hit &h : hits)
        out << QStringLiteral("%1/%2/%3/%4").arg(h.x).arg(h.y).arg(h.r).arg(h.t);
    return out.join(' ');
}

QByteArray compact(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).toJson(QJsonDocument::Compact);
}

} // namespace

// One server and database for the whole run: password hashing makes every
// account and login cost real time. The functions run in declaration order;
// those that change stored hits come after those that expect the set-up.
class TstKovritServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void access_data();
    void access();
    void secretsStoredHashed();
    void cardJson();
    void badBodiesRefused_data();
    void badBodiesRefused();
    void hitsReplacedAndTotalsKept();
    void failNextRequests();
    void dataSurvivesRestart();
    void demoData();

private:
    void startServer();
    Answer send(const QByteArray &method, const QString &path, const QString &token,
                const QByteArray &body = QByteArray());
    QString hitsPath(quint32 card) const { return QStringLiteral("/quilvo/treffer/scheibe/%1").arg(card); }

    QTemporaryDir _dir;
    std::unique_ptr<KovritServer> _server;
    QNetworkAccessManager _net;
    QString _token; // login token for the first competition
    quint32 _card = 0; // number 501, three stored hits
    quint32 _second = 0; // number 502, same series, no hits
    quint32 _plain = 0; // number 503, own series without team
    quint32 _other = 0; // number 601, second competition
};

void TstKovritServer::startServer()
{
    _server = std::make_unique<KovritServer>();
    QVERIFY2(_server->open(_dir.filePath("server.sqlite")), qPrintable(_server->errorString()));
    QVERIFY(_server->listen() != 0);
}

void TstKovritServer::initTestCase()
{
    QVERIFY(_dir.isValid());
    startServer();
    _server->setStationToken(QStringLiteral("station-1"));
    QVERIFY(_server->addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
    const quint32 km = _server->addCompetition(QStringLiteral("Kreismeisterschaft"));
    const quint32 vm = _server->addCompetition(QStringLiteral("Vereinsmeisterschaft"));
    QCOMPARE(km, 1u);

    KovritServer::CardSpec karte;
    karte.competitionId = km;
    karte.nummer = 501;
    karte.weaponType = 2;
    karte.schussProScheibe = 5;
    karte.teilerFaktor = 3.2;
    karte.scheibenProSerie = 2;
    karte.weapon = QStringLiteral("Luftpistole Teiler");
    karte.shooter = QStringLiteral("Anna Berger");
    karte.club = QStringLiteral("SV Tell");
    karte.team = QStringLiteral("Tell I");
    karte.events = QStringList { QStringLiteral("Einzel"), QStringLiteral("Mannschaft") };
    karte.purchasedAt = 1710268200;
    karte.evaluatedAt = 1710270000;
    karte.hits = { { 0.5, -0.25, 10.5, 120.5 }, { 0, 0, -1, -1 }, { 1, 2, 9.6, 300 } };
    _card = _server->addCard(karte);

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
    _other = _server->addCard(more);
    QVERIFY(_card && _second && _plain && _other);
    QCOMPARE(_card, 1u); // the rows below name it; its printed number is 501

    const Answer login = send("POST", "/quilvo/login/wettkampf", "station-1", Credentials);
    _token = login.json()["jwt"].toString();
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
    if (finished.wait(10000)) {
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
    }
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
    login("unknown user", "station-1", R"({"wettkampf":1,"user":"gast","password":"geheim"})", 401);
    login("unknown competition", "station-1", R"({"wettkampf":99,"user":"aufsicht","password":"geheim"})",
          401);
    login("competition as string", "station-1", R"({"wettkampf":"1","user":"aufsicht","password":"geheim"})",
          401);
    login("login not json", "station-1", "wettkampf=1", 401);
    login("login without authorization", QString(), Credentials, 401);
    login("login with empty token", "", Credentials, 401);
    login("login with station token prefix", "station-", Credentials, 401);
    login("login with a login token", "login", Credentials, 401);
    row("list, station token", "GET", "/quilvo/wettkampfe", "station-1", 200);
    row("list, login token", "GET", "/quilvo/wettkampfe", "login", 200);
    row("list, no token", "GET", "/quilvo/wettkampfe", QString(), 401);
    row("list, bogus token", "GET", "/quilvo/wettkampfe", "bogus", 401);
    row("card, station token", "GET", "/quilvo/scheibe-ext/501", "station-1", 401);
    row("card, login token", "GET", "/quilvo/scheibe-ext/501", "login", 200);
    row("card, unknown number", "GET", "/quilvo/scheibe-ext/999", "login", 404);
    row("card id instead of number", "GET", "/quilvo/scheibe-ext/1", "login", 404);
    row("card of another competition", "GET", "/quilvo/scheibe-ext/601", "login", 404);
    row("card number signed", "GET", "/quilvo/scheibe-ext/+501", "login", 404);
    row("card number beyond 32 bits", "GET", "/quilvo/scheibe-ext/4294967797", "login", 404);
    row("hits, station token", "POST", "/quilvo/treffer/scheibe/1", "station-1", 401);
    row("hits, no token", "POST", "/quilvo/treffer/scheibe/1", QString(), 401);
    row("outside base path", "GET", "/wettkampfe", "station-1", 404);
    row("wrong method on list", "POST", "/quilvo/wettkampfe", "station-1", 404);
    row("wrong method on card", "POST", "/quilvo/scheibe-ext/501", "login", 404);
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
        QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", fresh).status, 200);
    } else if (path.endsWith("/login/wettkampf")) {
        QVERIFY(!a.json().toObject().contains("jwt"));
    } else if (path.endsWith("wettkampfe") && status == 200) {
        QCOMPARE(a.body, R"([{"id":1,"name":"Kreismeisterschaft"},{"id":2,"name":"Vereinsmeisterschaft"}])");
    }
}

void TstKovritServer::secretsStoredHashed()
{
    QVERIFY(_server->addUser(QStringLiteral("zweiter"), QStringLiteral("geheim")));
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
        raw.setDatabaseName(_dir.filePath("server.sqlite"));
        QVERIFY(raw.open());
        QSqlQuery q(raw);
        QVERIFY(q.exec("SELECT salt, hash, iterations FROM account ORDER BY name"));
        QList<QByteArray> values;
        while (q.next()) {
            QCOMPARE(q.value(0).toByteArray().size(), 16);
            QCOMPARE(q.value(1).toByteArray().size(), 32);
            QVERIFY(q.value(2).toInt() >= 10000);
            values << q.value(0).toByteArray() << q.value(1).toByteArray();
        }
        // Same password, different salt and hash.
        QCOMPARE(values.size(), 4);
        QVERIFY(values.at(0) != values.at(2) && values.at(1) != values.at(3));
        QVERIFY(q.exec("SELECT token_hash FROM login_token"));
        while (q.next())
            QVERIFY(q.value(0).toString() != _token);
    }
    QSqlDatabase::removeDatabase("raw");
}

void TstKovritServer::cardJson()
{
    // The weapon's id is the face type; the series totals are summed per hit
    // (10 + 9). A card without team or hits has team null and no evaluation.
    const Answer a = send("GET", "/quilvo/scheibe-ext/501", _token);
    QCOMPARE(a.status, 200);
    QCOMPARE(compact(a.body),
             compact(R"({"id":1,"nummer":501,"timestamp":1710270000,"serie":{"id":1,"ringe":19,
        "zehntel":20.1,"timestamp":1710268200,"schutze":{"id":1,"name":"Anna Berger","verein":{"id":1,
        "name":"SV Tell"}},"mannschaft":{"id":1,"name":"Tell I"},"waffe":{"id":2,"name":"Luftpistole Teiler",
        "schussProScheibe":5,"teilerFaktor":3.2,"scheibenProSerie":2},"wettbewerbe":[{"id":1,"name":"Einzel"},
        {"id":2,"name":"Mannschaft"}]},"treffer":[{"x":0.5,"y":-0.25,"r":10.5,"t":120.5},
        {"x":0,"y":0,"r":null,"t":null},{"x":1,"y":2,"r":9.6,"t":300}]})"));
    const QJsonValue plain = send("GET", "/quilvo/scheibe-ext/503", _token).json();
    QVERIFY(plain["serie"]["mannschaft"].isNull());
    QCOMPARE(plain["treffer"].toArray().size(), 0);
    QCOMPARE(plain["timestamp"].toInteger(), 0);
}

void TstKovritServer::badBodiesRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    QTest::newRow("not json") << QByteArray(R"([{"x":1,"y":2,"r":10)") << 400;
    QTest::newRow("object instead of array") << QByteArray(R"({"x":1,"y":2,"r":10,"t":5})") << 400;
    QTest::newRow("string number") << QByteArray(R"([{"x":"1","y":2,"r":10,"t":5}])") << 400;
    QTest::newRow("negative rings") << QByteArray(R"([{"x":1,"y":2,"r":-1,"t":5}])") << 400;
    QTest::newRow("rings above 10.9") << QByteArray(R"([{"x":1,"y":2,"r":11,"t":5}])") << 400;
    QTest::newRow("negative teiler") << QByteArray(R"([{"x":1,"y":2,"r":10,"t":-3}])") << 400;
    QTest::newRow("overflowing number") << QByteArray(R"([{"x":1e999,"y":2,"r":10,"t":5}])") << 400;
    QTest::newRow("more than 100 hits")
        << "[" + QByteArrayList(101, R"({"x":0,"y":0,"r":null,"t":null})").join(',') + "]" << 400;
    QTest::newRow("printed number instead of id") << QByteArray("card:501") << 404;
    QTest::newRow("card of another competition") << QByteArray("card:other") << 404;
}

void TstKovritServer::badBodiesRefused()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    quint32 target = _card;
    if (body.startsWith("card:")) {
        target = body == "card:other" ? _other : body.mid(5).toUInt();
        body = R"([{"x":0,"y":0,"r":10,"t":1}])";
    }
    QCOMPARE(send("POST", hitsPath(target), _token, body).status, status);

    // Nothing stored changed: the set-up's hits, totals and evaluation time.
    QCOMPARE(text(_server->storedHits(_card)), QStringLiteral("0.5/-0.25/10.5/120.5 0/0/-1/-1 1/2/9.6/300"));
    QCOMPARE(_server->submissionCount(_card), 0);
    QCOMPARE(_server->seriesTotals(_server->seriesId(_card)).ringe, 19);
    QCOMPARE(_server->evaluatedAt(_card), std::optional<qint64>(1710270000));
    QCOMPARE(_server->storedHits(_other).size(), 0);
}

void TstKovritServer::hitsReplacedAndTotalsKept()
{
    QVERIFY(!_server->evaluatedAt(_second).has_value());
    const quint32 series = _server->seriesId(_card);
    const QByteArray body = R"([{"x":0.1,"y":-0.2,"r":10.4,"t":50},{"x":0,"y":0,"r":null,"t":null},)"
                            R"({"x":2.5,"y":1,"r":7.9,"t":980.5},{"x":3,"y":3,"r":0,"t":2000}])";
    QCOMPARE(send("POST", hitsPath(_second), _token, body).status, 200);

    QCOMPARE(text(_server->storedHitsByNumber(502)),
             QStringLiteral("0.1/-0.2/10.4/50 0/0/-1/-1 2.5/1/7.9/980.5 3/3/0/2000"));
    QVERIFY(_server->evaluatedAt(_second).has_value());
    QCOMPARE(_server->submissionCount(_second), 1);
    // Series: 10.5 + 9.6 on the first card, 10.4 + 7.9 + 0 on the second.
    QCOMPARE(_server->seriesTotals(series).ringe, 10 + 9 + 10 + 7);
    QCOMPARE(_server->seriesTotals(series).zehntel, 38.4);

    // A new submission replaces the card's hits; the other card is untouched.
    QCOMPARE(send("POST", hitsPath(_second), _token, R"([{"x":0,"y":0,"r":9.9,"t":100}])").status, 200);
    QCOMPARE(_server->storedHits(_second).size(), 1);
    QCOMPARE(_server->storedHits(_card).size(), 3);
    QCOMPARE(_server->submissionCount(_second), 2);
    QCOMPARE(_server->seriesTotals(series).ringe, 10 + 9 + 9);
    QCOMPARE(_server->seriesTotals(series).zehntel, 30.0);
    // The card reply carries the new totals, so the client's series remainder
    // (series minus card) is the other card's sum.
    const QJsonValue card = send("GET", "/quilvo/scheibe-ext/502", _token).json();
    QCOMPARE(card["serie"]["ringe"].toInt(), 28);
    QCOMPARE(card["treffer"].toArray().size(), 1);
}

void TstKovritServer::failNextRequests()
{
    _server->failNextRequests(2, 500);
    QCOMPARE(send("GET", "/quilvo/wettkampfe", "station-1").status, 500);
    QCOMPARE(send("POST", hitsPath(_plain), _token, R"([{"x":0,"y":0,"r":9,"t":9}])").status, 500);
    QCOMPARE(_server->submissionCount(_plain), 0); // the refused submission changed nothing
    QCOMPARE(send("POST", hitsPath(_plain), _token, R"([{"x":0,"y":0,"r":9,"t":9}])").status, 200);
    QCOMPARE(_server->storedHits(_plain).size(), 1);

    _server->failNextRequests(1, 401);
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", _token).status, 401);
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", _token).status, 200);
}

void TstKovritServer::dataSurvivesRestart()
{
    QCOMPARE(send("POST", hitsPath(_card), _token,
                  R"([{"x":1.25,"y":-2,"r":10.7,"t":15.5},{"x":0,"y":0,"r":null,"t":null}])")
                 .status,
             200);
    _server.reset();
    startServer();

    QCOMPARE(_server->stationToken(), QStringLiteral("station-1"));
    QCOMPARE(_server->competitions().size(), 2);
    QCOMPARE(text(_server->storedHitsByNumber(501)), QStringLiteral("1.25/-2/10.7/15.5 0/0/-1/-1"));
    QCOMPARE(_server->seriesTotals(_server->seriesId(_card)).ringe, 10 + 9);
    QCOMPARE(_server->submissionCount(_card), 1);
    // A station that logged in before the restart carries on; accounts stay.
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", _token).json()["treffer"].toArray().size(), 2);
    QCOMPARE(send("POST", "/quilvo/login/wettkampf", "station-1", Credentials).status, 200);
}

void TstKovritServer::demoData()
{
    // The demo goes into an empty database only.
    _server = std::make_unique<KovritServer>();
    QVERIFY(_server->open(_dir.filePath("demo.sqlite")));
    QVERIFY(_server->listen() != 0);
    QVERIFY(_server->seedDemo());
    QVERIFY(!_server->seedDemo());
    QCOMPARE(_server->stationToken(), QLatin1String(KovritServer::DemoStationToken));
    const QByteArray credentials = QJsonDocument(QJsonObject { { "wettkampf", 1 },
                                                               { "user", KovritServer::DemoUser },
                                                               { "password", KovritServer::DemoPassword } })
                                       .toJson(QJsonDocument::Compact);
    const QString token = send("POST", "/quilvo/login/wettkampf", KovritServer::DemoStationToken, credentials)
                              .json()["jwt"]
                              .toString();

    // Walk the first competition's cards by their printed numbers: the demo
    // must offer what the client distinguishes.
    QSet<int> faces, shots;
    bool factor = false, severalCards = false, storedHits = false;
    int cards = 0;
    for (int nummer = 1000; nummer < 1100; ++nummer) {
        const Answer a = send("GET", QStringLiteral("/quilvo/scheibe-ext/%1").arg(nummer), token);
        if (a.status != 200)
            continue;
        ++cards;
        const QJsonValue waffe = a.json()["serie"]["waffe"];
        faces.insert(waffe["id"].toInt());
        shots.insert(waffe["schussProScheibe"].toInt());
        factor |= waffe["teilerFaktor"].toDouble() != 1.0;
        severalCards |= waffe["scheibenProSerie"].toInt() > 1;
        storedHits |= !a.json()["treffer"].toArray().isEmpty();
    }
    QVERIFY(cards >= 5);
    QCOMPARE(faces, QSet<int>({ 1, 2 }));
    QVERIFY(shots.contains(5) && shots.contains(10));
    QVERIFY(factor && severalCards && storedHits);
}

QTEST_GUILESS_MAIN(TstKovritServer)

#include "tst_kovritserver.moc"

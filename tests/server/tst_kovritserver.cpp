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
    QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
    QJsonArray array() const { return QJsonDocument::fromJson(body).array(); }
};

KovritServer::Hit hit(double x, double y, double r, double t)
{
    KovritServer::Hit h;
    h.x = x;
    h.y = y;
    h.r = r;
    h.t = t;
    return h;
}

} // namespace

class TstKovritServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void login_data();
    void login();
    void loginTokensAreFreshAndBound();
    void tokenScopes_data();
    void tokenScopes();
    void passwordsStoredAsSaltedHash();
    void cardJson();
    void cardLookupRefusals_data();
    void cardLookupRefusals();
    void hitsReplacedAndTotalsKept();
    void badBodiesRefused_data();
    void badBodiesRefused();
    void dataSurvivesRestart();
    void injectedFailures();
    void severalStations();
    void demoData();

private:
    void startServer();
    Answer send(const QByteArray &method, const QString &path, const QString &token,
                const QByteArray &body = QByteArray());
    QString loginToken(quint32 competition);

    QTemporaryDir _dir;
    QString _file;
    std::unique_ptr<KovritServer> _server;
    QNetworkAccessManager _net;
    quint32 _km = 0;
    quint32 _vm = 0;
    quint32 _card = 0; // number 501 in _km, with two stored hits
    quint32 _other = 0; // number 601 in _vm
};

void TstKovritServer::startServer()
{
    _server = std::make_unique<KovritServer>();
    QVERIFY2(_server->open(_file), qPrintable(_server->errorString()));
    QVERIFY(_server->listen() != 0);
}

void TstKovritServer::init()
{
    QVERIFY(_dir.isValid());
    // A fresh file for every test and every data row.
    static int run = 0;
    _file = _dir.filePath(QStringLiteral("%1-%2.sqlite").arg(QTest::currentTestFunction()).arg(++run));
    startServer();
    _server->setStationToken(QStringLiteral("station-1"));
    QVERIFY(_server->addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
    _km = _server->addCompetition(QStringLiteral("Kreismeisterschaft"));
    _vm = _server->addCompetition(QStringLiteral("Vereinsmeisterschaft"));

    KovritServer::CardSpec spec;
    spec.competitionId = _km;
    spec.nummer = 501;
    spec.weaponType = 2;
    spec.schussProScheibe = 5;
    spec.teilerFaktor = 3.2;
    spec.scheibenProSerie = 2;
    spec.weapon = QStringLiteral("Luftpistole Teiler");
    spec.shooter = QStringLiteral("Anna Berger");
    spec.club = QStringLiteral("SV Tell");
    spec.team = QStringLiteral("Tell I");
    spec.events = QStringList { QStringLiteral("Einzel"), QStringLiteral("Mannschaft") };
    spec.purchasedAt = 1710268200;
    spec.evaluatedAt = 1710270000;
    spec.hits = { hit(0.5, -0.25, 10.5, 120.5), hit(0, 0, -1, -1), hit(1, 2, 9.6, 300) };
    _card = _server->addCard(spec);
    QVERIFY(_card != 0);

    KovritServer::CardSpec other;
    other.competitionId = _vm;
    other.nummer = 601;
    _other = _server->addCard(other);
    QVERIFY(_other != 0);
}

void TstKovritServer::cleanup()
{
    _server.reset();
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

QString TstKovritServer::loginToken(quint32 competition)
{
    const QByteArray body = QJsonDocument(QJsonObject { { "wettkampf", qint64(competition) },
                                                        { "user", "aufsicht" },
                                                        { "password", "geheim" } })
                                .toJson(QJsonDocument::Compact);
    const Answer a = send("POST", "/quilvo/login/wettkampf", "station-1", body);
    return a.status == 200 ? a.object().value("jwt").toString() : QString();
}

void TstKovritServer::login_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QByteArray good = R"({"wettkampf":1,"user":"aufsicht","password":"geheim"})";
    QTest::newRow("accepted") << "station-1" << good << 200;
    QTest::newRow("wrong password") << "station-1"
                                    << QByteArray(R"({"wettkampf":1,"user":"aufsicht","password":"Geheim"})")
                                    << 401;
    QTest::newRow("unknown user") << "station-1"
                                  << QByteArray(R"({"wettkampf":1,"user":"gast","password":"geheim"})")
                                  << 401;
    QTest::newRow("unknown competition")
        << "station-1" << QByteArray(R"({"wettkampf":99,"user":"aufsicht","password":"geheim"})") << 401;
    QTest::newRow("competition as string")
        << "station-1" << QByteArray(R"({"wettkampf":"1","user":"aufsicht","password":"geheim"})") << 401;
    QTest::newRow("password missing")
        << "station-1" << QByteArray(R"({"wettkampf":1,"user":"aufsicht"})") << 401;
    QTest::newRow("not json") << "station-1" << QByteArray("wettkampf=1") << 401;
    QTest::newRow("no authorization") << QString() << good << 401;
    QTest::newRow("empty token") << "" << good << 401;
    QTest::newRow("wrong station token") << "station-2" << good << 401;
    QTest::newRow("station token prefix") << "station-" << good << 401;
}

void TstKovritServer::login()
{
    QFETCH(QString, token);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    const Answer a = send("POST", "/quilvo/login/wettkampf", token, body);
    QCOMPARE(a.status, status);
    if (status == 200)
        QVERIFY(a.object().value("jwt").toString().size() >= 32);
    else
        QVERIFY(!a.object().contains("jwt"));
}

void TstKovritServer::loginTokensAreFreshAndBound()
{
    const QString first = loginToken(_km);
    const QString second = loginToken(_km);
    QVERIFY(!first.isEmpty());
    QVERIFY(first != second);
    // Both stay valid: two stations logged in to the same competition.
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", first).status, 200);
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", second).status, 200);
    // A login token does not open another login.
    const QByteArray body = R"({"wettkampf":1,"user":"aufsicht","password":"geheim"})";
    QCOMPARE(send("POST", "/quilvo/login/wettkampf", first, body).status, 401);
}

void TstKovritServer::tokenScopes_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("who"); // station, login, none, bogus
    QTest::addColumn<int>("status");

    QTest::newRow("list, station token") << QByteArray("GET") << "/quilvo/wettkampfe"
                                         << "station" << 200;
    QTest::newRow("list, login token") << QByteArray("GET") << "/quilvo/wettkampfe"
                                       << "login" << 200;
    QTest::newRow("list, no token") << QByteArray("GET") << "/quilvo/wettkampfe"
                                    << "none" << 401;
    QTest::newRow("list, bogus token") << QByteArray("GET") << "/quilvo/wettkampfe"
                                       << "bogus" << 401;
    QTest::newRow("card, station token") << QByteArray("GET") << "/quilvo/scheibe-ext/501"
                                         << "station" << 401;
    QTest::newRow("card, login token") << QByteArray("GET") << "/quilvo/scheibe-ext/501"
                                       << "login" << 200;
    QTest::newRow("card, bogus token") << QByteArray("GET") << "/quilvo/scheibe-ext/501"
                                       << "bogus" << 401;
    QTest::newRow("hits, station token") << QByteArray("POST") << "/quilvo/treffer/scheibe/%1"
                                         << "station" << 401;
    QTest::newRow("hits, no token") << QByteArray("POST") << "/quilvo/treffer/scheibe/%1"
                                    << "none" << 401;
    QTest::newRow("hits, login token") << QByteArray("POST") << "/quilvo/treffer/scheibe/%1"
                                       << "login" << 200;
    QTest::newRow("outside base path") << QByteArray("GET") << "/wettkampfe"
                                       << "station" << 404;
    QTest::newRow("wrong method on list") << QByteArray("POST") << "/quilvo/wettkampfe"
                                          << "station" << 404;
    QTest::newRow("wrong method on card") << QByteArray("POST") << "/quilvo/scheibe-ext/501"
                                          << "login" << 404;
}

void TstKovritServer::tokenScopes()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, who);
    QFETCH(int, status);

    QString token;
    if (who == "station")
        token = "station-1";
    else if (who == "login")
        token = loginToken(_km);
    else if (who == "bogus")
        token = "bogus";
    const Answer a = send(method, path.contains("%1") ? path.arg(_card) : path, token, "[]");
    QCOMPARE(a.status, status);
    if (status == 200 && path.endsWith("wettkampfe"))
        QCOMPARE(
            a.body,
            QByteArray(R"([{"id":1,"name":"Kreismeisterschaft"},{"id":2,"name":"Vereinsmeisterschaft"}])"));
}

void TstKovritServer::passwordsStoredAsSaltedHash()
{
    QVERIFY(_server->addUser(QStringLiteral("zweiter"), QStringLiteral("geheim")));
    QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
    {
        raw.setDatabaseName(_file);
        QVERIFY(raw.open());
        QSqlQuery q(raw);
        QVERIFY(q.exec("SELECT name, salt, hash, iterations FROM account ORDER BY name"));
        QList<QByteArray> hashes;
        QList<QByteArray> salts;
        while (q.next()) {
            QVERIFY(!q.value(2).toByteArray().contains("geheim"));
            QCOMPARE(q.value(1).toByteArray().size(), 16);
            QCOMPARE(q.value(2).toByteArray().size(), 32);
            QVERIFY(q.value(3).toInt() >= 10000);
            hashes << q.value(2).toByteArray();
            salts << q.value(1).toByteArray();
        }
        QCOMPARE(hashes.size(), 2);
        QVERIFY(hashes.at(0) != hashes.at(1)); // same password, different salt
        QVERIFY(salts.at(0) != salts.at(1));

        // Login tokens are not kept in readable form either.
        const QString token = loginToken(_km);
        QVERIFY(q.exec("SELECT token_hash FROM login_token"));
        while (q.next())
            QVERIFY(q.value(0).toString() != token);
        raw.close();
    }
    raw = QSqlDatabase();
    QSqlDatabase::removeDatabase("raw");
}

void TstKovritServer::cardJson()
{
    const Answer a = send("GET", "/quilvo/scheibe-ext/501", loginToken(_km));
    QCOMPARE(a.status, 200);
    const QJsonObject card = a.object();
    QCOMPARE(card.value("id").toInteger(), qint64(_card));
    QVERIFY(_card != 501);
    QCOMPARE(card.value("timestamp").toInteger(), 1710270000);
    const QJsonObject serie = card.value("serie").toObject();
    QCOMPARE(serie.value("ringe").toInt(), 19); // 10 + 9, per hit
    QCOMPARE(serie.value("zehntel").toDouble(), 20.1);
    QCOMPARE(serie.value("timestamp").toInteger(), 1710268200);
    const QJsonObject schutze = serie.value("schutze").toObject();
    QCOMPARE(schutze.value("name").toString(), QStringLiteral("Anna Berger"));
    QVERIFY(schutze.value("id").isDouble());
    QCOMPARE(schutze.value("verein").toObject().value("name").toString(), QStringLiteral("SV Tell"));
    QCOMPARE(serie.value("mannschaft").toObject().value("name").toString(), QStringLiteral("Tell I"));
    const QJsonObject waffe = serie.value("waffe").toObject();
    QCOMPARE(waffe.value("id").toInt(), 2); // the face type
    QCOMPARE(waffe.value("name").toString(), QStringLiteral("Luftpistole Teiler"));
    QCOMPARE(waffe.value("schussProScheibe").toInt(), 5);
    QCOMPARE(waffe.value("teilerFaktor").toDouble(), 3.2);
    QCOMPARE(waffe.value("scheibenProSerie").toInt(), 2);
    const QJsonArray events = serie.value("wettbewerbe").toArray();
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).toObject().value("name").toString(), QStringLiteral("Einzel"));
    QCOMPARE(events.at(1).toObject().value("name").toString(), QStringLiteral("Mannschaft"));
    QCOMPARE(
        card.value("treffer").toArray(),
        QJsonDocument::fromJson(R"([{"x":0.5,"y":-0.25,"r":10.5,"t":120.5},{"x":0,"y":0,"r":null,"t":null},)"
                                R"({"x":1,"y":2,"r":9.6,"t":300}])")
            .array());

    // A card without team or hits: team null, empty hit list, no evaluation.
    const Answer b = send("GET", "/quilvo/scheibe-ext/601", loginToken(_vm));
    QCOMPARE(b.status, 200);
    QVERIFY(b.object().value("serie").toObject().value("mannschaft").isNull());
    QCOMPARE(b.object().value("treffer").toArray().size(), 0);
    QCOMPARE(b.object().value("timestamp").toInteger(), 0);
}

void TstKovritServer::cardLookupRefusals_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("unknown number") << "/quilvo/scheibe-ext/999";
    QTest::newRow("card id instead of number") << "/quilvo/scheibe-ext/1";
    QTest::newRow("card of another competition") << "/quilvo/scheibe-ext/601";
    QTest::newRow("not a number") << "/quilvo/scheibe-ext/abc";
    QTest::newRow("signed") << "/quilvo/scheibe-ext/+501";
    QTest::newRow("beyond 32 bits") << "/quilvo/scheibe-ext/4294967797";
}

void TstKovritServer::cardLookupRefusals()
{
    QFETCH(QString, path);
    QCOMPARE(send("GET", path, loginToken(_km)).status, 404);
}

void TstKovritServer::hitsReplacedAndTotalsKept()
{
    // A second card in the same series, still empty.
    KovritServer::CardSpec spec;
    spec.competitionId = _km;
    spec.nummer = 502;
    spec.seriesId = _server->seriesId(_card);
    const quint32 second = _server->addCard(spec);
    QVERIFY(second != 0);
    QVERIFY(!_server->evaluatedAt(second).has_value());
    QCOMPARE(_server->submissionCount(second), 0);

    const QString token = loginToken(_km);
    const QByteArray body = R"([{"x":0.1,"y":-0.2,"r":10.4,"t":50},{"x":0,"y":0,"r":null,"t":null},)"
                            R"({"x":2.5,"y":1,"r":7.9,"t":980.5},{"x":3,"y":3,"r":0,"t":2000}])";
    QCOMPARE(send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(second), token, body).status, 200);

    const QList<KovritServer::Hit> stored = _server->storedHits(second);
    QCOMPARE(stored.size(), 4);
    QCOMPARE(stored.at(0).x, 0.1);
    QCOMPARE(stored.at(0).r, 10.4);
    QCOMPARE(stored.at(1).r, -1.0);
    QCOMPARE(stored.at(1).t, -1.0);
    QCOMPARE(stored.at(2).t, 980.5);
    QCOMPARE(stored.at(3).r, 0.0);
    QCOMPARE(_server->storedHitsByNumber(502).size(), 4);
    QVERIFY(_server->evaluatedAt(second).has_value());
    QCOMPARE(_server->submissionCount(second), 1);

    // Series: 10.5 + 9.6 on the first card, 10.4 + 7.9 + 0 on the second.
    KovritServer::SeriesTotals totals = _server->seriesTotals(spec.seriesId);
    QCOMPARE(totals.ringe, 10 + 9 + 10 + 7);
    QCOMPARE(totals.zehntel, 38.4);

    // A new submission replaces the card's hits; the other card is untouched.
    QCOMPARE(send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(second), token,
                  R"([{"x":0,"y":0,"r":9.9,"t":100}])")
                 .status,
             200);
    QCOMPARE(_server->storedHits(second).size(), 1);
    QCOMPARE(_server->storedHits(_card).size(), 3);
    QCOMPARE(_server->submissionCount(second), 2);
    totals = _server->seriesTotals(spec.seriesId);
    QCOMPARE(totals.ringe, 10 + 9 + 9);
    QCOMPARE(totals.zehntel, 30.0);

    // The card reply carries the new totals, so the client's series remainder
    // (series minus card) is the other card's sum.
    const QJsonObject card = send("GET", "/quilvo/scheibe-ext/502", token).object();
    QCOMPARE(card.value("serie").toObject().value("ringe").toInt(), 28);
    QCOMPARE(card.value("treffer").toArray().size(), 1);
}

void TstKovritServer::badBodiesRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    QTest::newRow("not json") << QByteArray("r=10") << 400;
    QTest::newRow("truncated") << QByteArray(R"([{"x":1,"y":2,"r":10)") << 400;
    QTest::newRow("object instead of array") << QByteArray(R"({"x":1,"y":2,"r":10,"t":5})") << 400;
    QTest::newRow("element not an object") << QByteArray(R"([{"x":1,"y":2,"r":10,"t":5},7])") << 400;
    QTest::newRow("string number") << QByteArray(R"([{"x":"1","y":2,"r":10,"t":5}])") << 400;
    QTest::newRow("bool") << QByteArray(R"([{"x":1,"y":2,"r":true,"t":5}])") << 400;
    QTest::newRow("nested object") << QByteArray(R"([{"x":{},"y":2,"r":10,"t":5}])") << 400;
    QTest::newRow("negative rings") << QByteArray(R"([{"x":1,"y":2,"r":-1,"t":5}])") << 400;
    QTest::newRow("rings above 10.9") << QByteArray(R"([{"x":1,"y":2,"r":11,"t":5}])") << 400;
    QTest::newRow("negative teiler") << QByteArray(R"([{"x":1,"y":2,"r":10,"t":-3}])") << 400;
    QTest::newRow("overflowing number") << QByteArray(R"([{"x":1e999,"y":2,"r":10,"t":5}])") << 400;
    QByteArray many = "[";
    for (int i = 0; i < 101; ++i)
        many += QByteArray(i ? "," : "") + R"({"x":0,"y":0,"r":null,"t":null})";
    many += "]";
    QTest::newRow("more than 100 hits") << many << 400;
    QTest::newRow("unknown card id") << QByteArray("card:424242") << 404;
    QTest::newRow("printed number instead of id") << QByteArray("card:501") << 404;
    QTest::newRow("card of another competition") << QByteArray("card:other") << 404;
}

void TstKovritServer::badBodiesRefused()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    const QList<KovritServer::Hit> before = _server->storedHits(_card);
    const quint32 series = _server->seriesId(_card);
    const KovritServer::SeriesTotals totals = _server->seriesTotals(series);

    quint32 target = _card;
    QByteArray payload = body;
    if (body.startsWith("card:")) {
        const QByteArray which = body.mid(5);
        target = which == "other" ? _other : which.toUInt();
        payload = R"([{"x":0,"y":0,"r":10,"t":1}])";
    }
    const Answer a
        = send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(target), loginToken(_km), payload);
    QCOMPARE(a.status, status);

    const QList<KovritServer::Hit> after = _server->storedHits(_card);
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        QCOMPARE(after.at(i).r, before.at(i).r);
        QCOMPARE(after.at(i).t, before.at(i).t);
    }
    QCOMPARE(_server->submissionCount(_card), 0);
    QCOMPARE(_server->seriesTotals(series).ringe, totals.ringe);
    QCOMPARE(_server->seriesTotals(series).zehntel, totals.zehntel);
    QCOMPARE(_server->evaluatedAt(_card), std::optional<qint64>(1710270000));
    QCOMPARE(_server->storedHits(_other).size(), 0);
}

void TstKovritServer::dataSurvivesRestart()
{
    const QString token = loginToken(_km);
    QCOMPARE(send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(_card), token,
                  R"([{"x":1.25,"y":-2,"r":10.7,"t":15.5},{"x":0,"y":0,"r":null,"t":null}])")
                 .status,
             200);
    const quint32 series = _server->seriesId(_card);

    _server.reset();
    startServer();

    QCOMPARE(_server->stationToken(), QStringLiteral("station-1"));
    QCOMPARE(_server->competitions().size(), 2);
    const QList<KovritServer::Hit> hits = _server->storedHitsByNumber(501);
    QCOMPARE(hits.size(), 2);
    QCOMPARE(hits.at(0).x, 1.25);
    QCOMPARE(hits.at(0).r, 10.7);
    QCOMPARE(hits.at(1).r, -1.0);
    QCOMPARE(_server->seriesTotals(series).ringe, 10);
    QCOMPARE(_server->submissionCount(_card), 1);
    // A station that logged in before the restart carries on.
    const Answer a = send("GET", "/quilvo/scheibe-ext/501", token);
    QCOMPARE(a.status, 200);
    QCOMPARE(a.object().value("treffer").toArray().size(), 2);
    QVERIFY(!loginToken(_km).isEmpty());
}

void TstKovritServer::injectedFailures()
{
    const QString token = loginToken(_km);
    _server->failNextRequests(2, 500);
    QCOMPARE(send("GET", "/quilvo/wettkampfe", "station-1").status, 500);
    QCOMPARE(send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(_card), token, "[]").status, 500);
    QCOMPARE(_server->storedHits(_card).size(), 3); // the refused submission changed nothing
    QCOMPARE(send("POST", QStringLiteral("/quilvo/treffer/scheibe/%1").arg(_card), token, "[]").status, 200);
    QCOMPARE(_server->storedHits(_card).size(), 0);

    _server->failNextRequests(1, 401);
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", token).status, 401);
    QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", token).status, 200);
}

void TstKovritServer::severalStations()
{
    const QString a = loginToken(_km);
    const QString b = loginToken(_vm);
    QSignalSpy handled(_server.get(), &KovritServer::requestHandled);

    // Both submissions are in flight at once.
    QNetworkRequest ra(QUrl(
        QStringLiteral("http://127.0.0.1:%1/quilvo/treffer/scheibe/%2").arg(_server->port()).arg(_card)));
    ra.setRawHeader("Authorization", "Bearer " + a.toUtf8());
    ra.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkRequest rb(QUrl(
        QStringLiteral("http://127.0.0.1:%1/quilvo/treffer/scheibe/%2").arg(_server->port()).arg(_other)));
    rb.setRawHeader("Authorization", "Bearer " + b.toUtf8());
    rb.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkAccessManager second;
    QNetworkReply *replyA = _net.post(ra, R"([{"x":1,"y":1,"r":10,"t":10}])");
    QNetworkReply *replyB = second.post(rb, R"([{"x":2,"y":2,"r":9,"t":20},{"x":3,"y":3,"r":8,"t":30}])");
    QTRY_VERIFY_WITH_TIMEOUT(replyA->isFinished() && replyB->isFinished(), 10000);
    QCOMPARE(replyA->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QCOMPARE(replyB->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    delete replyA;
    delete replyB;
    QCOMPARE(_server->storedHits(_card).size(), 1);
    QCOMPARE(_server->storedHits(_other).size(), 2);
    QCOMPARE(handled.count(), 2);
}

void TstKovritServer::demoData()
{
    // A fresh file: the demo goes into an empty database only.
    _server.reset();
    _file = _dir.filePath(QStringLiteral("demo.sqlite"));
    startServer();
    QVERIFY(_server->isEmpty());
    QVERIFY(_server->seedDemo());
    QVERIFY(!_server->seedDemo());
    QCOMPARE(_server->competitions().size(), 2);
    QVERIFY(_server->hasUser(QLatin1String(KovritServer::DemoUser)));
    QCOMPARE(_server->stationToken(), QLatin1String(KovritServer::DemoStationToken));

    const QByteArray credentials = QJsonDocument(QJsonObject { { "wettkampf", 1 },
                                                               { "user", KovritServer::DemoUser },
                                                               { "password", KovritServer::DemoPassword } })
                                       .toJson(QJsonDocument::Compact);
    const Answer login = send("POST", "/quilvo/login/wettkampf", KovritServer::DemoStationToken, credentials);
    QCOMPARE(login.status, 200);
    const QString token = login.object().value("jwt").toString();

    // Walk the demo cards of the first competition by their printed numbers.
    QSet<int> weaponTypes;
    QSet<int> shots;
    bool factorOtherThanOne = false;
    bool severalCardsPerSeries = false;
    bool storedHits = false;
    int cards = 0;
    for (int nummer = 1000; nummer < 1100; ++nummer) {
        const Answer a = send("GET", QStringLiteral("/quilvo/scheibe-ext/%1").arg(nummer), token);
        if (a.status != 200)
            continue;
        ++cards;
        const QJsonObject card = a.object();
        QVERIFY(card.value("id").toInt() != nummer);
        const QJsonObject serie = card.value("serie").toObject();
        const QJsonObject waffe = serie.value("waffe").toObject();
        weaponTypes.insert(waffe.value("id").toInt());
        shots.insert(waffe.value("schussProScheibe").toInt());
        factorOtherThanOne |= waffe.value("teilerFaktor").toDouble() != 1.0;
        severalCardsPerSeries |= waffe.value("scheibenProSerie").toInt() > 1;
        storedHits |= !card.value("treffer").toArray().isEmpty();
        QVERIFY(!serie.value("schutze").toObject().value("name").toString().isEmpty());
        QVERIFY(!serie.value("wettbewerbe").toArray().isEmpty());
    }
    QVERIFY(cards >= 5);
    QCOMPARE(weaponTypes, QSet<int>({ 1, 2 }));
    QVERIFY(shots.contains(5) && shots.contains(10));
    QVERIFY(factorOtherThanOne);
    QVERIFY(severalCardsPerSeries);
    QVERIFY(storedHits);
    QVERIFY(_server->cardSummary().size() > cards);
}

QTEST_GUILESS_MAIN(TstKovritServer)

#include "tst_kovritserver.moc"

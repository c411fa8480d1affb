#include "kovritserver.h"
#include "server/serviceprovider.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
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

    QTemporaryDir _dir;
    std::unique_ptr<KovritServer> _server;
    QNetworkAccessManager _net;
    QString _token; // login token for the first competition
    quint32 _card = 0; // number 501, three stored hits
    quint32 _second = 0; // number 502, same series, no hits; shot by the client
    qint64 _now = QDateTime::currentSecsSinceEpoch(); // the server's clock

    void startServer(const QString &file)
    {
        _server = std::make_unique<KovritServer>();
        QVERIFY2(_server->open(_dir.filePath(file)), qPrintable(_server->errorString()));
        QVERIFY(_server->listen() != 0);
        _server->setClock([this] { return _now; });
        _server->setTokenAge(60);
    }

    QString login(const QByteArray &user = "aufsicht", const QByteArray &password = "geheim",
                  int *status = nullptr)
    {
        const QJsonObject body { { "wettkampf", 1 },
                                 { "user", QString(user) },
                                 { "password", QString(password) } };
        const Answer a = send("POST", "/quilvo/login/wettkampf", "station-1", QJsonDocument(body).toJson());
        if (status)
            *status = a.status;
        return a.json()["jwt"].toString();
    }

    Answer send(const QByteArray &method, const QString &path, const QString &token,
                const QByteArray &body = QByteArray())
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(_server->port()).arg(path)));
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

private slots:
    void initTestCase()
    {
        startServer("server.sqlite");
        _server->setStationToken(QStringLiteral("station-1"));
        QVERIFY(_server->addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
        QVERIFY(_server->addUser(QStringLiteral("kasse"), QStringLiteral("kasse1")));
        const quint32 km = _server->addCompetition(QStringLiteral("Kreismeisterschaft"));
        const quint32 vm = _server->addCompetition(QStringLiteral("Vereinsmeisterschaft"));
        // competition, number, series, face, shots, factor, cards per series,
        // weapon, shooter, club, team, events, bought, evaluated, hits
        const QList<KovritServer::Hit> hits { { 0.5, -0.25, 10.5, 120.5 }, {}, { 1, 2, 9.6, 300 } };
        _card = _server->addCard({ km, 501, 0, 2, 5, 3.2, 2, "Luftpistole Teiler", "Anna Berger", "SV Tell",
                                   "Tell I", QStringList { "Einzel", "Mannschaft" }, 1710268200, 1710270000,
                                   hits });
        // The rows below name card id 1 beside the printed number 501, and id 2 of 601.
        QVERIFY(_card == 1 && _server->addCard({ vm, 601 }) == 2);
        _second = _server->addCard({ km, 502, _server->seriesId(_card) });

        _token = login();
        QVERIFY(_token.size() >= 32);
    }

    void access_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("token"); // "login": the login token
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer"); // JSON; empty: not compared
        auto row = [](const char *name, const QString &path, const QString &token, int status,
                      const QByteArray &body = "[]", const QByteArray &answer = QByteArray()) {
            QTest::newRow(name) << path << token << body << status << answer;
        };
        auto hits = [&](const char *name, const QByteArray &body, int status, const char *card = "1") {
            row(name, QStringLiteral("/quilvo/treffer/scheibe/") + card, "login", status, body);
        };

        row("login accepted", "/quilvo/login/wettkampf", "station-1", 200, Credentials);
        row("wrong password", "/quilvo/login/wettkampf", "station-1", 401,
            R"({"wettkampf":1,"user":"aufsicht","password":"Geheim"})");
        row("login with a login token", "/quilvo/login/wettkampf", "login", 401, Credentials);
        row("list, station token", "/quilvo/wettkampfe", "station-1", 200, "",
            R"([{"id":1,"name":"Kreismeisterschaft"},{"id":2,"name":"Vereinsmeisterschaft"}])");
        row("list, bogus token", "/quilvo/wettkampfe", "bogus", 401, "");
        // The weapon's id is the face type; the series totals are summed per
        // hit (10 + 9).
        row("card, login token", "/quilvo/scheibe-ext/501", "login", 200, "",
            R"({"id":1,"nummer":501,"timestamp":1710270000,"serie":{"id":1,"ringe":19,"zehntel":20.1,
            "timestamp":1710268200,"schutze":{"id":1,"name":"Anna Berger","verein":{"id":1,"name":"SV Tell"}},
            "mannschaft":{"id":1,"name":"Tell I"},"waffe":{"id":2,"name":"Luftpistole Teiler",
            "schussProScheibe":5,"teilerFaktor":3.2,"scheibenProSerie":2},"wettbewerbe":[{"id":1,
            "name":"Einzel"},{"id":2,"name":"Mannschaft"}]},"treffer":[{"x":0.5,"y":-0.25,"r":10.5,
            "t":120.5},{"x":0,"y":0,"r":null,"t":null},{"x":1,"y":2,"r":9.6,"t":300}]})");
        row("card, station token", "/quilvo/scheibe-ext/501", "station-1", 401, "");
        row("card id instead of number", "/quilvo/scheibe-ext/1", "login", 404, "");
        row("card of another competition", "/quilvo/scheibe-ext/601", "login", 404, "");
        row("hits, station token", "/quilvo/treffer/scheibe/1", "station-1", 401);
        hits("hits on a card of another competition", "[]", 404, "2");
        hits("hits on the printed number", R"([{"x":0,"y":0,"r":10,"t":1}])", 404, "501");
        hits("hits not json", R"([{"x":1,"y":2,"r":10)", 400);
        hits("rings above 10.9", R"([{"x":1,"y":2,"r":11,"t":5}])", 400);
        hits("six hits on a five-shot card", "[" + QByteArrayList(6, "{}").join(',') + "]", 400);
        hits("more than 100 hits",
             "[" + QByteArrayList(101, R"({"x":0,"y":0,"r":null,"t":null})").join(',') + "]", 400);
    }

    void access()
    {
        QFETCH(QString, path);
        QFETCH(QString, token);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);

        const Answer a = send(body.isEmpty() ? "GET" : "POST", path, token == "login" ? _token : token, body);
        QCOMPARE(a.status, status);
        if (!answer.isEmpty())
            QCOMPARE(QJsonDocument::fromJson(a.body), QJsonDocument::fromJson(answer));
        if (path.endsWith("/login/wettkampf") && status == 200) {
            // A fresh token; the earlier one stays valid (two stations, one competition).
            const QString fresh = a.json()["jwt"].toString();
            QVERIFY(fresh.size() >= 32 && fresh != _token);
            QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", fresh).status, 200);
        }
        // Nothing stored changed.
        QCOMPARE(text(_server->storedHits(_card)), Hits501);
        QCOMPARE(_server->submissionCount(_card), 0);
    }

    void refusedByHead_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status");
        const QByteArray big = "POST /quilvo/treffer/scheibe/1 HTTP/1.1\r\nContent-Length: 104857600\r\n";
        QTest::newRow("100 MB, bogus token") << big + "Authorization: Bearer bogus\r\n" << 401;
        QTest::newRow("100 MB, station token") << big + "Authorization: Bearer station-1\r\n" << 413;
        QTest::newRow("chunked") << QByteArray(
            "POST /quilvo/treffer/scheibe/1 HTTP/1.1\r\nAuthorization: Bearer "
            "station-1\r\nTransfer-Encoding: chunked\r\n")
                                 << 411;
        QTest::newRow("head of 20 KiB") << "GET /quilvo/wettkampfe HTTP/1.1\r\nX: " + QByteArray(20000, 'x')
                + "\r\n" << 431;
    }

    void refusedByHead()
    {
        // Only the head and a little of the body are sent: the answer must
        // come without waiting for the rest.
        QFETCH(QByteArray, head);
        QFETCH(int, status);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, _server->port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(head + "\r\n" + QByteArray(4096, '['));
        QSignalSpy closed(&socket, &QTcpSocket::disconnected);
        QVERIFY(closed.wait(5000));
        QCOMPARE(socket.readAll().left(12), "HTTP/1.1 " + QByteArray::number(status));
        QCOMPARE(_server->submissionCount(_card), 0);
    }

    void tokenAge_data()
    {
        QTest::addColumn<int>("age");
        QTest::addColumn<int>("status");
        QTest::newRow("fresh") << 0 << 200;
        QTest::newRow("a second short of the age") << 59 << 200;
        QTest::newRow("at the age") << 60 << 401;
    }

    void tokenAge()
    {
        QFETCH(int, age);
        QFETCH(int, status);
        const QString token = login();
        _now += age;
        QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", token).status, status);
        QCOMPARE(send("GET", "/quilvo/wettkampfe", token).status, status);
        _now -= age;
    }

    void wrongPasswords_data()
    {
        // One script: every row goes on from the one before.
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("wait"); // seconds on the server's clock before the try
        QTest::addColumn<int>("status");
        QTest::newRow("1st wrong") << QByteArray("kasse") << QByteArray("x") << 0 << 401;
        QTest::newRow("2nd wrong") << QByteArray("kasse") << QByteArray("y") << 0 << 401;
        QTest::newRow("3rd wrong") << QByteArray("kasse") << QByteArray("z") << 0 << 401;
        QTest::newRow("locked, right one too") << QByteArray("kasse") << QByteArray("kasse1") << 0 << 429;
        QTest::newRow("another user") << QByteArray("aufsicht") << QByteArray("geheim") << 0 << 200;
        QTest::newRow("1 s on, 4th wrong") << QByteArray("kasse") << QByteArray("x") << 1 << 401;
        QTest::newRow("locked for 2 s now") << QByteArray("kasse") << QByteArray("kasse1") << 1 << 429;
        QTest::newRow("2 s on") << QByteArray("kasse") << QByteArray("kasse1") << 1 << 200;
        QTest::newRow("count cleared") << QByteArray("kasse") << QByteArray("x") << 0 << 401;
    }

    void wrongPasswords()
    {
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, password);
        QFETCH(int, wait);
        QFETCH(int, status);
        _now += wait;
        int got = 0;
        login(user, password, &got);
        QCOMPARE(got, status);
    }

    void clientFlow()
    {
        // The client against the stand-in: what it sends is what the server
        // accepts, and what the server answers is what the client reads.
        ServiceProvider client;
        client.init(_server->baseUrl(), QStringLiteral("station-1"));
        QSignalSpy ok(&client, &ServiceProvider::loginOk);
        client.doLogin(1, QStringLiteral("KM"), QStringLiteral("aufsicht"), QStringLiteral("geheim"));
        QVERIFY(ok.wait(10000));
        QSignalSpy karte(&client, &ServiceProvider::scheibe);
        client.getScheibe(502);
        QVERIFY(karte.wait(10000));
        // Shoot the second card of the series: three hits, two slots left empty.
        const ServiceProvider::Treffer t[]
            = { { 0.25, -0.5, 10.3, 55.5 }, { -1.0, 1.5, 8.7, 610.25 }, { 0, 0, 0, 2400 }, {}, {} };
        QSignalSpy done(&client, &ServiceProvider::setTrefferOk);
        client.setTreffer(karte.at(0).at(0).value<ServiceProvider::Scheibe>().id, t, 5);
        QVERIFY(done.wait(10000));
        QCOMPARE(text(_server->storedHits(_second)),
                 QStringLiteral("0.25/-0.5/10.3/55.5 -1/1.5/8.7/610.25 0/0/0/2400 0/0/-1/-1 0/0/-1/-1"));
    }

    void dataSurvivesRestart()
    {
        const QByteArray hits = R"([{"x":1.25,"y":-2,"r":10.7,"t":15.5},{"x":0,"y":0,"r":null,"t":null}])";
        QCOMPARE(send("POST", "/quilvo/treffer/scheibe/1", _token, hits).status, 200);
        _server.reset();
        startServer("server.sqlite");

        QCOMPARE(text(_server->storedHitsByNumber(501)), QStringLiteral("1.25/-2/10.7/15.5 0/0/-1/-1"));
        // The series adds card 502 as the client shot it.
        QCOMPARE(_server->seriesTotals(_server->seriesId(_card)).ringe, 10 + 18);
        // A station that logged in before the restart carries on; the station
        // token and the accounts stay.
        QCOMPARE(send("GET", "/quilvo/scheibe-ext/501", _token).json()["treffer"].toArray().size(), 2);
        QCOMPARE(send("POST", "/quilvo/login/wettkampf", "station-1", Credentials).status, 200);
        // The demo goes into an empty database only.
        QVERIFY(!_server->seedDemo());
    }

    void terminate_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void terminate()
    {
        QFETCH(int, signal);
        const QString db = _dir.filePath(QStringLiteral("ended-%1.sqlite").arg(signal));
        QProcess server;
        server.start(KOVRIT_SERVER_EXE, { "--listen", "127.0.0.1:0", "--db", db, "--seed-demo" });
        QByteArray banner;
        while (!(banner += server.readAllStandardOutput()).contains("Demo login"))
            QVERIFY(server.waitForReadyRead(10000));
        ::kill(pid_t(server.processId()), signal);
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
        // Closed, not cut off: SQLite folded its write-ahead log into the file.
        QVERIFY(QFileInfo::exists(db) && !QFileInfo::exists(db + "-wal"));
    }
};

QTEST_GUILESS_MAIN(TstKovritServer)

#include "tst_kovritserver.moc"

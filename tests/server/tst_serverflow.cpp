// ServiceProvider against the competition server stand-in, over real HTTP:
// what the client sends is what the server accepts, and what the server
// answers is what the client reads.

#include "kovritserver.h"
#include "server/serviceprovider.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using WettkampfListe = QList<QPair<quint32, QString>>;

class TstServerFlow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginListCardSubmission();
    void refusalsReachTheClientAsTexts();
    void refusedThenAccepted();

private:
    bool login(quint32 competition, const QString &password = QStringLiteral("geheim"));
    ServiceProvider::Scheibe fetch(quint32 nummer);

    QTemporaryDir _dir;
    std::unique_ptr<KovritServer> _server;
    std::unique_ptr<ServiceProvider> _client;
    quint32 _km = 0;
    quint32 _card = 0;
    quint32 _second = 0;
};

void TstServerFlow::init()
{
    static int run = 0;
    _server = std::make_unique<KovritServer>();
    QVERIFY(_server->open(_dir.filePath(QStringLiteral("flow-%1.sqlite").arg(++run))));
    QVERIFY(_server->listen() != 0);
    _server->setStationToken(QStringLiteral("station"));
    QVERIFY(_server->addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
    _km = _server->addCompetition(QStringLiteral("Kreismeisterschaft"));
    _server->addCompetition(QStringLiteral("Pokal"));

    KovritServer::CardSpec spec;
    spec.competitionId = _km;
    spec.nummer = 1001;
    spec.weaponType = 1;
    spec.schussProScheibe = 5;
    spec.scheibenProSerie = 2;
    spec.shooter = QStringLiteral("Anna Berger");
    spec.club = QStringLiteral("SV Tell");
    spec.events = QStringList { QStringLiteral("Einzel") };
    spec.purchasedAt = 1710268200;
    spec.hits = { { 0.1, 0.2, 10.5, 40.0 }, { 0.3, -0.4, 9.6, 90.0 } };
    _card = _server->addCard(spec);
    KovritServer::CardSpec next;
    next.competitionId = _km;
    next.nummer = 1002;
    next.seriesId = _server->seriesId(_card);
    _second = _server->addCard(next);
    QVERIFY(_card != 0 && _second != 0);

    _client = std::make_unique<ServiceProvider>();
    _client->init(_server->baseUrl(), QStringLiteral("station"));
}

void TstServerFlow::cleanup()
{
    _client.reset();
    _server.reset();
}

bool TstServerFlow::login(quint32 competition, const QString &password)
{
    QSignalSpy ok(_client.get(), &ServiceProvider::loginOk);
    QSignalSpy failed(_client.get(), &ServiceProvider::loginFailed);
    _client->doLogin(competition, QStringLiteral("Kreismeisterschaft"), QStringLiteral("aufsicht"), password);
    return QTest::qWaitFor([&]() { return ok.count() + failed.count() == 1; }, 10000) && ok.count() == 1;
}

ServiceProvider::Scheibe TstServerFlow::fetch(quint32 nummer)
{
    QSignalSpy spy(_client.get(), &ServiceProvider::scheibe);
    _client->getScheibe(nummer);
    if (!spy.wait(10000))
        return ServiceProvider::Scheibe();
    return spy.at(0).at(0).value<ServiceProvider::Scheibe>();
}

void TstServerFlow::loginListCardSubmission()
{
    QSignalSpy liste(_client.get(), &ServiceProvider::wettkampfe);
    _client->getWettkampfe();
    QVERIFY(liste.wait(10000));
    QCOMPARE(
        liste.at(0).at(0).value<WettkampfListe>(),
        WettkampfListe({ { _km, QStringLiteral("Kreismeisterschaft") }, { 2u, QStringLiteral("Pokal") } }));

    QVERIFY(login(_km));

    const ServiceProvider::Scheibe first = fetch(1001);
    QCOMPARE(first.id, _card);
    QCOMPARE(first.schussProScheibe, 5);
    QCOMPARE(first.scheibenProSerie, 2);
    QCOMPARE(first.schuetze, QStringLiteral("Anna Berger"));
    QCOMPARE(first.treffer.size(), 2);
    QCOMPARE(first.ringe, 19);
    QCOMPARE(first.serieRinge, 19);

    // Shoot the second card of the series: three hits, two slots left empty.
    const ServiceProvider::Scheibe second = fetch(1002);
    QCOMPARE(second.id, _second);
    QCOMPARE(second.treffer.size(), 0);
    QCOMPARE(second.wertungsdatum, QStringLiteral("---"));
    ServiceProvider::Treffer schuesse[5];
    schuesse[0] = { 0.25, -0.5, 10.3, 55.5 };
    schuesse[1] = { -1.0, 1.5, 8.7, 610.25 };
    schuesse[2] = { 0.0, 0.0, 0.0, 2400.0 };
    QSignalSpy ok(_client.get(), &ServiceProvider::setTrefferOk);
    _client->setTreffer(second.id, schuesse, 5);
    QVERIFY(ok.wait(10000));

    const QList<KovritServer::Hit> stored = _server->storedHits(_second);
    QCOMPARE(stored.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(stored.at(i).x, schuesse[i].x);
        QCOMPARE(stored.at(i).y, schuesse[i].y);
        QCOMPARE(stored.at(i).r, schuesse[i].ringe);
        QCOMPARE(stored.at(i).t, schuesse[i].teiler);
    }
    QCOMPARE(_server->submissionCount(_second), 1);

    // Read back: the card's own totals and the series totals agree, so the
    // client's series remainder is exactly the first card.
    const ServiceProvider::Scheibe again = fetch(1002);
    QCOMPARE(again.treffer.size(), 5);
    QCOMPARE(again.ringe, 18);
    QVERIFY(qAbs(again.zehntel - 19.0) < 1e-9);
    QVERIFY(again.wertungsdatum != QStringLiteral("---"));
    QCOMPARE(again.serieRinge - again.ringe, first.ringe);
    QVERIFY(qAbs((again.serieZehntel - again.zehntel) - first.zehntel) < 1e-9);
    QVERIFY(!again.treffer.at(3).valid());
}

void TstServerFlow::refusalsReachTheClientAsTexts()
{
    QSignalSpy failed(_client.get(), &ServiceProvider::loginFailed);
    QVERIFY(!login(_km, QStringLiteral("falsch")));
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Zugang verweigert! (204:401)"));

    // Without a login the station token does not open a card.
    QSignalSpy error(_client.get(), &ServiceProvider::requestError);
    _client->getScheibe(1001);
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(0).at(0).toString(),
             QStringLiteral("Scheibe konnte nicht abgerufen werden! (204:401)"));

    QVERIFY(login(_km));
    _client->getScheibe(4711);
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(1).at(0).toString(),
             QStringLiteral("Scheibe konnte nicht abgerufen werden! (203:404)"));

    // A station with the wrong token cannot even list the competitions.
    ServiceProvider stranger;
    stranger.init(_server->baseUrl(), QStringLiteral("unbekannt"));
    QSignalSpy strangerError(&stranger, &ServiceProvider::requestError);
    stranger.getWettkampfe();
    QVERIFY(strangerError.wait(10000));
    QVERIFY(strangerError.at(0).at(0).toString().startsWith(QStringLiteral("Netzwerkfehler!")));
    QVERIFY(strangerError.at(0).at(0).toString().endsWith(QStringLiteral("(204)")));
}

void TstServerFlow::refusedThenAccepted()
{
    QVERIFY(login(_km));
    ServiceProvider::Treffer schuesse[2];
    schuesse[0] = { 0.5, 0.5, 9.9, 120.0 };

    QSignalSpy ok(_client.get(), &ServiceProvider::setTrefferOk);
    QSignalSpy error(_client.get(), &ServiceProvider::requestError);
    _server->failNextRequests(1, 500);
    _client->setTreffer(_second, schuesse, 2);
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(0).at(0).toString(),
             QStringLiteral("Treffer konnten nicht übermittelt werden! (401:500)"));
    QCOMPARE(_server->submissionCount(_second), 0);
    QCOMPARE(_server->storedHits(_second).size(), 0);

    _client->setTreffer(_second, schuesse, 2);
    QVERIFY(ok.wait(10000));
    QCOMPARE(_server->submissionCount(_second), 1);
    QCOMPARE(_server->storedHits(_second).size(), 2);
    QCOMPARE(error.count(), 1);
}

QTEST_GUILESS_MAIN(TstServerFlow)

#include "tst_serverflow.moc"

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
    void initTestCase();
    void loginListCardSubmission();

private:
    QString login(const QString &password);
    ServiceProvider::Scheibe fetch(quint32 nummer);

    QTemporaryDir _dir;
    KovritServer _server;
    ServiceProvider _client;
    quint32 _card = 0; // number 1001, two stored hits
    quint32 _second = 0; // number 1002, same series, no hits
};

void TstServerFlow::initTestCase()
{
    QVERIFY(_server.open(_dir.filePath(QStringLiteral("flow.sqlite"))));
    QVERIFY(_server.listen() != 0);
    _server.setStationToken(QStringLiteral("station"));
    QVERIFY(_server.addUser(QStringLiteral("aufsicht"), QStringLiteral("geheim")));
    KovritServer::CardSpec karte;
    karte.competitionId = _server.addCompetition(QStringLiteral("Kreismeisterschaft"));
    _server.addCompetition(QStringLiteral("Pokal"));
    karte.nummer = 1001;
    karte.schussProScheibe = 5;
    karte.scheibenProSerie = 2;
    karte.shooter = QStringLiteral("Anna Berger");
    karte.hits = { { 0.1, 0.2, 10.5, 40.0 }, { 0.3, -0.4, 9.6, 90.0 } };
    _card = _server.addCard(karte);
    karte.nummer = 1002;
    karte.seriesId = _server.seriesId(_card);
    karte.hits.clear();
    _second = _server.addCard(karte);
    QVERIFY(_card != 0 && _second != 0);
    _client.init(_server.baseUrl(), QStringLiteral("station"));
}

// Logs in to the first competition; empty on success, else the failure text.
QString TstServerFlow::login(const QString &password)
{
    QSignalSpy ok(&_client, &ServiceProvider::loginOk);
    QSignalSpy failed(&_client, &ServiceProvider::loginFailed);
    _client.doLogin(1, QStringLiteral("Kreismeisterschaft"), QStringLiteral("aufsicht"), password);
    if (!QTest::qWaitFor([&]() { return ok.count() + failed.count() == 1; }, 10000))
        return QStringLiteral("no answer");
    return failed.isEmpty() ? QString() : failed.at(0).at(0).toString();
}

ServiceProvider::Scheibe TstServerFlow::fetch(quint32 nummer)
{
    QSignalSpy spy(&_client, &ServiceProvider::scheibe);
    _client.getScheibe(nummer);
    return spy.wait(10000) ? spy.at(0).at(0).value<ServiceProvider::Scheibe>() : ServiceProvider::Scheibe();
}

void TstServerFlow::loginListCardSubmission()
{
    QSignalSpy liste(&_client, &ServiceProvider::wettkampfe);
    _client.getWettkampfe();
    QVERIFY(liste.wait(10000));
    QCOMPARE(
        liste.at(0).at(0).value<WettkampfListe>(),
        WettkampfListe({ { 1u, QStringLiteral("Kreismeisterschaft") }, { 2u, QStringLiteral("Pokal") } }));
    // The server's refusal reaches the officer as the client's text.
    QCOMPARE(login(QStringLiteral("falsch")), QStringLiteral("Zugang verweigert! (204:401)"));
    QCOMPARE(login(QStringLiteral("geheim")), QString());

    const ServiceProvider::Scheibe first = fetch(1001);
    QCOMPARE(first.id, _card);
    QCOMPARE(first.schussProScheibe, 5);
    QCOMPARE(first.scheibenProSerie, 2);
    QCOMPARE(first.schuetze, QStringLiteral("Anna Berger"));
    QCOMPARE(first.treffer.size(), 2);
    QCOMPARE(first.ringe, 19);

    // Shoot the second card of the series: three hits, two slots left empty.
    const ServiceProvider::Scheibe second = fetch(1002);
    QCOMPARE(second.id, _second);
    ServiceProvider::Treffer schuesse[5];
    schuesse[0] = { 0.25, -0.5, 10.3, 55.5 };
    schuesse[1] = { -1.0, 1.5, 8.7, 610.25 };
    schuesse[2] = { 0.0, 0.0, 0.0, 2400.0 };
    QSignalSpy ok(&_client, &ServiceProvider::setTrefferOk);
    _client.setTreffer(second.id, schuesse, 5);
    QVERIFY(ok.wait(10000));
    const QList<KovritServer::Hit> stored = _server.storedHits(_second);
    QCOMPARE(stored.size(), 5);
    for (int i = 0; i < 5; ++i) {
        const ServiceProvider::Treffer &t = schuesse[i];
        QCOMPARE(QList<double>({ stored.at(i).x, stored.at(i).y, stored.at(i).r, stored.at(i).t }),
                 QList<double>({ t.x, t.y, t.ringe, t.teiler }));
    }

    // Read back: the card's own totals and the series totals agree, so the
    // client's series remainder is exactly the first card.
    const ServiceProvider::Scheibe again = fetch(1002);
    QCOMPARE(again.treffer.size(), 5);
    QCOMPARE(again.ringe, 18);
    QVERIFY(qAbs(again.zehntel - 19.0) < 1e-9);
    QVERIFY(again.wertungsdatum != QStringLiteral("---"));
    QCOMPARE(again.serieRinge - again.ringe, first.ringe);
    QVERIFY(qAbs((again.serieZehntel - again.zehntel) - first.zehntel) < 1e-9);
}

QTEST_GUILESS_MAIN(TstServerFlow)

#include "tst_serverflow.moc"

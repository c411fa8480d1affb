#include "server/recordinghttpserver.h"
#include "server/serviceprovider.h"

#include <QMetaMethod>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <ctime>
#include <limits>
#include <memory>

using WettkampfListe = QList<QPair<quint32, QString>>;

Q_DECLARE_METATYPE(WettkampfListe)

namespace {

const QString NetzwerkText
    = QStringLiteral("Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT Einstellungen in "
                     "'config.json' und starten Sie das Programm neu! (");

ServiceProvider::Treffer hit(double x, double y, double ringe, double teiler)
{
    ServiceProvider::Treffer t;
    t.x = x;
    t.y = y;
    t.ringe = ringe;
    t.teiler = teiler;
    return t;
}

ServiceProvider::Treffer cleared()
{
    ServiceProvider::Treffer t = hit(1.0, 2.0, 9.0, 100.0);
    t.clear();
    return t;
}

// Reads one field of a card by name, so that the reading rules fit one table.
QVariant field(const ServiceProvider::Scheibe &s, const QString &name)
{
    if (name == "id")
        return s.id;
    if (name == "waffenTyp")
        return s.waffenTyp;
    if (name == "schussProScheibe")
        return s.schussProScheibe;
    if (name == "teilerFaktor")
        return s.teilerFaktor;
    if (name == "ringe")
        return s.ringe;
    if (name == "zehntel")
        return s.zehntel;
    if (name == "wertungsdatum")
        return s.wertungsdatum;
    if (name == "schuetzeId")
        return s.schuetzeId;
    if (name == "schuetze")
        return s.schuetze;
    if (name == "verein")
        return s.verein;
    if (name == "mannschaft")
        return s.mannschaft;
    if (name == "waffe")
        return s.waffe;
    if (name == "scheibenProSerie")
        return s.scheibenProSerie;
    if (name == "serieRinge")
        return s.serieRinge;
    if (name == "serieZehntel")
        return s.serieZehntel;
    if (name == "kaufdatum")
        return s.kaufdatum;
    if (name == "wettbewerbe")
        return s.wettbewerbe;
    if (name == "trefferZahl")
        return s.treffer.size();
    return QVariant();
}

} // namespace

class TstServiceProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestLine_data();
    void requestLine();
    void authorizationOnEveryRequest_data();
    void authorizationOnEveryRequest();
    void loginBody_data();
    void loginBody();
    void trefferBody_data();
    void trefferBody();
    void trefferWithoutEntriesSendsNothing();

    void wettkampfListe_data();
    void wettkampfListe();
    void scheibeFields_data();
    void scheibeFields();
    void scheibeComplete();
    void scheibeDefaults_data();
    void scheibeDefaults();
    void scheibeTreffer();
    void toDatumString_data();
    void toDatumString();

    void failures_data();
    void failures();
    void successSignals();

    void tokenStates();
    void tokenFromUnusableLoginReply_data();
    void tokenFromUnusableLoginReply();

    void transferTimeoutDefault();
    void transferTimeoutFailsRequest();
    void recordsAreMetaTypes();
    void destroyedWithRequestsOutstanding();

private:
    ServiceProvider::Scheibe fetchCard(const QByteArray &body);
    void run(const QString &operation);

    std::unique_ptr<RecordingHttpServer> _http;
    std::unique_ptr<ServiceProvider> _sp;
};

void TstServiceProvider::initTestCase()
{
    // The date texts are local time; pin the zone so the expectations hold.
    qputenv("TZ", "UTC");
    tzset();
    qRegisterMetaType<WettkampfListe>();
}

void TstServiceProvider::init()
{
    _http = std::make_unique<RecordingHttpServer>();
    QVERIFY(_http->listen());
    _sp = std::make_unique<ServiceProvider>();
    _sp->init(_http->baseUrl() + "/quilvo", QStringLiteral("station"));
}

void TstServiceProvider::cleanup()
{
    _sp.reset();
    _http.reset();
}

// Starts one operation by name and waits until the server has seen it.
void TstServiceProvider::run(const QString &operation)
{
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    if (operation == "login") {
        _sp->doLogin(3, QStringLiteral("KM"), QStringLiteral("max"), QStringLiteral("pw"));
    } else if (operation == "liste") {
        _sp->getWettkampfe();
    } else if (operation == "scheibe") {
        _sp->getScheibe(17);
    } else if (operation == "treffer") {
        const ServiceProvider::Treffer t[1] = { hit(0.5, 0.5, 10.0, 20.0) };
        _sp->setTreffer(42, t, 1);
    } else {
        QFAIL("unknown operation");
    }
    QVERIFY(seen.wait(5000));
}

ServiceProvider::Scheibe TstServiceProvider::fetchCard(const QByteArray &body)
{
    _http->setAnswer(200, body);
    QSignalSpy spy(_sp.get(), &ServiceProvider::scheibe);
    _sp->getScheibe(17);
    if (!spy.wait(5000))
        return ServiceProvider::Scheibe();
    return spy.at(0).at(0).value<ServiceProvider::Scheibe>();
}

void TstServiceProvider::requestLine_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<quint32>("nummer");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("json");

    QTest::newRow("login") << "/quilvo"
                           << "login" << 0u << QByteArray("POST") << QByteArray("/quilvo/login/wettkampf")
                           << true;
    QTest::newRow("liste") << "/quilvo"
                           << "liste" << 0u << QByteArray("GET") << QByteArray("/quilvo/wettkampfe") << false;
    QTest::newRow("liste, base with slash")
        << "/quilvo/"
        << "liste" << 0u << QByteArray("GET") << QByteArray("/quilvo//wettkampfe") << false;
    QTest::newRow("liste, bare host")
        << ""
        << "liste" << 0u << QByteArray("GET") << QByteArray("/wettkampfe") << false;
    QTest::newRow("scheibe 17") << "/quilvo"
                                << "scheibe" << 17u << QByteArray("GET")
                                << QByteArray("/quilvo/scheibe-ext/17") << false;
    QTest::newRow("scheibe 0") << "/quilvo"
                               << "scheibe" << 0u << QByteArray("GET") << QByteArray("/quilvo/scheibe-ext/0")
                               << false;
    QTest::newRow("scheibe max") << "/quilvo"
                                 << "scheibe" << 4294967295u << QByteArray("GET")
                                 << QByteArray("/quilvo/scheibe-ext/4294967295") << false;
    QTest::newRow("treffer") << "/quilvo"
                             << "treffer" << 42u << QByteArray("POST")
                             << QByteArray("/quilvo/treffer/scheibe/42") << true;
    QTest::newRow("treffer, base with slash") << "/quilvo/"
                                              << "treffer" << 4294967295u << QByteArray("POST")
                                              << QByteArray("/quilvo//treffer/scheibe/4294967295") << true;
}

void TstServiceProvider::requestLine()
{
    QFETCH(QString, base);
    QFETCH(QString, operation);
    QFETCH(quint32, nummer);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(bool, json);

    _sp->init(_http->baseUrl() + base, QStringLiteral("station"));
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    if (operation == "login") {
        _sp->doLogin(1, QString(), QString(), QString());
    } else if (operation == "liste") {
        _sp->getWettkampfe();
    } else if (operation == "scheibe") {
        _sp->getScheibe(nummer);
    } else {
        const ServiceProvider::Treffer t[1] = { cleared() };
        _sp->setTreffer(nummer, t, 1);
    }
    QVERIFY(seen.wait(5000));

    const RecordingHttpServer::Request r = _http->lastRequest();
    QCOMPARE(r.method, method);
    QCOMPARE(r.target, target);
    QCOMPARE(r.hasHeader("Content-Type"), json);
    if (json)
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
    QVERIFY(!r.hasHeader("Accept"));
}

void TstServiceProvider::authorizationOnEveryRequest_data()
{
    QTest::addColumn<QString>("jwt");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("expected");

    const QStringList operations { "login", "liste", "scheibe", "treffer" };
    for (const QString &op : operations) {
        QTest::addRow("token, %s", qPrintable(op)) << "abc.def" << op << QByteArray("Bearer abc.def");
        QTest::addRow("empty token, %s", qPrintable(op)) << "" << op << QByteArray("Bearer ");
    }
    QTest::newRow("utf-8 token") << QString::fromUtf8("t\u00f6ken") << "liste"
                                 << QByteArray("Bearer t\xc3\xb6ken");
}

void TstServiceProvider::authorizationOnEveryRequest()
{
    QFETCH(QString, jwt);
    QFETCH(QString, operation);
    QFETCH(QByteArray, expected);

    _sp->init(_http->baseUrl(), jwt);
    run(operation);
    QCOMPARE(_http->lastRequest().header("Authorization"), expected);
}

void TstServiceProvider::loginBody_data()
{
    QTest::addColumn<quint32>("wettkampf");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("plain") << 3u << "max"
                           << "geheim" << QByteArray(R"({"password":"geheim","user":"max","wettkampf":3})");
    QTest::newRow("largest id as signed")
        << 4294967295u << "a"
        << "b" << QByteArray(R"({"password":"b","user":"a","wettkampf":-1})");
    QTest::newRow("escapes and umlauts")
        << 0u << QString::fromUtf8("J\u00fcrgen") << "a\"b\\c"
        << QByteArray("{\"password\":\"a\\\"b\\\\c\",\"user\":\"J\xc3\xbcrgen\",\"wettkampf\":0}");
    QTest::newRow("empty texts") << 7u << ""
                                 << "" << QByteArray(R"({"password":"","user":"","wettkampf":7})");
}

void TstServiceProvider::loginBody()
{
    QFETCH(quint32, wettkampf);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, body);

    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    _sp->doLogin(wettkampf, QStringLiteral("Name"), user, password);
    QVERIFY(seen.wait(5000));
    QCOMPARE(_http->lastRequest().body, body);
}

void TstServiceProvider::trefferBody_data()
{
    QTest::addColumn<QList<ServiceProvider::Treffer>>("treffer");
    QTest::addColumn<QByteArray>("body");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("shot and cleared slot")
        << QList<ServiceProvider::Treffer> { hit(0.25, -1.5, 10.2, 35.5), cleared() }
        << QByteArray(R"([{"r":10.2,"t":35.5,"x":0.25,"y":-1.5},{"r":null,"t":null,"x":0,"y":0}])");
    QTest::newRow("zero rings is a hit") << QList<ServiceProvider::Treffer> { hit(4.0, 5.0, 0.0, 0.0) }
                                         << QByteArray(R"([{"r":0,"t":0,"x":4,"y":5}])");
    QTest::newRow("whole values without fraction")
        << QList<ServiceProvider::Treffer> { hit(1.0, -2.0, 10.0, 250.0) }
        << QByteArray(R"([{"r":10,"t":250,"x":1,"y":-2}])");
    QTest::newRow("shortest round trip")
        << QList<ServiceProvider::Treffer> { hit(0.1 + 0.2, 1.0 / 3.0, 10.3, 604.669) }
        << QByteArray(R"([{"r":10.3,"t":604.669,"x":0.30000000000000004,"y":0.3333333333333333}])");
    QTest::newRow("exponent for extreme magnitudes")
        << QList<ServiceProvider::Treffer> { hit(1e21, 1e-7, 9.0, -1.0) }
        << QByteArray(R"([{"r":9,"t":null,"x":1e+21,"y":1e-07}])");
    QTest::newRow("negative teiler alone is null")
        << QList<ServiceProvider::Treffer> { hit(0.0, 0.0, 5.5, -0.5) }
        << QByteArray(R"([{"r":5.5,"t":null,"x":0,"y":0}])");
    QTest::newRow("non-finite numbers as null")
        << QList<ServiceProvider::Treffer> { hit(nan, inf, inf, 3.0), hit(-inf, 0.5, nan, nan) }
        << QByteArray(R"([{"r":null,"t":3,"x":null,"y":null},{"r":null,"t":null,"x":null,"y":0.5}])");
}

void TstServiceProvider::trefferBody()
{
    QFETCH(QList<ServiceProvider::Treffer>, treffer);
    QFETCH(QByteArray, body);

    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    _sp->setTreffer(9, treffer.constData(), static_cast<quint32>(treffer.size()));
    QVERIFY(seen.wait(5000));
    QCOMPARE(_http->lastRequest().body, body);
}

void TstServiceProvider::trefferWithoutEntriesSendsNothing()
{
    QSignalSpy ok(_sp.get(), &ServiceProvider::setTrefferOk);
    QSignalSpy error(_sp.get(), &ServiceProvider::requestError);
    QSignalSpy liste(_sp.get(), &ServiceProvider::wettkampfe);
    const ServiceProvider::Treffer t[1] = { hit(1, 1, 10, 10) };
    _sp->setTreffer(5, t, 0);
    // A later request overtakes nothing: once its answer is in, an earlier
    // submission would have reached the server first.
    _http->setAnswer(200, "[]");
    _sp->getWettkampfe();
    QVERIFY(liste.wait(5000));
    QCOMPARE(_http->requests().size(), 1);
    QCOMPARE(_http->requests().at(0).target, QByteArray("/quilvo/wettkampfe"));
    QCOMPARE(ok.count(), 0);
    QCOMPARE(error.count(), 0);
}

void TstServiceProvider::wettkampfListe_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<WettkampfListe>("expected");

    QTest::newRow("mixed elements") << QByteArray(R"([{"id":3,"name":"A"},5,{"name":"B"}])")
                                    << WettkampfListe { { 3u, "A" }, { 0u, "" }, { 0u, "B" } };
    QTest::newRow("empty array") << QByteArray("[]") << WettkampfListe {};
    QTest::newRow("object instead of array") << QByteArray(R"({"id":1,"name":"A"})") << WettkampfListe {};
    QTest::newRow("not json") << QByteArray("<html>") << WettkampfListe {};
    QTest::newRow("empty body") << QByteArray() << WettkampfListe {};
    QTest::newRow("fractional id") << QByteArray(R"([{"id":2.5,"name":"X"}])")
                                   << WettkampfListe { { 0u, "X" } };
    QTest::newRow("id as string") << QByteArray(R"([{"id":"7","name":"X"}])")
                                  << WettkampfListe { { 0u, "X" } };
    QTest::newRow("whole double id") << QByteArray(R"([{"id":7.0,"name":"X"}])")
                                     << WettkampfListe { { 7u, "X" } };
    QTest::newRow("id beyond 32 bits")
        << QByteArray(R"([{"id":4294967296,"name":"X"}])") << WettkampfListe { { 0u, "X" } };
    QTest::newRow("id above signed range")
        << QByteArray(R"([{"id":2147483648,"name":"X"}])") << WettkampfListe { { 0u, "X" } };
    QTest::newRow("negative id wraps")
        << QByteArray(R"([{"id":-1,"name":"X"}])") << WettkampfListe { { 4294967295u, "X" } };
    QTest::newRow("name not a string")
        << QByteArray(R"([{"id":1,"name":12}])") << WettkampfListe { { 1u, "" } };
    QTest::newRow("duplicates and order kept")
        << QByteArray(R"([{"id":2,"name":"B"},{"id":1,"name":"A"},{"id":2,"name":"B"}])")
        << WettkampfListe { { 2u, "B" }, { 1u, "A" }, { 2u, "B" } };
    QTest::newRow("umlauts") << QByteArray("[{\"id\":1,\"name\":\"Sch\xc3\xbctzenfest\"}]")
                             << WettkampfListe { { 1u, QString::fromUtf8("Sch\u00fctzenfest") } };
}

void TstServiceProvider::wettkampfListe()
{
    QFETCH(QByteArray, body);
    QFETCH(WettkampfListe, expected);

    _http->setAnswer(200, body);
    QSignalSpy spy(_sp.get(), &ServiceProvider::wettkampfe);
    QSignalSpy error(_sp.get(), &ServiceProvider::requestError);
    _sp->getWettkampfe();
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<WettkampfListe>(), expected);
    QCOMPARE(error.count(), 0);
}

void TstServiceProvider::scheibeFields_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    auto waffe = [](const char *inner) { return QByteArray(R"({"serie":{"waffe":{)") + inner + "}}}"; };

    QTest::newRow("id taken from reply") << QByteArray(R"({"id":42})") << "id" << QVariant(42u);
    QTest::newRow("id fractional") << QByteArray(R"({"id":42.5})") << "id" << QVariant(0u);
    QTest::newRow("id as string") << QByteArray(R"({"id":"42"})") << "id" << QVariant(0u);
    QTest::newRow("waffe id 2") << waffe(R"("id":2)") << "waffenTyp" << QVariant(2);
    QTest::newRow("waffe id 2.0") << waffe(R"("id":2.0)") << "waffenTyp" << QVariant(2);
    QTest::newRow("waffe id 1") << waffe(R"("id":1)") << "waffenTyp" << QVariant(1);
    QTest::newRow("waffe id 3") << waffe(R"("id":3)") << "waffenTyp" << QVariant(1);
    QTest::newRow("waffe id missing") << waffe("") << "waffenTyp" << QVariant(1);
    QTest::newRow("waffe id string 2") << waffe(R"("id":"2")") << "waffenTyp" << QVariant(1);
    QTest::newRow("schuss 5.0") << waffe(R"("schussProScheibe":5.0)") << "schussProScheibe" << QVariant(5);
    QTest::newRow("schuss 5.5") << waffe(R"("schussProScheibe":5.5)") << "schussProScheibe" << QVariant(10);
    QTest::newRow("schuss null") << waffe(R"("schussProScheibe":null)") << "schussProScheibe" << QVariant(10);
    QTest::newRow("schuss true") << waffe(R"("schussProScheibe":true)") << "schussProScheibe" << QVariant(10);
    QTest::newRow("schuss huge") << waffe(R"("schussProScheibe":1e10)") << "schussProScheibe" << QVariant(10);
    QTest::newRow("schuss 11") << waffe(R"("schussProScheibe":11)") << "schussProScheibe" << QVariant(11);
    QTest::newRow("teilerFaktor 0.5") << waffe(R"("teilerFaktor":0.5)") << "teilerFaktor" << QVariant(0.5);
    QTest::newRow("teilerFaktor 0") << waffe(R"("teilerFaktor":0)") << "teilerFaktor" << QVariant(1.0);
    QTest::newRow("teilerFaktor -2.5") << waffe(R"("teilerFaktor":-2.5)") << "teilerFaktor" << QVariant(1.0);
    QTest::newRow("teilerFaktor string") << waffe(R"("teilerFaktor":"2")") << "teilerFaktor" << QVariant(1.0);
    QTest::newRow("teilerFaktor 3.2") << waffe(R"("teilerFaktor":3.2)") << "teilerFaktor" << QVariant(3.2);
    QTest::newRow("scheibenProSerie 4")
        << waffe(R"("scheibenProSerie":4)") << "scheibenProSerie" << QVariant(4);
    QTest::newRow("scheibenProSerie 1.5")
        << waffe(R"("scheibenProSerie":1.5)") << "scheibenProSerie" << QVariant(1);
    QTest::newRow("waffe name") << waffe(R"("name":"LG")") << "waffe" << QVariant("LG");
    QTest::newRow("waffe name number") << waffe(R"("name":5)") << "waffe" << QVariant("");
    QTest::newRow("waffe not object")
        << QByteArray(R"({"serie":{"waffe":[2]}})") << "waffenTyp" << QVariant(1);
    QTest::newRow("serie not object") << QByteArray(R"({"serie":"x"})") << "schussProScheibe" << QVariant(10);
    QTest::newRow("serieRinge fractional")
        << QByteArray(R"({"serie":{"ringe":95.5}})") << "serieRinge" << QVariant(0);
    QTest::newRow("serieRinge") << QByteArray(R"({"serie":{"ringe":95}})") << "serieRinge" << QVariant(95);
    QTest::newRow("serieZehntel") << QByteArray(R"({"serie":{"zehntel":99.7}})") << "serieZehntel"
                                  << QVariant(99.7);
    QTest::newRow("serieZehntel string")
        << QByteArray(R"({"serie":{"zehntel":"99.7"}})") << "serieZehntel" << QVariant(0.0);
    QTest::newRow("schutze spelled with u")
        << QByteArray(R"({"serie":{"schutze":{"id":12,"name":"Anna"}}})") << "schuetze" << QVariant("Anna");
    QTest::newRow("schuetze spelling not read")
        << QByteArray(R"({"serie":{"schuetze":{"name":"Anna"}}})") << "schuetze" << QVariant("");
    QTest::newRow("schutze id") << QByteArray(R"({"serie":{"schutze":{"id":12}}})") << "schuetzeId"
                                << QVariant(12);
    QTest::newRow("verein") << QByteArray(R"({"serie":{"schutze":{"verein":{"name":"SV"}}}})") << "verein"
                            << QVariant("SV");
    QTest::newRow("verein beside schutze not read")
        << QByteArray(R"({"serie":{"verein":{"name":"SV"}}})") << "verein" << QVariant("");
    QTest::newRow("mannschaft") << QByteArray(R"({"serie":{"mannschaft":{"name":"M1"}}})") << "mannschaft"
                                << QVariant("M1");
    QTest::newRow("mannschaft null") << QByteArray(R"({"serie":{"mannschaft":null}})") << "mannschaft"
                                     << QVariant("");
    QTest::newRow("wettbewerbe in order")
        << QByteArray(R"({"serie":{"wettbewerbe":[{"name":"B"},{"name":"A"},3,{}]}})") << "wettbewerbe"
        << QVariant(QStringList { "B", "A", "", "" });
    QTest::newRow("wettbewerbe not array") << QByteArray(R"({"serie":{"wettbewerbe":{"name":"B"}}})")
                                           << "wettbewerbe" << QVariant(QStringList {});
    QTest::newRow("timestamp 60") << QByteArray(R"({"timestamp":60})") << "wertungsdatum"
                                  << QVariant("01.01.1970 00:01");
    QTest::newRow("timestamp string")
        << QByteArray(R"({"timestamp":"60"})") << "wertungsdatum" << QVariant("---");
    QTest::newRow("timestamp 0") << QByteArray(R"({"timestamp":0})") << "wertungsdatum" << QVariant("---");
    QTest::newRow("serie timestamp") << QByteArray(R"({"serie":{"timestamp":1710268200}})") << "kaufdatum"
                                     << QVariant("12.03.2024 18:30");
    QTest::newRow("treffer not array")
        << QByteArray(R"({"treffer":{"r":10}})") << "trefferZahl" << QVariant(0);
    QTest::newRow("more treffer than shots")
        << QByteArray(R"({"serie":{"waffe":{"schussProScheibe":2}},"treffer":[{"r":1},{"r":2},{"r":3}]})")
        << "trefferZahl" << QVariant(3);
}

void TstServiceProvider::scheibeFields()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    const QVariant actual = field(fetchCard(body), name);
    if (expected.typeId() == QMetaType::Double)
        QCOMPARE(actual.toDouble(), expected.toDouble());
    else
        QCOMPARE(actual, expected);
}

void TstServiceProvider::scheibeComplete()
{
    const QByteArray body = R"({
        "id": 4711, "nummer": 100234, "timestamp": 1710268260,
        "serie": {
            "id": 9, "ringe": 180, "zehntel": 190.4, "timestamp": 1710268200,
            "schutze": {"id": 77, "name": "Anna Berger", "verein": {"id": 1, "name": "SV Tell"}},
            "mannschaft": {"name": "Tell I"},
            "waffe": {"id": 2, "name": "Luftpistole", "schussProScheibe": 5, "teilerFaktor": 3.2,
                      "scheibenProSerie": 4},
            "wettbewerbe": [{"id": 1, "name": "Einzel"}, {"id": 2, "name": "Mannschaft"}]
        },
        "treffer": [{"x": 0.5, "y": -0.25, "r": 10.5, "t": 120.5}, {"x": 1, "y": 2, "r": 9.6, "t": 300}]
    })";
    const ServiceProvider::Scheibe s = fetchCard(body);
    QCOMPARE(s.id, 4711u);
    QCOMPARE(s.waffenTyp, 2);
    QCOMPARE(s.schussProScheibe, 5);
    QCOMPARE(s.teilerFaktor, 3.2);
    QCOMPARE(s.ringe, 19);
    QCOMPARE(s.zehntel, 10.5 + 9.6);
    QCOMPARE(s.wertungsdatum, QStringLiteral("12.03.2024 18:31"));
    QCOMPARE(s.schuetzeId, 77);
    QCOMPARE(s.schuetze, QStringLiteral("Anna Berger"));
    QCOMPARE(s.verein, QStringLiteral("SV Tell"));
    QCOMPARE(s.mannschaft, QStringLiteral("Tell I"));
    QCOMPARE(s.waffe, QStringLiteral("Luftpistole"));
    QCOMPARE(s.scheibenProSerie, 4);
    QCOMPARE(s.serieRinge, 180);
    QCOMPARE(s.serieZehntel, 190.4);
    QCOMPARE(s.kaufdatum, QStringLiteral("12.03.2024 18:30"));
    QCOMPARE(s.wettbewerbe, QStringList({ "Einzel", "Mannschaft" }));
    QCOMPARE(s.treffer.size(), 2);
    QCOMPARE(s.treffer.at(0).x, 0.5);
    QCOMPARE(s.treffer.at(0).y, -0.25);
    QCOMPARE(s.treffer.at(0).ringe, 10.5);
    QCOMPARE(s.treffer.at(0).teiler, 120.5);
    QCOMPARE(s.treffer.at(1).teiler, 300.0);
}

void TstServiceProvider::scheibeDefaults_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("not json") << QByteArray("Internal <b>oops</b>");
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("no serie") << QByteArray(R"({"treffer":[]})");
    QTest::newRow("everything mistyped")
        << QByteArray(R"({"id":"1","timestamp":null,"serie":{"ringe":"3","zehntel":true,"timestamp":"x",)"
                      R"("schutze":[],"mannschaft":1,"waffe":"LG","wettbewerbe":"E"},"treffer":null})");
}

void TstServiceProvider::scheibeDefaults()
{
    QFETCH(QByteArray, body);
    const ServiceProvider::Scheibe s = fetchCard(body);
    QCOMPARE(s.id, 0u);
    QCOMPARE(s.waffenTyp, 1);
    QCOMPARE(s.schussProScheibe, 10);
    QCOMPARE(s.teilerFaktor, 1.0);
    QCOMPARE(s.scheibenProSerie, 1);
    QCOMPARE(s.ringe, 0);
    QCOMPARE(s.zehntel, 0.0);
    QCOMPARE(s.serieRinge, 0);
    QCOMPARE(s.serieZehntel, 0.0);
    QCOMPARE(s.wertungsdatum, QStringLiteral("---"));
    QCOMPARE(s.kaufdatum, QStringLiteral("---"));
    QCOMPARE(s.schuetzeId, 0);
    QVERIFY(s.schuetze.isEmpty());
    QVERIFY(s.verein.isEmpty());
    QVERIFY(s.mannschaft.isEmpty());
    QVERIFY(s.waffe.isEmpty());
    QVERIFY(s.wettbewerbe.isEmpty());
    QVERIFY(s.treffer.isEmpty());
}

void TstServiceProvider::scheibeTreffer()
{
    // Whole rings are summed per hit: 10.5 + 9.6 gives 19, not 20.
    ServiceProvider::Scheibe s
        = fetchCard(R"({"treffer":[{"x":1,"y":2,"r":10.5,"t":40},{"r":9.6},{"x":3,"r":null,"t":null}]})");
    QCOMPARE(s.treffer.size(), 3);
    QCOMPARE(s.ringe, 19);
    QCOMPARE(s.zehntel, 10.5 + 9.6);
    QVERIFY(qAbs(s.zehntel - 20.1) < 1e-9);
    QCOMPARE(s.treffer.at(1).x, 0.0);
    QCOMPARE(s.treffer.at(1).teiler, -1.0);
    QCOMPARE(s.treffer.at(2).x, 3.0);
    QCOMPARE(s.treffer.at(2).ringe, -1.0);
    QCOMPARE(s.treffer.at(2).teiler, -1.0);
    QVERIFY(!s.treffer.at(2).valid());

    // A miss (0 rings) is a valid hit that adds nothing; a non-object element
    // becomes a hit with all defaults.
    s = fetchCard(R"({"treffer":[{"r":0,"t":900},7,{"r":"10"}]})");
    QCOMPARE(s.treffer.size(), 3);
    QVERIFY(s.treffer.at(0).valid());
    QCOMPARE(s.ringe, 0);
    QCOMPARE(s.zehntel, 0.0);
    QCOMPARE(s.treffer.at(1).ringe, -1.0);
    QCOMPARE(s.treffer.at(2).ringe, -1.0);

    // Treffer itself: default, clear and the NaN case.
    ServiceProvider::Treffer t = hit(1, 2, 3, 4);
    t.clear();
    QCOMPARE(t.x, 0.0);
    QCOMPARE(t.y, 0.0);
    QCOMPARE(t.ringe, -1.0);
    QCOMPARE(t.teiler, -1.0);
    QVERIFY(!ServiceProvider::Treffer().valid());
    QVERIFY(!hit(0, 0, std::numeric_limits<double>::quiet_NaN(), 0).valid());
    QVERIFY(hit(0, 0, 0.0, -1).valid());
}

void TstServiceProvider::toDatumString_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << "---";
    QTest::newRow("below one second") << 0.9 << "---";
    QTest::newRow("small negative truncates to zero") << -0.5 << "---";
    QTest::newRow("one minute") << 60.0 << "01.01.1970 00:01";
    QTest::newRow("fraction dropped") << 60.9 << "01.01.1970 00:01";
    QTest::newRow("afternoon") << 1710268200.0 << "12.03.2024 18:30";
    QTest::newRow("wraps at 2^32") << 4294967296.0 + 60.0 << "01.01.1970 00:01";
    QTest::newRow("exactly 2^32 is zero") << 4294967296.0 << "---";
    QTest::newRow("minus one is the last second") << -1.0 << "07.02.2106 06:28";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "---";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "---";
}

void TstServiceProvider::toDatumString()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(_sp->toDatumString(seconds), text);
}

void TstServiceProvider::failures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("status"); // 0: connection refused
    QTest::addColumn<QString>("text");

    const QString login = QStringLiteral("Zugang verweigert! (");
    const QString scheibe = QStringLiteral("Scheibe konnte nicht abgerufen werden! (");
    const QString treffer = QStringLiteral("Treffer konnten nicht übermittelt werden! (");
    const QString liste = QStringLiteral("Wettkämpfe konnten nicht abgerufen werden! (");

    const QList<QPair<int, QString>> codes { { 0, "1:0" },       { 401, "204:401" }, { 404, "203:404" },
                                             { 500, "401:500" }, { 201, "0:201" },   { 204, "0:204" } };
    for (const auto &c : codes) {
        QTest::addRow("login %d", c.first) << "login" << c.first << login + c.second + ")";
        QTest::addRow("scheibe %d", c.first) << "scheibe" << c.first << scheibe + c.second + ")";
        QTest::addRow("treffer %d", c.first) << "treffer" << c.first << treffer + c.second + ")";
    }
    // The list shows only the toolkit's code when the HTTP layer reports one.
    QTest::newRow("liste refused") << "liste" << 0 << NetzwerkText + "1)";
    QTest::newRow("liste 401") << "liste" << 401 << NetzwerkText + "204)";
    QTest::newRow("liste 404") << "liste" << 404 << NetzwerkText + "203)";
    QTest::newRow("liste 500") << "liste" << 500 << NetzwerkText + "401)";
    QTest::newRow("liste 201") << "liste" << 201 << liste + "0:201)";
    QTest::newRow("liste 204") << "liste" << 204 << liste + "0:204)";
}

void TstServiceProvider::failures()
{
    QFETCH(QString, operation);
    QFETCH(int, status);
    QFETCH(QString, text);

    if (status == 0)
        _sp->init(QStringLiteral("http://127.0.0.1:%1/quilvo").arg(RecordingHttpServer::refusedPort()),
                  "station");
    else
        _http->setAnswer(status, R"({"jwt":"neu","id":1})");

    QSignalSpy loginOk(_sp.get(), &ServiceProvider::loginOk);
    QSignalSpy loginFailed(_sp.get(), &ServiceProvider::loginFailed);
    QSignalSpy wettkampfe(_sp.get(), &ServiceProvider::wettkampfe);
    QSignalSpy scheibe(_sp.get(), &ServiceProvider::scheibe);
    QSignalSpy ok(_sp.get(), &ServiceProvider::setTrefferOk);
    QSignalSpy error(_sp.get(), &ServiceProvider::requestError);

    QSignalSpy &expected = operation == "login" ? loginFailed : error;
    if (operation == "login") {
        _sp->doLogin(1, "W", "u", "p");
    } else if (operation == "liste") {
        _sp->getWettkampfe();
    } else if (operation == "scheibe") {
        _sp->getScheibe(5);
    } else {
        const ServiceProvider::Treffer t[1] = { hit(0, 0, 10, 10) };
        _sp->setTreffer(5, t, 1);
    }
    QVERIFY(expected.wait(10000));
    QCOMPARE(expected.count(), 1);
    QCOMPARE(expected.at(0).at(0).toString(), text);
    // One message per fault and no partial result.
    QCOMPARE(loginFailed.count() + error.count(), 1);
    QCOMPARE(loginOk.count() + wettkampfe.count() + scheibe.count() + ok.count(), 0);
}

void TstServiceProvider::successSignals()
{
    QSignalSpy loginOk(_sp.get(), &ServiceProvider::loginOk);
    _http->setAnswer(200, R"({"jwt":"x"})");
    _sp->doLogin(2, QStringLiteral("Kreismeisterschaft"), QStringLiteral("leiter"), QStringLiteral("pw"));
    QVERIFY(loginOk.wait(5000));
    QCOMPARE(loginOk.at(0).at(0).toString(), QStringLiteral("Kreismeisterschaft"));
    QCOMPARE(loginOk.at(0).at(1).toString(), QStringLiteral("leiter"));

    QSignalSpy ok(_sp.get(), &ServiceProvider::setTrefferOk);
    QSignalSpy error(_sp.get(), &ServiceProvider::requestError);
    _http->setAnswer(200, "not read at all");
    const ServiceProvider::Treffer t[2] = { hit(0, 0, 10, 10), cleared() };
    _sp->setTreffer(5, t, 2);
    QVERIFY(ok.wait(5000));
    QCOMPARE(error.count(), 0);

    // Two outstanding fetches each deliver their own card.
    QSignalSpy scheibe(_sp.get(), &ServiceProvider::scheibe);
    _http->queueAnswer(200, R"({"id":1})");
    _http->queueAnswer(200, R"({"id":2})");
    _sp->getScheibe(11);
    _sp->getScheibe(12);
    QTRY_COMPARE_WITH_TIMEOUT(scheibe.count(), 2, 5000);
    QSet<quint32> ids;
    for (const auto &args : scheibe)
        ids.insert(args.at(0).value<ServiceProvider::Scheibe>().id);
    QCOMPARE(ids, QSet<quint32>({ 1u, 2u }));
}

void TstServiceProvider::tokenStates()
{
    QSignalSpy loginOk(_sp.get(), &ServiceProvider::loginOk);
    QSignalSpy loginFailed(_sp.get(), &ServiceProvider::loginFailed);

    // Configured token before any login.
    run("liste");
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer station"));

    // First login: sent with the configured token, then its own token is used.
    _http->setAnswer(200, R"({"jwt":"erster"})");
    _sp->doLogin(1, "A", "u", "p");
    QVERIFY(loginOk.wait(5000));
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer station"));
    run("scheibe");
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer erster"));

    // A logoff does not touch the client: the next list still carries it.
    run("liste");
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer erster"));

    // Second login goes out with the configured token again.
    _http->setAnswer(200, R"({"jwt":"zweiter"})");
    _sp->doLogin(1, "A", "u", "p");
    QVERIFY(loginOk.wait(5000));
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer station"));
    run("treffer");
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer zweiter"));

    // A failed login drops the earlier login's token for good.
    _http->setAnswer(401, R"({"jwt":"dritter"})");
    _sp->doLogin(1, "A", "u", "p");
    QVERIFY(loginFailed.wait(5000));
    run("liste");
    QCOMPARE(_http->lastRequest().header("Authorization"), QByteArray("Bearer station"));
}

void TstServiceProvider::tokenFromUnusableLoginReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("empty object") << QByteArray("{}") << QByteArray("Bearer ");
    QTest::newRow("jwt a number") << QByteArray(R"({"jwt":12345})") << QByteArray("Bearer ");
    QTest::newRow("not json") << QByteArray("ok") << QByteArray("Bearer ");
    QTest::newRow("array") << QByteArray(R"([{"jwt":"x"}])") << QByteArray("Bearer ");
    QTest::newRow("token with umlaut")
        << QByteArray("{\"jwt\":\"\xc3\xa4\"}") << QByteArray("Bearer \xc3\xa4");
}

void TstServiceProvider::tokenFromUnusableLoginReply()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, authorization);

    QSignalSpy loginOk(_sp.get(), &ServiceProvider::loginOk);
    _http->setAnswer(200, body);
    _sp->doLogin(4, QStringLiteral("Wettkampf"), QStringLiteral("anna"), QStringLiteral("pw"));
    QVERIFY(loginOk.wait(5000));
    QCOMPARE(loginOk.at(0).at(0).toString(), QStringLiteral("Wettkampf"));
    QCOMPARE(loginOk.at(0).at(1).toString(), QStringLiteral("anna"));
    run("liste");
    QCOMPARE(_http->lastRequest().header("Authorization"), authorization);
}

void TstServiceProvider::transferTimeoutDefault()
{
    QCOMPARE(ServiceProvider::DefaultTransferTimeout, 30000);
    QCOMPARE(_sp->transferTimeout(), 30000);
}

void TstServiceProvider::transferTimeoutFailsRequest()
{
    // A server that takes the request and never answers: after the time-out
    // each request takes its ordinary failure path.
    _http->setSilent(true);
    _sp->setTransferTimeout(300);
    QCOMPARE(_sp->transferTimeout(), 300);
    const QString code = QString::number(QNetworkReply::OperationCanceledError);

    QSignalSpy loginFailed(_sp.get(), &ServiceProvider::loginFailed);
    QSignalSpy error(_sp.get(), &ServiceProvider::requestError);
    _sp->doLogin(1, "A", "u", "p");
    QVERIFY(loginFailed.wait(10000));
    QCOMPARE(loginFailed.at(0).at(0).toString(), "Zugang verweigert! (" + code + ":0)");

    _sp->getScheibe(3);
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(0).at(0).toString(), "Scheibe konnte nicht abgerufen werden! (" + code + ":0)");

    _sp->getWettkampfe();
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(1).at(0).toString(), NetzwerkText + code + ")");

    const ServiceProvider::Treffer t[1] = { cleared() };
    _sp->setTreffer(3, t, 1);
    QVERIFY(error.wait(10000));
    QCOMPARE(error.at(2).at(0).toString(), "Treffer konnten nicht übermittelt werden! (" + code + ":0)");
    QCOMPARE(error.count(), 3);
    QCOMPARE(loginFailed.count(), 1);
}

void TstServiceProvider::recordsAreMetaTypes()
{
    QVERIFY(QMetaType::fromName("ServiceProvider::Scheibe").isValid());
    QVERIFY(QMetaType::fromName("ServiceProvider::Treffer").isValid());

    // Signals first, then the slots, in their fixed order.
    const QMetaObject *mo = _sp->metaObject();
    const QStringList expected { "loginOk(QString,QString)",
                                 "loginFailed(QString)",
                                 "wettkampfe(QList<std::pair<quint32,QString>>)",
                                 "scheibe(ServiceProvider::Scheibe)",
                                 "setTrefferOk()",
                                 "requestError(QString)",
                                 "setTrefferFailed()",
                                 "doLogin(uint,QString,QString,QString)",
                                 "getWettkampfe()",
                                 "getScheibe(uint)",
                                 "setTreffer(uint,const ServiceProvider::Treffer*,uint)" };
    QStringList actual;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        actual << QString::fromLatin1(mo->method(i).methodSignature());
    QCOMPARE(actual, expected);

    // A card crosses a queued connection intact.
    ServiceProvider::Scheibe received;
    QSignalSpy scheibe(_sp.get(), &ServiceProvider::scheibe);
    connect(
        _sp.get(), &ServiceProvider::scheibe, this,
        [&received](const ServiceProvider::Scheibe &s) { received = s; }, Qt::QueuedConnection);
    fetchCard(R"({"id":9,"treffer":[{"r":10.1}]})");
    QTRY_COMPARE_WITH_TIMEOUT(received.id, 9u, 5000);
    QCOMPARE(received.treffer.size(), 1);
}

void TstServiceProvider::destroyedWithRequestsOutstanding()
{
    // The main window may close while the server still owes answers; the
    // client takes its pending requests with it and nothing fires afterwards.
    _http->setSilent(true);
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    _sp->getWettkampfe();
    _sp->getScheibe(1);
    const ServiceProvider::Treffer t[1] = { cleared() };
    _sp->setTreffer(1, t, 1);
    QTRY_COMPARE_WITH_TIMEOUT(seen.count(), 3, 5000);
    _sp.reset();
    _http.reset(); // drops the connections the client left open
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TstServiceProvider)

#include "tst_serviceprovider.moc"

#include "server/recordinghttpserver.h"
#include "server/serviceprovider.h"

#include <QMetaMethod>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

#include <ctime>
#include <limits>
#include <memory>

using WettkampfListe = QList<QPair<quint32, QString>>;
using Treffer = ServiceProvider::Treffer;

Q_DECLARE_METATYPE(WettkampfListe)

namespace {

const QString NetzwerkText
    = QStringLiteral("Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT Einstellungen in "
                     "'config.json' und starten Sie das Programm neu! (");
const double Nan = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

Treffer hit(double x, double y, double ringe, double teiler)
{
    return Treffer { x, y, ringe, teiler };
}

Treffer cleared()
{
    Treffer t = hit(1.0, 2.0, 9.0, 100.0);
    t.clear();
    return t;
}

// The card as "field=value" texts, so one table row can state any subset of
// its fields; each hit reads "x/y/ringe/teiler".
QStringList fields(const ServiceProvider::Scheibe &s)
{
    const auto n = [](double v) { return QString::number(v, 'g', 12); };
    QStringList treffer;
    for (const Treffer &t : s.treffer)
        treffer << QStringLiteral("%1/%2/%3/%4").arg(n(t.x), n(t.y), n(t.ringe), n(t.teiler));
    return QStringLiteral("id=%1|waffenTyp=%2|schussProScheibe=%3|teilerFaktor=%4|ringe=%5|zehntel=%6|"
                          "wertungsdatum=%7|schuetzeId=%8|schuetze=%9|verein=%10|mannschaft=%11|waffe=%12|"
                          "scheibenProSerie=%13|serieRinge=%14|serieZehntel=%15|kaufdatum=%16|"
                          "wettbewerbe=%17|treffer=%18")
        .arg(n(s.id), n(s.waffenTyp), n(s.schussProScheibe), n(s.teilerFaktor), n(s.ringe), n(s.zehntel),
             s.wertungsdatum, n(s.schuetzeId), s.schuetze, s.verein, s.mannschaft, s.waffe,
             n(s.scheibenProSerie), n(s.serieRinge), n(s.serieZehntel), s.kaufdatum, s.wettbewerbe.join(','),
             treffer.join(' '))
        .split('|');
}

const char *const Defaults
    = "id=0|waffenTyp=1|schussProScheibe=10|teilerFaktor=1|ringe=0|zehntel=0|"
      "wertungsdatum=---|schuetzeId=0|schuetze=|verein=|mannschaft=|waffe=|"
      "scheibenProSerie=1|serieRinge=0|serieZehntel=0|kaufdatum=---|wettbewerbe=|treffer=";

// Records every signal of an object; texts() gives "name(arg,...)" per
// emission, grouped by signal in declaration order.
class Emitted
{
public:
    explicit Emitted(QObject *object)
    {
        const QMetaObject *mo = object->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            if (mo->method(i).methodType() == QMetaMethod::Signal)
                _spies.push_back(std::make_unique<QSignalSpy>(object, mo->method(i)));
        }
    }

    QStringList texts() const
    {
        QStringList out;
        for (const auto &spy : _spies) {
            const QByteArray name = spy->signal().left(spy->signal().indexOf('('));
            for (const QList<QVariant> &args : *spy) {
                QStringList values;
                for (const QVariant &v : args)
                    values << v.toString();
                out << QString::fromLatin1(name) + '(' + values.join(',') + ')';
            }
        }
        return out;
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> _spies;
};

} // namespace

class TstServiceProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requests_data();
    void requests();

    void wettkampfListe_data();
    void wettkampfListe();
    void scheibe_data();
    void scheibe();
    void trefferRecord();
    void toDatumString_data();
    void toDatumString();

    void failures_data();
    void failures();
    void successSignals();
    void tokenStates();

    void transferTimeout();
    void signalsSlotsAndMetaTypes();
    void destroyedWithRequestsOutstanding();

private:
    void start(const QString &operation, quint32 nummer = 17, const QVariant &input = QVariant());
    void run(const QString &operation, quint32 nummer = 17, const QVariant &input = QVariant());
    QByteArray authorizationOf(const QString &operation);

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

// Starts one operation by name; input holds the login's user and password
// or the hits to submit.
void TstServiceProvider::start(const QString &operation, quint32 nummer, const QVariant &input)
{
    const QStringList login = input.isValid() ? input.toStringList() : QStringList { "max", "pw" };
    const QList<Treffer> t = input.isValid() ? input.value<QList<Treffer>>() : QList<Treffer> { cleared() };
    if (operation == "login")
        _sp->doLogin(nummer, QStringLiteral("KM"), login.value(0), login.value(1));
    else if (operation == "liste")
        _sp->getWettkampfe();
    else if (operation == "scheibe")
        _sp->getScheibe(nummer);
    else
        _sp->setTreffer(nummer, t.constData(), static_cast<quint32>(t.size()));
}

// Starts one operation and waits until the server has seen it.
void TstServiceProvider::run(const QString &operation, quint32 nummer, const QVariant &input)
{
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    start(operation, nummer, input);
    QVERIFY(seen.wait(5000));
}

QByteArray TstServiceProvider::authorizationOf(const QString &operation)
{
    run(operation);
    return _http->lastRequest().header("Authorization");
}

void TstServiceProvider::requests_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("jwt");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<quint32>("nummer");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QByteArray>("request"); // method and target
    QTest::addColumn<QByteArray>("body");
    auto login = [](const char *name, const char *jwt, quint32 id, const QString &user, const char *password,
                    const char *body) {
        QTest::newRow(name) << "/quilvo" << jwt << "login" << id << QVariant(QStringList { user, password })
                            << QByteArray("POST /quilvo/login/wettkampf") << QByteArray(body);
    };
    auto get = [](const char *name, const char *base, const QString &jwt, const char *op, quint32 nummer,
                  const char *request) {
        QTest::newRow(name) << base << jwt << op << nummer << QVariant() << QByteArray(request)
                            << QByteArray();
    };
    auto post = [](const char *name, const char *base, const char *jwt, quint32 nummer,
                   const QList<Treffer> &t, const char *request, const char *body) {
        QTest::newRow(name) << base << jwt << "treffer" << nummer << QVariant::fromValue(t)
                            << QByteArray(request) << QByteArray(body);
    };

    login("login", "abc.def", 3, "max", "geheim", R"({"password":"geheim","user":"max","wettkampf":3})");
    login("login, empty token, largest id as signed", "", 4294967295u, "", "b",
          R"({"password":"b","user":"","wettkampf":-1})");
    login("login, escapes and umlauts", "abc", 0, QString::fromUtf8("J\u00fcrgen"), "a\"b\\c",
          "{\"password\":\"a\\\"b\\\\c\",\"user\":\"J\xc3\xbcrgen\",\"wettkampf\":0}");
    get("liste, base with slash", "/quilvo/", "", "liste", 0, "GET /quilvo//wettkampfe");
    get("liste, bare host, utf-8 token", "", QString::fromUtf8("t\u00f6ken"), "liste", 0, "GET /wettkampfe");
    get("scheibe 0", "/quilvo", "", "scheibe", 0, "GET /quilvo/scheibe-ext/0");
    get("scheibe max", "/quilvo", "abc", "scheibe", 4294967295u, "GET /quilvo/scheibe-ext/4294967295");
    post("treffer, shot and cleared slot", "/quilvo", "abc", 42, { hit(0.25, -1.5, 10.2, 35.5), cleared() },
         "POST /quilvo/treffer/scheibe/42",
         R"([{"r":10.2,"t":35.5,"x":0.25,"y":-1.5},{"r":null,"t":null,"x":0,"y":0}])");
    post("treffer, base with slash, zero rings is a hit", "/quilvo/", "", 4294967295u,
         { hit(4.0, -5.0, 0.0, 250.0) }, "POST /quilvo//treffer/scheibe/4294967295",
         R"([{"r":0,"t":250,"x":4,"y":-5}])");
    post("treffer, shortest round trip", "", "", 9, { hit(0.1 + 0.2, 1.0 / 3.0, 10.3, 604.669) },
         "POST /treffer/scheibe/9",
         R"([{"r":10.3,"t":604.669,"x":0.30000000000000004,"y":0.3333333333333333}])");
    post("treffer, exponent form, negative teiler alone null", "", "", 9, { hit(1e21, 1e-7, 9.0, -0.5) },
         "POST /treffer/scheibe/9", R"([{"r":9,"t":null,"x":1e+21,"y":1e-07}])");
    post("treffer, non-finite numbers as null", "", "", 9,
         { hit(Nan, Inf, Inf, 3.0), hit(-Inf, 0.5, Nan, Nan) }, "POST /treffer/scheibe/9",
         R"([{"r":null,"t":3,"x":null,"y":null},{"r":null,"t":null,"x":null,"y":0.5}])");
}

void TstServiceProvider::requests()
{
    QFETCH(QString, base);
    QFETCH(QString, jwt);
    QFETCH(QString, operation);
    QFETCH(quint32, nummer);
    QFETCH(QVariant, input);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, body);

    _sp->init(_http->baseUrl() + base, jwt);
    run(operation, nummer, input);
    const RecordingHttpServer::Request r = _http->lastRequest();
    QCOMPARE(r.method + ' ' + r.target, request);
    QCOMPARE(r.body, body);
    QCOMPARE(r.header("Authorization"), "Bearer " + jwt.toUtf8());
    QCOMPARE(r.hasHeader("Content-Type"), r.method == "POST");
    QCOMPARE(r.header("Content-Type"), r.method == "POST" ? QByteArray("application/json") : QByteArray());
    QVERIFY(!r.hasHeader("Accept"));
}

void TstServiceProvider::wettkampfListe_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<WettkampfListe>("expected");

    QTest::newRow("mixed elements, duplicates kept")
        << QByteArray(R"([{"id":3,"name":"A"},5,{"name":"B"},{"id":3,"name":"A"}])")
        << WettkampfListe { { 3u, "A" }, { 0u, "" }, { 0u, "B" }, { 3u, "A" } };
    QTest::newRow("integer rule") << QByteArray(R"([{"id":2.5},{"id":"7"},{"id":7.0},{"id":2147483647},)"
                                                R"({"id":2147483648},{"id":-1},{"id":1,"name":12}])")
                                  << WettkampfListe { { 0u, "" },          { 0u, "" }, { 7u, "" },
                                                      { 2147483647u, "" }, { 0u, "" }, { 4294967295u, "" },
                                                      { 1u, "" } };
    QTest::newRow("object instead of array") << QByteArray(R"({"id":1,"name":"A"})") << WettkampfListe {};
    QTest::newRow("not json") << QByteArray("<html>") << WettkampfListe {};
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
    QCOMPARE(spy.at(0).at(0).value<WettkampfListe>(), expected);
    QCOMPARE(error.count(), 0);
}

void TstServiceProvider::scheibe_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // "field=value|..."; only the fields named are compared
    auto row = [](const char *name, const char *body, const char *expected) {
        QTest::newRow(name) << QByteArray(body) << QString::fromUtf8(expected);
    };
    auto waffe = [](const char *name, const char *inner, const char *expected) {
        QTest::newRow(name) << QByteArray(R"({"serie":{"waffe":{)") + inner + "}}}"
                            << QString::fromUtf8(expected);
    };

    row("complete card", R"({"id": 4711, "nummer": 100234, "timestamp": 1710268260,
        "serie": { "id": 9, "ringe": 180, "zehntel": 190.4, "timestamp": 1710268200,
            "schutze": {"id": 77, "name": "Anna Berger", "verein": {"id": 1, "name": "SV Tell"}},
            "mannschaft": {"name": "Tell I"},
            "waffe": {"id": 2, "name": "Luftpistole", "schussProScheibe": 5, "teilerFaktor": 3.2,
                      "scheibenProSerie": 4},
            "wettbewerbe": [{"id": 1, "name": "Einzel"}, {"id": 2, "name": "Mannschaft"}] },
        "treffer": [{"x": 0.5, "y": -0.25, "r": 10.5, "t": 120.5}, {"x": 1, "y": 2, "r": 9.6, "t": 300}]})",
        "id=4711|waffenTyp=2|schussProScheibe=5|teilerFaktor=3.2|ringe=19|zehntel=20.1|"
        "wertungsdatum=12.03.2024 18:31|schuetzeId=77|schuetze=Anna Berger|verein=SV Tell|mannschaft=Tell I|"
        "waffe=Luftpistole|scheibenProSerie=4|serieRinge=180|serieZehntel=190.4|kaufdatum=12.03.2024 18:30|"
        "wettbewerbe=Einzel,Mannschaft|treffer=0.5/-0.25/10.5/120.5 1/2/9.6/300");
    row("not json", "Internal <b>oops</b>", Defaults);
    row("array", "[1,2]", Defaults);
    row("everything mistyped",
        R"({"id":"1","timestamp":null,"serie":{"ringe":"3","zehntel":true,"timestamp":"x",)"
        R"("schutze":[],"mannschaft":1,"waffe":"LG","wettbewerbe":"E"},"treffer":null})",
        Defaults);
    row("id fractional", R"({"id":42.5})", "id=0");
    waffe("schuss 5.0", R"("schussProScheibe":5.0)", "schussProScheibe=5");
    waffe("schuss 5.5", R"("schussProScheibe":5.5)", "schussProScheibe=10");
    waffe("scheibenProSerie 1.5", R"("scheibenProSerie":1.5)", "scheibenProSerie=1");
    waffe("waffe id 2.0", R"("id":2.0)", "waffenTyp=2");
    waffe("waffe id 3", R"("id":3)", "waffenTyp=1");
    waffe("waffe id string 2", R"("id":"2")", "waffenTyp=1");
    waffe("teilerFaktor 0", R"("teilerFaktor":0)", "teilerFaktor=1");
    waffe("teilerFaktor -2.5", R"("teilerFaktor":-2.5)", "teilerFaktor=1");
    waffe("teilerFaktor string", R"("teilerFaktor":"2")", "teilerFaktor=1");
    row("schuetze spelling not read", R"({"serie":{"schuetze":{"name":"Anna"}}})", "schuetze=");
    row("verein beside schutze not read", R"({"serie":{"verein":{"name":"SV"}}})", "verein=");
    row("wettbewerbe in order", R"({"serie":{"wettbewerbe":[{"name":"B"},{"name":"A"},3,{}]}})",
        "wettbewerbe=B,A,,");
    row("timestamp string", R"({"timestamp":"60"})", "wertungsdatum=---");
    row("more treffer than shots",
        R"({"serie":{"waffe":{"schussProScheibe":2}},"treffer":[{"r":1},{"r":2},{"r":3}]})",
        "treffer=0/0/1/-1 0/0/2/-1 0/0/3/-1");
    // Whole rings are summed per hit: 10.5 + 9.6 gives 19, not 20.
    row("totals per hit, null rings invalid",
        R"({"treffer":[{"x":1,"y":2,"r":10.5,"t":40},{"r":9.6},{"x":3,"r":null,"t":null}]})",
        "ringe=19|zehntel=20.1|treffer=1/2/10.5/40 0/0/9.6/-1 3/0/-1/-1");
    row("miss counts, non-object is an empty slot", R"({"treffer":[{"r":0,"t":900},7,{"r":"10"}]})",
        "ringe=0|zehntel=0|treffer=0/0/0/900 0/0/-1/-1 0/0/-1/-1");
}

void TstServiceProvider::scheibe()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);

    _http->setAnswer(200, body);
    QSignalSpy spy(_sp.get(), &ServiceProvider::scheibe);
    _sp->getScheibe(17);
    QVERIFY(spy.wait(5000));
    const QStringList actual = fields(spy.at(0).at(0).value<ServiceProvider::Scheibe>());
    for (const QString &item : expected.split('|')) {
        const QString name = item.section('=', 0, 0) + '=';
        QCOMPARE(actual.filter(QRegularExpression('^' + name)).value(0, "no " + name), item);
    }
}

void TstServiceProvider::trefferRecord()
{
    Treffer t = hit(1, 2, 3, 4);
    t.clear();
    QCOMPARE(QList<double>({ t.x, t.y, t.ringe, t.teiler }), QList<double>({ 0, 0, -1, -1 }));
    QVERIFY(!t.valid());
    QVERIFY(!hit(0, 0, Nan, 0).valid());
    QVERIFY(hit(0, 0, 0.0, -1).valid());
}

void TstServiceProvider::toDatumString_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << "---";
    QTest::newRow("below one second truncates") << 0.9 << "---";
    QTest::newRow("small negative truncates to zero") << -0.5 << "---";
    QTest::newRow("one minute") << 60.0 << "01.01.1970 00:01";
    QTest::newRow("afternoon") << 1710268200.0 << "12.03.2024 18:30";
    QTest::newRow("wraps at 2^32") << 4294967296.0 + 60.0 << "01.01.1970 00:01";
    QTest::newRow("minus one is the last second") << -1.0 << "07.02.2106 06:28";
    QTest::newRow("nan") << Nan << "---";
    QTest::newRow("infinity") << Inf << "---";
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
    QTest::addColumn<QStringList>("emitted");

    const QString login = QStringLiteral("loginFailed(Zugang verweigert! (");
    const QString scheibe = QStringLiteral("requestError(Scheibe konnte nicht abgerufen werden! (");
    const QString treffer = QStringLiteral("requestError(Treffer konnten nicht übermittelt werden! (");
    const QString liste = QStringLiteral("requestError(Wettkämpfe konnten nicht abgerufen werden! (");
    const QString netz = "requestError(" + NetzwerkText;
    const QString again = QStringLiteral("setTrefferFailed()");

    QTest::newRow("login refused") << "login" << 0 << QStringList { login + "1:0))" };
    QTest::newRow("login 401") << "login" << 401 << QStringList { login + "204:401))" };
    QTest::newRow("login 201") << "login" << 201 << QStringList { login + "0:201))" };
    // The list shows only the toolkit's code when the HTTP layer reports one.
    QTest::newRow("liste refused") << "liste" << 0 << QStringList { netz + "1))" };
    QTest::newRow("liste 500") << "liste" << 500 << QStringList { netz + "401))" };
    QTest::newRow("liste 201") << "liste" << 201 << QStringList { liste + "0:201))" };
    QTest::newRow("liste 204") << "liste" << 204 << QStringList { liste + "0:204))" };
    QTest::newRow("scheibe 404") << "scheibe" << 404 << QStringList { scheibe + "203:404))" };
    QTest::newRow("scheibe 500") << "scheibe" << 500 << QStringList { scheibe + "401:500))" };
    QTest::newRow("scheibe 201") << "scheibe" << 201 << QStringList { scheibe + "0:201))" };
    QTest::newRow("treffer 201") << "treffer" << 201 << QStringList { treffer + "0:201))", again };
    QTest::newRow("treffer 204") << "treffer" << 204 << QStringList { treffer + "0:204))", again };
}

void TstServiceProvider::failures()
{
    QFETCH(QString, operation);
    QFETCH(int, status);
    QFETCH(QStringList, emitted);

    if (status == 0)
        _sp->init(QStringLiteral("http://127.0.0.1:%1/quilvo").arg(RecordingHttpServer::refusedPort()),
                  "station");
    else
        _http->setAnswer(status, R"({"jwt":"neu","id":1})");
    // Exactly one message per fault and no partial result.
    Emitted actual(_sp.get());
    start(operation);
    QTRY_COMPARE_WITH_TIMEOUT(actual.texts(), emitted, 10000);
    if (operation == "login" && status != 0) // the refused login's token stays unused
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
}

void TstServiceProvider::successSignals()
{
    Emitted emitted(_sp.get());
    _http->setAnswer(200, "not read at all");
    const Treffer t[2] = { hit(0, 0, 10, 10), cleared() };
    _sp->setTreffer(5, t, 0); // nothing to send: no request, no signal
    _sp->setTreffer(5, t, 2);
    QTRY_COMPARE(emitted.texts(), QStringList("setTrefferOk()"));

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
    QCOMPARE(_http->requests().size(), 3);
    QCOMPARE(emitted.texts().count("setTrefferOk()"), 1);
}

void TstServiceProvider::tokenStates()
{
    QSignalSpy ok(_sp.get(), &ServiceProvider::loginOk);
    QSignalSpy failed(_sp.get(), &ServiceProvider::loginFailed);
    // Logs in with the given answer; gives the Authorization the login sent.
    const auto login = [&](int status, const QByteArray &answer) {
        const qsizetype before = ok.count() + failed.count();
        _http->setAnswer(status, answer);
        const QByteArray sent = authorizationOf("login");
        return QTest::qWaitFor([&]() { return ok.count() + failed.count() > before; }, 5000) ? sent
                                                                                             : "no answer";
    };

    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    // Each login goes out with the configured token, then its own is used;
    // a logoff does not touch the client, so the next list still carries it.
    QCOMPARE(login(200, R"({"jwt":"erster"})"), QByteArray("Bearer station"));
    QCOMPARE(ok.at(0), QVariantList({ "KM", "max" }));
    QCOMPARE(authorizationOf("scheibe"), QByteArray("Bearer erster"));
    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer erster"));
    QCOMPARE(login(200, R"({"jwt":"zweiter"})"), QByteArray("Bearer station"));
    QCOMPARE(authorizationOf("treffer"), QByteArray("Bearer zweiter"));
    // A failed login drops the earlier login's token for good.
    QCOMPARE(login(401, R"({"jwt":"dritter"})"), QByteArray("Bearer station"));
    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    // The token is taken as it comes, unusable ones as an empty token.
    login(200, "{\"jwt\":\"\xc3\xa4\"}");
    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer \xc3\xa4"));
    for (const char *unusable : { "{}", R"({"jwt":12345})", "ok" }) {
        login(200, "{\"jwt\":\"x\"}");
        login(200, unusable);
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer "));
    }
    QCOMPARE(ok.count(), 9);
}

void TstServiceProvider::transferTimeout()
{
    QCOMPARE(_sp->transferTimeout(), 30000);

    // A server that takes the request and never answers: after the time-out
    // each request takes its ordinary failure path.
    _http->setSilent(true);
    _sp->setTransferTimeout(300);
    Emitted emitted(_sp.get());
    for (const char *operation : { "login", "liste", "treffer" })
        start(operation);
    const QString code = QString::number(QNetworkReply::OperationCanceledError);
    QStringList expected { "loginFailed(Zugang verweigert! (" + code + ":0))",
                           "requestError(" + NetzwerkText + code + "))",
                           "requestError(Treffer konnten nicht übermittelt werden! (" + code + ":0))",
                           "setTrefferFailed()" };
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(
        [&]() {
            QStringList t = emitted.texts();
            t.sort();
            return t;
        }(),
        expected, 10000);
}

void TstServiceProvider::signalsSlotsAndMetaTypes()
{
    QVERIFY(QMetaType::fromName("ServiceProvider::Scheibe").isValid());
    QVERIFY(QMetaType::fromName("ServiceProvider::Treffer").isValid());

    // Signals first, then the slots, in their fixed order.
    const QStringList expected
        = QStringLiteral("loginOk(QString,QString);loginFailed(QString);"
                         "wettkampfe(QList<std::pair<quint32,QString>>);scheibe(ServiceProvider::Scheibe);"
                         "setTrefferOk();requestError(QString);setTrefferFailed();"
                         "doLogin(uint,QString,QString,QString);getWettkampfe();getScheibe(uint);"
                         "setTreffer(uint,const ServiceProvider::Treffer*,uint)")
              .split(';');
    const QMetaObject *mo = _sp->metaObject();
    QStringList actual;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        actual << QString::fromLatin1(mo->method(i).methodSignature());
    QCOMPARE(actual, expected);
}

void TstServiceProvider::destroyedWithRequestsOutstanding()
{
    // The main window may close while the server still owes answers; the
    // client takes its pending requests with it and nothing fires afterwards.
    _http->setSilent(true);
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    for (const char *operation : { "liste", "scheibe", "treffer" })
        start(operation);
    QTRY_COMPARE_WITH_TIMEOUT(seen.count(), 3, 5000);
    _sp.reset();
    _http.reset(); // drops the connections the client left open
    QTest::qWait(50);
}

QTEST_GUILESS_MAIN(TstServiceProvider)

#include "tst_serviceprovider.moc"

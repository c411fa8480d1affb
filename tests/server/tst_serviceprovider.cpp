#include "server/fehlertext.h"
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

Treffer cleared()
{
    Treffer t { 1.0, 2.0, 9.0, 100.0 };
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
            const QString name = QString::fromLatin1(spy->signal().left(spy->signal().indexOf('(')));
            for (const QList<QVariant> &args : *spy)
                out << name + '(' + QVariant(args).toStringList().join(',') + ')';
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

    void requests_data();
    void requests();
    void wettkampfListe();
    void scheibe_data();
    void scheibe();
    void trefferAndDatum();

    void failures_data();
    void failures();
    void fehlertext_data();
    void fehlertext();
    void successSignals();
    void tokenStates();
    void transferTimeout();
    void signalsAndSlots();
    void destroyedWithRequestsOutstanding();

private:
    void start(const QString &operation, quint32 nummer = 17, const QVariant &input = QVariant());
    QByteArray authorizationOf(const QString &operation);

    std::unique_ptr<RecordingHttpServer> _http;
    std::unique_ptr<ServiceProvider> _sp;
};

void TstServiceProvider::initTestCase()
{
    // The date texts are local time; pin a zone one hour east of UTC.
    qputenv("TZ", "CET-1");
    tzset();
}

void TstServiceProvider::init()
{
    _sp.reset();
    _http = std::make_unique<RecordingHttpServer>();
    QVERIFY(_http->listen());
    _sp = std::make_unique<ServiceProvider>();
    _sp->init(_http->baseUrl() + "/quilvo", QStringLiteral("station"));
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

// Runs one operation until the server has seen it; gives its Authorization.
QByteArray TstServiceProvider::authorizationOf(const QString &operation)
{
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    start(operation);
    return seen.wait(5000) ? _http->lastRequest().headers.value("authorization") : "no request";
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
    auto row = [](const char *name, const char *base, const QString &jwt, const char *op, quint32 nummer,
                  const QVariant &input, const char *request, const char *body = "") {
        QTest::newRow(name) << base << jwt << op << nummer << input << QByteArray(request)
                            << QByteArray(body);
    };
    auto hits = [](const QList<Treffer> &t) { return QVariant::fromValue(t); };

    row("login, escapes and umlauts", "/quilvo", "abc.def", "login", 3,
        QStringList { QString::fromUtf8("J\u00fcrgen"), "a\"b\\c" }, "POST /quilvo/login/wettkampf",
        "{\"password\":\"a\\\"b\\\\c\",\"user\":\"J\xc3\xbcrgen\",\"wettkampf\":3}");
    row("login, empty token, largest id as signed", "/quilvo", "", "login", 4294967295u,
        QStringList { "", "b" }, "POST /quilvo/login/wettkampf",
        R"({"password":"b","user":"","wettkampf":-1})");
    row("liste, base with slash", "/quilvo/", "", "liste", 0, {}, "GET /quilvo//wettkampfe");
    row("scheibe max, utf-8 token", "", QString::fromUtf8("t\u00f6ken"), "scheibe", 4294967295u, {},
        "GET /scheibe-ext/4294967295");
    row("treffer, base with slash, cleared slot, zero rings", "/quilvo/", "abc", "treffer", 42,
        hits({ { 0.25, -1.5, 10.2, 35.5 }, cleared(), { 4.0, -5.0, 0.0, 250.0 } }),
        "POST /quilvo//treffer/scheibe/42",
        R"([{"r":10.2,"t":35.5,"x":0.25,"y":-1.5},{"r":null,"t":null,"x":0,"y":0},{"r":0,"t":250,"x":4,"y":-5}])");
    row("treffer, round trip, exponent, negative teiler alone null", "", "", "treffer", 9,
        hits({ { 0.1 + 0.2, 1.0 / 3.0, 10.3, 604.669 }, { 1e21, 1e-7, 9.0, -0.5 } }),
        "POST /treffer/scheibe/9",
        R"([{"r":10.3,"t":604.669,"x":0.30000000000000004,"y":0.3333333333333333},)"
        R"({"r":9,"t":null,"x":1e+21,"y":1e-07}])");
    row("treffer, non-finite numbers as null", "", "", "treffer", 9,
        hits({ { Nan, Inf, Inf, 3.0 }, { -Inf, 0.5, Nan, Nan } }), "POST /treffer/scheibe/9",
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
    QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
    start(operation, nummer, input);
    QVERIFY(seen.wait(5000));
    const RecordingHttpServer::Request r = _http->lastRequest();
    QCOMPARE(r.method + ' ' + r.target, request);
    QCOMPARE(r.body, body);
    QCOMPARE(r.headers.value("authorization"), "Bearer " + jwt.toUtf8());
    QCOMPARE(r.headers.value("content-type"), r.method == "POST" ? "application/json" : QByteArray());
    QVERIFY(!r.headers.contains("accept"));
}

void TstServiceProvider::wettkampfListe()
{
    // The list as "id:name" texts.
    const auto liste = [this](const QByteArray &body) {
        _http->setAnswer(200, body);
        QSignalSpy spy(_sp.get(), &ServiceProvider::wettkampfe);
        QSignalSpy error(_sp.get(), &ServiceProvider::requestError);
        _sp->getWettkampfe();
        QStringList out;
        if (!spy.wait(5000) || !error.isEmpty())
            return QStringLiteral("no list");
        for (const auto &w : spy.at(0).at(0).value<WettkampfListe>())
            out << QStringLiteral("%1:%2").arg(w.first).arg(w.second);
        return out.join(' ');
    };
    // Duplicates are kept; elements that are no objects give empty entries.
    QCOMPARE(liste(R"([{"id":3,"name":"A"},5,{"name":"B"},{"id":3,"name":"A"}])"), "3:A 0: 0:B 3:A");
    // Ids are whole numbers within 32 bits, negative ones taken as unsigned.
    QCOMPARE(liste(R"([{"id":2.5},{"id":"7"},{"id":7.0},{"id":2147483647},{"id":2147483648},{"id":-1},)"
                   R"({"id":1,"name":12}])"),
             "0: 0: 7: 2147483647: 0: 4294967295: 1:");
    QCOMPARE(liste(R"({"id":1,"name":"A"})"), "");
    QCOMPARE(liste("<html>"), "");
}

void TstServiceProvider::scheibe_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // "field=value|..."; only the fields named are compared
    auto row = [](const char *name, const QByteArray &body, const char *expected) {
        QTest::newRow(name) << body << QString::fromUtf8(expected);
    };
    auto waffe = [](const QByteArray &inner) { return R"({"serie":{"waffe":{)" + inner + "}}}"; };

    row("complete card", R"({"id": 4711, "nummer": 100234, "timestamp": 1710268260, "serie": { "id": 9,
        "ringe": 180, "zehntel": 190.4, "timestamp": 1710268200, "mannschaft": {"name": "Tell I"},
        "schutze": {"id": 77, "name": "Anna Berger", "verein": {"id": 1, "name": "SV Tell"}},
        "waffe": {"id": 2, "name": "Luftpistole", "schussProScheibe": 5, "teilerFaktor": 3.2, "scheibenProSerie": 4},
        "wettbewerbe": [{"id": 1, "name": "Einzel"}, {"id": 2, "name": "Mannschaft"}, 3, {}] },
        "treffer": [{"x": 0.5, "y": -0.25, "r": 10.5, "t": 120.5}, {"x": 1, "y": 2, "r": 9.6, "t": 300}]})",
        "id=4711|waffenTyp=2|schussProScheibe=5|teilerFaktor=3.2|ringe=19|zehntel=20.1|"
        "wertungsdatum=12.03.2024 19:31|schuetzeId=77|schuetze=Anna Berger|verein=SV Tell|mannschaft=Tell I|"
        "waffe=Luftpistole|scheibenProSerie=4|serieRinge=180|serieZehntel=190.4|kaufdatum=12.03.2024 19:30|"
        "wettbewerbe=Einzel,Mannschaft,,|treffer=0.5/-0.25/10.5/120.5 1/2/9.6/300");
    row("not json", "Internal <b>oops</b>", Defaults);
    row("everything mistyped",
        R"({"id":"1","timestamp":"60","serie":{"ringe":"3","zehntel":true,"timestamp":null,)"
        R"("schutze":[],"mannschaft":1,"waffe":"LG","wettbewerbe":"E"},"treffer":null})",
        Defaults);
    row("whole numbers in double form", waffe(R"("id":2.0,"schussProScheibe":5.0)"),
        "waffenTyp=2|schussProScheibe=5");
    row("fractions fall back",
        R"({"id":42.5,"serie":{"waffe":{"schussProScheibe":5.5,"scheibenProSerie":1.5}}})",
        "id=0|schussProScheibe=10|scheibenProSerie=1");
    row("strings are no numbers", waffe(R"("id":"2","teilerFaktor":"2")"), "waffenTyp=1|teilerFaktor=1");
    row("face other than 2, teilerFaktor not positive", waffe(R"("id":3,"teilerFaktor":0)"),
        "waffenTyp=1|teilerFaktor=1");
    row("other spellings not read", R"({"serie":{"schuetze":{"name":"Anna"},"verein":{"name":"SV"}}})",
        "schuetze=|verein=");
    // Every hit is read, even beyond the shots per card. Whole rings are
    // summed per hit: 10.5 + 9.6 gives 19, not 20; a miss counts, a null or
    // non-object slot does not.
    row("totals per hit",
        R"({"serie":{"waffe":{"schussProScheibe":2}},"treffer":[{"x":1,"y":2,"r":10.5,"t":40},{"r":9.6},{"x":3,"r":null,"t":null},)"
        R"({"r":0,"t":900},7,{"r":"10"}]})",
        "ringe=19|zehntel=20.1|treffer=1/2/10.5/40 0/0/9.6/-1 3/0/-1/-1 0/0/0/900 0/0/-1/-1 0/0/-1/-1");
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

void TstServiceProvider::trefferAndDatum()
{
    QVERIFY(!cleared().valid());
    QVERIFY(!Treffer({ 0, 0, Nan, 0 }).valid());
    QVERIFY(Treffer({ 0, 0, 0.0, -1 }).valid());
    // Below one second is no time; the server's field is unsigned 32 bits.
    QCOMPARE(_sp->toDatumString(0.9), QStringLiteral("---"));
    QCOMPARE(_sp->toDatumString(Nan), QStringLiteral("---"));
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

    QTest::newRow("login refused") << "login" << 0 << QStringList { login + "1:0))" };
    QTest::newRow("login 401") << "login" << 401 << QStringList { login + "204:401))" };
    QTest::newRow("login 201") << "login" << 201 << QStringList { login + "0:201))" };
    // The list shows only the toolkit's code when the HTTP layer reports one.
    QTest::newRow("liste refused") << "liste" << 0
                                   << QStringList { netz + "1)\nServer 127.0.0.1:%port nicht erreichbar.)" };
    QTest::newRow("liste 401") << "liste" << 401
                               << QStringList { netz
                                                + "204)\nDer Server hat die Anmeldung abgelehnt (Token "
                                                  "ungültig oder abgelaufen).)" };
    QTest::newRow("liste 500") << "liste" << 500 << QStringList { netz + "401))" };
    QTest::newRow("liste 204") << "liste" << 204 << QStringList { liste + "0:204))" };
    const QString karte17 = "\nScheibe 17 nicht gefunden (oder sie gehört zu einem anderen Wettkampf).)";
    QTest::newRow("scheibe 404") << "scheibe" << 404
                                 << QStringList { scheibe + "203:404)" + karte17, "scheibeFailed()" };
    QTest::newRow("scheibe 500") << "scheibe" << 500
                                 << QStringList { scheibe + "401:500))", "scheibeFailed()" };
    QTest::newRow("treffer 201") << "treffer" << 201
                                 << QStringList { treffer + "0:201))", "setTrefferFailed()" };
}

void TstServiceProvider::failures()
{
    QFETCH(QString, operation);
    QFETCH(int, status);
    QFETCH(QStringList, emitted);

    const quint16 frei = RecordingHttpServer::refusedPort();
    emitted.replaceInStrings(QStringLiteral("%port"), QString::number(frei));
    if (status == 0)
        _sp->init(QStringLiteral("http://127.0.0.1:%1/quilvo").arg(frei), "station");
    else
        _http->setAnswer(status, R"({"jwt":"neu","id":1})");
    // Exactly one message per fault and no partial result; a refused hit
    // submission offers its retry before the message box opens.
    Emitted actual(_sp.get());
    QSignalSpy retry(_sp.get(), &ServiceProvider::setTrefferFailed);
    connect(_sp.get(), &ServiceProvider::requestError, &retry,
            [&] { QCOMPARE(retry.size(), int(operation == "treffer")); });
    start(operation);
    QTRY_COMPARE_WITH_TIMEOUT(actual.texts(), emitted, 10000);
    if (operation == "login" && status != 0) // the refused login's token stays unused
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
}

// The causes the failures above cannot bring about on 127.0.0.1, and the
// failures that get no second line.
void TstServiceProvider::fehlertext_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("zeile");
    const auto zeile = [](const char *name, int code, int status, const char *url, const char *text) {
        QTest::newRow(name) << code << status << QString(url) << QString(text);
    };
    zeile("host not found", 3, 0, "http://kovrit.example:81/q", "Server kovrit.example:81 nicht erreichbar.");
    zeile("https without port", 1, 0, "https://h/q", "Server h:443 nicht erreichbar.");
    zeile("time-out", 5, 0, "http://h/q", "Der Server hat nicht innerhalb von 30 s geantwortet.");
    zeile("body cut off", 5, 200, "http://h/q", "");
    zeile("404, not a card", 203, 404, "http://h/q", "");
}

void TstServiceProvider::fehlertext()
{
    QFETCH(int, code);
    QFETCH(int, status);
    QFETCH(QString, url);
    QFETCH(QString, zeile);
    QCOMPARE(Fehlertext::anfrage(code, status, QUrl(url), 30000), zeile);
}

void TstServiceProvider::successSignals()
{
    Emitted emitted(_sp.get());
    _http->setAnswer(200, "not read at all");
    const Treffer t[2] = { { 0, 0, 10, 10 }, cleared() };
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
    // Logs in with the given answer: "<Authorization the login sent> <signal>".
    const auto login = [this](int status, const QByteArray &answer) {
        _http->setAnswer(status, answer);
        Emitted emitted(_sp.get());
        const QByteArray sent = authorizationOf("login");
        // Answers to the earlier requests may still come in meanwhile.
        const auto texts = [&]() { return emitted.texts().filter(QStringLiteral("login")); };
        if (!QTest::qWaitFor([&]() { return !texts().isEmpty(); }, 5000))
            return QStringLiteral("no answer");
        return QString::fromUtf8(sent) + ' ' + texts().join(' ');
    };
    const QString ok = QStringLiteral("Bearer station loginOk(KM,max)");

    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    // Each login goes out with the configured token, then its own is used;
    // a logoff does not touch the client, so the next list still carries it.
    QCOMPARE(login(200, R"({"jwt":"erster"})"), ok);
    QCOMPARE(authorizationOf("scheibe"), QByteArray("Bearer erster"));
    QCOMPARE(login(200, R"({"jwt":"zweiter"})"), ok);
    QCOMPARE(authorizationOf("treffer"), QByteArray("Bearer zweiter"));
    // A failed login drops the earlier login's token for good.
    QCOMPARE(login(401, R"({"jwt":"dritter"})"),
             QStringLiteral("Bearer station loginFailed(Zugang verweigert! (204:401))"));
    QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    // The token is taken as it comes, unusable ones as an empty token.
    for (const char *unusable : { R"({"jwt":12345})", "ok" }) {
        QCOMPARE(login(200, R"({"jwt":"x"})"), ok);
        QCOMPARE(login(200, unusable), ok);
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer "));
    }
}

void TstServiceProvider::transferTimeout()
{
    QCOMPARE(_sp->transferTimeout(), 30000);

    // A server that takes the requests and never answers: after the time-out
    // each takes its ordinary failure path.
    _http->setSilent(true);
    _sp->setTransferTimeout(300);
    Emitted emitted(_sp.get());
    start("login");
    start("liste");
    const QString code = QString::number(QNetworkReply::OperationCanceledError);
    QTRY_COMPARE_WITH_TIMEOUT(
        emitted.texts(),
        QStringList({ "loginFailed(Zugang verweigert! (" + code + ":0))",
                      "requestError(" + NetzwerkText + code
                          + ")\nDer Server hat nicht innerhalb von 300 ms geantwortet.)" }),
        10000);
}

void TstServiceProvider::signalsAndSlots()
{
    QVERIFY(QMetaType::fromName("ServiceProvider::Scheibe").isValid());
    QVERIFY(QMetaType::fromName("ServiceProvider::Treffer").isValid());

    // Signals first, then the slots, in their fixed order.
    const QStringList expected
        = QStringLiteral("loginOk(QString,QString);loginFailed(QString);"
                         "wettkampfe(QList<std::pair<quint32,QString>>);scheibe(ServiceProvider::Scheibe);"
                         "setTrefferOk();requestError(QString);setTrefferFailed();scheibeFailed();"
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

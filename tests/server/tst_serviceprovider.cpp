#include "server/fehlertext.h"
#include "server/recordinghttpserver.h"
#include "server/serviceprovider.h"

#include <QSignalSpy>
#include <QtTest>

#include <ctime>
#include <functional>
#include <memory>

using Treffer = ServiceProvider::Treffer;

namespace {

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

// The client's signals as "name(arg,...)", in the order they came.
class Emitted : public QObject
{
public:
    QStringList texts;

    explicit Emitted(ServiceProvider *sp)
    {
        const auto note = [this](const QString &text) { texts << text; };
        connect(sp, &ServiceProvider::loginOk, this,
                [=](const QString &w, const QString &u) { note("loginOk(" + w + ',' + u + ')'); });
        connect(sp, &ServiceProvider::loginFailed, this,
                [=](const QString &t) { note("loginFailed(" + t + ')'); });
        connect(sp, &ServiceProvider::requestError, this,
                [=](const QString &t) { note("requestError(" + t + ')'); });
        connect(sp, &ServiceProvider::wettkampfe, this, [=] { note("wettkampfe()"); });
        connect(sp, &ServiceProvider::scheibe, this, [=] { note("scheibe()"); });
        connect(sp, &ServiceProvider::setTrefferOk, this, [=] { note("setTrefferOk()"); });
        connect(sp, &ServiceProvider::setTrefferFailed, this,
                [=](quint32 a) { note(QStringLiteral("setTrefferFailed(%1)").arg(a)); });
        connect(sp, &ServiceProvider::scheibeFailed, this,
                [=](quint32 a) { note(QStringLiteral("scheibeFailed(%1)").arg(a)); });
    }
};

} // namespace

class TstServiceProvider : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecordingHttpServer> _http;
    std::unique_ptr<ServiceProvider> _sp;

    // Starts one operation by name, with plain arguments.
    void start(const QString &operation)
    {
        const Treffer t;
        if (operation == "login")
            _sp->doLogin(17, QStringLiteral("KM"), QStringLiteral("max"), QStringLiteral("pw"));
        else if (operation == "liste")
            _sp->getWettkampfe();
        else if (operation == "scheibe")
            _sp->getScheibe(17);
        else
            _sp->setTreffer(17, &t, 1);
    }

    // Runs a request until the server has seen it; gives
    // "<method> <target> [<body>] | <Authorization> | <Content-Type>".
    QByteArray sent(const std::function<void()> &request)
    {
        QSignalSpy seen(_http.get(), &RecordingHttpServer::requestReceived);
        request();
        if (!seen.wait(5000))
            return "no request";
        const RecordingHttpServer::Request r = _http->lastRequest();
        return r.method + ' ' + r.target + (r.body.isEmpty() ? QByteArray() : ' ' + r.body) + " | "
            + r.headers.value("authorization") + " | " + r.headers.value("content-type");
    }

    QByteArray authorizationOf(const QString &operation)
    {
        sent([&] { start(operation); });
        return _http->lastRequest().headers.value("authorization");
    }

private slots:
    void init()
    {
        // The date texts are local time; pin a zone one hour east of UTC.
        qputenv("TZ", "CET-1");
        tzset();
        _sp.reset();
        _http = std::make_unique<RecordingHttpServer>();
        QVERIFY(_http->listen());
        _sp = std::make_unique<ServiceProvider>();
        _sp->init(_http->baseUrl() + "/quilvo", QStringLiteral("station"));
    }

    void requests()
    {
        _sp->init(_http->baseUrl() + "/quilvo", "abc.def");
        // The id goes out as a signed number.
        QCOMPARE(sent([&] { _sp->doLogin(4294967295u, "KM", QString::fromUtf8("J\u00fcrgen"), "a\"b\\c"); }),
                 "POST /quilvo/login/wettkampf {\"password\":\"a\\\"b\\\\c\",\"user\":\"J\xc3\xbcrgen\","
                 "\"wettkampf\":-1} | Bearer abc.def | application/json");
        // A 0-ring miss is a hit and keeps its 0; only a negative value means
        // "none", for the rings and the Teiler each on its own.
        Treffer t[3] = { { 0.1 + 0.2, -1.5, 0.0, -0.5 }, { 1.0, 2.0, 9.0, 100.0 }, { 4, -5, 10.2, 250 } };
        t[1].clear();
        _sp->setTreffer(42, t, 0); // nothing to send: no request
        QCOMPARE(sent([&] { _sp->setTreffer(42, t, 3); }),
                 R"(POST /quilvo/treffer/scheibe/42 [{"r":0,"t":null,"x":0.30000000000000004,"y":-1.5},)"
                 R"({"r":null,"t":null,"x":0,"y":0},{"r":10.2,"t":250,"x":4,"y":-5}])"
                 " | Bearer abc.def | application/json");
        _sp->init(_http->baseUrl() + "/quilvo", QString::fromUtf8("t\u00f6ken"));
        QCOMPARE(sent([&] { _sp->getWettkampfe(); }), "GET /quilvo/wettkampfe | Bearer t\xc3\xb6ken | ");
        QCOMPARE(sent([&] { _sp->getScheibe(4294967295u); }),
                 "GET /quilvo/scheibe-ext/4294967295 | Bearer t\xc3\xb6ken | ");
        QCOMPARE(_http->requests().size(), 4);
    }

    void wettkampfListe()
    {
        // Duplicates are kept; elements that are no objects give empty entries.
        // Ids are whole numbers within 32 bits, negative ones taken as unsigned.
        QStringList liste;
        for (const auto &w : ServiceProvider::leseWettkampfe(
                 R"([{"id":3,"name":"A"},5,{"name":"B"},{"id":3,"name":"A"},{"id":2.5},{"id":"7"},)"
                 R"({"id":2147483647},{"id":2147483648},{"id":-1,"name":12}])"))
            liste << QStringLiteral("%1:%2").arg(w.first).arg(w.second);
        QCOMPARE(liste.join(' '), "3:A 0: 0:B 3:A 0: 0: 2147483647: 0: 4294967295:");
        // A list no officer could scroll through is cut.
        QJsonArray viele;
        for (int i = 0; i < 600; ++i)
            viele.append(QJsonObject { { "id", i }, { "name", "W" } });
        QCOMPARE(ServiceProvider::leseWettkampfe(QJsonDocument(viele).toJson()).size(),
                 ServiceProvider::MaxWettkaempfe);
    }

    void scheibe_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // "field=value|..."; only the fields named are compared
        auto row = [](const char *name, const QByteArray &body, const char *expected) {
            QTest::newRow(name) << body << QString::fromUtf8(expected);
        };

        row("complete card", R"({"id": 4711, "nummer": 100234, "timestamp": 1710268260, "serie": {
            "id": 9, "ringe": 180, "zehntel": 190.4, "timestamp": 1710268200,
            "mannschaft": {"name": "Tell I"}, "schutze": {"id": 77, "name": "Anna Berger",
            "verein": {"id": 1, "name": "SV Tell"}}, "waffe": {"id": 2, "name": "Luftpistole",
            "schussProScheibe": 5, "teilerFaktor": 3.2, "scheibenProSerie": 4},
            "wettbewerbe": [{"id": 1, "name": "Einzel"}, {"id": 2, "name": "Mannschaft"}, 3, {}] },
            "treffer": [{"x": 0.5, "y": -0.25, "r": 10.5, "t": 120.5},
            {"x": 1, "y": 2, "r": 9.6, "t": 300}]})",
            "id=4711|waffenTyp=2|schussProScheibe=5|teilerFaktor=3.2|ringe=19|zehntel=20.1|"
            "wertungsdatum=12.03.2024 19:31|schuetzeId=77|schuetze=Anna Berger|verein=SV Tell|"
            "mannschaft=Tell I|waffe=Luftpistole|scheibenProSerie=4|serieRinge=180|serieZehntel=190.4|"
            "kaufdatum=12.03.2024 19:30|wettbewerbe=Einzel,Mannschaft,,|"
            "treffer=0.5/-0.25/10.5/120.5 1/2/9.6/300");
        // Below one second is no time; a face other than 2 is drawn as 1.
        row("mistyped, fractions and bad values fall back",
            R"({"id":42.5,"timestamp":0.9,"serie":{"ringe":"3","zehntel":true,"timestamp":null,"schutze":[],)"
            R"("mannschaft":1,"waffe":{"id":3,"name":7,"schussProScheibe":5.5,"scheibenProSerie":1.5,)"
            R"("teilerFaktor":0},"wettbewerbe":"E"},"treffer":null})",
            "id=0|waffenTyp=1|schussProScheibe=10|teilerFaktor=1|ringe=0|zehntel=0|wertungsdatum=---|"
            "schuetzeId=0|schuetze=|verein=|mannschaft=|waffe=|scheibenProSerie=1|serieRinge=0|"
            "serieZehntel=0|kaufdatum=---|wettbewerbe=|treffer=");
        // Whole rings are summed per hit: 10.5 + 9.6 gives 19, not 20; a miss
        // counts, a null or non-object slot does not.
        row("totals per hit",
            R"({"serie":{"waffe":{"schussProScheibe":6}},"treffer":[{"x":1,"y":2,"r":10.5,"t":40},{"r":9.6},)"
            R"({"x":3,"r":null,"t":null},{"r":0,"t":900},7,{"r":"10"}]})",
            "ringe=19|zehntel=20.1|treffer=1/2/10.5/40 0/0/9.6/-1 3/0/-1/-1 0/0/0/900 0/0/-1/-1 0/0/-1/-1");
        // Hits beyond the card's positions have no target and count nowhere.
        row("hits beyond the positions",
            R"({"serie":{"waffe":{"schussProScheibe":2}},"treffer":[{"r":10},{"r":9},{"r":10},{"r":10}]})",
            "ringe=19|zehntel=19|treffer=0/0/10/-1 0/0/9/-1");
        // Names come clean and bounded, whatever the server put in them.
        const auto name = [](const QString &text) { return QJsonObject { { "name", text } }; };
        QJsonObject schuetze = name(QString::fromUtf16(u" Anna\n\tBerger\0 \u202eSV", 18));
        schuetze.insert("verein", name(QString(200000, 'A')));
        const QJsonObject serie { { "schutze", schuetze },
                                  { "mannschaft",
                                    name(QString::fromUtf16(u"\U0001F3AF") + QString(99, 'B')) },
                                  { "waffe", name(QString::fromUtf16(u"LG\u2067\u001b[31m")) },
                                  { "wettbewerbe", QJsonArray { name("\r\n") } } };
        row("texts cleaned and cut", QJsonDocument(QJsonObject { { "serie", serie } }).toJson(),
            ("schuetze=Anna Berger SV|verein=" + QByteArray(99, 'A') + "…|mannschaft=\xf0\x9f\x8e\xaf"
             + QByteArray(97, 'B') + "…|waffe=LG[31m|wettbewerbe=")
                .constData());
    }

    void scheibe()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);

        const QStringList actual = fields(ServiceProvider::leseScheibe(body));
        for (const QString &item : expected.split('|')) {
            const QString name = item.section('=', 0, 0) + '=';
            QCOMPARE(actual.filter(QRegularExpression('^' + name)).value(0, "no " + name), item);
        }
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status"); // 0: connection refused, -1: never answered
        QTest::addColumn<QStringList>("emitted");
        auto row = [](const char *name, const char *operation, int status, const QStringList &emitted) {
            QTest::newRow(name) << QString(operation) << status << emitted;
        };

        const QString netz
            = "requestError(Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT Einstellungen in "
              "'config.json' und starten Sie das Programm neu! (";
        // The list shows only the toolkit's code when the HTTP layer reports one.
        row("liste refused", "liste", 0, { netz + "1)\nServer 127.0.0.1:%port nicht erreichbar.)" });
        row("liste 401", "liste", 401,
            { netz + "204)\nDer Server hat die Anmeldung abgelehnt (Token ungültig oder abgelaufen).)" });
        row("liste 204", "liste", 204,
            { "requestError(Wettkämpfe konnten nicht abgerufen werden! (0:204))" });
        row("scheibe 404", "scheibe", 404,
            { "scheibeFailed(1)",
              "requestError(Scheibe konnte nicht abgerufen werden! (203:404)\n"
              "Scheibe 17 nicht gefunden (oder sie gehört zu einem anderen Wettkampf).)" });
        row("treffer 200", "treffer", 200, { "setTrefferOk()" });
        // The retry is offered before the message box opens.
        row("treffer 201", "treffer", 201,
            { "setTrefferFailed(1)", "requestError(Treffer konnten nicht übermittelt werden! (0:201))" });
        // After the time-out a request takes its ordinary failure path.
        row("login, no answer", "login", -1,
            { "loginFailed(Zugang verweigert! (5:0)\nDer Server hat nicht innerhalb von 300 ms "
              "geantwortet.)" });
    }

    void outcomes()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QStringList, emitted);

        const quint16 frei = RecordingHttpServer::refusedPort();
        emitted.replaceInStrings(QStringLiteral("%port"), QString::number(frei));
        if (status == 0)
            _sp->init(QStringLiteral("http://127.0.0.1:%1/quilvo").arg(frei), "station");
        _http->setAnswer(status, R"({"jwt":"neu","id":1})");
        if (status < 0) {
            _http->setSilent(true);
            _sp->setTransferTimeout(300);
        }
        // Exactly one message per fault and no partial result.
        Emitted actual(_sp.get());
        start(operation);
        QTRY_COMPARE_WITH_TIMEOUT(actual.texts, emitted, 10000);
    }

    // The causes the outcomes above cannot bring about on 127.0.0.1, the
    // failures that get no second line, and the real time-out.
    void fehlertext()
    {
        const QUrl h(QStringLiteral("http://h/q"));
        QCOMPARE(Fehlertext::anfrage(3, 0, QUrl("http://kovrit.example:81/q"), 30000),
                 "Server kovrit.example:81 nicht erreichbar.");
        QCOMPARE(Fehlertext::anfrage(1, 0, QUrl("https://h/q"), 30000), "Server h:443 nicht erreichbar.");
        QCOMPARE(Fehlertext::anfrage(5, 200, h, 30000), QString()); // body cut off
        QCOMPARE(Fehlertext::anfrage(203, 404, h, 30000), QString()); // not a card
        QCOMPARE(Fehlertext::anfrage(203, 404, QUrl("http://h/quilvo//wettkampfe"), 30000),
                 "Pfad /quilvo//wettkampfe nicht gefunden – endet die URL mit '/'?");
        QCOMPARE(Fehlertext::anfrage(203, 404, QUrl("http://h/quilvo2/wettkampfe"), 30000),
                 "Pfad /quilvo2/wettkampfe nicht gefunden – stimmt der Pfad in der URL?");
        QCOMPARE(Fehlertext::anfrage(5, 0, h, _sp->transferTimeout()),
                 "Der Server hat nicht innerhalb von 30 s geantwortet.");
    }

    void tokenStates()
    {
        // Logs in with the given answer: "<Authorization the login sent> <signal>".
        const auto login = [this](int status, const QByteArray &answer) {
            _http->setAnswer(status, answer);
            Emitted emitted(_sp.get());
            const QByteArray sent = authorizationOf("login");
            // Answers to the earlier requests may still come in meanwhile.
            (void)QTest::qWaitFor([&]() { return !emitted.texts.filter("login").isEmpty(); }, 5000);
            return QString::fromUtf8(sent) + ' ' + emitted.texts.filter("login").join(' ');
        };
        const QString ok = QStringLiteral("Bearer station loginOk(KM,max)");

        // Each login goes out with the configured token, then its own is used.
        QCOMPARE(login(200, R"({"jwt":"erster"})"), ok);
        QCOMPARE(authorizationOf("scheibe"), QByteArray("Bearer erster"));
        QCOMPARE(login(200, R"({"jwt":"zweiter"})"), ok);
        QCOMPARE(authorizationOf("treffer"), QByteArray("Bearer zweiter"));
        // A failed login drops the earlier login's token for good.
        QCOMPARE(login(401, R"({"jwt":"dritter"})"),
                 QStringLiteral("Bearer station loginFailed(Zugang verweigert! (204:401))"));
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    }

    // A redirect is a failure in words, and nothing of the request reaches
    // its target: not the token, not the password, not the hits.
    void redirects_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("emitted");
        const QString weiter = "\nDer Server leitet auf %ziel um; kovrit folgt keiner Umleitung.)";
        for (const int status : { 301, 302, 303, 307, 308 }) {
            const QString code = QStringLiteral("(0:%1)").arg(status);
            const auto row = [&](const char *operation, const QStringList &emitted) {
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(operation).arg(status)))
                    << QString(operation) << status << emitted;
            };
            row("login", { "loginFailed(Zugang verweigert! " + code + weiter });
            row("liste", { "requestError(Wettkämpfe konnten nicht abgerufen werden! " + code + weiter });
            row("scheibe",
                { "scheibeFailed(1)",
                  "requestError(Scheibe konnte nicht abgerufen werden! " + code + weiter });
            row("treffer",
                { "setTrefferFailed(1)",
                  "requestError(Treffer konnten nicht übermittelt werden! " + code + weiter });
        }
    }

    void redirects()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QStringList, emitted);
        RecordingHttpServer ziel;
        QVERIFY(ziel.listen());
        ziel.setAnswer(200, R"({"jwt":"fremd"})");
        const QString url = ziel.baseUrl() + "/quilvo/abgreifen";
        _http->setAnswer(status, R"({"jwt":"neu"})");
        _http->setHeaders("Location: " + url.toUtf8() + "\r\n");
        Emitted actual(_sp.get());
        start(operation);
        QTRY_COMPARE(actual.texts, emitted.replaceInStrings("%ziel", url));
        QTest::qWait(50);
        QCOMPARE(ziel.requests().size(), 0);
        QCOMPARE(authorizationOf("liste"), QByteArray("Bearer station"));
    }

    // Only a plain token goes into a header; any other fails the login, and
    // the requests after it go out with the station's token alone.
    void loginToken_data()
    {
        QTest::addColumn<QByteArray>("jwt");
        QTest::addColumn<bool>("taken");
        QTest::newRow("jwt") << QByteArray(R"("eyJh.b-_~+/c=")") << true;
        QTest::newRow("header injection")
            << QByteArray(R"("abc\r\nX-Injected: yes\r\nHost: evil.example")") << false;
        QTest::newRow("blank") << QByteArray(R"("ab c")") << false;
        QTest::newRow("tab") << QByteArray(R"("ab\tc")") << false;
        QTest::newRow("line separator") << QByteArray(R"("ab\u2028c")") << false;
        QTest::newRow("empty") << QByteArray(R"("")") << false;
        QTest::newRow("not a text") << QByteArray("12345") << false;
        QTest::newRow("9000 bytes") << "\"" + QByteArray(9000, 'a') + "\"" << false;
    }

    void loginToken()
    {
        QFETCH(QByteArray, jwt);
        QFETCH(bool, taken);
        _http->setAnswer(200, R"({"jwt":)" + jwt + '}');
        Emitted emitted(_sp.get());
        start("login");
        QTRY_COMPARE(emitted.texts.size(), 1);
        QCOMPARE(emitted.texts.first(),
                 taken ? QStringLiteral("loginOk(KM,max)")
                       : "loginFailed(Zugang verweigert! (0:200)\n" + Fehlertext::token() + ')');
        sent([&] { start("liste"); });
        const RecordingHttpServer::Request r = _http->lastRequest();
        QCOMPARE(r.headers.value("authorization"),
                 taken ? QByteArray("Bearer eyJh.b-_~+/c=") : "Bearer station");
        QVERIFY(!r.headers.contains("x-injected"));
        QCOMPARE(r.headers.value("host"), _http->baseUrl().mid(7).toUtf8());
    }

    void configuredTokenWithLineBreak()
    {
        _sp->init(_http->baseUrl() + "/quilvo", "abc\r\nX-Injected: yes");
        sent([&] { start("liste"); });
        QVERIFY(!_http->lastRequest().headers.contains("authorization"));
        QVERIFY(!_http->lastRequest().headers.contains("x-injected"));
    }

    // However the bytes come, a request has one deadline from sending to the
    // whole answer, and an answer over the cap fails as soon as it is seen.
    void limits_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("art"); // 0 dribbled, 1 flood with a length, 2 flood without
        QTest::addColumn<QString>("emitted");
        const QString frist = "(5:200)\nDer Server hat seine Antwort nicht innerhalb von 1500 ms vollständig "
                              "geschickt.)";
        const QString gross = "(5:200)\nDie Antwort des Servers ist größer als 4 MiB.)";
        QTest::newRow("login dribbled") << "login" << 0 << "loginFailed(Zugang verweigert! " + frist;
        QTest::newRow("scheibe dribbled")
            << "scheibe" << 0 << "requestError(Scheibe konnte nicht abgerufen werden! " + frist;
        QTest::newRow("treffer dribbled")
            << "treffer" << 0 << "requestError(Treffer konnten nicht übermittelt werden! " + frist;
        QTest::newRow("liste flood") << "liste" << 1
                                     << "requestError(Netzwerkfehler!  Bitte überprüfen Sie Ihre URL / JWT "
                                        "Einstellungen in 'config.json' und starten Sie das Programm neu! (5)"
                                        "\nDie Antwort des Servers ist größer als 4 MiB.)";
        QTest::newRow("scheibe flood, no length")
            << "scheibe" << 2 << "requestError(Scheibe konnte nicht abgerufen werden! " + gross;
        QTest::newRow("login flood, no length") << "login" << 2 << "loginFailed(Zugang verweigert! " + gross;
    }

    void limits()
    {
        QFETCH(QString, operation);
        QFETCH(int, art);
        QFETCH(QString, emitted);
        const QByteArray lang(1000, 'x');
        _http->setAnswer(200,
                         QJsonDocument(QJsonObject { { "jwt", "neu" }, { "name", lang.data() } }).toJson());
        if (art == 0) {
            _http->setTrickle(5);
            _sp->setTransferTimeout(1500);
        } else {
            _http->setFlood(qint64(1) << 30, art == 1);
        }
        Emitted actual(_sp.get());
        QElapsedTimer uhr;
        uhr.start();
        start(operation);
        QTRY_COMPARE_WITH_TIMEOUT(actual.texts.filter("Failed(Zugang").size()
                                      + actual.texts.filter("requestError").size(),
                                  1, 10000);
        QCOMPARE(actual.texts.last(), emitted);
        // Well before the default deadline of 30 s.
        QVERIFY2(uhr.elapsed() < 5000, qPrintable(QString::number(uhr.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TstServiceProvider)

#include "tst_serviceprovider.moc"

#include "app/konfiguration.h"
#include "station.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

// Fault drills: what the station does when the server, the cable, the
// machine's line or the configuration misbehave, and what it must never leak.

namespace {

using Shot = Rm3Simulator::Shot;

QStringList &protokoll()
{
    static QStringList zeilen;
    return zeilen;
}

void sammle(QtMsgType, const QMessageLogContext &, const QString &text)
{
    protokoll() << text;
}

bool protokolliert(const QString &text)
{
    return std::any_of(protokoll().cbegin(), protokoll().cend(),
                       [&](const QString &z) { return z.contains(text); });
}

QList<Shot> karte(int anzahl, int zweifelhaftAb = -1)
{
    QList<Shot> shots;
    for (int i = 0; i < anzahl; ++i)
        shots << Rm3Simulator::scoredShot(0.3 * i, -0.2 * i, 1, i == zweifelhaftAb);
    return shots;
}

// Sits on the server's port and answers every request in one wrong way.
class Stoerer : public QObject
{
public:
    enum Art { Haengt, Muell, Riesig, Endlos, Tief, Umleitung };

    explicit Stoerer(Art art)
        : _art(art)
    {
        connect(&_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = _server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { antworte(s); });
        });
    }
    bool listen(quint16 port) { return _server.listen(QHostAddress(QHostAddress::LocalHost), port); }

private:
    void antworte(QTcpSocket *s)
    {
        s->readAll();
        if (s->property("beantwortet").toBool())
            return;
        s->setProperty("beantwortet", true);
        switch (_art) {
        case Haengt:
            break;
        case Muell:
            s->write("\x01\x02 kein HTTP \xff\r\n\r\n");
            s->disconnectFromHost();
            break;
        case Riesig:
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 6291456\r\n\r\n");
            s->write(QByteArray(6291456, ' '));
            break;
        case Endlos:
            s->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
            weiter(s);
            break;
        case Tief: {
            const QByteArray body(100000, '[');
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                     + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            break;
        }
        case Umleitung:
            s->write("HTTP/1.1 302 Found\r\nLocation: /quilvo/umleitung\r\nContent-Length: 0\r\n\r\n");
            s->setProperty("beantwortet", false); // the next request on this connection too
            break;
        }
    }

    // One 64 KiB chunk after the other, for as long as the client listens.
    void weiter(QTcpSocket *s)
    {
        if (s->state() != QAbstractSocket::ConnectedState)
            return;
        if (s->bytesToWrite() < 1 << 20)
            s->write("10000\r\n" + QByteArray(0x10000, ' ') + "\r\n");
        QTimer::singleShot(1, s, [this, s] { weiter(s); });
    }

    Art _art;
    QTcpServer _server;
};

} // namespace

class TestDrills : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(sammle); }
    void init() { protokoll().clear(); }

    // The server fails the automatic submission of a clean card; the hits
    // stay, and a save succeeds once the server answers properly again.
    void serverFaultMidCard_data()
    {
        QTest::addColumn<int>("art"); // -1: the real server answers `status`
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("401") << -1 << 401 << "(204:401)";
        QTest::newRow("201 is no success") << -1 << 201 << "(0:201)";
        QTest::newRow("204 is no success") << -1 << 204 << "(0:204)";
        QTest::newRow("hangs: transfer time-out") << int(Stoerer::Haengt) << 0 << "(5:0)";
        QTest::newRow("garbage instead of HTTP") << int(Stoerer::Muell) << 0 << "(2:0)";
        QTest::newRow("huge body is cut off") << int(Stoerer::Riesig) << 0 << "(5:200)";
        QTest::newRow("endless body is cut off") << int(Stoerer::Endlos) << 0 << "(5:200)";
        QTest::newRow("redirect loop") << int(Stoerer::Umleitung) << 0 << "(10:302)";
    }

    void serverFaultMidCard()
    {
        QFETCH(int, art);
        QFETCH(int, status);
        QFETCH(QString, suffix);
        Station st;
        QVERIFY(st.bereit(1001));
        st.window->serviceProvider().setTransferTimeout(1000);
        const quint32 id = st.server->cardId(1001);
        std::unique_ptr<Stoerer> stoerer;
        if (art < 0) {
            st.server->failNextRequests(1, status);
        } else {
            st.server.reset();
            stoerer = std::make_unique<Stoerer>(Stoerer::Art(art));
            QVERIFY(stoerer->listen(st.port));
        }
        QSignalSpy gesendet(&st.sim, &Rm3Simulator::shotSent);
        st.sim.queueShots(karte(10));
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.fehlerTitel.first(), QStringLiteral("Fehler"));
        QCOMPARE(st.fehler.first(), QStringLiteral("Treffer konnten nicht übermittelt werden! ") + suffix);
        QCOMPARE(st.scheibe(9)->ringeLabel(), LxScheibe::ringeText(karte(10)[9].rings));
        QVERIFY(st.speichern()->isEnabled());

        if (stoerer) {
            stoerer.reset();
            QVERIFY(st.startServer(st.port));
        }
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(st.server->submissionCount(id), 1);
        const auto hits = st.server->storedHits(id);
        QCOMPARE(hits.size(), 10);
        for (int i = 0; i < 10; ++i) {
            const KovritServer::Hit soll = Station::trefferAus(gesendet[i][1].toByteArray());
            QCOMPARE(hits[i].r, soll.r);
            QCOMPARE(hits[i].t, soll.t);
        }
        QCOMPARE(st.fehler.size(), 1);
    }

    // A card reply that is far too deep is read as a card of defaults; the
    // client neither crashes nor hangs.
    void deeplyNestedCardReply()
    {
        Station st;
        QVERIFY(st.start() && st.login());
        st.server.reset();
        Stoerer stoerer(Stoerer::Tief);
        QVERIFY(stoerer.listen(st.port));
        QVERIFY(st.karteEingeben(42, 10));
        QVERIFY(st.fehler.isEmpty());
        QCOMPARE(st.ringe(), QStringLiteral("0 / 0"));
    }

    void cablePulledMidCard()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        QSignalSpy gesendet(&st.sim, &Rm3Simulator::shotSent);
        st.sim.setCloseAfterShots(3);
        st.sim.queueShots(karte(10));
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: getrennt"));
        for (unsigned i = 0; i < 3; ++i)
            QVERIFY(st.scheibe(i)->valid());
        QTest::qWait(300);
        QCOMPARE(st.fehler.size(), 1);

        // The line comes back (a pty comes back under a new name); the officer
        // cancels and has the card read again from its start: stored once.
        st.sim.setCloseAfterShots(-1);
        QVERIFY(st.sim.openPty());
        st.window->maschine().setSerialPort(st.sim.slavePath());
        QVERIFY(st.verbinden());
        for (unsigned i = 0; i < 3; ++i)
            QVERIFY(st.scheibe(i)->valid());
        QTest::mouseClick(st.abbrechen(), Qt::LeftButton);
        QVERIFY(st.karteBereit(1001, 10));
        gesendet.clear();
        st.sim.queueShots(karte(10));
        const quint32 id = st.server->cardId(1001);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        const auto hits = st.server->storedHits(id);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(hits[i].r, Station::trefferAus(gesendet[i][1].toByteArray()).r);
        QCOMPARE(st.fehler.size(), 1);
    }

    // Noise on the machine's line never becomes a shot: the card read after
    // it is stored exactly as the machine sent it, once.
    void lineNoise_data()
    {
        QTest::addColumn<QByteArray>("rauschen");
        QTest::addColumn<bool>("vorKarte"); // sent before the card is set up
        QTest::addColumn<bool>("muellZwischen"); // garbage lines between the shots
        QTest::addColumn<int>("intervall");
        QByteArray muell;
        for (int i = 0; i < 2000; ++i) {
            const char c = char((i * 7919 + 13) % 256);
            muell += c == ';' ? 'x' : c;
        }
        const QByteArray schuss = "1;9.7;145.0;0.05;-0.10;\r";
        QTest::newRow("binary garbage") << muell + "\r" << false << false << 20;
        QTest::newRow("over-long lines")
            << QByteArray(100, 'A') + ";1;2;3;4;5\r" + QByteArray(200, 'B') + schuss << false << false << 20;
        QTest::newRow("stray SCHEIBE and ENDE")
            << QByteArray("SCHEIBE\rENDE\rSCHEIBE\n\r") << false << false << 20;
        QTest::newRow("four and six separators")
            << QByteArray("1;9.7;145;0.05;-0.1\r1;9.7;145;0.05;-0.1;;\r") << false << false << 20;
        QTest::newRow("shots before any settings line") << schuss + schuss + schuss << true << false << 20;
        QTest::newRow("garbage between the shots") << QByteArray() << false << true << 20;
        QTest::newRow("burst at full speed") << QByteArray() << false << false << 0;
    }

    void lineNoise()
    {
        QFETCH(QByteArray, rauschen);
        QFETCH(bool, vorKarte);
        QFETCH(bool, muellZwischen);
        QFETCH(int, intervall);
        Station st;
        QVERIFY(st.start() && st.login() && st.verbinden());
        st.server->addCard(st.kartenSpec(1001));
        auto rauscht = [&] {
            if (rauschen.isEmpty())
                return true;
            // The marker line after the noise tells when all of it has passed
            // the line handling.
            st.sim.sendRaw(rauschen + "RAUSCHEN-ENDE\r");
            return QTest::qWaitFor(
                [&] { return protokolliert(QStringLiteral("MaschineRm3::onLineReceived: RAUSCHEN-ENDE")); },
                5000);
        };
        if (vorKarte)
            QVERIFY(rauscht());
        QVERIFY(st.karteBereit(1001, 10));
        if (!vorKarte)
            QVERIFY(rauscht());
        for (unsigned i = 0; i < 10; ++i)
            QVERIFY(!st.scheibe(i)->valid());

        st.sim.setGarbage(muellZwischen);
        st.sim.setInterval(intervall);
        QSignalSpy gesendet(&st.sim, &Rm3Simulator::shotSent);
        st.sim.queueShots(karte(10));
        const quint32 id = st.server->cardId(1001);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        const auto hits = st.server->storedHits(id);
        for (int i = 0; i < 10; ++i) {
            const KovritServer::Hit soll = Station::trefferAus(gesendet[i][1].toByteArray());
            QCOMPARE(hits[i].r, soll.r);
            QCOMPARE(hits[i].x, soll.x);
        }
        QCOMPARE(st.sim.ackCount(), 0); // nothing doubtful, nothing acknowledged
        QVERIFY(st.fehler.isEmpty());
    }

    void unusableConfiguration_data()
    {
        QTest::addColumn<QByteArray>("inhalt");
        QTest::addColumn<QString>("pfad"); // instead of a written file
        QByteArray binaer;
        for (int i = 0; i < 4096; ++i)
            binaer += char(i * 31);
        QTest::newRow("binary") << binaer << QString();
        QTest::newRow("huge") << "{\"port\":\"COM7\",\"x\":\"" + QByteArray(100000, 'x') + "\"}" << QString();
        QTest::newRow("endless") << QByteArray() << QStringLiteral("/dev/zero");
        QTest::newRow("a directory") << QByteArray() << QStringLiteral(".");
        QTest::newRow("wrong types") << QByteArray("{\"url\":[1],\"port\":{},\"wertung\":\"5\",\"jwt\":null}")
                                     << QString();
    }

    void unusableConfiguration()
    {
        QFETCH(QByteArray, inhalt);
        QFETCH(QString, pfad);
        QTemporaryDir dir;
        if (pfad.isEmpty()) {
            pfad = dir.filePath(QStringLiteral("config.json"));
            QFile datei(pfad);
            QVERIFY(datei.open(QIODevice::WriteOnly));
            datei.write(inhalt);
        } else if (pfad == QLatin1String(".")) {
            pfad = dir.path();
        }
        const Konfiguration k = Konfiguration::lesen(pfad);
        const Konfiguration eingebaut;
        QCOMPARE(k.url, eingebaut.url);
        QCOMPARE(k.port, eingebaut.port);
        QCOMPARE(k.jwt, eingebaut.jwt);
        QCOMPARE(k.wertung, eingebaut.wertung);
        QCOMPARE(k.teilergrenze, eingebaut.teilergrenze);
        QCOMPARE(k.drucker, eingebaut.drucker);

        Station st; // closes whatever box the unreachable server brings
        MainWindow fenster(nullptr, pfad);
        QCOMPARE(fenster.windowTitle(), QStringLiteral("kovrit - Quilvo RM3"));
    }

    // A whole day's work leaves the password nowhere and the tokens out of
    // the log.
    void secretsStayOutOfLogsAndFiles()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.server->failNextRequests(1, 401);
        st.sim.queueShots(karte(10));
        QVERIFY(st.warteAufFehler(1));
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(st.server->submissionCount(st.server->cardId(1001)), 1);
        st.action("logoff")->trigger();

        QVERIFY(protokolliert(QStringLiteral("ServiceProvider::post:")));
        const QString station = st.server->stationToken();
        // A login token is 43 characters of base64url.
        const QRegularExpression tokenArtig(QStringLiteral("[A-Za-z0-9_-]{40,}"));
        for (const QString &zeile : qAsConst(protokoll())) {
            if (zeile.startsWith(QLatin1String("Rm3Simulator::"))
                || zeile.startsWith(QLatin1String("KovritServer")))
                continue; // the stand-ins' own log
            QVERIFY2(!zeile.contains(QLatin1String(Station::Password)), qPrintable(zeile));
            QVERIFY2(!zeile.contains(station), qPrintable(zeile));
            QVERIFY2(!zeile.contains(QLatin1String("Bearer")), qPrintable(zeile));
            QVERIFY2(!tokenArtig.match(zeile).hasMatch(), qPrintable(zeile));
        }

        QStringList orte { st.dir.path() };
        for (auto ort : { QStandardPaths::AppDataLocation, QStandardPaths::AppConfigLocation,
                          QStandardPaths::CacheLocation })
            orte << QStandardPaths::writableLocation(ort);
        for (const QString &ort : qAsConst(orte)) {
            QDirIterator it(ort, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString datei = it.next();
                if (datei.contains(QLatin1String("server.sqlite")))
                    continue; // the stand-in server's store, not the station's
                QFile f(datei);
                QVERIFY(f.open(QIODevice::ReadOnly));
                QVERIFY2(!f.readAll().contains(Station::Password), qPrintable(datei));
            }
        }
    }
};

QTEST_MAIN(TestDrills)
#include "tst_drills.moc"

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

// Sits on the server's port and answers every request in one wrong way.
class Stoerer : public QObject
{
public:
    // Echt: the real server refuses; Tot: nobody listens on the port.
    enum Art { Echt, Tot, Haengt, Muell, Riesig, Endlos, Tief, Umleitung };

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
        case Echt: // never built for these two
        case Tot:
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
    void initTestCase() { protokollStarten(); }
    void init() { protokoll().clear(); }

    // The server refuses or fails a submission: one "Fehler" box with the
    // code pair, the hits stay on screen, "Speichern" is armed again with the
    // focus, and the next save, once the server is back on its port, stores
    // the hits exactly once.
    void serverRefusal_data()
    {
        QTest::addColumn<int>("art");
        QTest::addColumn<int>("status"); // what the real server answers
        QTest::addColumn<bool>("vonHand"); // a doubtful card, saved by hand
        QTest::addColumn<QString>("suffix");
        QTest::newRow("500") << int(Stoerer::Echt) << 500 << false << "(401:500)";
        QTest::newRow("404 on a save by hand") << int(Stoerer::Echt) << 404 << true << "(203:404)";
        QTest::newRow("401") << int(Stoerer::Echt) << 401 << false << "(204:401)";
        QTest::newRow("201 is no success") << int(Stoerer::Echt) << 201 << false << "(0:201)";
        QTest::newRow("204 is no success") << int(Stoerer::Echt) << 204 << false << "(0:204)";
        QTest::newRow("server gone, back on its port") << int(Stoerer::Tot) << 0 << false << "(1:0)";
        QTest::newRow("hangs: transfer time-out") << int(Stoerer::Haengt) << 0 << false << "(5:0)";
        QTest::newRow("garbage instead of HTTP") << int(Stoerer::Muell) << 0 << false << "(2:0)";
        QTest::newRow("huge body is cut off") << int(Stoerer::Riesig) << 0 << false << "(5:200)";
        QTest::newRow("endless body is cut off") << int(Stoerer::Endlos) << 0 << false << "(5:200)";
        QTest::newRow("redirect loop") << int(Stoerer::Umleitung) << 0 << false << "(10:302)";
    }

    void serverRefusal()
    {
        QFETCH(int, art);
        QFETCH(int, status);
        QFETCH(bool, vonHand);
        QFETCH(QString, suffix);
        Station st;
        QVERIFY(st.bereit(1001));
        st.window->serviceProvider().setTransferTimeout(1000);
        const quint32 id = st.server->cardId(1001);
        QList<Shot> shots = zehnSchuss();
        shots[3].doubtful = vonHand;
        if (vonHand)
            QVERIFY(st.schiessen(shots));
        std::unique_ptr<Stoerer> stoerer;
        if (art == Stoerer::Echt) {
            st.server->failNextRequests(1, status);
        } else {
            st.server.reset();
            if (art != Stoerer::Tot) {
                stoerer = std::make_unique<Stoerer>(Stoerer::Art(art));
                QVERIFY(stoerer->listen(st.port));
            }
        }
        if (vonHand)
            QTest::mouseClick(st.speichern(), Qt::LeftButton);
        else
            st.sim.queueShots(shots);
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.fehlerTitel.first(), QStringLiteral("Fehler"));
        QCOMPARE(st.fehler.first().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Treffer konnten nicht übermittelt werden! ") + suffix);
        QCOMPARE(st.scheibe(9)->ringeLabel(), QStringLiteral("9,1R"));
        QCOMPARE(st.ringe(), QStringLiteral("95 / 95"));
        QCOMPARE(st.zehntel(), QStringLiteral("100,0 / 100,0"));
        QVERIFY(st.speichern()->isEnabled());
        QVERIFY(st.abbrechen()->isEnabled());
        // The window's focus widget: the offscreen platform does not activate
        // the window again after the box.
        QCOMPARE(st.window->focusWidget(), st.speichern());

        if (art != Stoerer::Echt) {
            stoerer.reset();
            QVERIFY(st.startServer(st.port));
        }
        QCOMPARE(st.server->submissionCount(id), 0);
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_COMPARE(st.server->submissionCount(id), 1);
        QCOMPARE(st.server->storedHits(id), treffer(shots));
        QTRY_VERIFY(st.karte()->isEnabled());
        QTest::qWait(200);
        QCOMPARE(st.server->submissionCount(id), 1);
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
        st.sim.setCloseAfterShots(3);
        st.sim.queueShots(zehnSchuss());
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.maschinenStatus(), QStringLiteral("Maschine: getrennt"));

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
        st.sim.queueShots(zehnSchuss());
        const quint32 id = st.server->cardId(1001);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        QCOMPARE(st.server->storedHits(id), treffer(zehnSchuss()));
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
        st.sim.queueShots(zehnSchuss());
        const quint32 id = st.server->cardId(1001);
        QTRY_COMPARE_WITH_TIMEOUT(st.server->submissionCount(id), 1, 10000);
        QCOMPARE(st.server->storedHits(id), treffer(zehnSchuss()));
        QCOMPARE(st.sim.ackCount(), 0); // nothing doubtful, nothing acknowledged
        QVERIFY(st.fehler.isEmpty());
    }

    // What an unusable config.json reads as is Konfiguration's business; the
    // window must come up even with an endless one.
    void windowStartsWithAnEndlessConfiguration()
    {
        Station st; // closes whatever box the unreachable server brings
        MainWindow fenster(nullptr, QStringLiteral("/dev/zero"));
        QCOMPARE(fenster.windowTitle(), QStringLiteral("kovrit - Quilvo RM3"));
        // Once the window stands, one box says what was wrong with the file.
        QTRY_VERIFY(std::any_of(st.fehler.cbegin(), st.fehler.cend(), [](const QString &t) {
            return t.startsWith(QLatin1String("Die Einstellungsdatei /dev/zero ist nicht in Ordnung:"))
                && t.endsWith(QStringLiteral("„Datei“ → „Einstellungen…“ ändern."));
        }));
    }

    // A whole day's work leaves the password nowhere and the tokens out of
    // the log.
    void secretsStayOutOfLogsAndFiles()
    {
        Station st;
        QVERIFY(st.bereit(1001));
        st.server->failNextRequests(1, 401);
        st.sim.queueShots(zehnSchuss());
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

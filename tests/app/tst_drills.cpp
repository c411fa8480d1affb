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
    // Tot: nobody listens on the port.
    enum Art { Tot, Endlos, Umleitung };

    explicit Stoerer(Art art)
    {
        connect(&_server, &QTcpServer::newConnection, this, [this, art] {
            while (QTcpSocket *s = _server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, art, s] { antworte(art, s); });
        });
    }
    bool listen(quint16 port) { return _server.listen(QHostAddress(QHostAddress::LocalHost), port); }

private:
    void antworte(Art art, QTcpSocket *s)
    {
        s->readAll();
        if (art == Umleitung) {
            s->write("HTTP/1.1 302 Found\r\nLocation: /quilvo/umleitung\r\nContent-Length: 0\r\n\r\n");
        } else if (art == Endlos && !s->property("beantwortet").toBool()) {
            s->setProperty("beantwortet", true);
            s->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
            weiter(s);
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

    QTcpServer _server;
};

} // namespace

class TestDrills : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { protokollStarten(); }
    void init() { protokoll().clear(); }

    // The server is gone or answers a submission in a wrong way: one
    // "Fehler" box with the code pair, the hits stay on screen, "Speichern"
    // is armed again with the focus, and the next save, once the server is
    // back on its port, stores the hits exactly once. A refusal by status
    // code or a time-out is the server client's unit tests' business.
    void serverRefusal_data()
    {
        QTest::addColumn<int>("art");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("server gone, back on its port") << int(Stoerer::Tot) << "(1:0)";
        QTest::newRow("endless body is cut off") << int(Stoerer::Endlos) << "(5:200)";
        QTest::newRow("redirect") << int(Stoerer::Umleitung) << "(0:302)";
    }

    void serverRefusal()
    {
        QFETCH(int, art);
        QFETCH(QString, suffix);
        Station st;
        QVERIFY(st.bereit(1001));
        st.server.reset();
        std::unique_ptr<Stoerer> stoerer;
        if (art != Stoerer::Tot) {
            stoerer = std::make_unique<Stoerer>(Stoerer::Art(art));
            QVERIFY(stoerer->listen(st.port));
        }
        st.sim.queueShots(zehnSchuss());
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.fehler.first().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Treffer konnten nicht übermittelt werden! ") + suffix);
        QCOMPARE(st.ringe(), QStringLiteral("95 / 95"));
        QVERIFY(st.abbrechen()->isEnabled());
        // The window's focus widget: the offscreen platform does not activate
        // the window again after the box.
        QCOMPARE(st.window->focusWidget(), st.speichern());
        const QString server = st.find<QLabel>("serverStatus")->text();
        QVERIFY2(server.startsWith(art == Stoerer::Tot ? QLatin1String("Server: keine Antwort seit ")
                                                       : QLatin1String("Server: antwortet")),
                 qPrintable(server));

        stoerer.reset();
        QVERIFY(st.startServer(st.port));
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QCOMPARE(st.storedOnce(1001), treffer(zehnSchuss()));
        QTRY_VERIFY(st.karte()->isEnabled());
        QCOMPARE(st.fehler.size(), 1);
        QCOMPARE(st.find<QLabel>("serverStatus")->text(), QStringLiteral("Server: antwortet"));
    }

    // A server that takes the hits and never answers: the wait counts its
    // seconds, Escape gives it up without a box, the hits stay, and
    // "Speichern" tries again.
    void givingUpTheWait()
    {
        Station st;
        QVERIFY(st.bereit(1001, 10, 1, true));
        st.proxy->hold("/treffer/");
        QVERIFY(st.schiessen(zehnSchuss()));
        QTRY_COMPARE(st.proxy->held(), 1);
        QTRY_COMPARE(st.meldung(), QStringLiteral("wird gespeichert… 1 s"));
        QTest::keyClick(st.window.get(), Qt::Key_Escape);
        QTRY_VERIFY(st.speichern()->isEnabled());
        QCOMPARE(st.ringe(), QStringLiteral("95 / 95"));
        st.proxy->stopHolding();
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QTRY_VERIFY(st.meldung().startsWith(QLatin1String("Scheibe 1001 gespeichert")));
        QVERIFY(st.fehler.isEmpty());
    }

    // The adapter pulled out mid-card and plugged in again under the same
    // name (as /dev/serial/by-id/... is): one message, the shots taken stay
    // and can be saved, the station connects by itself and the card gets its
    // settings line again; read again, it is saved whole.
    void cablePulledMidCard()
    {
        Station st;
        QVERIFY(st.start() && st.login());
        const QString link = st.dir.filePath(QStringLiteral("rm3"));
        QVERIFY(QFile::link(st.sim.slavePath(), link));
        st.window->maschine().setSerialPort(link);
        st.window->portWaechter().setPruefIntervall(20);
        QVERIFY(st.verbinden());
        st.server->addCard(st.kartenSpec(1001));
        QVERIFY(st.karteBereit(1001, 10));
        // Once pulled, the link dangles: into this test's folder, as a freed
        // pty number may be taken at once by a test running beside this one.
        QVERIFY(QFile::remove(link) && QFile::link(st.dir.filePath(QStringLiteral("weg")), link));
        st.sim.setCloseAfterShots(3);
        st.sim.queueShots(zehnSchuss());
        QVERIFY(st.warteAufFehler(1));
        QCOMPARE(st.fehler.first(),
                 QStringLiteral("Verbindung zur Auswertmaschine via '%1' unterbrochen!").arg(link));
        QCOMPARE(st.maschinenStatus(),
                 QStringLiteral("Maschine: getrennt – wartet auf '%1' – Scheibe 1001 "
                                "wartet auf die Maschine")
                     .arg(link));
        for (unsigned i = 0; i < 3; ++i)
            QVERIFY(st.scheibe(i)->valid());
        QVERIFY(st.speichern()->isEnabled());

        QSignalSpy einstellung(&st.sim, &Rm3Simulator::settingsReceived);
        st.sim.setCloseAfterShots(-1);
        QVERIFY(st.sim.openPty());
        QVERIFY(QFile::remove(link) && QFile::link(st.sim.slavePath(), link));
        QTRY_COMPARE(st.maschinenStatus(), QStringLiteral("Maschine: verbunden"));
        QTRY_COMPARE(einstellung.size(), 1);
        st.sim.queueShots(zehnSchuss());
        QTRY_VERIFY(st.scheibe(9)->valid());
        // Cut once, it does not send itself: the officer saves.
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        QCOMPARE(st.storedOnce(1001), treffer(zehnSchuss()));
        QCOMPARE(st.fehler.size(), 1); // one message, not a flood
    }

    // A faulty machine or cable puts nothing absurd on a shooter's record
    // unseen: the card does not send itself, the totals stay sane, and
    // what the officer saves holds no value beyond the machine's range.
    void absurdShots_data()
    {
        QTest::addColumn<QByteArray>("zeile");
        QTest::addColumn<bool>("gueltig"); // the target shows the shot
        QTest::newRow("rings 1e308") << QByteArray("3;1e308;145;0.05;-0.1;") << false;
        QTest::newRow("rings 999999") << QByteArray("3;999999;145;0.05;-0.1;") << false;
        QTest::newRow("rings 11.5") << QByteArray("3;11.5;145;0.05;-0.1;") << false;
        QTest::newRow("teiler 1e308") << QByteArray("3;9.7;1e308;0.05;-0.1;") << true;
        QTest::newRow("teiler 999999") << QByteArray("3;9.7;999999;0.05;-0.1;") << true;
        QTest::newRow("x 1e308") << QByteArray("3;9.7;145;1e308;-0.1;") << false;
        QTest::newRow("y off the face") << QByteArray("3;9.7;145;0.05;-14;") << false;
        QTest::newRow("hexadecimal rings") << QByteArray("3;0x1p3;145;0.05;-0.1;") << true;
    }

    void absurdShots()
    {
        QFETCH(QByteArray, zeile);
        QFETCH(bool, gueltig);
        Station st;
        QVERIFY(st.bereit(1001));
        const QList<Shot> schuesse = zehnSchuss();
        for (int i = 0; i < schuesse.size(); ++i)
            st.sim.sendLine(i == 2 ? zeile : Rm3Simulator::shotLine(i + 1, schuesse.at(i)));
        QTRY_VERIFY(st.speichern()->isEnabled());
        QTRY_VERIFY(st.scheibe(9)->valid());
        QCOMPARE(st.scheibe(2)->valid(), gueltig);
        QTest::qWait(100);
        QCOMPARE(st.server->submissionCount(st.server->cardId(1001)), 0);
        QVERIFY2(st.ringe().size() <= 9, qPrintable(st.ringe())); // "95 / 95", never "2147483647"
        QTest::mouseClick(st.speichern(), Qt::LeftButton);
        const QList<Hit> gespeichert = st.storedOnce(1001);
        QCOMPARE(gespeichert.size(), 10);
        const Hit h = gespeichert.at(2);
        QVERIFY(h.r <= 10.9 && h.t <= 5000 && std::fabs(h.x) <= 11.1 && std::fabs(h.y) <= 11.1);
        QCOMPARE(h.r >= 0, gueltig);
    }

    // What an unusable config.json reads as is Konfiguration's business; the
    // window must come up even with an endless one, and say so before the
    // unreachable server that the file's built-in values name.
    void windowStartsWithAnEndlessConfiguration()
    {
        Station st; // closes whatever box the unreachable server brings
        MainWindow fenster(nullptr, QStringLiteral("/dev/zero"));
        QTRY_COMPARE_WITH_TIMEOUT(st.fehler.size(), 2, 10000);
        QVERIFY(st.fehler.first().startsWith(
            QLatin1String("Die Einstellungsdatei /dev/zero ist nicht in Ordnung:")));
        QVERIFY(st.fehler.first().endsWith(QStringLiteral("„Datei“ → „Einstellungen…“ ändern.")));
        QVERIFY2(st.fehler.last().startsWith(QLatin1String("Netzwerkfehler!")), qPrintable(st.fehler.last()));
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

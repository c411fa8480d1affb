#pragma once

// A whole station for end-to-end tests: the real MainWindow in a temporary
// working directory whose config.json points at an in-process competition
// server (real HTTP, temporary SQLite) and at the machine emulator on a real
// pseudo-terminal. "Fehler" boxes are closed from a timer and their texts
// kept, and questions answered with `antwort`, so a test can run through
// nested event loops like an officer. With a proxy between station and
// server, a test can hold replies back and let them arrive late.

#include "app/mainwindow.h"
#include "holdingproxy.h"
#include "kovritserver.h"
#include "rm3simulator.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The process's log, for tests that look for a diagnostic line: collected
// from protokollStarten() on; warnings still reach the test output.
inline QStringList &protokoll()
{
    static QStringList zeilen;
    return zeilen;
}
inline void protokollStarten()
{
    static const QtMessageHandler standard
        = qInstallMessageHandler([](QtMsgType typ, const QMessageLogContext &kontext, const QString &text) {
              protokoll() << text;
              if (typ != QtInfoMsg && typ != QtDebugMsg)
                  standard(typ, kontext, text);
          });
}
inline bool protokolliert(const QString &text)
{
    return std::any_of(protokoll().cbegin(), protokoll().cend(),
                       [&](const QString &z) { return z.contains(text); });
}

using Shot = Rm3Simulator::Shot;
using Hit = KovritServer::Hit;

// Stored hits compare as QCOMPARE compares doubles, and print on a mismatch.
inline bool operator==(const Hit &a, const Hit &b)
{
    const auto gleich
        = [](double u, double v) { return qFuzzyIsNull(v) ? qFuzzyIsNull(u) : qFuzzyCompare(u, v); };
    return gleich(a.x, b.x) && gleich(a.y, b.y) && gleich(a.r, b.r) && gleich(a.t, b.t);
}
inline QDebug operator<<(QDebug d, const Hit &h)
{
    return d.nospace() << "Hit(" << h.x << ", " << h.y << ", " << h.r << ", " << h.t << ')';
}

// Ten clean shots with values that travel exactly through every wire.
inline QList<Shot> zehnSchuss()
{
    QList<Shot> shots;
    for (int i = 0; i < 10; ++i)
        shots << Shot { 0.25 * i, -0.5, 10.9 - 0.2 * i, 100.5 + 10 * i };
    return shots;
}
inline QList<Shot> sauber(int n)
{
    return zehnSchuss().mid(0, n);
}
inline Shot doubtful(Shot s)
{
    s.doubtful = true;
    return s;
}

// The machine's lines for `shots`, the first at position `erste`.
inline QByteArray shotLines(const QList<Shot> &shots, int erste = 1)
{
    QByteArray zeilen;
    for (const Shot &s : shots)
        zeilen += Rm3Simulator::shotLine(erste++, s) + '\r';
    return zeilen;
}

// What the server must store for `shots`.
inline QList<Hit> treffer(const QList<Shot> &shots)
{
    QList<Hit> hits;
    for (const Shot &s : shots)
        hits << Hit { s.x, s.y, s.rings, s.teiler };
    return hits;
}

class Station : public QObject
{
    // Members are torn down from the last up: the window before the server
    // and the emulator it talks to, while boxes are still being closed.
    QTimer _boxCloser;
    QList<QPointer<QMessageBox>> _closing;

public:
    static constexpr const char *User = "aufsicht";
    static constexpr const char *Password = "Zehn,9";

    QTemporaryDir dir;
    Rm3Simulator sim;
    std::unique_ptr<HoldingProxy> proxy;
    std::unique_ptr<KovritServer> server;
    quint32 wettkampf = 0;
    quint16 port = 0;
    std::unique_ptr<MainWindow> window;
    QStringList fehler; // texts of the "Fehler" boxes, in order
    QStringList statusBeiFehler; // the machine's status label while each box was open
    QStringList fragen; // texts of the questions, in order
    QMessageBox::StandardButton antwort = QMessageBox::Yes;
    QString zugangInUrl; // "user:password@", put into the server URL of config.json

    Station()
    {
        connect(&_boxCloser, &QTimer::timeout, this, [this] { closeBoxes(); });
        _boxCloser.start(20);
    }

    // Server with one competition and the officer's account, emulator on a
    // pty, config.json, and the window (shown, so the grid has a size).
    bool start(bool ueberProxy = false)
    {
        QFile config(dir.filePath(QStringLiteral("config.json")));
        if (!startServer(0)
            || !(wettkampf = server->addCompetition(QStringLiteral("Kreismeisterschaft 2026")))
            || !server->addUser(QLatin1String(User), QLatin1String(Password)) || !sim.openPty()
            || !config.open(QIODevice::WriteOnly))
            return false;
        sim.setInterval(20);
        QString url = server->baseUrl();
        if (ueberProxy) {
            proxy = std::make_unique<HoldingProxy>(port);
            if (!proxy->listen())
                return false;
            url = QStringLiteral("http://127.0.0.1:%1%2").arg(proxy->port()).arg(KovritServer::BasePath);
        }
        url.replace(QLatin1String("://"), QLatin1String("://") + zugangInUrl);
        config.write(QJsonDocument(QJsonObject { { "url", url },
                                                 { "jwt", server->stationToken() },
                                                 { "port", sim.slavePath() } })
                         .toJson());
        config.close();
        window = std::make_unique<MainWindow>(nullptr, config.fileName());
        window->maschine().setTimerIntervalle(2000, 600, 20);
        window->resize(1280, 800);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    bool startServer(quint16 p)
    {
        server = std::make_unique<KovritServer>();
        if (!server->open(dir.filePath(QStringLiteral("server.sqlite"))))
            return false;
        server->setStationToken(QStringLiteral("station-7"));
        return (port = server->listen(QHostAddress(QHostAddress::LocalHost), p)) != 0;
    }

    // --- what the officer sees and touches -------------------------------

    template<typename T> T *find(const char *name = nullptr) const
    {
        return name ? window->findChild<T *>(QLatin1String(name)) : window->findChild<T *>();
    }
    QAction *action(const char *name) const { return find<QAction>(name); }
    QString status() const { return window->statusBar()->currentMessage(); }
    QString maschinenStatus() const { return find<QLabel>("maschinenStatus")->text(); }
    ScheibenLayout *grid() const { return find<ScheibenLayout>(); }
    LxScheibe *scheibe(unsigned i) const { return grid() ? grid()->getScheibe(i) : nullptr; }
    QLineEdit *karte() const { return find<QLineEdit>("scheibe"); }
    QString ringe() const { return find<QLabel>("ringe")->text(); }
    QString zehntel() const { return find<QLabel>("zehntel")->text(); }
    QString schuetze() const { return find<QLineEdit>("schutze")->text(); }
    QString meldung() const { return find<QLabel>("meldung")->text(); }
    QPushButton *speichern() const { return find<QPushButton>("speichernButton"); }
    QPushButton *abbrechen() const { return find<QPushButton>("abbrechenButton"); }

    bool login()
    {
        auto *select = find<QComboBox>("wettkampfSelect");
        if (!select || !QTest::qWaitFor([&] { return select->findData(wettkampf) > 0; }, 5000))
            return false;
        select->setCurrentIndex(select->findData(wettkampf));
        QTest::keyClicks(find<QLineEdit>("userEdit"), QLatin1String(User));
        // Return after the password logs in, as the officer expects.
        QTest::keyClicks(find<QLineEdit>("passwordEdit"), QLatin1String(Password));
        QTest::keyClick(find<QLineEdit>("passwordEdit"), Qt::Key_Return);
        return QTest::qWaitFor([&] { return grid() != nullptr; }, 5000);
    }

    bool verbinden()
    {
        action("connect")->trigger();
        return QTest::qWaitFor([&] { return maschinenStatus() == QStringLiteral("Maschine: verbunden"); },
                               5000);
    }

    // Types the card number and presses Return, as a scanner does.
    void tippen(quint32 nummer)
    {
        QTest::keyClicks(karte(), QString::number(nummer));
        QTest::keyClick(karte(), Qt::Key_Return);
    }

    // Types the card number and presses Return; true once the card's
    // targets stand, false if a "Fehler" box came instead.
    bool karteEingeben(quint32 nummer, unsigned erwarteteScheiben)
    {
        const int boxen = fehler.size();
        karte()->setText(QString::number(nummer));
        QTest::keyClick(karte(), Qt::Key_Return);
        const auto fertig = [&] {
            return fehler.size() > boxen || (grid() && grid()->getScheibenzahl() == erwarteteScheiben);
        };
        return QTest::qWaitFor(fertig, 5000) && fehler.size() == boxen;
    }

    KovritServer::CardSpec kartenSpec(quint32 nummer, int schuss = 10, int waffe = 1) const
    {
        KovritServer::CardSpec karte;
        karte.competitionId = wettkampf;
        karte.nummer = nummer;
        karte.schussProScheibe = schuss;
        karte.weaponType = waffe;
        karte.weapon = waffe == 2 ? QStringLiteral("Luftpistole") : QStringLiteral("Luftgewehr");
        return karte;
    }

    // Waits for the card's first submission, and a moment for a second;
    // the hits stored, or none if it was not submitted exactly once.
    QList<Hit> storedOnce(quint32 nummer) const
    {
        const quint32 id = server->cardId(nummer);
        if (QTest::qWaitFor([&] { return server->submissionCount(id) > 0; }, 10000))
            QTest::qWait(100);
        if (server->submissionCount(id) == 1)
            return server->storedHits(id);
        qWarning("card %u submitted %d times", nummer, server->submissionCount(id));
        return {};
    }

    // The settings lines the emulator received, without the CR.
    QList<QByteArray> einstellungen() const
    {
        QList<QByteArray> zeilen;
        Rm3Simulator::Settings s;
        for (const QByteArray &z : sim.receivedLines())
            if (Rm3Simulator::decodeSettings(z, &s))
                zeilen << z;
        return zeilen;
    }

    // Logged in, machine connected, card `nummer` fetched and the machine set
    // up for it.
    bool bereit(quint32 nummer, int schuss = 10, int waffe = 1, bool ueberProxy = false)
    {
        if (!start(ueberProxy) || !login() || !verbinden())
            return false;
        server->addCard(kartenSpec(nummer, schuss, waffe));
        return karteBereit(nummer, schuss);
    }

    // Types a card that is on the server and waits for its settings line.
    bool karteBereit(quint32 nummer, int schuss)
    {
        const int vorher = einstellungen().size();
        return karteEingeben(nummer, unsigned(schuss))
            && QTest::qWaitFor([&] { return einstellungen().size() > vorher; }, 5000);
    }

    // Queues the shots and waits until the machine has sent the whole card
    // and the window shows its last shot.
    bool schiessen(const QList<Shot> &shots)
    {
        QSignalSpy fertig(&sim, &Rm3Simulator::cardFinished);
        sim.queueShots(shots);
        LxScheibe *letzte = scheibe(unsigned(shots.size() - 1));
        return letzte && QTest::qWaitFor([&] { return !fertig.isEmpty() && letzte->valid(); }, 10000);
    }

    bool warteAufFehler(int anzahl)
    {
        return QTest::qWaitFor([&] { return fehler.size() >= anzahl; }, 5000);
    }

private:
    void closeBoxes()
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *w : widgets) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || _closing.contains(box))
                continue;
            _closing << box;
            if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
                fehler << box->text();
                statusBeiFehler << (window ? maschinenStatus() : QString());
                ok->click();
            } else {
                fragen << box->text();
                if (antwort != QMessageBox::NoButton) // NoButton: the test answers
                    box->button(antwort)->click();
            }
        }
        _closing.removeIf([](const QPointer<QMessageBox> &p) { return p.isNull() || !p->isVisible(); });
    }
};

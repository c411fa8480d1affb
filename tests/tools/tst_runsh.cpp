#include "machine/maschine.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// run.sh as a club's volunteer uses it, on the already built tree: it must
// bring the stand-ins and the client up with a configuration that fits, and
// leave nothing running behind when the client closes or Ctrl-C is pressed.

namespace {

// Processes whose command line or working directory points into dir.
QStringList prozesseIn(const QString &dir, qint64 ausser = -1)
{
    QStringList gefunden;
    const QStringList pids
        = QDir(QStringLiteral("/proc")).entryList({ QStringLiteral("[0-9]*") }, QDir::Dirs);
    for (const QString &pid : pids) {
        if (pid.toLongLong() == ausser)
            continue;
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QString zeile = QString::fromLocal8Bit(cmd.readAll()).replace(QChar(0), QChar(' '));
        const QString cwd = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget();
        if (zeile.contains(dir) || cwd == dir)
            gefunden << pid + QLatin1Char(' ') + zeile;
    }
    return gefunden;
}

qint64 client(const QString &dir)
{
    for (const QString &p : prozesseIn(dir)) {
        const QString pid = p.section(QLatin1Char(' '), 0, 0);
        if (QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))).fileName()
            == QLatin1String("kovrit"))
            return pid.toLongLong();
    }
    return -1;
}

// A failed check must not leave the demo running: Ctrl-C, as a user would.
struct Aufraeumen
{
    QProcess &p;
    ~Aufraeumen()
    {
        if (p.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(p.processId()), SIGINT);
        p.waitForFinished(15000);
    }
};

} // namespace

class TestRunSh : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;
    QString demo() const { return _dir.filePath(QStringLiteral("demo")); }

    void starte(QProcess &p, const QStringList &args, bool display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KOVRIT_NO_BUILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("KOVRIT_BUILD_DIR"), QStringLiteral(KOVRIT_BUILD_DIR));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"),
                QStringList { QStringLiteral(KOVRIT_RUN_SH), QStringLiteral("--dir"), demo() } + args);
        QVERIFY(p.waitForStarted());
    }

    QJsonObject config() const
    {
        QFile f(demo() + QStringLiteral("/config.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }

private slots:
    void helpListsTheOptions()
    {
        QProcess p;
        starte(p, { QStringLiteral("--help") }, false);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray text = p.readAll();
        for (const char *option : { "--port", "--no-sim", "--tour", "--check", "--no-build" })
            QVERIFY2(text.contains(option), option);
    }

    void withoutDisplayPointsToTheTour()
    {
        QProcess p;
        starte(p, {}, false);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAll().contains("./run.sh --tour"));
        QVERIFY(prozesseIn(demo()).isEmpty());
    }

    void realMachineCheckWritesTheConfigAndStops()
    {
        QProcess p;
        starte(p, { QStringLiteral("--no-sim"), QStringLiteral("/dev/ttyUSB0"), QStringLiteral("--check") },
               false);
        QVERIFY(p.waitForFinished(30000));
        const QByteArray text = p.readAll();
        QVERIFY2(p.exitCode() == 0, text.constData());
        const QJsonObject c = config();
        QCOMPARE(c.value(QStringLiteral("port")).toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(c.value(QStringLiteral("jwt")).toString(), QStringLiteral("kovrit-demo-station"));
        QVERIFY(c.value(QStringLiteral("url")).toString().startsWith(QStringLiteral("http://127.0.0.1:")));
        QVERIFY(text.contains("Stand-ins stopped."));
        QVERIFY2(prozesseIn(demo()).isEmpty(), qPrintable(prozesseIn(demo()).join('\n')));
    }

    // The whole demo: stand-ins answer, the client runs in the demo folder;
    // closing the client or Ctrl-C on run.sh ends all of it.
    void wholeDemoEndsWithoutStrays_data()
    {
        QTest::addColumn<bool>("ctrlC");
        QTest::newRow("client closed") << false;
        QTest::newRow("Ctrl-C") << true;
    }

    void wholeDemoEndsWithoutStrays()
    {
        QFETCH(bool, ctrlC);
        QProcess p;
        Aufraeumen aufraeumen { p };
        starte(p, {}, true);
        QByteArray text;
        QVERIFY(QTest::qWaitFor([&] { return (text += p.readAll()).contains("kovrit started"); }, 30000));
        QTRY_VERIFY_WITH_TIMEOUT(client(demo()) > 0, 10000);

        const QJsonObject c = config();
        QFileInfo link(c.value(QStringLiteral("port")).toString());
        QVERIFY(link.isSymLink());
        QVERIFY(link.symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
        // The machine port of config.json leads to the emulator.
        {
            MaschineRm3 maschine;
            maschine.setSerialPort(link.filePath());
            maschine.verbinden();
            QTRY_COMPARE_WITH_TIMEOUT(maschine.zustand(), int(MaschineRm3::Verbunden), 10000);
            maschine.trennen();
        }
        QNetworkAccessManager net;
        QNetworkRequest request(
            QUrl(c.value(QStringLiteral("url")).toString() + QStringLiteral("/wettkampfe")));
        request.setRawHeader("Authorization", "Bearer " + c.value(QStringLiteral("jwt")).toString().toUtf8());
        QNetworkReply *reply = net.get(request);
        QSignalSpy fertig(reply, &QNetworkReply::finished);
        QVERIFY(fertig.wait(10000));
        QVERIFY(reply->readAll().contains("Kreismeisterschaft 2024"));
        delete reply;
        QCOMPARE(prozesseIn(demo(), p.processId()).size(), 3);

        if (ctrlC)
            ::kill(pid_t(p.processId()), SIGINT);
        else
            ::kill(pid_t(client(demo())), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), ctrlC ? 130 : 0);
        QVERIFY(p.readAll().contains("Stand-ins stopped."));
        QVERIFY2(prozesseIn(demo()).isEmpty(), qPrintable(prozesseIn(demo()).join('\n')));
        link.refresh();
        QVERIFY(!link.exists() && !link.isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestRunSh)
#include "tst_runsh.moc"

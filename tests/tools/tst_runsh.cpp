#include "app/konfiguration.h"
#include "machine/maschine.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// run.sh as a club's volunteer uses it, on the already built tree: it must
// bring the stand-ins and the client up with a configuration that fits, and
// leave nothing running behind when the client closes or Ctrl-C is pressed.

namespace {

// "pid command line" of the processes whose command line or working
// directory points into dir.
QStringList prozesseIn(const QString &dir)
{
    QStringList gefunden;
    for (const QString &pid :
         QDir(QStringLiteral("/proc")).entryList({ QStringLiteral("[0-9]*") }, QDir::Dirs)) {
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QString zeile = QString::fromLocal8Bit(cmd.readAll()).replace(QChar(0), QChar(' '));
        if (zeile.contains(dir) || QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)) == dir)
            gefunden << pid + QLatin1Char(' ') + zeile;
    }
    return gefunden;
}

qint64 client(const QString &dir)
{
    for (const QString &p : prozesseIn(dir)) {
        if (p.section(QLatin1Char(' '), 1, 1).endsWith(QLatin1String("/kovrit")))
            return p.section(QLatin1Char(' '), 0, 0).toLongLong();
    }
    return -1;
}

} // namespace

class TestRunSh : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;
    QString demo() const { return _dir.filePath(QStringLiteral("demo")); }

    void starte(QProcess &p, bool display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QLatin1String(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KOVRIT_NO_BUILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("KOVRIT_BUILD_DIR"), QStringLiteral(KOVRIT_BUILD_DIR));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"), { QStringLiteral(KOVRIT_RUN_SH), QStringLiteral("--dir"), demo() });
        QVERIFY(p.waitForStarted());
    }

private slots:
    // Without a display the user is pointed to the tour.
    void noDisplay()
    {
        QProcess p;
        starte(p, false);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAll().contains("./run.sh --tour"));
    }

    // The whole demo: the configured port leads to the emulator, the client
    // reaches the server; closing the client or Ctrl-C on run.sh ends all of
    // it, the emulator's link included.
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
        // A failed check must not leave the demo running: Ctrl-C, as a user would.
        const auto aufraeumen = qScopeGuard([&p] {
            if (p.state() != QProcess::NotRunning && ::kill(pid_t(p.processId()), SIGINT) == 0)
                p.waitForFinished(15000);
        });
        starte(p, true);
        QByteArray text;
        QVERIFY(QTest::qWaitFor([&] { return (text += p.readAll()).contains("kovrit started"); }, 30000));

        // The emulator reads a card of one shot.
        QFileInfo link(Konfiguration::lesen(demo() + QStringLiteral("/config.json")).port);
        MaschineRm3 maschine(link.filePath());
        QSignalSpy schuss(&maschine, &MaschineRm3::schuss);
        maschine.verbinden();
        QTRY_COMPARE_WITH_TIMEOUT(maschine.zustand(), int(MaschineRm3::Verbunden), 10000);
        QVERIFY(maschine.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                          MaschineRm3::Teilerfaktor(2), 1, QString()));
        QVERIFY(schuss.wait(10000));
        maschine.trennen();
        // The client got the competitions with the configured address and token.
        QFile log(demo() + QStringLiteral("/server.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QByteArray eintraege;
        QTRY_VERIFY_WITH_TIMEOUT((eintraege += log.readAll()).contains("GET /quilvo/wettkampfe 200"), 10000);
        QCOMPARE(prozesseIn(demo()).size(), 4); // run.sh, server, emulator, client

        ::kill(pid_t(ctrlC ? p.processId() : client(demo())), ctrlC ? SIGINT : SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), ctrlC ? 130 : 0);
        QVERIFY2(prozesseIn(demo()).isEmpty(), qPrintable(prozesseIn(demo()).join('\n')));
        link.refresh();
        QVERIFY(!link.exists() && !link.isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestRunSh)
#include "tst_runsh.moc"

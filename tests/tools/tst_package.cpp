#include "kovritserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The Debian package as an installer sees it: built by CPack from this tree,
// holding the program, its desktop entry and icon, depending on the Qt
// runtime, and a program that starts from where the package put it.
class TestPackage : public QObject
{
    Q_OBJECT

private:
    static QByteArray run(const QString &program, const QStringList &args, int *rc = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(180000))
            return "timeout";
        if (rc)
            *rc = p.exitCode();
        return p.readAll();
    }

private slots:
    void debHoldsTheProgramAndStarts()
    {
        QTemporaryDir dir;
        int rc = -1;
        const QByteArray log
            = run("cpack",
                  { "-G", "DEB", "-B", dir.path(), "--config", KOVRIT_BUILD_DIR "/CPackConfig.cmake" }, &rc);
        QVERIFY2(rc == 0, log.constData());
        const QStringList debs = QDir(dir.path()).entryList({ "kovrit_*.deb" });
        QCOMPARE(debs.size(), 1);
        const QString deb = dir.filePath(debs.first());

        const QByteArray inhalt = run("dpkg-deb", { "-c", deb });
        // The program and its desktop entry are used below.
        QVERIFY(inhalt.contains("./usr/share/icons/hicolor/256x256/apps/kovrit.png"));
        QVERIFY(!inhalt.contains("kovrit-server"));
        const QByteArray depends = run("dpkg-deb", { "-f", deb, "Depends" });
        for (const char *paket : { "libqt6widgets6", "libqt6network6", "libqt6serialport6", "qt6-qpa-plugins",
                                   "qt6-translations-l10n" })
            QVERIFY2(depends.contains(paket), depends.constData());

        const QString root = dir.filePath("root");
        run("dpkg-deb", { "-x", deb, root });
        QFile desktop(root + "/usr/share/applications/kovrit.desktop");
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QByteArray eintrag = desktop.readAll();
        QVERIFY(eintrag.contains("\nExec=kovrit\n") && eintrag.contains("\nIcon=kovrit\n"));

        // Started in a folder with a config.json, the program builds its
        // window and asks the server for the competitions.
        KovritServer server;
        QVERIFY(server.open(dir.filePath("server.sqlite")));
        QVERIFY(server.seedDemo());
        QVERIFY(server.listen() != 0);
        QFile config(dir.filePath("config.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        const QString json = QStringLiteral(R"({"url": "%1", "jwt": "%2"})");
        config.write(json.arg(server.baseUrl(), server.stationToken()).toUtf8());
        config.close();
        QSignalSpy anfragen(&server, &KovritServer::requestHandled);
        QProcess kovrit;
        kovrit.setWorkingDirectory(dir.path());
        kovrit.start(root + "/usr/bin/kovrit");
        QVERIFY(kovrit.waitForStarted());
        QVERIFY(anfragen.wait(20000));
        QCOMPARE(anfragen.first().mid(1), (QList<QVariant> { "/quilvo/wettkampfe", 200 }));
        QCOMPARE(kovrit.state(), QProcess::Running); // the destructor ends it
        // The toolkit's dialogs speak German from the package's dependency.
        QVERIFY(kovrit.readAllStandardError().contains("Sprache::deutsch: loaded"));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"

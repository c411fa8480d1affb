#include "machine/maschine.h"
#include "targets/lxscheibe.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

// Random shots must be the same sequence in every run, so a demonstration or
// a bug report can be reproduced. The test starts itself as a second process
// ("--print N WAFFE") and compares that process's shots with its own.

namespace {

QStringList schuesse(int anzahl, MaschineRm3::Waffe waffe)
{
    MaschineRm3 maschine;
    QStringList zeilen;
    QObject::connect(
        &maschine, &MaschineRm3::schuss,
        [&](quint32 nummer, bool valid, double ringe, double teiler, double x, double y, bool z) {
            zeilen << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                          .arg(nummer)
                          .arg(valid)
                          .arg(ringe, 0, 'g', 17)
                          .arg(teiler, 0, 'g', 17)
                          .arg(x, 0, 'g', 17)
                          .arg(y, 0, 'g', 17)
                          .arg(z);
        });
    for (int i = 0; i < anzahl; ++i)
        maschine.emitZufallsSchuss(quint32(i), waffe);
    return zeilen;
}

QStringList ausProzess(int anzahl, int waffe)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--print"), QString::number(anzahl), QString::number(waffe) });
    if (!p.waitForFinished(20000))
        return {};
    return QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestZufallsSchuss : public QObject
{
    Q_OBJECT

private slots:
    void sameSequenceInEveryProcess()
    {
        const QStringList eins = ausProzess(200, MaschineRm3::Luftgewehr);
        const QStringList zwei = ausProzess(200, MaschineRm3::Luftgewehr);
        QCOMPARE(eins.size(), 200);
        QCOMPARE(eins, zwei);
        // The first shots of this process are the same too.
        QCOMPARE(schuesse(200, MaschineRm3::Luftgewehr), eins);
    }

    void shotsAreScoredAndInRange()
    {
        MaschineRm3 maschine;
        QSignalSpy spy(&maschine, &MaschineRm3::schuss);
        for (quint32 i = 0; i < 2000; ++i)
            maschine.emitZufallsSchuss(i % 10, MaschineRm3::Luftgewehr);
        QCOMPARE(spy.count(), 2000);
        bool zweifelhaftGesehen = false;
        for (const QList<QVariant> &s : spy) {
            const double x = s.at(4).toDouble();
            const double y = s.at(5).toDouble();
            QVERIFY(s.at(1).toBool());
            QVERIFY(x >= -11.0 && x <= 10.99);
            QVERIFY(y >= -11.0 && y <= 10.99);
            // steps of 0.01 ring widths
            QCOMPARE(qRound64(x * 100) / 100.0, x);
            QCOMPARE(s.at(2).toDouble(), LxScheibe::ringe(x, y));
            QCOMPARE(s.at(3).toDouble(), LxScheibe::_teiler(x, y, 250.0));
            QCOMPARE(s.at(6).toBool(), std::abs(x - y) < 1.0);
            zweifelhaftGesehen = zweifelhaftGesehen || s.at(6).toBool();
        }
        QVERIFY(zweifelhaftGesehen);
        // Needs neither a port nor a connection, and leaves the link alone.
        QCOMPARE(maschine.zustand(), 0);
        QCOMPARE(maschine.schusszahl(), 0u);
    }

    void pistolTeilerIs3point2TimesRifle()
    {
        const QStringList lg = ausProzess(50, MaschineRm3::Luftgewehr);
        const QStringList lp = ausProzess(50, MaschineRm3::Luftpistole);
        QCOMPARE(lg.size(), 50);
        QCOMPARE(lp.size(), 50);
        for (int i = 0; i < 50; ++i) {
            const QStringList a = lg.at(i).split(' ');
            const QStringList b = lp.at(i).split(' ');
            QCOMPARE(a.at(4), b.at(4)); // same x
            QCOMPARE(a.at(5), b.at(5)); // same y
            const double tg = a.at(3).toDouble();
            const double tp = b.at(3).toDouble();
            QVERIFY(qAbs(tp - 3.2 * tg) <= 1e-9 * qMax(1.0, tp));
        }
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--print") == 0) {
        QCoreApplication app(argc, argv);
        const auto zeilen = schuesse(atoi(argv[2]), MaschineRm3::Waffe(atoi(argv[3])));
        for (const QString &z : zeilen)
            std::printf("%s\n", qPrintable(z));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestZufallsSchuss test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_zufallsschuss.moc"

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

QList<QList<QVariant>> schuesse(int anzahl, MaschineRm3::Waffe waffe)
{
    MaschineRm3 maschine;
    QSignalSpy spy(&maschine, &MaschineRm3::schuss);
    for (int i = 0; i < anzahl; ++i)
        maschine.emitZufallsSchuss(quint32(i), waffe);
    return spy;
}

QStringList alsText(const QList<QList<QVariant>> &schuesse)
{
    QStringList zeilen;
    for (const auto &s : schuesse) {
        QStringList felder;
        for (const QVariant &v : s)
            felder << (v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 17) : v.toString());
        zeilen << felder.join(' ');
    }
    return zeilen;
}

QStringList ausProzess(int anzahl, int waffe)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--print"), QString::number(anzahl), QString::number(waffe)});
    p.waitForFinished(20000);
    return QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestZufallsSchuss : public QObject
{
    Q_OBJECT

private slots:
    void sameSequenceInEveryProcess()
    {
        const QStringList lg = ausProzess(200, MaschineRm3::Luftgewehr);
        QCOMPARE(lg.size(), 200);
        QCOMPARE(ausProzess(200, MaschineRm3::Luftgewehr), lg);
        QCOMPARE(alsText(schuesse(200, MaschineRm3::Luftgewehr)), lg);

        // The same positions on the pistol face give 3.2 times the Teiler.
        const QStringList lp = ausProzess(200, MaschineRm3::Luftpistole);
        for (int i = 0; i < 200; ++i) {
            const QStringList a = lg.at(i).split(' '), b = lp.at(i).split(' ');
            QCOMPARE(b.at(4), a.at(4));
            QCOMPARE(b.at(5), a.at(5));
            QVERIFY(qAbs(b.at(3).toDouble() - 3.2 * a.at(3).toDouble()) <= 1e-9 * qMax(1.0, b.at(3).toDouble()));
        }
    }

    void shotsAreScoredAndInRange()
    {
        MaschineRm3 maschine;
        const auto alle = schuesse(2000, MaschineRm3::Luftgewehr);
        int zweifelhaft = 0;
        for (const QList<QVariant> &s : alle) {
            const double x = s.at(4).toDouble(), y = s.at(5).toDouble();
            QVERIFY(s.at(1).toBool());
            QVERIFY(x >= -11.0 && x <= 10.99 && y >= -11.0 && y <= 10.99);
            QCOMPARE(qRound64(x * 100) / 100.0, x); // steps of 0.01 ring widths
            QCOMPARE(s.at(2).toDouble(), LxScheibe::ringe(x, y));
            QCOMPARE(s.at(3).toDouble(), LxScheibe::_teiler(x, y, 250.0));
            QCOMPARE(s.at(6).toBool(), std::abs(x - y) < 1.0);
            zweifelhaft += s.at(6).toBool();
        }
        QVERIFY(zweifelhaft > 0);
        // Needs neither a port nor a connection, and leaves the link alone.
        maschine.emitZufallsSchuss(0, MaschineRm3::Luftgewehr);
        QCOMPARE(maschine.zustand(), 0);
        QCOMPARE(maschine.schusszahl(), 0u);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--print") == 0) {
        for (const QString &z : alsText(schuesse(atoi(argv[2]), MaschineRm3::Waffe(atoi(argv[3])))))
            std::printf("%s\n", qPrintable(z));
        return 0;
    }
    TestZufallsSchuss test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_zufallsschuss.moc"

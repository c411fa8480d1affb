#include "kovritdemo.h"

#include "kovritstore.h"

#include <QDateTime>

bool KovritDemo::seed(KovritStore &store)
{
    if (!store.isEmpty())
        return false;

    const quint32 km = store.addCompetition(QStringLiteral("Kreismeisterschaft 2024"));
    const quint32 vm = store.addCompetition(QStringLiteral("Vereinsmeisterschaft 2024"));
    if (km == 0 || vm == 0 || !store.addUser(QLatin1String(User), QLatin1String(Password)))
        return false;
    if (store.stationToken().isEmpty())
        store.setStationToken(QLatin1String(StationToken));

    const qint64 purchased = QDateTime(QDate(2024, 3, 12), QTime(18, 30), Qt::UTC).toSecsSinceEpoch();
    const qint64 evaluated = QDateTime(QDate(2024, 3, 12), QTime(19, 5), Qt::UTC).toSecsSinceEpoch();

    auto card
        = [&](quint32 competition, quint32 nummer, const QString &shooter, const QString &club,
              const QString &team, const QString &weapon, int type, int shots, double factor, int perSeries,
              const QStringList &events, const QList<KovritStore::Hit> &hits = {}, quint32 series = 0) {
              KovritStore::CardSpec karte;
              karte.competitionId = competition;
              karte.nummer = nummer;
              karte.seriesId = series;
              karte.weaponType = type;
              karte.schussProScheibe = shots;
              karte.teilerFaktor = factor;
              karte.scheibenProSerie = perSeries;
              karte.weapon = weapon;
              karte.shooter = shooter;
              karte.club = club;
              karte.team = team;
              karte.events = events;
              karte.purchasedAt = purchased;
              karte.evaluatedAt = hits.isEmpty() ? 0 : evaluated;
              karte.hits = hits;
              return store.addCard(karte);
          };

    const QString tell = QStringLiteral("SV Tell Hinterdorf");
    const QString edelweiss = QStringLiteral("SG Edelweiß Oberau");
    const QString muehlbach = QStringLiteral("Schützengilde Mühlbach");
    const QString seewinkel = QStringLiteral("BSV Seewinkel");
    const QString lg = QStringLiteral("Luftgewehr");
    const QString lg5 = QStringLiteral("Luftgewehr Auflage 5 Schuss");
    const QString lp = QStringLiteral("Luftpistole");
    const QString lpTeiler = QStringLiteral("Luftpistole Teilerwertung");
    const QString lg40 = QStringLiteral("Luftgewehr 40 Schuss");
    const QStringList herren { QStringLiteral("Einzel Herren"), QStringLiteral("Mannschaft") };
    const QStringList damen { QStringLiteral("Einzel Damen"), QStringLiteral("Mannschaft") };
    const QStringList jugend { QStringLiteral("Jugend") };
    const QStringList senioren { QStringLiteral("Auflage Senioren") };
    const QStringList teiler { QStringLiteral("Bester Teiler") };

    // Four hits already stored, the rest of the card still to be shot.
    const QList<KovritStore::Hit> partial { { 0.12, -0.30, 10.4, 82.7 },
                                            { -0.85, 0.41, 9.8, 236.2 },
                                            { 1.52, 0.77, 8.9, 426.0 },
                                            { 0.05, 0.02, 10.9, 13.5 } };
    QList<KovritStore::Hit> full;
    for (int i = 0; i < 10; ++i)
        full.append({ 0.1 * i - 0.4, 0.35 - 0.07 * i, 9.0 + 0.1 * i, 120.0 + 25.0 * i });

    bool ok = true;
    ok &= card(km, 1001, QStringLiteral("Anna Berger"), tell, QStringLiteral("Hinterdorf I"), lg, 1, 10, 1.0,
               1, damen)
        != 0;
    ok &= card(km, 1002, QStringLiteral("Markus Huber"), tell, QStringLiteral("Hinterdorf I"), lg, 1, 10, 1.0,
               1, herren, partial)
        != 0;
    ok &= card(km, 1003, QStringLiteral("Lena Maier"), edelweiss, QStringLiteral("Oberau I"), lg5, 1, 5, 1.0,
               1, senioren)
        != 0;
    ok &= card(km, 1004, QStringLiteral("Josef Gruber"), muehlbach, QString(), lp, 2, 10, 1.0, 1, herren)
        != 0;
    ok &= card(km, 1005, QStringLiteral("Sabine Wimmer"), edelweiss, QStringLiteral("Oberau I"), lpTeiler, 2,
               10, 3.2, 1, teiler)
        != 0;
    const quint32 first = card(km, 1011, QStringLiteral("Tobias Egger"), muehlbach,
                               QStringLiteral("Mühlbach Jugend"), lg40, 1, 10, 1.0, 4, jugend, full);
    ok &= first != 0;
    const quint32 series = store.seriesId(first);
    for (quint32 n = 1012; n <= 1014; ++n)
        ok &= card(km, n, QString(), QString(), QString(), QString(), 1, 10, 1.0, 4, {}, {}, series) != 0;
    ok &= card(vm, 2001, QStringLiteral("Anna Berger"), tell, QString(), lg, 1, 10, 1.0, 1,
               { QStringLiteral("Vereinsmeister") })
        != 0;
    ok &= card(vm, 2002, QStringLiteral("Peter Lang"), seewinkel, QString(), lp, 2, 10, 1.0, 1,
               { QStringLiteral("Pokal") })
        != 0;
    return ok;
}

#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "kovritdatabase.h"

#include <optional>

// The competition server's SQLite database: schema, queries and the
// transactions that keep a card, its hits and its series totals consistent.
//
// Passwords are kept as PBKDF2-SHA-256 hashes with a salt and iteration count
// per account, login tokens only as SHA-256 hashes: a copy of the file hands
// out neither.
class KovritStore
{
public:
    // One stored hit; r and t of -1 stand for null ("no hit" / "no Teiler").
    struct Hit
    {
        double x = 0.0;
        double y = 0.0;
        double r = -1.0;
        double t = -1.0;
    };

    struct SeriesTotals
    {
        int ringe = 0; // whole rings, summed per hit
        double zehntel = 0.0; // ring values with tenths, summed
    };

    // Everything needed to create a card; clubs, teams, shooters, weapon
    // classes and events are found by name or created.
    struct CardSpec
    {
        quint32 competitionId = 0;
        quint32 nummer = 0; // printed number, what the officer types
        quint32 seriesId = 0; // 0: the card opens a new series
        int weaponType = 1; // 1 air rifle, 2 air pistol
        int schussProScheibe = 10;
        double teilerFaktor = 1.0;
        int scheibenProSerie = 1;
        QString weapon = QStringLiteral("Luftgewehr");
        QString shooter = QStringLiteral("Erika Mustermann");
        QString club = QStringLiteral("SV Musterstadt");
        QString team {}; // empty: no team
        QStringList events {};
        qint64 purchasedAt = 0; // seconds since 1970, 0: unknown
        qint64 evaluatedAt = 0; // seconds since 1970, 0: not evaluated yet
        QList<Hit> hits {};
    };

    // A card with its series, shooter, club, team, weapon class, events and
    // hits, as one read gives it.
    struct CardRecord
    {
        quint32 id = 0;
        quint32 nummer = 0;
        qint64 evaluatedAt = 0; // 0: not evaluated yet
        quint32 seriesId = 0;
        SeriesTotals totals;
        qint64 purchasedAt = 0;
        qint64 shooterId = 0;
        QString shooter;
        qint64 clubId = 0;
        QString club;
        qint64 teamId = 0; // 0: no team
        QString team;
        int weaponType = 0;
        QString weapon;
        int schussProScheibe = 0;
        double teilerFaktor = 1.0;
        int scheibenProSerie = 1;
        QList<QPair<qint64, QString>> events; // id and name, in the series' order
        QList<Hit> hits;
    };

    // More hit slots than any real card has; protects the store from junk.
    static constexpr int MaxHitsPerCard = 100;

    // Opens (and if needed creates) the database file in WAL mode.
    bool open(const QString &file);
    QString errorString() const { return _db.errorString(); } // the last failure

    QString stationToken() const;
    void setStationToken(const QString &token);
    bool isStationToken(const QString &token) const; // compared in constant time

    bool isEmpty() const; // no competition yet
    quint32 addCompetition(const QString &name); // returns the id, 0 on failure
    bool hasCompetition(qint64 id) const;
    QList<QPair<quint32, QString>> competitions() const; // id and name, by id

    bool hasUser(const QString &name) const;
    bool addUser(const QString &name, const QString &password); // replaces the password of a known name
    // The account id when name and password match; an unknown name costs the
    // same time as a wrong password.
    std::optional<qint64> checkPassword(const QString &name, const QString &password) const;

    // Makes a new login token for the account and competition; empty on failure.
    QString issueLoginToken(qint64 competitionId, qint64 accountId, qint64 issuedAt);
    // The competition of a token issued after issuedAfter (seconds since 1970).
    std::optional<quint32> loginTokenCompetition(const QString &token, qint64 issuedAfter) const;

    quint32 addCard(const CardSpec &karte); // returns the card id, 0 on failure
    quint32 cardId(quint32 nummer) const; // 0 when unknown
    quint32 seriesId(quint32 cardId) const;
    std::optional<quint32> cardCompetition(quint32 cardId) const;
    int shotsPerCard(quint32 cardId) const; // its weapon class's, 0 when unknown
    std::optional<CardRecord> card(quint32 nummer, quint32 competitionId) const;
    // Replaces the card's hits, marks it evaluated now, counts the submission
    // and recomputes its series' totals, all or nothing.
    bool storeHits(quint32 cardId, const QList<Hit> &hits);
    QList<Hit> storedHits(quint32 cardId) const;
    std::optional<qint64> evaluatedAt(quint32 cardId) const; // empty when never evaluated
    SeriesTotals seriesTotals(quint32 seriesId) const;
    int submissionCount(quint32 cardId) const;
    QStringList cardSummary() const; // one line per card, for the start-up banner

private:
    bool insertHits(quint32 cardId, const QList<Hit> &hits);
    bool recomputeSeriesTotals(quint32 seriesId);
    QString setting(const QString &key) const;
    void setSetting(const QString &key, const QString &value);

    KovritDatabase _db;
};

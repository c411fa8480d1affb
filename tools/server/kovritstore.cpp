#include "kovritstore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <cmath>

namespace {

// The count is stored with every account so it can be raised later without
// invalidating existing passwords.
constexpr int PasswordIterations = 20000;
constexpr int SaltBytes = 16;
constexpr int TokenBytes = 32;

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS setting (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS competition (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS account (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    " salt BLOB NOT NULL, hash BLOB NOT NULL, iterations INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS login_token (token_hash TEXT PRIMARY KEY,"
    " competition_id INTEGER NOT NULL, account_id INTEGER NOT NULL, issued_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS club (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS team (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE IF NOT EXISTS shooter (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
    " club_id INTEGER NOT NULL, UNIQUE (name, club_id))",
    "CREATE TABLE IF NOT EXISTS weapon_class (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, shots_per_card INTEGER NOT NULL, teiler_factor REAL NOT NULL, cards_per_series "
    "INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS event (id INTEGER PRIMARY KEY, competition_id INTEGER NOT NULL,"
    " name TEXT NOT NULL, UNIQUE (competition_id, name))",
    "CREATE TABLE IF NOT EXISTS series (id INTEGER PRIMARY KEY, competition_id INTEGER NOT NULL,"
    " shooter_id INTEGER NOT NULL, team_id INTEGER, weapon_class_id INTEGER NOT NULL,"
    " purchased_at INTEGER NOT NULL DEFAULT 0, ringe INTEGER NOT NULL DEFAULT 0,"
    " zehntel REAL NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS series_event (series_id INTEGER NOT NULL, event_id INTEGER NOT NULL,"
    " position INTEGER NOT NULL, PRIMARY KEY (series_id, event_id))",
    "CREATE TABLE IF NOT EXISTS card (id INTEGER PRIMARY KEY, number INTEGER NOT NULL UNIQUE,"
    " series_id INTEGER NOT NULL, evaluated_at INTEGER NOT NULL DEFAULT 0,"
    " submissions INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS hit (card_id INTEGER NOT NULL, position INTEGER NOT NULL,"
    " x REAL, y REAL, r REAL, t REAL, PRIMARY KEY (card_id, position))",
};

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return bytes;
}

QString tokenHash(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray passwordHash(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              32);
}

// Compares without an early exit, so the time taken says nothing about how
// much of a guess was right.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

} // namespace

bool KovritStore::open(const QString &file)
{
    if (!_db.open(file))
        return false;
    for (const char *statement : Schema) {
        if (!_db.exec(QString::fromLatin1(statement)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- station and accounts

QString KovritStore::stationToken() const
{
    return setting(QStringLiteral("station_token"));
}

void KovritStore::setStationToken(const QString &token)
{
    setSetting(QStringLiteral("station_token"), token);
}

bool KovritStore::isStationToken(const QString &token) const
{
    const QString station = stationToken();
    return !station.isEmpty() && sameBytes(token.toUtf8(), station.toUtf8());
}

bool KovritStore::isEmpty() const
{
    return _db.scalar(QStringLiteral("SELECT COUNT(*) FROM competition")).toInt() == 0;
}

quint32 KovritStore::addCompetition(const QString &name)
{
    return _db.insert(QStringLiteral("INSERT INTO competition (name) VALUES (?)"), { name });
}

bool KovritStore::hasCompetition(qint64 id) const
{
    return _db.scalar(QStringLiteral("SELECT COUNT(*) FROM competition WHERE id = ?"), { id }).toInt() > 0;
}

QList<QPair<quint32, QString>> KovritStore::competitions() const
{
    QList<QPair<quint32, QString>> list;
    QSqlQuery q = _db.query(QStringLiteral("SELECT id, name FROM competition ORDER BY id"));
    while (q.next())
        list.append(qMakePair(q.value(0).toUInt(), q.value(1).toString()));
    return list;
}

bool KovritStore::hasUser(const QString &name) const
{
    return _db.scalar(QStringLiteral("SELECT COUNT(*) FROM account WHERE name = ?"), { name }).toInt() > 0;
}

bool KovritStore::addUser(const QString &name, const QString &password)
{
    const QByteArray salt = randomBytes(SaltBytes);
    return _db.exec(
        QStringLiteral("INSERT INTO account (name, salt, hash, iterations) VALUES (?, ?, ?, ?)"
                       " ON CONFLICT(name) DO UPDATE SET salt = excluded.salt, hash = excluded.hash,"
                       " iterations = excluded.iterations"),
        { name, salt, passwordHash(password, salt, PasswordIterations), PasswordIterations });
}

std::optional<qint64> KovritStore::checkPassword(const QString &name, const QString &password) const
{
    QSqlQuery q = _db.query(QStringLiteral("SELECT id, salt, hash, iterations FROM account WHERE name = ?"),
                            { name });
    if (!q.next()) {
        // Spend the same work for an unknown name, so the answer time does not
        // tell which user names exist.
        passwordHash(password, QByteArray(SaltBytes, '\0'), PasswordIterations);
        return std::nullopt;
    }
    if (!sameBytes(passwordHash(password, q.value(1).toByteArray(), q.value(3).toInt()),
                   q.value(2).toByteArray()))
        return std::nullopt;
    return q.value(0).toLongLong();
}

QString KovritStore::issueLoginToken(qint64 competitionId, qint64 accountId, qint64 issuedAt)
{
    const QString token = QString::fromLatin1(
        randomBytes(TokenBytes).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    if (!_db.exec(QStringLiteral("INSERT INTO login_token (token_hash, competition_id, account_id, issued_at)"
                                 " VALUES (?, ?, ?, ?)"),
                  { tokenHash(token), competitionId, accountId, issuedAt }))
        return QString();
    return token;
}

std::optional<quint32> KovritStore::loginTokenCompetition(const QString &token, qint64 issuedAfter) const
{
    const QVariant competition = _db.scalar(
        QStringLiteral("SELECT competition_id FROM login_token WHERE token_hash = ? AND issued_at > ?"),
        { tokenHash(token), issuedAfter });
    if (!competition.isValid() || competition.isNull())
        return std::nullopt;
    return competition.toUInt();
}

// ---------------------------------------------------------------- cards

quint32 KovritStore::addCard(const CardSpec &karte)
{
    _db.transaction();
    auto fail = [this]() {
        _db.rollback();
        return 0u;
    };

    quint32 series = karte.seriesId;
    if (series == 0) {
        const quint32 club
            = _db.findOrInsert(QStringLiteral("SELECT id FROM club WHERE name = ?"),
                               QStringLiteral("INSERT INTO club (name) VALUES (?)"), { karte.club });
        const quint32 shooter
            = _db.findOrInsert(QStringLiteral("SELECT id FROM shooter WHERE name = ? AND club_id = ?"),
                               QStringLiteral("INSERT INTO shooter (name, club_id) VALUES (?, ?)"),
                               { karte.shooter, qint64(club) });
        QVariant team;
        if (!karte.team.isEmpty())
            team = qint64(_db.findOrInsert(QStringLiteral("SELECT id FROM team WHERE name = ?"),
                                           QStringLiteral("INSERT INTO team (name) VALUES (?)"),
                                           { karte.team }));
        const quint32 weapon = _db.findOrInsert(
            QStringLiteral("SELECT id FROM weapon_class WHERE name = ? AND type = ? AND shots_per_card = ?"
                           " AND teiler_factor = ? AND cards_per_series = ?"),
            QStringLiteral(
                "INSERT INTO weapon_class (name, type, shots_per_card, teiler_factor, cards_per_series)"
                " VALUES (?, ?, ?, ?, ?)"),
            { karte.weapon, karte.weaponType, karte.schussProScheibe, karte.teilerFaktor,
              karte.scheibenProSerie });
        if (club == 0 || shooter == 0 || weapon == 0)
            return fail();

        series = _db.insert(
            QStringLiteral("INSERT INTO series (competition_id, shooter_id, team_id, weapon_class_id,"
                           " purchased_at) VALUES (?, ?, ?, ?, ?)"),
            { qint64(karte.competitionId), qint64(shooter), team, qint64(weapon), karte.purchasedAt });
        if (series == 0)
            return fail();

        for (int i = 0; i < karte.events.size(); ++i) {
            const quint32 event = _db.findOrInsert(
                QStringLiteral("SELECT id FROM event WHERE competition_id = ? AND name = ?"),
                QStringLiteral("INSERT INTO event (competition_id, name) VALUES (?, ?)"),
                { qint64(karte.competitionId), karte.events.at(i) });
            if (event == 0
                || !_db.exec(
                    QStringLiteral("INSERT OR IGNORE INTO series_event (series_id, event_id, position)"
                                   " VALUES (?, ?, ?)"),
                    { qint64(series), qint64(event), i }))
                return fail();
        }
    }

    const quint32 card
        = _db.insert(QStringLiteral("INSERT INTO card (number, series_id, evaluated_at) VALUES (?, ?, ?)"),
                     { qint64(karte.nummer), qint64(series), karte.evaluatedAt });
    if (card == 0 || !insertHits(card, karte.hits) || !recomputeSeriesTotals(series))
        return fail();
    _db.commit();
    return card;
}

quint32 KovritStore::cardId(quint32 nummer) const
{
    return _db.scalar(QStringLiteral("SELECT id FROM card WHERE number = ?"), { qint64(nummer) }).toUInt();
}

quint32 KovritStore::seriesId(quint32 cardId) const
{
    return _db.scalar(QStringLiteral("SELECT series_id FROM card WHERE id = ?"), { qint64(cardId) }).toUInt();
}

std::optional<quint32> KovritStore::cardCompetition(quint32 cardId) const
{
    const QVariant competition = _db.scalar(
        QStringLiteral(
            "SELECT s.competition_id FROM card c JOIN series s ON s.id = c.series_id WHERE c.id = ?"),
        { qint64(cardId) });
    if (!competition.isValid())
        return std::nullopt;
    return competition.toUInt();
}

int KovritStore::shotsPerCard(quint32 cardId) const
{
    return _db
        .scalar(QStringLiteral("SELECT w.shots_per_card FROM card c JOIN series s ON s.id = c.series_id"
                               " JOIN weapon_class w ON w.id = s.weapon_class_id WHERE c.id = ?"),
                { qint64(cardId) })
        .toInt();
}

std::optional<KovritStore::CardRecord> KovritStore::card(quint32 nummer, quint32 competitionId) const
{
    QSqlQuery q = _db.query(
        QStringLiteral(
            "SELECT c.id, c.number, c.evaluated_at, s.id, s.ringe, s.zehntel, s.purchased_at,"
            " sh.id, sh.name, cl.id, cl.name, tm.id, tm.name,"
            " w.type, w.name, w.shots_per_card, w.teiler_factor, w.cards_per_series"
            " FROM card c JOIN series s ON s.id = c.series_id"
            " JOIN shooter sh ON sh.id = s.shooter_id JOIN club cl ON cl.id = sh.club_id"
            " LEFT JOIN team tm ON tm.id = s.team_id JOIN weapon_class w ON w.id = s.weapon_class_id"
            " WHERE c.number = ? AND s.competition_id = ?"),
        { qint64(nummer), qint64(competitionId) });
    if (!q.next())
        return std::nullopt;

    CardRecord r;
    r.id = q.value(0).toUInt();
    r.nummer = q.value(1).toUInt();
    r.evaluatedAt = q.value(2).toLongLong();
    r.seriesId = q.value(3).toUInt();
    r.totals.ringe = q.value(4).toInt();
    r.totals.zehntel = q.value(5).toDouble();
    r.purchasedAt = q.value(6).toLongLong();
    r.shooterId = q.value(7).toLongLong();
    r.shooter = q.value(8).toString();
    r.clubId = q.value(9).toLongLong();
    r.club = q.value(10).toString();
    if (!q.value(11).isNull()) {
        r.teamId = q.value(11).toLongLong();
        r.team = q.value(12).toString();
    }
    r.weaponType = q.value(13).toInt();
    r.weapon = q.value(14).toString();
    r.schussProScheibe = q.value(15).toInt();
    r.teilerFaktor = q.value(16).toDouble();
    r.scheibenProSerie = q.value(17).toInt();

    QSqlQuery e = _db.query(QStringLiteral("SELECT ev.id, ev.name FROM series_event se"
                                           " JOIN event ev ON ev.id = se.event_id"
                                           " WHERE se.series_id = ? ORDER BY se.position"),
                            { qint64(r.seriesId) });
    while (e.next())
        r.events.append(qMakePair(e.value(0).toLongLong(), e.value(1).toString()));
    r.hits = storedHits(r.id);
    return r;
}

bool KovritStore::storeHits(quint32 cardId, const QList<Hit> &hits)
{
    if (!_db.transaction())
        return false;
    const bool ok = _db.exec(QStringLiteral("DELETE FROM hit WHERE card_id = ?"), { qint64(cardId) })
        && insertHits(cardId, hits)
        && _db.exec(
            QStringLiteral("UPDATE card SET evaluated_at = ?, submissions = submissions + 1 WHERE id = ?"),
            { QDateTime::currentSecsSinceEpoch(), qint64(cardId) })
        && recomputeSeriesTotals(seriesId(cardId));
    if (!ok)
        _db.rollback();
    return ok && _db.commit();
}

QList<KovritStore::Hit> KovritStore::storedHits(quint32 cardId) const
{
    QList<Hit> hits;
    QSqlQuery q = _db.query(QStringLiteral("SELECT x, y, r, t FROM hit WHERE card_id = ? ORDER BY position"),
                            { qint64(cardId) });
    while (q.next()) {
        Hit h;
        h.x = q.value(0).toDouble();
        h.y = q.value(1).toDouble();
        h.r = q.value(2).isNull() ? -1.0 : q.value(2).toDouble();
        h.t = q.value(3).isNull() ? -1.0 : q.value(3).toDouble();
        hits.append(h);
    }
    return hits;
}

std::optional<qint64> KovritStore::evaluatedAt(quint32 cardId) const
{
    const qint64 at
        = _db.scalar(QStringLiteral("SELECT evaluated_at FROM card WHERE id = ?"), { qint64(cardId) })
              .toLongLong();
    if (at == 0)
        return std::nullopt;
    return at;
}

KovritStore::SeriesTotals KovritStore::seriesTotals(quint32 seriesId) const
{
    SeriesTotals totals;
    QSqlQuery q
        = _db.query(QStringLiteral("SELECT ringe, zehntel FROM series WHERE id = ?"), { qint64(seriesId) });
    if (q.next()) {
        totals.ringe = q.value(0).toInt();
        totals.zehntel = q.value(1).toDouble();
    }
    return totals;
}

int KovritStore::submissionCount(quint32 cardId) const
{
    return _db.scalar(QStringLiteral("SELECT submissions FROM card WHERE id = ?"), { qint64(cardId) })
        .toInt();
}

QStringList KovritStore::cardSummary() const
{
    QStringList lines;
    QSqlQuery q = _db.query(QStringLiteral(
        "SELECT c.number, c.id, co.name, w.name, w.shots_per_card, w.teiler_factor, sh.name,"
        " (SELECT COUNT(*) FROM hit h WHERE h.card_id = c.id AND h.r IS NOT NULL)"
        " FROM card c JOIN series s ON s.id = c.series_id JOIN competition co ON co.id = s.competition_id"
        " JOIN weapon_class w ON w.id = s.weapon_class_id JOIN shooter sh ON sh.id = s.shooter_id"
        " ORDER BY co.id, c.number"));
    while (q.next()) {
        lines << QStringLiteral("%1 (id %2) %3: %4, %5 Schuss, Teilerfaktor %6, %7, %8 Treffer gespeichert")
                     .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                          q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                          q.value(6).toString(), q.value(7).toString());
    }
    return lines;
}

bool KovritStore::insertHits(quint32 cardId, const QList<Hit> &hits)
{
    for (int i = 0; i < hits.size(); ++i) {
        const Hit &h = hits.at(i);
        if (!_db.exec(
                QStringLiteral("INSERT INTO hit (card_id, position, x, y, r, t) VALUES (?, ?, ?, ?, ?, ?)"),
                { qint64(cardId), i, h.x, h.y, h.r >= 0.0 ? QVariant(h.r) : QVariant(),
                  h.t >= 0.0 ? QVariant(h.t) : QVariant() }))
            return false;
    }
    return true;
}

bool KovritStore::recomputeSeriesTotals(quint32 seriesId)
{
    // Whole rings are summed per hit (10.5 + 9.6 make 19), the way the client
    // sums a card; the series totals include every stored hit of the series.
    QSqlQuery q = _db.query(QStringLiteral("SELECT h.r FROM hit h JOIN card c ON c.id = h.card_id"
                                           " WHERE c.series_id = ? AND h.r IS NOT NULL"),
                            { qint64(seriesId) });
    if (!q.isActive())
        return false;
    qint64 ringe = 0;
    double zehntel = 0.0;
    while (q.next()) {
        const double r = q.value(0).toDouble();
        ringe += static_cast<qint64>(std::trunc(r));
        zehntel += r;
    }
    // Summing tenths in binary leaves noise such as 19.900000000000002.
    zehntel = std::round(zehntel * 1e6) / 1e6;
    return _db.exec(QStringLiteral("UPDATE series SET ringe = ?, zehntel = ? WHERE id = ?"),
                    { ringe, zehntel, qint64(seriesId) });
}

QString KovritStore::setting(const QString &key) const
{
    return _db.scalar(QStringLiteral("SELECT value FROM setting WHERE key = ?"), { key }).toString();
}

void KovritStore::setSetting(const QString &key, const QString &value)
{
    _db.exec(QStringLiteral("INSERT INTO setting (key, value) VALUES (?, ?)"
                            " ON CONFLICT(key) DO UPDATE SET value = excluded.value"),
             { key, value });
}

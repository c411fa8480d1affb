#include "kovritdatabase.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QUuid>

KovritDatabase::KovritDatabase()
    : _name(QStringLiteral("kovritserver-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{ }

KovritDatabase::~KovritDatabase()
{
    if (QSqlDatabase::contains(_name)) {
        {
            QSqlDatabase d = QSqlDatabase::database(_name, false);
            d.close();
        }
        QSqlDatabase::removeDatabase(_name);
    }
}

bool KovritDatabase::open(const QString &file)
{
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), _name);
    d.setDatabaseName(file);
    // Several server processes or tools may share one file.
    d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!d.open()) {
        _error = d.lastError().text();
        return false;
    }
    // WAL lets readers go on while a submission is being written.
    // With WAL, synchronous=NORMAL still never corrupts the file; it only
    // saves the disk flush on every single commit.
    return exec(QStringLiteral("PRAGMA journal_mode=WAL"))
        && exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        && exec(QStringLiteral("PRAGMA foreign_keys=ON"));
}

bool KovritDatabase::exec(const QString &sql, const QVariantList &values) const
{
    const QSqlQuery q = query(sql, values);
    if (!q.isActive()) {
        qInfo().noquote() << "KovritDatabase::exec:" << sql << "failed:" << _error;
        return false;
    }
    return true;
}

QSqlQuery KovritDatabase::query(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(connection());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        _error = q.lastError().text();
    return q;
}

QVariant KovritDatabase::scalar(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q = query(sql, values);
    if (!q.isActive() || !q.next())
        return QVariant();
    return q.value(0);
}

quint32 KovritDatabase::insert(const QString &sql, const QVariantList &values)
{
    const QSqlQuery q = query(sql, values);
    return q.isActive() ? q.lastInsertId().toUInt() : 0;
}

quint32 KovritDatabase::findOrInsert(const QString &select, const QString &insertSql,
                                     const QVariantList &values)
{
    const QVariant found = scalar(select, values);
    if (found.isValid())
        return found.toUInt();
    return insert(insertSql, values);
}

bool KovritDatabase::transaction()
{
    QSqlDatabase d = connection();
    if (d.transaction())
        return true;
    _error = d.lastError().text();
    return false;
}

bool KovritDatabase::commit()
{
    QSqlDatabase d = connection();
    if (d.commit())
        return true;
    _error = d.lastError().text();
    d.rollback();
    return false;
}

void KovritDatabase::rollback()
{
    connection().rollback();
}

QSqlDatabase KovritDatabase::connection() const
{
    return QSqlDatabase::database(_name, false);
}

#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QtGlobal>

class QSqlDatabase;

// One SQLite connection of its own (named uniquely, so several instances may
// share one file) and the statements run on it with bound values. Every
// failure is kept as the last error.
class KovritDatabase
{
public:
    KovritDatabase();
    ~KovritDatabase();
    KovritDatabase(const KovritDatabase &) = delete;
    KovritDatabase &operator=(const KovritDatabase &) = delete;

    // Opens (and if needed creates) the file in WAL mode with foreign keys on.
    bool open(const QString &file);
    QString errorString() const { return _error; }

    bool exec(const QString &sql, const QVariantList &values = {}) const;
    // The statement executed, positioned before its first row; not active
    // when it failed.
    QSqlQuery query(const QString &sql, const QVariantList &values = {}) const;
    // The first column of the first row; invalid when there is none.
    QVariant scalar(const QString &sql, const QVariantList &values = {}) const;
    quint32 insert(const QString &sql, const QVariantList &values); // the new row's id, 0 on failure
    // The id the select finds, else the id of the row the insert adds; both
    // take the same values.
    quint32 findOrInsert(const QString &select, const QString &insert, const QVariantList &values);

    bool transaction();
    bool commit(); // rolls back when the commit fails
    void rollback();

private:
    QSqlDatabase connection() const;

    QString _name; // of the connection
    mutable QString _error;
};

#pragma once

#include "support/mqttrig.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <gtest/gtest.h>

#include <vector>

namespace pexumo::test {

/// Runs \a sql on the journal at \a path as another program would; the first two columns of
/// its rows.
inline std::vector<RowId> journalPairs(const QString& path, const QString& sql)
{
    std::vector<RowId> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "test-sql");
        db.setDatabaseName(path);
        QSqlQuery query(db);
        EXPECT_TRUE(db.open() && query.exec(sql)) << query.lastError().text().toStdString();
        while (query.next())
            rows.emplace_back(query.value(0).toLongLong(), query.value(1).toLongLong());
    }
    QSqlDatabase::removeDatabase("test-sql");
    return rows;
}

} // namespace pexumo::test

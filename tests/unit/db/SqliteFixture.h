#pragma once

#include "TempDir.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"

#include <QFile>
#include <gtest/gtest.h>

namespace zul::test {

using namespace Qt::StringLiterals;

// A connection to a fresh SQLite file with table T (K text key, V text, B blob).
class SqliteFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString file = dir.file(u"t.db"_s);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        connection.ChangeServerType(xdtSQLite);
        connection.SetConnectString(u"Data Source="_s + file);
        connection.SetConnected(true);
        exec(u"CREATE TABLE T (K VARCHAR(10), V VARCHAR(20), B BLOB)"_s);
    }

    void exec(const QString& sql)
    {
        TXCommand c;
        c.SetParamCheck(false);
        c.SetConnection(&connection);
        c.SetSQL(sql);
        c.Execute();
    }

    TempDir dir;
    TXConnection connection;
};

} // namespace zul::test

#pragma once

#include "DbCommand.h"
#include "TempDir.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <gtest/gtest.h>

namespace zul::test {

using namespace Qt::StringLiterals;

enum class Backend { SQLite, PostgreSQL, Odbc };

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info)
{
    switch (info.param) {
    case Backend::SQLite:
        return "SQLite";
    case Backend::PostgreSQL:
        return "PostgreSQL";
    case Backend::Odbc:
        return "OdbcPostgreSQL";
    }
    return "?";
}

// The keys of the test server's database `database` (the one scripts/pg-start.sh made when empty).
inline QString pgKeys(const QString& database = QString())
{
    return u"Server=%1;Port=%2;Database=%3;User ID=%4"_s.arg(
        qEnvironmentVariable("ZUL_TEST_PG_HOST"), qEnvironmentVariable("ZUL_TEST_PG_PORT"),
        database.isEmpty() ? qEnvironmentVariable("ZUL_TEST_PG_DB") : database,
        qEnvironmentVariable("ZUL_TEST_PG_USER"));
}

// The Windows build's Qt has no PostgreSQL client library: there the test server is reached
// through ODBC only, and the cases of the QPSQL driver are skipped for this reason.
inline constexpr const char* noQpsqlDriver =
    "this Qt has no QPSQL driver (the server is tested through ODBC)";

// Why the cases that reach the test server with the QPSQL driver cannot run; null when they can.
inline const char* postgreSqlUnavailable()
{
    if (qEnvironmentVariableIsEmpty("ZUL_TEST_PG_PORT"))
        return "no PostgreSQL server: run scripts/pg-start.sh and export ZUL_TEST_PG_*";
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
        return noQpsqlDriver;
    return nullptr;
}

// A connection of the given backend with an empty schema of its own: a SQLite file, or a
// PostgreSQL schema named after the process (ctest runs test processes side by side).
class DbBackendTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        const Backend backend = GetParam();
        if (backend != Backend::SQLite && qEnvironmentVariableIsEmpty("ZUL_TEST_PG_PORT"))
            GTEST_SKIP() << "no PostgreSQL server: run scripts/pg-start.sh and export ZUL_TEST_PG_*";
        if (backend == Backend::Odbc && qEnvironmentVariableIsEmpty("ZUL_TEST_ODBC_DRIVER"))
            GTEST_SKIP() << "no PostgreSQL ODBC driver registered (ZUL_TEST_ODBC_DRIVER)";
        if (backend == Backend::PostgreSQL && !QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
            GTEST_SKIP() << noQpsqlDriver;
        if (backend == Backend::SQLite) {
            const QString file = dir.file(u"zul.db"_s);
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.close();
            connection.ChangeServerType(xdtSQLite);
            connection.SetConnectString(u"Data Source="_s + file);
        } else if (backend == Backend::PostgreSQL) {
            connection.ChangeServerType(xdtPostgreSQL);
            connection.SetConnectString(pgKeys());
        } else {
            // An OLE DB style profile over ODBC: exercises the string translation for real.
            connection.ChangeServerType(xdtADO_MSSQL);
            connection.SetConnectString(u"Provider=MSDASQL.1;Persist Security Info=False;Driver={"_s +
                                        qEnvironmentVariable("ZUL_TEST_ODBC_DRIVER") + u"};"_s + pgKeys());
        }
        connection.SetConnected(true);
        if (backend != Backend::SQLite) {
            static int counter = 0;
            schema = u"zt_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
            exec(u"DROP SCHEMA IF EXISTS "_s + schema + u" CASCADE"_s);
            exec(u"CREATE SCHEMA "_s + schema);
            exec(u"SET search_path TO "_s + schema);
        }
        admin::ApplySchema(connection);
    }

    void TearDown() override
    {
        if (!schema.isEmpty() && connection.Connected())
            exec(u"DROP SCHEMA "_s + schema + u" CASCADE"_s);
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
    QString schema;
};

} // namespace zul::test

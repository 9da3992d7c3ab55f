#pragma once

#include "db/DbType.h"

#include <QList>
#include <QString>
#include <utility>

namespace zul::db {

// SQL dialect of the statements a component runs (see Statements.h).
enum class SqlDialect { Oracle, SqlServer, SQLite, PostgreSQL };

// The Qt driver that carries a family: QOCI, QODBC, QSQLITE or QPSQL.
QString QtDriverName(TXDBType type);
SqlDialect DialectForServerType(TXDBType type);
QString ServerTypeName(TXDBType type);

// key=value pairs separated by semicolons, in order. Keys are trimmed; values may be quoted
// with "…", '…' or {…} (a doubled closing character stands for itself).
using ConnectStringPairs = QList<std::pair<QString, QString>>;
ConnectStringPairs ParseConnectString(const QString& text);
// The value of the first key equal to `key` without regard to case; empty when absent.
QString ConnectStringValue(const ConnectStringPairs& pairs, const QString& key);

// An OLE DB style connection string (Provider=…;Data Source=…;User ID=…) rewritten for the
// ODBC driver manager. The provider picks the ODBC driver: the SQL Server providers give the
// SQL Server driver, the Oracle ones the Oracle driver, MSDASQL (OLE DB over ODBC) keeps the
// driver or DSN it names; without a provider the family decides.
QString OleDbToOdbc(const QString& oleDb, TXDBType type);

// ODBC driver names used for SQL Server and Oracle; ZUL_MSSQL_ODBC_DRIVER and
// ZUL_ORACLE_ODBC_DRIVER override them for the machine.
QString SqlServerOdbcDriver();
QString OracleOdbcDriver();

// Parts of the direct Oracle form "user/password@data source".
struct OracleLogin
{
    QString user;
    QString password;
    QString dataSource;
};
OracleLogin ParseOracleConnectString(const QString& text);

} // namespace zul::db

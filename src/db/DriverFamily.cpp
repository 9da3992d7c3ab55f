#include "db/DriverFamily.h"

#include <QtGlobal>

using namespace Qt::StringLiterals;

namespace zul::db {

QString QtDriverName(TXDBType type)
{
    switch (type) {
    case xdtCR_Oracle:
        return u"QOCI"_s;
    case xdtCR_MSSQL:
    case xdtADO_Oracle:
    case xdtADO_MSSQL:
        return u"QODBC"_s;
    case xdtSQLite:
        return u"QSQLITE"_s;
    case xdtPostgreSQL:
        return u"QPSQL"_s;
    }
    return {};
}

SqlDialect DialectForServerType(TXDBType type)
{
    switch (type) {
    case xdtCR_Oracle:
    case xdtADO_Oracle:
        return SqlDialect::Oracle;
    case xdtCR_MSSQL:
    case xdtADO_MSSQL:
        return SqlDialect::SqlServer;
    case xdtSQLite:
        return SqlDialect::SQLite;
    case xdtPostgreSQL:
        return SqlDialect::PostgreSQL;
    }
    return SqlDialect::Oracle;
}

QString ServerTypeName(TXDBType type)
{
    switch (type) {
    case xdtCR_Oracle:
        return u"xdtCR_Oracle"_s;
    case xdtCR_MSSQL:
        return u"xdtCR_MSSQL"_s;
    case xdtADO_Oracle:
        return u"xdtADO_Oracle"_s;
    case xdtADO_MSSQL:
        return u"xdtADO_MSSQL"_s;
    case xdtSQLite:
        return u"xdtSQLite"_s;
    case xdtPostgreSQL:
        return u"xdtPostgreSQL"_s;
    }
    return u"?"_s;
}

ConnectStringPairs ParseConnectString(const QString& text)
{
    ConnectStringPairs pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=" carries no setting; skip it.
            i = semi < 0 ? n : semi + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text.at(i) == u' ')
            ++i;
        QString value;
        if (i < n && (text.at(i) == u'"' || text.at(i) == u'\'' || text.at(i) == u'{')) {
            const QChar close = text.at(i) == u'{' ? u'}' : text.at(i);
            ++i;
            while (i < n) {
                if (text.at(i) == close) {
                    if (i + 1 < n && text.at(i + 1) == close) {
                        value += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            const qsizetype next = text.indexOf(u';', i);
            i = next < 0 ? n : next + 1;
        } else {
            const qsizetype next = text.indexOf(u';', i);
            value = text.mid(i, (next < 0 ? n : next) - i).trimmed();
            i = next < 0 ? n : next + 1;
        }
        if (!key.isEmpty())
            pairs.append({key, value});
    }
    return pairs;
}

QString ConnectStringValue(const ConnectStringPairs& pairs, const QString& key)
{
    for (const auto& [k, v] : pairs)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

QString SqlServerOdbcDriver()
{
    const QString configured = qEnvironmentVariable("ZUL_MSSQL_ODBC_DRIVER");
    if (!configured.isEmpty())
        return configured;
#ifdef _WIN32
    return u"SQL Server"_s;
#else
    return u"FreeTDS"_s;
#endif
}

QString OracleOdbcDriver()
{
    const QString configured = qEnvironmentVariable("ZUL_ORACLE_ODBC_DRIVER");
    return configured.isEmpty() ? u"Oracle"_s : configured;
}

namespace {

QString odbcValue(const QString& value)
{
    // Braces protect values that would otherwise end early or lose their blanks.
    if (value.contains(u';') || value.startsWith(u'{') || value != value.trimmed())
        return u'{' + QString(value).replace(u"}"_s, u"}}"_s) + u'}';
    return value;
}

enum class Target { SqlServer, Oracle, Odbc };

Target targetFor(const QString& provider, TXDBType type)
{
    const QString p = provider.toUpper();
    if (p.startsWith(u"MSDASQL"_s))
        return Target::Odbc;
    if (p.startsWith(u"SQLOLEDB"_s) || p.startsWith(u"SQLNCLI"_s) || p.startsWith(u"MSOLEDBSQL"_s))
        return Target::SqlServer;
    if (p.startsWith(u"ORAOLEDB"_s) || p.startsWith(u"MSDAORA"_s))
        return Target::Oracle;
    return type == xdtADO_Oracle || type == xdtCR_Oracle ? Target::Oracle : Target::SqlServer;
}

} // namespace

QString OleDbToOdbc(const QString& oleDb, TXDBType type)
{
    const ConnectStringPairs pairs = ParseConnectString(oleDb);
    const Target target = targetFor(ConnectStringValue(pairs, u"Provider"_s), type);
    QStringList out;
    QString extended;
    bool hasDriver = false;
    for (const auto& [key, value] : pairs) {
        const QString k = key.toLower();
        if (k == u"provider")
            continue;
        if (k == u"driver") {
            hasDriver = true;
            out << u"DRIVER={"_s + value + u'}';
        } else if (k == u"data source") {
            const QString name = target == Target::SqlServer ? u"SERVER"_s
                                 : target == Target::Oracle  ? u"DBQ"_s
                                                             : u"DSN"_s;
            out << name + u'=' + odbcValue(value);
        } else if (k == u"initial catalog") {
            out << u"DATABASE="_s + odbcValue(value);
        } else if (k == u"user id" || k == u"uid") {
            out << u"UID="_s + odbcValue(value);
        } else if (k == u"password" || k == u"pwd") {
            out << u"PWD="_s + odbcValue(value);
        } else if (k == u"integrated security") {
            if (value.compare(u"SSPI"_s, Qt::CaseInsensitive) == 0 ||
                value.compare(u"true"_s, Qt::CaseInsensitive) == 0)
                out << u"Trusted_Connection=yes"_s;
        } else if (k == u"extended properties") {
            extended = value;
        } else if (!key.contains(u' ')) {
            // ODBC keywords have no blanks (Server, Port, Database, Encrypt…): they pass on.
            out << key + u'=' + odbcValue(value);
        }
        // Other keys with blanks are OLE DB properties (Persist Security Info, Packet Size…)
        // that no ODBC driver knows.
    }
    if (!hasDriver && target != Target::Odbc) {
        const QString driver = target == Target::SqlServer ? SqlServerOdbcDriver() : OracleOdbcDriver();
        out.prepend(u"DRIVER={"_s + driver + u'}');
    }
    QString result = out.join(u';');
    if (!extended.isEmpty())
        result += (result.isEmpty() ? QString() : u";"_s) + extended;
    return result;
}

OracleLogin ParseOracleConnectString(const QString& text)
{
    OracleLogin login;
    const qsizetype at = text.lastIndexOf(u'@');
    const QString credentials = at < 0 ? text : text.left(at);
    login.dataSource = at < 0 ? QString() : text.mid(at + 1);
    const qsizetype slash = credentials.indexOf(u'/');
    login.user = slash < 0 ? credentials : credentials.left(slash);
    login.password = slash < 0 ? QString() : credentials.mid(slash + 1);
    return login;
}

} // namespace zul::db

#include "db/DriverConnection.h"

#include "db/DriverDataSet.h"
#include "support/Error.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <utility>

using namespace Qt::StringLiterals;

namespace zul::db {

DriverConnection::DriverConnection(TXDBType family, QObject* owner) : QObject(owner), m_family(family)
{
    setObjectName(u"Connection"_s);
}

DriverConnection::~DriverConnection()
{
    close();
    // Each data set leaves the list as it lets go; a copy keeps the walk whole, so none of
    // them is left pointing at this connection.
    const QList<DriverObject*> dataSets = std::exchange(m_dataSets, {});
    for (DriverObject* ds : dataSets)
        ds->SetConnection(nullptr);
}

bool DriverConnection::Connected() const
{
    return !m_name.isEmpty() && QSqlDatabase::database(m_name, false).isOpen();
}

void DriverConnection::SetConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (connected) {
        Q_EMIT BeforeConnect(this);
        open();
        Q_EMIT AfterConnect(this);
    } else {
        Q_EMIT BeforeDisconnect(this);
        close();
        Q_EMIT AfterDisconnect(this);
    }
}

void DriverConnection::configure(QSqlDatabase& db) const
{
    switch (m_family) {
    case xdtCR_Oracle: {
        const OracleLogin login = ConnectString.isEmpty() ? OracleLogin{Username, Password, Server}
                                                          : ParseOracleConnectString(ConnectString);
        db.setDatabaseName(login.dataSource);
        db.setUserName(login.user);
        db.setPassword(login.password);
        break;
    }
    case xdtCR_MSSQL:
        if (!ConnectString.isEmpty()) {
            db.setDatabaseName(OleDbToOdbc(ConnectString, m_family));
        } else {
            QStringList parts{u"DRIVER={"_s + SqlServerOdbcDriver() + u'}', u"SERVER="_s + Server};
            if (!Database.isEmpty())
                parts << u"DATABASE="_s + Database;
            db.setDatabaseName(parts.join(u';'));
            db.setUserName(Username);
            db.setPassword(Password);
        }
        break;
    case xdtADO_Oracle:
    case xdtADO_MSSQL:
        db.setDatabaseName(OleDbToOdbc(ConnectString, m_family));
        break;
    case xdtSQLite: {
        const ConnectStringPairs pairs = ParseConnectString(ConnectString);
        const QString file =
            pairs.isEmpty() ? ConnectString.trimmed() : ConnectStringValue(pairs, u"Data Source"_s);
        db.setDatabaseName(file);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(ResponseTimeoutSeconds * 1000));
        break;
    }
    case xdtPostgreSQL: {
        const ConnectStringPairs pairs = ParseConnectString(ConnectString);
        QString host = ConnectStringValue(pairs, u"Server"_s);
        if (host.isEmpty())
            host = ConnectStringValue(pairs, u"Host"_s);
        db.setHostName(host.isEmpty() ? Server : host);
        const QString port = ConnectStringValue(pairs, u"Port"_s);
        if (!port.isEmpty())
            db.setPort(port.toInt());
        const QString database = ConnectStringValue(pairs, u"Database"_s);
        db.setDatabaseName(database.isEmpty() ? Database : database);
        const QString user = ConnectStringValue(pairs, u"User ID"_s);
        db.setUserName(user.isEmpty() ? Username : user);
        const QString password = ConnectStringValue(pairs, u"Password"_s);
        db.setPassword(password.isEmpty() ? Password : password);
        // A server that does not answer must not hold the program for long: neither the
        // connect nor a statement whose packets are never acknowledged (a host that vanished).
        db.setConnectOptions(u"connect_timeout=%1;tcp_user_timeout=%2"_s.arg(ResponseTimeoutSeconds)
                                 .arg(ResponseTimeoutSeconds * 1000));
        break;
    }
    }
}

void DriverConnection::open()
{
    static int counter = 0;
    const QString driver = QtDriverName(m_family);
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        const QString message = u"Database driver %1 is not installed; it is needed for %2 connections"_s.arg(
            driver, ServerTypeName(m_family));
        const QSqlError error(message, QString(), QSqlError::ConnectionError);
        if (m_family == xdtADO_Oracle || m_family == xdtADO_MSSQL) {
            if (ConnectCompleteHandler)
                ConnectCompleteHandler(&error);
        } else {
            bool fail = true;
            Q_EMIT Error(this, error, &fail);
        }
        throw zul::Error(message);
    }
    const QString name = u"zul-db-%1"_s.arg(++counter);
    QSqlError error;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        configure(db);
        if (m_family == xdtSQLite && db.databaseName() != u":memory:" &&
            !QFileInfo::exists(db.databaseName())) {
            // Opening would silently create an empty database, and every lookup would then
            // find nobody.
            error = QSqlError(u"Database file '%1' does not exist"_s.arg(db.databaseName()), QString(),
                              QSqlError::ConnectionError);
        } else {
            ok = db.open();
            if (!ok)
                error = db.lastError();
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        if (m_family == xdtCR_MSSQL) {
            LastErrorCode = error.nativeErrorCode().toInt();
            LastErrorMessage = error.text();
        }
        const QString message =
            error.text().trimmed().isEmpty() ? u"Cannot connect to the database"_s : error.text();
        if (m_family == xdtADO_Oracle || m_family == xdtADO_MSSQL) {
            if (ConnectCompleteHandler)
                ConnectCompleteHandler(&error);
        } else {
            bool fail = true;
            Q_EMIT Error(this, error, &fail);
            Q_EMIT Trace(this, message, tfError);
        }
        throw zul::Error(message);
    }
    m_name = name;
    if (m_family == xdtADO_Oracle || m_family == xdtADO_MSSQL) {
        if (ConnectCompleteHandler)
            ConnectCompleteHandler(nullptr);
    } else {
        Q_EMIT Trace(this, u"Connect: "_s + QtDriverName(m_family), tfConnect);
    }
}

void DriverConnection::close()
{
    if (m_name.isEmpty())
        return;
    for (DriverObject* ds : std::as_const(m_dataSets))
        ds->ConnectionClosing();
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
    m_inTransaction = false;
}

QSqlDatabase DriverConnection::SqlDatabase() const
{
    return m_name.isEmpty() ? QSqlDatabase() : QSqlDatabase::database(m_name, false);
}

SqlDialect DriverConnection::Dialect() const
{
    if (Connected() && QtDriverName(m_family) == u"QODBC") {
        switch (SqlDatabase().driver()->dbmsType()) {
        case QSqlDriver::PostgreSQL:
            return SqlDialect::PostgreSQL;
        case QSqlDriver::MSSqlServer:
            return SqlDialect::SqlServer;
        case QSqlDriver::Oracle:
            return SqlDialect::Oracle;
        case QSqlDriver::SQLite:
            return SqlDialect::SQLite;
        default:
            break;
        }
    }
    return DialectForServerType(m_family);
}

void DriverConnection::StartTransaction()
{
    QSqlDatabase db = SqlDatabase();
    if (!db.transaction())
        Fail(this, u"BEGIN"_s, db.lastError());
    m_inTransaction = true;
}

void DriverConnection::Commit()
{
    QSqlDatabase db = SqlDatabase();
    m_inTransaction = false;
    const bool ok = db.commit();
    const QSqlError error = db.lastError();
    if ((m_family == xdtADO_Oracle || m_family == xdtADO_MSSQL) && CommitCompleteHandler)
        CommitCompleteHandler(ok ? nullptr : &error);
    if (!ok)
        Fail(this, u"COMMIT"_s, error);
}

void DriverConnection::Rollback()
{
    if (m_name.isEmpty())
        return;
    SqlDatabase().rollback();
    m_inTransaction = false;
}

void DriverConnection::AddDataSet(DriverObject* dataSet)
{
    if (!m_dataSets.contains(dataSet))
        m_dataSets.append(dataSet);
}

void DriverConnection::RemoveDataSet(DriverObject* dataSet)
{
    m_dataSets.removeAll(dataSet);
}

void DriverConnection::NotifyExecute(QObject* dataSet, const QString& text, const QSqlError* error)
{
    if (m_family == xdtADO_Oracle || m_family == xdtADO_MSSQL) {
        if (ExecuteCompleteHandler)
            ExecuteCompleteHandler(dataSet, text, error);
        return;
    }
    if (error) {
        if (m_family == xdtCR_MSSQL) {
            LastErrorCode = error->nativeErrorCode().toInt();
            LastErrorMessage = error->text();
        }
        bool fail = true;
        Q_EMIT Error(dataSet, *error, &fail);
        Q_EMIT Trace(dataSet, error->text(), tfError);
    } else {
        Q_EMIT Trace(dataSet, text, tfQExecute);
    }
}

void DriverConnection::Fail(QObject* dataSet, const QString& text, const QSqlError& error)
{
    NotifyExecute(dataSet, text, &error);
    const QString message = error.text().trimmed();
    throw zul::Error(message.isEmpty() ? u"Database error"_s : message);
}

} // namespace zul::db

#pragma once

#include "db/DbType.h"
#include "db/DriverFamily.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <functional>

namespace zul {

// Kinds of trace a SQL monitor receives.
enum TDATraceFlag : quint8 {
    tfQPrepare,
    tfQExecute,
    tfQFetch,
    tfError,
    tfStmt,
    tfConnect,
    tfTransact,
    tfBlob,
    tfService,
    tfMisc,
    tfParams
};

namespace db {

class DriverObject;

// The driver connection of one family: one QSqlDatabase of the family's Qt driver, opened from
// the family's form of connection string. TXConnection owns one and forwards to it.
class DriverConnection : public QObject
{
    Q_OBJECT
public:
    DriverConnection(TXDBType family, QObject* owner);
    ~DriverConnection() override;

    TXDBType Family() const { return m_family; }

    // How long a server that has gone may keep a connect or a statement waiting, where the
    // family's driver lets it be bounded (PostgreSQL; SQLite waits this long for a lock).
    static constexpr int ResponseTimeoutSeconds = 5;

    QString ConnectString;
    QString Server;
    QString Database;
    QString Username;
    QString Password;
    bool LoginPrompt = false;
    bool KeepDesignConnected = true;
    bool EnableIntegers = true;
    // Qt's drivers keep one physical connection; the pooling settings are held for callers
    // that read them back.
    bool Pooling = false;
    bool DisconnectedMode = false;
    int MaxPoolSize = 100;
    int MinPoolSize = 0;

    bool Connected() const;
    // Connecting throws zul::Error with the driver's message (or the missing driver's name).
    void SetConnected(bool connected);

    bool InTransaction() const { return m_inTransaction; }
    void StartTransaction();
    void Commit();
    void Rollback();

    // The open QSqlDatabase (invalid while disconnected).
    QSqlDatabase SqlDatabase() const;
    // The statements' dialect: the server type's, unless the ODBC driver reports which product
    // it really reached (an ODBC family may reach any of them).
    SqlDialect Dialect() const;

    const QList<DriverObject*>& DataSets() const { return m_dataSets; }
    void AddDataSet(DriverObject* dataSet);
    void RemoveDataSet(DriverObject* dataSet);

    // Native error of the last failure (kept by the SQL Server family).
    int LastErrorCode = 0;
    QString LastErrorMessage;

    // Notifications of the OLE DB families, replaceable as a whole (a SQL monitor takes them
    // over from the connection).
    std::function<void(const QSqlError* error)> ConnectCompleteHandler;
    std::function<void(QObject* dataSet, const QString& text, const QSqlError* error)> ExecuteCompleteHandler;
    std::function<void(const QSqlError* error)> CommitCompleteHandler;

    // Called by driver datasets after running `text`; `error` is null on success. For the
    // direct kinds an error goes to the Error signal and a trace to Trace; for the OLE DB
    // families both go to ExecuteCompleteHandler.
    void NotifyExecute(QObject* dataSet, const QString& text, const QSqlError* error);
    // Reports the failure as NotifyExecute does, then throws zul::Error with its message.
    [[noreturn]] void Fail(QObject* dataSet, const QString& text, const QSqlError& error);

Q_SIGNALS:
    void BeforeConnect(QObject* sender);
    void AfterConnect(QObject* sender);
    void BeforeDisconnect(QObject* sender);
    void AfterDisconnect(QObject* sender);
    void Error(QObject* sender, const QSqlError& error, bool* fail);
    void Trace(QObject* sender, const QString& text, zul::TDATraceFlag flag);

private:
    void open();
    void close();
    void configure(QSqlDatabase& db) const;

    TXDBType m_family;
    QString m_name; // Qt connection name while open
    bool m_inTransaction = false;
    QList<DriverObject*> m_dataSets;
};

} // namespace db
} // namespace zul

#pragma once

#include "db/DbType.h"
#include "db/DriverFamily.h"
#include "db/XComponent.h"

#include <QList>
#include <QSqlError>

namespace zul {

namespace db {
class DriverConnection;
}
class TXDataSet;

// The one connection component of the layer. It owns exactly one driver connection of the
// family its server type names and forwards settings, calls and events to it; queries,
// commands and monitors point here and are re-bound when the family changes.
class TXConnection : public TXComponent
{
    Q_OBJECT
public:
    explicit TXConnection(QObject* owner = nullptr);
    ~TXConnection() override;

    void Loaded() override;

    bool Connected();
    // Connecting happens here; driver errors propagate as zul::Error.
    void SetConnected(bool connected);
    QString ConnectString();
    void SetConnectString(const QString& text);
    QString Database();
    void SetDatabase(const QString& name);
    QString Server();
    void SetServer(const QString& server);
    QString UserName();
    void SetUserName(const QString& user);
    QString Password();
    void SetPassword(const QString& password);
    bool Pooling() const { return m_pooling; }
    int MaxPoolSize() const { return m_maxPoolSize; }
    int MinPoolSize() const { return m_minPoolSize; }

    TXDBType ServerType() const { return m_serverType; }
    // A stored server type is a design-time choice; at run time the profile decides, so this
    // write is ignored (a stored xdtCR_Oracle never overrides the profile).
    void SetServerType(TXDBType) {}
    // Takes the server type of a profile code; a different type rebuilds the driver connection.
    void SelectProfile(const QString& code);
    // What SelectProfile does once the type is known.
    void ChangeServerType(TXDBType type);
    // Dialect of the statements to run on this connection.
    db::SqlDialect Dialect() const;

    void RegisterDataSet(TXDataSet* dataSet);
    void UnregisterDataSet(TXDataSet* dataSet);
    const QList<TXDataSet*>& RegisteredDataSets() const { return m_dataSets; }

    // Driver datasets opened on the driver connection.
    QObject* DataSets(int index) const;
    int DataSetCount() const;
    bool InTransaction() const;
    void Rollback();
    void StartTransaction();
    void Commit();

    db::DriverConnection* DriverConnection() const { return m_driver; }
    void CreateDriverConnection();
    void FreeDriverConnection();
    void ConfigureDriverConnection();
    bool IsConfigured() const { return m_configured; }

Q_SIGNALS:
    void AfterConnect(QObject* sender);
    void AfterDisconnect(QObject* sender);
    void BeforeConnect(QObject* sender);
    void BeforeDisconnect(QObject* sender);
    void OnError(QObject* sender, const QSqlError& error, bool* fail);
    void OnCommitComplete(zul::TXConnection* connection, const QSqlError* error, int* status);

private:
    QList<TXDataSet*> m_dataSets;
    db::DriverConnection* m_driver = nullptr;
    bool m_configured = false;
    TXDBType m_serverType;
    bool m_connectedCache = false;
    QString m_connectString;
    bool m_pooling = false;
    QString m_database;
    int m_maxPoolSize = 100;
    int m_minPoolSize = 0;
    QString m_userName;
    QString m_server;
    QString m_password;
};

} // namespace zul

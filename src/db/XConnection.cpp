#include "db/XConnection.h"

#include "db/DriverConnection.h"
#include "db/DriverDataSet.h"
#include "db/ProfileSource.h"
#include "db/XDataSet.h"

using namespace Qt::StringLiterals;

namespace zul {

TXConnection::TXConnection(QObject* owner)
    : TXComponent(owner), m_serverType(db::ProfileServerType(QString()))
{
    CreateDriverConnection();
}

TXConnection::~TXConnection()
{
    MarkDestroying();
    FreeDriverConnection();
}

void TXConnection::Loaded()
{
    TXComponent::Loaded();
    ConfigureDriverConnection();
}

void TXConnection::CreateDriverConnection()
{
    FreeDriverConnection();
    m_driver = new db::DriverConnection(m_serverType, this);
    if (isDirectFamily(m_serverType))
        m_driver->KeepDesignConnected = false;
    m_driver->LoginPrompt = false;
    m_configured = false;
}

void TXConnection::FreeDriverConnection()
{
    delete m_driver;
    m_driver = nullptr;
    m_configured = false;
}

void TXConnection::ConfigureDriverConnection()
{
    if (!m_driver)
        return;
    const bool oleDb = isOleDbFamily(m_serverType);
    switch (m_serverType) {
    case xdtCR_Oracle:
        m_driver->ConnectString = m_connectString;
        m_driver->EnableIntegers = false;
        break;
    case xdtCR_MSSQL:
        m_driver->Database = m_database;
        if (!m_connectString.contains(u"Provider="_s))
            m_connectString.clear();
        m_driver->ConnectString = m_connectString;
        break;
    default:
        m_driver->ConnectString = m_connectString;
        break;
    }
    m_pooling = db::ProfilePooling();
    m_maxPoolSize = db::ProfileMaxPoolSize();
    m_minPoolSize = db::ProfileMinPoolSize();
    if (!oleDb) {
        m_driver->Pooling = m_pooling;
        m_driver->DisconnectedMode = m_pooling;
        m_driver->MaxPoolSize = m_maxPoolSize;
        m_driver->MinPoolSize = m_minPoolSize;
        m_driver->Username = m_userName;
        m_driver->Server = m_server;
        m_driver->Password = m_password;
    }
    // Connected before the forwarders exist: this connect raises none of our events.
    m_driver->SetConnected(m_connectedCache);

    // Configuring again (a second Loaded, a profile of the same family) must not install a
    // second forwarder: every event would then reach the handlers twice.
    disconnect(m_driver, nullptr, this, nullptr);
    connect(m_driver, &db::DriverConnection::AfterConnect, this, &TXConnection::AfterConnect);
    connect(m_driver, &db::DriverConnection::AfterDisconnect, this, &TXConnection::AfterDisconnect);
    connect(m_driver, &db::DriverConnection::BeforeConnect, this, &TXConnection::BeforeConnect);
    connect(m_driver, &db::DriverConnection::BeforeDisconnect, this, &TXConnection::BeforeDisconnect);
    if (oleDb) {
        m_driver->ExecuteCompleteHandler = [this](QObject*, const QString&, const QSqlError* error) {
            if (error) {
                bool fail = true; // the OLE DB notification has no way to take an answer back
                Q_EMIT OnError(this, *error, &fail);
            }
        };
        m_driver->CommitCompleteHandler = [this](const QSqlError* error) {
            int status = error ? 1 : 0;
            Q_EMIT OnCommitComplete(this, error, &status);
        };
    } else {
        connect(m_driver, &db::DriverConnection::Error, this, &TXConnection::OnError);
    }
    m_configured = true;

    for (TXDataSet* ds : std::as_const(m_dataSets)) {
        try {
            ds->CreateDriverObject(m_serverType);
            ds->AttachDriverObject();
        } catch (...) {
            // One dataset that cannot follow the new family must not keep the others behind.
        }
    }
}

bool TXConnection::Connected()
{
    if (m_driver)
        m_connectedCache = m_driver->Connected();
    return m_connectedCache;
}

void TXConnection::SetConnected(bool connected)
{
    if (m_driver && !m_configured)
        ConfigureDriverConnection();
    m_connectedCache = connected;
    if (!IsLoading() && m_driver)
        m_driver->SetConnected(connected);
}

QString TXConnection::ConnectString()
{
    if (m_driver)
        m_connectString = m_driver->ConnectString;
    return m_connectString;
}

void TXConnection::SetConnectString(const QString& text)
{
    if (IsLoading())
        return;
    m_connectString = text;
    if (m_driver)
        m_driver->ConnectString = text;
}

QString TXConnection::Database()
{
    if (m_serverType == xdtCR_MSSQL && m_driver)
        m_database = m_driver->Database;
    return m_database;
}

void TXConnection::SetDatabase(const QString& name)
{
    m_database = name;
    if (m_serverType == xdtCR_MSSQL && m_driver)
        m_driver->Database = name;
}

QString TXConnection::Server()
{
    if (m_driver && !isOleDbFamily(m_serverType))
        m_server = m_driver->Server;
    return m_server;
}

void TXConnection::SetServer(const QString& server)
{
    m_server = server;
    if (m_driver && !isOleDbFamily(m_serverType))
        m_driver->Server = server;
}

QString TXConnection::UserName()
{
    if (m_driver && !isOleDbFamily(m_serverType))
        m_userName = m_driver->Username;
    return m_userName;
}

void TXConnection::SetUserName(const QString& user)
{
    m_userName = user;
    if (m_driver && !isOleDbFamily(m_serverType))
        m_driver->Username = user;
}

QString TXConnection::Password()
{
    if (m_driver && !isOleDbFamily(m_serverType))
        m_password = m_driver->Password;
    return m_password;
}

void TXConnection::SetPassword(const QString& password)
{
    m_password = password;
    if (m_driver && !isOleDbFamily(m_serverType))
        m_driver->Password = password;
}

void TXConnection::SelectProfile(const QString& code)
{
    ChangeServerType(db::ProfileServerType(code));
}

void TXConnection::ChangeServerType(TXDBType type)
{
    if (type == m_serverType)
        return;
    m_serverType = type;
    FreeDriverConnection();
    CreateDriverConnection();
    ConfigureDriverConnection();
}

db::SqlDialect TXConnection::Dialect() const
{
    return m_driver ? m_driver->Dialect() : db::DialectForServerType(m_serverType);
}

void TXConnection::RegisterDataSet(TXDataSet* dataSet)
{
    m_dataSets.append(dataSet);
    if (m_driver && !IsLoading()) {
        dataSet->CreateDriverObject(m_serverType);
        dataSet->AttachDriverObject();
    }
}

void TXConnection::UnregisterDataSet(TXDataSet* dataSet)
{
    if (IsDestroying())
        return;
    m_dataSets.removeAll(dataSet);
}

QObject* TXConnection::DataSets(int index) const
{
    if (!m_driver || index < 0 || index >= m_driver->DataSets().size())
        return nullptr;
    return m_driver->DataSets().at(index);
}

int TXConnection::DataSetCount() const
{
    return m_driver ? static_cast<int>(m_driver->DataSets().size()) : 0;
}

bool TXConnection::InTransaction() const
{
    return m_driver && m_driver->InTransaction();
}

void TXConnection::Rollback()
{
    if (m_driver)
        m_driver->Rollback();
}

void TXConnection::StartTransaction()
{
    if (m_driver)
        m_driver->StartTransaction();
}

void TXConnection::Commit()
{
    if (m_driver)
        m_driver->Commit();
}

} // namespace zul

#include "db/XDataSet.h"

#include "db/DataPacket.h"
#include "db/DriverConnection.h"
#include "db/DriverDataSet.h"
#include "db/ProfileSource.h"
#include "db/XConnection.h"
#include "db/XFields.h"

namespace zul {

using db::DriverQuery;

namespace {

// Brings the driver's parameters in line with the component's own: own parameters the text
// does not use are dropped, the ones it uses get their type and value (empty text becomes
// NULL), and placeholders nobody declared become own parameters.
void syncParams(TXParams& own, TXParams& driver, TXDBType family, bool firstMatchOnly)
{
    int i = 0;
    while (i < own.Count()) {
        TXParam& mine = own[i];
        bool matched = false;
        for (int d = 0; d < driver.Count(); ++d) {
            TXParam& theirs = driver[d];
            if (theirs.Name().compare(mine.Name(), Qt::CaseInsensitive) != 0)
                continue;
            matched = true;
            TFieldType type = mine.DataType();
            if (family == xdtCR_Oracle && type == ftGraphic)
                type = ftBlob;
            if (!isOleDbFamily(family) || type != ftUnknown)
                theirs.SetDataType(type);
            theirs.SetValue(mine.Value());
            theirs.SetParamType(ptInput);
            if (mine.Value().toString().isEmpty() &&
                mine.Value().metaType() != QMetaType::fromType<QByteArray>())
                theirs.Clear();
            else if (mine.Value().metaType() == QMetaType::fromType<QByteArray>() &&
                     mine.Value().toByteArray().isEmpty())
                theirs.Clear();
            if (!isOleDbFamily(family))
                theirs.SetBound(true);
            if (firstMatchOnly)
                break;
        }
        if (matched)
            ++i;
        else
            own.Delete(i);
    }
    for (int d = 0; d < driver.Count(); ++d) {
        const TXParam& theirs = driver[d];
        if (!own.FindParam(theirs.Name()))
            own.CreateParam(theirs.DataType(), theirs.Name(), theirs.ParamType());
    }
}

} // namespace

TXDataSet::TXDataSet(QObject* owner) : TXComponent(owner), m_serverType(db::ProfileServerType(QString())) {}

TXDataSet::~TXDataSet()
{
    if (m_connection)
        m_connection->UnregisterDataSet(this);
}

void TXDataSet::SetConnection(TXConnection* connection)
{
    if (connection == m_connection)
        return;
    if (m_connection)
        m_connection->UnregisterDataSet(this);
    m_connection = connection;
    if (m_connection)
        m_connection->RegisterDataSet(this);
    else
        FreeDriverObject();
}

// ---------------------------------------------------------------------------------------------

TXQuery::TXQuery(QObject* owner) : TXDataSet(owner)
{
    CreateDriverObject(m_serverType);
}

TXQuery::~TXQuery()
{
    MarkDestroying();
    if (m_connection)
        m_connection->UnregisterDataSet(this);
    m_connection = nullptr;
    if (m_provider)
        m_provider->SetDataSet(nullptr);
    FreeDriverObject();
}

void TXQuery::Loaded()
{
    TXDataSet::Loaded();
    AttachDriverObject();
    if (m_streamedActive)
        SetActive(true);
}

void TXQuery::CreateDriverObject(TXDBType type)
{
    if ((type == m_serverType && m_driver) || IsLoading())
        return;
    DataSetProvider* provider = FindProvider();
    if (provider) {
        provider->SetDataSet(nullptr);
        m_provider = nullptr;
    }
    QList<TXField*> moved;
    if (m_driver) {
        for (TXField* f : m_driver->Fields())
            if (f->parent() != m_driver)
                moved << f;
        for (TXField* f : std::as_const(moved))
            f->SetDataSet(nullptr);
    }
    delete m_driver;
    m_driver = new DriverQuery(type, this);
    m_forwarded = nullptr;
    if (type == xdtCR_Oracle) {
        m_driver->AutoCommit = true;
        m_driver->RequiredFieldsCheck = false;
        m_driver->KeepPrepared = true;
    }
    m_serverType = type;
    if (provider)
        SetProvider(provider);
    for (TXField* f : std::as_const(moved))
        f->SetDataSet(m_driver);
}

void TXQuery::FreeDriverObject()
{
    if (m_driver) {
        // Persistent fields stay with the form; they only lose their dataset.
        for (TXField* f : m_driver->Fields())
            if (f->parent() != m_driver)
                f->SetDataSet(nullptr);
    }
    delete m_driver;
    m_driver = nullptr;
    m_forwarded = nullptr;
}

void TXQuery::AttachDriverObject()
{
    if (IsLoading())
        return;
    if (m_connection) {
        if (m_connection->ServerType() != m_serverType || !m_driver)
            CreateDriverObject(m_connection->ServerType());
        m_driver->SetConnection(m_connection->DriverConnection());
    }
    if (!m_driver)
        return;
    m_driver->SetParamCheck(m_paramCheck);
    m_driver->SetSQL(m_sql);
    m_driver->Params().Assign(m_params);
    m_driver->ReadOnly = m_readOnly;
    m_driver->UniDirectional = m_uniDirectional;
    installForwarders();
    if (m_activeCache && !m_driver->Active())
        m_driver->SetActive(true);
}

void TXQuery::installForwarders()
{
    if (m_forwarded == m_driver)
        return;
    m_forwarded = m_driver;
    connect(m_driver, &DriverQuery::BeforeOpen, this, [this](QObject* ds) {
        Q_EMIT BeforeOpen(ds);
        // After the handler, so values it gives to parameters reach the driver.
        SyncSqlAndParams();
    });
    connect(m_driver, &DriverQuery::CursorOpening, this, &TXQuery::dropStaleLinks);
    connect(m_driver, &DriverQuery::AfterOpen, this, &TXQuery::AfterOpen);
    connect(m_driver, &DriverQuery::BeforeClose, this, &TXQuery::BeforeClose);
    connect(m_driver, &DriverQuery::AfterClose, this, &TXQuery::AfterClose);
    connect(m_driver, &DriverQuery::BeforeScroll, this, &TXQuery::BeforeScroll);
    connect(m_driver, &DriverQuery::AfterScroll, this, &TXQuery::AfterScroll);
    connect(m_driver, &DriverQuery::BeforeRefresh, this, &TXQuery::BeforeRefresh);
    connect(m_driver, &DriverQuery::AfterRefresh, this, &TXQuery::AfterRefresh);
    // The OLE DB families have no fetch or execute notifications of their own.
    if (!isOleDbFamily(m_serverType)) {
        connect(m_driver, &DriverQuery::BeforeFetch, this, &TXQuery::BeforeFetch);
        connect(m_driver, &DriverQuery::AfterFetch, this, &TXQuery::AfterFetch);
        connect(m_driver, &DriverQuery::AfterExecute, this, &TXQuery::AfterExecute);
    }
}

void TXQuery::dropStaleLinks()
{
    if (IsLoading())
        return;
    if (m_provider && m_provider->DataSet() != m_driver)
        m_provider = nullptr;
}

bool TXQuery::Active()
{
    if (m_driver)
        m_activeCache = m_driver->Active();
    return m_activeCache;
}

void TXQuery::SetActive(bool active)
{
    if (IsLoading()) {
        m_streamedActive = active;
        return;
    }
    m_activeCache = active;
    if (m_driver)
        m_driver->SetActive(active);
}

bool TXQuery::IsEmpty() const
{
    return m_driver ? m_driver->IsEmpty() : false;
}

void TXQuery::Next()
{
    if (m_driver)
        m_driver->Next();
}

void TXQuery::SetSQL(const QStringList& lines)
{
    m_sql = lines;
    if (m_driver)
        m_driver->SetSQL(m_sql);
    if (!IsLoading())
        SyncSqlAndParams();
}

void TXQuery::SetParamCheck(bool check)
{
    m_paramCheck = check;
    if (m_driver)
        m_driver->SetParamCheck(check);
}

void TXQuery::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (m_driver)
        m_driver->ReadOnly = readOnly;
}

void TXQuery::SetUniDirectional(bool uniDirectional)
{
    m_uniDirectional = uniDirectional;
    if (m_driver)
        m_driver->UniDirectional = uniDirectional;
}

TXField* TXQuery::FieldByName(const QString& fieldName) const
{
    if (!m_driver)
        return nullptr;
    return m_driver->FieldByName(fieldName);
}

TXField* TXQuery::FindField(const QString& fieldName) const
{
    return m_driver ? m_driver->FindField(fieldName) : nullptr;
}

void TXQuery::SetProvider(DataSetProvider* provider)
{
    if (provider != m_provider) {
        if (m_provider)
            m_provider->SetDataSet(nullptr);
        if (provider && provider->DataSet() && provider->DataSet() != m_driver) {
            if (auto* other = qobject_cast<TXQuery*>(provider->DataSet()->parent()))
                other->m_provider = nullptr;
        }
        if (provider)
            provider->SetDataSet(m_driver);
    }
    m_provider = provider;
}

DataSetProvider* TXQuery::FindProvider()
{
    if (m_driver && parent()) {
        for (QObject* child : parent()->children()) {
            auto* p = qobject_cast<DataSetProvider*>(child);
            if (p && p->DataSet() == m_driver) {
                m_provider = p;
                break;
            }
        }
    }
    return m_provider;
}

void TXQuery::SyncSqlAndParams()
{
    if (!m_driver)
        return;
    if (m_serverType == xdtCR_MSSQL || isOleDbFamily(m_serverType)) {
        // These drivers are handed the text afresh every time.
        m_driver->SetSQL({});
        m_driver->SetSQL(m_sql);
    } else {
        // Unchanged text keeps the prepared statement.
        m_driver->SetSQL(m_sql);
    }
    syncParams(m_params, m_driver->Params(), m_serverType, false);
}

// ---------------------------------------------------------------------------------------------

TXCommand::TXCommand(QObject* owner) : TXDataSet(owner)
{
    CreateDriverObject(m_serverType);
}

TXCommand::~TXCommand()
{
    MarkDestroying();
    if (m_connection)
        m_connection->UnregisterDataSet(this);
    m_connection = nullptr;
    FreeDriverObject();
}

void TXCommand::Loaded()
{
    TXDataSet::Loaded();
    AttachDriverObject();
}

void TXCommand::CreateDriverObject(TXDBType type)
{
    if (IsLoading())
        return;
    delete m_driver;
    m_driver = new db::DriverCommand(type, this);
    m_serverType = type;
}

void TXCommand::FreeDriverObject()
{
    delete m_driver;
    m_driver = nullptr;
}

void TXCommand::AttachDriverObject()
{
    if (IsLoading())
        return;
    if (m_connection) {
        if (m_connection->ServerType() != m_serverType || !m_driver)
            CreateDriverObject(m_connection->ServerType());
        m_driver->SetConnection(m_connection->DriverConnection());
    }
    if (!m_driver)
        return;
    m_driver->SetParamCheck(m_paramCheck);
    m_driver->SetSQL(m_sql);
    m_driver->Params().Assign(m_params);
    if (!isOleDbFamily(m_serverType))
        connect(m_driver, &db::DriverCommand::AfterExecute, this, &TXCommand::AfterExecute,
                Qt::UniqueConnection);
}

void TXCommand::SetSQL(const QStringList& lines)
{
    m_sql = lines;
    if (m_driver)
        m_driver->SetSQL(m_sql);
    if (!IsLoading())
        SyncCommandParams();
}

void TXCommand::SetParamCheck(bool check)
{
    m_paramCheck = check;
    if (m_driver)
        m_driver->SetParamCheck(check);
}

void TXCommand::SyncCommandParams()
{
    if (!m_driver)
        return;
    m_driver->SetSQL(m_sql);
    syncParams(m_params, m_driver->Params(), m_serverType, true);
}

void TXCommand::Execute()
{
    SyncCommandParams();
    if (m_driver)
        m_driver->Execute();
}

int TXCommand::RowsAffected() const
{
    return m_driver ? m_driver->RowsAffected() : 0;
}

} // namespace zul

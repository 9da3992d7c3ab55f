#include "db/XSQLMonitor.h"

#include "db/DriverDataSet.h"
#include "db/ProfileSource.h"
#include "db/XConnection.h"

using namespace Qt::StringLiterals;

namespace zul {

TXSQLMonitor::TXSQLMonitor(QObject* owner) : TXDataSet(owner)
{
    m_serverType = db::ProfileServerType(QString());
    CreateDriverObject(m_serverType);
}

TXSQLMonitor::~TXSQLMonitor()
{
    MarkDestroying();
    if (m_connection) {
        m_connection->UnregisterDataSet(this);
        if (db::DriverConnection* dc = m_connection->DriverConnection(); dc && isOleDbFamily(dc->Family())) {
            // Handlers that point at this monitor must not outlive it.
            dc->ConnectCompleteHandler = nullptr;
            dc->ExecuteCompleteHandler = nullptr;
        }
    }
    m_connection = nullptr;
    FreeDriverObject();
}

void TXSQLMonitor::Loaded()
{
    TXDataSet::Loaded();
    AttachDriverObject();
}

void TXSQLMonitor::CreateDriverObject(TXDBType type)
{
    if (IsLoading())
        return;
    FreeDriverObject();
    if (!isOleDbFamily(type)) {
        m_driverMonitor = new QObject(this);
        m_driverMonitor->setObjectName(u"SQLMonitor"_s);
    }
    m_serverType = type;
}

void TXSQLMonitor::FreeDriverObject()
{
    QObject::disconnect(m_traceConnection);
    delete m_driverMonitor;
    m_driverMonitor = nullptr;
}

void TXSQLMonitor::AttachDriverObject()
{
    if (IsLoading() || !m_connection)
        return;
    if (m_connection->ServerType() != m_serverType)
        CreateDriverObject(m_connection->ServerType());
    db::DriverConnection* dc = m_connection->DriverConnection();
    if (!dc)
        return;
    if (isOleDbFamily(dc->Family())) {
        dc->ConnectCompleteHandler = [this, dc](const QSqlError* error) {
            if (error)
                Q_EMIT OnSQL(dc, error->text(), tfError);
            else
                Q_EMIT OnSQL(dc, dc->ConnectString, tfConnect);
        };
        dc->ExecuteCompleteHandler = [this](QObject* ds, const QString& text, const QSqlError* error) {
            onExecuteComplete(ds, text, error);
        };
    } else if (m_driverMonitor) {
        QObject::disconnect(m_traceConnection);
        m_traceConnection = connect(dc, &db::DriverConnection::Trace, m_driverMonitor,
                                    [this](QObject* sender, const QString& text, TDATraceFlag flag) {
                                        Q_EMIT OnSQL(sender, text, flag);
                                    });
    }
}

QString TXSQLMonitor::FormatParameterList(const TXParams& params)
{
    QString out = u"Parametros: \r\n"_s;
    for (int i = 0; i < params.Count(); ++i) {
        const TXParam& p = params[i];
        out += u"   No.: "_s + QString::number(i) + u" - "_s + u"Nome: "_s + p.Name() + u" - "_s +
               u"Valor: "_s + (p.IsNull() ? u"NULL"_s : p.Value().toString()) + u"\r\n"_s;
    }
    return out;
}

void TXSQLMonitor::onExecuteComplete(QObject* dataSet, const QString& commandText, const QSqlError* error)
{
    if (error) {
        Q_EMIT OnSQL(dataSet, error->text(), tfError);
        return;
    }
    QString text = commandText;
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    text += u"\r\n"_s;
    if (dataSet && commandText.contains(u'?')) {
        // The parameters listed are those of the layer component that owns the driver object.
        if (auto* query = qobject_cast<TXQuery*>(dataSet->parent()); query && query->Params().Count() > 0)
            text += FormatParameterList(query->Params());
        else if (auto* command = qobject_cast<TXCommand*>(dataSet->parent());
                 command && command->Params().Count() > 0)
            text += FormatParameterList(command->Params());
    }
    Q_EMIT OnSQL(dataSet, text, tfQExecute);
}

} // namespace zul

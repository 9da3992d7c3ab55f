#pragma once

#include "db/DriverConnection.h"
#include "db/XDataSet.h"

#include <QPointer>

namespace zul {

// Turns the statement and connection traces of whichever driver family is in use into one
// signal, OnSQL.
class TXSQLMonitor : public TXDataSet
{
    Q_OBJECT
public:
    explicit TXSQLMonitor(QObject* owner = nullptr);
    ~TXSQLMonitor() override;

    void Loaded() override;
    void CreateDriverObject(TXDBType type) override;
    void FreeDriverObject() override;
    void AttachDriverObject() override;

    QObject* DriverMonitor() const { return m_driverMonitor; }

    // The parameter block of an OLE DB trace: "Parametros: \r\n" and one line per parameter.
    static QString FormatParameterList(const TXParams& params);

Q_SIGNALS:
    void OnSQL(QObject* sender, const QString& text, zul::TDATraceFlag flag);

private:
    void onExecuteComplete(QObject* dataSet, const QString& commandText, const QSqlError* error);

    QObject* m_driverMonitor = nullptr;
    QMetaObject::Connection m_traceConnection;
};

} // namespace zul

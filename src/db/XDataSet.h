#pragma once

#include "db/DataPacket.h"
#include "db/DbType.h"
#include "db/XComponent.h"
#include "db/XConnection.h"
#include "db/XParams.h"

#include <QPointer>
#include <QStringList>

namespace zul {

namespace db {
class DriverQuery;
class DriverCommand;
} // namespace db
class TXField;

// Base of the layer's queries, commands and monitors: a Connection and the driver object of
// the connection's family, recreated whenever that family changes.
class TXDataSet : public TXComponent
{
    Q_OBJECT
public:
    explicit TXDataSet(QObject* owner = nullptr);
    ~TXDataSet() override;

    TXConnection* Connection() const { return m_connection; }
    void SetConnection(TXConnection* connection);
    TXDBType ServerType() const { return m_serverType; }

    virtual void CreateDriverObject(TXDBType) {}
    virtual void FreeDriverObject() {}
    virtual void AttachDriverObject() {}

protected:
    TXDBType m_serverType;
    QPointer<TXConnection> m_connection;
};

// A statement that returns rows. The SQL text and parameters held here are the master copy,
// pushed into the driver query before every open.
class TXQuery : public TXDataSet
{
    Q_OBJECT
public:
    explicit TXQuery(QObject* owner = nullptr);
    ~TXQuery() override;

    void Loaded() override;
    void CreateDriverObject(TXDBType type) override;
    void FreeDriverObject() override;
    void AttachDriverObject() override;

    bool Active();
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool IsEmpty() const;
    bool Eof() const { return IsEmpty(); }
    void Next();

    QStringList SQL() const { return m_sql; }
    void SetSQL(const QStringList& lines);
    void SetSQL(const QString& text) { SetSQL(QStringList{text}); }
    TXParams& Params() { return m_params; }
    TXParam& ParamByName(const QString& name) { return m_params.ParamByName(name); }
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool check);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);
    bool UniDirectional() const { return m_uniDirectional; }
    void SetUniDirectional(bool uniDirectional);

    TXField* FieldByName(const QString& fieldName) const;
    TXField* FindField(const QString& fieldName) const;

    DataSetProvider* Provider() const { return m_provider; }
    // A provider serves one query at a time: taking it from another query unlinks it there.
    void SetProvider(DataSetProvider* provider);
    DataSetProvider* FindProvider();

    db::DriverQuery* DriverDataSet() const { return m_driver; }
    void SyncSqlAndParams();

Q_SIGNALS:
    void BeforeOpen(QObject* dataSet);
    void AfterOpen(QObject* dataSet);
    void BeforeClose(QObject* dataSet);
    void AfterClose(QObject* dataSet);
    void BeforeScroll(QObject* dataSet);
    void AfterScroll(QObject* dataSet);
    void BeforeRefresh(QObject* dataSet);
    void AfterRefresh(QObject* dataSet);
    void BeforeFetch(QObject* dataSet);
    void AfterFetch(QObject* dataSet);
    void AfterExecute(QObject* dataSet, bool result);

private:
    void installForwarders();
    void dropStaleLinks();

    bool m_streamedActive = false;
    db::DriverQuery* m_driver = nullptr;
    db::DriverQuery* m_forwarded = nullptr;
    QPointer<DataSetProvider> m_provider;
    bool m_activeCache = false;
    bool m_paramCheck = true;
    TXParams m_params;
    bool m_readOnly = false;
    QStringList m_sql;
    bool m_uniDirectional = false;
};

// A statement that returns no rows.
class TXCommand : public TXDataSet
{
    Q_OBJECT
public:
    explicit TXCommand(QObject* owner = nullptr);
    ~TXCommand() override;

    void Loaded() override;
    void CreateDriverObject(TXDBType type) override;
    void FreeDriverObject() override;
    void AttachDriverObject() override;

    QStringList SQL() const { return m_sql; }
    void SetSQL(const QStringList& lines);
    void SetSQL(const QString& text) { SetSQL(QStringList{text}); }
    TXParams& Params() { return m_params; }
    TXParam& ParamByName(const QString& name) { return m_params.ParamByName(name); }
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool check);

    void Execute();
    int RowsAffected() const;
    void SyncCommandParams();
    db::DriverCommand* DriverCommand() const { return m_driver; }

Q_SIGNALS:
    void AfterExecute(QObject* sender, bool result);

private:
    db::DriverCommand* m_driver = nullptr;
    QStringList m_sql;
    bool m_paramCheck = true;
    TXParams m_params;
};

} // namespace zul

#pragma once

#include "db/DbType.h"
#include "db/SqlText.h"
#include "db/XParams.h"

#include <QObject>
#include <QPointer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace zul {
class TXField;
namespace db {

class DriverConnection;

// What the driver query and the driver command share: the statement text as lines, its
// parameters parsed from the text, and one QSqlQuery prepared on the driver connection.
class DriverObject : public QObject
{
    Q_OBJECT
public:
    DriverObject(TXDBType family, QObject* owner);
    ~DriverObject() override;

    TXDBType Family() const { return m_family; }
    DriverConnection* Connection() const { return m_connection; }
    void SetConnection(DriverConnection* connection);

    const QStringList& SQL() const { return m_sql; }
    QString SQLText() const { return m_sql.join(u'\n'); }
    // A different text drops the prepared statement; the same text keeps it.
    void SetSQL(const QStringList& lines);
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool check);
    TXParams& Params() { return m_params; }
    // The text as sent to the driver (placeholders made positional).
    const QString& DriverText() const { return m_positional.text; }

    // How many times the statement was prepared; a reopen with unchanged text adds nothing.
    int PrepareCount() const { return m_prepareCount; }

    // The connection is closing or going away: drop statements bound to it.
    virtual void ConnectionClosing();

protected:
    // Prepares when needed, binds the parameters and runs; failures throw zul::Error.
    void run();
    QSqlQuery m_query;

private:
    void parseParams();

    TXDBType m_family;
    DriverConnection* m_connection = nullptr;
    QStringList m_sql;
    PositionalSql m_positional;
    TXParams m_params;
    bool m_paramCheck = true;
    bool m_prepared = false;
    int m_prepareCount = 0;
};

// The driver dataset of a TXQuery: a forward cursor over the result with its fields.
class DriverQuery : public DriverObject
{
    Q_OBJECT
public:
    DriverQuery(TXDBType family, QObject* owner);
    ~DriverQuery() override;

    bool Active() const { return m_active; }
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    void Refresh();

    bool ReadOnly = false;
    bool UniDirectional = false;
    // Settings the Oracle family is created with.
    bool AutoCommit = true;
    bool RequiredFieldsCheck = true;
    bool KeepPrepared = false;

    // No current row: closed, no rows, or walked past the last one.
    bool IsEmpty() const { return m_row < 0 || m_row >= m_rows.size(); }
    bool Eof() const { return IsEmpty(); }
    int RecNo() const { return m_recNo; }
    void Next();

    const QList<TXField*>& Fields() const { return m_fields; }
    TXField* FindField(const QString& fieldName) const;
    TXField* FieldByName(const QString& fieldName) const; // throws when missing
    QVariant CurrentValue(int column) const;
    // Column layout of the open result.
    QSqlRecord Record() const { return m_record; }

    void ConnectionClosing() override;

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
    // Raised right before the cursor opens, after BeforeOpen: owners drop stale links here.
    void CursorOpening();

private:
    friend class zul::TXField;
    void addField(TXField* field);
    void removeField(TXField* field);
    void bindFields();
    void dropDefaultFields();
    void fetch();
    void readAll();

    bool m_active = false;
    // The whole result, read when the query opens: the statement is finished at once, so no
    // server or file lock outlives the open (a SQLite reader would otherwise keep every other
    // program from writing for as long as the query stays open).
    QSqlRecord m_record;
    QList<QVariantList> m_rows;
    qsizetype m_row = 0;
    int m_recNo = 0;
    QList<TXField*> m_fields;
};

// The driver command of a TXCommand: runs a statement that returns no rows.
class DriverCommand : public DriverObject
{
    Q_OBJECT
public:
    DriverCommand(TXDBType family, QObject* owner);
    bool AutoCommit = true;
    void Execute();
    int RowsAffected() const { return m_rowsAffected; }

Q_SIGNALS:
    void AfterExecute(QObject* sender, bool result);

private:
    int m_rowsAffected = 0;
};

} // namespace db
} // namespace zul

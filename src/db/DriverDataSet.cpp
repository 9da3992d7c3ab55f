#include "db/DriverDataSet.h"

#include "db/DriverConnection.h"
#include "db/XFields.h"
#include "support/Error.h"

#include <QSqlField>

using namespace Qt::StringLiterals;

namespace zul::db {

DriverObject::DriverObject(TXDBType family, QObject* owner) : QObject(owner), m_family(family) {}

DriverObject::~DriverObject()
{
    if (m_connection)
        m_connection->RemoveDataSet(this);
}

void DriverObject::SetConnection(DriverConnection* connection)
{
    if (connection == m_connection)
        return;
    ConnectionClosing();
    if (m_connection)
        m_connection->RemoveDataSet(this);
    m_connection = connection;
    if (m_connection)
        m_connection->AddDataSet(this);
}

void DriverObject::SetSQL(const QStringList& lines)
{
    if (lines == m_sql)
        return;
    m_sql = lines;
    m_prepared = false;
    m_positional = ToPositional(SQLText());
    if (m_paramCheck)
        parseParams();
}

void DriverObject::SetParamCheck(bool check)
{
    m_paramCheck = check;
    if (m_paramCheck)
        parseParams();
}

void DriverObject::parseParams()
{
    // Values already given to parameters that the new text still uses are kept.
    TXParams parsed;
    for (const QString& name : std::as_const(m_positional.names)) {
        TXParam& p = parsed.CreateParam(ftUnknown, name, ptInput);
        if (TXParam* old = m_params.FindParam(name)) {
            p.SetDataType(old->DataType());
            p.SetValue(old->Value());
        }
    }
    m_params.Assign(parsed);
}

void DriverObject::ConnectionClosing()
{
    m_query = QSqlQuery();
    m_prepared = false;
}

void DriverObject::run()
{
    if (!m_connection || !m_connection->Connected())
        throw Error(u"The database connection is not open"_s);
    if (m_positional.occurrences.isEmpty()) {
        // Without parameters there is nothing to prepare for, and some servers cannot
        // prepare every statement (PostgreSQL refuses DDL and SET in PREPARE).
        m_query = QSqlQuery(m_connection->SqlDatabase());
        m_query.setForwardOnly(true);
        m_prepared = false;
        if (!m_query.exec(m_positional.text))
            m_connection->Fail(this, m_positional.text, m_query.lastError());
        m_connection->NotifyExecute(this, m_positional.text, nullptr);
        return;
    }
    if (!m_prepared) {
        m_query = QSqlQuery(m_connection->SqlDatabase());
        m_query.setForwardOnly(true);
        if (!m_query.prepare(m_positional.text))
            m_connection->Fail(this, m_positional.text, m_query.lastError());
        m_prepared = true;
        ++m_prepareCount;
    }
    for (int i = 0; i < m_positional.occurrences.size(); ++i) {
        const TXParam* p = m_params.FindParam(m_positional.occurrences.at(i));
        m_query.bindValue(i, p ? p->BindValue() : QVariant(QMetaType::fromType<QString>()));
    }
    if (!m_query.exec()) {
        const QSqlError error = m_query.lastError();
        // A statement that failed may be left in a state the driver cannot run again.
        m_prepared = false;
        m_connection->Fail(this, m_positional.text, error);
    }
    m_connection->NotifyExecute(this, m_positional.text, nullptr);
}

// ---------------------------------------------------------------------------------------------

DriverQuery::DriverQuery(TXDBType family, QObject* owner) : DriverObject(family, owner)
{
    setObjectName(u"Query"_s);
}

DriverQuery::~DriverQuery()
{
    // Persistent fields outlive the driver dataset; they are only detached.
    const QList<TXField*> fields = m_fields;
    for (TXField* f : fields) {
        if (f->parent() == this)
            delete f;
        else
            f->SetDataSet(nullptr);
    }
}

void DriverQuery::SetActive(bool active)
{
    if (active == m_active)
        return;
    if (active) {
        Q_EMIT BeforeOpen(this);
        Q_EMIT CursorOpening();
        run();
        readAll();
        m_active = true;
        m_recNo = 0;
        m_row = -1;
        try {
            bindFields();
        } catch (...) {
            m_active = false;
            m_rows.clear();
            m_row = 0;
            throw;
        }
        fetch();
        Q_EMIT AfterOpen(this);
    } else {
        Q_EMIT BeforeClose(this);
        m_query.finish();
        m_active = false;
        m_rows.clear();
        m_row = 0;
        m_recNo = 0;
        dropDefaultFields();
        Q_EMIT AfterClose(this);
    }
}

void DriverQuery::readAll()
{
    m_record = m_query.record();
    m_rows.clear();
    const int columns = m_record.count();
    while (m_query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row.append(m_query.value(i));
        m_rows.append(std::move(row));
    }
    const QSqlError error = m_query.lastError();
    m_query.finish();
    if (error.type() != QSqlError::NoError) {
        m_rows.clear();
        Connection()->Fail(this, DriverText(), error);
    }
}

void DriverQuery::Refresh()
{
    Q_EMIT BeforeRefresh(this);
    SetActive(false);
    SetActive(true);
    Q_EMIT AfterRefresh(this);
}

void DriverQuery::fetch()
{
    Q_EMIT BeforeFetch(this);
    if (m_row < m_rows.size())
        ++m_row;
    if (m_row < m_rows.size())
        ++m_recNo;
    Q_EMIT AfterFetch(this);
}

void DriverQuery::Next()
{
    if (IsEmpty())
        return;
    Q_EMIT BeforeScroll(this);
    fetch();
    Q_EMIT AfterScroll(this);
}

void DriverQuery::bindFields()
{
    const QSqlRecord& record = m_record;
    if (m_fields.isEmpty()) {
        for (int i = 0; i < record.count(); ++i) {
            const FieldFactory make = XFieldClasses[FieldTypeFor(record.field(i).metaType())];
            TXField* f = make ? make(this) : nullptr;
            if (!f)
                continue;
            f->SetFieldName(record.fieldName(i));
            f->SetDataSet(this);
        }
    }
    for (TXField* f : std::as_const(m_fields)) {
        const int column = record.indexOf(f->FieldName());
        if (column < 0)
            throw Error(u"Field '"_s + f->FieldName() + u"' not found"_s);
        f->BindColumn(column);
    }
}

void DriverQuery::dropDefaultFields()
{
    const QList<TXField*> fields = m_fields;
    for (TXField* f : fields)
        if (f->parent() == this)
            delete f;
}

TXField* DriverQuery::FindField(const QString& fieldName) const
{
    for (TXField* f : m_fields)
        if (f->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

TXField* DriverQuery::FieldByName(const QString& fieldName) const
{
    if (TXField* f = FindField(fieldName))
        return f;
    throw Error(u"Field '"_s + fieldName + u"' not found"_s);
}

QVariant DriverQuery::CurrentValue(int column) const
{
    if (IsEmpty() || column < 0 || column >= m_rows.at(m_row).size())
        return {};
    return m_rows.at(m_row).at(column);
}

void DriverQuery::addField(TXField* field)
{
    if (!m_fields.contains(field))
        m_fields.append(field);
}

void DriverQuery::removeField(TXField* field)
{
    m_fields.removeAll(field);
}

void DriverQuery::ConnectionClosing()
{
    if (m_active) {
        m_active = false;
        m_rows.clear();
        m_row = 0;
        dropDefaultFields();
    }
    DriverObject::ConnectionClosing();
}

// ---------------------------------------------------------------------------------------------

DriverCommand::DriverCommand(TXDBType family, QObject* owner) : DriverObject(family, owner)
{
    setObjectName(u"Command"_s);
}

void DriverCommand::Execute()
{
    run();
    m_rowsAffected = m_query.numRowsAffected();
    m_query.finish();
    Q_EMIT AfterExecute(this, true);
}

} // namespace zul::db

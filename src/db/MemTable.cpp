#include "db/MemTable.h"

#include "db/DriverDataSet.h"
#include "db/XFields.h"
#include "support/Error.h"

#include <QSqlField>
#include <QSqlRecord>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace zul {

const QList<MemFieldDef>& DataPacket::Fields() const
{
    static const QList<MemFieldDef> none;
    return m_content ? m_content->fields : none;
}

const std::vector<std::vector<QVariant>>& DataPacket::Rows() const
{
    static const std::vector<std::vector<QVariant>> none;
    return m_content ? m_content->rows : none;
}

db::DriverQuery* DataSetProvider::DataSet() const
{
    return static_cast<db::DriverQuery*>(m_dataSet.data());
}

void DataSetProvider::SetDataSet(db::DriverQuery* dataSet)
{
    m_dataSet = dataSet;
}

DataPacket DataSetProvider::GetData()
{
    if (!m_dataSet)
        throw Error(u"The data-set provider has no dataset"_s);
    db::DriverQuery* ds = DataSet();
    const bool opened = !ds->Active();
    if (!opened)
        ds->Close();
    ds->Open();
    DataPacket::Content content;
    const QSqlRecord record = ds->Record();
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField f = record.field(i);
        content.fields.append({f.name(), FieldTypeFor(f.metaType()), f.length() > 0 ? f.length() : 0});
    }
    while (!ds->Eof()) {
        std::vector<QVariant> row;
        row.reserve(static_cast<size_t>(record.count()));
        for (int i = 0; i < record.count(); ++i)
            row.push_back(ds->CurrentValue(i));
        content.rows.push_back(std::move(row));
        ds->Next();
    }
    if (opened)
        ds->Close();
    return DataPacket(std::move(content));
}

// ---------------------------------------------------------------------------------------------

void MemTable::CreateDataSet(QList<MemFieldDef> fields)
{
    m_fields = std::move(fields);
    EmptyDataSet();
    m_active = true;
}

void MemTable::LoadFromPacket(const DataPacket& packet)
{
    if (packet.IsEmpty())
        throw Error(u"Empty data packet: the query that should fill the table failed"_s);
    CreateDataSet(packet.Fields());
    m_rows.reserve(packet.Rows().size());
    for (const auto& values : packet.Rows()) {
        m_rows.push_back(Row{values, -1, -1, true});
        link(static_cast<int>(m_rows.size()) - 1);
    }
    First();
}

void MemTable::Close()
{
    EmptyDataSet();
    m_active = false;
}

void MemTable::EmptyDataSet()
{
    m_rows.clear();
    m_indexes.clear();
    m_head = m_tail = m_current = -1;
    m_count = 0;
}

int MemTable::FieldIndex(const QString& name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int MemTable::RequireField(const QString& name) const
{
    const int i = FieldIndex(name);
    if (i < 0)
        throw Error(u"Field '"_s + name + u"' not found"_s);
    return i;
}

void MemTable::checkField(int field) const
{
    if (field < 0 || field >= m_fields.size())
        throw Error(u"Field #%1 not found"_s.arg(field));
}

void MemTable::First()
{
    m_current = m_head;
}

void MemTable::Next()
{
    if (m_current >= 0)
        m_current = m_rows[static_cast<size_t>(m_current)].next;
}

QVariant MemTable::Value(const QString& fieldName) const
{
    return ValueAt(RequireField(fieldName));
}

QVariant MemTable::ValueAt(int field) const
{
    checkField(field);
    if (m_current < 0)
        return {};
    return m_rows[static_cast<size_t>(m_current)].values[static_cast<size_t>(field)];
}

void MemTable::link(int id)
{
    Row& row = m_rows[static_cast<size_t>(id)];
    row.values.resize(static_cast<size_t>(m_fields.size()));
    row.prev = m_tail;
    row.next = -1;
    if (m_tail >= 0)
        m_rows[static_cast<size_t>(m_tail)].next = id;
    else
        m_head = id;
    m_tail = id;
    ++m_count;
    for (auto it = m_indexes.begin(); it != m_indexes.end(); ++it)
        it.value()[row.values[static_cast<size_t>(it.key())].toString()].push_back(id);
}

void MemTable::AppendRecord(const QList<QVariant>& values)
{
    if (!m_active)
        throw Error(u"The in-memory table is not open"_s);
    m_rows.push_back(Row{std::vector<QVariant>(values.begin(), values.end()), -1, -1, true});
    const int id = static_cast<int>(m_rows.size()) - 1;
    link(id);
    m_current = id;
}

MemTable::Index& MemTable::indexFor(int field)
{
    auto it = m_indexes.find(field);
    if (it != m_indexes.end())
        return it.value();
    Index& index = m_indexes[field];
    index.reserve(m_count);
    // Walking in table order keeps each key's row list in table order.
    for (int id = m_head; id >= 0; id = m_rows[static_cast<size_t>(id)].next)
        index[m_rows[static_cast<size_t>(id)].values[static_cast<size_t>(field)].toString()].push_back(id);
    return index;
}

bool MemTable::Locate(const QString& fieldName, const QString& value)
{
    return LocateAt(RequireField(fieldName), value);
}

bool MemTable::LocateAt(int field, const QString& value)
{
    checkField(field);
    const Index& index = indexFor(field);
    const auto it = index.constFind(value);
    if (it == index.constEnd() || it->empty())
        return false;
    m_current = it->front();
    return true;
}

void MemTable::Delete()
{
    if (m_current < 0)
        throw Error(u"No current row to delete"_s);
    const int id = m_current;
    Row& row = m_rows[static_cast<size_t>(id)];
    if (row.prev >= 0)
        m_rows[static_cast<size_t>(row.prev)].next = row.next;
    else
        m_head = row.next;
    if (row.next >= 0)
        m_rows[static_cast<size_t>(row.next)].prev = row.prev;
    else
        m_tail = row.prev;
    for (auto it = m_indexes.begin(); it != m_indexes.end(); ++it) {
        auto found = it.value().find(row.values[static_cast<size_t>(it.key())].toString());
        if (found == it.value().end())
            continue;
        auto& ids = found.value();
        ids.erase(std::find(ids.begin(), ids.end(), id));
        if (ids.empty())
            it.value().erase(found);
    }
    m_current = row.next;
    row.alive = false;
    row.values.clear();
    --m_count;
}

} // namespace zul

#pragma once

#include "db/DataPacket.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>
#include <vector>

namespace zul {

// An in-memory table (the program's cdsUsersCatraca, cdsTemplates): string and blob fields,
// loading of a whole data packet, a cursor, exact-match search and deletion while walking.
// Searching a field builds a hash index on it the first time and keeps it up to date, so each
// search costs O(1) however many rows the table has.
class MemTable
{
public:
    MemTable() = default;
    explicit MemTable(QList<MemFieldDef> fields) { CreateDataSet(std::move(fields)); }

    // Empties the table and gives it these fields.
    void CreateDataSet(QList<MemFieldDef> fields);
    // Replaces fields and rows with the packet's; an empty packet throws zul::Error.
    void LoadFromPacket(const DataPacket& packet);
    void Close();
    bool Active() const { return m_active; }
    void EmptyDataSet();

    const QList<MemFieldDef>& Fields() const { return m_fields; }
    int FieldIndex(const QString& name) const; // -1 when absent
    // The position of a field; throws zul::Error for an unknown name. A loop over many rows
    // looks its fields up once and reads them by position.
    int RequireField(const QString& name) const;
    int RecordCount() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }

    // The cursor: First() goes to the first row, Next() to the following one; Eof() is true
    // once the cursor has gone past the last row (or the table is empty).
    void First();
    void Next();
    bool Eof() const { return m_current < 0; }

    // Values of the current row (null when there is none). Throws zul::Error for an unknown
    // field name.
    QVariant Value(const QString& fieldName) const;
    QString AsString(const QString& fieldName) const { return Value(fieldName).toString(); }
    QByteArray AsBytes(const QString& fieldName) const { return Value(fieldName).toByteArray(); }
    // The same by field position (RequireField); throws zul::Error for a position out of range.
    QVariant ValueAt(int field) const;
    QString StringAt(int field) const { return ValueAt(field).toString(); }
    QByteArray BytesAt(int field) const { return ValueAt(field).toByteArray(); }

    // Appends a row (values in field order) and makes it current.
    void AppendRecord(const QList<QVariant>& values);
    // Makes current the first row, in table order, whose field equals `value` exactly (whole
    // value, letter case and blanks significant). Returns false, cursor unchanged, when none.
    bool Locate(const QString& fieldName, const QString& value);
    bool LocateAt(int field, const QString& value);
    // Removes the current row; the row after it becomes current (Eof when it was the last).
    void Delete();

private:
    struct Row
    {
        std::vector<QVariant> values;
        int prev = -1;
        int next = -1;
        bool alive = true;
    };
    // The rows of each value, in table order; nearly always one, held without an allocation.
    using Index = QHash<QString, QVarLengthArray<int, 1>>;

    void checkField(int field) const;
    Index& indexFor(int field);
    void link(int id);

    QList<MemFieldDef> m_fields;
    std::vector<Row> m_rows;
    QHash<int, Index> m_indexes; // by field position
    int m_head = -1;
    int m_tail = -1;
    int m_current = -1;
    int m_count = 0;
    bool m_active = false;
};

} // namespace zul

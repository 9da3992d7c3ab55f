#pragma once

#include "db/XParams.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace zul {

namespace db {
class DriverQuery;
}

struct MemFieldDef
{
    QString name;
    TFieldType type = ftString;
    int size = 0;
};

// All rows of a query result carried as one value, to be loaded whole into a MemTable. The
// empty packet (default-constructed) stands for a query that failed; a query without rows
// still gives a packet that has its fields.
class DataPacket
{
public:
    struct Content
    {
        QList<MemFieldDef> fields;
        std::vector<std::vector<QVariant>> rows;
    };

    DataPacket() = default;
    explicit DataPacket(Content content) : m_content(std::make_shared<const Content>(std::move(content))) {}

    bool IsEmpty() const { return !m_content; }
    const QList<MemFieldDef>& Fields() const;
    const std::vector<std::vector<QVariant>>& Rows() const;
    int RowCount() const { return m_content ? static_cast<int>(m_content->rows.size()) : 0; }

private:
    std::shared_ptr<const Content> m_content;
};

// Delivers the rows of one query's driver dataset as a data packet.
class DataSetProvider : public QObject
{
    Q_OBJECT
public:
    explicit DataSetProvider(QObject* owner = nullptr) : QObject(owner) {}

    db::DriverQuery* DataSet() const;
    void SetDataSet(db::DriverQuery* dataSet);

    // Opens the dataset when it is closed (and closes it again afterwards), reads every row
    // from the first and returns them. Database errors propagate as zul::Error.
    DataPacket GetData();

private:
    QPointer<QObject> m_dataSet;
};

} // namespace zul

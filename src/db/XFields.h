#pragma once

#include "db/XComponent.h"
#include "db/XParams.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QVariant>
#include <array>

namespace zul {

using namespace Qt::StringLiterals;

namespace db {
class DriverQuery;
}

// A field of a query result. Persistent fields are declared by a form under a TXQuery and
// belong to whatever driver dataset the query has at the moment; the query moves them when
// its driver family changes, so the form keeps the same objects.
class TXField : public TXComponent
{
    Q_OBJECT
public:
    TXField(QObject* owner, TFieldType dataType) : TXComponent(owner), m_dataType(dataType) {}
    ~TXField() override;

    virtual QString ClassName() const { return u"TXField"_s; }
    TFieldType DataType() const { return m_dataType; }
    QString FieldName() const { return m_fieldName; }
    void SetFieldName(const QString& name) { m_fieldName = name; }
    int Size() const { return m_size; }
    void SetSize(int size) { m_size = size; }

    db::DriverQuery* DataSet() const { return m_dataSet; }
    // Detaches from the current driver dataset and attaches to `dataSet` (none for nullptr).
    void SetDataSet(db::DriverQuery* dataSet);
    class TXObjectField* ParentField() const { return m_parentField; }

    // The object that owns this field in a stored description: the parent object field, or the
    // TXQuery whose driver dataset holds it.
    QObject* GetParentComponent() const;
    // Places the field under a parent: an object field takes it as a child, a TXQuery gives it
    // its driver dataset; any other parent leaves it unattached. Ignored while loading.
    void SetParentComponent(QObject* parent);
    // End of reading a stored description, `readerParent` being the reader's current parent.
    void ReadFromForm(QObject* readerParent);

    bool IsNull() const { return Value().isNull(); }
    QVariant Value() const;
    QString AsString() const;
    QByteArray AsBytes() const;
    QDateTime AsDateTime() const;
    qint64 AsLargeInt() const { return Value().toLongLong(); }
    int AsInteger() const { return Value().toInt(); }
    double AsFloat() const { return Value().toDouble(); }
    bool AsBoolean() const { return Value().toBool(); }

    // Set by the driver dataset when it opens: where the value sits in the current row.
    void BindColumn(int column) { m_column = column; }
    int Column() const { return m_column; }

private:
    friend class TXObjectField;
    void attachTo(QObject* parent);

    TFieldType m_dataType;
    QString m_fieldName;
    int m_size = 0;
    int m_column = -1;
    db::DriverQuery* m_dataSet = nullptr;
    TXObjectField* m_parentField = nullptr;
};

// Fields that hold other fields (object, array, nested dataset, reference).
class TXObjectField : public TXField
{
    Q_OBJECT
public:
    using TXField::TXField;
    ~TXObjectField() override;
    const QList<TXField*>& Fields() const { return m_fields; }
    void AddChild(TXField* field);
    void RemoveChild(TXField* field);

private:
    QList<TXField*> m_fields;
};

// The concrete classes add nothing but their type; ClassName() tells them apart.
#define ZUL_FIELD_CLASS(Name, Base, Type)                                                                    \
    class Name : public Base                                                                                 \
    {                                                                                                        \
    public:                                                                                                  \
        explicit Name(QObject* owner = nullptr) : Base(owner, Type) {}                                       \
        QString ClassName() const override { return QStringLiteral(#Name); }                                 \
    };

ZUL_FIELD_CLASS(TXStringField, TXField, ftString)
ZUL_FIELD_CLASS(TXWideStringField, TXField, ftWideString)
ZUL_FIELD_CLASS(TXSmallintField, TXField, ftSmallint)
ZUL_FIELD_CLASS(TXIntegerField, TXField, ftInteger)
ZUL_FIELD_CLASS(TXWordField, TXField, ftWord)
ZUL_FIELD_CLASS(TXBooleanField, TXField, ftBoolean)
ZUL_FIELD_CLASS(TXFloatField, TXField, ftFloat)
ZUL_FIELD_CLASS(TXCurrencyField, TXField, ftCurrency)
ZUL_FIELD_CLASS(TXBCDField, TXField, ftBCD)
ZUL_FIELD_CLASS(TXDateField, TXField, ftDate)
ZUL_FIELD_CLASS(TXTimeField, TXField, ftTime)
ZUL_FIELD_CLASS(TXDateTimeField, TXField, ftDateTime)
ZUL_FIELD_CLASS(TXBytesField, TXField, ftBytes)
ZUL_FIELD_CLASS(TXVarBytesField, TXField, ftVarBytes)
ZUL_FIELD_CLASS(TXAutoIncField, TXField, ftAutoInc)
ZUL_FIELD_CLASS(TXBlobField, TXField, ftBlob)
ZUL_FIELD_CLASS(TXMemoField, TXField, ftMemo)
ZUL_FIELD_CLASS(TXGraphicField, TXField, ftGraphic)
ZUL_FIELD_CLASS(TXLargeIntField, TXField, ftLargeint)
ZUL_FIELD_CLASS(TXADTField, TXObjectField, ftADT)
ZUL_FIELD_CLASS(TXArrayField, TXObjectField, ftArray)
ZUL_FIELD_CLASS(TXReferenceField, TXObjectField, ftReference)
ZUL_FIELD_CLASS(TXDataSetField, TXObjectField, ftDataSet)
ZUL_FIELD_CLASS(TXVariantField, TXField, ftVariant)
ZUL_FIELD_CLASS(TXInterfaceField, TXField, ftInterface)
ZUL_FIELD_CLASS(TXIDispatchField, TXField, ftIDispatch)
ZUL_FIELD_CLASS(TXGUIDField, TXField, ftGuid)

#undef ZUL_FIELD_CLASS

// The field class for each field type (nullptr for ftUnknown and ftCursor); driver datasets
// create the fields they make by themselves from this table, so those are layer fields too.
using FieldFactory = TXField* (*)(QObject* owner);
extern const std::array<FieldFactory, FieldTypeCount> XFieldClasses;

// The field type a driver value of this meta type is read as.
TFieldType FieldTypeFor(QMetaType type);

} // namespace zul

#include "db/XFields.h"

#include "db/DriverDataSet.h"
#include "db/XDataSet.h"

using namespace Qt::StringLiterals;

namespace zul {

TXField::~TXField()
{
    if (m_parentField)
        m_parentField->RemoveChild(this);
    SetDataSet(nullptr);
}

void TXField::SetDataSet(db::DriverQuery* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->removeField(this);
    m_dataSet = dataSet;
    m_column = -1;
    if (m_dataSet)
        m_dataSet->addField(this);
}

QObject* TXField::GetParentComponent() const
{
    if (m_parentField)
        return m_parentField;
    return m_dataSet ? m_dataSet->parent() : nullptr;
}

void TXField::attachTo(QObject* parent)
{
    if (auto* objectField = qobject_cast<TXObjectField*>(parent)) {
        objectField->AddChild(this);
    } else if (auto* query = qobject_cast<TXQuery*>(parent)) {
        SetDataSet(query->DriverDataSet());
    }
}

void TXField::SetParentComponent(QObject* parent)
{
    if (IsLoading())
        return;
    attachTo(parent);
}

void TXField::ReadFromForm(QObject* readerParent)
{
    attachTo(readerParent);
}

QVariant TXField::Value() const
{
    if (m_parentField || !m_dataSet)
        return {};
    return m_dataSet->CurrentValue(m_column);
}

QString TXField::AsString() const
{
    const QVariant v = Value();
    if (v.metaType() == QMetaType::fromType<QDateTime>())
        return v.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
    return v.toString();
}

QByteArray TXField::AsBytes() const
{
    const QVariant v = Value();
    return v.metaType() == QMetaType::fromType<QString>() ? v.toString().toUtf8() : v.toByteArray();
}

QDateTime TXField::AsDateTime() const
{
    const QVariant v = Value();
    if (v.metaType() == QMetaType::fromType<QString>()) {
        // Dates kept as text (SQLite) are written "yyyy-MM-dd HH:mm:ss".
        QString text = v.toString();
        if (text.size() > 10 && text.at(10) == u' ')
            text[10] = u'T';
        return QDateTime::fromString(text, Qt::ISODate);
    }
    return v.toDateTime();
}

TXObjectField::~TXObjectField()
{
    const QList<TXField*> children = m_fields;
    for (TXField* f : children)
        f->m_parentField = nullptr;
}

void TXObjectField::AddChild(TXField* field)
{
    if (field->m_parentField == this)
        return;
    if (field->m_parentField)
        field->m_parentField->RemoveChild(field);
    field->SetDataSet(nullptr);
    field->m_parentField = this;
    m_fields.append(field);
}

void TXObjectField::RemoveChild(TXField* field)
{
    if (m_fields.removeAll(field) > 0)
        field->m_parentField = nullptr;
}

namespace {
template <typename T> TXField* make(QObject* owner)
{
    return new T(owner);
}
} // namespace

const std::array<FieldFactory, FieldTypeCount> XFieldClasses = [] {
    std::array<FieldFactory, FieldTypeCount> t{};
    t[ftUnknown] = nullptr;
    t[ftString] = make<TXStringField>;
    t[ftSmallint] = make<TXSmallintField>;
    t[ftInteger] = make<TXIntegerField>;
    t[ftWord] = make<TXWordField>;
    t[ftBoolean] = make<TXBooleanField>;
    t[ftFloat] = make<TXFloatField>;
    t[ftCurrency] = make<TXCurrencyField>;
    t[ftBCD] = make<TXBCDField>;
    t[ftDate] = make<TXDateField>;
    t[ftTime] = make<TXTimeField>;
    t[ftDateTime] = make<TXDateTimeField>;
    t[ftBytes] = make<TXBytesField>;
    t[ftVarBytes] = make<TXVarBytesField>;
    t[ftAutoInc] = make<TXAutoIncField>;
    t[ftBlob] = make<TXBlobField>;
    t[ftMemo] = make<TXMemoField>;
    t[ftGraphic] = make<TXGraphicField>;
    t[ftFmtMemo] = make<TXBlobField>;
    t[ftParadoxOle] = make<TXBlobField>;
    t[ftDBaseOle] = make<TXBlobField>;
    t[ftTypedBinary] = make<TXBlobField>;
    t[ftCursor] = nullptr;
    t[ftFixedChar] = make<TXStringField>;
    t[ftWideString] = make<TXWideStringField>;
    t[ftLargeint] = make<TXLargeIntField>;
    t[ftADT] = make<TXADTField>;
    t[ftArray] = make<TXArrayField>;
    t[ftReference] = make<TXReferenceField>;
    t[ftDataSet] = make<TXDataSetField>;
    t[ftOraBlob] = make<TXBlobField>;
    t[ftOraClob] = make<TXMemoField>;
    t[ftVariant] = make<TXVariantField>;
    t[ftInterface] = make<TXInterfaceField>;
    t[ftIDispatch] = make<TXIDispatchField>;
    t[ftGuid] = make<TXGUIDField>;
    return t;
}();

TFieldType FieldTypeFor(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::QString:
    case QMetaType::QChar:
        return ftString;
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return ftSmallint;
    case QMetaType::UShort:
    case QMetaType::UChar:
        return ftWord;
    case QMetaType::Int:
    case QMetaType::UInt:
        return ftInteger;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return ftLargeint;
    case QMetaType::Bool:
        return ftBoolean;
    case QMetaType::Double:
    case QMetaType::Float:
        return ftFloat;
    case QMetaType::QDate:
        return ftDate;
    case QMetaType::QTime:
        return ftTime;
    case QMetaType::QDateTime:
        return ftDateTime;
    case QMetaType::QByteArray:
        return ftBlob;
    case QMetaType::QUuid:
        return ftGuid;
    default:
        return ftVariant;
    }
}

} // namespace zul

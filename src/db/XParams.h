#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace zul {

// Field and parameter data types, in the order form files and peers number them.
enum TFieldType : quint8 {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid
};
constexpr int FieldTypeCount = ftGuid + 1;

enum TParamType : quint8 { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// One named statement parameter: what the application sets and what reaches the driver.
class TXParam
{
public:
    TXParam(QString name, TFieldType dataType, TParamType paramType)
        : m_name(std::move(name)), m_dataType(dataType), m_paramType(paramType)
    {}

    const QString& Name() const { return m_name; }
    TFieldType DataType() const { return m_dataType; }
    void SetDataType(TFieldType type) { m_dataType = type; }
    TParamType ParamType() const { return m_paramType; }
    void SetParamType(TParamType type) { m_paramType = type; }
    bool Bound() const { return m_bound; }
    void SetBound(bool bound) { m_bound = bound; }

    const QVariant& Value() const { return m_value; }
    void SetValue(const QVariant& value) { m_value = value; }
    bool IsNull() const { return m_value.isNull(); }
    void Clear() { m_value = QVariant(); }
    QString AsString() const { return m_value.toString(); }
    void SetAsString(const QString& text);
    void SetAsBlob(const QByteArray& bytes);

    // The value as the driver binds it: a typed NULL when unset, bytes for blob types.
    QVariant BindValue() const;

private:
    QString m_name;
    TFieldType m_dataType;
    TParamType m_paramType;
    QVariant m_value;
    bool m_bound = false;
};

// Parameters in declared order. References handed out stay valid until the parameter is
// removed.
class TXParams
{
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TXParam& operator[](int index) { return *m_items.at(static_cast<size_t>(index)); }
    const TXParam& operator[](int index) const { return *m_items.at(static_cast<size_t>(index)); }

    TXParam& CreateParam(TFieldType dataType, const QString& name, TParamType paramType = ptInput);
    TXParam* FindParam(const QString& name);
    // Throws zul::Error naming the parameter when there is none.
    TXParam& ParamByName(const QString& name);
    void Delete(int index);
    void Clear() { m_items.clear(); }
    // Replaces the content with copies of `other`'s parameters.
    void Assign(const TXParams& other);

private:
    std::vector<std::unique_ptr<TXParam>> m_items;
};

} // namespace zul

#include "db/XParams.h"

#include "support/Error.h"

using namespace Qt::StringLiterals;

namespace zul {

void TXParam::SetAsString(const QString& text)
{
    m_value = text;
    if (m_dataType == ftUnknown)
        m_dataType = ftString;
}

void TXParam::SetAsBlob(const QByteArray& bytes)
{
    m_value = bytes;
    m_dataType = ftBlob;
}

QVariant TXParam::BindValue() const
{
    const bool binary = m_dataType == ftBlob || m_dataType == ftGraphic || m_dataType == ftOraBlob ||
                        m_dataType == ftBytes || m_dataType == ftVarBytes || m_dataType == ftTypedBinary;
    if (m_value.isNull())
        return binary ? QVariant(QMetaType::fromType<QByteArray>())
                      : QVariant(QMetaType::fromType<QString>());
    if (binary)
        return m_value.toByteArray();
    return m_value;
}

TXParam& TXParams::CreateParam(TFieldType dataType, const QString& name, TParamType paramType)
{
    m_items.push_back(std::make_unique<TXParam>(name, dataType, paramType));
    return *m_items.back();
}

TXParam* TXParams::FindParam(const QString& name)
{
    for (auto& p : m_items)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

TXParam& TXParams::ParamByName(const QString& name)
{
    if (TXParam* p = FindParam(name))
        return *p;
    throw Error(u"Parameter '"_s + name + u"' not found"_s);
}

void TXParams::Delete(int index)
{
    m_items.erase(m_items.begin() + index);
}

void TXParams::Assign(const TXParams& other)
{
    m_items.clear();
    for (const auto& p : other.m_items)
        m_items.push_back(std::make_unique<TXParam>(*p));
}

} // namespace zul

#include "device/LinkOwnership.h"

namespace zul {

using namespace Qt::StringLiterals;

LinkOwnership::Claim::Claim(Claim&& other) noexcept : m_owner(other.m_owner), m_inner(other.m_inner)
{
    other.m_owner = nullptr;
}

LinkOwnership::Claim& LinkOwnership::Claim::operator=(Claim&& other) noexcept
{
    if (this != &other) {
        if (m_owner)
            m_owner->release(m_inner);
        m_owner = other.m_owner;
        m_inner = other.m_inner;
        other.m_owner = nullptr;
    }
    return *this;
}

LinkOwnership::Claim::~Claim()
{
    if (m_owner)
        m_owner->release(m_inner);
}

void LinkOwnership::Claim::becomes(LinkHolder holder)
{
    if (!m_owner)
        return;
    (m_inner ? m_owner->m_inner : m_owner->m_base) = holder;
}

std::optional<LinkOwnership::Claim> LinkOwnership::claim(LinkHolder who)
{
    if (who == LinkHolder::None || who == LinkHolder::OnlineLoop)
        return std::nullopt;
    if (m_base == LinkHolder::None) {
        m_base = who;
        return Claim(*this, false);
    }
    // StartConnection never runs on somebody else's link.
    if (who == LinkHolder::Connection)
        return std::nullopt;
    if (m_base == LinkHolder::OnlineLoop && m_inner == LinkHolder::None) {
        m_inner = who;
        return Claim(*this, true);
    }
    return std::nullopt;
}

void LinkOwnership::release(bool inner)
{
    if (inner) {
        m_inner = LinkHolder::None;
        return;
    }
    m_base = LinkHolder::None;
    m_inner = LinkHolder::None;
    if (m_startDeferred) {
        m_startDeferred = false;
        if (onFreeWithDeferredStart)
            onFreeWithDeferredStart();
    }
}

bool LinkOwnership::deferStart()
{
    const bool first = !m_startDeferred;
    m_startDeferred = true;
    return first;
}

QString LinkOwnership::holderName(LinkHolder holder)
{
    switch (holder) {
    case LinkHolder::None:
        return u"nenhum"_s;
    case LinkHolder::Connection:
        return u"início da conexão"_s;
    case LinkHolder::OnlineLoop:
        return u"controle online"_s;
    case LinkHolder::Synchronisation:
        return u"sincronismo"_s;
    case LinkHolder::Clearing:
        return u"limpeza da catraca"_s;
    case LinkHolder::QueueStep:
        return u"atualização da fila"_s;
    }
    return {};
}

} // namespace zul

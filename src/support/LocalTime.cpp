#include "support/LocalTime.h"

#include <QTimeZone>

namespace zul {

LocalOffsetCache::LocalOffsetCache() : LocalOffsetCache(&LocalOffsetCache::systemOffsetAt) {}

LocalOffsetCache::LocalOffsetCache(OffsetSource source) : m_source(std::move(source)) {}

int LocalOffsetCache::systemOffsetAt(qint64 epochMs)
{
    return QDateTime::fromMSecsSinceEpoch(epochMs, Qt::LocalTime).offsetFromUtc();
}

int LocalOffsetCache::offsetAt(qint64 epochMs)
{
    if (epochMs >= m_from && epochMs < m_until)
        return m_offset;
    qint64 start = epochMs - epochMs % SpanMs;
    if (epochMs % SpanMs < 0)
        start -= SpanMs;
    const qint64 end = start + SpanMs;
    const int first = m_source(start);
    const int last = m_source(end - 1);
    if (first == last) {
        m_from = start;
        m_until = end;
        m_offset = first;
        return first;
    }
    // A change inside the quarter: `low` still has the first offset, `high` no longer has it.
    qint64 low = start;
    qint64 high = end - 1;
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        if (m_source(middle) == first)
            low = middle;
        else
            high = middle;
    }
    if (epochMs < high) {
        m_from = start;
        m_until = high;
        m_offset = first;
    } else if (const int here = m_source(epochMs); here == last) {
        m_from = high;
        m_until = end;
        m_offset = last;
    } else {
        // More than one change in a quarter of an hour: nothing is kept.
        m_from = epochMs;
        m_until = epochMs + 1;
        m_offset = here;
    }
    return m_offset;
}

QDateTime LocalOffsetCache::localFields(qint64 epochMs)
{
    return QDateTime::fromMSecsSinceEpoch(epochMs + qint64(offsetAt(epochMs)) * 1000, QTimeZone::utc());
}

} // namespace zul

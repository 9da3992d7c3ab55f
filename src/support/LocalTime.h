#pragma once

#include <QDateTime>
#include <functional>

namespace zul {

// The local wall-clock time of an instant without a trip through the C library for each one:
// every such conversion makes it look at the system's time zone again (a stat of
// /etc/localtime on Linux), which the activity log would pay for every line it stamps.
//
// The offset from UTC is asked of the source once for the quarter of an hour (UTC) that holds
// the instant, and checked at both of its ends; the offsets in use change only on whole quarter
// hours of UTC, and should a change fall inside the quarter anyway, the exact moment is searched
// out and the instant's side of it kept. A change of the machine's time zone is seen at the next
// quarter hour at the latest.
class LocalOffsetCache
{
public:
    // Seconds east of UTC at an instant (milliseconds since 1970 UTC).
    using OffsetSource = std::function<int(qint64 epochMs)>;

    LocalOffsetCache();
    explicit LocalOffsetCache(OffsetSource source);

    int offsetAt(qint64 epochMs);
    // A date-time whose date() and time() are the local ones at `epochMs`; only those two are
    // meant to be read (it is kept in UTC so that reading them costs no conversion).
    QDateTime localFields(qint64 epochMs);

    // The offset the C library gives, as QDateTime's local time does.
    static int systemOffsetAt(qint64 epochMs);

    static constexpr qint64 SpanMs = 15 * 60 * 1000;

private:
    OffsetSource m_source;
    qint64 m_from = 0;
    qint64 m_until = 0;
    int m_offset = 0;
};

} // namespace zul

#include "support/LocalTime.h"

#include <QTimeZone>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace zul;

namespace {

qint64 utc(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), QTimeZone::utc())
        .toMSecsSinceEpoch();
}

// An offset source with one change at a given instant, counting how often it is asked.
struct OneChange
{
    qint64 at;
    int before;
    int after;
    int* asked;
    int operator()(qint64 epochMs) const
    {
        ++*asked;
        return epochMs < at ? before : after;
    }
};

// A change where a quarter-hourly cache would not look for one (some zones of the past changed
// on odd minutes, and an operator may change the machine's zone at any time): every instant on
// either side of it still gets its own offset.
TEST(LocalOffsetCacheTest, ChangeInsideAQuarterHourIsFoundToTheMillisecond)
{
    const qint64 change = utc(2026, 3, 29, 1, 7, 30, 250);
    int asked = 0;
    LocalOffsetCache cache(OneChange{change, 3600, 7200, &asked});
    for (qint64 t = change - 20 * 60 * 1000; t < change + 20 * 60 * 1000; t += 997)
        ASSERT_EQ(cache.offsetAt(t), t < change ? 3600 : 7200) << t - change;
    EXPECT_EQ(cache.offsetAt(change - 1), 3600);
    EXPECT_EQ(cache.offsetAt(change), 7200);
    // Each side of the change costs a search of about twenty questions when it is entered: far
    // fewer than the 2 400 instants asked about.
    EXPECT_LT(asked, 100);
}

TEST(LocalOffsetCacheTest, AsksOnlyOncePerQuarterHourAndAgainWhenTheClockJumpsBack)
{
    int asked = 0;
    LocalOffsetCache cache(OneChange{utc(2030, 1, 1, 0, 0), -10800, -10800, &asked});
    const qint64 start = utc(2026, 6, 1, 12, 0);
    for (qint64 t = start; t < start + 3600 * 1000; t += 250)
        ASSERT_EQ(cache.offsetAt(t), -10800);
    EXPECT_EQ(asked, 4 * 2);
    cache.offsetAt(start - 1);
    EXPECT_EQ(asked, 5 * 2);
    EXPECT_EQ(cache.localFields(start + 1500),
              QDateTime(QDate(2026, 6, 1), QTime(9, 0, 1, 500), QTimeZone::utc()));
}

// Against the C library itself, as QDateTime's local time reads it, over both changes of a
// year with summer time and the midnights around them.
TEST(LocalOffsetCacheTest, AgreesWithTheSystemsLocalTimeAcrossSummerTime)
{
    const char* old = std::getenv("TZ");
    const QByteArray saved = old ? QByteArray(old) : QByteArray();
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    LocalOffsetCache cache;
    for (const qint64 day : {utc(2026, 3, 28, 12, 0), utc(2026, 10, 24, 12, 0)}) {
        for (qint64 t = day; t < day + 36 * 3600 * 1000; t += 61 * 1000 + 7) {
            const QDateTime system = QDateTime::fromMSecsSinceEpoch(t, Qt::LocalTime);
            const QDateTime cached = cache.localFields(t);
            ASSERT_EQ(cached.date(), system.date()) << t;
            ASSERT_EQ(cached.time(), system.time()) << t;
        }
    }
    if (old)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
    tzset();
}

} // namespace

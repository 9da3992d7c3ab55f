#include "support/Clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace zul;

namespace {

class EventCounter : public QObject
{
public:
    int count = 0;

protected:
    void customEvent(QEvent*) override { ++count; }
};

TEST(ManualClockTest, SleepAdvancesBothClocksAndDispatchesPostedEvents)
{
    const QDateTime start(QDate(2026, 3, 1), QTime(23, 59, 59));
    ManualClock clock(start);
    EventCounter target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));

    clock.sleep(1500);

    EXPECT_EQ(target.count, 1);
    EXPECT_EQ(clock.elapsedMs(), 1500);
    EXPECT_EQ(clock.elapsedSeconds(), 1);
    EXPECT_EQ(clock.now(), QDateTime(QDate(2026, 3, 2), QTime(0, 0, 0, 500)));
}

TEST(ManualClockTest, AdvanceMovesTimeWithoutDispatching)
{
    ManualClock clock;
    EventCounter target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    const QDateTime before = clock.now();

    clock.advance(3'600'000);
    clock.advance(-5); // time never goes back

    EXPECT_EQ(target.count, 0);
    EXPECT_EQ(clock.elapsedMs(), 3'600'000);
    EXPECT_EQ(clock.now(), before.addSecs(3600));
    ProcessMessages();
    EXPECT_EQ(target.count, 1);
}

TEST(ManualClockTest, SettingTheWallClockLeavesTheMonotonicClockAlone)
{
    ManualClock clock;
    clock.sleep(250);
    const QDateTime adjusted(QDate(2025, 12, 31), QTime(6, 0));

    clock.setNow(adjusted);
    EXPECT_EQ(clock.now(), adjusted);
    EXPECT_EQ(clock.elapsedMs(), 250);

    clock.sleep(1000);
    EXPECT_EQ(clock.now(), adjusted.addSecs(1));
    EXPECT_EQ(clock.elapsedMs(), 1250);
}

TEST(SystemClockTest, ShortSleepDispatchesEventsAndTheTickNeverGoesBack)
{
    SystemClock clock;
    EventCounter target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    const qint64 before = clock.elapsedMs();

    clock.sleep(5);

    EXPECT_EQ(target.count, 1);
    EXPECT_GE(clock.elapsedMs() - before, 5);
}

// A wait in virtual time sleeps straight to the next wake-up: a long wait with nothing due costs
// a dispatch at its start and one at its end, not one per millisecond.
TEST(ManualClockTest, WaitJumpsToTheDeadlineWhenNothingFallsDue)
{
    ManualClock clock;
    int looks = 0;
    EXPECT_FALSE(clock.waitUntil(2'000, [&] {
        ++looks;
        return false;
    }));
    EXPECT_EQ(clock.elapsedMs(), 2'000);
    EXPECT_EQ(looks, 2);
    EXPECT_EQ(clock.waitDispatches(), 2);
}

TEST(ManualClockTest, WaitWakesAtEachTimeTheSourceNamesAndEndsWhenDone)
{
    ManualClock clock;
    std::vector<qint64> woken;
    clock.setWakeUpSource([&] { return (clock.elapsedMs() / 300 + 1) * 300; });
    EXPECT_TRUE(clock.waitUntil(10'000, [&] {
        woken.push_back(clock.elapsedMs());
        return clock.elapsedMs() >= 900;
    }));
    EXPECT_EQ(woken, (std::vector<qint64>{0, 300, 600, 900}));

    // A source naming the past or the far future still moves time on and keeps the deadline.
    clock.setWakeUpSource([] { return qint64(0); });
    int looks = 0;
    clock.waitUntil(905, [&] { return ++looks > 100; });
    EXPECT_EQ(clock.elapsedMs(), 905);
    clock.setWakeUpSource([] { return std::numeric_limits<qint64>::max(); });
    EXPECT_FALSE(clock.waitUntil(5'000, [] { return false; }));
    EXPECT_EQ(clock.elapsedMs(), 5'000);
}

TEST(ManualClockTest, WaitSeesWhatAPostedEventDid)
{
    ManualClock clock;
    bool replied = false;
    QTimer::singleShot(0, [&] { replied = true; });
    EXPECT_TRUE(clock.waitUntil(2'000, [&] { return replied; }));
    EXPECT_EQ(clock.elapsedMs(), 0);
}

// The real clock blocks between events: during a wait with nothing to do the condition is looked
// at a handful of times, not once per millisecond, and an event from another thread ends it.
TEST(SystemClockTest, WaitSleepsBetweenEventsAndWakesOnOne)
{
    SystemClock clock;
    int looks = 0;
    EXPECT_FALSE(clock.waitUntil(clock.elapsedMs() + 300, [&] {
        ++looks;
        return false;
    }));
    EXPECT_LE(looks, 10);

    std::atomic<bool> replied = false;
    QObject receiver;
    QThread* replier = QThread::create([&] {
        QThread::msleep(20);
        QMetaObject::invokeMethod(
            &receiver, [&] { replied = true; }, Qt::QueuedConnection);
    });
    replier->start();
    looks = 0;
    const qint64 started = clock.elapsedMs();
    const qint64 deadline = started + 60'000;
    EXPECT_TRUE(clock.waitUntil(deadline, [&] {
        ++looks;
        return replied.load();
    }));
    // Woken by the event, long before the deadline.
    EXPECT_LT(clock.elapsedMs() - started, 10'000);
    EXPECT_LE(looks, 10);
    replier->wait();
    delete replier;
}

// A handler run from the wait that takes the wake-up in a loop of its own neither ends the wait
// early nor leaves it blocked past its deadline.
TEST(SystemClockTest, WaitOutlivesANestedLoopOfAHandler)
{
    SystemClock clock;
    QTimer::singleShot(0, [&] { clock.sleep(50); });
    const qint64 deadline = clock.elapsedMs() + 100;
    EXPECT_FALSE(clock.waitUntil(deadline, [] { return false; }));
    EXPECT_GE(clock.elapsedMs(), deadline);
}

} // namespace

#include "support/Clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>

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

} // namespace

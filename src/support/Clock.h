#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <functional>

namespace zul {

// Dispatches the events waiting on this thread and returns. The nested loops of the program
// (online loop, device waits, the standalone connect) call it between their steps so the
// window, the timers and the socket stay alive.
void ProcessMessages();

// Every "now", sleep and whole-second tick of the program goes through a Clock, so tests can
// run hours of turnstile time in milliseconds.
class Clock
{
public:
    virtual ~Clock() = default;

    // Local wall-clock time.
    virtual QDateTime now() const = 0;
    // The instant now() names, in milliseconds since 1970-01-01 00:00 UTC: what a caller that
    // converts to local time on its own reads (see LocalOffsetCache).
    virtual qint64 epochMs() const = 0;
    // Monotonic milliseconds since an arbitrary origin; never goes back and never wraps.
    virtual qint64 elapsedMs() const = 0;
    // Waits `ms` milliseconds while pending events are dispatched.
    virtual void sleep(int ms) = 0;
    // Waits `ms` milliseconds without dispatching anything: nothing queued can run in between.
    virtual void pause(int ms) = 0;
    // Dispatches events as they come until `done` holds after a dispatch or the monotonic clock
    // reaches `deadlineMs`; true when `done` held. The thread sleeps in between: it wakes for an
    // event (a socket, a timer, a posted call), never on a beat of its own.
    virtual bool waitUntil(qint64 deadlineMs, const std::function<bool()>& done) = 0;

    qint64 elapsedSeconds() const { return elapsedMs() / 1000; }
};

class SystemClock final : public Clock
{
public:
    SystemClock();

    QDateTime now() const override;
    qint64 epochMs() const override;
    qint64 elapsedMs() const override;
    // Without an application object there are no events to dispatch and this simply waits.
    void sleep(int ms) override;
    void pause(int ms) override;
    bool waitUntil(qint64 deadlineMs, const std::function<bool()>& done) override;

private:
    QElapsedTimer m_elapsed;
};

// Virtual time for tests and benchmarks: sleep() advances the clock and dispatches events at
// once instead of waiting.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 5), QTime(8, 0)));

    QDateTime now() const override;
    qint64 epochMs() const override { return m_startEpochMs + m_wallOffsetMs + m_elapsedMs; }
    qint64 elapsedMs() const override { return m_elapsedMs; }
    void sleep(int ms) override;
    void pause(int ms) override { advance(ms); }
    // Dispatches, then moves the clock on to the next wake-up (the earlier of the deadline and
    // what the wake-up source names) and dispatches again, until `done` holds or the deadline
    // is reached. Without a wake-up source a wait costs one dispatch at its start and one at its
    // deadline, whatever its length.
    bool waitUntil(qint64 deadlineMs, const std::function<bool()>& done) override;

    // The virtual time at which something the test drives falls due (a timer of the window, a
    // step of the test); a wait wakes there. Several waits may nest; the source stays until it
    // is replaced or cleared with an empty function.
    void setWakeUpSource(std::function<qint64()> nextWakeUpMs) { m_nextWakeUp = std::move(nextWakeUpMs); }
    // Dispatches taken by waitUntil since the clock was made (what a wait costs in virtual time).
    qint64 waitDispatches() const { return m_waitDispatches; }

    // Moves both the wall clock and the monotonic clock on, without dispatching events.
    void advance(qint64 ms);
    // Sets the wall clock only (a clock adjustment); the monotonic clock keeps its value.
    void setNow(const QDateTime& now);

private:
    QDateTime m_start;
    qint64 m_startEpochMs = 0;
    qint64 m_elapsedMs = 0;
    qint64 m_wallOffsetMs = 0;
    std::function<qint64()> m_nextWakeUp;
    qint64 m_waitDispatches = 0;
};

} // namespace zul

#pragma once

#include <QDateTime>
#include <QElapsedTimer>

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
    // Monotonic milliseconds since an arbitrary origin; never goes back and never wraps.
    virtual qint64 elapsedMs() const = 0;
    // Waits `ms` milliseconds while pending events are dispatched.
    virtual void sleep(int ms) = 0;
    // Waits `ms` milliseconds without dispatching anything: nothing queued can run in between.
    virtual void pause(int ms) = 0;

    qint64 elapsedSeconds() const { return elapsedMs() / 1000; }
};

class SystemClock final : public Clock
{
public:
    SystemClock();

    QDateTime now() const override;
    qint64 elapsedMs() const override;
    // Without an application object there are no events to dispatch and this simply waits.
    void sleep(int ms) override;
    void pause(int ms) override;

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
    qint64 elapsedMs() const override { return m_elapsedMs; }
    void sleep(int ms) override;
    void pause(int ms) override { advance(ms); }

    // Moves both the wall clock and the monotonic clock on, without dispatching events.
    void advance(qint64 ms);
    // Sets the wall clock only (a clock adjustment); the monotonic clock keeps its value.
    void setNow(const QDateTime& now);

private:
    QDateTime m_start;
    qint64 m_elapsedMs = 0;
    qint64 m_wallOffsetMs = 0;
};

} // namespace zul

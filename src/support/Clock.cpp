#include "support/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <limits>
#include <thread>

namespace zul {

void ProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

SystemClock::SystemClock()
{
    m_elapsed.start();
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::epochMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 SystemClock::elapsedMs() const
{
    return m_elapsed.elapsed();
}

void SystemClock::sleep(int ms)
{
    if (ms <= 0) {
        ProcessMessages();
        return;
    }
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    // A local loop rather than a blocking wait keeps the window, the timers and the socket
    // served while the caller waits. Handlers run from here may nest loops of their own; when
    // they return late the timer has already asked this loop to quit and it returns at once.
    QElapsedTimer waited;
    waited.start();
    {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(ms);
        loop.exec(QEventLoop::AllEvents);
    }
    // While the application is quitting every local loop returns at once; the callers' loops
    // must still not spin, so the rest of the wait is served in short slices.
    for (qint64 left = ms - waited.elapsed(); left > 0; left = ms - waited.elapsed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(qMin<qint64>(left, 10)));
        ProcessMessages();
    }
}

void SystemClock::pause(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SystemClock::waitUntil(qint64 deadlineMs, const std::function<bool()>& done)
{
    if (!QCoreApplication::instance()) {
        // Nothing can be dispatched, so nothing can make `done` hold before the deadline.
        if (done())
            return true;
        if (const qint64 left = deadlineMs - elapsedMs(); left > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(left));
        return done();
    }
    // The timer only wakes the blocked dispatch at the deadline. A handler dispatched from here
    // may run a loop of its own that takes the timer's expiry; it is started again for what is
    // left, so the wait can neither end early nor block past its deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    ProcessMessages();
    while (!done()) {
        const qint64 left = deadlineMs - elapsedMs();
        if (left <= 0)
            return false;
        if (!wake.isActive())
            wake.start(int(qMin<qint64>(left, std::numeric_limits<int>::max())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        // Windows' event dispatch (seen under Wine) may return from the blocked wait before it
        // has delivered what woke it: an event posted from another thread, or the timer, whose
        // expiry would then be lost and leave the next wait blocked for good. One more pass
        // delivers it before the condition is looked at.
        ProcessMessages();
    }
    return true;
}

ManualClock::ManualClock(QDateTime start)
    : m_start(std::move(start)), m_startEpochMs(m_start.toMSecsSinceEpoch())
{}

QDateTime ManualClock::now() const
{
    return m_start.addMSecs(m_wallOffsetMs + m_elapsedMs);
}

void ManualClock::sleep(int ms)
{
    advance(ms);
    ProcessMessages();
}

bool ManualClock::waitUntil(qint64 deadlineMs, const std::function<bool()>& done)
{
    for (;;) {
        ++m_waitDispatches;
        ProcessMessages();
        if (done())
            return true;
        if (m_elapsedMs >= deadlineMs)
            return false;
        qint64 next = deadlineMs;
        if (m_nextWakeUp)
            next = qBound(m_elapsedMs + 1, m_nextWakeUp(), deadlineMs);
        advance(next - m_elapsedMs);
    }
}

void ManualClock::advance(qint64 ms)
{
    if (ms > 0)
        m_elapsedMs += ms;
}

void ManualClock::setNow(const QDateTime& now)
{
    m_wallOffsetMs = m_start.msecsTo(now) - m_elapsedMs;
}

} // namespace zul

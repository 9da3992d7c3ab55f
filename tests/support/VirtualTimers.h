#pragma once

// The window's timers in virtual time. The window's QTimers run with intervals stretched far
// beyond any test (AppEnvironment::timerIntervalFactor), so they never fire by themselves; this
// driver looks at which of them are running and fires their handlers when their nominal
// interval has passed on the ManualClock. It also looks at them on every message dispatch of a
// nested loop (the online loop sleeps through the clock), which is where a running program's
// timers fire too, and runs the test's own steps there.
//
//     test::VirtualTimers timers(clock, [&](const QString& m) { window.onExcept(m); });
//     timers.add(window.tmrInicializa, 1000, [&] { window.tmrInicializaTimer(); });
//     timers.run(2000);   // two seconds of turnstile time

#include "manager/CoreApplication.h"
#include "support/Clock.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

namespace zul::test {

class VirtualTimers
{
public:
    VirtualTimers(ManualClock& clock, ExceptionHandler onError)
        : m_clock(clock), m_onError(std::move(onError))
    {
        postTick();
        // A device wait sleeps until the next of these timers or steps falls due.
        m_clock.setWakeUpSource([this] { return nextDueMs(); });
    }
    ~VirtualTimers() { m_clock.setWakeUpSource({}); }
    VirtualTimers(const VirtualTimers&) = delete;
    VirtualTimers& operator=(const VirtualTimers&) = delete;

    // The virtual time at which a running timer falls due next; while steps of the test wait,
    // at most StepPollMs from now, as they may wait on something other than the clock.
    qint64 nextDueMs()
    {
        observe();
        const qint64 now = m_clock.elapsedMs();
        qint64 next = m_steps.empty() ? std::numeric_limits<qint64>::max() : now + StepPollMs;
        for (const Entry& e : m_entries)
            if (e.since >= 0)
                next = std::min(next, std::max(now, e.since + e.intervalMs));
        return next;
    }

    static constexpr qint64 StepPollMs = 10;

    void add(QTimer* timer, int intervalMs, std::function<void()> handler)
    {
        m_entries.push_back({timer, intervalMs, std::move(handler), -1});
        observe();
    }

    // A step of the test, run at every dispatch until it answers true.
    void whenever(std::function<bool()> step) { m_steps.push_back(std::move(step)); }
    bool stepsDone() const { return m_steps.empty(); }

    // Fires, in the order added, each running timer whose interval has passed.
    void fireDue()
    {
        observe();
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            Entry& e = m_entries[i];
            if (!e.timer || !e.timer->isActive() || e.since < 0 ||
                m_clock.elapsedMs() - e.since < e.intervalMs)
                continue;
            e.since = m_clock.elapsedMs();
            ++fired;
            const std::function<void()> handler = e.handler;
            DeliverCatchingErrors(
                [&] {
                    handler();
                    return true;
                },
                m_onError);
            observe();
        }
    }

    // Lets `ms` of virtual time pass in steps of `stepMs`, firing timers as they fall due.
    void run(qint64 ms, int stepMs = 100)
    {
        fireDue(); // what the test started counts from now
        for (qint64 passed = 0; passed < ms; passed += stepMs) {
            m_clock.sleep(stepMs);
            fireDue();
        }
    }

    int fired = 0;

private:
    struct Entry
    {
        QPointer<QTimer> timer;
        int intervalMs;
        std::function<void()> handler;
        qint64 since; // virtual time the timer was first seen running; -1 while stopped
    };

    // A timer restarted between two looks keeps its first start: the window's handlers stop
    // their own timer before anything can start it again.
    void observe()
    {
        for (Entry& e : m_entries) {
            const bool active = e.timer && e.timer->isActive();
            if (active && e.since < 0)
                e.since = m_clock.elapsedMs();
            else if (!active)
                e.since = -1;
        }
    }

    // One look per message dispatch: a posted event, since a nested loop's dispatch handles
    // the events posted before it, not zero-interval timers.
    void postTick()
    {
        QMetaObject::invokeMethod(
            &m_context,
            [this] {
                postTick();
                tick();
            },
            Qt::QueuedConnection);
    }

    void tick()
    {
        if (m_ticking)
            return;
        m_ticking = true;
        for (std::size_t i = 0; i < m_steps.size();) {
            if (m_steps[i]())
                m_steps.erase(m_steps.begin() + std::ptrdiff_t(i));
            else
                ++i;
        }
        m_ticking = false;
        // Handlers run from here may nest loops of their own, which tick again.
        fireDue();
    }

    ManualClock& m_clock;
    ExceptionHandler m_onError;
    QObject m_context;
    std::vector<Entry> m_entries;
    std::vector<std::function<bool()>> m_steps;
    bool m_ticking = false;
};

} // namespace zul::test

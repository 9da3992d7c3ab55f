#pragma once

// The whole manager in one test: the main window offscreen, the stand-in device library bound
// to a simulator running in-process, a SQLite database with the demonstration people on profile
// "211", its own registry file, log folder and notification port, and the window's timers in
// virtual time.

#include "DbCommand.h"
#include "LinkedDevice.h"
#include "ManagerProfiles.h"
#include "ScriptedDialogs.h"
#include "SimulatorFixture.h"
#include "TempDir.h"
#include "VirtualTimers.h"
#include "access/OnlineLoop.h"
#include "app/TfrmCatraca.h"
#include "db/ManagerDatabase.h"
#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Messages.h"
#include "support/Settings.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zul::test {

inline quint16 FreeTcpPort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

class ManagerWindowTest : public ::testing::Test
{
protected:
    static constexpr int TimerStretch = 100000;

    void SetUp() override
    {
        InstallProfile(registry, QStringLiteral("211"), QStringLiteral("SQLITE"),
                       QStringLiteral("Data Source=") + DatabaseFile());
        SettingsStore(messages, registry).writeProfileCode(QStringLiteral("211"));
    }

    QString DatabaseFile() const { return dir.file(QStringLiteral("zul.db")); }
    void CreateDatabase()
    {
        ASSERT_EQ(runDbCommand({QStringLiteral("db"), QStringLiteral("init"), QStringLiteral("--sqlite"),
                                DatabaseFile(), QStringLiteral("--demo")}),
                  0);
    }

    // The window as the program creates it, its timers under the test's control.
    void CreateWindow(const QString& library = DeviceBinding::defaultLibraryName())
    {
        AppEnvironment env{clock, dialogs, log, registry, true};
        env.notificationPort = notificationPort;
        env.deviceLibrary = library;
        env.timerIntervalFactor = TimerStretch;
        env.processImagePaths = [this] { return processes; };
        window = std::make_unique<TfrmCatraca>(env);
        timers = std::make_unique<VirtualTimers>(clock, [this](const QString& m) { window->onExcept(m); });
        timers->add(&window->database().tmrReconnect, ManagerDatabase::ReconnectIntervalMs,
                    [this] { window->database().tmrReconnectTimer(); });
        timers->add(window->tmrInicializa, TfrmCatraca::InicializaIntervalMs,
                    [this] { window->tmrInicializaTimer(); });
        timers->add(window->tmrAtualiza, TfrmCatraca::AtualizaIntervalMs,
                    [this] { window->tmrAtualizaTimer(); });
    }

    // Creation and Initialize, as the program entry runs them; the message of an error that
    // escaped creation, empty when none did.
    QString Start()
    {
        QString escaped;
        try {
            window->FormCreate();
        } catch (const Error& error) {
            escaped = error.message();
        }
        window->Initialize(false);
        return escaped;
    }

    // Runs the start-up chain and the online connection it starts, while `steps` are carried
    // out in order at the loop's message dispatches: each waits for its condition, then acts.
    // Returns when the online loop has ended; a scenario that does not end within `limitMs` of
    // turnstile time fails and stops the loop.
    struct Step
    {
        std::function<bool()> ready;
        std::function<void()> act;
    };
    void RunOnline(std::vector<Step> steps, qint64 limitMs = 120000)
    {
        const qint64 deadline = clock.elapsedMs() + limitMs;
        auto remaining = std::make_shared<std::vector<Step>>(std::move(steps));
        auto next = std::make_shared<std::size_t>(0);
        timers->whenever([this, remaining, next, deadline] {
            if (clock.elapsedMs() > deadline) {
                ADD_FAILURE() << "scenario stuck at step " << *next;
                window->device().StopFlag = true;
                return true;
            }
            if (*next < remaining->size() && (*remaining)[*next].ready()) {
                (*remaining)[*next].act();
                ++*next;
            }
            return *next == remaining->size();
        });
        timers->run(2000);
        EXPECT_TRUE(timers->stepsDone()) << "the online loop ended before the scenario did";
    }

    bool Polling() const { return window->device().LoopState == OnlineLoop::Polling; }

    QStringList Logged() const { return logTexts(log, clock); }
    long Calls(const std::string& name) const
    {
        const std::vector<std::string> names = sim.simulator().callNames();
        return std::count(names.begin(), names.end(), name);
    }

    TempDir dir;
    ProcessProfilesGuard profilesGuard;
    ManualClock clock;
    ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(QStringLiteral("logCatraca"))};
    TMessages messages;
    platform::RegistryStore registry{dir.file(QStringLiteral("machine.reg")).toStdString()};
    quint16 notificationPort = FreeTcpPort();
    // What the duplicate-instance check sees running.
    std::vector<std::string> processes{"/opt/zul/bin/zul"};
    mutable SimulatorFixture sim{{}, LinkedDevice::AnswerTimeoutMs};
    std::unique_ptr<TfrmCatraca> window;
    std::unique_ptr<VirtualTimers> timers; // after the window: it is gone first
};

} // namespace zul::test

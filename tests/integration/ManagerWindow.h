#pragma once

// The whole manager in one test: the manager core as a headless run has it (no window), the stand-in device
// library bound to a simulator running in-process, a SQLite database with the demonstration people on profile
// "211", its own registry file, log folder and notification port, and the window's timers in
// virtual time.

#include "DbBackend.h"
#include "DbCommand.h"
#include "LinkedDevice.h"
#include "ManagerProfiles.h"
#include "ScriptedDialogs.h"
#include "SimulatorFixture.h"
#include "TempDir.h"
#include "VirtualTimers.h"
#include "access/OnlineLoop.h"
#include "db/ManagerDatabase.h"
#include "device/DeviceBinding.h"
#include "manager/DuplicateInstance.h"
#include "manager/ManagerCore.h"
#include "notify/NotificationServer.h"
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

using namespace Qt::StringLiterals;

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
        InstallProfile(registry, u"211"_s, u"SQLITE"_s, u"Data Source="_s + DatabaseFile());
        SettingsStore(messages, registry).writeProfileCode(u"211"_s);
    }

    void TearDown() override
    {
        // The manager's connection goes first: a database in use cannot be dropped.
        timers.reset();
        window.reset();
        if (!m_pgDatabase.isEmpty())
            ExecuteOn(pgKeys(), u"DROP DATABASE IF EXISTS "_s + m_pgDatabase + u" WITH (FORCE)"_s);
    }

    QString DatabaseFile() const { return dir.file(u"zul.db"_s); }

    // Profile 211 leads to a fresh PostgreSQL database of this test instead of the SQLite file;
    // the test is skipped without a server (scripts/pg-start.sh).
    void UsePostgreSQL()
    {
        if (const char* why = postgreSqlUnavailable())
            GTEST_SKIP() << why;
        static int counter = 0;
        const QString name = u"zt_manager_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
        const QString server = pgKeys();
        ExecuteOn(server, u"DROP DATABASE IF EXISTS "_s + name + u" WITH (FORCE)"_s);
        ExecuteOn(server, u"CREATE DATABASE "_s + name);
        m_pgDatabase = name;
        InstallProfile(registry, u"211"_s, u"POSTGRESQL"_s, pgKeys(name));
    }
    bool OnPostgreSQL() const { return !m_pgDatabase.isEmpty(); }

    // The schema and the demonstration people, where profile 211 leads.
    void CreateDatabase()
    {
        const QStringList target = OnPostgreSQL() ? QStringList{u"--postgres"_s, pgKeys(m_pgDatabase)}
                                                  : QStringList{u"--sqlite"_s, DatabaseFile()};
        ASSERT_EQ(runDbCommand(QStringList{u"db"_s, u"init"_s} + target + QStringList{u"--demo"_s}), 0);
    }

    // A connection of its own to the manager's database, beside the manager's.
    void ConnectBeside(TXConnection& connection) const
    {
        if (OnPostgreSQL()) {
            connection.ChangeServerType(xdtPostgreSQL);
            connection.SetConnectString(pgKeys(m_pgDatabase));
        } else {
            connection.ChangeServerType(xdtSQLite);
            connection.SetConnectString(u"Data Source="_s + DatabaseFile());
        }
        connection.SetConnected(true);
    }
    void Execute(const QString& sql) const
    {
        TXConnection connection;
        ConnectBeside(connection);
        Run(connection, sql);
    }

    // The window as the program creates it, its timers under the test's control.
    void CreateWindow(const QString& library = DeviceBinding::defaultLibraryName())
    {
        // The controller's clock runs on the test's virtual time, so that the dates of its
        // events keep pace with the program's.
        sim.simulator().setTimeSource([this] {
            return std::chrono::system_clock::time_point(
                std::chrono::milliseconds(clock.now().toMSecsSinceEpoch()));
        });
        AppEnvironment env{clock, dialogs, log, registry, true};
        env.notificationPort = notificationPort;
        env.deviceLibrary = library;
        env.timerIntervalFactor = TimerStretch;
        env.processImagePaths = [this] { return processes; };
        window = std::make_unique<ManagerCore>(env);
        timers = std::make_unique<VirtualTimers>(clock, [this](const QString& m) { window->onExcept(m); });
        timers->add(&window->database().tmrReconnect, ManagerDatabase::ReconnectIntervalMs,
                    [this] { window->database().tmrReconnectTimer(); });
        timers->add(window->tmrInicializa, ManagerCore::InicializaIntervalMs,
                    [this] { window->tmrInicializaTimer(); });
        timers->add(window->tmrAtualiza, ManagerCore::AtualizaIntervalMs,
                    [this] { window->tmrAtualizaTimer(); });
        // Notifications that end by going quiet are completed in turnstile time.
        timers->add(&window->notificationServer().quietTimer(), NotificationServer::QuietCheckMs,
                    [this] { window->notificationServer().CheckQuietClients(); });
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
                window->device().RequestStop();
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

    bool Polling() const { return window->device().loopState() == OnlineLoop::Polling; }

    QStringList Logged() const { return logTexts(log, clock); }
    long Calls(const std::string& name) const
    {
        const std::vector<std::string> names = sim.simulator().callNames();
        return std::count(names.begin(), names.end(), name);
    }

    static void Run(TXConnection& connection, const QString& sql)
    {
        TXCommand command;
        command.SetParamCheck(false);
        command.SetConnection(&connection);
        command.SetSQL(sql);
        command.Execute();
    }
    static void ExecuteOn(const QString& keys, const QString& sql)
    {
        TXConnection connection;
        connection.ChangeServerType(xdtPostgreSQL);
        connection.SetConnectString(keys);
        connection.SetConnected(true);
        Run(connection, sql);
    }

    TempDir dir;
    ProcessProfilesGuard profilesGuard;
    ManualClock clock;
    ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    TMessages messages;
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    quint16 notificationPort = FreeTcpPort();
    // The program's file in `folder` as this platform names it (zul, or zul.exe on Windows).
    static std::string ProgramFile(const std::string& folder)
    {
        return folder + ProgramImageName().toLower().toStdString();
    }
    // What the duplicate-instance check sees running.
    std::vector<std::string> processes{ProgramFile("/opt/zul/bin/")};
    mutable SimulatorFixture sim{{}, LinkedDevice::AnswerTimeoutMs};
    std::unique_ptr<ManagerCore> window;
    std::unique_ptr<VirtualTimers> timers; // after the window: it is gone first

private:
    QString m_pgDatabase;
};

} // namespace zul::test

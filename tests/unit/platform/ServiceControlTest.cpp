#include "platform/ServiceControl.h"

#include "PlatformTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#endif

using namespace zul::platform;

namespace {

#ifdef _WIN32

std::string testServicePath()
{
    return (std::filesystem::path(executablePath()).parent_path() / ZUL_TEST_SERVICE_NAME).string();
}

struct Sc
{
    explicit Sc(SC_HANDLE h) : handle(h) {}
    ~Sc()
    {
        if (handle)
            CloseServiceHandle(handle);
    }
    Sc(const Sc&) = delete;
    Sc& operator=(const Sc&) = delete;
    SC_HANDLE handle;
};

DWORD stateOf(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Waits, bounded, until the service reports `state`.
bool waitForState(SC_HANDLE service, DWORD state)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (stateOf(service) != state) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The whole life of a service through the service control manager: registered with the
// properties the manager's own service has, started, asked what it accepts, stopped, removed.
TEST(ServiceControlTest, ServiceIsInstalledRunStoppedAndRemoved)
{
    const std::string name = "ZulTest" + zul::test::uniqueSuffix();
    const std::string display = "ZUL - Teste do Servi\xE7o";
    const std::string path = testServicePath();
    const std::string events = path + ".events";
    std::filesystem::remove(events);

    ASSERT_EQ(installService({name, display, path, "--service"}), "");
    // A second registration under the same name fails with the system's reason.
    EXPECT_NE(installService({name, display, path, "--service"}), "");
    // The test program does not run under the service's account (LocalSystem).
    EXPECT_FALSE(runsAsServiceAccount(name));

    Sc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager.handle);
    {
        Sc service(OpenServiceA(manager.handle, name.c_str(), SERVICE_ALL_ACCESS));
        ASSERT_TRUE(service.handle);

        DWORD needed = 0;
        QueryServiceConfigA(service.handle, nullptr, 0, &needed);
        std::vector<unsigned char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        ASSERT_TRUE(QueryServiceConfigA(service.handle, config, needed, &needed));
        EXPECT_EQ(config->dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS));
        EXPECT_EQ(config->dwStartType, DWORD(SERVICE_AUTO_START));
        EXPECT_EQ(config->dwErrorControl, DWORD(SERVICE_ERROR_NORMAL));
        EXPECT_EQ(std::string(config->lpBinaryPathName), "\"" + path + "\" --service");
        EXPECT_EQ(std::string(config->lpDisplayName), display);
        EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");

        ASSERT_TRUE(StartServiceA(service.handle, 0, nullptr)) << GetLastError();
        ASSERT_TRUE(waitForState(service.handle, SERVICE_RUNNING)) << stateOf(service.handle);
        // The service's program notes it runs right after it has reported so.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (zul::test::readFile(events).empty() && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(zul::test::readFile(events), "running\n");

        SERVICE_STATUS status{};
        ASSERT_TRUE(QueryServiceStatus(service.handle, &status));
        EXPECT_EQ(status.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
        // Pause and continue are not accepted.
        EXPECT_FALSE(ControlService(service.handle, SERVICE_CONTROL_PAUSE, &status));
        EXPECT_EQ(stateOf(service.handle), DWORD(SERVICE_RUNNING));

        ASSERT_TRUE(ControlService(service.handle, SERVICE_CONTROL_STOP, &status)) << GetLastError();
        ASSERT_TRUE(waitForState(service.handle, SERVICE_STOPPED)) << stateOf(service.handle);
        // Stopped is reported only once the program's work has ended.
        EXPECT_EQ(zul::test::readFile(events), "running\nstop\nended\n");
    }

    EXPECT_EQ(uninstallService(name), "");
    EXPECT_NE(uninstallService(name), "");
    EXPECT_FALSE(runsAsServiceAccount(name));
    std::filesystem::remove(events);
}

#endif

// Started by hand rather than by the service control manager, the service run fails at once
// with the system's reason and nothing is left waiting.
TEST(ServiceControlTest, ServiceRunOutsideTheManagerFailsAtOnce)
{
    zul::test::TempFolder folder;
    const std::string events = folder.file("events");
#ifdef _WIN32
    std::string commandLine = "\"" + testServicePath() + "\" --events \"" + events + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 3u);
#else
    auto host = ServiceHost::create("ZulServer", [] {});
    EXPECT_NE(host->start([] { return true; }), "");
    EXPECT_FALSE(host->stopRequested());
    zul::test::writeFile(events, "failed x\n");
#endif
    const std::string written = zul::test::readFile(events);
    EXPECT_EQ(written.rfind("failed ", 0), 0u) << written;
    EXPECT_GT(written.size(), std::string("failed \n").size()) << written;
}

TEST(ServiceControlTest, EventLogTakesAnEntryOnlyWhereThereIsOne)
{
#ifdef _WIN32
    EXPECT_TRUE(reportServiceEvent("zul_platform_tests.exe", "Teste do registro de eventos", true));
#else
    EXPECT_FALSE(reportServiceEvent("zul_platform_tests", "Teste do registro de eventos", true));
#endif
}

TEST(ServiceControlTest, ServiceThatIsNotInstalledIsNoServiceRun)
{
    EXPECT_FALSE(runsAsServiceAccount("ZulNotInstalled" + zul::test::uniqueSuffix()));
    EXPECT_NE(uninstallService("ZulNotInstalled" + zul::test::uniqueSuffix()), "");
}

#ifndef _WIN32

// A unit of systemd stands in: a datagram socket named by NOTIFY_SOCKET, read by the test.
class NotifySocket
{
public:
    NotifySocket()
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_folder.file("notify").c_str());
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::setenv("NOTIFY_SOCKET", address.sun_path, 1);
    }
    ~NotifySocket()
    {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::unsetenv("WATCHDOG_PID");
        ::close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // The next datagram, or "" when none is waiting.
    std::string next()
    {
        char buffer[512];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

private:
    zul::test::TempFolder m_folder;
    int m_fd = -1;
};

TEST(ServiceNotifyTest, NotificationsReachTheSocketTheUnitNames)
{
    if (!serviceNotificationsWanted() && std::getenv("NOTIFY_SOCKET"))
        GTEST_SKIP() << "the test itself runs under a unit that asks for notifications";
    NotifySocket unit;
    if (!serviceNotificationsWanted())
        GTEST_SKIP() << "built without libsystemd";
    EXPECT_TRUE(notifyServiceManager("READY=1"));
    EXPECT_EQ(unit.next(), "READY=1");
    EXPECT_TRUE(notifyServiceManager("WATCHDOG=1"));
    EXPECT_EQ(unit.next(), "WATCHDOG=1");
}

TEST(ServiceNotifyTest, KeepAliveIntervalIsTheUnitsAndOnlyForThisProcess)
{
    NotifySocket unit;
    if (!serviceNotificationsWanted())
        GTEST_SKIP() << "built without libsystemd";
    EXPECT_EQ(serviceWatchdogInterval().count(), 0); // the unit asks for none
    ::setenv("WATCHDOG_USEC", "30000000", 1);
    EXPECT_EQ(serviceWatchdogInterval().count(), 30000);
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    EXPECT_EQ(serviceWatchdogInterval().count(), 30000);
    // Meant for another process of the unit (the variables were inherited): not ours.
    ::setenv("WATCHDOG_PID", std::to_string(::getpid() + 1).c_str(), 1);
    EXPECT_EQ(serviceWatchdogInterval().count(), 0);
}

TEST(ServiceNotifyTest, WithoutTheUnitsSocketNothingIsSent)
{
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(serviceNotificationsWanted());
    EXPECT_FALSE(notifyServiceManager("READY=1"));
}

#endif

} // namespace

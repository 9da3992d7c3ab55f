#include "platform/ServiceControl.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>
#include <windows.h>

// The ANSI entry points are named explicitly: every text here is in the system's code page.

namespace zul::platform {
namespace {

std::string systemMessage(DWORD code)
{
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer ? std::string(buffer, n) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "erro " + std::to_string(code);
    return text;
}

std::string lastError()
{
    return systemMessage(GetLastError());
}

// Closes a handle of the service control manager when it goes out of scope.
struct ScHandle
{
    explicit ScHandle(SC_HANDLE h) : handle(h) {}
    ~ScHandle()
    {
        if (handle)
            CloseServiceHandle(handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    explicit operator bool() const { return handle != nullptr; }
    SC_HANDLE handle;
};

bool equalNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

} // namespace

ServiceError installService(const ServiceDefinition& service)
{
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return lastError();
    // Quoted: a path with blanks ("C:\Program Files\...") would otherwise be split by the
    // manager at the first blank, and a program placed at that prefix would run instead.
    std::string path = "\"" + service.binaryPath + "\"";
    if (!service.arguments.empty())
        path += " " + service.arguments;
    ScHandle created(
        CreateServiceA(manager.handle, service.name.c_str(), service.displayName.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_AUTO_START,
                       SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created)
        return lastError();
    return {};
}

ServiceError uninstallService(const std::string& name)
{
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return lastError();
    ScHandle service(OpenServiceA(manager.handle, name.c_str(), SERVICE_ALL_ACCESS));
    if (!service)
        return lastError();
    if (!DeleteService(service.handle))
        return lastError();
    return {};
}

bool runsAsServiceAccount(const std::string& name)
{
    std::string account;
    {
        ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        if (!manager)
            return false;
        ScHandle service(OpenServiceA(manager.handle, name.c_str(), SERVICE_ALL_ACCESS));
        if (!service)
            return false;
        DWORD needed = 0;
        QueryServiceConfigA(service.handle, nullptr, 0, &needed);
        if (needed == 0)
            return false;
        std::vector<unsigned char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (!QueryServiceConfigA(service.handle, config, needed, &needed) || !config->lpServiceStartName)
            return false;
        account = config->lpServiceStartName;
    }
    if (equalNoCase(account, "LocalSystem"))
        account = "SYSTEM";
    char user[257];
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size) || size == 0)
        return false;
    return equalNoCase(account, std::string(user, size - 1));
}

bool servicesHaveDesktop()
{
    return true;
}

bool reportServiceEvent(const std::string& source, const std::string& text, bool error)
{
    HANDLE log = RegisterEventSourceA(nullptr, source.c_str());
    if (!log)
        return false;
    const char* strings[] = {text.c_str()};
    const BOOL written = ReportEventA(log, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, 0,
                                      nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
    return written != FALSE;
}

namespace {

class Win32ServiceHost;
// The service's main function and control handler are plain callbacks without a context: one
// service runs per process, and this is it.
std::atomic<Win32ServiceHost*> runningHost{nullptr};

class Win32ServiceHost final : public ServiceHost
{
public:
    Win32ServiceHost(std::string name, std::function<void()> onStop)
        : m_name(std::move(name)), m_onStop(std::move(onStop))
    {}

    ~Win32ServiceHost() override
    {
        if (m_statusHandle)
            report(SERVICE_STOPPED);
        if (m_dispatcher.joinable()) {
            // The dispatcher returns once the service has reported stopped, or has returned
            // already when it failed; one that never reached the service is left behind.
            if (m_statusHandle || m_dispatcherReturned)
                m_dispatcher.join();
            else
                m_dispatcher.detach();
        }
        runningHost = nullptr;
    }

    ServiceError start(std::function<bool()> startAllowed) override
    {
        m_startAllowed = std::move(startAllowed);
        Win32ServiceHost* expected = nullptr;
        if (!runningHost.compare_exchange_strong(expected, this))
            return "o serviço já está em execução neste processo";
        m_dispatcher = std::thread([this] {
            m_serviceName = m_name;
            SERVICE_TABLE_ENTRYA table[] = {{m_serviceName.data(), &Win32ServiceHost::serviceMain},
                                            {nullptr, nullptr}};
            if (!StartServiceCtrlDispatcherA(table)) {
                const std::string error = lastError();
                m_dispatcherReturned = true;
                std::lock_guard lock(m_mutex);
                if (m_phase == Phase::Connecting) {
                    m_error = error;
                    m_phase = Phase::Failed;
                }
                m_changed.notify_all();
                return;
            }
            // The dispatcher returned: the service was reported stopped. A program still
            // running is told to end.
            m_stop = true;
            m_dispatcherReturned = true;
        });
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, ConnectTimeout, [this] { return m_phase != Phase::Connecting; })) {
            m_phase = Phase::TimedOut;
            return "o gerenciador de serviços não chamou o serviço";
        }
        return m_phase == Phase::Running ? ServiceError{} : m_error;
    }

    bool stopRequested() const override { return m_stop; }

private:
    enum class Phase { Connecting, Running, Failed, TimedOut };

    static void WINAPI serviceMain(DWORD argc, LPSTR* argv)
    {
        Win32ServiceHost* host = runningHost;
        // The manager passes the name it started the service under first.
        if (host)
            host->run(argc > 0 && argv && argv[0] ? std::string(argv[0]) : host->m_name);
    }

    static void WINAPI controlHandler(DWORD control)
    {
        Win32ServiceHost* host = runningHost;
        if (host)
            host->control(control);
    }

    void run(const std::string& name)
    {
        m_statusHandle = RegisterServiceCtrlHandlerA(name.c_str(), &Win32ServiceHost::controlHandler);
        if (!m_statusHandle) {
            std::lock_guard lock(m_mutex);
            m_error = lastError();
            m_phase = Phase::Failed;
            m_changed.notify_all();
            return;
        }
        report(SERVICE_START_PENDING);
        const bool started = !m_stop && (!m_startAllowed || m_startAllowed());
        std::lock_guard lock(m_mutex);
        if (started) {
            report(SERVICE_RUNNING);
            m_phase = Phase::Running;
        } else {
            m_error = "o programa já estava terminando";
            m_phase = Phase::Failed;
        }
        m_changed.notify_all();
    }

    void control(DWORD code)
    {
        switch (code) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            if (!m_stop.exchange(true)) {
                report(SERVICE_STOP_PENDING);
                if (m_onStop)
                    m_onStop();
            }
            break;
        case SERVICE_CONTROL_INTERROGATE:
            report(m_state);
            break;
        default:
            break;
        }
    }

    void report(DWORD state)
    {
        std::lock_guard lock(m_statusMutex);
        m_state = state;
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWin32ExitCode = NO_ERROR;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwCheckPoint = pending ? ++m_checkPoint : 0;
        status.dwWaitHint = pending ? static_cast<DWORD>(WaitHint.count()) : 0;
        SetServiceStatus(m_statusHandle, &status);
    }

    const std::string m_name;
    std::string m_serviceName; // the dispatcher's table needs a writable name
    const std::function<void()> m_onStop;
    std::function<bool()> m_startAllowed;
    std::thread m_dispatcher;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Phase m_phase = Phase::Connecting;
    std::string m_error;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_dispatcherReturned{false};
    std::mutex m_statusMutex;
    SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
    DWORD m_state = SERVICE_START_PENDING;
    DWORD m_checkPoint = 0;
};

} // namespace

std::unique_ptr<ServiceHost> ServiceHost::create(const std::string& name, std::function<void()> onStop)
{
    return std::make_unique<Win32ServiceHost>(name, std::move(onStop));
}

// systemd's notifications do not exist here.
bool serviceNotificationsWanted()
{
    return false;
}

bool notifyServiceManager(const std::string&)
{
    return false;
}

std::chrono::milliseconds serviceWatchdogInterval()
{
    return std::chrono::milliseconds{0};
}

} // namespace zul::platform

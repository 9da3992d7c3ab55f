#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace zul::platform {

// The system's service manager: on Windows the service control manager (install, uninstall,
// the account check, the service run and the event log), on Linux systemd (the notifications
// of a Type=notify unit). The half of the other system answers "not here".

struct ServiceDefinition
{
    std::string name;        // the key name, e.g. "ZulServer"
    std::string displayName; // shown by the service tools
    std::string binaryPath;  // full path of the executable, without arguments
    std::string arguments;   // what the service manager starts it with, after the path
};

// Empty when the operation succeeded; otherwise the system's message for the failure.
using ServiceError = std::string;

// Registers an own-process, interactive, automatically started service that runs under
// LocalSystem, with no dependencies, group or tag.
ServiceError installService(const ServiceDefinition& service);
// Removes the service `name`.
ServiceError uninstallService(const std::string& name);

// True only when the service `name` is installed, its configuration can be read, and this
// process runs under the account configured for it ("LocalSystem" is the process user
// "SYSTEM"). Any failure on the way answers false: a user without the right to open the
// service always gets a desktop run.
bool runsAsServiceAccount(const std::string& name);

// Whether a service of this system can have a desktop (the Windows interactive service, with
// its hidden window and tray icon); a systemd service has none.
bool servicesHaveDesktop();

// Writes one entry to the system's log of services (the Windows event log) under the source
// `source`; false when it could not be written or the system has no such log.
bool reportServiceEvent(const std::string& source, const std::string& text, bool error);

// The service run of a process started by the service control manager. A thread of its own
// connects to the manager and reports the states (start pending, running, stop pending) with
// a wait hint of 5000 ms; stop and shutdown are accepted, pause and continue are not. The work
// of the program stays on the caller's thread: a stop or shutdown only calls `onStop` (on a
// thread of the manager; it must do no more than post a request to the main thread). The
// service is reported stopped when the host is destroyed, that is when the program has ended
// its work, so a service started again at once does not find the old copy still running.
class ServiceHost
{
public:
    static constexpr std::chrono::milliseconds WaitHint{5000};
    // How long start() waits for the manager to call the service's main function.
    static constexpr std::chrono::milliseconds ConnectTimeout{30000};

    virtual ~ServiceHost() = default;

    // Connects to the service control manager; empty once the service runs, otherwise the
    // system's message (a process not started by the manager fails at once). `startAllowed`
    // is asked before running is reported: false ends the start (the program was told to end).
    virtual ServiceError start(std::function<bool()> startAllowed) = 0;
    // Whether a stop or shutdown has arrived.
    virtual bool stopRequested() const = 0;

    static std::unique_ptr<ServiceHost> create(const std::string& name, std::function<void()> onStop);
};

// systemd: whether the unit asked for notifications (NOTIFY_SOCKET) and this build can send
// them. Without libsystemd at build time the answer is always false.
bool serviceNotificationsWanted();
// Sends one notification ("READY=1", "WATCHDOG=1", "STOPPING=1", "STATUS=..."); false when
// none was sent.
bool notifyServiceManager(const std::string& state);
// The keep-alive interval the unit asks for (WatchdogSec=), zero when it asks for none.
std::chrono::milliseconds serviceWatchdogInterval();

} // namespace zul::platform

#include "platform/ServiceControl.h"

#include <cstdlib>

#if ZUL_HAVE_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace zul::platform {
namespace {

const char* const NoServiceManager =
    "este sistema não tem o gerenciador de serviços do Windows; o serviço é a unidade do systemd "
    "zul.service (systemctl enable --now zul)";

class NoServiceHost final : public ServiceHost
{
public:
    ServiceError start(std::function<bool()>) override { return NoServiceManager; }
    bool stopRequested() const override { return false; }
};

} // namespace

ServiceError installService(const ServiceDefinition&)
{
    return NoServiceManager;
}

ServiceError uninstallService(const std::string&)
{
    return NoServiceManager;
}

// Under systemd the service run is chosen by the unit's command line, not by the account.
bool runsAsServiceAccount(const std::string&)
{
    return false;
}

bool servicesHaveDesktop()
{
    return false;
}

// What a service writes to stderr is its log under systemd; there is no other.
bool reportServiceEvent(const std::string&, const std::string&, bool)
{
    return false;
}

std::unique_ptr<ServiceHost> ServiceHost::create(const std::string&, std::function<void()>)
{
    return std::make_unique<NoServiceHost>();
}

#if ZUL_HAVE_LIBSYSTEMD

bool serviceNotificationsWanted()
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    return socket && *socket;
}

bool notifyServiceManager(const std::string& state)
{
    return sd_notify(0, state.c_str()) > 0;
}

std::chrono::milliseconds serviceWatchdogInterval()
{
    uint64_t usec = 0;
    // Also checks WATCHDOG_PID: a keep-alive meant for another process is not ours to send.
    if (sd_watchdog_enabled(0, &usec) <= 0)
        return std::chrono::milliseconds{0};
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(usec));
}

#else

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

#endif

} // namespace zul::platform

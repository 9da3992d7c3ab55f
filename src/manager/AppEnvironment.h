#pragma once

#include "platform/Registry.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zul {

class ActivityLog;
class Clock;
class OperatorDialogs;

// What the manager core is given instead of reaching for globals: the time source, the way
// to talk to the operator, the log writer and the registry to use. Tests hand in a manual
// clock, scripted dialogs, a temporary log folder and a registry file of their own.
struct AppEnvironment
{
    static constexpr quint16 DefaultNotificationPort = 10622;

    AppEnvironment(Clock& clock_, OperatorDialogs& dialogs_, ActivityLog& log_,
                   platform::RegistryStore registry_, bool headless_ = false)
        : clock(clock_), dialogs(dialogs_), log(log_), registry(std::move(registry_)), headless(headless_)
    {}

    Clock& clock;
    OperatorDialogs& dialogs;
    ActivityLog& log;
    platform::RegistryStore registry;
    // No window is created, or none is shown, and no tray icon is added.
    bool headless = false;
    // The port the notification server listens on; tests take a free one.
    quint16 notificationPort = DefaultNotificationPort;
    // The vendor library to load: a file name looked up in the system's search order, or a
    // path. Empty: the platform's usual name.
    QString deviceLibrary;
    // Multiplies the intervals of the manager's timers. Tests run the timers in virtual time and
    // stretch the real ones so that they never fire by themselves.
    int timerIntervalFactor = 1;
    // The image paths of the running processes, for the duplicate-instance check. Unset: the
    // system's list. Tests give their own, so copies running elsewhere on the machine do not
    // count.
    std::function<std::vector<std::string>()> processImagePaths;
    // Whether the desktop has a notification area now. Unset: the system's answer.
    std::function<bool()> trayAvailable;
    // Hands the application's exception handler (the receiver of an error that escaped an
    // event handler) to whoever delivers the events. Unset: nobody catches them but the core's
    // own boundaries.
    std::function<void(std::function<void(const QString&)>)> installExceptionHandler;
};

} // namespace zul

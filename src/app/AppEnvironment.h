#pragma once

#include "platform/Registry.h"

namespace zul {

class ActivityLog;
class Clock;
class OperatorDialogs;

// What the main window is given instead of reaching for globals: the time source, the way
// to talk to the operator, the log writer and the registry to use. Tests hand in a manual
// clock, scripted dialogs, a temporary log folder and a registry file of their own.
struct AppEnvironment
{
    Clock& clock;
    OperatorDialogs& dialogs;
    ActivityLog& log;
    platform::RegistryStore registry;
    // The window is never shown and no tray icon is added.
    bool headless = false;
};

} // namespace zul

#pragma once

#include "app/ProgramOptions.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace zul {

using namespace Qt::StringLiterals;

class ActivityLog;
class Clock;
class ManagerCore;

namespace platform {
class ServiceHost;
}

// The service: "ZulServer" in the Windows service control manager, the unit zul.service of
// systemd on Linux.
inline const QString ServiceName = u"ZulServer"_s;
inline const QString ServiceDisplayName = u"ZUL - Gerenciamento da Catraca Biométrica"_s;

// Shows one box of the install and uninstall runs.
using ServiceBox = std::function<void(bool error, const QString& title, const QString& text)>;

// The install or uninstall run of -INSTALL / -UNINSTALL (-SILENT: no box on success; a failure
// is always shown). Answers the exit status: 0 on success, 1 on failure.
int RunServiceInstall(const ProgramOptions& options, const ServiceBox& box);

// Whether this process is the service: on Windows the service is installed and the process
// runs under its account; on Linux the unit's command line says so with --service.
bool ChoosesServiceRun(const ProgramOptions& options);

// Whether the service run has a window at all: the Windows service keeps its hidden window
// and tray icon (an interactive service); under systemd there is no desktop.
bool ServiceRunHasWindow();

// The running copy is the one installed by the package (its executable lies in the installed
// program folder), not a build tree or an unpacked copy.
bool IsInstalledCopy();
// The activity log's folder when none is given: for an installed copy on Linux the system's
// log folder of the program (/var/log/zul), else "logCatraca" beside the executable.
QString DefaultLogFolder();
// The vendor library to load: beside the executable, or for an installed copy on Linux the
// folder where the operator puts it (/usr/local/lib/zul); else the bare name, looked up in the
// system's search order.
QString DeviceLibraryPath();

// Tells the operator, once, that the activity log cannot be written: on stderr (the journal
// under systemd) and, for the Windows service, in the event log. Installed on `log`.
void ReportLostLogLines(ActivityLog& log, bool serviceRun);

// systemd's notifications for a Type=notify unit: READY=1 once the manager is ready (the
// database connected and the turnstile online), and WATCHDOG=1 every half keep-alive interval
// while the main thread dispatches its messages, which the online loop does in every pass. A
// main thread that stalls sends nothing more and systemd restarts the service. Nothing is sent
// when the unit asks for nothing.
class ServiceNotifier final : public QObject
{
    Q_OBJECT
public:
    // How often readiness and the keep-alive are looked at.
    static constexpr int TickMs = 500;

    ServiceNotifier(const Clock& clock, std::function<bool()> ready, QObject* parent = nullptr);

    // Whether the unit asked for notifications at all.
    bool active() const { return m_active; }
    bool readySent() const { return m_readySent; }
    qint64 keepAliveIntervalMs() const { return m_keepAliveMs; }

    // Starts the ticking timer (production); tests drive Tick() in virtual time.
    void start(int intervalFactor = 1);
    void Tick();
    QTimer& timer() { return m_timer; }

private:
    const Clock& m_clock;
    std::function<bool()> m_ready;
    QTimer m_timer;
    bool m_active = false;
    bool m_readySent = false;
    qint64 m_keepAliveMs = 0;
    qint64 m_lastKeepAliveMs = -1;
};

// Whether the manager is what a service that has started means: the database connected and
// the online loop past the connection, in its polling states.
bool ManagerOnline(ManagerCore& manager);

// What the service run adds around the main window. Declared before the window, so that the
// service is reported stopped only after the window has ended its work.
class ServiceSession
{
public:
    ServiceSession();
    ~ServiceSession();
    ServiceSession(const ServiceSession&) = delete;
    ServiceSession& operator=(const ServiceSession&) = delete;

    // Before the window's creation: connects to the service manager (Windows), so that a slow
    // start-up does not run past the time the manager waits for the service. A stop from then
    // on asks the manager to quit. False when the service could not be started; the failure has
    // been reported and the process should end.
    bool Begin(ManagerCore& manager, const Clock& clock);
    // After Initialize: errors escaping event handlers go to the event log (Windows); the
    // notifications of systemd start.
    void Running(const std::function<void(std::function<void(const QString&)>)>& setExceptionHandler);
    // A stop of the service arrived.
    bool StopRequested() const;

private:
    std::unique_ptr<platform::ServiceHost> m_host;
    std::unique_ptr<ServiceNotifier> m_notifier;
    ManagerCore* m_manager = nullptr;
};

} // namespace zul

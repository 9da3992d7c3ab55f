#include "app/ServiceRun.h"

#include "access/OnlineLoop.h"
#include "db/ManagerDatabase.h"
#include "device/DeviceBinding.h"
#include "manager/ManagerCore.h"
#include "platform/ServiceControl.h"
#include "platform/System.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

// Texts handed to the system's ANSI interfaces are in its code page.
std::string SystemText(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

QString FromSystem(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

void PrintError(const QString& text)
{
    const QByteArray bytes = (u"zul: "_s + text + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The event source of the service's entries: the executable's file name.
std::string EventSource()
{
    return SystemText(QFileInfo(QString::fromStdString(platform::executablePath())).fileName());
}

QString ExecutableFolder()
{
    return QFileInfo(QString::fromStdString(platform::executablePath())).absolutePath();
}

} // namespace

int RunServiceInstall(const ProgramOptions& options, const ServiceBox& box)
{
    const QString binary = QDir::toNativeSeparators(QString::fromStdString(platform::executablePath()));
    platform::ServiceError error;
    if (options.install)
        // Started with --service, the program knows it is the service even where the account
        // it runs under does not tell (Wine reports the desktop's user to a LocalSystem service).
        error = platform::installService(
            {SystemText(ServiceName), SystemText(ServiceDisplayName), SystemText(binary), "--service"});
    else
        error = platform::uninstallService(SystemText(ServiceName));

    if (!error.empty()) {
        const QString text = options.install
                                 ? u"Serviço \"%1\" falhou para a instalação com erro: \"%2\""_s
                                 : u"Service \"%1\" failed para a desinstalação com erro: \"%2\""_s;
        box(true, u"zul"_s, text.arg(ServiceDisplayName, FromSystem(error)));
        // Installers and scripts learn of the failure from the exit status too.
        return 1;
    }
    if (!options.silent)
        box(false, u"Informação"_s,
            options.install ? u"Serviço instalado com sucesso"_s : u"Serviço desinstalado com sucesso"_s);
    return 0;
}

bool ChoosesServiceRun(const ProgramOptions& options)
{
    return options.service || platform::runsAsServiceAccount(SystemText(ServiceName));
}

bool ServiceRunHasWindow()
{
    return platform::servicesHaveDesktop();
}

bool IsInstalledCopy()
{
#ifdef ZUL_INSTALLED_BIN_DIR
    const QString installed = QFileInfo(QStringLiteral(ZUL_INSTALLED_BIN_DIR)).canonicalFilePath();
    return !installed.isEmpty() && QFileInfo(ExecutableFolder()).canonicalFilePath() == installed;
#else
    return false;
#endif
}

QString DefaultLogFolder()
{
#ifdef ZUL_INSTALLED_LOG_DIR
    // The program's folder of an installed copy belongs to the package and is not writable.
    if (IsInstalledCopy())
        return QStringLiteral(ZUL_INSTALLED_LOG_DIR);
#endif
    return QDir(ExecutableFolder()).filePath(u"logCatraca"_s);
}

QString DeviceLibraryPath()
{
    const QString name = DeviceBinding::defaultLibraryName();
#ifdef ZUL_INSTALLED_DEVICE_DIR
    if (IsInstalledCopy())
        return QDir(QStringLiteral(ZUL_INSTALLED_DEVICE_DIR)).filePath(name);
#endif
    // The vendor library beside the executable wins over the system's search path, so a build
    // tree or an unpacked folder carries its own.
    const QString beside = QDir(ExecutableFolder()).filePath(name);
    return QFileInfo::exists(beside) ? beside : name;
}

void ReportLostLogLines(ActivityLog& log, bool serviceRun)
{
    log.setLostLinesHandler([serviceRun](const QString& folder) {
        const QString text =
            u"o log de atividade não pode ser escrito na pasta %1; as linhas do log "
            "se perdem até que a pasta possa ser escrita"_s.arg(QDir::toNativeSeparators(folder));
        PrintError(text);
        if (serviceRun)
            platform::reportServiceEvent(EventSource(), SystemText(text), true);
    });
}

ServiceNotifier::ServiceNotifier(const Clock& clock, std::function<bool()> ready, QObject* parent)
    : QObject(parent), m_clock(clock), m_ready(std::move(ready))
{
    m_active = platform::serviceNotificationsWanted();
    if (m_active)
        m_keepAliveMs = platform::serviceWatchdogInterval().count();
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &ServiceNotifier::Tick);
}

void ServiceNotifier::start(int intervalFactor)
{
    if (!m_active)
        return;
    m_timer.setInterval(TickMs * intervalFactor);
    m_timer.start();
    Tick();
}

void ServiceNotifier::Tick()
{
    if (!m_active)
        return;
    if (!m_readySent && m_ready && m_ready())
        m_readySent = platform::notifyServiceManager("READY=1");
    const qint64 now = m_clock.elapsedMs();
    if (m_keepAliveMs > 0 && (m_lastKeepAliveMs < 0 || now - m_lastKeepAliveMs >= m_keepAliveMs / 2)) {
        platform::notifyServiceManager("WATCHDOG=1");
        m_lastKeepAliveMs = now;
    }
}

bool ManagerOnline(ManagerCore& manager)
{
    DeviceBinding& device = manager.device();
    return !device.IsStopRequested() && device.loopState() >= OnlineLoop::Polling &&
           manager.database().xcnCatraca.Connected();
}

ServiceSession::ServiceSession() = default;

// The service host goes last: it reports the service stopped.
ServiceSession::~ServiceSession() = default;

bool ServiceSession::Begin(ManagerCore& manager, const Clock& clock)
{
    m_manager = &manager;
    if (!platform::servicesHaveDesktop()) {
        m_notifier = std::make_unique<ServiceNotifier>(clock, [&manager] { return ManagerOnline(manager); });
        return true;
    }
    // The stop arrives on a thread of the service manager: it is posted to the main thread,
    // where the window, if it still exists, is asked to quit.
    QPointer<ManagerCore> target(&manager);
    m_host = platform::ServiceHost::create(SystemText(ServiceName), [target] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [target] {
                if (target)
                    target->RequestQuit();
            },
            Qt::QueuedConnection);
    });
    const platform::ServiceError error = m_host->start(nullptr);
    if (error.empty())
        return true;
    platform::reportServiceEvent(EventSource(), error, true);
    PrintError(FromSystem(error));
    return false;
}

void ServiceSession::Running(
    const std::function<void(std::function<void(const QString&)>)>& setExceptionHandler)
{
    if (m_host) {
        // From here on an error that escapes an event handler is an error of the service.
        const std::string source = EventSource();
        setExceptionHandler([source](const QString& message) {
            platform::reportServiceEvent(source, SystemText(message), true);
        });
    }
    if (m_notifier)
        m_notifier->start();
}

bool ServiceSession::StopRequested() const
{
    return m_host && m_host->stopRequested();
}

} // namespace zul

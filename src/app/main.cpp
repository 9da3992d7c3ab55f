#include "app/ProgramOptions.h"
#include "app/QtDialogs.h"
#include "app/ServiceRun.h"
#include "app/TfrmCatraca.h"
#include "app/ZulApplication.h"
#include "db/ManagerDatabase.h"
#include "dbconfig/ConnectionProfiles.h"
#include "device/DeviceBinding.h"
#include "manager/AppEnvironment.h"
#include "manager/CoreApplication.h"
#include "manager/ManagerCore.h"
#include "platform/NamedMutex.h"
#include "platform/StopSignal.h"
#include "platform/System.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/OperatorDialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString AlreadyRunningCaption = u"ZUL - Gerenciamento da Catraca Biométrica"_s;
const QString AlreadyRunningText = u"O Gerenciador da Catraca já está sendo executado"_s;

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv)
{
    zul::platform::attachParentConsole();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    zul::ProgramOptions options = zul::ParseProgramOptions(arguments);
    if (!options.error.isEmpty()) {
        Print(stderr, u"zul: "_s + options.error + u'\n' + zul::ProgramUsage());
        return 2;
    }
    if (options.showHelp) {
        Print(stdout, zul::ProgramUsage());
        return 0;
    }
    if (options.showVersion) {
        Print(stdout, QStringLiteral("zul " ZUL_VERSION "\n"));
        return 0;
    }

    // A stop request of the system (systemd's SIGTERM, Ctrl+C) is caught from here on, so one
    // that arrives while the program is still starting is not lost: it is seen as soon as the
    // start-up lets it, and the program ends normally, with its closing log lines.
    const int stopSignal = zul::platform::installStopSignal();

    // The service run under systemd has no desktop: no window, and nobody to answer a box.
    const bool serviceRun = !options.isInstallRun() && zul::ChoosesServiceRun(options);
    if (serviceRun && !zul::ServiceRunHasWindow())
        options.headless = true;

    // A headless run creates no window and needs no display: its application object is a
    // plain core application. A run with a window has the widget application.
    std::unique_ptr<QCoreApplication> application;
    std::function<void(zul::ExceptionHandler)> setExceptionHandler;
    zul::ZulApplication* gui = nullptr;
    if (options.headless) {
        auto* core = new zul::ZulCoreApplication(argc, argv);
        setExceptionHandler = [core](zul::ExceptionHandler handler) {
            core->setExceptionHandler(std::move(handler));
        };
        application.reset(core);
    } else {
        gui = new zul::ZulApplication(argc, argv);
        setExceptionHandler = [gui](zul::ExceptionHandler handler) {
            gui->setExceptionHandler(std::move(handler));
        };
        // Boxes shown while the window sits in the notification area must not end the
        // program; the program ends when the main window is closed.
        gui->setQuitOnLastWindowClosed(false);
        application.reset(gui);
    }
    QCoreApplication& app = *application;
    app.setApplicationName(u"zul"_s);
    app.setApplicationVersion(QStringLiteral(ZUL_VERSION));

    // Held until the process ends. Install runs skip it: the running copy must not stop an
    // installation.
    std::unique_ptr<zul::platform::NamedMutex> instanceMutex;
    if (!options.isInstallRun()) {
        instanceMutex = zul::platform::NamedMutex::create("ZUL");
        if (instanceMutex->state() == zul::platform::NamedMutex::State::AlreadyExists) {
            if (options.headless) {
                Print(stderr, AlreadyRunningCaption + u": "_s + AlreadyRunningText + u'\n');
            } else {
                zul::QtDialogs boxes;
                boxes.message(zul::OperatorDialogs::Icon::Error, AlreadyRunningCaption, AlreadyRunningText);
            }
            return 1;
        }
    }

    // Installing or removing the service needs nothing of the manager: no window, no database.
    if (options.isInstallRun())
        return zul::RunServiceInstall(options, [&options](bool error, const QString& title,
                                                          const QString& text) {
            if (options.headless) {
                Print(error ? stderr : stdout, text + u'\n');
                return;
            }
            zul::QtDialogs boxes;
            boxes.message(error ? zul::OperatorDialogs::Icon::Error : zul::OperatorDialogs::Icon::Information,
                          title, text);
        });

    zul::SystemClock clock;
    zul::ActivityLog log(clock, options.logDir.isEmpty() ? zul::DefaultLogFolder() : options.logDir);
    zul::ReportLostLogLines(log, serviceRun);
    zul::QtDialogs desktopDialogs;
    zul::NonBlockingDialogs unattendedDialogs(log);
    zul::OperatorDialogs& dialogs = options.headless || serviceRun
                                        ? static_cast<zul::OperatorDialogs&>(unattendedDialogs)
                                        : static_cast<zul::OperatorDialogs&>(desktopDialogs);
    const zul::platform::RegistryStore registry =
        options.registryFile.isEmpty() ? zul::platform::defaultRegistryStore()
                                       : zul::platform::RegistryStore{options.registryFile.toStdString()};

    // The connection profiles are read once, before any window or connection exists.
    zul::ReadConnectionProfiles(registry, &log);
    zul::UseProcessConnectionProfiles();

    zul::AppEnvironment environment{clock, dialogs, log, registry, options.headless};
    environment.deviceLibrary = zul::DeviceLibraryPath();
    if (options.notificationPort != 0)
        environment.notificationPort = options.notificationPort;
    environment.installExceptionHandler = setExceptionHandler;
    // Before the core: the service is reported stopped once the core has ended its work.
    zul::ServiceSession service;
    zul::ManagerCore manager(environment);
    // The window is a view of the core; a headless run has none.
    std::unique_ptr<zul::TfrmCatraca> frmCatraca;
    if (!options.headless) {
        frmCatraca = std::make_unique<zul::TfrmCatraca>(manager);
        desktopDialogs.setOwner(frmCatraca.get());
        gui->setWindowIcon(frmCatraca->windowIcon());
        QObject::connect(gui, &QGuiApplication::commitDataRequest, &manager,
                         [&manager](QSessionManager&) { manager.EndSession(); });
    }
    QObject::connect(&manager, &zul::ManagerCore::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // A stop request ends the online loop and the program the way a stop of the service does.
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopSignal >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopSignal, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &manager,
                         [&manager, &desktopDialogs, &unattendedDialogs, stopSignal] {
                             zul::platform::drainStopSignal(stopSignal);
                             desktopDialogs.StopWaiting(unattendedDialogs);
                             manager.RequestQuit();
                         });
    }

    if (serviceRun && !service.Begin(manager, clock))
        return 1;

    try {
        if (frmCatraca)
            frmCatraca->FormCreate();
        else
            manager.FormCreate();
    } catch (const zul::Error& error) {
        // What escapes creation is shown the way the system shows an unhandled error.
        dialogs.message(zul::OperatorDialogs::Icon::Error, u"zul"_s, error.message());
    }

    // A stop request that came while the core was being created (a slow database, a box
    // waiting for its answer) ends the program here: the event loop that would have carried
    // out its quit has not run yet.
    if (manager.QuitRequested() || service.StopRequested() ||
        (stopSignal >= 0 && zul::platform::drainStopSignal(stopSignal)))
        return 0;

    if (frmCatraca)
        frmCatraca->Initialize(serviceRun);
    else
        manager.Initialize(serviceRun);
    if (serviceRun)
        service.Running(setExceptionHandler);
    // The service's window is never shown by itself.
    if (frmCatraca && !serviceRun) {
        if (manager.StartedMinimized())
            frmCatraca->showMinimized();
        else
            frmCatraca->show();
    }
    return app.exec();
}

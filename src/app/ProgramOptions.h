#pragma once

#include <QString>
#include <QStringList>

namespace zul {

// The command line of the manager. The service switches ("INSTALL", "UNINSTALL", "SILENT") keep
// the form the service control tools and installers already use: "-", "/" or "\" followed by
// the word in any letter case. The long options are this build's own additions.
struct ProgramOptions
{
    bool install = false;
    bool uninstall = false;
    bool silent = false;

    QString registryFile; // --registry FILE
    QString logDir;       // --log-dir DIR
    // --notification-port PORT: where the change-notification socket listens instead of its
    // usual port, for tests that run beside another copy; 0 when not given.
    quint16 notificationPort = 0;
    bool headless = false;
    // --service: the run of the service under systemd (no window, nobody to answer a box).
    bool service = false;
    bool showVersion = false;
    bool showHelp = false;

    // Set when the command line cannot be used; the program prints it with the usage text.
    QString error;

    bool isInstallRun() const { return install || uninstall; }
};

// True when some parameter after the first (the executable) is `word` introduced by "-", "/"
// or "\", compared without regard to case.
bool HasSwitch(const QStringList& arguments, const QString& word);

ProgramOptions ParseProgramOptions(const QStringList& arguments);

QString ProgramUsage();

} // namespace zul

#include "app/ProgramOptions.h"

using namespace Qt::StringLiterals;

namespace zul {

namespace {

bool IsSwitchOf(const QString& argument, const QString& word)
{
    if (argument.size() != word.size() + 1)
        return false;
    const QChar lead = argument.front();
    if (lead != u'-' && lead != u'/' && lead != u'\\')
        return false;
    return QStringView(argument).mid(1).compare(word, Qt::CaseInsensitive) == 0;
}

const QStringList& ServiceSwitches()
{
    static const QStringList words{u"INSTALL"_s, u"UNINSTALL"_s, u"SILENT"_s};
    return words;
}

bool IsServiceSwitch(const QString& argument)
{
    for (const QString& word : ServiceSwitches())
        if (IsSwitchOf(argument, word))
            return true;
    return false;
}

} // namespace

bool HasSwitch(const QStringList& arguments, const QString& word)
{
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (IsSwitchOf(arguments.at(i), word))
            return true;
    return false;
}

ProgramOptions ParseProgramOptions(const QStringList& arguments)
{
    ProgramOptions options;
    options.install = HasSwitch(arguments, u"INSTALL"_s);
    options.uninstall = HasSwitch(arguments, u"UNINSTALL"_s);
    options.silent = HasSwitch(arguments, u"SILENT"_s);

    auto takeValue = [&](qsizetype& i, const QString& name, QString& target) {
        const QString& argument = arguments.at(i);
        const QString prefix = name + u'=';
        if (argument.startsWith(prefix)) {
            target = argument.mid(prefix.size());
        } else if (i + 1 < arguments.size()) {
            target = arguments.at(++i);
        } else {
            options.error = u"missing value after %1"_s.arg(name);
            return;
        }
        if (target.isEmpty())
            options.error = u"empty value for %1"_s.arg(name);
    };

    for (qsizetype i = 1; i < arguments.size() && options.error.isEmpty(); ++i) {
        const QString& argument = arguments.at(i);
        if (IsServiceSwitch(argument))
            continue;
        const QString name = argument.section(u'=', 0, 0);
        if (name == u"--registry")
            takeValue(i, name, options.registryFile);
        else if (name == u"--log-dir")
            takeValue(i, name, options.logDir);
        else if (name == u"--notification-port") {
            QString port;
            takeValue(i, name, port);
            bool ok = false;
            const uint value = port.toUInt(&ok);
            if (options.error.isEmpty() && (!ok || value == 0 || value > 65535))
                options.error = u"--notification-port needs a port number, not %1"_s.arg(port);
            else
                options.notificationPort = quint16(value);
        } else if (argument == u"--headless")
            options.headless = true;
        else if (argument == u"--service")
            options.service = true;
        else if (argument == u"--version")
            options.showVersion = true;
        else if (argument == u"--help" || argument == u"-h" || argument == u"-?")
            options.showHelp = true;
        else if (argument.startsWith(u"--"))
            options.error = u"unknown option %1"_s.arg(argument);
        // Any other word is left alone: the program has always ignored parameters it does not
        // know, and a switch word without its leading character is just such a word.
    }
    return options;
}

QString ProgramUsage()
{
    return u"Usage: zul [options] [-INSTALL | -UNINSTALL] [-SILENT]\n"
           "\n"
           "Manager of a biometric turnstile.\n"
           "\n"
           "  -INSTALL, -UNINSTALL  register or remove the service (also /install, \\install)\n"
           "  -SILENT               no success box for -INSTALL and -UNINSTALL\n"
           "  --registry FILE       registry file (default: $ZUL_REGISTRY, else the system file)\n"
           "  --log-dir DIR         activity log folder (default: logCatraca beside the program;\n"
           "                        /var/log/zul for the installed program on Linux)\n"
           "  --headless            never show the window; boxes go to the activity log\n"
           "  --service             run as the service (the systemd unit starts it so)\n"
           "  --notification-port PORT  change-notification socket port (default 10622; tests)\n"
           "  --version             print the version and exit\n"
           "  --help                print this text and exit\n"_s;
}

} // namespace zul

// zul-admin: administration of a zul machine from the command line.
//
//   zul-admin [--registry FILE] profile set CODE --database KIND --connect STRING [--driver-family NAME]
//   zul-admin [--registry FILE] profile use CODE [--force]
//   zul-admin [--registry FILE] profile show [CODE]
//   zul-admin [--registry FILE] socket show | socket set [--listen ADDRESS] [--allow LIST]
//   zul-admin [--registry FILE] db ...

#include "Console.h"
#include "DbCommand.h"
#include "SocketCommand.h"
#include "dbconfig/ConnectString.h"
#include "dbconfig/ConnectionProfiles.h"
#include "dbconfig/DbTypes.h"
#include "platform/Registry.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Settings.h"
#include "support/Win1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <optional>

namespace {

using namespace Qt::StringLiterals;
using zul::ConnectionProfiles;
using Table = ConnectionProfiles::Table;

using namespace zul::admin;

const char HelpText[] = R"(Usage: zul-admin [--registry FILE] COMMAND ...

Administration of the machine's zul settings: the database connection profiles kept in
HKEY_LOCAL_MACHINE\Software\VORLUND\Sistemas Integrados Vorlund\WebSrv.

Options:
  --registry FILE   the .reg file that stands for HKEY_LOCAL_MACHINE (Linux); without it
                    $ZUL_REGISTRY, else the machine's default store. On Windows the machine's
                    own registry, unless FILE names a store of its own: the key of that path
                    under HKEY_CURRENT_USER\Software\Zul\Stores.
  -h, --help        show this text and exit

Commands:
  profile set CODE --database KIND --connect STRING [--driver-family NAME]
      Writes connection profile CODE (digits; the manager uses "211" unless its
      "PortaADOCatraca" value names another):
        "StringConex"+CODE   the connection string, encrypted as every reader expects it
        "UsedDatabase"+CODE  KIND, stored exactly as given; the readers compare it
                             with letter case: ORACLE, SQLITE, POSTGRESQL, anything else
                             means SQL Server
      Other values that a reader would take for the same code (for example "StringConex"
      alone for code 211) are removed, since the first one found wins.
      --connect -        reads the connection string from the first line of standard
                         input, so that the password is not on the command line.
      --driver-family    also writes "DBConnType", which is shared by every profile of the
                         machine: CORELAB (the default) selects the direct drivers, any other
                         name (for example ADO) the OLE DB connection strings.
      Connection strings by KIND:
        SQLITE       Data Source=FILE
        POSTGRESQL   Server=HOST;Port=5432;Database=NAME;User ID=USER;Password=SECRET
        ORACLE       Provider=OraOLEDB.Oracle;Data Source=TNS;User ID=USER;Password=SECRET
                     (with the direct driver the manager connects as USER/SECRET@TNS)
        SQL Server   Provider=SQLOLEDB;Data Source=HOST;Initial Catalog=NAME;User ID=USER;Password=SECRET
  profile use CODE [--force]
      Writes "PortaADOCatraca"=CODE: the profile the manager connects with. Without it the
      manager asks for the code at its first start (a headless run or a service takes "211").
      The manager takes the connection string from CODE but its server type (driver and
      SQL dialect) always from profile 211: when the two differ the command warns and
      changes nothing unless --force is given.
  profile show [CODE]
      Prints the driver family, the pooling values and every profile (or the profile that
      CODE resolves to, "211" when CODE has none of its own): database kind, the server type
      it selects and the decrypted connection string with every password shown as ****.
      Values that cannot be read are reported on standard error; a registry file that
      cannot be parsed is named with the line at fault (exit status 1). Nothing is written.
  socket show
      Prints where the manager's change-notification socket (port 10622) listens and
      which clients may connect: "SocketEnderecoCatraca" and "SocketClientesCatraca".
  socket set [--listen ADDRESS] [--allow LIST]
      --listen ADDRESS   the local address to listen on (IPv4 or IPv6); "all" removes
                         the value: all local addresses, as without it.
      --allow LIST       the clients allowed: addresses and networks (address/prefix,
                         for example "192.168.0.0/24, 10.0.0.7"), separated by commas,
                         semicolons or blanks; "everyone" removes the value. Others are
                         refused and logged. The manager reads both when it starts.
  db ...
      Database preparation; see "zul-admin db --help".

Exit status: 0 success, 1 failure, 2 wrong usage.
)";

// Shows the key as it is without changing it: the reader would otherwise write the default
// driver family into a store that someone only wanted to look at.
class ReadOnlyKey final : public zul::platform::RegistryKey
{
public:
    explicit ReadOnlyKey(std::unique_ptr<RegistryKey> key) : m_key(std::move(key)) {}

    std::optional<zul::platform::ValueType> valueType(const std::string& name) const override
    {
        return m_key->valueType(name);
    }
    std::optional<std::string> readString(const std::string& name) const override
    {
        return m_key->readString(name);
    }
    std::optional<std::uint32_t> readDWord(const std::string& name) const override
    {
        return m_key->readDWord(name);
    }
    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& name) const override
    {
        return m_key->readBinary(name);
    }
    std::vector<std::string> valueNames() const override { return m_key->valueNames(); }
    bool writeString(const std::string&, const std::string&) override { return false; }
    bool writeDWord(const std::string&, std::uint32_t) override { return false; }
    bool writeBinary(const std::string&, const std::vector<std::uint8_t>&) override { return false; }
    bool deleteValue(const std::string&) override { return false; }

private:
    std::unique_ptr<RegistryKey> m_key;
};

QString describeStore(const zul::platform::RegistryStore& store)
{
    // Windows uses the machine's own registry and has no file to name.
    return store.file.empty() ? u"HKEY_LOCAL_MACHINE"_s : QFile::decodeName(store.file.c_str());
}

// Why the store cannot be read (file, line, what is wrong), empty when it can.
QString storeProblem(const zul::platform::RegistryStore& store)
{
    return QString::fromLocal8Bit(zul::platform::registryStoreProblem(store));
}

// The profiles as the manager would read them, without writing anything to the store.
ConnectionProfiles readProfilesOnly(const zul::platform::RegistryStore& store, bool* mainKeyOpened = nullptr)
{
    ConnectionProfiles profiles;
    bool opened = false;
    profiles.read(
        [&store, &opened](const std::string& path, bool) -> std::unique_ptr<zul::platform::RegistryKey> {
            auto key = zul::platform::openLocalMachineKey(store, path, false);
            if (!key)
                return nullptr;
            if (path == ConnectionProfiles::KeyPath)
                opened = true;
            return std::make_unique<ReadOnlyKey>(std::move(key));
        });
    if (mainKeyOpened)
        *mainKeyOpened = opened;
    return profiles;
}

bool isDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

int profileSet(const zul::platform::RegistryStore& store, const QStringList& args)
{
    if (args.isEmpty())
        return usage(u"profile set: CODE is missing"_s);
    const QString code = args.first();
    if (!isDigits(code))
        return usage(u"profile set: CODE must be digits, not '%1'"_s.arg(code));

    std::optional<QString> database;
    std::optional<QString> connect;
    std::optional<QString> family;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& option = args.at(i);
        std::optional<QString>* target = nullptr;
        if (option == u"--database")
            target = &database;
        else if (option == u"--connect")
            target = &connect;
        else if (option == u"--driver-family")
            target = &family;
        else
            return usage(u"profile set: unknown argument '%1'"_s.arg(option));
        if (i + 1 >= args.size())
            return usage(u"profile set: %1 needs a value"_s.arg(option));
        *target = args.at(++i);
    }
    if (!database || database->isEmpty())
        return usage(u"profile set: --database KIND is missing"_s);
    if (!connect)
        return usage(u"profile set: --connect STRING is missing"_s);
    if (family && family->trimmed().isEmpty())
        return usage(u"profile set: --driver-family needs a name"_s);

    if (*connect == u"-") {
        QTextStream input(stdin);
        *connect = input.readLine();
    }

    for (const QString& known : {u"ORACLE"_s, u"SQLITE"_s, u"POSTGRESQL"_s}) {
        if (database->compare(known, Qt::CaseInsensitive) == 0 && *database != known)
            err(u"warning: database kinds compare with letter case: '%1' is not %2 and selects SQL Server"_s
                    .arg(*database, known));
    }

    const auto key = zul::platform::openLocalMachineKey(store, ConnectionProfiles::KeyPath, true);
    if (!key) {
        const QString problem = storeProblem(store);
        err(problem.isEmpty() ? u"cannot open or create the key %1 in %2"_s.arg(
                                    QString::fromLatin1(ConnectionProfiles::KeyPath), describeStore(store))
                              : problem + u" (nothing was written)"_s);
        return ExitFailure;
    }
    try {
        const QStringList removed = ConnectionProfiles::writeProfile(*key, code, *database, *connect);
        for (const QString& name : removed)
            out(u"removed '%1', which stood for the same profile"_s.arg(name));
        if (family && !key->writeString("DBConnType", zul::toWin1252String(family->trimmed())))
            throw zul::Error(u"Falha ao atribuir dados ao 'DBConnType'"_s);
    } catch (const zul::Error& error) {
        err(error.message());
        return ExitFailure;
    }

    ConnectionProfiles profiles;
    profiles.read(store);
    out(u"profile %1 written: UsedDatabase=%2, driver family %3, server type %4"_s.arg(
        code, *database, profiles.driverFamily(),
        QString::fromLatin1(zul::txdbTypeName(profiles.serverType(code)))));
    return ExitOk;
}

// The first StringConex line of exactly this code, null when there is none.
const zul::ProfileLine* ownConnectLine(const ConnectionProfiles& profiles, const QString& code)
{
    for (const zul::ProfileLine& line : profiles.lines(Table::StringConex)) {
        if (line.code.compare(code, Qt::CaseInsensitive) == 0)
            return &line;
    }
    return nullptr;
}

void showProfile(const ConnectionProfiles& profiles, const QString& code)
{
    const zul::ProfileLine* own = ownConnectLine(profiles, code);
    const QString connect = own ? own->value : QString();
    const QString database = profiles.entry(Table::UsedDatabase, code);
    out(u"profile %1"_s.arg(code));
    out(u"  UsedDatabase:   %1"_s.arg(database.isEmpty() ? u"(none)"_s : database));
    out(u"  server type:    %1"_s.arg(QString::fromLatin1(zul::txdbTypeName(profiles.serverType(code)))));
    if (own && !own->problem.isEmpty())
        out(u"  connect string: (cannot be used: %1)"_s.arg(own->problem));
    else
        out(u"  connect string: %1"_s.arg(connect.isEmpty() ? u"(none)"_s
                                                            : zul::maskConnectStringPasswords(connect)));
    try {
        const QString effective = profiles.connectString(code);
        if (effective != connect)
            out(u"  used as:        %1"_s.arg(zul::maskConnectStringPasswords(effective)));
    } catch (const zul::ProfileError& error) {
        if (!own || own->problem.isEmpty())
            out(u"  used as:        (cannot be used: %1)"_s.arg(error.message()));
    }
    for (const Table table : {Table::DBOwner, Table::FTPAddress, Table::FTPUserID, Table::FTPPassword}) {
        const QString value = profiles.entry(table, code);
        if (!value.isEmpty())
            out(u"  %1: %2"_s.arg(ConnectionProfiles::prefix(table) + u':', -15)
                    .arg(table == Table::FTPPassword ? u"****"_s : value));
    }
    // Lines that lose the lookup to an earlier value of the same code.
    for (const Table table : ConnectionProfiles::AllTables) {
        bool first = true;
        for (const zul::ProfileLine& line : profiles.lines(table)) {
            if (line.code.compare(code, Qt::CaseInsensitive) != 0)
                continue;
            if (!first)
                out(u"  (hidden by an earlier value: '%1')"_s.arg(line.valueName));
            first = false;
        }
    }
}

int profileShow(const zul::platform::RegistryStore& store, const QStringList& args)
{
    if (args.size() > 1)
        return usage(u"profile show: unexpected argument '%1'"_s.arg(args.at(1)));

    bool opened = false;
    const ConnectionProfiles profiles = readProfilesOnly(store, &opened);

    out(u"registry:      %1"_s.arg(describeStore(store)));
    if (const QString problem = storeProblem(store); !problem.isEmpty()) {
        out(u"the registry file cannot be read, so the manager sees no profile at all:"_s);
        out(u"  "_s + problem);
        return ExitFailure;
    }
    if (!opened) {
        out(u"the key %1 does not exist (or cannot be read): every profile uses the defaults"_s.arg(
            QString::fromLatin1(ConnectionProfiles::KeyPath)));
    }
    if (!profiles.problems().isEmpty())
        out(u"skipped:       %1 value(s) that cannot be read, reported above"_s.arg(
            profiles.problems().size()));
    if (opened) {
        zul::TMessages messages;
        const QString used = zul::SettingsStore(messages, store).readProfileCode();
        out(u"manager uses:  %1"_s.arg(used.isEmpty() ? u"(not chosen: asked at its first start)"_s
                                                      : u"profile "_s + used));
    }
    out(u"DBConnType:    %1"_s.arg(profiles.driverFamily()));
    out(u"Pooling:       %1 (MaxPoolSize %2, MinPoolSize %3)"_s.arg(profiles.pooling() ? u"on"_s : u"off"_s)
            .arg(profiles.maxPoolSize())
            .arg(profiles.minPoolSize()));

    if (args.size() == 1) {
        QString code = args.first();
        if (!ownConnectLine(profiles, code) && profiles.entry(Table::UsedDatabase, code).isEmpty()) {
            out(u"profile %1 has no values of its own; profile %2 is used"_s.arg(
                code, ConnectionProfiles::DefaultCode));
            code = ConnectionProfiles::DefaultCode;
        }
        showProfile(profiles, code);
        return ExitOk;
    }

    QStringList codes;
    for (const Table table : ConnectionProfiles::AllTables) {
        for (const zul::ProfileLine& line : profiles.lines(table)) {
            if (!codes.contains(line.code, Qt::CaseInsensitive))
                codes.append(line.code);
        }
    }
    if (codes.isEmpty())
        out(u"no connection profiles"_s);
    for (const QString& code : std::as_const(codes))
        showProfile(profiles, code);
    return ExitOk;
}

int profileUse(const zul::platform::RegistryStore& store, QStringList args)
{
    const bool force = args.removeAll(u"--force"_s) > 0;
    if (args.size() != 1)
        return usage(u"profile use: expected one CODE"_s);
    const QString& code = args.first();
    if (!isDigits(code))
        return usage(u"profile use: CODE must be digits, not '%1'"_s.arg(code));
    if (const QString problem = storeProblem(store); !problem.isEmpty()) {
        err(problem + u" (nothing was written)"_s);
        return ExitFailure;
    }

    // The manager's connection takes its server type from profile 211 once, when it is
    // created; only the connection string follows the chosen code. Another kind of database
    // would be spoken to with the wrong driver and SQL dialect.
    const ConnectionProfiles profiles = readProfilesOnly(store);
    const zul::TXDBType chosen = profiles.serverType(code);
    const zul::TXDBType server = profiles.serverType(ConnectionProfiles::DefaultCode);
    const auto kind = [&profiles](const QString& c) {
        const QString d = profiles.database(c);
        return d.isEmpty() ? u"(none)"_s : d;
    };
    if (chosen != server) {
        err(u"warning: profile %1 is UsedDatabase %2 (%3), but the manager always takes its server type from "
            "profile %4, UsedDatabase %5 (%6): it would connect to profile %1's database with the wrong "
            "driver "
            "and SQL dialect"_s.arg(code, kind(code), QString::fromLatin1(zul::txdbTypeName(chosen)),
                                    ConnectionProfiles::DefaultCode, kind(ConnectionProfiles::DefaultCode),
                                    QString::fromLatin1(zul::txdbTypeName(server))));
        if (!force) {
            err(u"nothing was written; give --force to choose profile %1 all the same"_s.arg(code));
            return ExitFailure;
        }
    }
    if (profiles.entry(Table::StringConex, code).isEmpty() && !ownConnectLine(profiles, code) &&
        code != ConnectionProfiles::DefaultCode)
        err(u"warning: profile %1 has no connection string of its own: the manager uses profile %2's"_s.arg(
            code, ConnectionProfiles::DefaultCode));
    try {
        zul::TMessages messages;
        zul::SettingsStore(messages, store).writeProfileCode(code);
    } catch (const zul::Error& error) {
        err(error.message());
        return ExitFailure;
    }
    out(u"the manager connects with profile %1"_s.arg(code));
    return ExitOk;
}

int profileCommand(const zul::platform::RegistryStore& store, QStringList args)
{
    if (args.isEmpty())
        return usage(u"profile: expected 'set', 'use' or 'show'"_s);
    const QString verb = args.takeFirst();
    if (verb == u"set")
        return profileSet(store, args);
    if (verb == u"use")
        return profileUse(store, args);
    if (verb == u"show")
        return profileShow(store, args);
    return usage(u"profile: unknown command '%1'"_s.arg(verb));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Keeps the report lines of the reader (standard error) next to the lines they concern.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = QCoreApplication::arguments().mid(1);

    std::optional<zul::platform::RegistryStore> store;
    while (!args.isEmpty() && args.first().startsWith(u'-')) {
        const QString option = args.takeFirst();
        if (option == u"-h" || option == u"--help") {
            std::fputs(HelpText, stdout);
            return ExitOk;
        }
        if (option == u"--registry") {
            if (args.isEmpty())
                return usage(u"--registry needs a file"_s);
            store = zul::platform::RegistryStore{QFile::encodeName(args.takeFirst()).toStdString()};
            continue;
        }
        return usage(u"unknown option '%1'"_s.arg(option));
    }
    if (!store)
        store = zul::platform::defaultRegistryStore();
    if (args.isEmpty())
        return usage(u"a command is missing"_s);

    const QString command = args.takeFirst();
    if (command == u"profile")
        return profileCommand(*store, args);
    if (command == u"socket")
        return zul::runSocketCommand(*store, args);
    if (command == u"db")
        return zul::runDbCommand(args);
    return usage(u"unknown command '%1'"_s.arg(command));
}

#include "dbconfig/ConnectionProfiles.h"

#include "dbconfig/ConnectString.h"
#include "dbconfig/Criptografa.h"
#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

using platform::RegistryKey;
using platform::ValueType;

const QString Oracle = u"ORACLE"_s;
const QString SQLite = u"SQLITE"_s;
const QString PostgreSQL = u"POSTGRESQL"_s;

// Directory values in reading order, with the separator each one must end with.
constexpr std::pair<const char*, char> DirectoryValues[] = {
    {"ReportDir", '\\'}, {"ExeFileDir", '\\'}, {"TmpFileDir", '\\'}, {"GdbFileDir", '\\'},
    {"FTPRelDir", '/'},  {"FTPExeDir", '/'},   {"FTPTmpDir", '/'},   {"FTPGdbDir", '/'},
    {"AGGExeDir", '\\'}, {"PersDir", '\\'},    {"Workdir", '\\'},
};

QString wrongType(const std::string& name)
{
    return u"Tipo de dado inválido para '%1'. O valor foi ignorado."_s.arg(fromWin1252(name));
}

QString nameOf(const char* name)
{
    return QString::fromLatin1(name);
}

} // namespace

QString ConnectionProfiles::prefix(Table table)
{
    switch (table) {
    case Table::StringConex:
        return u"StringConex"_s;
    case Table::UsedDatabase:
        return u"UsedDatabase"_s;
    case Table::DBOwner:
        return u"DBOwner"_s;
    case Table::FTPAddress:
        return u"FTPAddress"_s;
    case Table::FTPUserID:
        return u"FTPUserID"_s;
    case Table::FTPPassword:
        return u"FTPPassword"_s;
    }
    return {};
}

std::optional<ConnectionProfiles::Table> ConnectionProfiles::tableOf(const QString& valueName)
{
    const QString upper = valueName.toUpper();
    for (const Table table : AllTables) {
        if (upper.contains(prefix(table).toUpper()))
            return table;
    }
    return std::nullopt;
}

QString ConnectionProfiles::codeOf(const QString& valueName, Table table)
{
    const QString code = valueName.mid(prefix(table).size());
    return code.isEmpty() ? DefaultCode : code;
}

void ConnectionProfiles::clear()
{
    *this = ConnectionProfiles();
}

void ConnectionProfiles::report(const QString& problem, const ActivityLog* log)
{
    m_problems.append(problem);
    const QString line = ErrorPrefix + problem;
    if (log)
        log->write(line);
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
}

void ConnectionProfiles::read(const platform::RegistryStore& store, const ActivityLog* log)
{
    read([&store](const std::string& path,
                  bool create) { return platform::openLocalMachineKey(store, path, create); },
         log);
    // A store that cannot be parsed looks like a missing key to the reader; said plainly, the
    // administrator can mend the file instead of chasing a driver error.
    const std::string problem = platform::registryStoreProblem(store);
    if (!problem.empty()) {
        m_storeProblem = QString::fromLocal8Bit(problem);
        report(m_storeProblem + u". Os perfis de conexão não foram lidos."_s, log);
    }
}

void ConnectionProfiles::read(const KeyOpener& open, const ActivityLog* log)
{
    clear();
    if (const std::unique_ptr<RegistryKey> key = open(KeyPath, true))
        readMainKey(*key, log);

    if (const std::unique_ptr<RegistryKey> parent = open(ParentKeyPath, false)) {
        m_installKind = parent->valueType("ServerInstall") ? u"W"_s : u"L"_s;
        if (parent->valueType("UninstallPath")) {
            if (const auto path = parent->readString("UninstallPath"))
                m_uninstallPath = fromWin1252(*path);
            else
                report(wrongType("UninstallPath"), log);
        }
    }
}

void ConnectionProfiles::readMainKey(RegistryKey& key, const ActivityLog* log)
{
    // A missing value keeps its default; a value that exists with another type is reported
    // and keeps its default too.
    const auto readBytes = [&](const std::string& name) -> std::optional<std::string> {
        if (!key.valueType(name))
            return std::nullopt;
        if (auto text = key.readString(name))
            return text;
        report(wrongType(name), log);
        return std::nullopt;
    };
    const auto readString = [&](const std::string& name) -> std::optional<QString> {
        const std::optional<std::string> bytes = readBytes(name);
        return bytes ? std::optional<QString>(fromWin1252(*bytes)) : std::nullopt;
    };
    const auto readInteger = [&](const std::string& name) -> std::optional<qint32> {
        if (!key.valueType(name))
            return std::nullopt;
        if (const auto number = key.readDWord(name))
            return qint32(*number);
        report(wrongType(name), log);
        return std::nullopt;
    };

    for (const auto& [name, separator] : DirectoryValues) {
        QString folder = readString(name).value_or(QString());
        if (!folder.isEmpty() && !folder.endsWith(QLatin1Char(separator)))
            folder += QLatin1Char(separator);
        m_directories.append({nameOf(name), folder});
    }

    if (key.valueType("DBConnType")) {
        if (const auto family = readString("DBConnType"))
            m_driverFamily = family->toUpper();
    } else {
        // Other programs sharing the key expect the value to exist; a store that cannot be
        // written simply keeps the default in memory.
        key.writeString("DBConnType", toWin1252String(DefaultDriverFamily));
    }

    if (const auto v = readInteger("ExeFileConf"))
        m_exeFileConf = QString::number(*v);
    if (const auto v = readInteger("SetOraSession"))
        m_setOraSession = QString::number(*v);
    if (const auto v = readInteger("MaxThreads"))
        m_maxThreads = *v;
    if (const auto v = readInteger("Pooling"))
        m_pooling = QString::number(*v);
    if (const auto v = readInteger("MaxPoolSize"))
        m_maxPoolSize = *v;
    if (const auto v = readInteger("MinPoolSize"))
        m_minPoolSize = *v;

    for (const std::string& rawName : key.valueNames()) {
        const QString name = fromWin1252(rawName);
        const std::optional<Table> table = tableOf(name);
        if (!table)
            continue;
        const std::optional<std::string> bytes = readBytes(rawName);
        if (!bytes)
            continue;
        const QString code = codeOf(name, *table);
        QString value;
        QString problem;
        if (*table == Table::StringConex) {
            try {
                const QByteArray plain = DecryptProfileString(QByteArray::fromStdString(*bytes));
                if (IsConnectionStringText(plain))
                    value = fromWin1252(plain);
                else
                    problem = u"cannot decrypt profile %1 (o valor decifrado não é texto: chave "
                              "ou dado errado)"_s.arg(code);
            } catch (const Error& error) {
                problem = u"cannot decrypt profile %1 (%2)"_s.arg(code, error.message());
            }
            if (!problem.isEmpty())
                report(u"'%1': %2. O perfil não será usado."_s.arg(name, problem), log);
        } else {
            value = fromWin1252(*bytes);
        }
        m_tables[index(*table)].append({code, value, name, problem});
    }
}

QString ConnectionProfiles::entry(Table table, const QString& code) const
{
    for (const ProfileLine& line : m_tables[index(table)]) {
        if (line.code.compare(code, Qt::CaseInsensitive) == 0)
            return line.value;
    }
    return {};
}

QString ConnectionProfiles::database(const QString& code) const
{
    const QString own =
        entry(Table::UsedDatabase, code.isEmpty() ? GetThreadProfileCode(currentThreadProfileId()) : code);
    return own.isEmpty() ? entry(Table::UsedDatabase, DefaultCode) : own;
}

const ProfileLine* ConnectionProfiles::connectLine(const QString& code) const
{
    const auto first = [this](const QString& wanted) -> const ProfileLine* {
        for (const ProfileLine& line : m_tables[index(Table::StringConex)]) {
            if (line.code.compare(wanted, Qt::CaseInsensitive) == 0)
                return &line;
        }
        return nullptr;
    };
    const QString resolved = code.isEmpty() ? GetThreadProfileCode(currentThreadProfileId()) : code;
    const ProfileLine* own = first(resolved);
    // A string that cannot be decrypted is not an empty one: falling back to another profile
    // would connect somewhere the administrator never chose.
    if (own && (!own->value.isEmpty() || !own->problem.isEmpty()))
        return own;
    const ProfileLine* fallback = first(DefaultCode);
    return fallback ? fallback : own;
}

QString ConnectionProfiles::connectString(const QString& code) const
{
    if (!m_storeProblem.isEmpty())
        throw ProfileError(m_storeProblem);
    const ProfileLine* line = connectLine(code);
    if (line && !line->problem.isEmpty())
        throw ProfileError(line->problem);
    const QString value = line ? line->value : QString();
    const QString resolved = code.isEmpty() ? GetThreadProfileCode(currentThreadProfileId()) : code;
    if (m_driverFamily == DefaultDriverFamily && database(resolved) == Oracle)
        return oracleDirectConnectString(value);
    return value;
}

TXDBType ConnectionProfiles::serverType(const QString& code) const
{
    const QString kind = database(code);
    if (kind == SQLite)
        return xdtSQLite;
    if (kind == PostgreSQL)
        return xdtPostgreSQL;
    if (m_driverFamily == DefaultDriverFamily)
        return kind == Oracle ? xdtCR_Oracle : xdtCR_MSSQL;
    return kind == Oracle ? xdtADO_Oracle : xdtADO_MSSQL;
}

QString ConnectionProfiles::directory(const QString& valueName) const
{
    for (const auto& [name, folder] : m_directories) {
        if (name.compare(valueName, Qt::CaseInsensitive) == 0)
            return folder;
    }
    return {};
}

QStringList ConnectionProfiles::writeProfile(RegistryKey& key, const QString& code, const QString& database,
                                             const QString& connectString)
{
    const QString stringName = prefix(Table::StringConex) + code;
    const QString databaseName = prefix(Table::UsedDatabase) + code;

    QStringList removed;
    for (const std::string& rawName : key.valueNames()) {
        const QString name = fromWin1252(rawName);
        const std::optional<Table> table = tableOf(name);
        if (!table || (*table != Table::StringConex && *table != Table::UsedDatabase))
            continue;
        if (name == stringName || name == databaseName)
            continue;
        if (codeOf(name, *table).compare(code, Qt::CaseInsensitive) != 0)
            continue;
        if (!key.deleteValue(rawName))
            throw Error(u"Falha ao atribuir dados ao '%1'"_s.arg(name));
        removed.append(name);
    }

    const auto write = [&key](const QString& name, const QByteArray& value) {
        if (!key.writeString(toWin1252String(name), value.toStdString()))
            throw Error(u"Falha ao atribuir dados ao '%1'"_s.arg(name));
    };
    write(stringName, EncryptProfileString(toWin1252(connectString)));
    write(databaseName, toWin1252(database));
    return removed;
}

// Process-wide state.

ConnectionProfiles& processConnectionProfiles()
{
    static ConnectionProfiles profiles;
    return profiles;
}

void ReadConnectionProfiles(const platform::RegistryStore& store, const ActivityLog* log)
{
    processConnectionProfiles().read(store, log);
}

QString GetProfileConnectString(const QString& code)
{
    return processConnectionProfiles().connectString(code);
}

QString GetProfileDatabase(const QString& code)
{
    return processConnectionProfiles().database(code);
}

QString GetDriverFamily()
{
    return processConnectionProfiles().driverFamily();
}

bool ProfilePooling()
{
    return processConnectionProfiles().pooling();
}

qint32 ProfileMaxPoolSize()
{
    return processConnectionProfiles().maxPoolSize();
}

qint32 ProfileMinPoolSize()
{
    return processConnectionProfiles().minPoolSize();
}

TXDBType ServerTypeForProfile(const QString& code)
{
    return processConnectionProfiles().serverType(code);
}

namespace {

struct ThreadProfileCodes
{
    QMutex lock;
    // Lines of thread id, "=", code.
    QStringList lines;
};

ThreadProfileCodes& threadProfileCodes()
{
    static ThreadProfileCodes table;
    return table;
}

QString threadKey(quint64 threadId)
{
    return QString::number(threadId) + u'=';
}

} // namespace

quint64 currentThreadProfileId()
{
    return quint64(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

void SetThreadProfileCode(quint64 threadId, const QString& code)
{
    ThreadProfileCodes& table = threadProfileCodes();
    const QString key = threadKey(threadId);
    QMutexLocker locker(&table.lock);
    // A thread has one code: a second registration replaces the first rather than hiding
    // behind it.
    table.lines.removeIf([&key](const QString& line) { return line.startsWith(key); });
    table.lines.append(key + code.trimmed());
}

void ClearThreadProfileCode(quint64 threadId)
{
    ThreadProfileCodes& table = threadProfileCodes();
    const QString key = threadKey(threadId);
    QMutexLocker locker(&table.lock);
    table.lines.removeIf([&key](const QString& line) { return line.startsWith(key); });
}

QString GetThreadProfileCode(quint64 threadId)
{
    try {
        ThreadProfileCodes& table = threadProfileCodes();
        const QString key = threadKey(threadId);
        QMutexLocker locker(&table.lock);
        for (const QString& line : std::as_const(table.lines)) {
            if (line.startsWith(key))
                return line.mid(key.size());
        }
        return {};
    } catch (...) {
        return ConnectionProfiles::DefaultCode;
    }
}

} // namespace zul

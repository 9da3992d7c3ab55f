#pragma once

#include "dbconfig/DbTypes.h"
#include "platform/Registry.h"
#include "support/Error.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zul {

using namespace Qt::StringLiterals;

class ActivityLog;

// One line of a per-code table: the profile code, its value and the registry value it came
// from, in the order in which the registry enumerated the values. A connection string that
// cannot be decrypted keeps its line, with an empty value and the reason in `problem`: it
// still stands for its code, so that the code neither falls back to another profile nor
// connects with garbage.
struct ProfileLine
{
    QString code;
    QString value;
    QString valueName;
    QString problem;
};

// A profile that cannot be used to connect (its connection string cannot be decrypted, or the
// registry store cannot be read). Whoever connects reports it instead of connecting.
class ProfileError : public Error
{
public:
    using Error::Error;
};

// The database connection profiles of the machine, read once when the process starts from
// HKEY_LOCAL_MACHINE\Software\VORLUND\Sistemas Integrados Vorlund\WebSrv, a key the maker's
// configuration tools share between several programs. Tables are filled by read() and only
// read afterwards, without locking.
class ConnectionProfiles
{
public:
    static constexpr const char* KeyPath = "Software\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv";
    static constexpr const char* ParentKeyPath = "Software\\VORLUND\\Sistemas Integrados Vorlund";
    static inline const QString DefaultCode = u"211"_s;
    static inline const QString DefaultDriverFamily = u"CORELAB"_s;
    // Prefix of the log line (and standard error line) of a value skipped at start-up.
    static inline const QString ErrorPrefix = u"Perfis de conexão - ERRO: "_s;

    // The per-code tables, in the order in which a value name is tested against their prefixes.
    enum class Table { StringConex, UsedDatabase, DBOwner, FTPAddress, FTPUserID, FTPPassword };
    static constexpr std::array AllTables = {Table::StringConex, Table::UsedDatabase, Table::DBOwner,
                                             Table::FTPAddress,  Table::FTPUserID,    Table::FTPPassword};
    static QString prefix(Table table);
    // The table a value name belongs to: the first prefix its upper-cased form contains.
    static std::optional<Table> tableOf(const QString& valueName);
    // The code of a value name of `table`: whatever follows as many characters as the prefix
    // has, "211" when nothing does.
    static QString codeOf(const QString& valueName, Table table);

    // Opens a key under HKEY_LOCAL_MACHINE (backslash path), creating it when asked; null when
    // it cannot be opened.
    using KeyOpener =
        std::function<std::unique_ptr<platform::RegistryKey>(const std::string& path, bool create)>;

    // Fills everything from the registry, replacing what was held. Never throws: a value of
    // the wrong type, or a connection string that cannot be decoded, is reported (the log, if
    // given, and standard error) and skipped; everything else is still read.
    void read(const KeyOpener& open, const ActivityLog* log = nullptr);
    void read(const platform::RegistryStore& store, const ActivityLog* log = nullptr);

    // An empty code stands for the calling thread's code; a code without an entry of its own
    // uses profile "211". The connection string is rewritten to user/password@source for the
    // direct Oracle driver. Throws ProfileError ("cannot decrypt profile N ...") when the
    // profile's string cannot be decrypted, and when the store itself could not be read.
    QString connectString(const QString& code) const;
    // The StringConex line that connectString() uses for `code` (after the fallback to "211"),
    // null when there is none.
    const ProfileLine* connectLine(const QString& code) const;
    QString database(const QString& code) const;
    TXDBType serverType(const QString& code) const;

    QString driverFamily() const { return m_driverFamily; }
    bool pooling() const { return m_pooling == u"1"; }
    qint32 maxPoolSize() const { return m_maxPoolSize; }
    qint32 minPoolSize() const { return m_minPoolSize; }

    // The first line of `table` whose code matches without regard to case; no fallback.
    QString entry(Table table, const QString& code) const;
    const QList<ProfileLine>& lines(Table table) const { return m_tables[index(table)]; }

    // Held for the life of the process; nothing in this program asks for them.
    QString directory(const QString& valueName) const;
    QString exeFileConf() const { return m_exeFileConf; }
    QString setOraSession() const { return m_setOraSession; }
    qint32 maxThreads() const { return m_maxThreads; }
    QString installKind() const { return m_installKind; }
    QString uninstallPath() const { return m_uninstallPath; }

    // The texts reported for the values skipped by the last read(), without the prefix.
    const QStringList& problems() const { return m_problems; }
    // Why the registry store could not be read at all (file, line, what was wrong); empty
    // when it could, or when it does not exist yet.
    const QString& storeProblem() const { return m_storeProblem; }

    // Writes profile `code` the way the readers expect it: "StringConex" + code encrypted and
    // "UsedDatabase" + code. Any other value that reads as the same code of either table is
    // removed, since an earlier one would win the lookup. Returns the names removed; throws
    // Error when the registry refuses a write.
    static QStringList writeProfile(platform::RegistryKey& key, const QString& code, const QString& database,
                                    const QString& connectString);

private:
    static std::size_t index(Table table) { return std::size_t(table); }
    void clear();
    void report(const QString& problem, const ActivityLog* log);
    void readMainKey(platform::RegistryKey& key, const ActivityLog* log);

    std::array<QList<ProfileLine>, 6> m_tables;
    QList<std::pair<QString, QString>> m_directories;
    QString m_driverFamily = u"CORELAB"_s;
    QString m_exeFileConf = u"0"_s;
    QString m_setOraSession = u"1"_s;
    qint32 m_maxThreads = 10;
    QString m_pooling = u"0"_s;
    qint32 m_maxPoolSize = 100;
    qint32 m_minPoolSize = 0;
    QString m_installKind = u"L"_s;
    QString m_uninstallPath;
    QStringList m_problems;
    QString m_storeProblem;
};

// The profiles of this process, filled once by ReadConnectionProfiles during start-up.
ConnectionProfiles& processConnectionProfiles();

void ReadConnectionProfiles(const platform::RegistryStore& store, const ActivityLog* log = nullptr);
QString GetProfileConnectString(const QString& code);
QString GetProfileDatabase(const QString& code);
QString GetDriverFamily();
bool ProfilePooling();
qint32 ProfileMaxPoolSize();
qint32 ProfileMinPoolSize();
TXDBType ServerTypeForProfile(const QString& code);

// Profile codes chosen per thread: one process-wide table guarded by one lock. Threads are
// named by their id (currentThreadProfileId() for the calling one).
quint64 currentThreadProfileId();
void SetThreadProfileCode(quint64 threadId, const QString& code);
void ClearThreadProfileCode(quint64 threadId);
// The code of the thread, empty when it has none.
QString GetThreadProfileCode(quint64 threadId);

} // namespace zul

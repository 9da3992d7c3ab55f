#include "dbconfig/ConnectionProfiles.h"

#include "MemoryRegistry.h"
#include "TempDir.h"
#include "dbconfig/Criptografa.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QFile>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;
using Table = ConnectionProfiles::Table;
using test::MemoryRegistry;

const std::string Main = ConnectionProfiles::KeyPath;
const std::string Parent = ConnectionProfiles::ParentKeyPath;

std::string encrypted(const QString& text)
{
    return EncryptProfileString(toWin1252(text)).toStdString();
}

class Profiles : public ::testing::Test
{
protected:
    void value(const std::string& name, MemoryRegistry::Value v) { registry.set(Main, name, std::move(v)); }
    void profile(const std::string& code, const QString& connect, const std::string& database)
    {
        value("StringConex" + code, encrypted(connect));
        value("UsedDatabase" + code, database);
    }
    const ConnectionProfiles& read(const ActivityLog* log = nullptr)
    {
        profiles.read(registry.opener(), log);
        return profiles;
    }

    MemoryRegistry registry;
    ConnectionProfiles profiles;
};

TEST_F(Profiles, FreshMachineGetsTheKeyAndTheDefaults)
{
    read();
    ASSERT_NE(registry.find(Main), nullptr);
    EXPECT_EQ(registry.find(Parent), nullptr) << "the parent key is never created";
    ASSERT_EQ(registry.find(Main)->values.size(), 1u);
    EXPECT_EQ(registry.find(Main)->values[0].first, "DBConnType");
    EXPECT_EQ(std::get<std::string>(registry.find(Main)->values[0].second), "CORELAB");

    EXPECT_EQ(profiles.driverFamily(), u"CORELAB"_s);
    EXPECT_FALSE(profiles.pooling());
    EXPECT_EQ(profiles.maxPoolSize(), 100);
    EXPECT_EQ(profiles.minPoolSize(), 0);
    EXPECT_EQ(profiles.maxThreads(), 10);
    EXPECT_EQ(profiles.exeFileConf(), u"0"_s);
    EXPECT_EQ(profiles.setOraSession(), u"1"_s);
    EXPECT_EQ(profiles.installKind(), u"L"_s);
    for (const QString& code : {u"211"_s, u"5"_s, QString()}) {
        EXPECT_EQ(profiles.serverType(code), xdtCR_MSSQL);
        EXPECT_EQ(profiles.connectString(code), QString());
    }
    EXPECT_TRUE(profiles.problems().isEmpty());
}

TEST_F(Profiles, UnopenableKeyLeavesDefaultsWithoutError)
{
    registry.readOnly = true;
    read();
    EXPECT_EQ(profiles.driverFamily(), u"CORELAB"_s);
    EXPECT_EQ(profiles.serverType(u"211"_s), xdtCR_MSSQL);
    EXPECT_TRUE(profiles.problems().isEmpty());
}

TEST_F(Profiles, ExistingFamilyIsUpperCasedAndNotRewritten)
{
    value("DBConnType", std::string("corelab"));
    value("UsedDatabase", std::string("ORACLE"));
    read();
    EXPECT_EQ(profiles.driverFamily(), u"CORELAB"_s);
    EXPECT_EQ(std::get<std::string>(*registry.get(Main, "DBConnType")), "corelab");
    EXPECT_EQ(profiles.serverType(u"211"_s), xdtCR_Oracle);
}

TEST_F(Profiles, ProcessWideValues)
{
    value("Pooling", std::uint32_t(1));
    value("MaxPoolSize", std::uint32_t(7));
    value("MinPoolSize", std::uint32_t(2));
    value("MaxThreads", std::uint32_t(3));
    value("ReportDir", std::string("C:\\rel"));
    value("ExeFileDir", std::string("C:\\exe\\"));
    value("FTPRelDir", std::string("/rel"));
    value("FTPExeDir", std::string("/exe/"));
    value("Workdir", std::string(""));
    registry.set(Parent, "ServerInstall", std::uint32_t(1));
    registry.set(Parent, "UninstallPath", std::string("C:\\x"));
    read();
    EXPECT_TRUE(profiles.pooling());
    EXPECT_EQ(profiles.maxPoolSize(), 7);
    EXPECT_EQ(profiles.minPoolSize(), 2);
    EXPECT_EQ(profiles.maxThreads(), 3);
    EXPECT_EQ(profiles.directory(u"ReportDir"_s), u"C:\\rel\\"_s);
    EXPECT_EQ(profiles.directory(u"ExeFileDir"_s), u"C:\\exe\\"_s);
    EXPECT_EQ(profiles.directory(u"FTPRelDir"_s), u"/rel/"_s);
    EXPECT_EQ(profiles.directory(u"FTPExeDir"_s), u"/exe/"_s);
    EXPECT_EQ(profiles.directory(u"Workdir"_s), QString());
    EXPECT_EQ(profiles.installKind(), u"W"_s);
    EXPECT_EQ(profiles.uninstallPath(), u"C:\\x"_s);

    // Pooling is on for exactly 1.
    value("Pooling", std::uint32_t(2));
    read();
    EXPECT_FALSE(profiles.pooling());
}

TEST_F(Profiles, CodesComeFromTheValueNames)
{
    value("StringConex", encrypted(u"first"_s));
    value("StringConex211", encrypted(u"second"_s));
    value("XStringConex42", encrypted(u"inner"_s));
    value("stringconexAb", encrypted(u"lower"_s));
    value("FTPPassword9", std::string("plain"));
    value("DBOwner9", std::string("owner"));
    read();

    const auto& lines = profiles.lines(Table::StringConex);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].code, u"211"_s);
    EXPECT_EQ(lines[1].code, u"211"_s);
    // Whatever follows the first eleven characters, even inside the prefix.
    EXPECT_EQ(lines[2].code, u"x42"_s);
    EXPECT_EQ(profiles.connectString(u"211"_s), u"first"_s) << "the first line enumerated wins";
    EXPECT_EQ(profiles.connectString(u"X42"_s), u"inner"_s);
    EXPECT_EQ(profiles.connectString(u"aB"_s), u"lower"_s) << "codes compare without regard to case";
    EXPECT_EQ(profiles.connectString(u"777"_s), u"first"_s) << "falls back to 211";
    EXPECT_EQ(profiles.entry(Table::FTPPassword, u"9"_s), u"plain"_s);
    EXPECT_EQ(profiles.entry(Table::DBOwner, u"9"_s), u"owner"_s);
}

TEST_F(Profiles, EmptyOwnEntryFallsBackToTheDefaultProfile)
{
    profile("211", u"Data Source=default.db"_s, "SQLITE");
    value("StringConex5", std::string(""));
    value("UsedDatabase5", std::string(""));
    read();
    EXPECT_EQ(profiles.connectString(u"5"_s), u"Data Source=default.db"_s);
    EXPECT_EQ(profiles.database(u"5"_s), u"SQLITE"_s);
}

struct Selection
{
    const char* family; // nothing: DBConnType absent
    const char* database;
    TXDBType type;
};

class ServerTypes : public Profiles, public ::testing::WithParamInterface<Selection>
{
};

TEST_P(ServerTypes, FollowFamilyAndDatabase)
{
    if (GetParam().family)
        value("DBConnType", std::string(GetParam().family));
    if (GetParam().database)
        value("UsedDatabase7", std::string(GetParam().database));
    read();
    EXPECT_EQ(profiles.serverType(u"7"_s), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServerTypes,
    ::testing::Values(
        Selection{"CORELAB", "ORACLE", xdtCR_Oracle}, Selection{nullptr, "ORACLE", xdtCR_Oracle},
        Selection{"CoreLab", "ORACLE", xdtCR_Oracle}, Selection{"CORELAB", "MSSQL", xdtCR_MSSQL},
        Selection{"CORELAB", nullptr, xdtCR_MSSQL}, Selection{"CORELAB", "Oracle", xdtCR_MSSQL},
        Selection{"ADO", "ORACLE", xdtADO_Oracle}, Selection{"ADO", "oracle", xdtADO_MSSQL},
        Selection{"ADO", "SQLSERVER", xdtADO_MSSQL}, Selection{"", "ORACLE", xdtADO_Oracle},
        Selection{"CORELAB", "SQLITE", xdtSQLite}, Selection{"ADO", "SQLITE", xdtSQLite},
        Selection{"CORELAB", "POSTGRESQL", xdtPostgreSQL}, Selection{"ADO", "POSTGRESQL", xdtPostgreSQL},
        Selection{"CORELAB", "sqlite", xdtCR_MSSQL}, Selection{"ADO", "PostgreSQL", xdtADO_MSSQL}));

TEST_F(Profiles, OracleRewriteOnlyForTheDirectOracleDriver)
{
    const QString oleDb = u"provider=OraOLEDB.Oracle;data source=Orcl;PASSWORD=Pw;user id=Zul"_s;
    profile("1", oleDb, "ORACLE");
    profile("2", oleDb, "MSSQL");
    read();
    EXPECT_EQ(profiles.connectString(u"1"_s), u"Zul/Pw@Orcl"_s);
    EXPECT_EQ(profiles.connectString(u"2"_s), oleDb);

    value("DBConnType", std::string("ADO"));
    read();
    EXPECT_EQ(profiles.connectString(u"1"_s), oleDb);
}

TEST_F(Profiles, EmptyCodeUsesTheThreadsCode)
{
    profile("211", u"Data Source=a.db"_s, "SQLITE");
    profile("300", u"Server=h;Database=z"_s, "POSTGRESQL");
    read();
    const quint64 me = currentThreadProfileId();
    EXPECT_EQ(profiles.connectString(QString()), u"Data Source=a.db"_s);

    SetThreadProfileCode(me, u" 300 "_s);
    EXPECT_EQ(GetThreadProfileCode(me), u"300"_s);
    EXPECT_EQ(profiles.connectString(QString()), u"Server=h;Database=z"_s);
    EXPECT_EQ(profiles.serverType(QString()), xdtPostgreSQL);
    EXPECT_EQ(GetThreadProfileCode(me + 1), QString()) << "other threads are not affected";

    SetThreadProfileCode(me, u"211"_s);
    EXPECT_EQ(GetThreadProfileCode(me), u"211"_s) << "a new code replaces the old one";

    ClearThreadProfileCode(me);
    EXPECT_EQ(GetThreadProfileCode(me), QString());
    EXPECT_EQ(profiles.serverType(QString()), xdtSQLite);
}

TEST_F(Profiles, BadValuesAreReportedAndSkipped)
{
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log(clock, dir.path());

    value("StringConex", std::uint32_t(5));                   // wrong type
    value("StringConex211", std::string("not base64!"));      // cannot be decoded
    value("StringConex3", encrypted(u"Data Source=ok.db"_s)); // still read
    value("UsedDatabase3", std::vector<std::uint8_t>{1, 2});  // wrong type
    value("Pooling", std::string("1"));                       // wrong type: keeps the default
    value("DBConnType", std::uint32_t(1));                    // wrong type: keeps the default
    profile("4", u"Data Source=four.db"_s, "SQLITE");

    ::testing::internal::CaptureStderr();
    read(&log);
    const QString errors = QString::fromUtf8(::testing::internal::GetCapturedStderr());

    EXPECT_EQ(profiles.problems().size(), 5);
    EXPECT_EQ(profiles.lines(Table::StringConex).size(), 3);
    EXPECT_THROW(profiles.connectString(u"211"_s), ProfileError);
    EXPECT_EQ(profiles.connectString(u"3"_s), u"Data Source=ok.db"_s);
    EXPECT_EQ(profiles.database(u"3"_s), QString());
    EXPECT_EQ(profiles.serverType(u"4"_s), xdtSQLite);
    EXPECT_FALSE(profiles.pooling());
    EXPECT_EQ(profiles.driverFamily(), u"CORELAB"_s);
    EXPECT_EQ(std::get<std::uint32_t>(*registry.get(Main, "DBConnType")), 1u) << "not overwritten";

    QFile file(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString logged = fromWin1252(file.readAll());
    for (const QString& expected :
         {u"Perfis de conexão - ERRO: Tipo de dado inválido para 'StringConex'"_s,
          u"Perfis de conexão - ERRO: 'StringConex211': cannot decrypt profile 211 (Input is not an valid "
          u"MIME Base "
          u"64 Format.). O perfil não será usado."_s,
          u"Tipo de dado inválido para 'UsedDatabase3'"_s, u"Tipo de dado inválido para 'Pooling'"_s,
          u"Tipo de dado inválido para 'DBConnType'"_s}) {
        EXPECT_TRUE(logged.contains(expected)) << qPrintable(expected);
        EXPECT_TRUE(errors.contains(expected)) << qPrintable(expected);
    }
}

// The cipher has no integrity check: a value written under another key decrypts to bytes
// without complaint. Those bytes must neither reach a driver nor let the code slip to another
// profile.
TEST_F(Profiles, StringThatDecryptsToNonTextIsReportedAndNeverUsed)
{
    profile("211", u"Data Source=default.db"_s, "SQLITE");
    value("StringConex7", EncryptProfileString(QByteArray("Data Source=\x01\x9d", 14)).toStdString());
    value("UsedDatabase7", std::string("SQLITE"));
    ::testing::internal::CaptureStderr();
    read();
    const QString errors = QString::fromUtf8(::testing::internal::GetCapturedStderr());

    EXPECT_TRUE(errors.contains(u"'StringConex7': cannot decrypt profile 7 (o valor decifrado não é texto"_s))
        << qPrintable(errors);
    ASSERT_EQ(profiles.lines(Table::StringConex).size(), 2);
    EXPECT_EQ(profiles.entry(Table::StringConex, u"7"_s), QString());
    try {
        profiles.connectString(u"7"_s);
        ADD_FAILURE() << "a string that is not text was handed out";
    } catch (const ProfileError& error) {
        EXPECT_TRUE(error.message().startsWith(u"cannot decrypt profile 7 ("_s))
            << qPrintable(error.message());
    }
    EXPECT_EQ(profiles.connectString(u"211"_s), u"Data Source=default.db"_s);
    // A code without a string of its own still takes profile 211's.
    EXPECT_EQ(profiles.connectString(u"8"_s), u"Data Source=default.db"_s);
}

TEST(ConnectionStringText, ControlAndUnassignedBytesAreNotText)
{
    for (const QByteArray& text :
         {QByteArray(), QByteArray("Data Source=C:\\zul\\x.db;Password=\"a b\""),
          QByteArray("scott/p\xe1ss\x80@(DESCRIPTION=(HOST=h))"), QByteArray("a\tb")})
        EXPECT_TRUE(IsConnectionStringText(text)) << text.toHex().constData();
    for (const QByteArray& text :
         {QByteArray("a\0b", 3), QByteArray("a\nb"), QByteArray("\x1f"), QByteArray("\x7f"),
          QByteArray("\x81"), QByteArray("\x8d"), QByteArray("\x8f"), QByteArray("\x90"), QByteArray("\x9d")})
        EXPECT_FALSE(IsConnectionStringText(text)) << text.toHex().constData();
}

TEST_F(Profiles, WrittenProfilesReadBackAndReplaceShadowingValues)
{
    value("StringConex", encrypted(u"old"_s)); // code 211, enumerated first
    value("UsedDatabase211", std::string("ORACLE"));
    value("stringconex211", encrypted(u"older"_s));
    value("StringConex5", encrypted(u"five"_s));
    auto key = registry.open(Main, true);
    const QStringList removed =
        ConnectionProfiles::writeProfile(*key, u"211"_s, u"SQLITE"_s, u"Data Source=/tmp/zul.db"_s);
    EXPECT_EQ(removed, (QStringList{u"StringConex"_s, u"stringconex211"_s}));
    read();
    EXPECT_EQ(profiles.connectString(u"211"_s), u"Data Source=/tmp/zul.db"_s);
    EXPECT_EQ(profiles.serverType(u"211"_s), xdtSQLite);
    EXPECT_EQ(profiles.connectString(u"5"_s), u"five"_s);
    EXPECT_EQ(profiles.lines(Table::StringConex).size(), 2);

    registry.readOnly = true;
    EXPECT_THROW(ConnectionProfiles::writeProfile(*key, u"6"_s, u"SQLITE"_s, u"x"_s), Error);
}

TEST(ProfilesFromTheStore, ReadsTheMachinesRegistryFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "the registry is a .reg text file on Linux only; Windows has its own registry";
#endif
    test::TempDir dir;
    const QString file = dir.file(u"machine.reg"_s);
    {
        QFile reg(file);
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
        reg.write(
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv]\r\n"
            "\"StringConex211\"=\"" +
            EncryptProfileString("Data Source=/srv/zul.db") +
            "\"\r\n"
            "\"UsedDatabase211\"=\"SQLITE\"\r\n"
            "\"MaxPoolSize\"=dword:00000020\r\n\r\n");
    }
    const platform::RegistryStore store{QFile::encodeName(file).toStdString()};
    ReadConnectionProfiles(store);
    EXPECT_EQ(GetProfileConnectString(QString()), u"Data Source=/srv/zul.db"_s);
    EXPECT_EQ(ServerTypeForProfile(u"9"_s), xdtSQLite);
    EXPECT_EQ(ProfileMaxPoolSize(), 32);
    EXPECT_EQ(GetDriverFamily(), u"CORELAB"_s);

    // The default family was written back where the other programs of the machine look.
    const auto key = platform::openLocalMachineKey(store, ConnectionProfiles::KeyPath, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("DBConnType"), std::optional<std::string>("CORELAB"));
}

// A store that cannot be parsed is named plainly, once at start-up and to whoever connects,
// instead of surfacing as a driver's error about an empty connection string.
TEST(ProfilesFromTheStore, UnreadableStoreIsNamedWithItsLine)
{
#ifdef _WIN32
    GTEST_SKIP() << "the registry is a .reg text file on Linux only; Windows has its own registry";
#endif
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log(clock, dir.path());
    const QString file = dir.file(u"machine.reg"_s);
    const QByteArray content = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VORLUND\\Sistemas Integrados "
                               "Vorlund\\WebSrv]\r\n\"UsedDatabase211\"=\"SQL";
    {
        QFile reg(file);
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
        reg.write(content);
    }
    ConnectionProfiles profiles;
    ::testing::internal::CaptureStderr();
    profiles.read(platform::RegistryStore{QFile::encodeName(file).toStdString()}, &log);
    ::testing::internal::GetCapturedStderr();

    const QString expected = u"arquivo de registro "_s + file + u", linha 4: texto sem as aspas finais"_s;
    EXPECT_TRUE(profiles.storeProblem().startsWith(expected)) << qPrintable(profiles.storeProblem());
    EXPECT_THROW(profiles.connectString(u"211"_s), ProfileError);
    QFile logFile(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(fromWin1252(logFile.readAll()).contains(u"Perfis de conexão - ERRO: "_s + expected));
    QFile reg(file);
    ASSERT_TRUE(reg.open(QIODevice::ReadOnly));
    EXPECT_EQ(reg.readAll(), content) << "the reader never rewrites what it could not read";
}

} // namespace
} // namespace zul

// zul-admin's profile commands, run as the administrator runs them: the built program against
// a registry file of the test's own.
#include "TempDir.h"
#include "dbconfig/ConnectionProfiles.h"
#include "dbconfig/Criptografa.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

struct AdminRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class ZulAdminProfile : public ::testing::Test
{
protected:
    AdminRun admin(const QStringList& args)
    {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/zul-admin"_s,
                      QStringList{u"--registry"_s, registryFile} + args);
        EXPECT_TRUE(process.waitForFinished(30000)) << qPrintable(args.join(u' '));
        return AdminRun{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                        QString::fromUtf8(process.readAllStandardError())};
    }
    void set(const QString& code, const QString& kind, const QString& connect)
    {
        const AdminRun r =
            admin({u"profile"_s, u"set"_s, code, u"--database"_s, kind, u"--connect"_s, connect});
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    }
    // The profile the manager uses, as stored (the machine's registry on Windows, the file
    // elsewhere).
    std::optional<std::string> profileInUse() const
    {
        const auto key = platform::openLocalMachineKey(
            platform::RegistryStore{QFile::encodeName(registryFile).toStdString()},
            ConnectionProfiles::KeyPath, false);
        return key ? key->readString("PortaADOCatraca") : std::nullopt;
    }
    QByteArray registryText() const
    {
        QFile file(registryFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    test::TempDir dir;
    QString registryFile = dir.file(u"machine.reg"_s);
};

// The direct Oracle form built from a TNS descriptor is full of "=": every password stays
// hidden in both the stored string and the form the manager connects with.
TEST_F(ZulAdminProfile, ShowHidesThePasswordOfEveryForm)
{
    const QString descriptor = u"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=db)(PORT=1521))"
                               u"(CONNECT_DATA=(SERVICE_NAME=zul)))"_s;
    set(u"211"_s, u"ORACLE"_s,
        u"Provider=OraOLEDB.Oracle;Data Source="_s + descriptor + u";User ID=zul;Password=se=gr@do"_s);
    set(u"5"_s, u"POSTGRESQL"_s, u"Server=h;Database=zul;User ID=zul;PWD={a;b}"_s);

    const AdminRun r = admin({u"profile"_s, u"show"_s});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_FALSE(r.out.contains(u"gr@do"_s)) << qPrintable(r.out);
    EXPECT_FALSE(r.out.contains(u"a;b"_s)) << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(u"used as:        zul/****@"_s + descriptor)) << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(u"Password=****"_s)) << qPrintable(r.out);
}

// The manager's server type always comes from profile 211; a profile of another kind is
// refused unless the administrator insists.
TEST_F(ZulAdminProfile, UseRefusesAnotherDatabaseKindWithoutForce)
{
    set(u"211"_s, u"SQLITE"_s, u"Data Source=/srv/zul.db"_s);
    set(u"5"_s, u"POSTGRESQL"_s, u"Server=h;Database=zul;User ID=zul;Password=x"_s);
    set(u"6"_s, u"SQLITE"_s, u"Data Source=/srv/other.db"_s);

    AdminRun r = admin({u"profile"_s, u"use"_s, u"5"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"warning: profile 5 is UsedDatabase POSTGRESQL (xdtPostgreSQL)"_s))
        << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(u"--force"_s));
    EXPECT_EQ(profileInUse(), std::nullopt);

    r = admin({u"profile"_s, u"use"_s, u"6"_s});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.err, QString());
    EXPECT_EQ(profileInUse(), "6");

    r = admin({u"profile"_s, u"use"_s, u"5"_s, u"--force"_s});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(u"warning: profile 5"_s));
    EXPECT_EQ(profileInUse(), "5");
}

TEST_F(ZulAdminProfile, UnparsableRegistryIsNamedAndNeverWritten)
{
#ifdef _WIN32
    GTEST_SKIP() << "the Windows registry is no file that can be cut short";
#endif
    set(u"211"_s, u"SQLITE"_s, u"Data Source=/srv/zul.db"_s);
    // Cut in the middle of the encrypted string, as a full disk or a bad copy leaves it.
    QByteArray text = registryText();
    text.truncate(text.indexOf("StringConex211") + 20);
    {
        QFile file(registryFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    const qsizetype line = text.count('\n') + 1;
    const QString problem = u"arquivo de registro %1, linha %2: "_s.arg(registryFile).arg(line);

    AdminRun r = admin({u"profile"_s, u"show"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(problem)) << qPrintable(r.out);
    r = admin({u"profile"_s, u"use"_s, u"211"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(problem)) << qPrintable(r.err);
    r = admin(
        {u"profile"_s, u"set"_s, u"7"_s, u"--database"_s, u"SQLITE"_s, u"--connect"_s, u"Data Source=x"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(problem)) << qPrintable(r.err);
    EXPECT_EQ(registryText(), text);
}

TEST_F(ZulAdminProfile, ShowNamesAProfileThatCannotBeDecrypted)
{
    set(u"211"_s, u"SQLITE"_s, u"Data Source=/srv/zul.db"_s);
    {
        const auto key = platform::openLocalMachineKey(
            platform::RegistryStore{QFile::encodeName(registryFile).toStdString()},
            ConnectionProfiles::KeyPath, false);
        ASSERT_TRUE(key);
        ASSERT_TRUE(
            key->writeString("StringConex7", EncryptProfileString(QByteArray("\x01\x02\x03")).toStdString()));
    }
    const AdminRun r = admin({u"profile"_s, u"show"_s, u"7"_s});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains(u"connect string: (cannot be used: cannot decrypt profile 7"_s))
        << qPrintable(r.out);
    EXPECT_TRUE(r.err.contains(u"cannot decrypt profile 7"_s)) << qPrintable(r.err);
}

} // namespace
} // namespace zul

#include "DbBackend.h"
#include "db/Statements.h"
#include "db/XFields.h"

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

int count(TXConnection& c, const QString& sql)
{
    TXQuery q;
    q.SetConnection(&c);
    q.SetSQL(sql);
    q.Open();
    return q.FieldByName(u"N"_s)->AsInteger();
}

void checkDemo(TXConnection& c)
{
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA"_s), 10);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA WHERE IDACESSOCATRACA = 'N'"_s), 1);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA WHERE CDFUNC IS NULL"_s), 3);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM BATIDAPONTO"_s), 3);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM DIGITALCATRACA"_s), 6);

    // The 20-character badge name without a blank shows empty.
    TXQuery pessoa;
    pessoa.SetConnection(&c);
    pessoa.SetSQL(db::StatementText(db::StatementId::Pessoa, c.Dialect()));
    pessoa.ParamByName(u"P_NRPESSOA"_s).SetAsString(u"0000000004"_s);
    pessoa.Open();
    ASSERT_FALSE(pessoa.IsEmpty());
    EXPECT_EQ(pessoa.FieldByName(u"NMCRACHAPESSOA"_s)->AsString(), QString());

    TXQuery templ;
    templ.SetConnection(&c);
    templ.SetSQL(u"SELECT NRPESSOA, TXDIGITALCATRAC FROM DIGITALCATRACA"_s);
    for (templ.Open(); !templ.Eof(); templ.Next()) {
        const QByteArray record = templ.FieldByName(u"TXDIGITALCATRAC"_s)->AsBytes();
        ASSERT_EQ(record.size(), 844);
        EXPECT_EQ(QString::fromLatin1(record.mid(1, 10)), templ.FieldByName(u"NRPESSOA"_s)->AsString());
    }
}

} // namespace

TEST(ZulAdminDb, InitCreatesASqliteDatabaseWithDemonstrationData)
{
    test::TempDir dir;
    const QString file = dir.file(u"demo.db"_s);
    ASSERT_EQ(runDbCommand({u"db"_s, u"init"_s, u"--sqlite"_s, file, u"--demo"_s}), 0);
    TXConnection c;
    c.ChangeServerType(xdtSQLite);
    c.SetConnectString(u"Data Source="_s + file);
    c.SetConnected(true);
    checkDemo(c);
    // A second init finds the tables there and fails instead of mixing data.
    EXPECT_EQ(runDbCommand({u"init"_s, u"--sqlite"_s, file}), 1);
}

TEST(ZulAdminDb, BadUsageIsRefused)
{
    EXPECT_EQ(runDbCommand({u"db"_s}), 2);
    EXPECT_EQ(runDbCommand({u"db"_s, u"init"_s}), 2);
    EXPECT_EQ(runDbCommand({u"db"_s, u"init"_s, u"--sqlite"_s}), 2);
    EXPECT_EQ(runDbCommand({u"db"_s, u"init"_s, u"--sqlite"_s, u"a"_s, u"--postgres"_s, u"b"_s}), 2);
}

TEST(ZulAdminDb, InitCreatesAPostgresDatabaseWithDemonstrationData)
{
    if (const char* why = test::postgreSqlUnavailable())
        GTEST_SKIP() << why;
    const QString database = u"zt_admin_%1"_s.arg(QCoreApplication::applicationPid());
    TXConnection server;
    server.ChangeServerType(xdtPostgreSQL);
    server.SetConnectString(test::pgKeys());
    server.SetConnected(true);
    TXCommand ddl;
    ddl.SetParamCheck(false);
    ddl.SetConnection(&server);
    ddl.SetSQL(u"DROP DATABASE IF EXISTS "_s + database);
    ddl.Execute();
    ddl.SetSQL(u"CREATE DATABASE "_s + database);
    ddl.Execute();
    const QString target = test::pgKeys().replace(qEnvironmentVariable("ZUL_TEST_PG_DB"), database);
    {
        ASSERT_EQ(runDbCommand({u"db"_s, u"init"_s, u"--postgres"_s, target, u"--demo"_s}), 0);
        TXConnection c;
        c.ChangeServerType(xdtPostgreSQL);
        c.SetConnectString(target);
        c.SetConnected(true);
        checkDemo(c);
    }
    ddl.SetSQL(u"DROP DATABASE "_s + database);
    ddl.Execute();
}

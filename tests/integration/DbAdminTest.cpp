#include "DbBackend.h"
#include "db/Statements.h"
#include "db/XFields.h"

using namespace zul;

namespace {

int count(TXConnection& c, const QString& sql)
{
    TXQuery q;
    q.SetConnection(&c);
    q.SetSQL(sql);
    q.Open();
    return q.FieldByName(u"N"_qs)->AsInteger();
}

void checkDemo(TXConnection& c)
{
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA"_qs), 10);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA WHERE IDACESSOCATRACA = 'N'"_qs), 1);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM PESSOA WHERE CDFUNC IS NULL"_qs), 3);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM BATIDAPONTO"_qs), 3);
    EXPECT_GE(count(c, u"SELECT COUNT(*) AS N FROM DIGITALCATRACA"_qs), 6);

    // The 20-character badge name without a blank shows empty.
    TXQuery pessoa;
    pessoa.SetConnection(&c);
    pessoa.SetSQL(db::StatementText(db::StatementId::Pessoa, c.Dialect()));
    pessoa.ParamByName(u"P_NRPESSOA"_qs).SetAsString(u"0000000004"_qs);
    pessoa.Open();
    ASSERT_FALSE(pessoa.IsEmpty());
    EXPECT_EQ(pessoa.FieldByName(u"NMCRACHAPESSOA"_qs)->AsString(), QString());

    TXQuery templ;
    templ.SetConnection(&c);
    templ.SetSQL(u"SELECT NRPESSOA, TXDIGITALCATRAC FROM DIGITALCATRACA"_qs);
    for (templ.Open(); !templ.Eof(); templ.Next()) {
        const QByteArray record = templ.FieldByName(u"TXDIGITALCATRAC"_qs)->AsBytes();
        ASSERT_EQ(record.size(), 844);
        EXPECT_EQ(QString::fromLatin1(record.mid(1, 10)), templ.FieldByName(u"NRPESSOA"_qs)->AsString());
    }
}

} // namespace

TEST(ZulAdminDb, InitCreatesASqliteDatabaseWithDemonstrationData)
{
    test::TempDir dir;
    const QString file = dir.file(u"demo.db"_qs);
    ASSERT_EQ(runDbCommand({u"db"_qs, u"init"_qs, u"--sqlite"_qs, file, u"--demo"_qs}), 0);
    TXConnection c;
    c.ChangeServerType(xdtSQLite);
    c.SetConnectString(u"Data Source="_qs + file);
    c.SetConnected(true);
    checkDemo(c);
    // A second init finds the tables there and fails instead of mixing data.
    EXPECT_EQ(runDbCommand({u"init"_qs, u"--sqlite"_qs, file}), 1);
}

TEST(ZulAdminDb, BadUsageIsRefused)
{
    EXPECT_EQ(runDbCommand({u"db"_qs}), 2);
    EXPECT_EQ(runDbCommand({u"db"_qs, u"init"_qs}), 2);
    EXPECT_EQ(runDbCommand({u"db"_qs, u"init"_qs, u"--sqlite"_qs}), 2);
    EXPECT_EQ(runDbCommand({u"db"_qs, u"init"_qs, u"--sqlite"_qs, u"a"_qs, u"--postgres"_qs, u"b"_qs}), 2);
}

TEST(ZulAdminDb, InitCreatesAPostgresDatabaseWithDemonstrationData)
{
    if (const char* why = test::postgreSqlUnavailable())
        GTEST_SKIP() << why;
    const QString database = u"zt_admin_%1"_qs.arg(QCoreApplication::applicationPid());
    TXConnection server;
    server.ChangeServerType(xdtPostgreSQL);
    server.SetConnectString(test::pgKeys());
    server.SetConnected(true);
    TXCommand ddl;
    ddl.SetParamCheck(false);
    ddl.SetConnection(&server);
    ddl.SetSQL(u"DROP DATABASE IF EXISTS "_qs + database);
    ddl.Execute();
    ddl.SetSQL(u"CREATE DATABASE "_qs + database);
    ddl.Execute();
    const QString target = test::pgKeys().replace(qEnvironmentVariable("ZUL_TEST_PG_DB"), database);
    {
        ASSERT_EQ(runDbCommand({u"db"_qs, u"init"_qs, u"--postgres"_qs, target, u"--demo"_qs}), 0);
        TXConnection c;
        c.ChangeServerType(xdtPostgreSQL);
        c.SetConnectString(target);
        c.SetConnected(true);
        checkDemo(c);
    }
    ddl.SetSQL(u"DROP DATABASE "_qs + database);
    ddl.Execute();
}

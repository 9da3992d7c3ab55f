#include "db/DriverFamily.h"

#include "db/SqlText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace zul;
using namespace zul::db;

TEST(SqlText, NamedPlaceholdersBecomePositionalOutsideQuotesAndComments)
{
    const PositionalSql p = ToPositional(
        u"SELECT ':NOTME', \"A:B\", x::text FROM T -- :NOR_ME\nWHERE A = :P_A /* :NO */ AND B = :p_b AND C = :P_a"_s);
    EXPECT_EQ(
        p.text,
        u"SELECT ':NOTME', \"A:B\", x::text FROM T -- :NOR_ME\nWHERE A = ? /* :NO */ AND B = ? AND C = ?"_s);
    EXPECT_EQ(p.occurrences, (QStringList{u"P_A"_s, u"p_b"_s, u"P_a"_s}));
    // One parameter per name, whatever the letter case of its other uses.
    EXPECT_EQ(p.names, (QStringList{u"P_A"_s, u"p_b"_s}));
}

TEST(SqlText, ConcatenationAndTimeLiteralsAreNotPlaceholders)
{
    const PositionalSql p = ToPositional(u"SELECT NM||' ' FROM T WHERE H = '10:30' AND N = :N"_s);
    EXPECT_EQ(p.names, QStringList{u"N"_s});
}

TEST(ConnectString, PairsKeepOrderTrimKeysAndUnquoteValues)
{
    const auto pairs = ParseConnectString(
        u"Provider=SQLOLEDB.1; Password=\"a;b\"\"c\" ;User ID=sa;Driver={X {y}} z};junk;Data Source=srv"_s);
    ASSERT_EQ(pairs.size(), 5);
    EXPECT_EQ(pairs[1].first, u"Password"_s);
    EXPECT_EQ(pairs[1].second, u"a;b\"c"_s);
    EXPECT_EQ(pairs[3].second, u"X {y} z"_s);
    EXPECT_EQ(ConnectStringValue(pairs, u"data source"_s), u"srv"_s);
}

struct OdbcCase
{
    TXDBType type;
    const char16_t* oleDb;
    const char16_t* odbc;
};

class OleDbToOdbcTest : public ::testing::TestWithParam<OdbcCase>
{
};

TEST_P(OleDbToOdbcTest, Translates)
{
    qputenv("ZUL_MSSQL_ODBC_DRIVER", "ODBC Driver 18 for SQL Server");
    qputenv("ZUL_ORACLE_ODBC_DRIVER", "Oracle 19");
    EXPECT_EQ(OleDbToOdbc(QString::fromUtf16(GetParam().oleDb), GetParam().type),
              QString::fromUtf16(GetParam().odbc));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, OleDbToOdbcTest,
    ::testing::Values(
        OdbcCase{xdtADO_MSSQL,
                 u"Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=x;Initial "
                 u"Catalog=RH;Data Source=srv\\inst",
                 u"DRIVER={ODBC Driver 18 for SQL Server};UID=sa;PWD=x;DATABASE=RH;SERVER=srv\\inst"},
        OdbcCase{xdtADO_Oracle, u"Provider=OraOLEDB.Oracle.1;Password=p;User ID=u;Data Source=ORCL",
                 u"DRIVER={Oracle 19};PWD=p;UID=u;DBQ=ORCL"},
        // Without a provider the family decides.
        OdbcCase{xdtADO_Oracle, u"User ID=u;Data Source=ORCL", u"DRIVER={Oracle 19};UID=u;DBQ=ORCL"},
        OdbcCase{xdtADO_MSSQL, u"Provider=SQLNCLI11;Integrated Security=SSPI;Data Source=srv",
                 u"DRIVER={ODBC Driver 18 for SQL Server};Trusted_Connection=yes;SERVER=srv"},
        // OLE DB over ODBC keeps the driver and its own keys.
        OdbcCase{xdtADO_MSSQL,
                 u"Provider=MSDASQL.1;Driver={PostgreSQL "
                 u"Unicode};Server=127.0.0.1;Port=5432;Database=zul;User ID=pg;Password=a;b",
                 u"DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;Database=zul;UID=pg;PWD=a"},
        OdbcCase{xdtADO_MSSQL, u"Provider=MSDASQL;Data Source=ZulDsn;Password={p;w}",
                 u"DSN=ZulDsn;PWD={p;w}"},
        OdbcCase{xdtADO_MSSQL, u"Provider=MSDASQL;Extended Properties=\"DSN=X;UID=u\"", u"DSN=X;UID=u"}));

TEST(OracleDirect, UserPasswordAndDataSource)
{
    const OracleLogin login = ParseOracleConnectString(u"Scott/Ti@ger@ORCL"_s);
    EXPECT_EQ(login.user, u"Scott"_s);
    EXPECT_EQ(login.password, u"Ti@ger"_s);
    EXPECT_EQ(login.dataSource, u"ORCL"_s);
    const OracleLogin empty = ParseOracleConnectString(u"/@"_s);
    EXPECT_TRUE(empty.user.isEmpty() && empty.password.isEmpty() && empty.dataSource.isEmpty());
}

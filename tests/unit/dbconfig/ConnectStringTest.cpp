#include "dbconfig/ConnectString.h"

#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

struct Rewrite
{
    const char16_t* oleDb;
    const char16_t* direct;
};

class OracleRewrite : public ::testing::TestWithParam<Rewrite>
{
};

TEST_P(OracleRewrite, KeepsUserPasswordAndSourceOnly)
{
    EXPECT_EQ(oracleDirectConnectString(QString::fromUtf16(GetParam().oleDb)),
              QString::fromUtf16(GetParam().direct));
}

INSTANTIATE_TEST_SUITE_P(
    AnyOrderAndCase, OracleRewrite,
    ::testing::Values(
        Rewrite{u"Provider=OraOLEDB.Oracle;Password=Segredo;User ID=Zul;Data Source=ORCL",
                u"Zul/Segredo@ORCL"},
        Rewrite{u"data source=Prod.World;PERSIST SECURITY INFO=True;user id=app;password=pW;Provider=MSDAORA",
                u"app/pW@Prod.World"},
        Rewrite{u"USER ID=u;Data Source=ds;pAsSwOrD=p", u"u/p@ds"},
        Rewrite{u"User ID=u;Data Source=ds", u"u/@ds"}, Rewrite{u"Provider=MSDAORA", u"/@"},
        Rewrite{u"", u"/@"},
        // Values keep what they hold up to the next ";", blanks and accents included.
        Rewrite{u"User ID= José ;Password=a=b;Data Source=host:1521/svc", u" José /a=b@host:1521/svc"}));

TEST(ConnectStringValue, FindsTheFirstKeyWithoutRegardToCase)
{
    EXPECT_EQ(connectStringValue(u"a=1;B=2;b=3"_s, u"b="), u"2"_s);
    EXPECT_EQ(connectStringValue(u"a=1"_s, u"B="), QString());
    // Positions stay aligned even where full upper-casing would change the length.
    EXPECT_EQ(connectStringValue(u"Straße=x;Password=p"_s, u"PASSWORD="), u"p"_s);
}

struct Masking
{
    const char16_t* plain;
    const char16_t* masked;
};

class PasswordMask : public ::testing::TestWithParam<Masking>
{
};

TEST_P(PasswordMask, HidesEveryPassword)
{
    EXPECT_EQ(maskConnectStringPasswords(QString::fromUtf16(GetParam().plain)),
              QString::fromUtf16(GetParam().masked));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PasswordMask,
    ::testing::Values(Masking{u"Server=h;Port=5432;Database=zul;User ID=zul;Password=s3cr3t",
                              u"Server=h;Port=5432;Database=zul;User ID=zul;Password=****"},
                      Masking{u"DRIVER={PostgreSQL};PWD=abc;UID=x", u"DRIVER={PostgreSQL};PWD=****;UID=x"},
                      Masking{u"password=a;PaSsWoRd=b;pwd=c;", u"password=****;PaSsWoRd=****;pwd=****;"},
                      Masking{u"Jet OLEDB:Database Password=x;Data Source=f",
                              u"Jet OLEDB:Database Password=****;Data Source=f"},
                      Masking{u"Pwd={a;b};User=u", u"Pwd=****;User=u"},
                      Masking{u"Password=\"a;b\";User=u", u"Password=****;User=u"},
                      Masking{u"Password=;User=u", u"Password=;User=u"},
                      Masking{u"zul/segredo@ORCL", u"zul/****@ORCL"},
                      Masking{u"zul/segredo@(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=db)(PORT=1521))"
                              u"(CONNECT_DATA=(SERVICE_NAME=zul)))",
                              u"zul/****@(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=db)(PORT=1521))"
                              u"(CONNECT_DATA=(SERVICE_NAME=zul)))"},
                      Masking{u"zul/se=gr;e@do@ORCL", u"zul/****@ORCL"},
                      Masking{u"zul/p(a@ss@//db:1521/zul", u"zul/****@//db:1521/zul"},
                      Masking{u"zul/s@cret@(DESCRIPTION=(ADDRESS=(HOST=a@b)))",
                              u"zul/****@(DESCRIPTION=(ADDRESS=(HOST=a@b)))"},
                      Masking{u"/@ORCL", u"/@ORCL"}, Masking{u"zul/segredo", u"zul/****"},
                      Masking{u"Data Source=/var/lib/zul.db", u"Data Source=/var/lib/zul.db"}));

} // namespace
} // namespace zul

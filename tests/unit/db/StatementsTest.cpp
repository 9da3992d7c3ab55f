#include "db/Statements.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace zul::db;

namespace {

QString normalised(const QStringList& lines)
{
    return lines.join(u' ').simplified();
}

const QString badge =
    u"(CASE LENGTH(PE.NMCRACHAPESSOA) WHEN 17 THEN SUBSTR(PE.NMCRACHAPESSOA, 1, "
    u"INSTR(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' ')) WHEN 18 THEN SUBSTR(PE.NMCRACHAPESSOA, 1, "
    u"INSTR(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' ')) WHEN 19 THEN SUBSTR(PE.NMCRACHAPESSOA, 1, "
    u"INSTR(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' ')) WHEN 20 THEN SUBSTR(PE.NMCRACHAPESSOA, 1, "
    u"INSTR(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' ')) ELSE PE.NMCRACHAPESSOA END) AS NMCRACHAPESSOA"_s;

} // namespace

// The Oracle texts are the ones the central database has always been queried with.
TEST(Statements, OracleTextsAreTheReferenceTexts)
{
    EXPECT_EQ(normalised(StatementText(StatementId::Pessoa, SqlDialect::Oracle)),
              u"SELECT PE.CDFUNC, PE.CDEMPRESA, "_s + badge +
                  u" FROM PESSOA PE WHERE NRPESSOA = :P_NRPESSOA"_s);
    EXPECT_EQ(
        normalised(StatementText(StatementId::Sentido, SqlDialect::Oracle)),
        u"SELECT RC.IDREGISCATRACA, "_s + badge +
            u" FROM REGISCATRACA RC, PESSOA PE WHERE PE.NRPESSOA = RC.NRPESSOA AND RC.NRPESSOA = :P_NRPESSOA "
            u"AND RC.DTREGISCATRACA = (SELECT MAX(DTREGISCATRACA) DTREGISCATRACA FROM REGISCATRACA WHERE "
            u"NRPESSOA = :P_NRPESSOA2)"_s);
    EXPECT_EQ(normalised(StatementText(StatementId::BatidaPonto, SqlDialect::Oracle)),
              u"SELECT BT.IDSENTBATIDA FROM BATIDAPONTO BT WHERE BT.CDFUNC = :P_CDFUNC AND BT.CDEMPRESA = "
              u":P_CDEMPRESA "
              u"AND BT.DTBATIDAPTO = (SELECT MAX(DTBATIDAPTO) DTBATIDAPTO FROM BATIDAPONTO WHERE CDFUNC = "
              u":P_CDFUNC2 "
              u"AND CDEMPRESA = :P_CDEMPRESA2)"_s);
    EXPECT_EQ(normalised(StatementText(StatementId::HoraServ, SqlDialect::Oracle)),
              u"SELECT SYSDATE AS HORAATUAL FROM DUAL"_s);
    EXPECT_EQ(normalised(StatementText(StatementId::Registro, SqlDialect::Oracle)),
              u"INSERT INTO REGISCATRACA ( NRPESSOA, IDREGISCATRACA, DTREGISCATRACA ) VALUES (:NRPESSOA, "
              u":IDREGISCATRACA, SYSDATE)"_s);
    EXPECT_EQ(
        StatementText(StatementId::TemplatesAll, SqlDialect::Oracle),
        (QStringList{u"SELECT PE.NRPESSOA, DC.TXDIGITALCATRAC"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                     u"WHERE  PE.NRPESSOA      =    DC.NRPESSOA"_s, u" AND PE.IDACESSOCATRACA = 'S'"_s}));
    EXPECT_EQ(
        StatementText(StatementId::Templates, SqlDialect::Oracle),
        (QStringList{u"SELECT PE.NRPESSOA, DC.TXDIGITALCATRAC"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                     u"WHERE  INSTR(:P_NRPESSOA, PE.NRPESSOA) <> 0"_s,
                     u"  AND  PE.NRPESSOA      =    DC.NRPESSOA"_s, u" AND IDACESSOCATRACA = 'S'"_s}));
}

TEST(Statements, SqlServerTextsUseItsFunctions)
{
    const QString pessoa = normalised(StatementText(StatementId::Pessoa, SqlDialect::SqlServer));
    EXPECT_TRUE(pessoa.contains(u"CHARINDEX(' ', SUBSTRING(PE.NMCRACHAPESSOA + ' ', 1, 20))"_s));
    EXPECT_FALSE(pessoa.contains(u"||"_s));
    // Whole seconds, as the journal's duplicate test compares them.
    const QString now = u"CONVERT(DATETIME, CONVERT(VARCHAR(19), GETDATE(), 120), 120)"_s;
    EXPECT_EQ(normalised(StatementText(StatementId::HoraServ, SqlDialect::SqlServer)),
              u"SELECT "_s + now + u" AS HORAATUAL"_s);
    EXPECT_EQ(normalised(StatementText(StatementId::Registro, SqlDialect::SqlServer)),
              u"INSERT INTO REGISCATRACA ( NRPESSOA, IDREGISCATRACA, DTREGISCATRACA ) VALUES (:NRPESSOA, "
              u":IDREGISCATRACA, "_s +
                  now + u')');
    EXPECT_TRUE(normalised(StatementText(StatementId::Templates, SqlDialect::SqlServer))
                    .contains(u"CHARINDEX(PE.NRPESSOA, :P_NRPESSOA) <> 0"_s));
}

// A journaled passage carries its own time; the text turns it into the dialect's date type and
// skips the row when it is already there.
TEST(Statements, PendingPassageIsWrittenAtItsOwnTimeOnlyOnce)
{
    EXPECT_EQ(
        normalised(StatementText(StatementId::RegistroPendente, SqlDialect::Oracle)),
        u"INSERT INTO REGISCATRACA ( NRPESSOA, IDREGISCATRACA, DTREGISCATRACA ) SELECT :NRPESSOA, "
        u":IDREGISCATRACA, TO_DATE(:DTREGISCATRACA, 'YYYY-MM-DD HH24:MI:SS') FROM DUAL WHERE NOT EXISTS "
        u"(SELECT 1 FROM REGISCATRACA WHERE NRPESSOA = :NRPESSOA AND IDREGISCATRACA = :IDREGISCATRACA "
        u"AND DTREGISCATRACA = TO_DATE(:DTREGISCATRACA, 'YYYY-MM-DD HH24:MI:SS'))"_s);
    const struct
    {
        SqlDialect dialect;
        const char16_t* stamp;
    } dialects[] = {
        {SqlDialect::SqlServer, u"CONVERT(DATETIME, :DTREGISCATRACA, 120)"},
        {SqlDialect::SQLite, u"DATETIME(:DTREGISCATRACA)"},
        {SqlDialect::PostgreSQL, u"CAST(:DTREGISCATRACA AS TIMESTAMP)"},
    };
    for (const auto& d : dialects) {
        const QString text = normalised(StatementText(StatementId::RegistroPendente, d.dialect));
        EXPECT_EQ(text.count(QString::fromUtf16(d.stamp)), 2) << text.toStdString();
        EXPECT_FALSE(text.contains(u"DUAL"_s)) << text.toStdString();
    }
}

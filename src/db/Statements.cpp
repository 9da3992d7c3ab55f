#include "db/Statements.h"

using namespace Qt::StringLiterals;

namespace zul::db {

namespace {

// Badge names of 17 to 20 characters shortened to their first word, blank included.
QString badgeName(SqlDialect dialect)
{
    QString length;
    QString cut;
    switch (dialect) {
    case SqlDialect::Oracle:
    case SqlDialect::SQLite:
        length = u"LENGTH(PE.NMCRACHAPESSOA)"_s;
        cut = u"SUBSTR(PE.NMCRACHAPESSOA, 1, INSTR(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' '))"_s;
        break;
    case SqlDialect::PostgreSQL:
        length = u"LENGTH(PE.NMCRACHAPESSOA)"_s;
        cut = u"SUBSTR(PE.NMCRACHAPESSOA, 1, STRPOS(SUBSTR(PE.NMCRACHAPESSOA||' ', 1, 20), ' '))"_s;
        break;
    case SqlDialect::SqlServer:
        // LEN ignores trailing blanks; the appended dot makes them count as in the others.
        length = u"LEN(PE.NMCRACHAPESSOA + '.') - 1"_s;
        cut = u"SUBSTRING(PE.NMCRACHAPESSOA, 1, CHARINDEX(' ', SUBSTRING(PE.NMCRACHAPESSOA + ' ', 1, 20)))"_s;
        break;
    }
    QString text = u"(CASE "_s + length;
    for (int n = 17; n <= 20; ++n)
        text += u" WHEN "_s + QString::number(n) + u" THEN "_s + cut;
    return text + u" ELSE PE.NMCRACHAPESSOA END) AS NMCRACHAPESSOA"_s;
}

QString serverNow(SqlDialect dialect)
{
    switch (dialect) {
    case SqlDialect::Oracle:
        return u"SYSDATE"_s;
    case SqlDialect::SqlServer:
        // GETDATE() carries milliseconds: cut to the second, as the other products store it, so
        // that a passage written again from the journal finds its own row.
        return u"CONVERT(DATETIME, CONVERT(VARCHAR(19), GETDATE(), 120), 120)"_s;
    case SqlDialect::SQLite:
        // Stored as text, local time to the second, in the form the schema's dates use.
        return u"DATETIME('now', 'localtime')"_s;
    case SqlDialect::PostgreSQL:
        return u"LOCALTIMESTAMP(0)"_s;
    }
    return {};
}

QString contains(SqlDialect dialect, const QString& haystack, const QString& needle)
{
    switch (dialect) {
    case SqlDialect::Oracle:
    case SqlDialect::SQLite:
        return u"INSTR("_s + haystack + u", "_s + needle + u')';
    case SqlDialect::SqlServer:
        return u"CHARINDEX("_s + needle + u", "_s + haystack + u')';
    case SqlDialect::PostgreSQL:
        return u"STRPOS("_s + haystack + u", "_s + needle + u')';
    }
    return {};
}

// A "YYYY-MM-DD HH:MM:SS" text parameter as a date and time of the dialect. The text carries
// the server's wall-clock time, so no time-zone conversion may happen on the way.
QString timestampParameter(SqlDialect dialect, const QString& parameter)
{
    switch (dialect) {
    case SqlDialect::Oracle:
        return u"TO_DATE("_s + parameter + u", 'YYYY-MM-DD HH24:MI:SS')"_s;
    case SqlDialect::SqlServer:
        return u"CONVERT(DATETIME, "_s + parameter + u", 120)"_s;
    case SqlDialect::SQLite:
        return u"DATETIME("_s + parameter + u')';
    case SqlDialect::PostgreSQL:
        return u"CAST("_s + parameter + u" AS TIMESTAMP)"_s;
    }
    return {};
}

} // namespace

QStringList StatementText(StatementId id, SqlDialect dialect)
{
    switch (id) {
    case StatementId::Pessoa:
        return {u"SELECT PE.CDFUNC, PE.CDEMPRESA, "_s + badgeName(dialect) +
                u" FROM PESSOA PE WHERE NRPESSOA = :P_NRPESSOA"_s};
    case StatementId::Sentido:
        return {u"SELECT RC.IDREGISCATRACA, "_s + badgeName(dialect) +
                u" FROM REGISCATRACA RC, PESSOA PE WHERE PE.NRPESSOA = RC.NRPESSOA AND RC.NRPESSOA = "
                u":P_NRPESSOA AND RC.DTREGISCATRACA = (SELECT MAX(DTREGISCATRACA) DTREGISCATRACA FROM "
                u"REGISCATRACA WHERE NRPESSOA = :P_NRPESSOA2)"_s};
    case StatementId::BatidaPonto:
        return {u"SELECT BT.IDSENTBATIDA FROM BATIDAPONTO BT WHERE BT.CDFUNC = :P_CDFUNC AND BT.CDEMPRESA = "
                u":P_CDEMPRESA AND BT.DTBATIDAPTO = (SELECT MAX(DTBATIDAPTO) DTBATIDAPTO FROM BATIDAPONTO "
                u"WHERE CDFUNC = :P_CDFUNC2 AND CDEMPRESA = :P_CDEMPRESA2)"_s};
    case StatementId::HoraServ:
        if (dialect == SqlDialect::Oracle)
            return {u"SELECT SYSDATE AS HORAATUAL FROM DUAL"_s};
        return {u"SELECT "_s + serverNow(dialect) + u" AS HORAATUAL"_s};
    case StatementId::Registro:
        return {u"INSERT INTO REGISCATRACA ( NRPESSOA, IDREGISCATRACA, DTREGISCATRACA ) VALUES (:NRPESSOA, "
                u":IDREGISCATRACA, "_s +
                serverNow(dialect) + u')'};
    case StatementId::TemplatesAll:
        return {u"SELECT PE.NRPESSOA, DC.TXDIGITALCATRAC"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                u"WHERE  PE.NRPESSOA      =    DC.NRPESSOA"_s, u" AND PE.IDACESSOCATRACA = 'S'"_s};
    case StatementId::Templates:
        return {u"SELECT PE.NRPESSOA, DC.TXDIGITALCATRAC"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                u"WHERE  "_s + contains(dialect, u":P_NRPESSOA"_s, u"PE.NRPESSOA"_s) + u" <> 0"_s,
                u"  AND  PE.NRPESSOA      =    DC.NRPESSOA"_s, u" AND IDACESSOCATRACA = 'S'"_s};
    case StatementId::RegistroPendente: {
        const QString at = timestampParameter(dialect, u":DTREGISCATRACA"_s);
        return {u"INSERT INTO REGISCATRACA ( NRPESSOA, IDREGISCATRACA, DTREGISCATRACA )"_s,
                u"SELECT :NRPESSOA, :IDREGISCATRACA, "_s + at +
                    (dialect == SqlDialect::Oracle ? u" FROM DUAL"_s : QString()),
                u"WHERE NOT EXISTS (SELECT 1 FROM REGISCATRACA WHERE NRPESSOA = :NRPESSOA"_s,
                u"  AND IDREGISCATRACA = :IDREGISCATRACA AND DTREGISCATRACA = "_s + at + u')'};
    }
    case StatementId::Verifica:
        return {dialect == SqlDialect::Oracle ? u"SELECT 1 FROM DUAL"_s : u"SELECT 1"_s};
    case StatementId::TemplateNumbersAll:
        return {u"SELECT PE.NRPESSOA"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                u"WHERE  PE.NRPESSOA      =    DC.NRPESSOA"_s, u" AND PE.IDACESSOCATRACA = 'S'"_s};
    case StatementId::TemplatesOf:
        return {u"SELECT PE.NRPESSOA, DC.TXDIGITALCATRAC"_s, u"FROM   PESSOA PE,   DIGITALCATRACA DC"_s,
                u"WHERE  PE.NRPESSOA      =    :P_NRPESSOA"_s, u"  AND  PE.NRPESSOA      =    DC.NRPESSOA"_s,
                u" AND PE.IDACESSOCATRACA = 'S'"_s};
    }
    return {};
}

} // namespace zul::db

#include "DbBackend.h"
#include "db/DriverConnection.h"
#include "db/MemTable.h"
#include "db/Statements.h"
#include "db/XFields.h"

using namespace zul;
using namespace zul::db;
using zul::test::Backend;
using zul::test::DbBackendTest;

namespace {

class DbDialectTest : public DbBackendTest
{
protected:
    void addPerson(const QString& number, const QString& badge, const QString& cdfunc = {},
                   const QString& cdempresa = {}, const QString& access = u"S"_qs)
    {
        insert(
            u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES (:A, :B, :C, :D, :E)"_qs,
            {number, cdfunc, cdempresa, badge, access});
    }
    void addPassage(const QString& number, const QString& direction, const QString& when)
    {
        insert(u"INSERT INTO REGISCATRACA (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA) VALUES (:A, :B, :C)"_qs,
               {number, direction, when});
    }
    void addPunch(const QString& cdfunc, const QString& direction, const QString& when)
    {
        insert(
            u"INSERT INTO BATIDAPONTO (CDFUNC, CDEMPRESA, IDSENTBATIDA, DTBATIDAPTO) VALUES (:A, '01', :B, :C)"_qs,
            {cdfunc, direction, when});
    }
    void insert(const QString& sql, const QStringList& values)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(sql);
        for (int i = 0; i < values.size(); ++i)
            c.Params()[i].SetAsString(values[i]);
        c.Execute();
    }

    // Opens the statement with the given parameter values (in declared order) and returns the
    // values of `field` over all rows.
    QStringList rows(StatementId id, const QStringList& params, const QString& field)
    {
        TXQuery q;
        q.SetConnection(&connection);
        q.SetSQL(StatementText(id, connection.Dialect()));
        for (int i = 0; i < params.size(); ++i)
            q.Params()[i].SetAsString(params[i]);
        q.Open();
        QStringList out;
        for (; !q.Eof(); q.Next())
            out << q.FieldByName(field)->AsString();
        return out;
    }
};

} // namespace

TEST_P(DbDialectTest, ConnectionReportsTheDialectOfTheServerItReached)
{
    EXPECT_EQ(connection.Dialect(),
              GetParam() == Backend::SQLite ? SqlDialect::SQLite : SqlDialect::PostgreSQL);
}

TEST_P(DbDialectTest, BadgeNamesOf17To20CharactersAreCutAfterTheirFirstWord)
{
    const struct
    {
        const char16_t* name;
        const char16_t* shown;
    } cases[] = {
        {u"ABCDE FGHIJKLMNO", u"ABCDE FGHIJKLMNO"},           // 16: unchanged
        {u"ABCDE FGHIJKLMNOP", u"ABCDE "},                    // 17
        {u"ABCDEFGHIJKLMNOPQ", u"ABCDEFGHIJKLMNOPQ"},         // 17 without a blank: whole
        {u"AB CDEFGHIJKLMNOPQR", u"AB "},                     // 18
        {u"ABCDE FGHIJKLMNOPQR", u"ABCDE "},                  // 19, blank sixth
        {u"ABCDEFGHIJKLMNOPQRS", u"ABCDEFGHIJKLMNOPQRS"},     // 19 without a blank: whole
        {u"ANA BEATRIZ CARVALHO", u"ANA "},                   // 20
        {u"MAXIMILIANOALBUQUERQ", u""},                       // 20 without a blank: empty
        {u"MARIA APARECIDA SOUZA", u"MARIA APARECIDA SOUZA"}, // 21: unchanged
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString number = u"%1"_qs.arg(++n, 10, 10, QChar(u'0'));
        addPerson(number, QString::fromUtf16(c.name));
        addPassage(number, u"E"_qs, u"2026-01-05 08:00:00"_qs);
        EXPECT_EQ(rows(StatementId::Pessoa, {number}, u"NMCRACHAPESSOA"_qs),
                  QStringList{QString::fromUtf16(c.shown)})
            << QString::fromUtf16(c.name).toStdString();
        EXPECT_EQ(rows(StatementId::Sentido, {number, number}, u"NMCRACHAPESSOA"_qs),
                  QStringList{QString::fromUtf16(c.shown)});
    }
}

TEST_P(DbDialectTest, LastMovementIsTheLatestRowAndTiesAreAllReturned)
{
    addPerson(u"0000000001"_qs, u"NOBODY"_qs);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs),
              QStringList{});

    addPassage(u"0000000001"_qs, u"S"_qs, u"2026-01-05 07:00:00"_qs);
    addPassage(u"0000000001"_qs, u"E"_qs, u"2026-01-05 08:00:00"_qs);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs),
              QStringList{u"E"_qs});

    addPassage(u"0000000001"_qs, u"S"_qs, u"2026-01-05 18:00:00"_qs);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs),
              QStringList{u"S"_qs});

    addPassage(u"0000000001"_qs, u"E"_qs, u"2026-01-05 18:00:00"_qs);
    QStringList tied = rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs);
    tied.sort();
    EXPECT_EQ(tied, (QStringList{u"E"_qs, u"S"_qs}));

    // Another person's later movement does not count.
    addPerson(u"0000000002"_qs, u"OTHER"_qs);
    addPassage(u"0000000002"_qs, u"E"_qs, u"2026-01-06 08:00:00"_qs);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs).size(),
              2);
}

TEST_P(DbDialectTest, LastPunchOfTheEmployee)
{
    EXPECT_EQ(
        rows(StatementId::BatidaPonto, {u"0001"_qs, u"01"_qs, u"0001"_qs, u"01"_qs}, u"IDSENTBATIDA"_qs),
        QStringList{});
    addPunch(u"0001"_qs, u"1"_qs, u"2026-01-05 08:00:00"_qs);
    addPunch(u"0001"_qs, u"2"_qs, u"2026-01-05 17:00:00"_qs);
    addPunch(u"0002"_qs, u"1"_qs, u"2026-01-05 18:00:00"_qs);
    EXPECT_EQ(
        rows(StatementId::BatidaPonto, {u"0001"_qs, u"01"_qs, u"0001"_qs, u"01"_qs}, u"IDSENTBATIDA"_qs),
        QStringList{u"2"_qs});
    EXPECT_EQ(
        rows(StatementId::BatidaPonto, {u"0001"_qs, u"02"_qs, u"0001"_qs, u"02"_qs}, u"IDSENTBATIDA"_qs),
        QStringList{});
}

TEST_P(DbDialectTest, PassageIsStampedWithTheServerClock)
{
    addPerson(u"0000000001"_qs, u"JOAO"_qs);
    TXQuery clock;
    clock.SetConnection(&connection);
    clock.SetSQL(StatementText(StatementId::HoraServ, connection.Dialect()));
    clock.Open();
    const QDateTime before = clock.FieldByName(u"HORAATUAL"_qs)->AsDateTime();
    ASSERT_TRUE(before.isValid());

    TXCommand registro;
    registro.SetConnection(&connection);
    registro.SetSQL(StatementText(StatementId::Registro, connection.Dialect()));
    registro.ParamByName(u"NRPESSOA"_qs).SetAsString(u"0000000001"_qs);
    registro.ParamByName(u"IDREGISCATRACA"_qs).SetAsString(u"E"_qs);
    registro.Execute();

    TXQuery stamp;
    stamp.SetConnection(&connection);
    stamp.SetSQL(u"SELECT DTREGISCATRACA FROM REGISCATRACA"_qs);
    stamp.Open();
    const QDateTime at = stamp.FieldByName(u"DTREGISCATRACA"_qs)->AsDateTime();
    ASSERT_TRUE(at.isValid());
    EXPECT_LE(std::abs(before.secsTo(at)), 60);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_qs, u"0000000001"_qs}, u"IDREGISCATRACA"_qs),
              QStringList{u"E"_qs});
}

TEST_P(DbDialectTest, TemplatesMatchEveryNumberInsideTheParameterText)
{
    addPerson(u"0000000001"_qs, u"A"_qs);
    addPerson(u"00000001"_qs, u"B"_qs);
    addPerson(u"0000000002"_qs, u"C"_qs);
    addPerson(u"0000000003"_qs, u"D"_qs, {}, {}, u"N"_qs);
    for (const QString& n : {u"0000000001"_qs, u"00000001"_qs, u"0000000002"_qs, u"0000000003"_qs}) {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO DIGITALCATRACA (NRPESSOA, TXDIGITALCATRAC) VALUES (:N, :T)"_qs);
        c.ParamByName(u"N"_qs).SetAsString(n);
        c.ParamByName(u"T"_qs).SetAsBlob(admin::DemoTemplate(n));
        c.Execute();
    }
    QStringList some = rows(StatementId::Templates, {u"_0000000001_"_qs}, u"NRPESSOA"_qs);
    some.sort();
    EXPECT_EQ(some, (QStringList{u"0000000001"_qs, u"00000001"_qs}));

    TXQuery all;
    all.SetConnection(&connection);
    all.SetSQL(StatementText(StatementId::TemplatesAll, connection.Dialect()));
    DataSetProvider provider;
    all.SetProvider(&provider);
    MemTable templates;
    templates.LoadFromPacket(provider.GetData());
    EXPECT_EQ(templates.RecordCount(), 3); // the person without turnstile access is left out
    ASSERT_TRUE(templates.Locate(u"NRPESSOA"_qs, u"0000000002"_qs));
    const QByteArray record = templates.AsBytes(u"TXDIGITALCATRAC"_qs);
    ASSERT_EQ(record.size(), 844);
    EXPECT_EQ(record.mid(1, 10), QByteArray("0000000002"));
    EXPECT_EQ(record, admin::DemoTemplate(u"0000000002"_qs));
}

INSTANTIATE_TEST_SUITE_P(Backends, DbDialectTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL, Backend::Odbc),
                         zul::test::backendName);

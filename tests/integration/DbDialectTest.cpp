#include "DbBackend.h"
#include "db/DriverConnection.h"
#include "db/MemTable.h"
#include "db/Statements.h"
#include "db/XFields.h"

using namespace Qt::StringLiterals;

using namespace zul;
using namespace zul::db;
using zul::test::Backend;
using zul::test::DbBackendTest;

namespace {

class DbDialectTest : public DbBackendTest
{
protected:
    void addPerson(const QString& number, const QString& badge, const QString& cdfunc = {},
                   const QString& cdempresa = {}, const QString& access = u"S"_s)
    {
        insert(
            u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES (:A, :B, :C, :D, :E)"_s,
            {number, cdfunc, cdempresa, badge, access});
    }
    void addPassage(const QString& number, const QString& direction, const QString& when)
    {
        insert(u"INSERT INTO REGISCATRACA (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA) VALUES (:A, :B, :C)"_s,
               {number, direction, when});
    }
    void addPunch(const QString& cdfunc, const QString& direction, const QString& when)
    {
        insert(
            u"INSERT INTO BATIDAPONTO (CDFUNC, CDEMPRESA, IDSENTBATIDA, DTBATIDAPTO) VALUES (:A, '01', :B, :C)"_s,
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
        const QString number = u"%1"_s.arg(++n, 10, 10, QChar(u'0'));
        addPerson(number, QString::fromUtf16(c.name));
        addPassage(number, u"E"_s, u"2026-01-05 08:00:00"_s);
        EXPECT_EQ(rows(StatementId::Pessoa, {number}, u"NMCRACHAPESSOA"_s),
                  QStringList{QString::fromUtf16(c.shown)})
            << QString::fromUtf16(c.name).toStdString();
        EXPECT_EQ(rows(StatementId::Sentido, {number, number}, u"NMCRACHAPESSOA"_s),
                  QStringList{QString::fromUtf16(c.shown)});
    }
}

TEST_P(DbDialectTest, LastMovementIsTheLatestRowAndTiesAreAllReturned)
{
    addPerson(u"0000000001"_s, u"NOBODY"_s);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s),
              QStringList{});

    addPassage(u"0000000001"_s, u"S"_s, u"2026-01-05 07:00:00"_s);
    addPassage(u"0000000001"_s, u"E"_s, u"2026-01-05 08:00:00"_s);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s),
              QStringList{u"E"_s});

    addPassage(u"0000000001"_s, u"S"_s, u"2026-01-05 18:00:00"_s);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s),
              QStringList{u"S"_s});

    addPassage(u"0000000001"_s, u"E"_s, u"2026-01-05 18:00:00"_s);
    QStringList tied = rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s);
    tied.sort();
    EXPECT_EQ(tied, (QStringList{u"E"_s, u"S"_s}));

    // Another person's later movement does not count.
    addPerson(u"0000000002"_s, u"OTHER"_s);
    addPassage(u"0000000002"_s, u"E"_s, u"2026-01-06 08:00:00"_s);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s).size(), 2);
}

TEST_P(DbDialectTest, LastPunchOfTheEmployee)
{
    EXPECT_EQ(rows(StatementId::BatidaPonto, {u"0001"_s, u"01"_s, u"0001"_s, u"01"_s}, u"IDSENTBATIDA"_s),
              QStringList{});
    addPunch(u"0001"_s, u"1"_s, u"2026-01-05 08:00:00"_s);
    addPunch(u"0001"_s, u"2"_s, u"2026-01-05 17:00:00"_s);
    addPunch(u"0002"_s, u"1"_s, u"2026-01-05 18:00:00"_s);
    EXPECT_EQ(rows(StatementId::BatidaPonto, {u"0001"_s, u"01"_s, u"0001"_s, u"01"_s}, u"IDSENTBATIDA"_s),
              QStringList{u"2"_s});
    EXPECT_EQ(rows(StatementId::BatidaPonto, {u"0001"_s, u"02"_s, u"0001"_s, u"02"_s}, u"IDSENTBATIDA"_s),
              QStringList{});
}

TEST_P(DbDialectTest, PassageIsStampedWithTheServerClock)
{
    addPerson(u"0000000001"_s, u"JOAO"_s);
    TXQuery clock;
    clock.SetConnection(&connection);
    clock.SetSQL(StatementText(StatementId::HoraServ, connection.Dialect()));
    clock.Open();
    const QDateTime before = clock.FieldByName(u"HORAATUAL"_s)->AsDateTime();
    ASSERT_TRUE(before.isValid());

    TXCommand registro;
    registro.SetConnection(&connection);
    registro.SetSQL(StatementText(StatementId::Registro, connection.Dialect()));
    registro.ParamByName(u"NRPESSOA"_s).SetAsString(u"0000000001"_s);
    registro.ParamByName(u"IDREGISCATRACA"_s).SetAsString(u"E"_s);
    registro.Execute();

    TXQuery stamp;
    stamp.SetConnection(&connection);
    stamp.SetSQL(u"SELECT DTREGISCATRACA FROM REGISCATRACA"_s);
    stamp.Open();
    const QDateTime at = stamp.FieldByName(u"DTREGISCATRACA"_s)->AsDateTime();
    ASSERT_TRUE(at.isValid());
    EXPECT_LE(std::abs(before.secsTo(at)), 60);
    EXPECT_EQ(rows(StatementId::Sentido, {u"0000000001"_s, u"0000000001"_s}, u"IDREGISCATRACA"_s),
              QStringList{u"E"_s});
}

TEST_P(DbDialectTest, TemplatesMatchEveryNumberInsideTheParameterText)
{
    addPerson(u"0000000001"_s, u"A"_s);
    addPerson(u"00000001"_s, u"B"_s);
    addPerson(u"0000000002"_s, u"C"_s);
    addPerson(u"0000000003"_s, u"D"_s, {}, {}, u"N"_s);
    for (const QString& n : {u"0000000001"_s, u"00000001"_s, u"0000000002"_s, u"0000000003"_s}) {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO DIGITALCATRACA (NRPESSOA, TXDIGITALCATRAC) VALUES (:N, :T)"_s);
        c.ParamByName(u"N"_s).SetAsString(n);
        c.ParamByName(u"T"_s).SetAsBlob(admin::DemoTemplate(n));
        c.Execute();
    }
    QStringList some = rows(StatementId::Templates, {u"_0000000001_"_s}, u"NRPESSOA"_s);
    some.sort();
    EXPECT_EQ(some, (QStringList{u"0000000001"_s, u"00000001"_s}));

    TXQuery all;
    all.SetConnection(&connection);
    all.SetSQL(StatementText(StatementId::TemplatesAll, connection.Dialect()));
    DataSetProvider provider;
    all.SetProvider(&provider);
    MemTable templates;
    templates.LoadFromPacket(provider.GetData());
    EXPECT_EQ(templates.RecordCount(), 3); // the person without turnstile access is left out
    ASSERT_TRUE(templates.Locate(u"NRPESSOA"_s, u"0000000002"_s));
    const QByteArray record = templates.AsBytes(u"TXDIGITALCATRAC"_s);
    ASSERT_EQ(record.size(), 844);
    EXPECT_EQ(record.mid(1, 10), QByteArray("0000000002"));
    EXPECT_EQ(record, admin::DemoTemplate(u"0000000002"_s));

    // The person numbers of the same rows, without the templates.
    QStringList numbers = rows(StatementId::TemplateNumbersAll, {}, u"NRPESSOA"_s);
    numbers.sort();
    EXPECT_EQ(numbers, (QStringList{u"0000000001"_s, u"0000000002"_s, u"00000001"_s}));
}

INSTANTIATE_TEST_SUITE_P(Backends, DbDialectTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL, Backend::Odbc),
                         zul::test::backendName);

#include "access/PersonLookup.h"

#include "DbBackend.h"
#include "LinkedDevice.h"
#include "QtPrinters.h"
#include "db/Statements.h"
#include "db/XFields.h"

#include <ostream>

using namespace zul;
using zul::test::DbBackendTest;

namespace {

struct Passage
{
    const char* direction;
    const char* when;
};

struct Punch
{
    const char* direction;
    const char* when;
};

// One person of the table-driven cases: the rows the database holds about them and what the
// lookup must decide.
struct PersonCase
{
    const char* name;
    const char* cdfunc;    // nullptr: NULL
    const char* cdempresa; // nullptr: NULL
    std::vector<Passage> passages;
    std::vector<Punch> punches; // of CDFUNC/CDEMPRESA "0001"/"01" unless the person's own codes differ
    bool isEntry;
};

class PersonLookupDbTest : public DbBackendTest
{
protected:
    void SetUp() override
    {
        DbBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        lookup.reconnect = [this](bool, bool) {
            ++reconnects;
            return true;
        };
    }

    void addPerson(const QString& number, const QString& badge, const char* cdfunc = nullptr,
                   const char* cdempresa = nullptr)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(
            u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES (:A, :B, :C, :D, 'S')"_qs);
        c.Params()[0].SetAsString(number);
        setOrNull(c.Params()[1], cdfunc);
        setOrNull(c.Params()[2], cdempresa);
        c.Params()[3].SetAsString(badge);
        c.Execute();
    }
    static void setOrNull(TXParam& param, const char* value)
    {
        param.SetDataType(ftString);
        if (value)
            param.SetAsString(QString::fromUtf8(value));
        else
            param.Clear();
    }
    void addPassage(const QString& number, const QString& direction, const QString& when)
    {
        insert(u"INSERT INTO REGISCATRACA (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA) VALUES (:A, :B, :C)"_qs,
               {number, direction, when});
    }
    void addPunch(const QString& cdfunc, const QString& cdempresa, const QString& direction,
                  const QString& when)
    {
        insert(
            u"INSERT INTO BATIDAPONTO (CDFUNC, CDEMPRESA, IDSENTBATIDA, DTBATIDAPTO) VALUES (:A, :B, :C, :D)"_qs,
            {cdfunc, cdempresa, direction, when});
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

    // Looks `number` up with a record holding stale values; `found` as LookUpPerson answered.
    TUserDados look(const QString& number, bool* found = nullptr)
    {
        TUserDados& user = link.device.userDados();
        user = {number, u"ANTERIOR"_qs, false};
        const bool answer = lookup.LookUpPerson();
        if (found)
            *found = answer;
        return user;
    }

    QStringList loggedSince(qsizetype from) const { return link.logged().mid(from); }

    test::LinkedDevice link{u"libNoSuchEasyInner.so"_qs};
    PersonLookup lookup{connection, link.device};
    int reconnects = 0;
};

TEST_P(PersonLookupDbTest, DirectionIsTheOppositeOfTheLastMovement)
{
    const std::vector<PersonCase> cases = {
        {"visitor who never passed", "", "", {}, {}, true},
        {"visitor whose last passage was an entry", "", "", {{"S", "07:00"}, {"E", "08:00"}}, {}, false},
        {"visitor whose last passage was an exit", "", "", {{"E", "08:00"}, {"S", "18:00"}}, {}, true},
        {"visitor with another mark", "", "", {{"X", "08:00"}}, {}, false},
        {"visitor with a blank mark", "", "", {{" ", "08:00"}}, {}, true},
        {"visitor with NULL codes", nullptr, nullptr, {{"E", "08:00"}}, {}, false},
        {"visitor with blank codes", " ", "  ", {{"E", "08:00"}}, {}, false},
        {"employee without a punch", "0001", "01", {{"E", "08:00"}}, {}, true},
        {"employee whose last punch is 2",
         "0001",
         "01",
         {{"E", "08:00"}},
         {{"1", "07:00"}, {"2", "12:00"}},
         true},
        {"employee whose last punch is 1",
         "0001",
         "01",
         {{"S", "18:00"}},
         {{"2", "07:00"}, {"1", "12:00"}},
         false},
        {"employee code alone", "0001", "", {{"E", "08:00"}}, {}, true},
        {"company code alone", "", "01", {{"E", "08:00"}}, {}, true},
    };
    int n = 0;
    for (const PersonCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Every case its own day, so the punches of one employee case do not reach the next.
        const QString day = u"2026-01-%1 "_qs.arg(++n, 2, 10, QChar(u'0'));
        exec(u"DELETE FROM BATIDAPONTO"_qs);
        const QString number = u"%1"_qs.arg(n, 10, 10, QChar(u'0'));
        addPerson(number, u"PESSOA %1"_qs.arg(n), c.cdfunc, c.cdempresa);
        for (const Passage& p : c.passages)
            addPassage(number, QString::fromUtf8(p.direction), day + QString::fromUtf8(p.when) + u":00"_qs);
        for (const Punch& p : c.punches)
            addPunch(QString::fromUtf8(c.cdfunc), QString::fromUtf8(c.cdempresa),
                     QString::fromUtf8(p.direction), day + QString::fromUtf8(p.when) + u":00"_qs);
        bool found = false;
        const TUserDados user = look(number, &found);
        EXPECT_TRUE(found);
        EXPECT_EQ(user.IsEntry, c.isEntry);
        EXPECT_EQ(user.BadgeName, u"PESSOA %1"_qs.arg(n));
        EXPECT_EQ(user.PersonNumber, number);
    }
    EXPECT_EQ(reconnects, 0);
}

TEST_P(PersonLookupDbTest, TiedLatestPassagesAreDecidedByTheFirstRowReturned)
{
    addPerson(u"0000000001"_qs, u"EMPATE"_qs);
    addPassage(u"0000000001"_qs, u"E"_qs, u"2026-01-05 18:00:00"_qs);
    addPassage(u"0000000001"_qs, u"S"_qs, u"2026-01-05 18:00:00"_qs);
    TXQuery q;
    q.SetConnection(&connection);
    q.SetSQL(db::StatementText(db::StatementId::Sentido, connection.Dialect()));
    q.Params()[0].SetAsString(u"0000000001"_qs);
    q.Params()[1].SetAsString(u"0000000001"_qs);
    q.Open();
    ASSERT_FALSE(q.Eof());
    const bool firstIsExit = q.FieldByName(u"IDREGISCATRACA"_qs)->AsString() == u"S"_qs;
    q.Close();
    EXPECT_EQ(look(u"0000000001"_qs).IsEntry, firstIsExit);
}

TEST_P(PersonLookupDbTest, LogTellsWhoWasFoundAndHow)
{
    addPerson(u"0000000001"_qs, u"ANA BEATRIZ CARVALHO"_qs);
    addPerson(u"0000000002"_qs, u"JOSE"_qs, "0042", "07");
    const qsizetype start = link.logged().size();
    look(u"0000000001"_qs);
    look(u"0000000002"_qs);
    EXPECT_EQ(loggedSince(start),
              (QStringList{u"Nome da pessoa(Crachá):"_qs, u"ANA "_qs, u"Não é funcionário"_qs,
                           u"Nome da pessoa(Crachá):"_qs, u"JOSE"_qs,
                           u"É funcionário   Código: 0042   Empresa: 07"_qs}));
}

TEST_P(PersonLookupDbTest, UnknownNumberIsNotFoundAndTheRecordKeepsItsFields)
{
    addPerson(u"0000000001"_qs, u"ALGUEM"_qs);
    const qsizetype start = link.logged().size();
    bool found = true;
    const TUserDados user = look(u"0000000099"_qs, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(user.BadgeName, u"ANTERIOR"_qs);
    EXPECT_FALSE(user.IsEntry);
    EXPECT_EQ(loggedSince(start), (QStringList{u"Nome da pessoa(Crachá):"_qs, QString()}));
    EXPECT_EQ(reconnects, 0);
}

TEST_P(PersonLookupDbTest, TwentyCharacterBadgeNameWithoutBlankIsFoundWithAnEmptyName)
{
    addPerson(u"0000000001"_qs, u"MAXIMILIANOALBUQUERQ"_qs);
    addPerson(u"0000000002"_qs, u"ABCDEFGHIJKLMNOPQRS"_qs);
    bool found = false;
    EXPECT_EQ(look(u"0000000001"_qs, &found).BadgeName, QString());
    EXPECT_TRUE(found);
    EXPECT_EQ(look(u"0000000002"_qs).BadgeName, u"ABCDEFGHIJKLMNOPQRS"_qs);
}

TEST_P(PersonLookupDbTest, ServerClockIsReadFromTheServer)
{
    const QDateTime server = lookup.GetServerTime();
    ASSERT_TRUE(server.isValid());
    EXPECT_LE(std::abs(server.secsTo(QDateTime::currentDateTime())), 120);
    EXPECT_EQ(lookup.ServerNow(), server);
    EXPECT_EQ(reconnects, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, PersonLookupDbTest,
                         ::testing::Values(test::Backend::SQLite, test::Backend::PostgreSQL,
                                           test::Backend::Odbc),
                         test::backendName);

} // namespace

#include "access/PersonLookup.h"

#include "DbBackend.h"
#include "LinkedDevice.h"
#include "QtPrinters.h"
#include "db/Statements.h"
#include "db/XFields.h"

#include <ostream>

using namespace Qt::StringLiterals;

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
            u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES (:A, :B, :C, :D, 'S')"_s);
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
        insert(u"INSERT INTO REGISCATRACA (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA) VALUES (:A, :B, :C)"_s,
               {number, direction, when});
    }
    void addPunch(const QString& cdfunc, const QString& cdempresa, const QString& direction,
                  const QString& when)
    {
        insert(
            u"INSERT INTO BATIDAPONTO (CDFUNC, CDEMPRESA, IDSENTBATIDA, DTBATIDAPTO) VALUES (:A, :B, :C, :D)"_s,
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
        user = {number, u"ANTERIOR"_s, false};
        const bool answer = lookup.LookUpPerson();
        if (found)
            *found = answer;
        return user;
    }

    QStringList loggedSince(qsizetype from) const { return link.logged().mid(from); }

    test::LinkedDevice link{u"libNoSuchEasyInner.so"_s};
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
        const QString day = u"2026-01-%1 "_s.arg(++n, 2, 10, QChar(u'0'));
        exec(u"DELETE FROM BATIDAPONTO"_s);
        const QString number = u"%1"_s.arg(n, 10, 10, QChar(u'0'));
        addPerson(number, u"PESSOA %1"_s.arg(n), c.cdfunc, c.cdempresa);
        for (const Passage& p : c.passages)
            addPassage(number, QString::fromUtf8(p.direction), day + QString::fromUtf8(p.when) + u":00"_s);
        for (const Punch& p : c.punches)
            addPunch(QString::fromUtf8(c.cdfunc), QString::fromUtf8(c.cdempresa),
                     QString::fromUtf8(p.direction), day + QString::fromUtf8(p.when) + u":00"_s);
        bool found = false;
        const TUserDados user = look(number, &found);
        EXPECT_TRUE(found);
        EXPECT_EQ(user.IsEntry, c.isEntry);
        EXPECT_EQ(user.BadgeName, u"PESSOA %1"_s.arg(n));
        EXPECT_EQ(user.PersonNumber, number);
    }
    EXPECT_EQ(reconnects, 0);
}

TEST_P(PersonLookupDbTest, TiedLatestPassagesAreDecidedByTheFirstRowReturned)
{
    addPerson(u"0000000001"_s, u"EMPATE"_s);
    addPassage(u"0000000001"_s, u"E"_s, u"2026-01-05 18:00:00"_s);
    addPassage(u"0000000001"_s, u"S"_s, u"2026-01-05 18:00:00"_s);
    TXQuery q;
    q.SetConnection(&connection);
    q.SetSQL(db::StatementText(db::StatementId::Sentido, connection.Dialect()));
    q.Params()[0].SetAsString(u"0000000001"_s);
    q.Params()[1].SetAsString(u"0000000001"_s);
    q.Open();
    ASSERT_FALSE(q.Eof());
    const bool firstIsExit = q.FieldByName(u"IDREGISCATRACA"_s)->AsString() == u"S"_s;
    q.Close();
    EXPECT_EQ(look(u"0000000001"_s).IsEntry, firstIsExit);
}

TEST_P(PersonLookupDbTest, LogTellsWhoWasFoundAndHow)
{
    addPerson(u"0000000001"_s, u"ANA BEATRIZ CARVALHO"_s);
    addPerson(u"0000000002"_s, u"JOSE"_s, "0042", "07");
    const qsizetype start = link.logged().size();
    look(u"0000000001"_s);
    look(u"0000000002"_s);
    EXPECT_EQ(loggedSince(start), (QStringList{u"Nome da pessoa(Crachá):"_s, u"ANA "_s,
                                               u"Não é funcionário"_s, u"Nome da pessoa(Crachá):"_s,
                                               u"JOSE"_s, u"É funcionário   Código: 0042   Empresa: 07"_s}));
}

TEST_P(PersonLookupDbTest, UnknownNumberIsNotFoundAndTheRecordKeepsItsFields)
{
    addPerson(u"0000000001"_s, u"ALGUEM"_s);
    const qsizetype start = link.logged().size();
    bool found = true;
    const TUserDados user = look(u"0000000099"_s, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(user.BadgeName, u"ANTERIOR"_s);
    EXPECT_FALSE(user.IsEntry);
    EXPECT_EQ(loggedSince(start), (QStringList{u"Nome da pessoa(Crachá):"_s, QString()}));
    EXPECT_EQ(reconnects, 0);
}

TEST_P(PersonLookupDbTest, TwentyCharacterBadgeNameWithoutBlankIsFoundWithAnEmptyName)
{
    addPerson(u"0000000001"_s, u"MAXIMILIANOALBUQUERQ"_s);
    addPerson(u"0000000002"_s, u"ABCDEFGHIJKLMNOPQRS"_s);
    bool found = false;
    EXPECT_EQ(look(u"0000000001"_s, &found).BadgeName, QString());
    EXPECT_TRUE(found);
    EXPECT_EQ(look(u"0000000002"_s).BadgeName, u"ABCDEFGHIJKLMNOPQRS"_s);
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

#include "access/PersonLookup.h"

#include "LinkedDevice.h"
#include "QtPrinters.h"
#include "access/PassageJournal.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"

#include <QFile>
#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// A lookup on a SQLite database that holds no tables: every person query fails as a real
// driver error, while the server clock can still be read.
class PersonLookupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(link.openLink());
        const QString file = link.dir.file(u"vazio.db"_s);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        connection.ChangeServerType(xdtSQLite);
        connection.SetConnectString(u"Data Source="_s + file);
        connection.SetConnected(true);
        lookup.reconnect = [this](bool force, bool report) {
            reconnects << QString::fromLatin1(force ? "force" : "keep") +
                              QString::fromLatin1(report ? " report" : "");
            return reconnectAnswer;
        };
        lookup.reportMode = [this] { return reportMode; };
    }

    QStringList loggedSince(qsizetype from) const { return link.logged().mid(from); }

    test::LinkedDevice link;
    sim::Simulator& sim = link.sim.simulator();
    TXConnection connection;
    PersonLookup lookup{connection, link.device};
    QStringList reconnects;
    bool reconnectAnswer = true;
    bool reportMode = false;
};

TEST_F(PersonLookupTest, DatabaseFailureShowsOfflineAndReopensTheConnection)
{
    TUserDados& user = link.device.userDados();
    user = {u"0000001234"_s, u"ANTES "_s, true};
    const qsizetype before = link.logged().size();

    EXPECT_FALSE(lookup.LookUpPerson());

    const QStringList log = loggedSince(before);
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[0], u"Nome da pessoa(Crachá):"_s);
    EXPECT_EQ(log[1], QString());
    EXPECT_TRUE(log[2].startsWith(u"##### Dados entrada - ERRO: "_s)) << log[2].toStdString();
    EXPECT_TRUE(log[2].contains(u"PESSOA"_s, Qt::CaseInsensitive)) << log[2].toStdString();
    EXPECT_EQ(log[3], QString());
    const sim::Display display = sim.display();
    EXPECT_EQ(display.mode, 0);
    EXPECT_FALSE(display.temporary);
    EXPECT_EQ(display.line1 + display.line2, toWin1252String(link.messages.Lookup(u"ORACLE_OFFLINE"_s)));
    EXPECT_EQ(reconnects, QStringList{u"force report"_s});
    EXPECT_EQ(link.device.lastResult(), 1); // the display's answer is not kept
    EXPECT_EQ(user.PersonNumber, u"0000001234"_s);
    EXPECT_EQ(user.BadgeName, u"ANTES "_s);
    EXPECT_TRUE(user.IsEntry);
}

TEST_F(PersonLookupTest, DatabaseFailureWithoutLibraryOrHooksOnlyLogs)
{
    PersonLookup bare{connection, link.device};
    link.device.UnloadDeviceLibrary();
    link.device.userDados().PersonNumber = u"0000001234"_s;
    EXPECT_FALSE(bare.LookUpPerson());
    EXPECT_EQ(link.logged().filter(u"Dados entrada - ERRO: "_s).size(), 1);
}

TEST_F(PersonLookupTest, ServerTimeFollowsTheServerClockAndServerNowKeepsTheOffset)
{
    EXPECT_EQ(lookup.ServerNow(), link.clock.now()); // no reading yet
    const qsizetype before = link.logged().size();

    const QDateTime server = lookup.GetServerTime();
    ASSERT_TRUE(server.isValid());
    // The manual clock stands in 2026-01-05; SQLite answers with the machine's real time.
    EXPECT_LE(std::abs(server.secsTo(QDateTime::currentDateTime())), 120);
    EXPECT_EQ(loggedSince(before), (QStringList{u"Buscar hora do servidor"_s,
                                                u"Hora do servidor: "_s + DefaultDateTimeText(server)}));
    EXPECT_EQ(lookup.ServerNow(), server);
    link.clock.advance(90'000);
    EXPECT_EQ(lookup.ServerNow(), server.addSecs(90));

    // A failed reading returns the local time and keeps the last offset.
    connection.SetConnected(false);
    EXPECT_EQ(lookup.GetServerTime(), link.clock.now());
    EXPECT_EQ(lookup.ServerNow(), server.addSecs(90));
}

class ServerTimeFailureTest : public PersonLookupTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ServerTimeFailureTest, UnreadableServerClockGivesTheLocalTime)
{
    reportMode = GetParam();
    connection.SetConnected(false);
    const qsizetype before = link.logged().size();

    EXPECT_EQ(lookup.GetServerTime(), link.clock.now());

    EXPECT_EQ(
        loggedSince(before),
        (QStringList{u"Buscar hora do servidor"_s, QString(),
                     u"##### Hora Servidor - ERRO: The database connection is not open #####"_s, QString()}));
    // Only in report mode is the connection re-opened at once.
    EXPECT_EQ(reconnects, reportMode ? QStringList{u"force report"_s} : QStringList{});
    EXPECT_EQ(lookup.ServerNow(), link.clock.now());
}

INSTANTIATE_TEST_SUITE_P(ReportMode, ServerTimeFailureTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return std::string(mode.param ? "Reporting" : "Quiet");
                         });

TEST(DefaultDateTimeTextTest, DayMonthYearAndTheTimeToTheSecond)
{
    EXPECT_EQ(DefaultDateTimeText(QDateTime(QDate(2008, 3, 4), QTime(5, 6, 7, 890))),
              u"04/03/2008 05:06:07"_s);
    EXPECT_EQ(DefaultDateTimeText(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))),
              u"31/12/2026 23:59:59"_s);
}

// A visitor passes twice while the database refuses the passages: the second identification
// must see the first passage, still waiting in the journal.
TEST_F(PersonLookupTest, DirectionOfAVisitorFollowsPassagesStillInTheJournal)
{
    for (
        const QString& sql :
        {u"CREATE TABLE PESSOA (NRPESSOA VARCHAR(10), CDFUNC VARCHAR(10), CDEMPRESA VARCHAR(2), "
         u"NMCRACHAPESSOA VARCHAR(40))"_s,
         u"CREATE TABLE REGISCATRACA (NRPESSOA VARCHAR(10), IDREGISCATRACA CHAR(1), DTREGISCATRACA TEXT)"_s,
         u"CREATE TABLE BATIDAPONTO (CDFUNC VARCHAR(10), CDEMPRESA VARCHAR(2), IDSENTBATIDA CHAR(1), "
         u"DTBATIDAPTO TEXT)"_s,
         u"INSERT INTO PESSOA VALUES ('0000000005', NULL, NULL, 'VISITA'), ('0000000006', '77', '01', 'FUNC')"_s,
         u"INSERT INTO REGISCATRACA VALUES ('0000000005', 'S', '2026-01-05 07:00:00')"_s}) {
        TXCommand command;
        command.SetParamCheck(false);
        command.SetConnection(&connection);
        command.SetSQL(sql);
        command.Execute();
    }
    PassageJournal journal(link.dir.file(u"logCatraca/passagensPendentes.jrn"_s));
    lookup.journal = &journal;
    TUserDados& user = link.device.userDados();
    const auto directionOf = [&](const QString& number) {
        user.PersonNumber = number;
        EXPECT_TRUE(lookup.LookUpPerson()) << link.logged().join(u'\n').toStdString();
        return user.IsEntry ? 'E' : 'S';
    };
    EXPECT_EQ(directionOf(u"0000000005"_s), 'E');
    journal.append({u"0000000005"_s, true, QDateTime(QDate(2026, 1, 5), QTime(8, 0))});
    EXPECT_EQ(directionOf(u"0000000005"_s), 'S');
    EXPECT_TRUE(link.logged().contains(u"Última passagem ainda no diário: E em 2026-01-05 08:00:00"_s));
    journal.append({u"0000000005"_s, false, QDateTime(QDate(2026, 1, 5), QTime(8, 5))});
    EXPECT_EQ(directionOf(u"0000000005"_s), 'E');

    // An employee's direction is the time clock's, whatever the turnstile kept.
    journal.append({u"0000000006"_s, false, QDateTime(QDate(2026, 1, 5), QTime(8, 6))});
    EXPECT_EQ(directionOf(u"0000000006"_s), 'E');
}

} // namespace
} // namespace zul

#include "DbBackend.h"
#include "LinkedDevice.h"
#include "access/OnlineDisplay.h"
#include "access/PassageFeedback.h"
#include "access/PassageJournal.h"
#include "db/Statements.h"
#include "db/XFields.h"

#include <memory>

using namespace Qt::StringLiterals;

using namespace zul;
using namespace zul::db;
using zul::test::Backend;
using zul::test::DbBackendTest;

namespace {

// Registration and the journal of refused passages against each real database: the passage log
// must end up with exactly one row per passage, at the time the person passed, however often
// the journal is written.
class PassageRegistrationTest : public DbBackendTest
{
protected:
    void SetUp() override
    {
        DbBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        exec(
            u"INSERT INTO PESSOA (NRPESSOA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES ('0000000001', 'ANA', 'S')"_s);
        journal = std::make_unique<PassageJournal>(dir.file(u"logCatraca/passagensPendentes.jrn"_s));
        PassageHooks hooks;
        hooks.broadcast = [this](const QString& text, const QString& prefix) { broadcasts << prefix + text; };
        hooks.reconnect = [](bool, bool) { return false; };
        hooks.serverNow = [this] { return link.clock.now().addSecs(90); };
        feedback = std::make_unique<PassageFeedback>(link.device, display, connection, *journal, hooks);
    }

    void TearDown() override
    {
        feedback.reset();
        if (!IsSkipped() && !connection.Connected())
            reconnect();
        DbBackendTest::TearDown();
    }

    // A new session: the PostgreSQL cases work in a schema of their own.
    void reconnect()
    {
        connection.SetConnected(true);
        if (!schema.isEmpty())
            exec(u"SET search_path TO "_s + schema);
    }

    QList<QDateTime> passageTimes()
    {
        TXQuery q;
        q.SetConnection(&connection);
        q.SetSQL(
            u"SELECT DTREGISCATRACA FROM REGISCATRACA WHERE NRPESSOA = '0000000001' ORDER BY DTREGISCATRACA"_s);
        q.Open();
        QList<QDateTime> times;
        for (; !q.Eof(); q.Next())
            times << q.FieldByName(u"DTREGISCATRACA"_s)->AsDateTime();
        return times;
    }

    QString lastDirection()
    {
        TXQuery q;
        q.SetConnection(&connection);
        q.SetSQL(StatementText(StatementId::Sentido, connection.Dialect()));
        q.ParamByName(u"P_NRPESSOA"_s).SetAsString(u"0000000001"_s);
        q.ParamByName(u"P_NRPESSOA2"_s).SetAsString(u"0000000001"_s);
        q.Open();
        return q.Eof() ? QString() : q.FieldByName(u"IDREGISCATRACA"_s)->AsString();
    }

    test::LinkedDevice link;
    OnlineDisplay display{link.clock};
    std::unique_ptr<PassageJournal> journal;
    std::unique_ptr<PassageFeedback> feedback;
    QStringList broadcasts;
};

} // namespace

TEST_P(PassageRegistrationTest, RefusedPassageIsWrittenOnceAtItsTime)
{
    const QDateTime passedAt(QDate(2026, 1, 5), QTime(8, 1, 30));
    link.device.userDados() = TUserDados{u"0000000001"_s, u"ANA"_s, false};
    connection.SetConnected(false);
    feedback->ConfirmPassage();
    EXPECT_TRUE(broadcasts.isEmpty());
    ASSERT_EQ(journal->entries().size(), 1);

    reconnect();
    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(passageTimes(), QList<QDateTime>{passedAt});
    EXPECT_EQ(lastDirection(), u"S"_s);
    EXPECT_EQ(broadcasts, QStringList{u"[SAI]0000000001"_s});

    // As after a crash between the insert and the journal's update: the same passage again.
    journal->append(JournaledPassage{u"0000000001"_s, false, passedAt});
    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(passageTimes(), QList<QDateTime>{passedAt});
    EXPECT_TRUE(journal->isEmpty());

    // A later passage the database takes at once goes in with the server's own clock.
    link.device.userDados().IsEntry = true;
    feedback->ConfirmPassage();
    EXPECT_EQ(passageTimes().size(), 2);
    EXPECT_EQ(lastDirection(), u"E"_s);
    EXPECT_EQ(broadcasts.last(), u"[ENT]0000000001"_s);
}

INSTANTIATE_TEST_SUITE_P(Backends, PassageRegistrationTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL, Backend::Odbc),
                         zul::test::backendName);

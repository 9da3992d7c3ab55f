#include "ManagerWindow.h"
#include "db/XDataSet.h"
#include "db/XFields.h"

#include <QLabel>
#include <QTcpSocket>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace zul::test {
namespace {

// The whole manager online, on the embedded SQLite file and on a PostgreSQL server.
class ManagerOnlineTest : public ManagerWindowTest, public ::testing::WithParamInterface<Backend>
{
protected:
    void SetUp() override
    {
        ManagerWindowTest::SetUp();
        if (GetParam() == Backend::PostgreSQL)
            UsePostgreSQL();
        if (IsSkipped())
            return;
        CreateDatabase();
        CreateWindow();
        ASSERT_EQ(Start(), QString());
    }

    // The directions of one person's passages in the passage log, oldest first, read beside
    // the manager's own connection.
    QStringList PassagesOf(const QString& person) const
    {
        TXConnection connection;
        ConnectBeside(connection);
        TXQuery query;
        query.SetConnection(&connection);
        query.SetSQL(
            u"SELECT IDREGISCATRACA FROM REGISCATRACA WHERE NRPESSOA = :P ORDER BY DTREGISCATRACA"_s);
        query.ParamByName(u"P"_s).SetAsString(person);
        query.Open();
        QStringList rows;
        for (; !query.Eof(); query.Next())
            rows << query.FieldByName(u"IDREGISCATRACA"_s)->AsString();
        return rows;
    }

    // The passage log refuses every insert until AcceptWrites.
    void RefuseWrites() const
    {
        if (OnPostgreSQL()) {
            Execute(
                u"CREATE FUNCTION REFUSE() RETURNS TRIGGER AS $$ BEGIN RAISE EXCEPTION 'disco cheio'; END $$ "
                "LANGUAGE plpgsql"_s);
            Execute(
                u"CREATE TRIGGER REFUSE BEFORE INSERT ON REGISCATRACA FOR EACH ROW EXECUTE FUNCTION REFUSE()"_s);
        } else {
            Execute(
                u"CREATE TRIGGER REFUSE BEFORE INSERT ON REGISCATRACA BEGIN SELECT RAISE(ABORT, 'disco cheio'); END"_s);
        }
    }
    void AcceptWrites() const
    {
        Execute(OnPostgreSQL() ? u"DROP TRIGGER REFUSE ON REGISCATRACA"_s : u"DROP TRIGGER REFUSE"_s);
    }
};

TEST_P(ManagerOnlineTest, EntryIsReleasedRegisteredAndAnnouncedToSocketClients)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, notificationPort);
    QByteArray heard;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { heard += client.readAll(); });
    const QStringList before = PassagesOf(u"0000000005"_s);

    RunOnline({
        {[this] { return Polling(); }, [this] { sim->presentCard("0000000005"); }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { sim->rotate(); }},
        {[&] { return heard.contains("[ENT]0000000005"); }, [this] { window->StopConnection(); }},
    });

    EXPECT_EQ(heard, QByteArray("[ENT]0000000005"));
    EXPECT_EQ(sim->lastRelease(), "LiberarCatracaEntradaInvertida");
    EXPECT_EQ(PassagesOf(u"0000000005"_s), before + QStringList{u"E"_s});
    const QStringList logged = Logged();
    EXPECT_TRUE(logged.contains(u"Usuário tentando passar: 0000000005"_s));
    EXPECT_TRUE(logged.contains(u"Sentido: Entrada"_s));
    EXPECT_EQ(window->StatusLine(), u"Catraca desconectada"_s);
}

TEST_P(ManagerOnlineTest, EmployeeLeavesAfterPunchingInWithTheNormalMounting)
{
    window->ChooseDirection(true);
    ASSERT_TRUE(window->normalMounting());

    RunOnline({
        // Employee 0001 punched in last: the time clock, not the turnstile, says he leaves now.
        {[this] { return Polling(); }, [this] { sim->presentCard("0000000001"); }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { sim->rotate(); }},
        {[this] { return PassagesOf(u"0000000001"_s).size() == 1; }, [this] { window->StopConnection(); }},
    });

    EXPECT_EQ(sim->lastRelease(), "LiberarCatracaSaida");
    EXPECT_EQ(PassagesOf(u"0000000001"_s), QStringList{u"S"_s});
    EXPECT_TRUE(Logged().contains(u"É funcionário   Código: 0001   Empresa: 01"_s));
}

TEST_P(ManagerOnlineTest, PassageTheDatabaseRefusedIsWrittenOnceWhenItTakesWritesAgain)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, notificationPort);
    QByteArray heard;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { heard += client.readAll(); });
    const QStringList before = PassagesOf(u"0000000005"_s);
    const auto journaled = [this] {
        const QStringList logged = Logged();
        return std::any_of(logged.cbegin(), logged.cend(),
                           [](const QString& line) { return line.contains(u"Registra acesso - ERRO: "); });
    };

    RunOnline({
        // The passage log refuses writes while Pedro walks through...
        {[this] { return Polling(); },
         [this] {
             RefuseWrites();
             sim->presentCard("0000000005");
         }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { sim->rotate(); }},
        // ...and takes them again before Ana comes through, whose registration writes his first.
        {[&] { return journaled() && Polling(); },
         [this] {
             AcceptWrites();
             sim->presentCard("0000000003");
         }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { sim->rotate(); }},
        {[&] { return heard.contains("[SAI]0000000003"); }, [this] { window->StopConnection(); }},
    });

    // Announced once, and only after it was written.
    EXPECT_EQ(heard, QByteArray("[ENT]0000000005[SAI]0000000003"));
    EXPECT_EQ(PassagesOf(u"0000000005"_s), before + QStringList{u"E"_s});
    EXPECT_EQ(PassagesOf(u"0000000003"_s).last(), u"S"_s);
}

TEST_P(ManagerOnlineTest, ChangeNotificationIsCarriedOutOnTheControllerAndAnswered)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, notificationPort);
    QByteArray heard;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { heard += client.readAll(); });

    RunOnline({
        {[&] { return Polling() && client.state() == QAbstractSocket::ConnectedState; },
         [&] { client.write("[INS]0000000001"); }},
        {[&] { return heard.contains("[INS]0000000001"); }, [this] { window->StopConnection(); }},
    });

    EXPECT_EQ(heard, QByteArray("[OK][INS]0000000001")) << Logged().join(u'\n').toStdString();
    EXPECT_EQ(sim->users().count("0000000001"), 1u);
    EXPECT_TRUE(window->PendingQueue().isEmpty());
}

TEST_P(ManagerOnlineTest, ClosingWhileOnlineAnsweredNoLeavesTheLoopRunning)
{
    int closed = 0;
    QObject::connect(window.get(), &ManagerCore::closed, [&] { ++closed; });
    qint64 askedAt = 0;
    dialogs.queueAnswer(false);

    RunOnline({
        {[this] { return Polling(); },
         [&] {
             askedAt = clock.elapsedMs();
             window->FormClose();
         }},
        // The loop goes on polling: a card presented afterwards is still answered.
        {[&] { return clock.elapsedMs() > askedAt + 2000; }, [this] { sim->presentCard("0000000003"); }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { window->StopConnection(); }},
    });

    EXPECT_EQ(closed, 0);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text,
              u"A catraca está online.\r\nConfirma saída do Gerenciador da Catraca?"_s);
    EXPECT_EQ(sim->lastRelease(), "LiberarCatracaSaidaInvertida");
}

TEST_P(ManagerOnlineTest, ClosingWhileOnlineAnsweredYesEndsTheLoopAndTheProgram)
{
    int closed = 0;
    QObject::connect(window.get(), &ManagerCore::closed, [&] { ++closed; });
    dialogs.queueAnswer(true);
    QString statusAfterAnswer;

    RunOnline({
        {[this] { return Polling(); },
         [&] {
             window->FormClose();
             statusAfterAnswer = window->StatusLine();
         }},
    });

    EXPECT_EQ(closed, 1);
    EXPECT_EQ(statusAfterAnswer, u"Feche a conexão"_s);
    EXPECT_TRUE(window->device().IsStopRequested());
    EXPECT_TRUE(dialogs.allAnswersUsed());

    window.reset();
    const QString separator(47, u'-');
    const QStringList logged = Logged();
    EXPECT_EQ(logged.mid(logged.size() - 4),
              (QStringList{separator, u"    O programa foi finalizado normalmente"_s, separator, QString()}));
    const sim::Display display = sim->display();
    EXPECT_EQ(display.line1 + display.line2, std::string("Servidor Catraca Foi  Desligado "));
}

INSTANTIATE_TEST_SUITE_P(Databases, ManagerOnlineTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

} // namespace
} // namespace zul::test

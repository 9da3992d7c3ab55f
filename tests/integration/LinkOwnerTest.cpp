// The whole manager while something else asks for the link: a start of the connection, a
// restart, the operator's stop. Every device wait dispatches window messages, so these requests
// arrive in the middle of the loop, a synchronisation or a queue step.
#include "ManagerWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>

namespace zul::test {
namespace {

using namespace Qt::StringLiterals;

const QString Banner = u"¬¬¬¬¬¬¬¬¬¬¬¬¬¬ Controla Catraca ¬¬¬¬¬¬¬¬¬¬¬¬¬¬¬"_s;

class LinkOwnerTest : public ManagerWindowTest
{
protected:
    void SetUp() override
    {
        ManagerWindowTest::SetUp();
        CreateDatabase();
        CreateWindow();
        ASSERT_EQ(Start(), QString());
    }

    // RunOnline across restarts: the steps go on in the loop that follows a restart, since the
    // top level runs long enough for `tmrInicializa` to fire again.
    void RunAcrossRestarts(std::vector<Step> steps, qint64 topLevelMs)
    {
        auto remaining = std::make_shared<std::vector<Step>>(std::move(steps));
        auto next = std::make_shared<std::size_t>(0);
        const qint64 deadline = clock.elapsedMs() + 120000;
        timers->whenever([this, remaining, next, deadline] {
            if (clock.elapsedMs() > deadline) {
                ADD_FAILURE() << "scenario stuck at step " << *next;
                window->device().RequestStop();
                return true;
            }
            if (*next < remaining->size() && (*remaining)[*next].ready()) {
                (*remaining)[*next].act();
                ++*next;
            }
            return *next == remaining->size();
        });
        timers->run(topLevelMs);
        EXPECT_TRUE(timers->stepsDone()) << "the scenario did not end";
    }

    qsizetype Count(const QString& line) const { return Logged().count(line); }
    qsizetype IndexOf(const QString& line, qsizetype from = 0) const { return Logged().indexOf(line, from); }
};

TEST_F(LinkOwnerTest, NotificationQueuedDuringAScheduledSynchronisationIsCarriedOutOnceAfterTheRestart)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, notificationPort);
    QByteArray heard;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { heard += client.readAll(); });
    // Due long ago, and users the database does not know: the synchronisation waits for the
    // controller for seconds on end.
    SettingsStore(messages, registry).writeScheduledSync(QDateTime(QDate(2001, 1, 1), QTime(6, 0)));
    for (const char* code : {"0000000090", "0000000091", "0000000092"})
        sim->addUser(code);
    const QString queued = u"Usuário na fila a ser inserido: [INS]0000000001"_s;
    const auto synchronising = [this] {
        return window->device().link().holder() == LinkHolder::Synchronisation &&
               window->device().lastResult() == 128;
    };

    RunAcrossRestarts(
        {
            {[&] { return Polling() && client.state() == QAbstractSocket::ConnectedState; },
             [this] { window->onlineLoop().HousekeepingPasses = OnlineLoop::HousekeepingInterval; }},
            {synchronising, [&] { client.write("[INS]0000000001"); }},
            {[&] { return heard.contains("[INS]0000000001"); }, [this] { window->StopConnection(); }},
        },
        10000);

    EXPECT_EQ(heard, QByteArray("[OK][INS]0000000001"));
    EXPECT_EQ(Count(queued), 1);
    // Carried out by the loop that followed the restart, not by the pass that ran the schedule.
    const qsizetype synchronised = IndexOf(u"Disparar sincronismo agendado para 01/01/2001 06:00:00"_s);
    ASSERT_GE(synchronised, 0);
    const qsizetype restarted = IndexOf(Banner, synchronised);
    ASSERT_GE(restarted, 0);
    EXPECT_GT(IndexOf(queued), restarted);
    EXPECT_EQ(Logged().count(Banner), 2);
    EXPECT_EQ(sim->users().count("0000000001"), 1u);
    EXPECT_TRUE(window->PendingQueue().isEmpty());
    // The schedule moved on to the next day.
    const std::optional<QDateTime> next = SettingsStore(messages, registry).readScheduledSync();
    ASSERT_TRUE(next);
    EXPECT_GT(next->date(), QDate(2001, 1, 1));
}

TEST_F(LinkOwnerTest, ScheduledSynchronisationRefusedWhileTheLinkIsInUseStaysDue)
{
    const QDateTime due(QDate(2001, 1, 1), QTime(6, 0));
    SettingsStore(messages, registry).writeScheduledSync(due);
    sim->addUser("0000000090");
    auto queueStep = std::make_shared<std::optional<LinkOwnership::Claim>>();

    RunOnline({
        // Another operation works on the loop's link when the check comes.
        {[this] { return Polling(); },
         [&] {
             *queueStep = window->device().link().claim(LinkHolder::QueueStep);
             ASSERT_TRUE(queueStep->has_value());
             window->onlineLoop().HousekeepingPasses = OnlineLoop::HousekeepingInterval;
         }},
        {[this] { return window->onlineLoop().HousekeepingRuns == 1; },
         [&] {
             queueStep->reset();
             window->StopConnection();
         }},
    });
    timers->run(3000);

    EXPECT_EQ(SettingsStore(messages, registry).readScheduledSync(), std::optional<QDateTime>(due));
    EXPECT_EQ(Count(u"##### Dispara Sincronismo - ERRO: sincronismo recusado: catraca em uso (atualização da "
                    "fila) #####"_s),
              1);
    EXPECT_EQ(Count(u"Liberou catraca para sincronismo"_s), 0);
    EXPECT_EQ(sim->users().count("0000000090"), 1u);
    EXPECT_EQ(Count(Banner), 1) << "nothing was restarted";
}

TEST_F(LinkOwnerTest, TimerAndButtonDuringARunningLoopStartNothingNested)
{
    long opensBefore = 0;
    RunOnline({
        {[this] { return Polling(); },
         [&] {
             opensBefore = Calls("AbrirPortaComunicacao");
             window->StartConnection();
             window->tmrInicializaTimer();
         }},
        // The loop goes on serving the turnstile.
        {[this] { return Polling(); }, [this] { sim->presentCard("0000000003"); }},
        {[this] { return sim->arm() != sim::Arm::Locked; }, [this] { window->StopConnection(); }},
    });
    // Nothing the deferred requests could start afterwards.
    timers->run(5000);

    EXPECT_EQ(Calls("AbrirPortaComunicacao"), opensBefore);
    EXPECT_EQ(Count(Banner), 1);
    EXPECT_EQ(Count(u"Início da conexão adiado: catraca em uso (controle online)"_s), 1);
    EXPECT_EQ(sim->lastRelease(), "LiberarCatracaSaidaInvertida");
    EXPECT_FALSE(window->tmrInicializa->isActive());
    EXPECT_TRUE(SimulatorFixture::eventually([this] { return !sim->linkOpen(); }));
    EXPECT_EQ(window->StatusLine(), messages.Lookup(u"DESCONECT"_s));
}

TEST_F(LinkOwnerTest, OperatorsStopDuringThePingsSleepIsNotUndoneByAReopen)
{
    // A controller that stopped answering long ago: its next failed ping reopens the port.
    sim->setFault("Ping", 3);
    window->device().SetFailedPings(DeviceBinding::ReopenAfterFailedPings);
    long opensBefore = 0;
    RunOnline({
        // The first dispatch after the ping is the ping's own sleep.
        {[this] { return Calls("Ping") > 0; },
         [&] {
             opensBefore = Calls("AbrirPortaComunicacao");
             window->StopConnection();
         }},
    });
    timers->run(5000);

    EXPECT_EQ(Calls("AbrirPortaComunicacao"), opensBefore);
    EXPECT_TRUE(SimulatorFixture::eventually([this] { return !sim->linkOpen(); }));
    EXPECT_EQ(Count(u"Reabertura da porta de comunicação cancelada: conexão encerrada"_s), 1);
    EXPECT_EQ(Count(Banner), 1);
    EXPECT_EQ(window->StatusLine(), messages.Lookup(u"DESCONECT"_s));
}

} // namespace
} // namespace zul::test

#include "ManagerWindow.h"
#include "NotifySocket.h"
#include "app/ServiceRun.h"
#include "platform/ServiceControl.h"

using namespace Qt::StringLiterals;

namespace zul::test {
namespace {

// The whole manager as the systemd service: it says it is ready only when the database is
// connected and the turnstile online, and keeps the service alive from the online loop's
// message dispatch.
class ManagerServiceTest : public ManagerWindowTest
{
protected:
    void SetUp() override
    {
        if (!platform::serviceNotificationsWanted() && !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
            GTEST_SKIP() << "runs under a unit itself";
        unit = std::make_unique<NotifySocket>(KeepAliveMs);
        if (!platform::serviceNotificationsWanted())
            GTEST_SKIP() << "built without libsystemd";
        ManagerWindowTest::SetUp();
        CreateDatabase();
        CreateWindow();
        notifier = std::make_unique<ServiceNotifier>(clock, [this] { return ManagerOnline(*window); });
        notifier->start(TimerStretch);
        timers->add(&notifier->timer(), ServiceNotifier::TickMs, [this] { notifier->Tick(); });
    }
    void TearDown() override
    {
        notifier.reset();
        ManagerWindowTest::TearDown();
        unit.reset();
    }

    static constexpr qint64 KeepAliveMs = 4000;
    std::unique_ptr<NotifySocket> unit;
    std::unique_ptr<ServiceNotifier> notifier;
};

TEST_F(ManagerServiceTest, ReadyOnlyOnceTheTurnstileIsOnline)
{
    ASSERT_EQ(Start(), QString());
    QStringList heard;
    bool readyBeforePolling = false;
    qint64 pollingSince = -1;
    RunOnline({
        {[&] {
             heard += unit->received();
             if (heard.contains(u"READY=1"_s) && !Polling())
                 readyBeforePolling = true;
             if (Polling() && pollingSince < 0)
                 pollingSince = clock.elapsedMs();
             // Some turnstile time online, enough for several keep-alives.
             return pollingSince >= 0 && clock.elapsedMs() - pollingSince > 3 * KeepAliveMs;
         },
         [this] { window->StopConnection(); }},
    });
    heard += unit->received();
    EXPECT_FALSE(readyBeforePolling);
    EXPECT_EQ(heard.count(u"READY=1"_s), 1) << heard.join(u' ').toStdString();
    EXPECT_GE(heard.count(u"WATCHDOG=1"_s), 3) << heard.join(u' ').toStdString();
}

TEST_F(ManagerServiceTest, NotReadyWhileTheTurnstileCannotBeReached)
{
    sim.simulator().setFault("AbrirPortaComunicacao", 1);
    ASSERT_EQ(Start(), QString());
    timers->run(20000);
    const QStringList heard = unit->received();
    EXPECT_FALSE(heard.contains(u"READY=1"_s)) << heard.join(u' ').toStdString();
    // Alive all the same: the program waits for the turnstile, it is not stuck.
    EXPECT_GE(heard.count(u"WATCHDOG=1"_s), 5);
}

} // namespace
} // namespace zul::test

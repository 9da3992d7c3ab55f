#include "app/ServiceRun.h"

#include "NotifySocket.h"
#include "platform/ServiceControl.h"
#include "support/Clock.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

struct Box
{
    bool error;
    QString title;
    QString text;
};

class ServiceInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Where the service control manager exists these runs would really install.
        if (platform::servicesHaveDesktop())
            GTEST_SKIP() << "the Windows service manager is tested by the platform tests";
    }

    int Run(const QStringList& switches)
    {
        const ProgramOptions options = ParseProgramOptions(QStringList{u"zul"_s} + switches);
        return RunServiceInstall(options, [this](bool error, const QString& title, const QString& text) {
            boxes.push_back({error, title, text});
        });
    }

    std::vector<Box> boxes;
};

// No Windows service manager here: both runs fail, say so in their own box, even with -SILENT,
// and tell the installer through the exit status.
TEST_F(ServiceInstallTest, FailureIsShownEvenWhenSilentAndEndsWithFailure)
{
    EXPECT_EQ(Run({u"-INSTALL"_s, u"/silent"_s}), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].error);
    EXPECT_TRUE(boxes[0].text.startsWith(
        u"Serviço \"ZUL - Gerenciamento da Catraca Biométrica\" falhou para a instalação com erro: \""_s))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(u"systemctl"_s));

    EXPECT_EQ(Run({u"\\UNINSTALL"_s}), 1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].text.startsWith(
        u"Service \"ZUL - Gerenciamento da Catraca Biométrica\" failed para a desinstalação com erro: \""_s))
        << boxes[1].text.toStdString();
}

TEST(ServiceRunChoice, SystemdUnitAsksForTheServiceRunOnItsCommandLine)
{
    if (platform::servicesHaveDesktop())
        GTEST_SKIP() << "Windows decides by the service's account";
    EXPECT_TRUE(ChoosesServiceRun(ParseProgramOptions({u"zul"_s, u"--service"_s})));
    EXPECT_FALSE(ChoosesServiceRun(ParseProgramOptions({u"zul"_s, u"--headless"_s})));
    EXPECT_FALSE(ServiceRunHasWindow());
}

TEST(InstalledLayout, BuildTreeKeepsItsFilesBesideTheProgram)
{
    EXPECT_FALSE(IsInstalledCopy());
    EXPECT_EQ(DefaultLogFolder(), QCoreApplication::applicationDirPath() + u"/logCatraca"_s);
}

// systemd's side in virtual time: the keep-alive every half interval the unit asks for, while
// the main thread ticks; readiness once, only when the manager is ready.
class ServiceNotifierTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!platform::serviceNotificationsWanted())
            GTEST_SKIP() << "built without libsystemd";
    }

    // Ticks as the timer would for `ms` of virtual time.
    void RunFor(ServiceNotifier& notifier, qint64 ms)
    {
        for (qint64 passed = 0; passed < ms; passed += ServiceNotifier::TickMs) {
            notifier.Tick();
            clock.advance(ServiceNotifier::TickMs);
        }
    }

    test::NotifySocket unit{2000};
    ManualClock clock;
    bool ready = false;
};

TEST_F(ServiceNotifierTest, KeepAliveEveryHalfIntervalAndReadyOnceWhenTheManagerIs)
{
    ServiceNotifier notifier(clock, [this] { return ready; });
    ASSERT_TRUE(notifier.active());
    EXPECT_EQ(notifier.keepAliveIntervalMs(), 2000);

    RunFor(notifier, 3000); // ticks at 0, 0.5, ... 2.5 s
    EXPECT_EQ(unit.received(), QStringList(3, u"WATCHDOG=1"_s));
    EXPECT_FALSE(notifier.readySent());

    ready = true;
    RunFor(notifier, 1000);
    const QStringList sent = unit.received();
    EXPECT_EQ(sent.count(u"READY=1"_s), 1) << sent.join(u' ').toStdString();
    EXPECT_EQ(sent.first(), u"READY=1"_s);

    // Ready stays said; the keep-alive goes on. A main thread that stops ticking sends nothing.
    RunFor(notifier, 2000);
    EXPECT_EQ(unit.received(), QStringList(2, u"WATCHDOG=1"_s));
    clock.advance(60000);
    EXPECT_TRUE(unit.received().isEmpty());
}

TEST_F(ServiceNotifierTest, UnitWithoutKeepAliveGetsOnlyReadiness)
{
    qunsetenv("WATCHDOG_USEC");
    qunsetenv("WATCHDOG_PID");
    ready = true;
    ServiceNotifier notifier(clock, [this] { return ready; });
    EXPECT_EQ(notifier.keepAliveIntervalMs(), 0);
    RunFor(notifier, 5000);
    EXPECT_EQ(unit.received(), QStringList{u"READY=1"_s});
}

TEST(ServiceNotifierOff, NothingIsSentWhenTheUnitAsksForNothing)
{
    qunsetenv("NOTIFY_SOCKET");
    ManualClock clock;
    ServiceNotifier notifier(clock, [] { return true; });
    EXPECT_FALSE(notifier.active());
    notifier.Tick();
    EXPECT_FALSE(notifier.readySent());
}

} // namespace
} // namespace zul

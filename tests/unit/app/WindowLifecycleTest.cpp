#include "LinkedDevice.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "app/TfrmCatraca.h"
#include "device/DeviceBinding.h"
#include "platform/Registry.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"

#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

// A window that was never started: no library, no database; only its close and end paths.
class WindowLifecycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppEnvironment env{clock, dialogs, log, registry, true};
        env.notificationPort = 0;
        env.deviceLibrary = u"libNoSuchLibrary.so"_s;
        window = std::make_unique<TfrmCatraca>(env);
    }

    // Asks the window to close the way its frame does; true when it closed.
    bool CloseFromFrame()
    {
        int closed = 0;
        const auto connection = QObject::connect(window.get(), &TfrmCatraca::closed, [&] { ++closed; });
        window->close();
        QObject::disconnect(connection);
        return closed == 1;
    }

    QStringList Logged() const { return test::logTexts(log, clock); }

    test::TempDir dir;
    ManualClock clock;
    test::ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    std::unique_ptr<TfrmCatraca> window;
};

struct CloseCase
{
    const char* name;
    const char* statusKey; // the status line shown when the close is asked
    bool stopped;          // a stop already requested
    std::optional<bool> answer;
    bool asked;
    bool closes;
};

class CloseRequest : public WindowLifecycleTest, public ::testing::WithParamInterface<CloseCase>
{
};

TEST_P(CloseRequest, AsksOnlyWhileTheTurnstileIsOnline)
{
    const CloseCase& c = GetParam();
    window->core().device().ShowStatus(0); // any status first, so the case's one is a change
    window->core().SetStatusLine(window->core().messages().Lookup(QString::fromLatin1(c.statusKey)));
    if (c.stopped)
        window->core().device().RequestStop();
    else
        window->core().device().ClearStopRequest();
    if (c.answer)
        dialogs.queueAnswer(*c.answer);

    EXPECT_EQ(CloseFromFrame(), c.closes);
    EXPECT_EQ(dialogs.shown.size(), c.asked ? 1 : 0);
    if (c.asked) {
        EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Question);
        EXPECT_EQ(dialogs.shown[0].title, u"Catraca Biométrica - Gerenciador"_s);
        EXPECT_EQ(dialogs.shown[0].text,
                  u"A catraca está online.\r\nConfirma saída do Gerenciador da Catraca?"_s);
        EXPECT_EQ(dialogs.unscripted, c.answer ? 0 : 1);
    }
    EXPECT_EQ(window->core().device().IsStopRequested(), c.closes || c.stopped);
    if (c.closes && !c.stopped) {
        EXPECT_EQ(window->lblConnect->text(), u"Feche a conexão"_s);
    }
    if (!c.closes) {
        EXPECT_EQ(window->lblConnect->text(),
                  window->core().messages().Lookup(QString::fromLatin1(c.statusKey)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseRequest,
    ::testing::Values(CloseCase{"Trying", "TENTANDO", false, std::nullopt, false, true},
                      CloseCase{"Disconnected", "DESCONECT", false, std::nullopt, false, true},
                      CloseCase{"StoppedWhileOnline", "CONECTADA", true, std::nullopt, false, true},
                      CloseCase{"OnlineAnsweredNo", "CONECTADA", false, false, true, false},
                      CloseCase{"OnlineAnsweredYes", "CONECTADA", false, true, true, true},
                      CloseCase{"OnlineNobodyAnswers", "SINCRONIZANDO", false, std::nullopt, true, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(WindowLifecycleTest, ServiceWindowRefusesTheFrameCloseWithABox)
{
    window->Initialize(true);
    window->core().device().RequestStop();
    EXPECT_FALSE(CloseFromFrame());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.shown[0].icon, OperatorDialogs::Icon::Warning);
    EXPECT_EQ(dialogs.shown[0].text, u"Esta aplicação não pode ser finalizada através deste comando."_s);

    // A stop of the service ends it all the same, online loop included.
    window->core().device().ClearStopRequest();
    int closed = 0;
    QObject::connect(window.get(), &TfrmCatraca::closed, [&] { ++closed; });
    window->core().RequestQuit();
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(window->core().device().IsStopRequested());
}

TEST_F(WindowLifecycleTest, EndSessionLogsItsThreeLinesAndAsksNothing)
{
    window->core().EndSession();
    const QString separator(47, u'-');
    EXPECT_EQ(Logged(),
              (QStringList{separator, u"     Encerramento do Windows (WMEndSession)"_s, separator}));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_FALSE(window->core().device().IsStopRequested());
}

TEST_F(WindowLifecycleTest, DestructionLogsTheNormalEndAndTellsTheDisplay)
{
    test::LinkedDevice link;
    window.reset();
    window = std::make_unique<TfrmCatraca>(AppEnvironment{clock, dialogs, log, registry, true});
    ASSERT_NE(window->core().device().LoadDeviceLibrary(), 0u);
    window->core().device().ReadDevicePort();
    ASSERT_EQ(
        window->core().device().Call<easyinner::AbrirPortaComunicacao>(window->core().device().devicePort()),
        0);

    window.reset();
    const QString separator(47, u'-');
    EXPECT_EQ(Logged().mid(Logged().size() - 4),
              (QStringList{separator, u"    O programa foi finalizado normalmente"_s, separator, QString()}));
    const sim::Display display = link.sim->display();
    EXPECT_EQ(display.line1 + display.line2, std::string("Servidor Catraca Foi  Desligado "));
}

// A desktop window, for what the notification area does to it.
class TrayTest : public WindowLifecycleTest
{
protected:
    void SetUp() override
    {
        AppEnvironment env{clock, dialogs, log, registry, false};
        env.notificationPort = 0;
        env.deviceLibrary = u"libNoSuchLibrary.so"_s;
        env.trayAvailable = [this] { return trayArea; };
        window = std::make_unique<TfrmCatraca>(env);
    }

    bool trayArea = true;
};

TEST_F(TrayTest, IconAppearsWhenTheNotificationAreaComesAfterTheStart)
{
    trayArea = false; // started before the desktop
    window->Initialize(false);
    EXPECT_EQ(window->trayIcon(), nullptr);
    ASSERT_NE(window->trayWatch(), nullptr);
    EXPECT_TRUE(window->trayWatch()->isActive());

    window->AddTrayIcon(); // the watch looks again: still nothing
    EXPECT_EQ(window->trayIcon(), nullptr);
    EXPECT_TRUE(window->trayWatch()->isActive());

    trayArea = true;
    window->AddTrayIcon();
    ASSERT_NE(window->trayIcon(), nullptr);
    EXPECT_TRUE(window->trayIcon()->isVisible());
    EXPECT_FALSE(window->trayWatch()->isActive());
}

TEST_F(TrayTest, MinimizeOfAWindowHiddenInTheTrayKeepsItHidden)
{
    window->Initialize(false);
    ASSERT_NE(window->trayIcon(), nullptr);
    window->hide(); // where a minimized window with a tray icon goes
    window->mnuMinimizar->trigger();
    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(window->isMinimized());

    // Shown, the same command minimizes it.
    window->show();
    window->mnuMinimizar->trigger();
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(WindowLifecycleTest, StopRequestIsRememberedForAStartThatHasNotReachedItsLoop)
{
    EXPECT_FALSE(window->core().QuitRequested());
    window->core().RequestQuit();
    EXPECT_TRUE(window->core().QuitRequested());
}

} // namespace
} // namespace zul

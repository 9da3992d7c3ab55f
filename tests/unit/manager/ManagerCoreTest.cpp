#include "manager/ManagerCore.h"

#include "LinkedDevice.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "access/OnlineDisplay.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "manager/CoreApplication.h"
#include "platform/Registry.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>
#include <stdexcept>

namespace zul {
namespace {

// The manager core alone, as a headless or service run has it.
class ManagerCoreTest : public ::testing::Test
{
protected:
    QStringList LogLines() const { return test::logTexts(log, clock); }

    test::TempDir dir;
    ManualClock clock;
    test::ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(QStringLiteral("logCatraca"))};
    platform::RegistryStore registry{dir.file(QStringLiteral("machine.reg")).toStdString()};
    ManagerCore core{AppEnvironment{clock, dialogs, log, registry, true}};
};

TEST_F(ManagerCoreTest, CreatesNoWidget)
{
    // What a headless run creates: the core and its subsystems, not one widget.
    EXPECT_TRUE(QApplication::allWidgets().isEmpty());
    EXPECT_EQ(core.StatusLine(), QStringLiteral("Catraca desconectada"));
    EXPECT_EQ(core.deviceLinkChoice().linkType, 1);
    EXPECT_EQ(core.deviceLinkChoice().portDigits, QStringLiteral("3570"));
    EXPECT_FALSE(core.normalMounting());
    EXPECT_TRUE(core.LogEnabled());
    EXPECT_EQ(core.ProfileCaption(), QStringLiteral("Porta Soc&ket (211)"));
    EXPECT_FALSE(core.MenusEnabled());
    EXPECT_TRUE(core.tmrAtualiza->isActive());
    EXPECT_FALSE(core.tmrInicializa->isActive());
}

TEST_F(ManagerCoreTest, IdentificationFormsGiveTheControllerCode)
{
    EXPECT_EQ(core.IdentificationFormsCode(), forms::Biometric);
    core.setIdentificationForms({true, true, false});
    EXPECT_EQ(core.IdentificationFormsCode(), forms::KeypadAndCard);
    core.setIdentificationForms({true, true, true});
    EXPECT_EQ(core.IdentificationFormsCode(), forms::Biometric);
    core.setIdentificationForms({true, false, false});
    EXPECT_EQ(core.IdentificationFormsCode(), forms::Biometric);
}

TEST_F(ManagerCoreTest, LinkChoiceAndMountingAreTheCoresState)
{
    int linkChanges = 0;
    QObject::connect(&core, &ManagerCore::linkChanged, [&] { ++linkChanges; });
    dialogs.queueInput(QStringLiteral("7"));
    core.ChooseLink(false);
    EXPECT_EQ(core.linkMenu().serialCaption, QStringLiteral("&Serial   (Porta 7)"));
    EXPECT_TRUE(core.linkMenu().serialTicked);
    EXPECT_FALSE(core.linkMenu().tcpTicked);
    EXPECT_EQ(core.device().devicePort(), 7);
    EXPECT_EQ(linkChanges, 1);

    // A refused answer abandons the command: nothing changes.
    dialogs.queueInput(QStringLiteral("x"));
    EXPECT_THROW(core.ChooseLink(true), Error);
    EXPECT_EQ(core.linkMenu().tcpCaption, QStringLiteral("TCP/&IP (Porta 3570)"));
    EXPECT_TRUE(core.linkMenu().serialTicked);
    EXPECT_TRUE(core.MenusEnabled());

    const TMessages& m = core.messages();
    core.ChooseDirection(true);
    EXPECT_TRUE(core.normalMounting());
    EXPECT_EQ(core.onlineDisplay().line1(DisplayMessage::Entry), m.Lookup(QStringLiteral("ENTRADA_NORMAL")));
}

TEST_F(ManagerCoreTest, StatusLineCarriesItsHintAndTrayTip)
{
    int changes = 0;
    QObject::connect(&core, &ManagerCore::statusChanged, [&] { ++changes; });
    core.device().ShowStatus(status::GivenText, QString(70, u'y') + QStringLiteral("|detalhe"));
    EXPECT_EQ(core.StatusLine(), QString(70, u'y') + QStringLiteral("|detalhe"));
    EXPECT_EQ(core.StatusHint(), core.StatusLine());
    EXPECT_EQ(core.TrayTip(), QString(63, u'y'));
    EXPECT_GE(changes, 1);
}

TEST_F(ManagerCoreTest, ErrorOfAGuardedHandlerIsReportedNotThrown)
{
    EXPECT_NO_THROW(core.Guarded([] { throw Error(QStringLiteral("Porta inválida!")); }));
    EXPECT_NO_THROW(core.Guarded([] { throw std::runtime_error("boom"); }));
    const QString separator(47, u'-');
    EXPECT_EQ(LogLines(),
              (QStringList{separator, QStringLiteral(" Exceção detectada pela aplicação(Captador ) "),
                           QStringLiteral(" Mensagem: Porta inválida!"), separator, separator,
                           QStringLiteral(" Exceção detectada pela aplicação(Captador ) "),
                           QStringLiteral(" Mensagem: boom"), separator}));
}

TEST_F(ManagerCoreTest, ReportErrorShowsTheBoxOrRaises)
{
    core.ReportError(QStringLiteral("Sem conexão"), false);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.shown[0].icon, OperatorDialogs::Icon::Error);
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Erro"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Sem conexão"));

    try {
        core.ReportError(QStringLiteral("Porta inválida!"), true);
        FAIL() << "no error raised";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Porta inválida!"));
    }
    EXPECT_EQ(dialogs.shown.size(), 1);
}

TEST_F(ManagerCoreTest, EscapedErrorIsLoggedAsTheFourLineBlock)
{
    DeliverCatchingErrors(
        [&] {
            core.ReportError(QStringLiteral("Porta inválida!"), true);
            return true;
        },
        [this](const QString& message) { core.onExcept(message); });
    const QString separator(47, u'-');
    EXPECT_EQ(LogLines(),
              (QStringList{separator, QStringLiteral(" Exceção detectada pela aplicação(Captador ) "),
                           QStringLiteral(" Mensagem: Porta inválida!"), separator}));
}

TEST(TrayTip, ShortHintCutTo63Characters)
{
    EXPECT_EQ(TrayTipFor(QStringLiteral("Catraca conectada")), QStringLiteral("Catraca conectada"));
    EXPECT_EQ(TrayTipFor(QStringLiteral("curta|longa")), QStringLiteral("curta"));
    EXPECT_EQ(TrayTipFor(QString(80, u'x')), QString(63, u'x'));
    EXPECT_EQ(TrayTipFor(QString(70, u'y') + QStringLiteral("|z")), QString(63, u'y'));
}

TEST(DeliverCatchingErrors, StandardExceptionsAreCaughtToo)
{
    QStringList caught;
    const bool handled = DeliverCatchingErrors([]() -> bool { throw std::runtime_error("boom"); },
                                               [&](const QString& message) { caught << message; });
    EXPECT_TRUE(handled);
    EXPECT_EQ(caught, QStringList{QStringLiteral("boom")});
    EXPECT_THROW(DeliverCatchingErrors([]() -> bool { throw Error(QStringLiteral("x")); }, {}), Error);
}

} // namespace
} // namespace zul

#include "manager/ManagerCore.h"

#include "LinkedDevice.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "access/OnlineDisplay.h"
#include "db/ManagerDatabase.h"
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

using namespace Qt::StringLiterals;

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
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    ManagerCore core{AppEnvironment{clock, dialogs, log, registry, true}};
};

TEST_F(ManagerCoreTest, CreatesNoWidget)
{
    // What a headless run creates: the core and its subsystems, not one widget.
    EXPECT_TRUE(QApplication::allWidgets().isEmpty());
    EXPECT_EQ(core.StatusLine(), u"Catraca desconectada"_s);
    EXPECT_EQ(core.deviceLinkChoice().linkType, 1);
    EXPECT_EQ(core.deviceLinkChoice().portDigits, u"3570"_s);
    EXPECT_FALSE(core.normalMounting());
    EXPECT_TRUE(core.LogEnabled());
    EXPECT_EQ(core.ProfileCaption(), u"Porta Soc&ket (211)"_s);
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
    dialogs.queueInput(u"7"_s);
    core.ChooseLink(false);
    EXPECT_EQ(core.linkMenu().serialCaption, u"&Serial   (Porta 7)"_s);
    EXPECT_TRUE(core.linkMenu().serialTicked);
    EXPECT_FALSE(core.linkMenu().tcpTicked);
    EXPECT_EQ(core.device().devicePort(), 7);
    EXPECT_EQ(linkChanges, 1);

    // A refused answer abandons the command: nothing changes.
    dialogs.queueInput(u"x"_s);
    EXPECT_THROW(core.ChooseLink(true), Error);
    EXPECT_EQ(core.linkMenu().tcpCaption, u"TCP/&IP (Porta 3570)"_s);
    EXPECT_TRUE(core.linkMenu().serialTicked);
    EXPECT_TRUE(core.MenusEnabled());

    const TMessages& m = core.messages();
    core.ChooseDirection(true);
    EXPECT_TRUE(core.normalMounting());
    EXPECT_EQ(core.onlineDisplay().line1(DisplayMessage::Entry), m.Lookup(u"ENTRADA_NORMAL"_s));
}

TEST_F(ManagerCoreTest, StatusLineCarriesItsHintAndTrayTip)
{
    int changes = 0;
    QObject::connect(&core, &ManagerCore::statusChanged, [&] { ++changes; });
    core.device().ShowStatus(status::GivenText, QString(70, u'y') + u"|detalhe"_s);
    EXPECT_EQ(core.StatusLine(), QString(70, u'y') + u"|detalhe"_s);
    EXPECT_EQ(core.StatusHint(), core.StatusLine());
    EXPECT_EQ(core.TrayTip(), QString(63, u'y'));
    EXPECT_GE(changes, 1);
}

TEST_F(ManagerCoreTest, ErrorOfAGuardedHandlerIsReportedNotThrown)
{
    EXPECT_NO_THROW(core.Guarded([] { throw Error(u"Porta inválida!"_s); }));
    EXPECT_NO_THROW(core.Guarded([] { throw std::runtime_error("boom"); }));
    const QString separator(47, u'-');
    EXPECT_EQ(LogLines(), (QStringList{separator, u" Exceção detectada pela aplicação(Captador ) "_s,
                                       u" Mensagem: Porta inválida!"_s, separator, separator,
                                       u" Exceção detectada pela aplicação(Captador ) "_s,
                                       u" Mensagem: boom"_s, separator}));
}

TEST_F(ManagerCoreTest, ReconnectTimerErrorsEndInTheExceptionHandler)
{
    ASSERT_TRUE(core.database().OnExcept);
    core.database().OnExcept(u"Banco indisponível"_s);
    const QString separator(47, u'-');
    EXPECT_EQ(LogLines(), (QStringList{separator, u" Exceção detectada pela aplicação(Captador ) "_s,
                                       u" Mensagem: Banco indisponível"_s, separator}));
}

TEST_F(ManagerCoreTest, ReportErrorShowsTheBoxOrRaises)
{
    core.ReportError(u"Sem conexão"_s, false);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.shown[0].icon, OperatorDialogs::Icon::Error);
    EXPECT_EQ(dialogs.shown[0].title, u"Erro"_s);
    EXPECT_EQ(dialogs.shown[0].text, u"Sem conexão"_s);

    try {
        core.ReportError(u"Porta inválida!"_s, true);
        FAIL() << "no error raised";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), u"Porta inválida!"_s);
    }
    EXPECT_EQ(dialogs.shown.size(), 1);
}

TEST_F(ManagerCoreTest, EscapedErrorIsLoggedAsTheFourLineBlock)
{
    DeliverCatchingErrors(
        [&] {
            core.ReportError(u"Porta inválida!"_s, true);
            return true;
        },
        [this](const QString& message) { core.onExcept(message); });
    const QString separator(47, u'-');
    EXPECT_EQ(LogLines(), (QStringList{separator, u" Exceção detectada pela aplicação(Captador ) "_s,
                                       u" Mensagem: Porta inválida!"_s, separator}));
}

TEST(TrayTip, ShortHintCutTo63Characters)
{
    EXPECT_EQ(TrayTipFor(u"Catraca conectada"_s), u"Catraca conectada"_s);
    EXPECT_EQ(TrayTipFor(u"curta|longa"_s), u"curta"_s);
    EXPECT_EQ(TrayTipFor(QString(80, u'x')), QString(63, u'x'));
    EXPECT_EQ(TrayTipFor(QString(70, u'y') + u"|z"_s), QString(63, u'y'));
}

TEST(DeliverCatchingErrors, StandardExceptionsAreCaughtToo)
{
    QStringList caught;
    const bool handled = DeliverCatchingErrors([]() -> bool { throw std::runtime_error("boom"); },
                                               [&](const QString& message) { caught << message; });
    EXPECT_TRUE(handled);
    EXPECT_EQ(caught, QStringList{u"boom"_s});
    EXPECT_THROW(DeliverCatchingErrors([]() -> bool { throw Error(u"x"_s); }, {}), Error);
}

} // namespace
} // namespace zul

#include "sync/DeviceClearing.h"

#include "ScriptedDialogs.h"
#include "SyncFixture.h"

#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;
using Codes = std::set<std::string>;
using Icon = OperatorDialogs::Icon;

class DeviceClearingTest : public test::SyncFixture
{
protected:
    void SetUp() override
    {
        SyncFixture::SetUp();
        clearing.setStandingMessage([this] { return ++standing, 0; });
    }

    QString text(const char* key) const { return link.messages.Lookup(QString::fromLatin1(key)); }

    test::ScriptedDialogs dialogs;
    DeviceClearing clearing{link.device, users, templates, ui, dialogs};
    int standing = 0;
};

TEST_F(DeviceClearingTest, DeletesEveryUserAndChecksByListingAgain)
{
    for (const char* code : {"0000000001", "0000000002", "ABC  "})
        sim.addUser(code);
    dialogs.queueAnswer(true);

    EXPECT_TRUE(clearing.ClearNow());

    EXPECT_TRUE(controllerUsers().empty());
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 3);
    EXPECT_EQ(link.callCount("SolicitarListaUsuariosBio"), 1); // the second listing finds no packet
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Question);
    EXPECT_EQ(dialogs.shown[0].icon, Icon::Warning);
    EXPECT_EQ(dialogs.shown[0].title, text("ATENCAO"));
    EXPECT_EQ(dialogs.shown[0].text, text("TEM_CERTEZA"));
    EXPECT_EQ(dialogs.shown[1].icon, Icon::Information);
    EXPECT_EQ(dialogs.shown[1].title, text("SUCESSO"));
    EXPECT_EQ(dialogs.shown[1].text, text("BD_EXCLUIDO_OK"));
    EXPECT_EQ(link.ui.caption, text("BD_EXCLUIDO_OK"));
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    EXPECT_EQ(standing, 1);
    EXPECT_EQ(sim.arm(), sim::Arm::Both);
    // The list is walked, not emptied, by the deletions; the second listing replaces it.
    EXPECT_TRUE(users.cdsUsersCatraca.IsEmpty());
    const QStringList log = logged();
    EXPECT_TRUE(log.contains(u"Limpar base de dados da catraca"_s));
    EXPECT_TRUE(log.contains(u"Base de dados da catraca limpa com sucesso"_s));
    EXPECT_TRUE(ui.clearing.startsWith(u"Esvaziar BD: "_s));
    EXPECT_TRUE(ui.clearing.endsWith(u"S/Pessoa]"_s));
}

TEST_F(DeviceClearingTest, EmptyControllerIsASuccessWithoutDeletion)
{
    dialogs.queueAnswer(true);
    EXPECT_TRUE(clearing.ClearNow());
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
    EXPECT_EQ(dialogs.shown.last().text, text("BD_EXCLUIDO_OK"));
    EXPECT_FALSE(ui.clearing.contains(u"Pessoa"_s)) << ui.clearing.toStdString();
}

TEST_F(DeviceClearingTest, UsersTheControllerKeepsAreReportedAsFailure)
{
    for (const char* code : {"0000000001", "0000000002", "0000000003"})
        sim.addUser(code);
    sim.setFault("SolicitarExclusaoUsuario", 9);
    dialogs.queueAnswer(true);

    EXPECT_FALSE(clearing.ClearNow());

    EXPECT_EQ(controllerUsers().size(), 3u);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 3); // no retry
    const QStringList log = logged();
    EXPECT_EQ(log.filter(u"Não excluído. Erro[6]"_s).size(), 3);
    EXPECT_TRUE(log.contains(u"Nem todos os dados da catraca foram excluídos. Restante: 3"_s));
    EXPECT_EQ(dialogs.shown.last().icon, Icon::Error);
    EXPECT_EQ(dialogs.shown.last().title, text("ERRO"));
    EXPECT_EQ(dialogs.shown.last().text, text("BD_EXCLUIDO_ERRO"));
    EXPECT_EQ(link.ui.caption, text("BD_EXCLUIDO_ERRO"));
    EXPECT_TRUE(link.ui.inicializaTimerOn);
}

TEST_F(DeviceClearingTest, AnsweringNoChangesNothing)
{
    sim.addUser("0000000001");
    dialogs.queueAnswer(false);
    sim.clearCalls();
    EXPECT_FALSE(clearing.ClearNow());
    EXPECT_FALSE(link.device.IsStopRequested());
    EXPECT_FALSE(link.ui.inicializaTimerOn);
    EXPECT_TRUE(sim.calls().empty());
    EXPECT_EQ(dialogs.shown.size(), 1);
}

TEST_F(DeviceClearingTest, OfflineTurnstileGivesTheFailureBoxAndARestart)
{
    link.loopClaim.reset(); // no online loop: the clearing opens the link itself
    sim.setFault("AbrirPortaComunicacao", 3);
    sim.addUser("0000000001");
    dialogs.queueAnswer(true);
    EXPECT_FALSE(clearing.ClearNow());
    EXPECT_TRUE(link.device.IsStopRequested());
    EXPECT_EQ(dialogs.shown.last().text, text("BD_EXCLUIDO_ERRO"));
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    EXPECT_EQ(controllerUsers(), Codes{"0000000001"});
    EXPECT_EQ(ui.clearing, QString()); // no timing without a clearing
}

TEST(DeviceClearingWithoutList, AListThatCannotBeReadProvesNothing)
{
    test::LinkedDevice link{test::sharedLibraryName(u"EasyInnerPartial"_s)};
    ASSERT_NO_FATAL_FAILURE(link.openLink());
    ASSERT_NO_FATAL_FAILURE(link.holdAsOnlineLoop());
    link.sim->addUser("0000000001");
    TXConnection connection;
    DeviceUserList users{link.device};
    test::FakeSyncUi ui;
    TemplateSync templates{link.device, connection, users, ui};
    test::ScriptedDialogs dialogs;
    DeviceClearing clearing{link.device, users, templates, ui, dialogs};
    EXPECT_EQ(clearing.ClearDeviceDatabase(), 1);
    EXPECT_EQ(link.sim->users().size(), 1u);
}

} // namespace
} // namespace zul

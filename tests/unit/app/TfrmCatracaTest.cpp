#include "app/TfrmCatraca.h"

#include "LogReader.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "app/OnlinePage.h"
#include "app/ZulApplication.h"
#include "device/DeviceBinding.h"
#include "platform/Registry.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

class TfrmCatracaTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock;
    test::ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    TfrmCatraca window{AppEnvironment{clock, dialogs, log, registry, true}};
    ManagerCore& core = window.core();

    // Runs a command the way an event from the operator reaches it.
    void Command(QAction* item)
    {
        DeliverCatchingErrors(
            [&] {
                item->trigger();
                return true;
            },
            [this](const QString& message) { core.onExcept(message); });
    }

    QStringList LogLines() const { return test::logTexts(log, clock); }

    std::unique_ptr<platform::RegistryKey> Key(bool create = false) const
    {
        return platform::openLocalMachineKey(registry, SettingsStore::KeyPath, create);
    }
};

TEST_F(TfrmCatracaTest, MenuTreeStartsAsTheOperatorKnowsIt)
{
    struct Item
    {
        QAction* action;
        const char* caption;
        bool checked;
    };
    const Item items[] = {
        {window.mnuOpcoes->menuAction(), "&Opções", false},
        {window.mnuTipoConex->menuAction(), "&Tipos de Conexão", false},
        {window.mnuSerial, "&Serial   (Porta 1)", false},
        {window.mnuTCP, "TCP/&IP (Porta 3570)", true},
        {window.mnuSentido->menuAction(), "Sentido da &Catraca", false},
        {window.mnuInvertido, "&Invertido", true},
        {window.mnuNormal, "&Normal", false},
        {window.mnuAutentica->menuAction(), "A&utenticações", false},
        {window.mnuTeclado, "&Teclado + Biométrico", false},
        {window.mnuCartao, "&Cartão + Biométrico", false},
        {window.mnuBiometrico, "Somente &Biométrico", true},
        {window.mnuBase->menuAction(), "&Dados", false},
        {window.mnuSincronismo->menuAction(), "&Sincronismo de Dados", false},
        {window.mnuSincronizar, "Sincroniz&ar Agora", false},
        {window.mnuAgendSinc, "Agendar &Horário", true},
        {window.mnuAgendDesf, "Des&fazer Agendamento", false},
        {window.mnuEsvaziar, "&Limpar BD da Catraca", false},
        {window.mnuStringConex, "Porta Soc&ket (211)", false},
        {window.mnuLog, "&Gerar Log", true},
        {window.mnuRestaurar, "&Restaurar", false},
        {window.mnuMinimizar, "&Minimizar", false},
        {window.mnuSair, "&Sair", false},
    };
    for (const Item& item : items) {
        EXPECT_EQ(item.action->text(), QString::fromUtf8(item.caption));
        EXPECT_EQ(item.action->isChecked(), item.checked) << item.caption;
    }
    for (QAction* separator : {window.sep1, window.sep2, window.sep3, window.sep4})
        EXPECT_TRUE(separator->isSeparator());
    EXPECT_EQ(window.findChild<QAction*>(u"mnuNormal"_s), window.mnuNormal);
    EXPECT_FALSE(window.mnuOpcoes->menuAction()->isEnabled());
    EXPECT_FALSE(window.mnuBase->menuAction()->isEnabled());
    EXPECT_FALSE(window.mnuAutentica->menuAction()->isVisible());
    EXPECT_TRUE(window.grpTipoConex->isExclusive());
    EXPECT_TRUE(window.grpSentido->isExclusive());

    core.EnableMenus();
    EXPECT_TRUE(window.mnuOpcoes->menuAction()->isEnabled());
    EXPECT_TRUE(window.mnuBase->menuAction()->isEnabled());
    EXPECT_FALSE(window.mnuAutentica->menuAction()->isVisible());
}

TEST_F(TfrmCatracaTest, FrameToolbarAndStatusPanel)
{
    EXPECT_EQ(window.windowTitle(), u"Gerenciador da Catraca"_s);
    EXPECT_EQ(window.width(), 652);
    const QList<QToolButton*> buttons = window.panToolbar->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 11);
    QStringList hints;
    for (QToolButton* button : buttons) {
        hints << button->toolTip();
        EXPECT_EQ(button->isEnabled(), button == window.sbtAjuda || button == window.sbtFechar)
            << button->toolTip().toStdString();
    }
    EXPECT_EQ(hints.join(u','), u"Confirmar,Cancelar,Incluir,Alterar,Excluir,Procurar,Atualizar,"
                                "Ordenar,Ajuda,Imprimir,Fechar"_s);
    EXPECT_EQ(window.panToolbar->height(), 28);
    EXPECT_EQ(window.pgcCatraca->tabText(0), u"Online"_s);
    EXPECT_EQ(window.lblConnect->text(), u"Catraca desconectada"_s);
    EXPECT_EQ(window.btfAbaixo->text(), u"v"_s);
    EXPECT_EQ(window.lblADO->text(), u"Loops ADO"_s);
    EXPECT_EQ(window.lblEsv->text(), u"Esvaziar BD: 00:00:00"_s);
    EXPECT_EQ(window.lblSinc->text(), u"Sincronismo: 00:00:00"_s);
    EXPECT_EQ(window.lblAtu->text(), u"AtuBio: 00:00:00"_s);
    EXPECT_EQ(window.actTogglePanel->shortcut(), QKeySequence(u"Ctrl+Shift+M"_s));
}

TEST_F(TfrmCatracaTest, PanelStartsCollapsedAndTogglesBack)
{
    EXPECT_FALSE(window.PanelExpanded());
    EXPECT_EQ(window.height(), TfrmCatraca::CollapsedHeight);
    EXPECT_EQ(window.panConnect->height(), TfrmCatraca::CollapsedPanelHeight);

    window.btfAbaixo->click();
    EXPECT_TRUE(window.PanelExpanded());
    EXPECT_EQ(window.height(), TfrmCatraca::ExpandedHeight);
    EXPECT_EQ(window.panConnect->height(), TfrmCatraca::ExpandedPanelHeight);

    window.actTogglePanel->trigger();
    EXPECT_EQ(window.height(), TfrmCatraca::CollapsedHeight);
    EXPECT_EQ(window.panConnect->height(), TfrmCatraca::CollapsedPanelHeight);
}

TEST_F(TfrmCatracaTest, DatabaseStateColoursTheGlyphOnly)
{
    core.ShowDbState(true);
    EXPECT_EQ(window.btfAbaixo->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
    core.ShowDbState(false);
    EXPECT_EQ(window.btfAbaixo->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    EXPECT_EQ(window.btfAbaixo->text(), u"v"_s);
}

TEST_F(TfrmCatracaTest, SerialPortAnswerRenamesAndTicksTheSerialItem)
{
    dialogs.queueInput(u"2"_s);
    Command(window.mnuSerial);

    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, u"Informar número da porta"_s);
    EXPECT_EQ(dialogs.shown[0].text, u"Porta:"_s);
    EXPECT_EQ(dialogs.shown[0].value, u"1"_s);
    EXPECT_EQ(window.mnuSerial->text(), u"&Serial   (Porta 2)"_s);
    EXPECT_TRUE(window.mnuSerial->isChecked());
    EXPECT_FALSE(window.mnuTCP->isChecked());
    EXPECT_EQ(window.mnuTCP->text(), u"TCP/&IP (Porta 3570)"_s);
    EXPECT_EQ(core.device().devicePort(), 2);
    const DeviceLinkChoice link = core.deviceLinkChoice();
    EXPECT_EQ(link.linkType, 0);
    EXPECT_EQ(link.portDigits, u"2"_s);
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(TfrmCatracaTest, InvalidPortChangesNothingAndRaises)
{
    dialogs.queueInput(u"3570a"_s);
    Command(window.mnuTCP);
    EXPECT_EQ(window.mnuTCP->text(), u"TCP/&IP (Porta 3570)"_s);
    EXPECT_TRUE(window.mnuTCP->isChecked());
    EXPECT_EQ(core.device().devicePort(), 0);
    EXPECT_TRUE(window.mnuOpcoes->menuAction()->isEnabled()); // EnableMenus ran first
    EXPECT_TRUE(LogLines().contains(u" Mensagem: Porta inválida!"_s));

    // The serial item clicked and the port refused: the tick stays where it was.
    dialogs.queueInput(u" 2"_s);
    Command(window.mnuSerial);
    EXPECT_TRUE(window.mnuTCP->isChecked());
    EXPECT_FALSE(window.mnuSerial->isChecked());
    EXPECT_EQ(window.mnuSerial->text(), u"&Serial   (Porta 1)"_s);
}

TEST_F(TfrmCatracaTest, RefusedCommandIsReportedAtTheWindowNotThrownThroughQt)
{
    // Triggered bare, with no application object to catch for it: the refusal stays inside
    // the command and is reported by the exception handler.
    dialogs.queueInput(u"12a"_s);
    EXPECT_NO_THROW(window.mnuTCP->trigger());
    dialogs.queueInput(u"-"_s);
    EXPECT_NO_THROW(window.mnuStringConex->trigger());
    const QStringList lines = LogLines();
    EXPECT_EQ(lines.count(u" Mensagem: Porta inválida!"_s), 2);
    EXPECT_EQ(lines.count(u" Exceção detectada pela aplicação(Captador ) "_s), 2);
}

TEST_F(TfrmCatracaTest, ViewFollowsTheCore)
{
    core.SetStatusLine(u"Catraca conectada|detalhe"_s);
    EXPECT_EQ(window.lblConnect->text(), u"Catraca conectada|detalhe"_s);
    core.SetHousekeepingCaption(u"Loops: 1800"_s);
    core.setSyncTiming(u"Sincronismo: 01:02:03"_s);
    EXPECT_EQ(window.lblADO->text(), u"Loops: 1800"_s);
    EXPECT_EQ(window.lblSinc->text(), u"Sincronismo: 01:02:03"_s);
    core.setScheduleCaption(u"Agendar &Horário (22:00)"_s);
    core.setScheduleTicked(false);
    EXPECT_EQ(window.mnuAgendSinc->text(), u"Agendar &Horário (22:00)"_s);
    EXPECT_FALSE(window.mnuAgendSinc->isChecked());
    core.SetLogEnabled(false);
    EXPECT_FALSE(window.mnuLog->isChecked());
    core.ChooseDirection(true);
    EXPECT_TRUE(window.mnuNormal->isChecked());

    // The hidden forms submenu writes the core's forms.
    window.mnuTeclado->setChecked(true);
    window.mnuCartao->setChecked(true);
    window.mnuBiometrico->setChecked(false);
    const IdentificationForms forms = core.identificationForms();
    EXPECT_TRUE(forms.keypad && forms.card && !forms.biometric);
}

TEST_F(TfrmCatracaTest, CancelledPortLeavesTheTickWhereItWas)
{
    dialogs.queueInput(std::nullopt);
    Command(window.mnuSerial);
    EXPECT_TRUE(window.mnuTCP->isChecked());
    EXPECT_FALSE(window.mnuSerial->isChecked());
    EXPECT_EQ(core.device().devicePort(), 0);
    EXPECT_EQ(core.deviceLinkChoice().linkType, 1);
    EXPECT_EQ(core.deviceLinkChoice().portDigits, u"3570"_s);
}

TEST_F(TfrmCatracaTest, EmptyPortIsAcceptedAndLeftToTheDeviceLayer)
{
    dialogs.queueInput(QString());
    Command(window.mnuTCP);
    EXPECT_EQ(window.mnuTCP->text(), u"TCP/&IP (Porta )"_s);
    // The device layer refuses the empty port when it reads it.
    EXPECT_TRUE(core.deviceLinkChoice().portDigits.isEmpty());
    EXPECT_TRUE(LogLines().contains(u" Mensagem: '' is not a valid integer value"_s));
}

TEST_F(TfrmCatracaTest, DirectionItemsMoveTheTick)
{
    const TMessages& messages = core.messages();
    QLineEdit* entry = window.onlinePage().edtTextoEntrada;
    entry->setText(messages.Lookup(u"ENTRADA_INVERTIDA"_s));
    Command(window.mnuNormal);
    EXPECT_TRUE(window.mnuNormal->isChecked());
    EXPECT_FALSE(window.mnuInvertido->isChecked());
    EXPECT_EQ(entry->text(), messages.Lookup(u"ENTRADA_NORMAL"_s));
    Command(window.mnuInvertido);
    EXPECT_TRUE(window.mnuInvertido->isChecked());
    EXPECT_FALSE(window.mnuNormal->isChecked());
    EXPECT_EQ(entry->text(), messages.Lookup(u"ENTRADA_INVERTIDA"_s));
}

TEST_F(TfrmCatracaTest, LogToggledTwiceIsStoredOnAgain)
{
    Command(window.mnuLog);
    EXPECT_FALSE(window.mnuLog->isChecked());
    EXPECT_FALSE(log.isEnabled());
    ASSERT_TRUE(Key());
    EXPECT_EQ(Key()->readDWord("LogCatraca"), std::optional<std::uint32_t>(0));
    core.WriteLog(u"not written"_s);

    Command(window.mnuLog);
    EXPECT_TRUE(window.mnuLog->isChecked());
    EXPECT_TRUE(log.isEnabled());
    EXPECT_EQ(Key()->readDWord("LogCatraca"), std::optional<std::uint32_t>(1));
    core.WriteLog(u"written"_s);
    EXPECT_EQ(LogLines(), QStringList{u"written"_s});
}

TEST_F(TfrmCatracaTest, DadosRefreshShowsTheStoredProfileCode)
{
    auto key = Key(true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("PortaADOCatraca", "305"));
    ASSERT_TRUE(key->writeDWord("LogCatraca", 0));
    Q_EMIT window.mnuBase->aboutToShow();
    EXPECT_EQ(window.mnuStringConex->text(), u"Porta Socket (305)"_s);
    EXPECT_FALSE(window.mnuLog->isChecked());
    EXPECT_FALSE(log.isEnabled());
}

TEST_F(TfrmCatracaTest, DadosRefreshReplacesABlankCodeAndKeepsTheLogSwitch)
{
    auto key = Key(true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("PortaADOCatraca", "   "));
    Q_EMIT window.mnuBase->aboutToShow();
    EXPECT_EQ(Key()->readString("PortaADOCatraca"), std::optional<std::string>("211"));
    EXPECT_EQ(window.mnuStringConex->text(), u"Porta Soc&ket (211)"_s);
    EXPECT_TRUE(window.mnuLog->isChecked());
}

TEST_F(TfrmCatracaTest, ProfileCodeCommand)
{
    auto key = Key(true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("PortaADOCatraca", "305"));

    dialogs.queueInput(u"412"_s);
    Command(window.mnuStringConex);
    EXPECT_TRUE(core.device().IsStopRequested()); // the connection was stopped first
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, u"Porta para Conexão"_s);
    EXPECT_EQ(dialogs.shown[0].value, u"305"_s);
    EXPECT_EQ(window.mnuStringConex->text(), u"Porta Socket (305)"_s);
    EXPECT_EQ(Key()->readString("PortaADOCatraca"), std::optional<std::string>("412"));

    dialogs.queueInput(QString());
    Command(window.mnuStringConex);
    EXPECT_EQ(Key()->readString("PortaADOCatraca"), std::optional<std::string>("211"));

    dialogs.queueInput(u"21 1"_s);
    Command(window.mnuStringConex);
    EXPECT_EQ(Key()->readString("PortaADOCatraca"), std::optional<std::string>("211"));
    EXPECT_TRUE(LogLines().contains(u" Mensagem: Porta inválida!"_s));
}

TEST_F(TfrmCatracaTest, CancelledProfileCodeWritesWhatWasRead)
{
    Command(window.mnuStringConex); // nothing scripted: cancelled
    ASSERT_TRUE(Key());
    EXPECT_EQ(Key()->readString("PortaADOCatraca"), std::optional<std::string>(""));
    EXPECT_EQ(window.mnuStringConex->text(), u"Porta Socket ()"_s);
}

TEST_F(TfrmCatracaTest, InitializeLogsTheModeAndTrimsTheServiceMenus)
{
    window.Initialize(true);
    EXPECT_TRUE(core.ServiceMode());
    EXPECT_FALSE(window.sbtFechar->isEnabled());
    EXPECT_FALSE(window.sep3->isVisible());
    EXPECT_FALSE(window.mnuSair->isVisible());
    EXPECT_TRUE(window.mnuRestaurar->isVisible());
    EXPECT_EQ(LogLines(), QStringList{u" \u2022 Inicialização do programa como serviço do windows"_s});
    QFile file(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\t \x95 Inicializa"));
}

TEST_F(TfrmCatracaTest, DesktopInitializeKeepsCloseCommands)
{
    window.Initialize(false);
    EXPECT_TRUE(window.sbtFechar->isEnabled());
    EXPECT_TRUE(window.sep3->isVisible());
    EXPECT_TRUE(window.mnuSair->isVisible());
    EXPECT_EQ(LogLines(), QStringList{u" \u2022 Inicialização do programa em modo normal"_s});
}

TEST_F(TfrmCatracaTest, StatusLineIsThePanelHint)
{
    core.SetStatusLine(u"Catraca conectada"_s);
    EXPECT_EQ(window.lblConnect->text(), u"Catraca conectada"_s);
    EXPECT_EQ(window.panConnect->toolTip(), u"Catraca conectada"_s);
}

} // namespace
} // namespace zul

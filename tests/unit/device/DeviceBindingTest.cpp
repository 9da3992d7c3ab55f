#include "device/DeviceBinding.h"

#include "LinkedDevice.h"
#include "platform/DynamicLibrary.h"
#include "support/Error.h"

#include <QObject>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// A device link whose library is looked for under a name that exists nowhere.
class UnloadedDeviceTest : public ::testing::Test
{
protected:
    test::LinkedDevice link{u"libNoSuchEasyInner.so"_s};
    DeviceBinding& device = link.device;
    test::FakeDeviceUi& ui = link.ui;
    const TMessages& messages = link.messages;

    QStringList logged() const { return link.logged(); }
};

// --- link port ---------------------------------------------------------------------------------

struct PortCase
{
    const char* serial;
    const char* tcp;
    bool serialTicked;
    int port; // -1: the caption holds no number
    int linkType;
};

void PrintTo(const PortCase& c, std::ostream* os)
{
    *os << (c.serialTicked ? c.serial : c.tcp);
}

class ReadDevicePortTest : public UnloadedDeviceTest, public ::testing::WithParamInterface<PortCase>
{
};

TEST_P(ReadDevicePortTest, TakesTheDigitsOfTheTickedCaption)
{
    const PortCase& c = GetParam();
    ui.link = {QString::fromUtf8(c.serial), QString::fromUtf8(c.tcp), c.serialTicked, !c.serialTicked};
    device.SetDevicePort(4242);
    if (c.port < 0) {
        try {
            device.ReadDevicePort();
            FAIL() << "a caption without digits must not give a port";
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), u"'' is not a valid integer value"_s);
        }
        EXPECT_EQ(device.devicePort(), 4242);
    } else {
        device.ReadDevicePort();
        EXPECT_EQ(device.devicePort(), c.port);
    }
    EXPECT_EQ(device.currentLinkType(), c.linkType);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, ReadDevicePortTest,
    ::testing::Values(PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta 3570)", false, 3570, 1},
                      PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta 3570)", true, 1, 0},
                      PortCase{"&Serial   (Porta 2)", "TCP/&IP (Porta 10)", false, 10, 1},
                      PortCase{"Serial 0x1F", "TCP/&IP (Porta 3570)", true, 1, 0},
                      PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta )", false, -1, 1},
                      PortCase{"&Serial   (Porta )", "TCP/&IP (Porta 3570)", true, -1, 0}));

// --- status line -------------------------------------------------------------------------------

struct StatusCase
{
    int code;
    const char* given;
    const char* shown;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.code;
}

class ShowStatusTest : public UnloadedDeviceTest, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(ShowStatusTest, ShowsTheCatalogueTextOfTheCode)
{
    const StatusCase& c = GetParam();
    const QString shown = device.ShowStatus(c.code, QString::fromUtf8(c.given));
    EXPECT_EQ(shown, QString::fromUtf8(c.shown));
    EXPECT_EQ(ui.caption, shown);
    EXPECT_EQ(ui.hint, shown);
}

INSTANTIATE_TEST_SUITE_P(Codes, ShowStatusTest,
                         ::testing::Values(StatusCase{0, "", "Tentando conectar catraca..."},
                                           StatusCase{1, "ignored", "Catraca conectada"},
                                           StatusCase{4, "", "Catraca desconectada"},
                                           StatusCase{6, "ignored", ""}, StatusCase{25, "ignored", ""},
                                           StatusCase{-1, "ignored", ""},
                                           StatusCase{256, "Sincronizando 10%", "Sincronizando 10%"}));

TEST_F(UnloadedDeviceTest, TrayTipIsTheShortHintCutTo63Characters)
{
    device.ShowStatus(256, u"curto|longo"_s);
    EXPECT_EQ(ui.hint, u"curto|longo"_s);
    EXPECT_EQ(ui.trayTip, u"curto"_s);

    const QString longText = QString(70, u'x');
    device.ShowStatus(256, longText);
    EXPECT_EQ(ui.trayTip, QString(63, u'x'));
    EXPECT_EQ(ui.caption, longText);
}

TEST_F(UnloadedDeviceTest, FailingStatusLineIsLoggedAndTheOldCaptionStays)
{
    ui.failStatusLine = true;
    EXPECT_EQ(device.ShowStatus(1), u"Catraca desconectada"_s);
    EXPECT_TRUE(logged().contains(u"##### Mensagens - ERRO: rótulo indisponível #####"_s));
    EXPECT_EQ(ui.hint, u"Catraca desconectada"_s);
}

// --- restart request ---------------------------------------------------------------------------

TEST_F(UnloadedDeviceTest, IniCatracaStopsTheLoopAndSchedulesTheStart)
{
    device.ClearStopRequest();
    device.IniCatraca();
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_TRUE(ui.inicializaTimerOn);
    EXPECT_EQ(ui.menusEnabled, 1);
}

TEST_F(UnloadedDeviceTest, IniCatracaLogsItsFailure)
{
    ui.failTimer = true;
    device.ClearStopRequest();
    device.IniCatraca();
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_TRUE(logged().contains(u"##### IniCatraca - ERRO: timer indisponível #####"_s));
}

// --- without the library -----------------------------------------------------------------------

TEST_F(UnloadedDeviceTest, LibraryNotFoundGivesHandleZeroAndNamesTheFile)
{
    EXPECT_EQ(device.LoadDeviceLibrary(), 0u);
    EXPECT_EQ(device.libraryHandle(), 0u);
    EXPECT_EQ(logged(), QStringList{u"Carregando biblioteca da catraca..."_s});
    EXPECT_EQ(device.libraryNotFoundText(), u"A DLL \"libNoSuchEasyInner.so\" não foi encontrada."_s);
    EXPECT_EQ(device.libraryErrorText(), u"Erro ao carregar a DLL \"libNoSuchEasyInner.so\"."_s);
}

TEST_F(UnloadedDeviceTest, NothingBindsWhileTheLibraryIsNotLoaded)
{
    device.LoadDeviceLibrary();
    EXPECT_EQ(device.Bound<easyinner::Ping>(), nullptr);
    EXPECT_FALSE(device.Call<easyinner::Ping>(device.deviceNumber()).has_value());

    device.RecordResult(77);
    EXPECT_EQ(device.Invoke<easyinner::Ping>(device.deviceNumber()), DeviceBinding::NotCalled);
    EXPECT_EQ(device.lastResult(), DeviceBinding::NotCalled);
}

TEST_F(UnloadedDeviceTest, WithoutLibraryPingFailsAndConfigurationReportsIt)
{
    device.LoadDeviceLibrary();
    EXPECT_EQ(device.PingDevice(), 1);
    EXPECT_EQ(device.SendOnlineConfig(), 1);
    const QStringList lines = logged();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith(u"##### Config Online - ERRO: "_s)) << lines.last().toStdString();
}

TEST_F(UnloadedDeviceTest, StartWithoutLibraryEmptiesTheStatusAndRaisesFalhaDll)
{
    device.LoadDeviceLibrary();
    bool loopRan = false;
    try {
        device.StartConnection([] { return true; }, [&] { loopRan = true; });
        FAIL() << "the start must be refused";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), messages.Lookup(u"FALHA_DLL"_s));
    }
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(ui.caption, QString());
    EXPECT_EQ(ui.menusEnabled, 1);
    EXPECT_EQ(logged().last(), u"Inicialização da catraca..."_s);
}

TEST_F(UnloadedDeviceTest, StartWithTheDatabaseDownTouchesNothing)
{
    device.LoadDeviceLibrary();
    bool loopRan = false;
    device.StartConnection([] { return false; }, [&] { loopRan = true; });
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(ui.caption, u"Catraca desconectada"_s);
    EXPECT_EQ(logged().last(), u"Inicialização da catraca..."_s);
}

TEST_F(UnloadedDeviceTest, StopWithoutLibraryShowsTheDisconnectFailure)
{
    device.LoadDeviceLibrary();
    device.ClearStopRequest();
    device.StopConnection();
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_FALSE(ui.reconnectTimerOn);
    EXPECT_EQ(ui.caption, messages.Lookup(u"FALHA_DESCON"_s));
    EXPECT_EQ(logged().last(), u"Fechando a porta de comunicação com a catraca"_s);
}

// Runs `step` at every message dispatch until it answers true: an event arriving while the
// program waits.
class AtEveryDispatch
{
public:
    explicit AtEveryDispatch(std::function<bool()> step) : m_step(std::move(step)) { post(); }

private:
    void post()
    {
        QMetaObject::invokeMethod(
            &m_context,
            [this] {
                if (!m_step())
                    post();
            },
            Qt::QueuedConnection);
    }
    QObject m_context;
    std::function<bool()> m_step;
};

// --- with the stand-in library and the simulator ---------------------------------------------

class LinkedDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(link.openLink()); }

    test::LinkedDevice link;
    DeviceBinding& device = link.device;
    test::FakeDeviceUi& ui = link.ui;
    sim::Simulator& sim = link.sim.simulator();
    ManualClock& clock = link.clock;

    QStringList logged() const { return link.logged(); }
};

TEST_F(LinkedDeviceTest, LoadingLogsTheFileAndHandle)
{
    const QStringList lines = logged();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], u"Carregando biblioteca da catraca..."_s);
    EXPECT_EQ(lines[1], u"Biblioteca carregada: \""_s + DeviceBinding::defaultLibraryName() +
                            u"\" Handle: "_s + QString::number(device.libraryHandle()));
    EXPECT_GT(device.libraryHandle(), 32u);
}

TEST_F(LinkedDeviceTest, EntryPointsAreResolvedAtLoadAndForgottenAtUnload)
{
    EXPECT_NE(device.Bound<easyinner::Ping>(), nullptr);
    EXPECT_NE(device.Bound<easyinner::IncluirUsuarioSemDigitalBio>(), nullptr);

    device.UnloadDeviceLibrary();
    EXPECT_EQ(device.libraryHandle(), 0u);
    EXPECT_EQ(device.Bound<easyinner::Ping>(), nullptr);
    EXPECT_FALSE(device.Call<easyinner::Ping>(device.deviceNumber()).has_value());

    ASSERT_NE(device.LoadDeviceLibrary(), 0u);
    platform::DynamicLibrary library;
    ASSERT_TRUE(library.load(device.libraryFileName().toStdString()));
#define ZUL_EXPECT_RESOLVED(Name, Result, Shape, Parameters)                                                 \
    EXPECT_EQ(reinterpret_cast<void*>(device.Bound<easyinner::Name>()), library.symbol(#Name)) << #Name;
    ZUL_EASYINNER_ENTRY_POINTS(ZUL_EXPECT_RESOLVED)
#undef ZUL_EXPECT_RESOLVED

    // A library loaded again is resolved again.
    device.UnloadDeviceLibrary();
    ASSERT_NE(device.LoadDeviceLibrary(), 0u);
    EXPECT_NE(device.Bound<easyinner::Ping>(), nullptr);
}

TEST_F(LinkedDeviceTest, PingRuleReopensOnTheTwoHundredFirstFailureAndLogsEachWayOnce)
{
    const QString lost = u"Catraca não foi encontrada durante mais de 200 tentativas"_s;
    const QString found = u"Encontrou catraca"_s;
    sim.setFault("Ping", 3);
    sim.clearCalls();

    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(device.PingDevice(), 3) << i;
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 0);
    EXPECT_FALSE(logged().contains(lost));
    EXPECT_EQ(clock.elapsedMs(), 200 * 500);

    EXPECT_EQ(device.PingDevice(), 3);
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 1);
    EXPECT_EQ(device.lastResult(), 0) << "the reopened link answers the open";
    EXPECT_EQ(logged().count(lost), 1);
    EXPECT_EQ(clock.elapsedMs(), 201 * 500 + 2000);

    // Later reopens come every 200 failures and repeat no line.
    for (int i = 0; i < 199; ++i)
        device.PingDevice();
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 1);
    device.PingDevice();
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 2);
    EXPECT_EQ(logged().count(lost), 1);

    sim.setFault("Ping", 0);
    EXPECT_EQ(device.PingDevice(), 0);
    EXPECT_EQ(device.PingDevice(), 0);
    EXPECT_EQ(device.failedPings(), 0);
    EXPECT_EQ(logged().count(found), 1);
    EXPECT_EQ(logged().last(), found);

    // A fresh run of failures counts from zero again.
    sim.setFault("Ping", 3);
    sim.clearCalls();
    for (int i = 0; i < 200; ++i)
        device.PingDevice();
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 0);
}

TEST_F(LinkedDeviceTest, NoPingWhileAPersonIsPassing)
{
    device.BeginPassage();
    sim.clearCalls();
    EXPECT_EQ(device.PingDevice(), 0);
    EXPECT_TRUE(sim.callNames().empty());
    EXPECT_EQ(clock.elapsedMs(), 0);
}

TEST_F(LinkedDeviceTest, OnlineConfigurationReachesTheControllerInOrder)
{
    const std::vector<sim::ConfigCall> expected = {
        {"ConfigurarInnerOnLine", {}},       {"HabilitarTeclado", {0, 1}},
        {"ConfigurarAcionamento1", {1, 5}},  {"ConfigurarTipoLeitor", {0}},
        {"ConfigurarLeitor1", {3}},          {"DefinirQuantidadeDigitosCartao", {10}},
        {"ReceberDataHoraDadosOnLine", {1}}, {"DefinirFuncaoDefaultSensorBiometria", {12}},
    };
    EXPECT_EQ(device.SendOnlineConfig(), 0);
    EXPECT_EQ(sim.onlineConfig(), expected);

    // Every (re)connection sends the same series again.
    device.Call<easyinner::FecharPortaComunicacao>();
    ASSERT_EQ(device.Call<easyinner::AbrirPortaComunicacao>(device.devicePort()), 0);
    EXPECT_EQ(device.SendOnlineConfig(), 0);
    EXPECT_EQ(sim.onlineConfig(), expected);
    EXPECT_EQ(sim.configurationsSent(), 2);
}

TEST_F(LinkedDeviceTest, RefusedConfigurationGivesTheControllerCode)
{
    sim.setFault("EnviarConfiguracoes", 9);
    EXPECT_EQ(device.SendOnlineConfig(), 9);
    EXPECT_FALSE(logged().last().contains(u"ERRO"_s));
}

TEST_F(LinkedDeviceTest, ConnectTouchesNothingExactlyWhileTheOnlineLoopHoldsTheLink)
{
    // The loop holds the link while the status line shows a queue step's outcome...
    ASSERT_NO_FATAL_FAILURE(link.holdAsOnlineLoop());
    ui.caption = link.messages.Lookup(u"ATUALIZA_OK"_s);
    sim.clearCalls();
    const int linesBefore = int(logged().size());
    EXPECT_TRUE(device.ConnectDevice());
    EXPECT_TRUE(sim.callNames().empty());
    EXPECT_EQ(logged().size(), linesBefore);
    EXPECT_EQ(clock.elapsedMs(), 0);

    // ...and CONECTADA stays on the status line after the loop has ended through its error path.
    link.loopClaim.reset();
    ui.caption = link.messages.Lookup(u"CONECTADA"_s);
    EXPECT_TRUE(device.ConnectDevice());
    // The closing goes out as a note on the old connection and the opening on a new one: the
    // simulator's threads may record them in either order.
    EXPECT_TRUE(
        test::SimulatorFixture::eventually([&] { return link.callCount("FecharPortaComunicacao") == 1; }));
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 1);
}

TEST_F(LinkedDeviceTest, ConnectOpensTheLinkAndWaitsForAnAnswer)
{
    device.Call<easyinner::FecharPortaComunicacao>();
    EXPECT_TRUE(device.ConnectDevice());
    EXPECT_TRUE(sim.linkOpen());
    EXPECT_EQ(sim.linkType(), 1);
    EXPECT_EQ(device.lastResult(), 0);
    EXPECT_EQ(logged().last(), u"Funcão conectar terminou OK"_s);
}

TEST_F(LinkedDeviceTest, ConnectToASilentControllerGivesUpAfterTenSeconds)
{
    sim.setFault("Ping", 3);
    const qint64 start = clock.elapsedSeconds();
    EXPECT_FALSE(device.ConnectDevice());
    EXPECT_EQ(logged().last(), u"Funcão conectar terminou com o erro[3]"_s);
    EXPECT_GE(clock.elapsedSeconds() - start, 10);
    EXPECT_LE(clock.elapsedSeconds() - start, 11);
}

TEST_F(LinkedDeviceTest, ConnectToAnUnpluggedControllerFailsAtTheOpen)
{
    link.unplug();
    const int linesBefore = int(logged().size());
    EXPECT_FALSE(device.ConnectDevice());
    EXPECT_NE(device.lastResult(), 0);
    EXPECT_EQ(logged().size(), linesBefore) << "a failed open is not logged here";
    EXPECT_LT(clock.elapsedMs(), 1000);
}

TEST_F(LinkedDeviceTest, StartOpensTheLinkAndRunsTheLoop)
{
    device.RequestStop();
    device.EnterState(7);
    bool loopRan = false;
    device.StartConnection([] { return true; },
                           [&] {
                               loopRan = true;
                               EXPECT_FALSE(device.IsStopRequested());
                               EXPECT_TRUE(sim.linkOpen());
                           });
    EXPECT_TRUE(loopRan);
    EXPECT_EQ(device.loopState(), 0);
    EXPECT_EQ(ui.caption, link.messages.Lookup(u"TENTANDO"_s));
    const QStringList lines = logged();
    const QStringList expected = {u"Inicialização da catraca..."_s,
                                  u"Tipo de comunicação: TCP/&IP (Porta 3570)"_s,
                                  u"Abrir porta de comunicação"_s, u"Porta de comunicação aberta"_s};
    EXPECT_EQ(lines.mid(lines.size() - expected.size()), expected);
}

TEST_F(LinkedDeviceTest, StartStopsAtARefusedOpen)
{
    sim.setFault("AbrirPortaComunicacao", 9);
    bool loopRan = false;
    device.StartConnection([] { return true; }, [&] { loopRan = true; });
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(logged().last(), u"Erro ao abrir porta de comunicação[9]"_s);
    EXPECT_EQ(ui.caption, link.messages.Lookup(u"TENTANDO"_s));
}

TEST_F(LinkedDeviceTest, StartWhileTheLinkIsOwnedIsDeferredUntilItIsFree)
{
    for (const LinkHolder owner :
         {LinkHolder::Synchronisation, LinkHolder::Clearing, LinkHolder::QueueStep}) {
        std::optional<LinkOwnership::Claim> claim = device.link().claim(owner);
        ASSERT_TRUE(claim);
        ui.inicializaTimerOn = false;
        sim.clearCalls();
        int databaseAsked = 0;
        bool loopRan = false;
        for (int i = 0; i < 2; ++i)
            device.StartConnection([&] { return ++databaseAsked, true; }, [&] { loopRan = true; });
        EXPECT_EQ(databaseAsked, 0);
        EXPECT_FALSE(loopRan);
        EXPECT_TRUE(sim.callNames().empty()) << "the port stays as the owner has it";
        EXPECT_EQ(logged().count(u"Início da conexão adiado: catraca em uso ("_s +
                                 LinkOwnership::holderName(owner) + u")"_s),
                  1);
        EXPECT_FALSE(ui.inicializaTimerOn);

        claim.reset();
        EXPECT_TRUE(ui.inicializaTimerOn) << "the start follows once the link is free";
        EXPECT_TRUE(device.link().isFree());
        EXPECT_FALSE(device.link().startDeferred());
    }
}

TEST_F(LinkedDeviceTest, StartFromInsideARunningLoopNestsNoSecondLoop)
{
    sim.clearCalls();
    int loops = 0;
    const auto runLoop = [&] {
        ++loops;
        EXPECT_TRUE(device.link().loopHoldsLink());
        // The timer or the button, dispatched during a pass.
        device.StartConnection([] { return true; }, [&] { ++loops; });
        EXPECT_FALSE(device.IsStopRequested());
        EXPECT_FALSE(ui.inicializaTimerOn);
    };
    device.StartConnection([] { return true; }, runLoop);
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 1);
    EXPECT_TRUE(ui.inicializaTimerOn);
    EXPECT_FALSE(device.link().loopHoldsLink());
}

TEST_F(LinkedDeviceTest, OperatorStopDropsADeferredStart)
{
    device.StartConnection([] { return true; },
                           [&] {
                               device.StartConnection([] { return true; }, [] {});
                               device.StopConnection();
                           });
    EXPECT_FALSE(ui.inicializaTimerOn);
    EXPECT_TRUE(device.IsStopRequested());
}

TEST_F(LinkedDeviceTest, StopDuringThePingsPausesIsNotUndoneByAReopen)
{
    const QString cancelled = u"Reabertura da porta de comunicação cancelada: conexão encerrada"_s;
    int cancels = 0;
    // The operator's stop during the ping's pause, after the link type, after the close.
    for (const int afterMs : {250, 1200, 2200}) {
        sim.setFault("Ping", 3);
        device.ClearStopRequest();
        device.SetFailedPings(DeviceBinding::ReopenAfterFailedPings);
        sim.clearCalls();
        const qint64 start = clock.elapsedMs();
        bool stopped = false;
        AtEveryDispatch operatorStop([&] {
            if (clock.elapsedMs() - start < afterMs)
                return false;
            device.StopConnection();
            stopped = true;
            return true;
        });
        EXPECT_EQ(device.PingDevice(), 3);
        EXPECT_TRUE(stopped);
        EXPECT_EQ(link.callCount("AbrirPortaComunicacao"), 0) << afterMs;
        EXPECT_TRUE(test::SimulatorFixture::eventually([&] { return !sim.linkOpen(); })) << afterMs;
        EXPECT_EQ(logged().count(cancelled), ++cancels) << afterMs;
        ASSERT_EQ(device.Call<easyinner::AbrirPortaComunicacao>(device.devicePort()), 0);
    }
}

TEST_F(LinkedDeviceTest, StopClosesTheLink)
{
    device.ClearStopRequest();
    device.StopConnection();
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_FALSE(ui.reconnectTimerOn);
    EXPECT_EQ(ui.caption, u"Catraca desconectada"_s);
    EXPECT_TRUE(test::SimulatorFixture::eventually([&] { return !sim.linkOpen(); }));
}

// --- a library without some entry points -------------------------------------------------------

TEST(PartialLibraryTest, OnlyTheEntryPointsTheLibraryLacksStayUnbound)
{
    test::LinkedDevice link(test::sharedLibraryName(u"EasyInnerPartial"_s));
    ASSERT_NE(link.device.LoadDeviceLibrary(), 0u);
    EXPECT_EQ(link.device.Bound<easyinner::DefinirFuncaoDefaultSensorBiometria>(), nullptr);
    EXPECT_EQ(link.device.Bound<easyinner::ConfigurarLeitor2>(), nullptr);
    EXPECT_EQ(link.device.Bound<easyinner::TemProximoPacote>(), nullptr);
    EXPECT_EQ(link.device.Bound<easyinner::UsuarioFoiEnviado>(), nullptr);
    EXPECT_NE(link.device.Bound<easyinner::TemProximoUsuario>(), nullptr);
    EXPECT_NE(link.device.Bound<easyinner::IncluirUsuarioSemDigitalBio>(), nullptr);
}

TEST(PartialLibraryTest, MissingConfigurationEntryPointSendsNothing)
{
    test::LinkedDevice link(test::sharedLibraryName(u"EasyInnerPartial"_s));
    ASSERT_NO_FATAL_FAILURE(link.openLink());
    link.sim->clearCalls();

    EXPECT_EQ(link.device.SendOnlineConfig(), 1);
    EXPECT_EQ(link.sim->configurationsSent(), 0);
    // Settings handed to the library travel with the next call: none may be pending.
    link.device.Call<easyinner::Ping>(link.device.deviceNumber());
    EXPECT_EQ(link.sim->callNames(), std::vector<std::string>{"Ping"});
    // Only the nine entry points that are called count; ConfigurarLeitor2 is missing too.
    EXPECT_EQ(link.logged().last(),
              u"##### Config Online - ERRO: Ponto de entrada não encontrado na biblioteca "
              u"da catraca: DefinirFuncaoDefaultSensorBiometria #####"_s);
}

} // namespace
} // namespace zul

// The stand-in device library driven as the program drives it, against the simulator.

#include "EasyInnerLibrary.h"
#include "SimulatorFixture.h"
#include "protocol/Wire.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace zul::test {
namespace {

namespace code = sim::code;

struct Event
{
    unsigned char origin = 0xee, complement = 0xee, day = 0, month = 0, year = 0, hour = 0, minute = 0,
                  second = 0;
    std::array<char, 14> card{};
    std::string number() const { return std::string(card.begin(), card.begin() + 10); }
};

// The library with the entry points the tests call, bound as the program binds them.
class Device
{
public:
    explicit Device(bool partial = false) : lib(partial) {}

    EasyInnerLibrary lib;

    int open(int linkType = 1, int port = SimulatorFixture::kTcpPort)
    {
        ZUL_BIND(lib, DefinirTipoConexao)(linkType);
        return ZUL_BIND(lib, AbrirPortaComunicacao)(port);
    }
    void close() { ZUL_BIND(lib, FecharPortaComunicacao)(); }
    int ping() { return ZUL_BIND(lib, Ping)(1); }
    int receive(Event& e)
    {
        return ZUL_BIND(lib, ReceberDadosOnLine)(1, &e.origin, &e.complement, e.card.data(), &e.day, &e.month,
                                                 &e.year, &e.hour, &e.minute, &e.second);
    }
    int include(const std::string& userCode)
    {
        ZUL_BIND(lib, IncluirUsuarioSemDigitalBio)(userCode.c_str());
        ZUL_BIND(lib, EnviarListaUsuariosSemDigitalBio)(1);
        const std::string record = sim::Simulator::makeRecord(userCode);
        const int sent =
            ZUL_BIND(lib, EnviarUsuarioBio)(1, reinterpret_cast<const unsigned char*>(record.data()));
        const int stored = ZUL_BIND(lib, UsuarioFoiEnviado)(1, 0);
        return sent != 0 ? sent : stored;
    }
    int remove(const std::string& userCode)
    {
        const int requested = ZUL_BIND(lib, SolicitarExclusaoUsuario)(1, userCode.c_str());
        const int answer = ZUL_BIND(lib, UsuarioFoiExcluido)(1, 0);
        return requested != 0 ? requested : answer;
    }
    // The paged collection of the device user list; `requests` counts packet requests.
    std::vector<std::string> list(int* requests = nullptr)
    {
        std::vector<std::string> codes;
        ZUL_BIND(lib, InicializarColetaListaUsuariosBio)();
        int asked = 0;
        while (ZUL_BIND(lib, TemProximoPacote)() != 0) {
            ++asked;
            if (ZUL_BIND(lib, SolicitarListaUsuariosBio)(1) != 0)
                continue;
            ZUL_BIND(lib, ReceberPacoteListaUsuariosBio)(1);
            while (ZUL_BIND(lib, TemProximoUsuario)() != 0) {
                std::array<unsigned char, 16> entry{};
                if (ZUL_BIND(lib, ReceberUsuarioLista)(1, entry.data()) == 0)
                    codes.emplace_back(reinterpret_cast<const char*>(entry.data()),
                                       ::strnlen(reinterpret_cast<const char*>(entry.data()), 10));
            }
            if (asked > 1000)
                break;
        }
        if (requests)
            *requests = asked;
        return codes;
    }
};

TEST(EasyInner, ExportsTheThirtySevenEntryPointsByName)
{
    Device device;
    ASSERT_TRUE(device.lib.loaded());
    for (const auto name : sim::kEntryPoints)
        EXPECT_NE(device.lib.symbol(std::string(name)), nullptr) << name;
    EXPECT_EQ(device.lib.symbol("EnviarMensagem"), nullptr);
}

TEST(EasyInner, PartialVariantReallyLacksItsOmittedEntryPoints)
{
    Device device(true);
    ASSERT_TRUE(device.lib.loaded());
    const std::set<std::string> omitted = {"DefinirFuncaoDefaultSensorBiometria", "ConfigurarLeitor2",
                                           "TemProximoPacote", "UsuarioFoiEnviado"};
    for (const auto name : sim::kEntryPoints)
        EXPECT_EQ(device.lib.symbol(std::string(name)) == nullptr, omitted.count(std::string(name)) == 1)
            << name;
}

TEST(EasyInner, OpenPingCloseRoundTrip)
{
    SimulatorFixture sim;
    Device device;
    EXPECT_EQ(device.ping(), code::LinkNotOpen);
    ASSERT_EQ(device.open(), 0);
    EXPECT_TRUE(sim->linkOpen());
    EXPECT_EQ(sim->linkType(), 1);
    EXPECT_EQ(device.ping(), 0);
    device.close();
    EXPECT_TRUE(SimulatorFixture::eventually([&] { return !sim->linkOpen(); }));
    EXPECT_EQ(device.ping(), code::LinkNotOpen);

    // Settings made while the link was closed reach the controller, in order, with the open.
    const auto calls = sim->calls();
    const auto open = std::find_if(calls.begin(), calls.end(), [](const sim::CallRecord& c) {
        return c.name == "AbrirPortaComunicacao";
    });
    ASSERT_NE(open, calls.begin());
    ASSERT_GE(calls.end() - open, 3);
    EXPECT_EQ(open[-1].name, "DefinirTipoConexao");
    EXPECT_TRUE(open[-1].linkClosed);
    EXPECT_EQ(open->args, std::vector<std::string>{"3570"});
    EXPECT_EQ(open[1].name, "Ping");
    EXPECT_EQ(open[2].name, "FecharPortaComunicacao");
}

TEST(EasyInner, SerialPortReachesTheSimulatorThroughItsEndpoint)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(0, SimulatorFixture::kSerialPort), 0);
    EXPECT_EQ(sim->linkType(), 0);
    EXPECT_EQ(device.ping(), 0);
    device.close();
}

TEST(EasyInner, OnlineConfigurationIsRecordedInTheOrderHandedOver)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    auto& lib = device.lib;
    ZUL_BIND(lib, ConfigurarInnerOnLine)();
    ZUL_BIND(lib, HabilitarTeclado)(0, 1);
    ZUL_BIND(lib, ConfigurarAcionamento1)(1, 5);
    ZUL_BIND(lib, ConfigurarTipoLeitor)(0);
    ZUL_BIND(lib, ConfigurarLeitor1)(3);
    ZUL_BIND(lib, DefinirQuantidadeDigitosCartao)(10);
    ZUL_BIND(lib, ReceberDataHoraDadosOnLine)(1);
    ZUL_BIND(lib, DefinirFuncaoDefaultSensorBiometria)(12);
    EXPECT_EQ(sim->configurationsSent(), 0); // settings stay in the library until sent
    ASSERT_EQ(ZUL_BIND(lib, EnviarConfiguracoes)(1), 0);

    const std::vector<sim::ConfigCall> expected = {
        {"ConfigurarInnerOnLine", {}},       {"HabilitarTeclado", {0, 1}},
        {"ConfigurarAcionamento1", {1, 5}},  {"ConfigurarTipoLeitor", {0}},
        {"ConfigurarLeitor1", {3}},          {"DefinirQuantidadeDigitosCartao", {10}},
        {"ReceberDataHoraDadosOnLine", {1}}, {"DefinirFuncaoDefaultSensorBiometria", {12}},
    };
    EXPECT_EQ(sim->onlineConfig(), expected);
    EXPECT_EQ(sim->configurationsSent(), 1);
    EXPECT_EQ(ZUL_BIND(lib, EnviarFormasEntradasOnLine)(1, 10, 1, 12, 15, 16), 0);
    EXPECT_EQ(sim->identificationForms(), (std::vector<int>{10, 1, 12, 15, 16}));
    device.close();
}

TEST(EasyInner, ClockAndDisplayFollowTheMessages)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    ASSERT_EQ(ZUL_BIND(device.lib, EnviarRelogio)(1, 19, 3, 8, 8, 0, 30), 0);
    EXPECT_EQ(ZUL_BIND(device.lib, EnviarRelogio)(1, 31, 2, 8, 8, 0, 0), code::BadArgument);

    ASSERT_EQ(ZUL_BIND(device.lib, EnviarMensagemPadraoOnLine)(1, 1, "VORLUND SOFTWARE"), 0);
    auto shown = sim->display();
    EXPECT_EQ(shown.mode, 1);
    EXPECT_EQ(shown.line1, " 19/03/08 08:00 ");
    EXPECT_EQ(shown.line2, "VORLUND SOFTWARE");

    ASSERT_EQ(ZUL_BIND(device.lib, EnviarMensagemTemporariaOnLine)(1, 0, " Entrada >>>>>> MARIA", 5), 0);
    shown = sim->display();
    EXPECT_TRUE(shown.temporary);
    EXPECT_EQ(shown.line1, " Entrada >>>>>> ");
    EXPECT_EQ(shown.line2, "MARIA           ");
    EXPECT_EQ(ZUL_BIND(device.lib, EnviarMensagemPadraoOnLine)(1, 2, "x"), code::BadArgument);
    EXPECT_EQ(ZUL_BIND(device.lib, EnviarMensagemPadraoOnLine)(1, 0, nullptr), code::BadArgument);
    device.close();
}

TEST(EasyInner, IdentificationCarriesTheCardNumberInTheFirstTenBytes)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    Event event;
    EXPECT_EQ(device.receive(event), code::NothingPending);
    EXPECT_EQ(event.origin, 0xee); // untouched without an event

    sim->presentCard("0000001234");
    ASSERT_EQ(device.receive(event), 0);
    EXPECT_EQ(event.origin, sim::origin::Card);
    EXPECT_EQ(event.number(), "0000001234");
    EXPECT_EQ(event.card[10], 0);
    EXPECT_GE(event.month, 1);

    sim->presentCard(std::string(10, '\0'));
    ASSERT_EQ(device.receive(event), 0);
    EXPECT_EQ(event.number(), std::string(10, '\0'));
    device.close();
}

struct ReleaseCase
{
    const char* entryPoint;
    sim::Arm arm;
};

class Release : public ::testing::TestWithParam<ReleaseCase>
{
};

TEST_P(Release, SetsTheArmAndTheRotationReportsOrigin6Or5)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    using Fn = int(EASYINNER_CALL*)(int);
    const auto release = reinterpret_cast<Fn>(device.lib.symbol(GetParam().entryPoint));
    ASSERT_NE(release, nullptr);

    ASSERT_EQ(release(1), 0);
    EXPECT_EQ(sim->arm(), GetParam().arm);
    EXPECT_EQ(sim->lastRelease(), GetParam().entryPoint);
    ASSERT_TRUE(sim->rotate());
    EXPECT_EQ(sim->arm(), sim::Arm::Locked);
    Event event;
    ASSERT_EQ(device.receive(event), 0);
    EXPECT_EQ(event.origin, sim::origin::Passed);

    ASSERT_EQ(release(1), 0);
    ASSERT_TRUE(sim->noPass());
    ASSERT_EQ(device.receive(event), 0);
    EXPECT_EQ(event.origin, sim::origin::NotPassed);
    EXPECT_FALSE(sim->rotate()); // a locked arm does not turn
    device.close();
}

INSTANTIATE_TEST_SUITE_P(EasyInner, Release,
                         ::testing::Values(ReleaseCase{"LiberarCatracaEntrada", sim::Arm::Entry},
                                           ReleaseCase{"LiberarCatracaSaida", sim::Arm::Exit},
                                           ReleaseCase{"LiberarCatracaEntradaInvertida", sim::Arm::Entry},
                                           ReleaseCase{"LiberarCatracaSaidaInvertida", sim::Arm::Exit},
                                           ReleaseCase{"LiberarCatracaDoisSentidos", sim::Arm::Both}));

TEST(EasyInner, AutomaticRotationAfterAReleaseReportsOrigin6)
{
    sim::Options options;
    options.autoRotateMs = 20;
    SimulatorFixture sim(options);
    Device device;
    ASSERT_EQ(device.open(), 0);
    sim->presentCard("0000000042");
    Event event;
    ASSERT_EQ(device.receive(event), 0);
    ASSERT_EQ(ZUL_BIND(device.lib, LiberarCatracaEntrada)(1), 0);
    ASSERT_TRUE(SimulatorFixture::eventually([&] { return device.receive(event) == 0; }));
    EXPECT_EQ(event.origin, sim::origin::Passed);
    EXPECT_EQ(event.complement, 1); // entry
    EXPECT_EQ(event.number(), "0000000042");
    EXPECT_EQ(sim->arm(), sim::Arm::Locked);
    device.close();
}

// The passage record: what the controller saw, in order, kept across a restart of the
// simulator, so that a system test can hold the manager's log of passages against it.
TEST(EasyInner, PassageRecordKeepsIdentificationsReleasesAndRotationsInOrder)
{
    const auto recordFile = std::filesystem::temp_directory_path() /
                            ("catraca-sim-record-" + std::to_string(sim::os::monotonicMs()) + ".txt");
    std::filesystem::remove(recordFile);
    sim::Options options;
    options.recordFile = recordFile.string();
    {
        SimulatorFixture sim(options);
        Device device;
        ASSERT_EQ(device.open(), 0);
        sim->presentCard("0000000042");
        Event event;
        ASSERT_EQ(device.receive(event), 0);
        ASSERT_EQ(ZUL_BIND(device.lib, LiberarCatracaSaidaInvertida)(1), 0);
        sim->presentCard("0000000043"); // tapped while the arm is released
        ASSERT_TRUE(sim->rotate());
        ASSERT_EQ(ZUL_BIND(device.lib, LiberarCatracaEntrada)(1), 0);
        ASSERT_TRUE(sim->noPass());
        sim.restart();
        device.close();
    }
    std::FILE* f = std::fopen(recordFile.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<std::vector<std::string>> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::vector<std::string> tokens;
        for (const auto token : sim::wire::split(std::string_view(buffer, std::strcspn(buffer, "\n"))))
            tokens.emplace_back(token);
        ASSERT_GE(tokens.size(), 2u) << buffer;
        ASSERT_TRUE(sim::wire::integer(tokens[0])) << buffer; // milliseconds since the epoch
        lines.push_back(tokens);
    }
    std::fclose(f);
    std::filesystem::remove(recordFile);

    const std::string card42 = sim::wire::hex(std::string("0000000042") + std::string(4, '\0'));
    const std::string card43 = sim::wire::hex(std::string("0000000043") + std::string(4, '\0'));
    const std::vector<std::vector<std::string>> expected = {
        {"start", "version=1"},
        {"tap", "origin=1", "card=" + card42},
        {"deliver", "origin=1", "card=" + card42, "queued=" + lines.at(1).at(0)},
        {"release", "dir=S", "entry=LiberarCatracaSaidaInvertida"},
        {"tap", "origin=1", "card=" + card43},
        {"rotation", "dir=S", "passed=1", "card=" + card43},
        {"release", "dir=E", "entry=LiberarCatracaEntrada"},
        {"rotation", "dir=E", "passed=0", "card=" + card43},
        {"start", "version=1"}, // appended to, not replaced, by the restarted simulator
    };
    ASSERT_EQ(lines.size(), expected.size());
    long long previous = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(std::vector<std::string>(lines[i].begin() + 1, lines[i].end()), expected[i])
            << "line " << i;
        const long long at = *sim::wire::integer(lines[i][0]);
        EXPECT_GE(at, previous) << "line " << i;
        previous = at;
    }
}

TEST(EasyInner, UsersAreIncludedListedInPacketsAndDeleted)
{
    sim::Options options;
    options.packetSize = 3;
    SimulatorFixture sim(options);
    Device device;
    ASSERT_EQ(device.open(), 0);
    const std::vector<std::string> codes = {"0000000001", "0000000002", "0000000003", "0000000004",
                                            "0000000005", "0000000006", "12345"};
    for (const auto& userCode : codes)
        ASSERT_EQ(device.include(userCode), 0) << userCode;
    EXPECT_EQ(sim->users().size(), codes.size());
    EXPECT_EQ(sim->users().at("12345"), sim::Simulator::makeRecord("12345"));
    EXPECT_EQ(sim->usersWithoutFingerprint().size(), codes.size());

    int requests = 0;
    auto listed = device.list(&requests);
    EXPECT_EQ(requests, 3); // 7 users in packets of 3
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              std::set<std::string>(codes.begin(), codes.end()));

    EXPECT_EQ(device.remove("0000000003"), 0);
    EXPECT_EQ(device.remove("0000000003"), code::UserNotFound);
    EXPECT_EQ(ZUL_BIND(device.lib, UsuarioFoiExcluido)(1, 0), code::NothingPending);
    EXPECT_EQ(device.list().size(), codes.size() - 1);

    // A record without a user code is refused, and the answer says so.
    const std::string blank(sim::kRecordSize, '\0');
    EXPECT_EQ(ZUL_BIND(device.lib, EnviarUsuarioBio)(1, reinterpret_cast<const unsigned char*>(blank.data())),
              code::BadArgument);
    EXPECT_NE(ZUL_BIND(device.lib, UsuarioFoiEnviado)(1, 0), 0);
    device.close();
}

TEST(EasyInner, EmptyControllerHasNoPacket)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    int requests = -1;
    EXPECT_TRUE(device.list(&requests).empty());
    EXPECT_EQ(requests, 0);
    device.close();
}

TEST(EasyInner, RejectedPacketRequestsStillEndTheCollection)
{
    sim::Options options;
    options.packetSize = 2;
    SimulatorFixture sim(options);
    for (const char* userCode : {"A", "B", "C", "D", "E"})
        sim->addUser(userCode);
    ASSERT_TRUE(sim->setFault("SolicitarListaUsuariosBio", 9));
    Device device;
    ASSERT_EQ(device.open(), 0);
    int requests = 0;
    EXPECT_TRUE(device.list(&requests).empty());
    EXPECT_EQ(requests, 3);
    device.close();
}

TEST(EasyInner, UsersSurviveASimulatorRestart)
{
    const auto stateFile = std::filesystem::temp_directory_path() /
                           ("catraca-sim-test-" + std::to_string(sim::os::monotonicMs()) + ".state");
    std::filesystem::remove(stateFile);
    sim::Options options;
    options.stateFile = stateFile.string();
    {
        SimulatorFixture sim(options);
        Device device;
        ASSERT_EQ(device.open(), 0);
        ASSERT_EQ(device.include("0000000777"), 0);
        ASSERT_EQ(device.include("0000000778"), 0);
        ASSERT_EQ(device.remove("0000000778"), 0);

        sim.restart();
        EXPECT_EQ(device.ping(), code::NoAnswer); // the old connection went down with the old simulator
        ASSERT_EQ(device.open(), 0);
        EXPECT_EQ(device.list(), std::vector<std::string>{"0000000777"});
        EXPECT_EQ(sim->users().at("0000000777"), sim::Simulator::makeRecord("0000000777"));
        device.close();
    }
    // A damaged state file is reported, not silently replaced by an empty controller.
    {
        std::FILE* f = std::fopen(stateFile.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("something else\n", f);
        std::fclose(f);
        sim::Simulator damaged(options);
        std::string error;
        EXPECT_FALSE(damaged.start(0, 0, &error));
        EXPECT_NE(error.find("state file"), std::string::npos) << error;
    }
    std::filesystem::remove(stateFile);
}

TEST(EasyInner, NothingListeningGivesAnErrorCode)
{
    SimulatorFixture sim;
    const std::uint16_t port = sim.port();
    sim::os::setEnv("ZUL_SIM_TCP_3570", "127.0.0.1:" + std::to_string(port));
    sim->stop(); // the port is free again: nothing listens there
    Device device;
    EXPECT_EQ(device.open(), code::NoAnswer);
    EXPECT_EQ(device.ping(), code::LinkNotOpen);
    EXPECT_EQ(ZUL_BIND(device.lib, TemProximoPacote)(), 0);
    sim::os::setEnv("ZUL_SIM_TCP_3570", "nonsense");
    EXPECT_EQ(device.open(), code::BadArgument);
}

TEST(EasyInner, UnpluggedControllerGivesAnErrorCodeUntilPluggedIn)
{
    // Answers may be slow on a busy machine; only the unplugged calls are given up on quickly.
    SimulatorFixture sim({}, 5000);
    const auto unplug = [&](bool unplugged) {
        sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", unplugged ? "50" : "5000");
        sim->setUnplugged(unplugged);
    };
    Device device;
    ASSERT_EQ(device.open(), 0);
    unplug(true);
    EXPECT_EQ(device.ping(), code::NoAnswer);
    Event event;
    EXPECT_EQ(device.receive(event), code::NoAnswer);
    EXPECT_FALSE(sim->calls().back().answered);
    unplug(false);
    EXPECT_EQ(device.ping(), 0);

    unplug(true);
    EXPECT_EQ(device.open(), code::NoAnswer);
    unplug(false);
    EXPECT_EQ(device.open(), 0);
    device.close();
}

TEST(EasyInner, LateAnswerIsNotTakenForTheNextCall)
{
    SimulatorFixture sim({}, 200);
    Device device;
    ASSERT_EQ(device.open(), 0);
    ASSERT_TRUE(sim->setDelay("Ping", 300));
    sim->presentCard("0000000099");
    EXPECT_EQ(device.ping(), code::NoAnswer);
    ASSERT_TRUE(sim->setDelay("Ping", 0));
    Event event;
    // The Ping answer arrives while this call waits; it must be skipped, not read as the event.
    ASSERT_EQ(device.receive(event), 0);
    EXPECT_EQ(event.number(), "0000000099");
    device.close();
}

struct FaultCase
{
    const char* entryPoint;
    int code;
};

class Fault : public ::testing::TestWithParam<FaultCase>
{
};

TEST_P(Fault, ChosenEntryPointAnswersTheCodeUntilCleared)
{
    SimulatorFixture sim;
    Device device;
    ASSERT_EQ(device.open(), 0);
    sim->addUser("0000000005");
    auto call = [&]() -> int {
        const std::string name = GetParam().entryPoint;
        if (name == "Ping")
            return device.ping();
        if (name == "EnviarConfiguracoes")
            return ZUL_BIND(device.lib, EnviarConfiguracoes)(1);
        if (name == "UsuarioFoiExcluido")
            return device.remove("0000000005");
        if (name == "EnviarUsuarioBio")
            return device.include("0000000006");
        return -1;
    };
    ASSERT_TRUE(sim->setFault(GetParam().entryPoint, GetParam().code));
    EXPECT_EQ(call(), GetParam().code);
    const auto calls = sim->calls();
    const std::string name = GetParam().entryPoint;
    const auto faulted =
        std::find_if(calls.rbegin(), calls.rend(), [&](const sim::CallRecord& c) { return c.name == name; });
    ASSERT_NE(faulted, calls.rend());
    EXPECT_EQ(faulted->result, GetParam().code);
    ASSERT_TRUE(sim->setFault(GetParam().entryPoint, 0));
    sim->addUser("0000000005");
    EXPECT_EQ(call(), 0);
    device.close();
}

INSTANTIATE_TEST_SUITE_P(EasyInner, Fault,
                         ::testing::Values(FaultCase{"Ping", 9}, FaultCase{"EnviarConfiguracoes", 131},
                                           FaultCase{"UsuarioFoiExcluido", 131},
                                           FaultCase{"EnviarUsuarioBio", 40}));

} // namespace
} // namespace zul::test

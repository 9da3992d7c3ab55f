#include "access/TurnstileRelease.h"

#include "LinkedDevice.h"

#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

struct ReleaseCase
{
    char direction;
    bool normal;
    const char* entryPoint;
    sim::Arm arm;
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << c.direction << (c.normal ? " normal" : " inverted") << " -> " << c.entryPoint;
}

class ReleaseTurnstileTest : public ::testing::TestWithParam<ReleaseCase>
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(link.openLink()); }

    test::LinkedDevice link;
    sim::Simulator& sim = link.sim.simulator();
};

TEST_P(ReleaseTurnstileTest, OpensTheArmWithTheCallOfTheMounting)
{
    const ReleaseCase& c = GetParam();
    link.ui.normal = c.normal;
    link.device.RecordResult(1);
    EXPECT_EQ(ReleaseTurnstile(link.device, c.direction), 0);
    EXPECT_EQ(link.device.lastResult(), 0);
    EXPECT_EQ(sim.lastRelease(), c.entryPoint);
    EXPECT_EQ(sim.arm(), c.arm);
}

INSTANTIATE_TEST_SUITE_P(
    DirectionAndMounting, ReleaseTurnstileTest,
    ::testing::Values(ReleaseCase{'E', true, "LiberarCatracaEntrada", sim::Arm::Entry},
                      ReleaseCase{'E', false, "LiberarCatracaEntradaInvertida", sim::Arm::Entry},
                      ReleaseCase{'S', true, "LiberarCatracaSaida", sim::Arm::Exit},
                      ReleaseCase{'S', false, "LiberarCatracaSaidaInvertida", sim::Arm::Exit},
                      ReleaseCase{'T', true, "LiberarCatracaDoisSentidos", sim::Arm::Both},
                      ReleaseCase{'T', false, "LiberarCatracaDoisSentidos", sim::Arm::Both}));

class TurnstileReleaseTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(link.openLink()); }

    test::LinkedDevice link;
    sim::Simulator& sim = link.sim.simulator();
};

TEST_F(TurnstileReleaseTest, RefusedReleaseReturnsTheControllerCode)
{
    sim.setFault("LiberarCatracaEntradaInvertida", 9);
    EXPECT_EQ(ReleaseTurnstile(link.device, 'E'), 9);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
}

TEST_F(TurnstileReleaseTest, ErrorInsideTheReleaseIsLoggedAndReportedAsFailure)
{
    link.ui.failMounting = true;
    link.device.RecordResult(0); // what the previous call left
    EXPECT_EQ(ReleaseTurnstile(link.device, 'S'), ReleaseFailed);
    EXPECT_NE(ReleaseFailed, 0);
    EXPECT_EQ(link.device.lastResult(), ReleaseFailed);
    EXPECT_EQ(link.logged().last(), u"##### Libera catraca - ERRO: menu indisponível #####"_s);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
}

TEST_F(TurnstileReleaseTest, UnboundReleaseCountsAsNotCalled)
{
    link.device.UnloadDeviceLibrary();
    link.device.RecordResult(0);
    EXPECT_EQ(ReleaseTurnstile(link.device, 'T'), DeviceBinding::NotCalled);
    EXPECT_EQ(link.device.lastResult(), DeviceBinding::NotCalled);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
}

TEST_F(TurnstileReleaseTest, BlankMessageShowsDisconnectedAndReleasesBothWays)
{
    const std::string disconnected = toWin1252String(link.messages.Lookup(u"DESCONECTOU"_s));
    for (const QString& blank : {QString(), u"   "_s}) {
        link.device.Call<easyinner::EnviarMensagemPadraoOnLine>(1, 0, "x");
        ShowMessageAndRelease(link.device, blank);
        const sim::Display display = sim.display();
        EXPECT_EQ(display.mode, 0);
        EXPECT_EQ(display.line1 + display.line2, disconnected);
        EXPECT_EQ(sim.arm(), sim::Arm::Both);
    }
}

TEST_F(TurnstileReleaseTest, MessageReachesTheDisplayInWindows1252)
{
    const QString text = u"Sincronização     em andamento  "_s;
    ShowMessageAndRelease(link.device, text);
    const sim::Display display = sim.display();
    EXPECT_EQ(display.line1 + display.line2, toWin1252String(text));
    EXPECT_EQ(sim.lastRelease(), "LiberarCatracaDoisSentidos");
}

} // namespace
} // namespace zul

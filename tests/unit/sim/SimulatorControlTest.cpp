// The control protocol of the simulator: what a person or a test types to it.

#include "SimulatorFixture.h"
#include "os/Net.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace zul::test {
namespace {

bool ok(const std::string& reply)
{
    return reply.size() >= 3 && reply.compare(reply.size() - 3, 3, "OK\n") == 0;
}

class Malformed : public ::testing::TestWithParam<const char*>
{
};

TEST_P(Malformed, CommandIsRejectedWithAReasonAndChangesNothing)
{
    SimulatorFixture sim;
    const std::string reply = sim->command(GetParam());
    EXPECT_EQ(reply.rfind("ERR ", 0), 0u) << reply;
    EXPECT_EQ(reply.find('\n'), reply.size() - 1) << "one line: " << reply;
    EXPECT_EQ(sim->pendingEvents(), 0u);
    EXPECT_FALSE(sim->unplugged());
    EXPECT_TRUE(sim->users().empty());
    EXPECT_EQ(sim->command("faults"), "OK\n");
}

INSTANTIATE_TEST_SUITE_P(SimulatorControl, Malformed,
                         ::testing::Values("", "   ", "fly", "card", "card 1 2", "card 123456789012345",
                                           "card-hex 0", "card-hex zz", "finger", "finger nobody",
                                           "rotate now", "rotate", "no-pass", "fault", "fault Ping",
                                           "fault Nope 5", "fault Ping 0", "fault Ping 256", "fault Ping -1",
                                           "fault Ping x", "fault TemProximoPacote 3", "delay Ping",
                                           "delay Ping 70000", "delay Nope 5", "unplug now", "add-user",
                                           "add-user 12345678901", "del-user 1", "calls everything"));

TEST(SimulatorControl, CommandsActOnTheController)
{
    SimulatorFixture sim;
    EXPECT_TRUE(ok(sim->command("card 0000001234")));
    EXPECT_TRUE(ok(sim->command("card-hex 00000000000000000000")));
    EXPECT_EQ(sim->pendingEvents(), 2u);
    EXPECT_TRUE(ok(sim->command("add-user 0000000007")));
    EXPECT_EQ(sim->command("users"), ". 0000000007\nOK\n");
    EXPECT_TRUE(ok(sim->command("finger 0000000007")));
    EXPECT_TRUE(ok(sim->command("fault UsuarioFoiExcluido 131")));
    EXPECT_TRUE(ok(sim->command("delay Ping 5")));
    EXPECT_EQ(sim->command("faults"), ". UsuarioFoiExcluido 131\n. Ping delayed 5 ms\nOK\n");
    EXPECT_TRUE(ok(sim->command("fault UsuarioFoiExcluido none")));
    EXPECT_TRUE(ok(sim->command("unplug")));
    EXPECT_TRUE(sim->unplugged());
    EXPECT_TRUE(ok(sim->command("plug")));
    EXPECT_EQ(sim->command("arm"), ". locked\nOK\n");
    EXPECT_EQ(sim->command("display"),
              ". mode 1\n. [" + sim->display().line1 + "]\n. [                ]\nOK\n");
}

TEST(SimulatorControl, ControlPortServesTheSameCommands)
{
    SimulatorFixture sim;
    sim::os::Socket socket;
    ASSERT_EQ(sim::os::Socket::connect("127.0.0.1", sim.controlPort(), 2000, socket), sim::os::Status::Ok);
    sim::os::LineReader reader;
    auto ask = [&](const std::string& command) {
        EXPECT_EQ(socket.sendAll(command + "\n", 2000), sim::os::Status::Ok);
        std::string line;
        EXPECT_EQ(reader.readLine(socket, 4096, 2000, line), sim::os::Status::Ok);
        return line;
    };
    EXPECT_EQ(ask("card 0000000001"), "OK");
    EXPECT_EQ(sim->pendingEvents(), 1u);
    EXPECT_EQ(ask("bogus"), "ERR unknown command bogus (try help)");
    EXPECT_EQ(ask("rotate"), "ERR the arm is locked");
    // An endless command line is refused and the connection closed, without harm to the simulator.
    EXPECT_EQ(socket.sendAll(std::string(5000, 'a'), 2000), sim::os::Status::Ok);
    std::string line;
    EXPECT_EQ(reader.readLine(socket, 4096, 2000, line), sim::os::Status::Ok);
    EXPECT_EQ(line, "ERR command too long");
    EXPECT_EQ(sim->pendingEvents(), 1u);
}

#ifdef ZUL_CATRACA_SIM_PATH
TEST(SimulatorControl, ControlClientExitsNonZeroOnAnError)
{
    SimulatorFixture sim;
    const std::string client =
        std::string(ZUL_CATRACA_SIM_PATH) + " ctl --control-port " + std::to_string(sim.controlPort()) + " ";
    EXPECT_EQ(std::system((client + "card 0000000001 >/dev/null").c_str()), 0);
    EXPECT_EQ(sim->pendingEvents(), 1u);
    EXPECT_NE(std::system((client + "fault Ping soon 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((client + "teleport 2>/dev/null").c_str()), 0);
    sim->stop();
    EXPECT_NE(std::system((client + "arm 2>/dev/null").c_str()), 0);
}
#endif

} // namespace
} // namespace zul::test

// The library against a controller that answers garbage: every bad reply becomes an error
// code, never a crash, a hang or a half-filled buffer.

#include "EasyInnerLibrary.h"
#include "os/Net.h"
#include "protocol/Wire.h"

#include <array>
#include <atomic>
#include <cctype>
#include <gtest/gtest.h>
#include <thread>

namespace zul::test {
namespace {

namespace code = sim::code;

// Accepts one connection, answers the open correctly and every other request with `reply`
// ("{seq}" replaced by the request's number); with `closeAfter` it then hangs up.
class FakeController
{
public:
    FakeController(std::string reply, bool closeAfter) : m_reply(std::move(reply)), m_closeAfter(closeAfter)
    {
        std::string error;
        EXPECT_TRUE(m_listener.listen(0, error)) << error;
        m_saved = sim::os::getEnv("ZUL_SIM_TCP_3570");
        m_savedTimeout = sim::os::getEnv("ZUL_SIM_TIMEOUT_MS");
        sim::os::setEnv("ZUL_SIM_TCP_3570", "127.0.0.1:" + std::to_string(m_listener.port()));
        sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", "300");
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeController()
    {
        m_stop = true;
        m_thread.join();
        restore("ZUL_SIM_TCP_3570", m_saved);
        restore("ZUL_SIM_TIMEOUT_MS", m_savedTimeout);
    }

private:
    static void restore(const char* name, const std::string& value)
    {
        if (value.empty())
            sim::os::unsetEnv(name);
        else
            sim::os::setEnv(name, value);
    }

    void serve()
    {
        sim::os::Socket socket;
        while (!m_stop && m_listener.accept(20, socket) != sim::os::Status::Ok) {
        }
        sim::os::LineReader reader;
        while (!m_stop) {
            std::string line;
            const auto status = reader.readLine(socket, 8192, 20, line);
            if (status == sim::os::Status::Timeout)
                continue;
            if (status != sim::os::Status::Ok)
                return;
            const auto tokens = sim::wire::split(line);
            if (tokens.size() < 2 || tokens[0].front() == '~')
                continue;
            const std::string sequence(tokens[0]);
            if (tokens[1] == "AbrirPortaComunicacao") {
                socket.sendAll(sequence + " 0\n", 1000);
                continue;
            }
            std::string reply = m_reply;
            if (const auto at = reply.find("{seq}"); at != std::string::npos)
                reply.replace(at, 5, sequence);
            socket.sendAll(reply, 1000);
            if (m_closeAfter) {
                socket.close();
                return;
            }
        }
    }

    sim::os::Listener m_listener;
    std::string m_reply;
    bool m_closeAfter;
    std::string m_saved, m_savedTimeout;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct GarbageCase
{
    const char* what;
    const char* entryPoint;
    std::string reply;
    bool closeAfter;
    int expected;
};

class Garbage : public ::testing::TestWithParam<GarbageCase>
{
};

TEST_P(Garbage, IsRejectedWithAnErrorCode)
{
    const auto& param = GetParam();
    FakeController controller(param.reply, param.closeAfter);
    EasyInnerLibrary lib;
    ASSERT_TRUE(lib.loaded());
    ZUL_BIND(lib, DefinirTipoConexao)(1);
    ASSERT_EQ(ZUL_BIND(lib, AbrirPortaComunicacao)(3570), 0);

    const std::string name = param.entryPoint;
    if (name == "Ping") {
        EXPECT_EQ(ZUL_BIND(lib, Ping)(1), param.expected);
    } else if (name == "ReceberDadosOnLine") {
        std::array<unsigned char, 8> fields;
        fields.fill(0xee);
        std::array<char, 14> card;
        card.fill(char(0xee));
        EXPECT_EQ(ZUL_BIND(lib, ReceberDadosOnLine)(1, &fields[0], &fields[1], card.data(), &fields[2],
                                                    &fields[3], &fields[4], &fields[5], &fields[6],
                                                    &fields[7]),
                  param.expected);
        for (const unsigned char b : fields)
            EXPECT_EQ(b, 0xee);
        for (const char b : card)
            EXPECT_EQ(static_cast<unsigned char>(b), 0xee);
    } else if (name == "ReceberUsuarioLista") {
        std::array<unsigned char, 17> entry;
        entry.fill(0xee);
        EXPECT_EQ(ZUL_BIND(lib, ReceberUsuarioLista)(1, entry.data()), param.expected);
        EXPECT_EQ(entry[16], 0xee);
        EXPECT_EQ(entry[0], 0xee);
    } else if (name == "TemProximoPacote") {
        EXPECT_EQ(ZUL_BIND(lib, TemProximoPacote)(), param.expected);
    }
    ZUL_BIND(lib, FecharPortaComunicacao)();
}

const std::string card14 = sim::wire::hex("0000001234\0\0\0\0");

INSTANTIATE_TEST_SUITE_P(
    EasyInner, Garbage,
    ::testing::Values(
        GarbageCase{"extra value", "Ping", "{seq} 0 1\n", false, code::BadReply},
        GarbageCase{"no result", "Ping", "{seq}\n", false, code::BadReply},
        GarbageCase{"result not a number", "Ping", "{seq} zero\n", false, code::BadReply},
        GarbageCase{"result beyond a byte", "Ping", "{seq} 300\n", false, code::BadReply},
        GarbageCase{"answer to another request", "Ping", "999 0\n", false, code::BadReply},
        GarbageCase{"oversized", "Ping", "{seq} 0 " + std::string(100000, '7') + "\n", false, code::BadReply},
        GarbageCase{"endless line", "Ping", std::string(4000, 'x'), false, code::BadReply},
        GarbageCase{"cut short", "Ping", "{seq} ", true, code::BadReply},
        GarbageCase{"hung up without answer", "Ping", "", true, code::NoAnswer},
        GarbageCase{"no answer", "Ping", "", false, code::NoAnswer},
        GarbageCase{"card too short", "ReceberDadosOnLine", "{seq} 0 1 0 h3030 1 1 1 1 1 1\n", false,
                    code::BadReply},
        GarbageCase{"card not hex", "ReceberDadosOnLine",
                    "{seq} 0 1 0 hzz" + card14.substr(3) + " 1 1 1 1 1 1\n", false, code::BadReply},
        GarbageCase{"field beyond a byte", "ReceberDadosOnLine", "{seq} 0 1 0 " + card14 + " 1 1 1 1 1 256\n",
                    false, code::BadReply},
        GarbageCase{"fields missing", "ReceberDadosOnLine", "{seq} 0 1 0 " + card14 + "\n", false,
                    code::BadReply},
        GarbageCase{"entry too long", "ReceberUsuarioLista",
                    "{seq} 0 " + sim::wire::hex(std::string(17, 'a')) + "\n", false, code::BadReply},
        GarbageCase{"odd yes-or-no", "TemProximoPacote", "{seq} 7\n", false, 0}),
    [](const ::testing::TestParamInfo<GarbageCase>& param) {
        std::string name;
        for (const char c : std::string(param.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

} // namespace
} // namespace zul::test

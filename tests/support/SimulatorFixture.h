#pragma once

// Runs a turnstile simulator in-process on free ports and points the stand-in device library
// at it: the TCP/IP port 3570 and the serial port 1 that the program opens both lead to it.
//
//     zul::test::SimulatorFixture sim;              // started
//     sim->presentCard("0000001234");               // the sim::Simulator
//     ... load libEasyInner, AbrirPortaComunicacao(3570) ...
//     EXPECT_EQ(sim->callNames().back(), "Ping");
//
// Free of Qt: usable from every test program, and from the Windows build under Wine.

#include "core/Simulator.h"
#include "os/Net.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zul::test {

class SimulatorFixture
{
public:
    static constexpr int kTcpPort = 3570;
    static constexpr int kSerialPort = 1;

    // `timeoutMs` bounds every library call that gets no answer (ZUL_SIM_TIMEOUT_MS).
    explicit SimulatorFixture(sim::Options options = {}, int timeoutMs = 500) : m_options(std::move(options))
    {
        m_options.port = 0;
        m_options.controlPort = 0;
        for (const char* name : kVariables)
            m_saved.emplace_back(name, sim::os::getEnv(name));
        sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", std::to_string(timeoutMs));
        sim::os::unsetEnv("ZUL_SIM_HOST");
        start();
    }

    ~SimulatorFixture()
    {
        m_simulator.reset();
        for (const auto& [name, value] : m_saved) {
            if (value.empty())
                sim::os::unsetEnv(name.c_str());
            else
                sim::os::setEnv(name.c_str(), value);
        }
    }

    SimulatorFixture(const SimulatorFixture&) = delete;
    SimulatorFixture& operator=(const SimulatorFixture&) = delete;

    sim::Simulator& simulator() { return *m_simulator; }
    sim::Simulator* operator->() { return m_simulator.get(); }
    std::uint16_t port() const { return m_simulator->port(); }
    std::uint16_t controlPort() const { return m_simulator->controlPort(); }

    // A new simulator process, as after a power cut: same options and state file, new ports.
    void restart()
    {
        m_simulator.reset();
        start();
    }

    // Waits (briefly, in real time) for something the simulator does on its own threads.
    static bool eventually(const std::function<bool()>& condition, int timeoutMs = 2000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    void start()
    {
        m_simulator = std::make_unique<sim::Simulator>(m_options);
        std::string error;
        if (!m_simulator->start(&error))
            ADD_FAILURE() << "simulator did not start: " << error;
        const std::string endpoint = "127.0.0.1:" + std::to_string(m_simulator->port());
        sim::os::setEnv("ZUL_SIM_TCP_3570", endpoint);
        sim::os::setEnv("ZUL_SIM_SERIAL_1", endpoint);
    }

    static constexpr const char* kVariables[] = {"ZUL_SIM_TCP_3570", "ZUL_SIM_SERIAL_1", "ZUL_SIM_TIMEOUT_MS",
                                                 "ZUL_SIM_HOST"};
    sim::Options m_options;
    std::unique_ptr<sim::Simulator> m_simulator;
    std::vector<std::pair<std::string, std::string>> m_saved;
};

} // namespace zul::test

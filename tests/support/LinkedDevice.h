#pragma once

// A device link in virtual time for tests: its own log folder, a manual clock, the built-in
// catalogue, a fake main window and, when asked, the stand-in library bound to a turnstile
// simulator running in-process on free ports.
//
//     zul::test::LinkedDevice link;          // the stand-in library, simulator started
//     link.openLink();                       // DefinirTipoConexao(1), AbrirPortaComunicacao(3570)
//     link.device.PingDevice();
//     EXPECT_EQ(link.sim->callNames().back(), "Ping");

#include "FakeDeviceUi.h"
#include "LogReader.h"
#include "SimulatorFixture.h"
#include "TempDir.h"
#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Messages.h"
#include "support/Win1252.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace zul::test {

using namespace Qt::StringLiterals;

// The file name the system gives a shared library of this stem, as the build names it:
// EasyInnerPartial.dll on Windows, libEasyInnerPartial.so elsewhere.
inline QString sharedLibraryName(const QString& stem)
{
#ifdef _WIN32
    return stem + u".dll"_s;
#else
    return u"lib"_s + stem + u".so"_s;
#endif
}

struct LinkedDevice
{
    // Generous by default: on a busy machine the simulator's answers may take a while. Only an
    // unplugged controller is given up on quickly.
    static constexpr int AnswerTimeoutMs = 5000;
    static constexpr int UnpluggedTimeoutMs = 50;

    explicit LinkedDevice(QString libraryName = DeviceBinding::defaultLibraryName(),
                          int simTimeoutMs = AnswerTimeoutMs)
        : sim({}, simTimeoutMs), device(clock, log, messages, ui, std::move(libraryName)),
          m_answerTimeoutMs(simTimeoutMs)
    {}

    // The controller stops answering; each call then gives up after a short while.
    void unplug()
    {
        sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", std::to_string(UnpluggedTimeoutMs));
        sim.simulator().setUnplugged(true);
    }
    void plug()
    {
        sim.simulator().setUnplugged(false);
        sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", std::to_string(m_answerTimeoutMs));
    }

    // Loads the library and opens the TCP/IP link the way the program does, at the port of the
    // ticked caption (3570, which the fixture leads to the simulator).
    void openLink()
    {
        ASSERT_NE(device.LoadDeviceLibrary(), 0u) << "stand-in library not found";
        device.ReadDevicePort();
        device.Call<easyinner::DefinirTipoConexao>(device.currentLinkType());
        ASSERT_EQ(device.Call<easyinner::AbrirPortaComunicacao>(device.devicePort()), 0);
    }

    // The link held as the online loop holds it while it runs: the commands run on it and
    // need not open it. Given back when `loopClaim` is reset.
    void holdAsOnlineLoop()
    {
        loopClaim = device.link().claim(LinkHolder::Connection);
        ASSERT_TRUE(loopClaim.has_value());
        loopClaim->becomes(LinkHolder::OnlineLoop);
    }

    QStringList logged() const { return logTexts(log, clock); }

    long callCount(const std::string& name) const
    {
        const std::vector<std::string> names = sim.simulator().callNames();
        return std::count(names.begin(), names.end(), name);
    }

    TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    TMessages messages;
    FakeDeviceUi ui;
    mutable SimulatorFixture sim;
    DeviceBinding device; // after the simulator: it unloads the library before the simulator stops
    std::optional<LinkOwnership::Claim> loopClaim;

private:
    int m_answerTimeoutMs;
};

} // namespace zul::test

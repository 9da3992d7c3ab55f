// catraca-sim: the turnstile simulator, and `catraca-sim ctl` to command a running one.

#include "core/Simulator.h"
#include "os/Net.h"
#include "protocol/Wire.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef ZUL_SIM_WINDOW
#include "app/SimulatorWindow.h"
#endif

namespace {

std::atomic<bool> g_quit{false};
extern "C" void onSignal(int)
{
    g_quit = true;
}

const char* const kUsage =
    "usage: catraca-sim [--port N] [--control-port M] [--state FILE] [--auto-rotate MS]\n"
    "                   [--window] [--packet-size K] [--record FILE]\n"
    "       catraca-sim ctl [--control-port M] COMMAND [ARGUMENTS...]   (ctl help lists the commands)\n"
    "Defaults: device port 3570, control port N+1 (both chosen by the system with --port 0).\n";

bool number(const std::string& text, long long low, long long high, long long& out)
{
    const auto value = sim::wire::integer(text);
    if (!value || *value < low || *value > high)
        return false;
    out = *value;
    return true;
}

int runControl(const std::vector<std::string>& args)
{
    long long controlPort = 3571;
    std::string command;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--control-port" && command.empty()) {
            if (i + 1 >= args.size() || !number(args[i + 1], 1, 65535, controlPort)) {
                std::cerr << "catraca-sim ctl: --control-port needs a port number\n";
                return 2;
            }
            ++i;
        } else {
            command += (command.empty() ? "" : " ") + args[i];
        }
    }
    if (command.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    std::string host = sim::os::getEnv("ZUL_SIM_HOST");
    if (host.empty())
        host = "127.0.0.1";
    sim::os::Socket socket;
    if (sim::os::Socket::connect(host, static_cast<std::uint16_t>(controlPort), 2000, socket) !=
        sim::os::Status::Ok) {
        std::cerr << "catraca-sim ctl: no simulator on control port " << controlPort << "\n";
        return 2;
    }
    if (socket.sendAll(command + "\n", 2000) != sim::os::Status::Ok) {
        std::cerr << "catraca-sim ctl: the simulator closed the connection\n";
        return 2;
    }
    sim::os::LineReader reader;
    for (;;) {
        std::string line;
        if (reader.readLine(socket, 4096, 5000, line) != sim::os::Status::Ok) {
            std::cerr << "catraca-sim ctl: no complete answer from the simulator\n";
            return 2;
        }
        if (line == "OK")
            return 0;
        if (line.rfind("ERR", 0) == 0) {
            std::cerr << "catraca-sim: " << (line.size() > 4 ? line.substr(4) : line) << "\n";
            return 1;
        }
        std::cout << (line.rfind(". ", 0) == 0 ? line.substr(2) : line) << "\n";
    }
}

void printNotice(const std::string& text)
{
    static std::mutex mutex;
    const std::time_t now = std::time(nullptr);
    char stamp[16] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", local);
    std::lock_guard lock(mutex);
    std::cout << stamp << " " << text << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl")
        return runControl({args.begin() + 1, args.end()});

    sim::Options options;
    bool controlGiven = false;
    bool window = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        const bool hasValue = i + 1 < args.size();
        long long value = 0;
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (option == "--window") {
            window = true;
        } else if (option == "--port" && hasValue && number(args[i + 1], 0, 65535, value)) {
            options.port = static_cast<std::uint16_t>(value);
            ++i;
        } else if (option == "--control-port" && hasValue && number(args[i + 1], 0, 65535, value)) {
            options.controlPort = static_cast<std::uint16_t>(value);
            controlGiven = true;
            ++i;
        } else if (option == "--state" && hasValue) {
            options.stateFile = args[++i];
        } else if (option == "--record" && hasValue) {
            options.recordFile = args[++i];
        } else if (option == "--auto-rotate" && hasValue && number(args[i + 1], 0, 3600000, value)) {
            options.autoRotateMs = static_cast<int>(value);
            ++i;
        } else if (option == "--packet-size" && hasValue && number(args[i + 1], 1, 10000, value)) {
            options.packetSize = static_cast<std::size_t>(value);
            ++i;
        } else {
            std::cerr << "catraca-sim: bad option or value: " << option << "\n" << kUsage;
            return 2;
        }
    }
    if (!controlGiven)
        options.controlPort = options.port == 0 || options.port == 65535 ? 0 : options.port + 1;

    sim::Simulator simulator(options);
    simulator.setObserver(printNotice);
    std::string error;
    if (!simulator.start(&error)) {
        std::cerr << "catraca-sim: " << error << "\n";
        return 1;
    }
    // The first line tells a parent process which ports were chosen.
    std::cout << "catraca-sim: device port " << simulator.port() << ", control port "
              << simulator.controlPort() << std::endl;

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    int status = 0;
    if (window) {
#ifdef ZUL_SIM_WINDOW
        status = runSimulatorWindow(argc, argv, simulator, g_quit);
#else
        std::cerr << "catraca-sim: built without the window; running on the console\n";
#endif
    }
    while (!g_quit)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    simulator.stop();
    return status;
}

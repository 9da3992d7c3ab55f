// A small service for the service tests: it runs the same service host as the manager and
// writes what happens to it, one word a line, to the file given by --events FILE, or else to
// its own path followed by ".events" (a service is started without arguments).
#include "platform/ServiceControl.h"
#include "platform/System.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    std::string events = zul::platform::executablePath() + ".events";
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--events")
            events = argv[i + 1];
    auto note = [&](const std::string& line) {
        std::ofstream out(events, std::ios::app | std::ios::binary);
        out << line << '\n';
    };

    auto host = zul::platform::ServiceHost::create("ZulTestService", [] {});
    const zul::platform::ServiceError error = host->start([] { return true; });
    if (!error.empty()) {
        note("failed " + error);
        return 3;
    }
    note("running");
    // The work of the program goes on on this thread until the manager asks for a stop.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!host->stopRequested() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    note(host->stopRequested() ? "stop" : "timeout");
    // The work has ended before the manager hears that the service stopped.
    note("ended");
    host.reset();
    return 0;
}

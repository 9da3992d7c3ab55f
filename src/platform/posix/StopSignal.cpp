#include "platform/StopSignal.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zul::platform {
namespace {

int writeEnd = -1;
int readEnd = -1;

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

int installStopSignal()
{
    if (readEnd >= 0)
        return readEnd;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    readEnd = ends[0];
    writeEnd = ends[1];
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return readEnd;
}

bool drainStopSignal(int descriptor)
{
    char buffer[16];
    bool pending = false;
    while (::read(descriptor, buffer, sizeof buffer) > 0)
        pending = true;
    return pending;
}

} // namespace zul::platform

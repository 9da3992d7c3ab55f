#include "os/Net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim::os {

namespace {

int fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

bool setNonBlocking(int s)
{
    const int flags = ::fcntl(s, F_GETFL, 0);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Waits for `events`; Ok when ready, Timeout, or Error.
Status waitFor(int s, short events, int timeoutMs)
{
    pollfd p{s, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
        if (n > 0)
            return Status::Ok;
        if (n == 0)
            return Status::Timeout;
        if (errno != EINTR)
            return Status::Error;
    }
}

bool resolve(const std::string& host, std::uint16_t port, sockaddr_in& address)
{
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

} // namespace

bool startup()
{
    return true;
}

Status Socket::connect(const std::string& host, std::uint16_t port, int timeoutMs, Socket& out)
{
    out.close();
    sockaddr_in address{};
    if (!resolve(host, port, address))
        return Status::Error;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return Status::Error;
    Socket owned(s);
    if (!setNonBlocking(s))
        return Status::Error;
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno == ECONNREFUSED)
            return Status::Refused;
        if (errno != EINPROGRESS)
            return Status::Error;
        const Status ready = waitFor(s, POLLOUT, timeoutMs);
        if (ready != Status::Ok)
            return ready;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return Status::Error;
        if (error == ECONNREFUSED)
            return Status::Refused;
        if (error != 0)
            return Status::Error;
    }
    out = std::move(owned);
    return Status::Ok;
}

Status Socket::sendAll(std::string_view data, int timeoutMs)
{
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    while (!data.empty()) {
        const ssize_t n = ::send(fd(m_handle), data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const Status ready = waitFor(fd(m_handle), POLLOUT, static_cast<int>(deadline - monotonicMs()));
            if (ready != Status::Ok)
                return ready;
            continue;
        }
        return errno == EPIPE || errno == ECONNRESET ? Status::Closed : Status::Error;
    }
    return Status::Ok;
}

Status Socket::recvSome(char* buffer, std::size_t size, int timeoutMs, std::size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::recv(fd(m_handle), buffer, size, 0);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Status::Ok;
        }
        if (n == 0)
            return Status::Closed;
        if (errno == EINTR)
            continue;
        if (errno == ECONNRESET)
            return Status::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return Status::Error;
        const Status ready = waitFor(fd(m_handle), POLLIN, timeoutMs);
        if (ready != Status::Ok)
            return ready;
        timeoutMs = 0; // readable now: the next recv answers at once
    }
}

void Socket::shutdown()
{
    if (valid())
        ::shutdown(fd(m_handle), SHUT_RDWR);
}

void Socket::close()
{
    if (valid()) {
        ::close(fd(m_handle));
        m_handle = kInvalid;
    }
}

bool Listener::listen(std::uint16_t port, std::string& error)
{
    close();
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = std::strerror(errno);
        return false;
    }
    // A simulator restarted on its former port must not wait for old connections to expire.
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || !setNonBlocking(s)) {
        error = std::strerror(errno);
        ::close(s);
        return false;
    }
    m_handle = s;
    m_port = ntohs(address.sin_port);
    return true;
}

Status Listener::accept(int timeoutMs, Socket& out)
{
    if (m_handle == Socket::kInvalid)
        return Status::Closed;
    const Status ready = waitFor(fd(m_handle), POLLIN, timeoutMs);
    if (ready != Status::Ok)
        return ready;
    const int s = ::accept4(fd(m_handle), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (s < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Status::Timeout : Status::Error;
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out = Socket(s);
    return Status::Ok;
}

void Listener::close()
{
    if (m_handle != Socket::kInvalid) {
        ::close(fd(m_handle));
        m_handle = Socket::kInvalid;
    }
}

bool replaceFile(const std::string& path, std::string_view contents, std::string& error)
{
    const std::string temporary = path + ".tmp";
    const int f = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (f < 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    std::string_view left = contents;
    bool ok = true;
    while (ok && !left.empty()) {
        const ssize_t n = ::write(f, left.data(), left.size());
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            left.remove_prefix(static_cast<std::size_t>(n));
    }
    ok = ok && ::fsync(f) == 0;
    if (!ok)
        error = temporary + ": " + std::strerror(errno);
    ::close(f);
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

std::string getEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void setEnv(const char* name, const std::string& value)
{
    ::setenv(name, value.c_str(), 1);
}
void unsetEnv(const char* name)
{
    ::unsetenv(name);
}

} // namespace sim::os

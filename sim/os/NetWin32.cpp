#include "os/Net.h"

#include <cstdlib>
#include <mutex>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace sim::os {

namespace {

SOCKET sock(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

// select() rather than WSAPoll: WSAPoll does not report a refused connect on every version.
Status waitFor(SOCKET s, bool forWrite, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval limit{};
    if (timeoutMs > 0) {
        limit.tv_sec = timeoutMs / 1000;
        limit.tv_usec = (timeoutMs % 1000) * 1000;
    }
    const int n = ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &failed, &limit);
    if (n > 0)
        return Status::Ok;
    return n == 0 ? Status::Timeout : Status::Error;
}

bool setNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

bool resolve(const std::string& host, std::uint16_t port, sockaddr_in& address)
{
    ZeroMemory(&address, sizeof address);
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

std::string lastError()
{
    return "error " + std::to_string(::WSAGetLastError());
}

} // namespace

bool startup()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        WSADATA data;
        ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return ok;
}

Status Socket::connect(const std::string& host, std::uint16_t port, int timeoutMs, Socket& out)
{
    out.close();
    if (!startup())
        return Status::Error;
    sockaddr_in address{};
    if (!resolve(host, port, address))
        return Status::Error;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return Status::Error;
    Socket owned(static_cast<std::intptr_t>(s));
    if (!setNonBlocking(s))
        return Status::Error;
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = ::WSAGetLastError();
        if (error == WSAECONNREFUSED)
            return Status::Refused;
        if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS)
            return Status::Error;
        const Status ready = waitFor(s, true, timeoutMs);
        if (ready != Status::Ok)
            return ready;
        int soError = 0;
        int length = sizeof soError;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0)
            return Status::Error;
        if (soError == WSAECONNREFUSED)
            return Status::Refused;
        if (soError != 0)
            return Status::Error;
    }
    out = std::move(owned);
    return Status::Ok;
}

Status Socket::sendAll(std::string_view data, int timeoutMs)
{
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    while (!data.empty()) {
        const int chunk = static_cast<int>(data.size() > 65536 ? 65536 : data.size());
        const int n = ::send(sock(m_handle), data.data(), chunk, 0);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            const Status ready = waitFor(sock(m_handle), true, static_cast<int>(deadline - monotonicMs()));
            if (ready != Status::Ok)
                return ready;
            continue;
        }
        return error == WSAECONNRESET || error == WSAECONNABORTED ? Status::Closed : Status::Error;
    }
    return Status::Ok;
}

Status Socket::recvSome(char* buffer, std::size_t size, int timeoutMs, std::size_t& got)
{
    got = 0;
    for (;;) {
        const int n = ::recv(sock(m_handle), buffer, static_cast<int>(size), 0);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Status::Ok;
        }
        if (n == 0)
            return Status::Closed;
        const int error = ::WSAGetLastError();
        if (error == WSAECONNRESET || error == WSAECONNABORTED)
            return Status::Closed;
        if (error != WSAEWOULDBLOCK)
            return Status::Error;
        const Status ready = waitFor(sock(m_handle), false, timeoutMs);
        if (ready != Status::Ok)
            return ready;
        timeoutMs = 0;
    }
}

void Socket::shutdown()
{
    if (valid())
        ::shutdown(sock(m_handle), SD_BOTH);
}

void Socket::close()
{
    if (valid()) {
        ::closesocket(sock(m_handle));
        m_handle = kInvalid;
    }
}

bool Listener::listen(std::uint16_t port, std::string& error)
{
    close();
    if (!startup()) {
        error = "Winsock could not be started";
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = lastError();
        return false;
    }
    // No SO_REUSEADDR here: on Windows it would let another process take the port over.
    const BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || !setNonBlocking(s)) {
        error = lastError();
        ::closesocket(s);
        return false;
    }
    m_handle = static_cast<std::intptr_t>(s);
    m_port = ntohs(address.sin_port);
    return true;
}

Status Listener::accept(int timeoutMs, Socket& out)
{
    if (m_handle == Socket::kInvalid)
        return Status::Closed;
    const Status ready = waitFor(sock(m_handle), false, timeoutMs);
    if (ready != Status::Ok)
        return ready;
    const SOCKET s = ::accept(sock(m_handle), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return ::WSAGetLastError() == WSAEWOULDBLOCK ? Status::Timeout : Status::Error;
    setNonBlocking(s);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    out = Socket(static_cast<std::intptr_t>(s));
    return Status::Ok;
}

void Listener::close()
{
    if (m_handle != Socket::kInvalid) {
        ::closesocket(sock(m_handle));
        m_handle = Socket::kInvalid;
    }
}

bool replaceFile(const std::string& path, std::string_view contents, std::string& error)
{
    const std::string temporary = path + ".tmp";
    HANDLE f = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        error = temporary + ": error " + std::to_string(::GetLastError());
        return false;
    }
    DWORD written = 0;
    bool ok = ::WriteFile(f, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
              written == contents.size() && ::FlushFileBuffers(f);
    if (!ok)
        error = temporary + ": error " + std::to_string(::GetLastError());
    ::CloseHandle(f);
    if (ok &&
        !::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = path + ": error " + std::to_string(::GetLastError());
        ok = false;
    }
    if (!ok)
        ::DeleteFileA(temporary.c_str());
    return ok;
}

std::string getEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void setEnv(const char* name, const std::string& value)
{
    ::_putenv_s(name, value.c_str());
}
void unsetEnv(const char* name)
{
    ::_putenv_s(name, "");
}

} // namespace sim::os

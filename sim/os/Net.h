#pragma once

// The few operating-system services the stand-in library and the simulator need, behind one
// interface: loopback TCP sockets with deadlines, durable file replacement and the process
// environment. One implementation file per operating system (NetPosix.cpp, NetWin32.cpp).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim::os {

enum class Status {
    Ok,
    Refused, // nothing listens: reported at once, never waited for
    Timeout,
    Closed, // the peer closed the connection
    TooLong,
    Error,
};

// Prepares the socket layer (Winsock needs it); safe to call any number of times.
bool startup();

class Socket
{
public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_handle(other.m_handle) { other.m_handle = kInvalid; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    static Status connect(const std::string& host, std::uint16_t port, int timeoutMs, Socket& out);

    bool valid() const { return m_handle != kInvalid; }
    Status sendAll(std::string_view data, int timeoutMs);
    // Waits up to timeoutMs for at least one byte; `got` is 0 unless the status is Ok.
    Status recvSome(char* buffer, std::size_t size, int timeoutMs, std::size_t& got);
    // Wakes a thread blocked on this socket (used to stop server threads).
    void shutdown();
    void close();

    static constexpr std::intptr_t kInvalid = -1;
    explicit Socket(std::intptr_t handle) : m_handle(handle) {}

private:
    std::intptr_t m_handle = kInvalid;
};

// Listens on the loopback interface only: the simulator is a test and development device.
class Listener
{
public:
    Listener() = default;
    ~Listener() { close(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Port 0 lets the system choose a free port; port() tells which.
    bool listen(std::uint16_t port, std::string& error);
    std::uint16_t port() const { return m_port; }
    Status accept(int timeoutMs, Socket& out);
    void close();

private:
    std::intptr_t m_handle = Socket::kInvalid;
    std::uint16_t m_port = 0;
};

// Reads one line ending in '\n' (the '\n' and a preceding '\r' removed) within timeoutMs.
// Bytes after the line stay buffered for the next call. A line longer than maxLength gives
// TooLong; end of stream inside a line gives Closed with `partial` set.
class LineReader
{
public:
    Status readLine(Socket& socket, std::size_t maxLength, int timeoutMs, std::string& line);
    bool partial() const { return m_partial; }
    void clear()
    {
        m_buffer.clear();
        m_partial = false;
    }

private:
    std::string m_buffer;
    bool m_partial = false;
};

// Writes `contents` to `path` through a temporary file that replaces it in one step, flushed
// to disk first, so a crash or a full disk leaves either the old or the new file, never half.
bool replaceFile(const std::string& path, std::string_view contents, std::string& error);

std::string getEnv(const char* name); // empty when unset
void setEnv(const char* name, const std::string& value);
void unsetEnv(const char* name);

// Milliseconds of a monotonic clock, for deadlines of network waits.
std::int64_t monotonicMs();

} // namespace sim::os

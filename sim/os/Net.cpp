#include "os/Net.h"

#include <chrono>

namespace sim::os {

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        other.m_handle = kInvalid;
    }
    return *this;
}

Status LineReader::readLine(Socket& socket, std::size_t maxLength, int timeoutMs, std::string& line)
{
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const auto newline = m_buffer.find('\n');
        if (newline != std::string::npos) {
            if (newline > maxLength + 1)
                return Status::TooLong;
            line.assign(m_buffer, 0, newline);
            m_buffer.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_partial = !m_buffer.empty();
            return line.size() > maxLength ? Status::TooLong : Status::Ok;
        }
        if (m_buffer.size() > maxLength + 1)
            return Status::TooLong;
        const auto left = deadline - monotonicMs();
        if (left <= 0) {
            m_partial = !m_buffer.empty();
            return Status::Timeout;
        }
        char chunk[1024];
        std::size_t got = 0;
        const Status status = socket.recvSome(chunk, sizeof chunk, static_cast<int>(left), got);
        if (status != Status::Ok) {
            m_partial = !m_buffer.empty();
            return status;
        }
        m_buffer.append(chunk, got);
    }
}

std::int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace sim::os

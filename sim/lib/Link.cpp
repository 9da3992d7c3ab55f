#include "lib/Link.h"

#include "protocol/Wire.h"

#include <algorithm>

namespace sim {

namespace {
constexpr std::size_t kMaxNotes = 64;
constexpr int kDefaultTimeoutMs = 2000;
constexpr int kDefaultSerialBase = 3569; // serial port 1 -> 3570, the simulator's default

bool parseEndpoint(const std::string& text, std::string& host, std::uint16_t& port)
{
    const auto colon = text.rfind(':');
    const std::string portText = colon == std::string::npos ? text : text.substr(colon + 1);
    const auto value = wire::integer(portText);
    if (!value || *value < 1 || *value > 65535)
        return false;
    if (colon != std::string::npos && colon > 0)
        host = text.substr(0, colon);
    port = static_cast<std::uint16_t>(*value);
    return true;
}
} // namespace

bool resolveEndpoint(int linkType, int port, std::string& host, std::uint16_t& tcpPort)
{
    host = os::getEnv("ZUL_SIM_HOST");
    if (host.empty())
        host = "127.0.0.1";
    const std::string prefix = linkType == 0 ? "ZUL_SIM_SERIAL_" : "ZUL_SIM_TCP_";
    if (port < 0)
        return false;
    const std::string mapped = os::getEnv((prefix + std::to_string(port)).c_str());
    if (!mapped.empty())
        return parseEndpoint(mapped, host, tcpPort);
    const long long target = linkType == 0 ? kDefaultSerialBase + static_cast<long long>(port) : port;
    if ((linkType == 0 && (port < 1 || port > 255)) || target < 1 || target > 65535)
        return false;
    tcpPort = static_cast<std::uint16_t>(target);
    return true;
}

Link& Link::instance()
{
    static Link link;
    return link;
}

int Link::timeoutMs()
{
    const auto value = wire::integer(os::getEnv("ZUL_SIM_TIMEOUT_MS"));
    if (!value)
        return kDefaultTimeoutMs;
    return static_cast<int>(std::clamp<long long>(*value, 10, 60000));
}

void Link::setLinkType(int linkType)
{
    std::lock_guard lock(m_mutex);
    m_linkType = linkType;
}

void Link::note(const std::string& name, const std::string& args)
{
    std::lock_guard lock(m_mutex);
    m_notes.push_back((m_socket.valid() ? "~ " : "~closed ") + name + args + "\n");
    // Bounded: a program that keeps configuring a closed link must not grow without end.
    while (m_notes.size() > kMaxNotes)
        m_notes.pop_front();
}

void Link::drop()
{
    m_socket.close();
    m_reader.clear();
}

int Link::open(int port)
{
    std::lock_guard lock(m_mutex);
    drop();
    std::string host;
    std::uint16_t tcpPort = 0;
    if (!resolveEndpoint(m_linkType, port, host, tcpPort))
        return code::BadArgument;
    if (!os::startup())
        return code::NoAnswer;
    if (os::Socket::connect(host, tcpPort, timeoutMs(), m_socket) != os::Status::Ok) {
        drop();
        return code::NoAnswer;
    }
    const Reply reply = callLocked("AbrirPortaComunicacao", " " + std::to_string(port), 0, 0, 255);
    if (reply.result != code::Ok)
        drop();
    return reply.result;
}

void Link::close()
{
    std::lock_guard lock(m_mutex);
    if (!m_socket.valid()) {
        m_notes.push_back("~closed FecharPortaComunicacao\n");
        while (m_notes.size() > kMaxNotes)
            m_notes.pop_front();
        return;
    }
    std::string out;
    for (const auto& pending : m_notes)
        out += pending;
    m_notes.clear();
    out += "~ FecharPortaComunicacao\n";
    m_socket.sendAll(out, std::min(timeoutMs(), 500));
    drop();
}

Reply Link::call(const std::string& name, const std::string& args, std::size_t outputs, long long minResult,
                 long long maxResult)
{
    std::lock_guard lock(m_mutex);
    return callLocked(name, args, outputs, minResult, maxResult);
}

Reply Link::callLocked(const std::string& name, const std::string& args, std::size_t outputs,
                       long long minResult, long long maxResult)
{
    if (!m_socket.valid())
        return {code::LinkNotOpen, {}};
    const std::uint64_t sequence = ++m_sequence;
    std::string out;
    for (const auto& pending : m_notes)
        out += pending;
    m_notes.clear();
    out += std::to_string(sequence) + " " + name + args + "\n";
    const int timeout = timeoutMs();
    const std::int64_t deadline = os::monotonicMs() + timeout;
    if (m_socket.sendAll(out, timeout) != os::Status::Ok) {
        drop();
        return {code::NoAnswer, {}};
    }
    for (;;) {
        const auto left = std::max<std::int64_t>(0, deadline - os::monotonicMs());
        std::string line;
        const os::Status status = m_reader.readLine(m_socket, kMaxReplyLine, static_cast<int>(left), line);
        if (status == os::Status::Timeout && !m_reader.partial())
            return {code::NoAnswer, {}}; // the controller may answer late: stale replies are skipped
        if (status != os::Status::Ok) {
            // Cut short, too long or broken: the stream can no longer be trusted.
            const bool partial = m_reader.partial() || status == os::Status::TooLong;
            drop();
            return {partial ? code::BadReply : code::NoAnswer, {}};
        }
        const auto tokens = wire::split(line);
        const auto replySequence = tokens.empty() ? std::nullopt : wire::integer(tokens[0]);
        if (replySequence && *replySequence > 0 && static_cast<std::uint64_t>(*replySequence) < sequence)
            continue; // the late answer to a request that already timed out
        const auto parsed = tokens.size() >= 2 ? wire::integer(tokens[1]) : std::nullopt;
        if (!replySequence || static_cast<std::uint64_t>(*replySequence) != sequence || !parsed.has_value()) {
            drop();
            return {code::BadReply, {}};
        }
        const long long result = parsed.value_or(0);
        Reply reply;
        reply.result = static_cast<int>(result);
        // A failed call carries no values; a successful one exactly the expected number.
        const std::size_t expected = result != 0 ? 0 : outputs;
        if (result < minResult || result > maxResult || tokens.size() != 2 + expected) {
            drop();
            return {code::BadReply, {}};
        }
        for (std::size_t i = 2; i < tokens.size(); ++i)
            reply.outputs.emplace_back(tokens[i]);
        return reply;
    }
}

} // namespace sim

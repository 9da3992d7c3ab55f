#pragma once

// The library's side of the link to the simulator: one connection, requests answered in
// order, every wait bounded.

#include "os/Net.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct Reply
{
    int result = 0;
    std::vector<std::string> outputs;
};

class Link
{
public:
    static Link& instance();

    void setLinkType(int linkType);
    int open(int port);
    void close();

    // A setting that needs no answer: sent ahead of the next request, or with the next open
    // when the link is closed, so that the controller sees every call in order.
    void note(const std::string& name, const std::string& args);

    // One request; the reply must carry exactly `outputs` values after the result, and a
    // result within [minResult, maxResult].
    Reply call(const std::string& name, const std::string& args, std::size_t outputs = 0,
               long long minResult = 0, long long maxResult = 255);

private:
    Reply callLocked(const std::string& name, const std::string& args, std::size_t outputs,
                     long long minResult, long long maxResult);
    void drop();
    static int timeoutMs();

    std::mutex m_mutex;
    int m_linkType = 1;
    os::Socket m_socket;
    os::LineReader m_reader;
    std::deque<std::string> m_notes;
    std::uint64_t m_sequence = 0;
};

// Where a port of the given link type is reached; false when the configuration is unusable.
bool resolveEndpoint(int linkType, int port, std::string& host, std::uint16_t& tcpPort);

} // namespace sim

#include "protocol/Wire.h"

#include <algorithm>
#include <charconv>

namespace sim {

bool isEntryPoint(std::string_view name)
{
    return std::find(kEntryPoints.begin(), kEntryPoints.end(), name) != kEntryPoints.end();
}

namespace wire {

std::string hex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(1 + 2 * bytes.size());
    out.push_back('h');
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

namespace {
int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<std::string> unhex(std::string_view token)
{
    if (token.empty() || token.front() != 'h' || token.size() % 2 != 1)
        return std::nullopt;
    std::string out;
    out.reserve(token.size() / 2);
    for (std::size_t i = 1; i < token.size(); i += 2) {
        const int high = nibble(token[i]);
        const int low = nibble(token[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}

std::optional<long long> integer(std::string_view token)
{
    long long value = 0;
    if (token.empty() || token.size() > 20)
        return std::nullopt;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size())
        return std::nullopt;
    return value;
}

std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

} // namespace wire
} // namespace sim

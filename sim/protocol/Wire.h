#pragma once

// The line protocol between the stand-in library and the simulator (see sim/PROTOCOL.md),
// shared by both ends so that they cannot drift apart.

#include "device/EntryPoints.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The 37 entry points of the device library, in the order of the library's documentation.
#define SIM_ENTRY_POINT_NAME(Name, Result, Shape, Parameters) #Name,
inline constexpr std::array<std::string_view, zul::easyinner::EntryPointCount> kEntryPoints = {
    ZUL_EASYINNER_ENTRY_POINTS(SIM_ENTRY_POINT_NAME)};
#undef SIM_ENTRY_POINT_NAME

// The arguments of each entry point as a request line carries them, by the index of
// kEntryPoints: 'd' the device number, 'i' an integer, 't' a byte string.
#define SIM_ENTRY_POINT_SHAPE(Name, Result, Shape, Parameters) Shape,
inline constexpr std::array<std::string_view, zul::easyinner::EntryPointCount> kArgumentShapes = {
    ZUL_EASYINNER_ENTRY_POINTS(SIM_ENTRY_POINT_SHAPE)};
#undef SIM_ENTRY_POINT_SHAPE

bool isEntryPoint(std::string_view name);

// Result codes of the stand-in library and the simulator (0 is success).
namespace code {
inline constexpr int Ok = 0;
inline constexpr int LinkNotOpen = 2;    // no open link: AbrirPortaComunicacao first
inline constexpr int NoAnswer = 3;       // nothing listens, no answer in time, or the link was lost
inline constexpr int BadReply = 4;       // a reply that is too long, cut short or malformed
inline constexpr int BadArgument = 5;    // null address, text too long, value out of range
inline constexpr int NothingPending = 6; // no event, no packet, no answer waiting to be read
inline constexpr int UserNotFound = 7;   // deletion of a code the controller does not hold
inline constexpr int UnknownRequest = 8; // the controller does not know the request
} // namespace code

inline constexpr std::size_t kRecordSize = 844;   // one biometric record
inline constexpr std::size_t kCardSize = 14;      // the card field of an online event
inline constexpr std::size_t kListEntrySize = 16; // one entry of the user list
inline constexpr std::size_t kUserCodeSize = 10;  // user code: at most 10 characters
inline constexpr std::size_t kMaxRequestLine = 4096;
inline constexpr std::size_t kMaxReplyLine = 256;

namespace wire {

// A byte string travels as 'h' followed by two lower-case hex digits per byte.
std::string hex(std::string_view bytes);
std::optional<std::string> unhex(std::string_view token);
std::optional<long long> integer(std::string_view token);
std::vector<std::string_view> split(std::string_view line);

} // namespace wire

} // namespace sim

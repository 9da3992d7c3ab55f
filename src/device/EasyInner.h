#pragma once

#include "device/EntryPoints.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The controller vendor's library: its 37 entry points (device/EntryPoints.h) with their
// argument lists. The library is loaded at run time and every entry point is resolved by name
// once, when it is loaded, so the prototypes below are never defined or linked; only their
// types are used to call the resolved addresses (see DeviceBinding::Call).

namespace zul::easyinner {

using i32 = std::int32_t;
using u8 = std::uint8_t;
static_assert(sizeof(int) == sizeof(i32), "the library's ints are 32 bits wide");

namespace prototypes {

// Every entry point returns a 32-bit register value; where the result is a byte, only its
// low 8 bits count (0 success, anything else the library's error code).
#define ZUL_EASYINNER_PROTOTYPE(Name, Result, Shape, Parameters) i32 ZUL_EASYINNER_CALL Name Parameters;
ZUL_EASYINNER_ENTRY_POINTS(ZUL_EASYINNER_PROTOTYPE)
#undef ZUL_EASYINNER_PROTOTYPE

} // namespace prototypes

// What a caller may make of an entry point's return value.
enum class ResultKind {
    Ignored, // nothing meaningful is returned
    Byte,    // the low 8 bits: 0 success, else an error code
    Int32    // a whole 32-bit value (nonzero = more to come)
};

// The position of each entry point in the list, which is its slot in the binding's table.
namespace slot {
#define ZUL_EASYINNER_SLOT(Name, Result, Shape, Parameters) Name,
enum Index : std::size_t { ZUL_EASYINNER_ENTRY_POINTS(ZUL_EASYINNER_SLOT) };
#undef ZUL_EASYINNER_SLOT
} // namespace slot

// The exported names, by slot.
#define ZUL_EASYINNER_NAME(Name, Result, Shape, Parameters) #Name,
inline constexpr std::array<const char*, EntryPointCount> EntryPointNames = {
    ZUL_EASYINNER_ENTRY_POINTS(ZUL_EASYINNER_NAME)};
#undef ZUL_EASYINNER_NAME

// One tag type per entry point: its exported name, its slot, its pointer type taken from the
// prototype and the kind of its result. DeviceBinding::Call<easyinner::Ping>(deviceNumber())
// calls it with the arguments checked by the compiler.
#define ZUL_EASYINNER_ENTRY(Name, Kind, Shape, Parameters)                                                   \
    struct Name                                                                                              \
    {                                                                                                        \
        using Pointer = decltype(&prototypes::Name);                                                         \
        static constexpr const char* name = #Name;                                                           \
        static constexpr std::size_t index = slot::Name;                                                     \
        static constexpr ResultKind kind = ResultKind::Kind;                                                 \
    };
ZUL_EASYINNER_ENTRY_POINTS(ZUL_EASYINNER_ENTRY)
#undef ZUL_EASYINNER_ENTRY

// The record ReceberDadosOnLine fills, field by field, in this order.
struct OnlineEvent
{
    u8 Origin = 0;
    u8 Complement = 0;
    char Card[14] = {}; // the first 10 bytes hold the identification number
    u8 Day = 0;
    u8 Month = 0;
    u8 Year = 0; // last two digits
    u8 Hour = 0;
    u8 Minute = 0;
    u8 Second = 0;
};

} // namespace zul::easyinner

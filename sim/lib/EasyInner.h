#pragma once

// The entry points of the stand-in device library, as a program binds them by name.
//
// Every argument is a 32-bit integer or an address; every result is a 32-bit int. A "byte"
// result uses only its low 8 bits (0 success, anything else an error code; see
// sim/PROTOCOL.md), so a caller that reads only those bits and one that reads the whole int
// see the same value. Results of the setting calls carry no meaning (always 0).
// On 32-bit Windows the entry points use the __stdcall convention with undecorated names.

#include "device/EntryPoints.h"

#define EASYINNER_CALL ZUL_EASYINNER_CALL

#if defined(EASYINNER_BUILD)
#if defined(_WIN32)
#define EASYINNER_API __declspec(dllexport)
#else
#define EASYINNER_API __attribute__((visibility("default")))
#endif
#else
#define EASYINNER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The 37 entry points of device/EntryPoints.h, declared from that list: names, parameters and
// calling convention cannot differ from what the program binds.
#define EASYINNER_DECLARE(Name, Result, Shape, Parameters) EASYINNER_API int EASYINNER_CALL Name Parameters;
ZUL_EASYINNER_ENTRY_POINTS(EASYINNER_DECLARE)
#undef EASYINNER_DECLARE

#ifdef __cplusplus
}
#endif

#pragma once

#include <cstdint>
#include <string>

namespace zul::platform {

// A shared library loaded by file name (LoadLibraryA / dlopen) whose entry points are looked
// up by name (GetProcAddress / dlsym).
class DynamicLibrary
{
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads `fileName` with the system's search order; on Linux a bare name is also looked for
    // beside the executable. False with errorString() set when it cannot be loaded.
    bool load(const std::string& fileName);
    void unload();
    bool isLoaded() const { return m_handle != nullptr; }
    // The module handle as a number (0 when not loaded), for the log and the handle checks of
    // callers that treat small values as invalid.
    std::uintptr_t nativeHandle() const { return reinterpret_cast<std::uintptr_t>(m_handle); }

    // Null when the library is not loaded or has no such entry point.
    void* symbol(const std::string& name) const;

    std::string errorString() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace zul::platform

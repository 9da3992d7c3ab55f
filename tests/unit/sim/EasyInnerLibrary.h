#pragma once

// Loads the stand-in device library the way the program does (by file name) and binds its
// entry points by name with the types the library declares.

#include "lib/EasyInner.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zul::test {

class EasyInnerLibrary
{
public:
    // Windows: "EasyInner.dll" beside the test program; elsewhere the full path of the build.
    explicit EasyInnerLibrary(bool partial = false)
    {
#ifdef _WIN32
        m_handle = ::LoadLibraryA(partial ? "EasyInnerPartial.dll" : "EasyInner.dll");
#else
        m_handle = ::dlopen(partial ? ZUL_EASYINNER_PARTIAL_PATH : ZUL_EASYINNER_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~EasyInnerLibrary()
    {
#ifdef _WIN32
        if (m_handle)
            ::FreeLibrary(static_cast<HMODULE>(m_handle));
#else
        if (m_handle)
            ::dlclose(m_handle);
#endif
    }
    EasyInnerLibrary(const EasyInnerLibrary&) = delete;
    EasyInnerLibrary& operator=(const EasyInnerLibrary&) = delete;

    bool loaded() const
    {
        return m_handle != nullptr;
    }

    void* symbol(const std::string& name) const
    {
        if (!m_handle)
            return nullptr;
#ifdef _WIN32
        return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name.c_str()));
#else
        return ::dlsym(m_handle, name.c_str());
#endif
    }

    template <typename F> F* bind(const char* name) const
    {
        return reinterpret_cast<F*>(symbol(name));
    }

private:
    void* m_handle = nullptr;
};

} // namespace zul::test

// ZUL_BIND(lib, Ping) -> typed pointer to the library's Ping, or null.
#define ZUL_BIND(lib, Name) (lib).bind<decltype(Name)>(#Name)

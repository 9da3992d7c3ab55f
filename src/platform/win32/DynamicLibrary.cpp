#include "platform/DynamicLibrary.h"

#include <bit>
#include <windows.h>

namespace zul::platform {
namespace {

std::string systemMessage(DWORD code)
{
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text ? std::string(text, n) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = "error " + std::to_string(code);
    return message;
}

} // namespace

DynamicLibrary::~DynamicLibrary()
{
    unload();
}

bool DynamicLibrary::load(const std::string& fileName)
{
    unload();
    m_error.clear();
    // An unattended program must not stop on a system error box about a missing file.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE module = LoadLibraryA(fileName.c_str());
    const DWORD error = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!module) {
        m_error = fileName + ": " + systemMessage(error);
        return false;
    }
    m_handle = module;
    return true;
}

void DynamicLibrary::unload()
{
    if (m_handle) {
        FreeLibrary(static_cast<HMODULE>(m_handle));
        m_handle = nullptr;
    }
}

void* DynamicLibrary::symbol(const std::string& name) const
{
    if (!m_handle)
        return nullptr;
    const FARPROC proc = GetProcAddress(static_cast<HMODULE>(m_handle), name.c_str());
    return std::bit_cast<void*>(proc);
}

} // namespace zul::platform

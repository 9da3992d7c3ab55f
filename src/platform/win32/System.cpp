#include "platform/System.h"

#include <cstdio>

// clang-format off
#include <windows.h>
#include <psapi.h> // needs the types of windows.h
// clang-format on

namespace zul::platform {

std::string currentUserName()
{
    char buf[257]; // UNLEN + 1
    DWORD size = sizeof buf;
    if (!GetUserNameA(buf, &size) || size == 0)
        return {};
    return std::string(buf, size - 1);
}

std::string executablePath()
{
    std::string buf(MAX_PATH, '\0');
    while (true) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::vector<std::string> processImagePaths()
{
    std::vector<std::string> paths;
    DWORD ids[1024];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof ids, &bytes))
        return paths;
    const DWORD count = bytes / sizeof(DWORD);
    for (DWORD i = 0; i < count; ++i) {
        // System processes and other accounts' processes refuse to be opened: left out.
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!process)
            continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char path[301];
        if (EnumProcessModules(process, &module, sizeof module, &needed)) {
            const DWORD n = GetModuleFileNameExA(process, module, path, 300);
            if (n > 0)
                paths.emplace_back(path, n);
        }
        CloseHandle(process);
    }
    return paths;
}

void attachParentConsole()
{
    const auto unset = [](DWORD which) {
        const HANDLE handle = ::GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
               ::GetFileType(handle) == FILE_TYPE_UNKNOWN;
    };
    const bool out = unset(STD_OUTPUT_HANDLE);
    const bool err = unset(STD_ERROR_HANDLE);
    if ((!out && !err) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (out)
        std::freopen("CONOUT$", "w", stdout);
    if (err)
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace zul::platform

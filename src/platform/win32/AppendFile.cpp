#include "platform/AppendFile.h"

#include <windows.h>

namespace zul::platform {

namespace {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

HANDLE asHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool identify(HANDLE handle, std::uint64_t& device, std::uint64_t& index)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    device = info.dwVolumeSerialNumber;
    index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// Every kind of sharing: readers, other writers, and whoever renames or deletes the file.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

AppendFile::~AppendFile()
{
    close();
}

bool AppendFile::open(const std::string& path)
{
    close();
    const HANDLE handle = CreateFileW(widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, ShareAll, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    if (!identify(handle, device, index)) {
        CloseHandle(handle);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    m_path = path;
    m_device = device;
    m_index = index;
    return true;
}

void AppendFile::close()
{
    if (m_handle == Closed)
        return;
    CloseHandle(asHandle(m_handle));
    m_handle = Closed;
}

bool AppendFile::write(const char* data, std::size_t size)
{
    if (m_handle == Closed)
        return false;
    while (size > 0) {
        const DWORD chunk = size > 0x10000000u ? 0x10000000u : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(asHandle(m_handle), data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool AppendFile::stillNamed() const
{
    if (m_handle == Closed)
        return false;
    // A file deleted while open may stay "delete pending" under its name until the last handle
    // is closed: taken as gone, so the holder closes its handle and the name becomes free for a
    // new file.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(asHandle(m_handle), FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return false;
    const HANDLE probe = CreateFileW(widen(m_path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    const bool same = identify(probe, device, index) && device == m_device && index == m_index;
    CloseHandle(probe);
    return same;
}

} // namespace zul::platform

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zul::platform {

// A file held open for appending whose name others may still take away while it is open: it
// can be renamed or deleted, and its folder removed, by an operator rotating logs (on Windows the
// handle is opened with delete sharing, which QFile does not offer). The holder asks
// stillNamed() before writing and reopens the path when the name leads elsewhere.
class AppendFile
{
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` (UTF-8) for appending, creating it when missing; the folder must exist.
    // Closes what was open before.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_handle != Closed; }

    // Hands all of `data` to the system at once: nothing is kept in a buffer of this process,
    // so a kill right after the call loses nothing. False when not all of it was taken.
    bool write(const char* data, std::size_t size);

    // Whether the path it was opened with still leads to this very file (not deleted, not
    // renamed away, not replaced by another file of the same name).
    bool stillNamed() const;

private:
    static constexpr std::intptr_t Closed = -1;
    std::intptr_t m_handle = Closed;
    std::string m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_index = 0;
};

} // namespace zul::platform

#include "platform/AppendFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zul::platform {

AppendFile::~AppendFile()
{
    close();
}

bool AppendFile::open(const std::string& path)
{
    close();
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    m_path = path;
    m_device = std::uint64_t(info.st_dev);
    m_index = std::uint64_t(info.st_ino);
    return true;
}

void AppendFile::close()
{
    if (m_handle == Closed)
        return;
    ::close(int(m_handle));
    m_handle = Closed;
}

bool AppendFile::write(const char* data, std::size_t size)
{
    if (m_handle == Closed)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(int(m_handle), data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool AppendFile::stillNamed() const
{
    if (m_handle == Closed)
        return false;
    struct stat info
    {
    };
    return ::stat(m_path.c_str(), &info) == 0 && std::uint64_t(info.st_dev) == m_device &&
           std::uint64_t(info.st_ino) == m_index;
}

} // namespace zul::platform

#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zul::platform {
namespace {

std::string defaultLockDir()
{
    for (const char* var : {"ZUL_LOCK_DIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(var);
        if (value && *value)
            return value;
    }
    return "/tmp";
}

// The lock is tied to the open file, so it lasts exactly as long as this object (or the
// process, should it die) and needs no cleanup after a crash.
class FileLockMutex final : public NamedMutex
{
public:
    explicit FileLockMutex(const std::string& path)
    {
        // Opened for reading only and created only when missing: a lock file left by another
        // account (the service, say) must still be usable, and a sticky /tmp refuses O_CREAT
        // on another user's file.
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0 && errno == ENOENT)
            m_fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            m_state = State::Failed;
            return;
        }
        int rc;
        while ((rc = ::flock(m_fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (rc == 0) {
            m_state = State::Owned;
            return;
        }
        m_state = errno == EWOULDBLOCK ? State::AlreadyExists : State::Failed;
        ::close(m_fd);
        m_fd = -1;
    }

    ~FileLockMutex() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    FileLockMutex(const FileLockMutex&) = delete;
    FileLockMutex& operator=(const FileLockMutex&) = delete;

    State state() const override { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Failed;
};

} // namespace

std::unique_ptr<NamedMutex> NamedMutex::create(const std::string& name, const std::string& lockDir)
{
    std::string fileName = name;
    for (char& c : fileName) {
        if (c == '/' || c == '\\')
            c = '_';
    }
    const std::string dir = lockDir.empty() ? defaultLockDir() : lockDir;
    return std::make_unique<FileLockMutex>(dir + '/' + fileName + ".lock");
}

} // namespace zul::platform

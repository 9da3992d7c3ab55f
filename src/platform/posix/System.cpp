#include "platform/System.h"

#include <cerrno>
#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace zul::platform {
namespace {

std::string readLink(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf)
        return {};
    std::string target(buf, static_cast<std::size_t>(n));
    // A program whose file was replaced while it runs (an upgrade) is still that program.
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted))
        target.resize(target.size() - deleted.size());
    return target;
}

} // namespace

std::string currentUserName()
{
    const uid_t uid = ::geteuid();
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buf(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd pw{};
    passwd* found = nullptr;
    while (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == ERANGE)
        buf.resize(buf.size() * 2);
    if (found && found->pw_name)
        return found->pw_name;
    // An account without a passwd entry (a container, say) is still someone.
    return std::to_string(uid);
}

std::string executablePath()
{
    return readLink("/proc/self/exe");
}

std::vector<std::string> processImagePaths()
{
    std::vector<std::string> paths;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return paths;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        // Kernel threads and other accounts' processes have no readable link: left out.
        std::string path = readLink("/proc/" + std::string(name) + "/exe");
        if (!path.empty())
            paths.push_back(std::move(path));
    }
    ::closedir(proc);
    return paths;
}

void attachParentConsole() {}

} // namespace zul::platform

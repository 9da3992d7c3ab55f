#pragma once

// Helpers for the platform tests, which run both natively and as Windows programs under Wine
// and therefore use nothing but the standard library and the operating system.

#include "platform/System.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace zul::test {

inline std::string uniqueSuffix()
{
    static std::atomic<int> counter{0};
    std::random_device random;
    return std::to_string(random() % 100000) + "-" + std::to_string(++counter);
}

// Each test owns its files: a fresh folder removed when the test ends.
class TempFolder
{
public:
    TempFolder() : m_path(std::filesystem::temp_directory_path() / ("zul-platform-" + uniqueSuffix()))
    {
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return m_path.string(); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Runs the current test again in a child process of this test program, with `env` added to
// its environment, and answers the child's exit code (-1 when it could not be run). The test
// body recognises the child by those variables.
inline int runCurrentTestInChild(const std::vector<std::pair<std::string, std::string>>& env)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const std::string exe = platform::executablePath();
#ifdef _WIN32
    for (const auto& [name, value] : env)
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    std::string commandLine = "\"" + exe + "\" " + filter;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    for (const auto& [name, value] : env)
        SetEnvironmentVariableA(name.c_str(), nullptr);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
#else
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e)
        variables.emplace_back(*e);
    for (const auto& [name, value] : env)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string arg0 = exe;
    std::string arg1 = filter;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
#endif
}

} // namespace zul::test

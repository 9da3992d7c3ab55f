#include "platform/System.h"

#include "PlatformTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zul::platform;

namespace {

bool samePath(const std::string& a, const std::string& b)
{
#ifdef _WIN32
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
#else
    return a == b;
#endif
}

TEST(SystemTest, NamesTheRunningExecutable)
{
    const std::string exe = executablePath();
    EXPECT_TRUE(std::filesystem::path(exe).is_absolute()) << exe;
    EXPECT_TRUE(std::filesystem::exists(exe)) << exe;
    EXPECT_NE(exe.find("zul_platform_tests"), std::string::npos) << exe;
}

TEST(SystemTest, ProcessListHoldsThisProcess)
{
    const std::string exe = executablePath();
    const auto paths = processImagePaths();
    EXPECT_TRUE(
        std::any_of(paths.begin(), paths.end(), [&](const std::string& p) { return samePath(p, exe); }))
        << exe << " not among " << paths.size() << " processes";
}

TEST(SystemTest, KnowsTheAccountName)
{
    const std::string user = currentUserName();
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(user.find('\0'), std::string::npos);
}

} // namespace

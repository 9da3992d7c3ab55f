#include "platform/NamedMutex.h"

#include "PlatformTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

using zul::platform::NamedMutex;
using State = NamedMutex::State;

namespace {

constexpr const char* kChildVariable = "ZUL_TEST_MUTEX_NAME";

// In the child the test only takes the name and reports the outcome as its exit code.
void actAsChildWhenAsked()
{
    if (const char* name = std::getenv(kChildVariable)) {
        const auto mutex = NamedMutex::create(name);
        std::exit(10 + static_cast<int>(mutex->state()));
    }
}

std::string uniqueName()
{
    return "zul-test-" + zul::test::uniqueSuffix();
}

TEST(NamedMutexTest, SecondHolderIsRefusedUntilTheFirstEnds)
{
    zul::test::TempFolder folder;
    const std::string name = uniqueName();
    auto first = NamedMutex::create(name, folder.path());
    EXPECT_EQ(first->state(), State::Owned);
    EXPECT_EQ(NamedMutex::create(name, folder.path())->state(), State::AlreadyExists);
    EXPECT_EQ(NamedMutex::create(name + "-other", folder.path())->state(), State::Owned);
    first.reset();
    EXPECT_EQ(NamedMutex::create(name, folder.path())->state(), State::Owned);
}

TEST(NamedMutexTest, AnotherProcessIsRefusedWhileTheNameIsHeld)
{
    actAsChildWhenAsked();
    zul::test::TempFolder folder;
    const std::string name = uniqueName();
    // The child finds the lock folder through the environment, the way a second copy of the
    // program started by hand would.
    const std::vector<std::pair<std::string, std::string>> childEnv = {{kChildVariable, name},
                                                                       {"ZUL_LOCK_DIR", folder.path()}};
    {
        auto held = NamedMutex::create(name, folder.path());
        ASSERT_EQ(held->state(), State::Owned);
        EXPECT_EQ(zul::test::runCurrentTestInChild(childEnv), 10 + static_cast<int>(State::AlreadyExists));
    }
    EXPECT_EQ(zul::test::runCurrentTestInChild(childEnv), 10 + static_cast<int>(State::Owned));
}

#ifndef _WIN32
TEST(NamedMutexTest, LockFileGoesToTheConfiguredFolder)
{
    zul::test::TempFolder folder;
    const char* old = std::getenv("ZUL_LOCK_DIR");
    const std::string saved = old ? old : "";
    ::setenv("ZUL_LOCK_DIR", folder.path().c_str(), 1);
    const std::string name = uniqueName();
    const auto mutex = NamedMutex::create(name);
    if (old)
        ::setenv("ZUL_LOCK_DIR", saved.c_str(), 1);
    else
        ::unsetenv("ZUL_LOCK_DIR");
    EXPECT_EQ(mutex->state(), State::Owned);
    EXPECT_TRUE(std::filesystem::exists(folder.file(name + ".lock")));
}

TEST(NamedMutexTest, FolderThatCannotHoldTheLockFails)
{
    zul::test::TempFolder folder;
    EXPECT_EQ(NamedMutex::create("ZUL", folder.file("missing"))->state(), State::Failed);
}
#endif

} // namespace

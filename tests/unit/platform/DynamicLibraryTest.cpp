#include "platform/DynamicLibrary.h"

#include <cstring>
#include <gtest/gtest.h>

using zul::platform::DynamicLibrary;

namespace {

#ifdef _WIN32
constexpr const char* kSystemLibrary = "kernel32.dll";
constexpr const char* kSystemSymbol = "lstrlenA";
#else
constexpr const char* kSystemLibrary = "libc.so.6";
constexpr const char* kSystemSymbol = "strlen";
#endif

TEST(DynamicLibraryTest, MissingLibraryFailsWithAReason)
{
    DynamicLibrary lib;
    EXPECT_FALSE(lib.load("zul-no-such-library-here.dll"));
    EXPECT_FALSE(lib.isLoaded());
    EXPECT_NE(lib.errorString().find("zul-no-such-library-here"), std::string::npos) << lib.errorString();
    EXPECT_EQ(lib.symbol(kSystemSymbol), nullptr);
}

TEST(DynamicLibraryTest, FindsEntryPointsOfASystemLibrary)
{
    DynamicLibrary lib;
    ASSERT_TRUE(lib.load(kSystemLibrary)) << lib.errorString();
    EXPECT_TRUE(lib.errorString().empty());
    void* entry = lib.symbol(kSystemSymbol);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(lib.symbol("zul_no_such_entry_point"), nullptr);
}

// The stand-in device library is found the same way: by bare file name, beside the program.
TEST(DynamicLibraryTest, LoadsALibraryBesideTheProgramByBareName)
{
    DynamicLibrary lib;
    ASSERT_TRUE(lib.load(ZUL_TEST_LIBRARY_NAME)) << lib.errorString();
    using Answer = int (*)(int);
    void* entry = lib.symbol("zul_test_answer");
    ASSERT_NE(entry, nullptr);
    Answer answer = nullptr;
    std::memcpy(&answer, &entry, sizeof entry);
    EXPECT_EQ(answer(20), 42);

    lib.unload();
    EXPECT_FALSE(lib.isLoaded());
    EXPECT_EQ(lib.symbol("zul_test_answer"), nullptr);
}

TEST(DynamicLibraryTest, LoadingAgainReplacesTheLibrary)
{
    DynamicLibrary lib;
    ASSERT_TRUE(lib.load(ZUL_TEST_LIBRARY_NAME)) << lib.errorString();
    EXPECT_FALSE(lib.load("zul-no-such-library-here.dll"));
    EXPECT_FALSE(lib.isLoaded());
    EXPECT_EQ(lib.symbol("zul_test_answer"), nullptr);
}

} // namespace

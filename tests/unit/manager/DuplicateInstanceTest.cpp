#include "manager/DuplicateInstance.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

struct ProcessList
{
    const char* name;
    std::vector<std::string> paths;
    bool duplicate;
};

class DuplicateInstance : public ::testing::TestWithParam<ProcessList>
{
};

TEST_P(DuplicateInstance, IsASecondCopyUnderTheProgramsName)
{
    EXPECT_EQ(HasDuplicate(GetParam().paths, u"ZUL.EXE"_s), GetParam().duplicate);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DuplicateInstance,
    ::testing::Values(
        ProcessList{"Empty", {}, false},
        ProcessList{"OneCopy", {"C:\\Windows\\explorer.exe", "C:\\Zul\\ZUL.EXE"}, false},
        ProcessList{"SecondCopyElsewhere", {"C:\\Zul\\ZUL.EXE", "D:\\Teste\\zul.exe"}, true},
        ProcessList{"RenamedCopyNotCounted", {"C:\\Zul\\ZUL.EXE", "C:\\Zul\\ZulCopia.exe"}, false},
        ProcessList{"LongerNameCounts", {"C:\\Zul\\ZUL.EXE", "C:\\Outro\\MEUZUL.EXE"}, true},
        ProcessList{"LetterCaseIgnored", {"c:\\zul\\Zul.Exe", "c:\\zul2\\zUL.eXE"}, true},
        ProcessList{"FolderNameIsNoCopy", {"C:\\Zul\\ZUL.EXE", "C:\\ZUL.EXE\\admin.exe"}, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DuplicateInstancePosix, ProgramWithoutExtensionIsMatchedByFileName)
{
    const std::vector<std::string> paths = {"/opt/zul/bin/zul", "/opt/zul/bin/zul-admin",
                                            "/usr/bin/zul_app_tests"};
    EXPECT_FALSE(HasDuplicate(paths, u"ZUL"_s));
    EXPECT_TRUE(HasDuplicate({"/opt/zul/bin/zul", "/home/op/zul"}, u"ZUL"_s));
}

// The name looked for is the program's own with the extension the running executable has: a
// Windows copy is ZUL.EXE, a Linux copy has none.
TEST(ProgramImageNameTest, CarriesTheRunningExecutablesExtension)
{
#ifdef _WIN32
    EXPECT_EQ(ProgramImageName(), u"ZUL.EXE"_s);
#else
    EXPECT_EQ(ProgramImageName(), u"ZUL"_s);
#endif
}

} // namespace
} // namespace zul

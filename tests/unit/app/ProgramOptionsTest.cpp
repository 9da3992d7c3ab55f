#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

struct SwitchCase
{
    const char* argument;
    const char* word;
    bool recognised;
};

class SwitchTest : public ::testing::TestWithParam<SwitchCase>
{
};

TEST_P(SwitchTest, IsRecognisedOnlyWithItsLeadingCharacter)
{
    const SwitchCase& c = GetParam();
    const QStringList arguments{u"/opt/zul/zul"_s, QString::fromUtf8(c.argument)};
    EXPECT_EQ(HasSwitch(arguments, QString::fromLatin1(c.word)), c.recognised) << c.argument;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SwitchTest,
    ::testing::Values(SwitchCase{"-INSTALL", "INSTALL", true}, SwitchCase{"/install", "INSTALL", true},
                      SwitchCase{"\\Install", "INSTALL", true}, SwitchCase{"-uninstall", "UNINSTALL", true},
                      SwitchCase{"/SILENT", "SILENT", true}, SwitchCase{"INSTALL", "INSTALL", false},
                      SwitchCase{"--INSTALL", "INSTALL", false}, SwitchCase{"-INSTALLX", "INSTALL", false},
                      SwitchCase{"-INSTAL", "INSTALL", false}, SwitchCase{"-UNINSTALL", "INSTALL", false},
                      SwitchCase{"+INSTALL", "INSTALL", false}, SwitchCase{"", "INSTALL", false}));

TEST(ProgramOptions, ParameterZeroIsNeverExamined)
{
    EXPECT_FALSE(HasSwitch({u"-INSTALL"_s}, u"INSTALL"_s));
    EXPECT_FALSE(ParseProgramOptions({u"/install"_s}).isInstallRun());
}

TEST(ProgramOptions, ServiceSwitchesMixWithTheLongOptions)
{
    const ProgramOptions options =
        ParseProgramOptions({u"zul"_s, u"/uninstall"_s, u"--registry"_s, u"/tmp/m.reg"_s, u"-silent"_s,
                             u"--log-dir=/tmp/logs"_s, u"--headless"_s});
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    EXPECT_TRUE(options.uninstall);
    EXPECT_FALSE(options.install);
    EXPECT_TRUE(options.silent);
    EXPECT_TRUE(options.isInstallRun());
    EXPECT_EQ(options.registryFile, u"/tmp/m.reg"_s);
    EXPECT_EQ(options.logDir, u"/tmp/logs"_s);
    EXPECT_TRUE(options.headless);
}

TEST(ProgramOptions, BareWordsAreIgnoredAndUnknownLongOptionsRefused)
{
    EXPECT_TRUE(ParseProgramOptions({u"zul"_s, u"INSTALL"_s}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({u"zul"_s, u"INSTALL"_s}).isInstallRun());
    EXPECT_FALSE(ParseProgramOptions({u"zul"_s, u"--frobnicate"_s}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({u"zul"_s, u"--registry"_s}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({u"zul"_s, u"--log-dir="_s}).error.isEmpty());
}

TEST(ProgramOptions, NotificationPortIsANumberFrom1To65535)
{
    EXPECT_EQ(ParseProgramOptions({u"zul"_s, u"--notification-port"_s, u"20622"_s}).notificationPort, 20622);
    EXPECT_EQ(ParseProgramOptions({u"zul"_s}).notificationPort, 0);
    for (const char* bad : {"--notification-port=0", "--notification-port=65536", "--notification-port=x1",
                            "--notification-port"})
        EXPECT_FALSE(ParseProgramOptions({u"zul"_s, QString::fromLatin1(bad)}).error.isEmpty()) << bad;
}

} // namespace
} // namespace zul

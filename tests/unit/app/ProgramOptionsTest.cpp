#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

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
    const QStringList arguments{QStringLiteral("/opt/zul/zul"), QString::fromUtf8(c.argument)};
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
    EXPECT_FALSE(HasSwitch({QStringLiteral("-INSTALL")}, QStringLiteral("INSTALL")));
    EXPECT_FALSE(ParseProgramOptions({QStringLiteral("/install")}).isInstallRun());
}

TEST(ProgramOptions, ServiceSwitchesMixWithTheLongOptions)
{
    const ProgramOptions options = ParseProgramOptions(
        {QStringLiteral("zul"), QStringLiteral("/uninstall"), QStringLiteral("--registry"),
         QStringLiteral("/tmp/m.reg"), QStringLiteral("-silent"), QStringLiteral("--log-dir=/tmp/logs"),
         QStringLiteral("--headless")});
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    EXPECT_TRUE(options.uninstall);
    EXPECT_FALSE(options.install);
    EXPECT_TRUE(options.silent);
    EXPECT_TRUE(options.isInstallRun());
    EXPECT_EQ(options.registryFile, QStringLiteral("/tmp/m.reg"));
    EXPECT_EQ(options.logDir, QStringLiteral("/tmp/logs"));
    EXPECT_TRUE(options.headless);
}

TEST(ProgramOptions, BareWordsAreIgnoredAndUnknownLongOptionsRefused)
{
    EXPECT_TRUE(ParseProgramOptions({QStringLiteral("zul"), QStringLiteral("INSTALL")}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({QStringLiteral("zul"), QStringLiteral("INSTALL")}).isInstallRun());
    EXPECT_FALSE(
        ParseProgramOptions({QStringLiteral("zul"), QStringLiteral("--frobnicate")}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({QStringLiteral("zul"), QStringLiteral("--registry")}).error.isEmpty());
    EXPECT_FALSE(ParseProgramOptions({QStringLiteral("zul"), QStringLiteral("--log-dir=")}).error.isEmpty());
}

TEST(ProgramOptions, NotificationPortIsANumberFrom1To65535)
{
    EXPECT_EQ(ParseProgramOptions(
                  {QStringLiteral("zul"), QStringLiteral("--notification-port"), QStringLiteral("20622")})
                  .notificationPort,
              20622);
    EXPECT_EQ(ParseProgramOptions({QStringLiteral("zul")}).notificationPort, 0);
    for (const char* bad : {"--notification-port=0", "--notification-port=65536", "--notification-port=x1",
                            "--notification-port"})
        EXPECT_FALSE(ParseProgramOptions({QStringLiteral("zul"), QString::fromLatin1(bad)}).error.isEmpty())
            << bad;
}

} // namespace
} // namespace zul

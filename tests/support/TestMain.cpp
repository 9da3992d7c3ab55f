#include "dbconfig/ConnectionProfiles.h"

#include <QApplication>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

namespace {

// On Linux every test names a registry file of its own; on Windows the store is the machine's
// registry, shared by every test. Under Wine (the build's own test prefix) each test therefore
// starts from an empty key of the program, as it would from a fresh file. Never on a real
// Windows machine, whose registry holds a site's settings.
bool RunsUnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class FreshMachineRegistry : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, zul::ConnectionProfiles::ParentKeyPath);
    }
};

} // namespace
#endif

int main(int argc, char** argv)
{
    // Test discovery and CI run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    if (RunsUnderWine())
        ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachineRegistry);
#endif
    return RUN_ALL_TESTS();
}

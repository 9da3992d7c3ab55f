#pragma once

// Connection profiles for tests of the manager's database connection: profile `code` written
// into the test's own registry file, read back as this process's profiles and installed for the
// database layer, the way the program does at start-up. The guard puts the layer back to its
// tool defaults when the test ends.

#include "db/ManagerDatabase.h"
#include "db/ProfileSource.h"
#include "dbconfig/ConnectionProfiles.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

namespace zul::test {

inline void InstallProfile(const platform::RegistryStore& store, const QString& code, const QString& database,
                           const QString& connectString)
{
    {
        const auto key = platform::openLocalMachineKey(store, ConnectionProfiles::KeyPath, true);
        ASSERT_TRUE(key) << "registry file not writable";
        ConnectionProfiles::writeProfile(*key, code, database, connectString);
    }
    ReadConnectionProfiles(store);
    UseProcessConnectionProfiles();
}

struct ProcessProfilesGuard
{
    ~ProcessProfilesGuard()
    {
        db::SetProfileSource({});
        processConnectionProfiles().read(
            [](const std::string&, bool) -> std::unique_ptr<platform::RegistryKey> { return nullptr; });
    }
};

} // namespace zul::test

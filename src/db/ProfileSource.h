#pragma once

#include "db/DbType.h"

#include <QString>
#include <functional>

namespace zul::db {

// What the layer asks of the connection profiles: the server type of a profile code and the
// process-wide pooling settings. The program installs the profile reader's answers at start-up;
// until then (tools, tests) every component is of the embedded SQLite kind without pooling.
struct ProfileSource
{
    std::function<TXDBType(const QString& code)> serverTypeForProfile;
    std::function<bool()> pooling;
    std::function<int()> maxPoolSize;
    std::function<int()> minPoolSize;
};

void SetProfileSource(ProfileSource source);
TXDBType ProfileServerType(const QString& code);
bool ProfilePooling();
int ProfileMaxPoolSize();
int ProfileMinPoolSize();

} // namespace zul::db

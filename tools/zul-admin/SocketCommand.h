#pragma once

#include "platform/Registry.h"

#include <QStringList>

namespace zul {

// `zul-admin socket show` and `zul-admin socket set [--listen ADDRESS] [--allow LIST]`: the
// address the change-notification socket listens on and the clients allowed to connect.
// Answers the exit status: 0 success, 1 failure, 2 wrong usage.
int runSocketCommand(const platform::RegistryStore& store, QStringList args);

} // namespace zul

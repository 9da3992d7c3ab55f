#pragma once

#include <string>
#include <vector>

namespace zul::platform {

// Name of the account this process runs under ("SYSTEM" for a LocalSystem service).
std::string currentUserName();

// Full path of the running executable.
std::string executablePath();

// Full executable paths of the running processes that can be examined; processes that
// cannot be opened are left out.
std::vector<std::string> processImagePaths();

} // namespace zul::platform

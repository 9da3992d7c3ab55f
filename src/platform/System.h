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

// Gives the program's text output (usage, version, option errors) a place to go. The Windows
// manager is a window program and starts without a console: its standard output and error then
// go to the console of the command that started it, if any, unless they were redirected.
// Nothing to do elsewhere.
void attachParentConsole();

} // namespace zul::platform

#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace zul {

class ActivityLog;

// The file name the manager's executable has on this platform, upper-cased: "ZUL.EXE" on
// Windows, "ZUL" elsewhere (taken from the running executable's extension).
QString ProgramImageName();

// True when more than one of `paths` is a copy of the program: a path whose file name, in
// upper case, ends with `imageName`. A copy stored under another name is not counted; a file
// name with more letters before the image name is.
bool HasDuplicate(const std::vector<std::string>& paths, const QString& imageName);

// Looks at the image paths of the running processes. The process finds itself, so one match
// is normal. A failure of the enumeration is logged and errs toward no duplicate.
bool CheckDuplicateInstance(const ActivityLog& log,
                            const std::function<std::vector<std::string>()>& processImagePaths = {});

} // namespace zul

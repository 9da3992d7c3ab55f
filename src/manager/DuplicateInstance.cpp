#include "manager/DuplicateInstance.h"

#include "platform/System.h"
#include "support/ActivityLog.h"
#include "support/Error.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace zul {

QString ProgramImageName()
{
    const QString own = QString::fromStdString(platform::executablePath());
    const QString suffix = QFileInfo(own).suffix();
    return suffix.isEmpty() ? u"ZUL"_s : u"ZUL."_s + suffix.toUpper();
}

bool HasDuplicate(const std::vector<std::string>& paths, const QString& imageName)
{
    int matches = 0;
    for (const std::string& raw : paths) {
        const QString path = QString::fromLocal8Bit(raw).toUpper();
        const qsizetype slash = qMax(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
        if (path.mid(slash + 1).endsWith(imageName) && ++matches > 1)
            return true;
    }
    return false;
}

bool CheckDuplicateInstance(const ActivityLog& log,
                            const std::function<std::vector<std::string>()>& processImagePaths)
{
    std::vector<std::string> paths;
    try {
        paths = processImagePaths ? processImagePaths() : platform::processImagePaths();
    } catch (const std::exception& error) {
        log.write(u"Get Process - ERRO: "_s + ErrorText(error));
    }
    return HasDuplicate(paths, ProgramImageName());
}

} // namespace zul

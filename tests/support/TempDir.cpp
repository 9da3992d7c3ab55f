#include "TempDir.h"

#include <QFile>

#ifdef _WIN32
#include "platform/Registry.h"

#include <windows.h>
#endif

namespace zul::test {

TempDir::~TempDir()
{
#ifdef _WIN32
    const std::string key = platform::namedStoreKeyPath(QFile::encodeName(path()).toStdString());
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
#endif
}

bool BlockRegistryStore(const std::string& file)
{
#ifdef _WIN32
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, platform::namedStoreKeyPath(file).c_str(), 0, nullptr,
                                    REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
#else
    return QDir().mkdir(QString::fromStdString(file));
#endif
}

} // namespace zul::test

#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace zul::test {

// Each test owns its files: a fresh folder removed when the test ends. On Windows a registry
// store named by a file of the folder is a registry key: it goes with the folder too.
class TempDir
{
public:
    TempDir() { EXPECT_TRUE(m_dir.isValid()); }
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

private:
    QTemporaryDir m_dir;
};

// Makes the registry store named `file` one that can be neither opened nor written: a folder
// where its file should be; on Windows a volatile key where its key should be, under which no
// lasting key can be created. False when that could not be arranged.
bool BlockRegistryStore(const std::string& file);

} // namespace zul::test

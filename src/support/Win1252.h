#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace zul {

// Windows-1252 at the program's byte boundaries (activity log file, controller display texts,
// notification socket, registry strings). Characters with no Windows-1252 byte become "?".
QByteArray toWin1252(const QString& text);
QString fromWin1252(const QByteArray& bytes);
std::string toWin1252String(const QString& text);
QString fromWin1252(const std::string& bytes);

} // namespace zul

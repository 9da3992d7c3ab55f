#pragma once

#include <QString>
#include <QStringView>
#include <algorithm>

namespace zul {

// Empty or nothing but blanks (U+0020). Tabs and line ends are not blanks: a notification or
// a registry value holding them is not empty.
inline bool IsBlank(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}
inline bool IsBlank(const QString& text)
{
    return IsBlank(QStringView(text));
}

} // namespace zul

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

// The decimal digits of `text`, in order, everything else left out: "TCP/&IP (Porta 3570)"
// gives "3570".
inline QString DigitsOf(QStringView text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

// True when every character is a decimal digit (an empty text too).
inline bool AllDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace zul

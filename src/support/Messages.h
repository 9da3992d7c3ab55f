#pragma once

#include <QString>
#include <QStringList>

namespace zul {

// The message catalogue: lines of key, "|", text. Every operator text, display text, menu
// caption format and registry value name of the program comes from here.
class TMessages
{
public:
    // A catalogue holding the built-in lines.
    TMessages();

    QStringList Messages;

    // The text of `key` (compared without regard to ASCII case; the last matching line wins),
    // or the empty text. Never fails.
    QString Lookup(const QString& key) const;

    // Lookup() with each "%S" replaced in turn by the next argument.
    QString Format(const QString& key, const QStringList& args) const;
    // Format() of a text already looked up: for a text filled in again and again.
    static QString Fill(const QString& text, const QStringList& args);

    static const QStringList& builtInLines();
};

} // namespace zul

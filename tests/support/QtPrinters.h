#pragma once

// How GoogleTest shows Qt's strings in its messages: as text, not as bytes. Found by argument
// lookup, so they live in Qt's namespace.

#include <QString>
#include <QStringList>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '[' << list.join(u'|').toStdString() << ']';
}
QT_END_NAMESPACE

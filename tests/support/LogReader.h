#pragma once

// The one reader of the activity log for tests: the texts of a day's file, in order, without
// their time stamps. The blank lines the log writes around an error stay in.

#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Win1252.h"

#include <QDate>
#include <QFile>
#include <QStringList>

namespace zul::test {

using namespace Qt::StringLiterals;

inline QStringList logTexts(const ActivityLog& log, const QDate& day)
{
    QFile file(log.filePathFor(day));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList texts;
    for (const QString& line : fromWin1252(file.readAll()).split(u"\r\n"_s)) {
        const qsizetype tab = line.indexOf(u'\t');
        texts << (tab < 0 ? line : line.mid(tab + 1));
    }
    if (!texts.isEmpty() && texts.last().isEmpty())
        texts.removeLast(); // after the last line end
    return texts;
}

// Today's texts, today as `clock` tells it.
inline QStringList logTexts(const ActivityLog& log, const Clock& clock)
{
    return logTexts(log, clock.now().date());
}

} // namespace zul::test

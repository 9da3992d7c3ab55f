#include "sync/SyncTiming.h"

#include "support/Messages.h"

namespace zul {

using namespace Qt::StringLiterals;

QString FormatElapsed(qint64 milliseconds)
{
    const qint64 seconds = qMax<qint64>(0, milliseconds) / 1000;
    return u"%1:%2:%3"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString TimingText(const TMessages& messages, const QString& captionKey, qint64 milliseconds, int items)
{
    QString text = messages.Lookup(captionKey) + FormatElapsed(milliseconds);
    if (items > 0) {
        const double average = double(qMax<qint64>(0, milliseconds)) / 1000.0 / items;
        text += messages.Format(u"MEDIA"_s, {QString::number(average, 'f', 2).replace(u'.', u',')});
    }
    return text;
}

} // namespace zul

#pragma once

#include "platform/AppendFile.h"
#include "support/LocalTime.h"

#include <QDate>
#include <QString>
#include <functional>

namespace zul {

class Clock;

// The day-by-day activity log: one file "logCatraca" + DD-MM-YYYY + ".txt" per day in its
// folder, Windows-1252, CR LF. Writing never fails the caller: a line that cannot be written is
// lost.
//
// The day's file stays open between lines; each line is handed to the system in one write as it
// comes, so it is in the file, readable by others, when write() returns, and a kill loses
// nothing. Before each line the file's name is checked to still lead to the open file: an
// operator may rename or delete it (or the folder) at any time, and the next line then goes to a
// new file of that name. The file is opened again at the day's change, after a failed write, and
// once it has been held for ReopenAfterMs: a system that keeps a deleted file's name until its
// last handle is closed (Wine does) loses at most that much.
class ActivityLog
{
public:
    ActivityLog(const Clock& clock, QString folder);

    // The "&Gerar Log" switch.
    // Switched off, the day's file is let go.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    QString folder() const { return m_folder; }
    QString filePathFor(const QDate& date) const;

    void write(const QString& text) const noexcept;

    // Called with the folder when a line is lost, once: again only after a line could be
    // written in between. Nobody reads a log that cannot be written, so the loss is told
    // elsewhere.
    void setLostLinesHandler(std::function<void(const QString& folder)> handler)
    {
        m_onLost = std::move(handler);
    }

    // The default folder: "logCatraca" beside the running executable.
    static QString defaultFolder();

    static constexpr qint64 ReopenAfterMs = 60 * 1000;

private:
    void lineLost() const;
    bool openFileOf(const QDate& date) const;

    const Clock& m_clock;
    QString m_folder;
    bool m_enabled = true;
    std::function<void(const QString&)> m_onLost;
    mutable bool m_lossReported = false;
    mutable platform::AppendFile m_file;
    mutable QDate m_fileDate;
    mutable qint64 m_openedAtMs = 0;
    mutable LocalOffsetCache m_offsets;
};

} // namespace zul

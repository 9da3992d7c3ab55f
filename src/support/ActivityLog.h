#pragma once

#include <QDate>
#include <QString>

namespace zul {

class Clock;

// The day-by-day activity log: one file "logCatraca" + DD-MM-YYYY + ".txt" per day in its
// folder, Windows-1252, CR LF, each line opened, appended and closed on its own. Writing never
// fails the caller: a line that cannot be written is lost.
class ActivityLog
{
public:
    ActivityLog(const Clock& clock, QString folder);

    // The "&Gerar Log" switch.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

    QString folder() const { return m_folder; }
    QString filePathFor(const QDate& date) const;

    void write(const QString& text) const noexcept;

    // The default folder: "logCatraca" beside the running executable.
    static QString defaultFolder();

private:
    const Clock& m_clock;
    QString m_folder;
    bool m_enabled = true;
};

} // namespace zul

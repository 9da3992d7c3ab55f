#pragma once

#include <QDate>
#include <QString>
#include <functional>

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

    // Called with the folder when a line is lost, once: again only after a line could be
    // written in between. Nobody reads a log that cannot be written, so the loss is told
    // elsewhere.
    void setLostLinesHandler(std::function<void(const QString& folder)> handler)
    {
        m_onLost = std::move(handler);
    }

    // The default folder: "logCatraca" beside the running executable.
    static QString defaultFolder();

private:
    void lineLost() const;

    const Clock& m_clock;
    QString m_folder;
    bool m_enabled = true;
    std::function<void(const QString&)> m_onLost;
    mutable bool m_lossReported = false;
};

} // namespace zul

#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <functional>
#include <optional>

namespace zul {

class ActivityLog;
class OperatorDialogs;
class ScheduleMenu;
class SettingsStore;
class TMessages;

// The operations of the other layers that the schedule sets going.
struct ScheduledSyncHooks
{
    // The full template synchronisation; it reports its own failures and may throw.
    std::function<void()> SynchroniseTemplates;
    // The database server's clock (the local clock when the server cannot be read); it logs
    // its own lines at every reading.
    std::function<QDateTime()> GetServerTime;
    // Restarts the turnstile from its first state.
    std::function<void()> IniCatraca;
};

// A time of day the operator typed for the schedule.
struct ScheduleAnswer
{
    QString text; // as shown in the menu caption: four digits become "HH:MM"
    QTime time;
};

// The operator's answer as a time of day: "HH:MM" (one or two digits each side), or exactly
// four characters read as HHMM. Nothing for anything else: shorter than four characters, 8:30
// (four characters, so taken as HHMM), 25:00, 08:60, seconds.
std::optional<ScheduleAnswer> ReadScheduleAnswer(const QString& typed);

// The answer proposed when the schedule is set again: the digits and colons between the first
// "(" and the first ")" of the item's caption while it is ticked, else "00:00".
QString ProposedScheduleAnswer(const QString& caption, bool ticked);

// One daily synchronisation at a time of day on the database server's clock, kept in the
// registry value "DTHRAgeBio" as the next moment it is due. The online loop's housekeeping
// checks it; a due schedule runs the synchronisation once and moves to the next day.
class ScheduledSync
{
public:
    ScheduledSync(SettingsStore& settings, const TMessages& messages, const ActivityLog& log,
                  OperatorDialogs& dialogs, ScheduleMenu& menu, ScheduledSyncHooks hooks);

    // "Agendar &Horário": asks for the time and stores the next moment it comes on the
    // server's clock. A time that is refused, or a schedule that cannot be stored, shows
    // "Horário Inválido!" and leaves the stored schedule as it was.
    void mnuAgendSincClick();
    // "Des&fazer Agendamento": removes the schedule.
    void mnuAgendDesfClick();
    // Opening "&Sincronismo de Dados": the item is ticked exactly while a schedule is stored,
    // and then shows its time. Throws Error when the stored value cannot be read.
    void mnuSincronismoClick();

    // Runs the synchronisation when the stored moment has come and moves the schedule to the
    // same time of day on the day after the synchronisation ended. A schedule missed for
    // days fires once. A failure is logged and leaves the schedule due, so the next check
    // tries again.
    void CheckScheduledSync();

private:
    QDateTime serverTime() const;
    void refuse();

    SettingsStore& m_settings;
    const TMessages& m_messages;
    const ActivityLog& m_log;
    OperatorDialogs& m_dialogs;
    ScheduleMenu& m_menu;
    ScheduledSyncHooks m_hooks;
};

} // namespace zul

#include "sync/ScheduledSync.h"

#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/OperatorDialogs.h"
#include "support/Settings.h"
#include "sync/ScheduleMenu.h"

#include <QTimeZone>
#include <exception>

namespace zul {

namespace {

// One or two ASCII digits, as a number; -1 for anything else.
int smallNumber(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        return -1;
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Moments are compared and built as wall-clock readings: the server's clock and the stored
// value carry no time zone, and a local daylight-saving gap must not move a schedule.
QDateTime wallClock(const QDate& date, const QTime& time)
{
    return QDateTime(date, time, QTimeZone::utc());
}

bool isBefore(const QDateTime& a, const QDateTime& b)
{
    return a.date() != b.date() ? a.date() < b.date() : a.time() < b.time();
}

QString logStamp(const QDateTime& when)
{
    // The same layout as the activity log's own stamps.
    return when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

} // namespace

std::optional<ScheduleAnswer> ReadScheduleAnswer(const QString& typed)
{
    if (typed.size() < 4)
        return std::nullopt;
    QString text = typed;
    if (text.size() == 4)
        text = text.left(2) + u':' + text.right(2);
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    const int hours = smallNumber(QStringView(text).left(colon));
    const int minutes = smallNumber(QStringView(text).mid(colon + 1));
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return std::nullopt;
    return ScheduleAnswer{text, QTime(hours, minutes)};
}

QString ProposedScheduleAnswer(const QString& caption, bool ticked)
{
    if (!ticked)
        return QStringLiteral("00:00");
    const qsizetype open = caption.indexOf(u'(');
    const qsizetype close = caption.indexOf(u')');
    QString proposed;
    if (open < 0 || close <= open)
        return proposed;
    for (const QChar c : QStringView(caption).mid(open + 1, close - open - 1))
        if ((c >= u'0' && c <= u'9') || c == u':')
            proposed += c;
    return proposed;
}

ScheduledSync::ScheduledSync(SettingsStore& settings, const TMessages& messages, const ActivityLog& log,
                             OperatorDialogs& dialogs, ScheduleMenu& menu, ScheduledSyncHooks hooks)
    : m_settings(settings), m_messages(messages), m_log(log), m_dialogs(dialogs), m_menu(menu),
      m_hooks(std::move(hooks))
{}

QDateTime ScheduledSync::serverTime() const
{
    const QDateTime now = m_hooks.GetServerTime();
    return wallClock(now.date(), now.time());
}

void ScheduledSync::refuse()
{
    m_menu.enableMenus();
    // The error box of ReportError: one OK button.
    m_dialogs.message(OperatorDialogs::Icon::Error, QStringLiteral("Erro"),
                      m_messages.Lookup(QStringLiteral("HORARIO_INV")));
}

void ScheduledSync::mnuAgendSincClick()
{
    const std::optional<QString> typed = m_dialogs.input(
        m_messages.Lookup(QStringLiteral("AGENDAR_TITULO")), m_messages.Lookup(QStringLiteral("AGENDAR")),
        ProposedScheduleAnswer(m_menu.scheduleCaption(), m_menu.scheduleTicked()));
    if (!typed)
        return;
    const std::optional<ScheduleAnswer> answer = ReadScheduleAnswer(*typed);
    if (!answer) {
        refuse();
        return;
    }
    try {
        QDateTime moment = wallClock(serverTime().date(), answer->time);
        // The server's clock is read again: the first reading may lie just before the time.
        if (!isBefore(serverTime(), moment))
            moment = moment.addDays(1);
        m_settings.writeScheduledSync(moment);
    } catch (const std::exception&) {
        refuse();
        return;
    }
    m_menu.setScheduleCaption(m_messages.Format(QStringLiteral("AGENDADO"), {answer->text}));
    m_menu.setScheduleTicked(true);
}

void ScheduledSync::mnuAgendDesfClick()
{
    m_settings.deleteScheduledSync();
    m_menu.setScheduleTicked(false);
    m_menu.setScheduleCaption(m_messages.Lookup(QStringLiteral("AGENDE")));
}

void ScheduledSync::mnuSincronismoClick()
{
    const bool scheduled = m_settings.hasScheduledSync();
    m_menu.setScheduleTicked(scheduled);
    if (!scheduled)
        return;
    if (const std::optional<QDateTime> when = m_settings.readScheduledSync())
        m_menu.setScheduleCaption(
            m_messages.Format(QStringLiteral("AGENDADO"), {when->time().toString(QStringLiteral("HH:mm"))}));
}

void ScheduledSync::CheckScheduledSync()
{
    try {
        m_log.write(QStringLiteral("Verificar sincronismo agendado"));
        const std::optional<QDateTime> scheduled = m_settings.readScheduledSync();
        if (!scheduled)
            return;
        if (isBefore(serverTime(), *scheduled))
            return;
        m_log.write(QStringLiteral("Disparar sincronismo agendado para ") + logStamp(*scheduled));
        m_hooks.SynchroniseTemplates();
        // The day the synchronisation ended, which a long run may have carried past midnight.
        const QTime at = scheduled->time();
        const QDateTime next =
            wallClock(serverTime().date().addDays(1), QTime(at.hour(), at.minute(), at.second()));
        m_settings.writeScheduledSync(next);
        m_hooks.IniCatraca();
    } catch (const Error& error) {
        m_log.write(QStringLiteral("Dispara Sincronismo - ERRO: ") + error.message());
    } catch (const std::exception& error) {
        m_log.write(QStringLiteral("Dispara Sincronismo - ERRO: ") + ErrorText(error));
    }
}

} // namespace zul

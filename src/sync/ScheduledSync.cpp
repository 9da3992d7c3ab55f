#include "sync/ScheduledSync.h"

#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/OperatorDialogs.h"
#include "support/Settings.h"
#include "sync/ScheduleMenu.h"

#include <QTimeZone>
#include <exception>

using namespace Qt::StringLiterals;

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
    return when.toString(u"dd/MM/yyyy HH:mm:ss"_s);
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
        return u"00:00"_s;
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
    m_dialogs.message(OperatorDialogs::Icon::Error, u"Erro"_s, m_messages.Lookup(u"HORARIO_INV"_s));
}

void ScheduledSync::mnuAgendSincClick()
{
    const std::optional<QString> typed =
        m_dialogs.input(m_messages.Lookup(u"AGENDAR_TITULO"_s), m_messages.Lookup(u"AGENDAR"_s),
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
    m_menu.setScheduleCaption(m_messages.Format(u"AGENDADO"_s, {answer->text}));
    m_menu.setScheduleTicked(true);
}

void ScheduledSync::mnuAgendDesfClick()
{
    m_settings.deleteScheduledSync();
    m_menu.setScheduleTicked(false);
    m_menu.setScheduleCaption(m_messages.Lookup(u"AGENDE"_s));
}

void ScheduledSync::mnuSincronismoClick()
{
    const bool scheduled = m_settings.hasScheduledSync();
    m_menu.setScheduleTicked(scheduled);
    if (!scheduled)
        return;
    if (const std::optional<QDateTime> when = m_settings.readScheduledSync())
        m_menu.setScheduleCaption(m_messages.Format(u"AGENDADO"_s, {when->time().toString(u"HH:mm"_s)}));
}

void ScheduledSync::CheckScheduledSync()
{
    try {
        m_log.write(u"Verificar sincronismo agendado"_s);
        const std::optional<QDateTime> scheduled = m_settings.readScheduledSync();
        if (!scheduled)
            return;
        if (isBefore(serverTime(), *scheduled))
            return;
        m_log.write(u"Disparar sincronismo agendado para "_s + logStamp(*scheduled));
        m_hooks.SynchroniseTemplates();
        // The day the synchronisation ended, which a long run may have carried past midnight.
        const QTime at = scheduled->time();
        const QDateTime next =
            wallClock(serverTime().date().addDays(1), QTime(at.hour(), at.minute(), at.second()));
        m_settings.writeScheduledSync(next);
        m_hooks.IniCatraca();
    } catch (const Error& error) {
        m_log.write(u"Dispara Sincronismo - ERRO: "_s + error.message());
    } catch (const std::exception& error) {
        m_log.write(u"Dispara Sincronismo - ERRO: "_s + ErrorText(error));
    }
}

} // namespace zul

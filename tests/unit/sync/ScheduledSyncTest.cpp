#include "sync/ScheduledSync.h"

#include "LogReader.h"
#include "QtPrinters.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Settings.h"
#include "support/Win1252.h"
#include "sync/ScheduleMenu.h"

#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using namespace Qt::StringLiterals;

using namespace zul;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QDateTime& when, std::ostream* os)
{
    *os << when.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s).toStdString();
}
QT_END_NAMESPACE

namespace {

class FakeScheduleMenu final : public ScheduleMenu
{
public:
    QString scheduleCaption() const override { return caption; }
    void setScheduleCaption(const QString& text) override { caption = text; }
    bool scheduleTicked() const override { return ticked; }
    void setScheduleTicked(bool on) override { ticked = on; }
    void enableMenus() override { ++menusEnabled; }

    QString caption = u"Agendar &Horário"_s;
    bool ticked = false;
    int menusEnabled = 0;
};

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 1, day), QTime(hour, minute, second));
}

// The wall-clock reading, whatever the time zone the value was built in.
QString reading(const std::optional<QDateTime>& when)
{
    return when ? when->toString(u"yyyy-MM-dd HH:mm:ss"_s) : u"none"_s;
}

class ScheduledSyncTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    TMessages messages;
    SettingsStore settings{messages, platform::RegistryStore{dir.file(u"HKLM.reg"_s).toStdString()}};
    ManualClock clock{at(5, 8, 0)};
    ActivityLog log{clock, dir.file(u"log"_s)};
    test::ScriptedDialogs dialogs;
    FakeScheduleMenu menu;
    int syncRuns = 0;
    int restarts = 0;
    int serverReadings = 0;
    // What a synchronisation does besides being counted: take time, fail.
    std::function<void()> synchronisation = [] {};
    // Virtual time the server's clock moves on at each reading.
    qint64 msPerReading = 0;

    ScheduledSyncHooks hooks()
    {
        ScheduledSyncHooks h;
        h.SynchroniseTemplates = [this] {
            ++syncRuns;
            synchronisation();
        };
        h.GetServerTime = [this] {
            ++serverReadings;
            const QDateTime now = clock.now();
            clock.advance(msPerReading);
            return now;
        };
        h.IniCatraca = [this] { ++restarts; };
        return h;
    }

    ScheduledSync schedule{settings, messages, log, dialogs, menu, hooks()};

    QString stored() const { return reading(settings.readScheduledSync()); }

    QStringList logTexts() const
    {
        QStringList texts;
        for (const QDate& day : {QDate(2026, 1, 5), QDate(2026, 1, 6)})
            texts << test::logTexts(log, day);
        return texts;
    }
};

// --- the operator's answer ------------------------------------------------------------------------

struct AnswerCase
{
    const char* name;
    QString typed;
    QString now;       // server clock, "HH:mm:ss" on 5 January
    QString scheduled; // stored moment, or "refused"
    QString caption;
};

void PrintTo(const AnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScheduleAnswerTest : public ScheduledSyncTest, public ::testing::WithParamInterface<AnswerCase>
{
};

TEST_P(ScheduleAnswerTest, StoresTheNextMomentOrRefuses)
{
    const AnswerCase& c = GetParam();
    clock.setNow(QDateTime(QDate(2026, 1, 5), QTime::fromString(c.now, u"HH:mm:ss"_s)));
    // A schedule stored earlier, which a refused answer must leave alone.
    settings.writeScheduledSync(at(9, 7, 15));
    menu.caption = u"Agendar &Horário (07:15)"_s;
    menu.ticked = true;
    dialogs.queueInput(c.typed);

    schedule.mnuAgendSincClick();

    ASSERT_EQ(dialogs.shown.size(), c.scheduled == u"refused" ? 2 : 1);
    if (c.scheduled == u"refused") {
        EXPECT_EQ(stored(), u"2026-01-09 07:15:00"_s);
        EXPECT_EQ(dialogs.shown.at(1).kind, test::ScriptedDialogs::Kind::Message);
        EXPECT_EQ(dialogs.shown.at(1).icon, OperatorDialogs::Icon::Error);
        EXPECT_EQ(dialogs.shown.at(1).text, u"Horário Inválido!"_s);
        EXPECT_EQ(menu.menusEnabled, 1);
        EXPECT_EQ(menu.caption, u"Agendar &Horário (07:15)"_s);
    } else {
        EXPECT_EQ(stored(), c.scheduled);
        EXPECT_EQ(menu.caption, c.caption);
        EXPECT_EQ(menu.menusEnabled, 0);
    }
    EXPECT_TRUE(menu.ticked);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ScheduleAnswerTest,
    ::testing::Values(AnswerCase{"FourDigitsLaterToday", u"0830"_s, u"08:00:00"_s, u"2026-01-05 08:30:00"_s,
                                 u"Agendar &Horário (08:30)"_s},
                      AnswerCase{"FourDigitsAtThatMinuteIsTomorrow", u"0830"_s, u"08:30:00"_s,
                                 u"2026-01-06 08:30:00"_s, u"Agendar &Horário (08:30)"_s},
                      AnswerCase{"WithColonAlreadyPassed", u"08:30"_s, u"09:00:00"_s,
                                 u"2026-01-06 08:30:00"_s, u"Agendar &Horário (08:30)"_s},
                      AnswerCase{"MidnightOnTheDot", u"0000"_s, u"00:00:00"_s, u"2026-01-06 00:00:00"_s,
                                 u"Agendar &Horário (00:00)"_s},
                      AnswerCase{"LastMinuteOfTheDay", u"23:59"_s, u"23:58:59"_s, u"2026-01-05 23:59:00"_s,
                                 u"Agendar &Horário (23:59)"_s},
                      AnswerCase{"HourAsOneDigitAndColonIsHHMM", u"8:30"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"HourOutOfRange", u"25:00"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"MinuteOutOfRange", u"08:60"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"FourDigitsOutOfRange", u"2400"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"ThreeCharacters", u"830"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"Empty", u""_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"WithSeconds", u"08:30:00"_s, u"08:00:00"_s, u"refused"_s, {}},
                      AnswerCase{"Blanks", u" 8:30"_s, u"08:00:00"_s, u"refused"_s, {}}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(ScheduledSyncTest, TheServerClockIsReadAgainBeforeTheTimeIsJudgedPassed)
{
    // The first reading lies a moment before 08:30, the second at it.
    clock.setNow(at(5, 8, 29, 59));
    msPerReading = 1000;
    dialogs.queueInput(u"0830"_s);
    schedule.mnuAgendSincClick();
    EXPECT_EQ(serverReadings, 2);
    EXPECT_EQ(stored(), u"2026-01-06 08:30:00"_s);
}

TEST_F(ScheduledSyncTest, InputBoxProposesMidnightOrTheTimeOfTheTickedItem)
{
    dialogs.queueInput(std::nullopt);
    schedule.mnuAgendSincClick();
    menu.caption = u"Agendar &Horário (08:30)"_s;
    menu.ticked = true;
    dialogs.queueInput(std::nullopt);
    schedule.mnuAgendSincClick();

    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown.at(0).title, u"Horário do Sincronismo Automático"_s);
    EXPECT_EQ(dialogs.shown.at(0).text, u"Horário (HH:MM ou HHMM)"_s);
    EXPECT_EQ(dialogs.shown.at(0).value, u"00:00"_s);
    EXPECT_EQ(dialogs.shown.at(1).value, u"08:30"_s);
    // Cancelling changes nothing.
    EXPECT_EQ(stored(), u"none"_s);
    EXPECT_EQ(menu.menusEnabled, 0);
    EXPECT_EQ(serverReadings, 0);
}

TEST(ProposedScheduleAnswerTest, DigitsAndColonsBetweenTheFirstBrackets)
{
    EXPECT_EQ(ProposedScheduleAnswer(u"Agendar &Horário (08:30)"_s, false), u"00:00"_s);
    EXPECT_EQ(ProposedScheduleAnswer(u"Agendar &Horário (08:30)"_s, true), u"08:30"_s);
    EXPECT_EQ(ProposedScheduleAnswer(u"Agendar (às 8h:30) (09:00)"_s, true), u"8:30"_s);
    EXPECT_EQ(ProposedScheduleAnswer(u"Agendar &Horário"_s, true), QString());
    EXPECT_EQ(ProposedScheduleAnswer(u"Agendar ) &Horário (08:30)"_s, true), QString());
}

TEST_F(ScheduledSyncTest, AScheduleThatCannotBeStoredIsRefused)
{
    const platform::RegistryStore blocked{dir.file(u"blocked.reg"_s).toStdString()};
    ASSERT_TRUE(test::BlockRegistryStore(blocked.file));
    SettingsStore unwritable{messages, blocked};
    ScheduledSync failing{unwritable, messages, log, dialogs, menu, hooks()};
    dialogs.queueInput(u"0830"_s);
    failing.mnuAgendSincClick();
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown.at(1).text, u"Horário Inválido!"_s);
    EXPECT_EQ(menu.menusEnabled, 1);
    EXPECT_FALSE(menu.ticked);
    EXPECT_EQ(menu.caption, u"Agendar &Horário"_s);
}

// --- the submenu -------------------------------------------------------------------------------------

TEST_F(ScheduledSyncTest, SubmenuShowsTheStoredTimeAndRemovingUnticks)
{
    settings.writeScheduledSync(at(6, 7, 5, 42));
    schedule.mnuSincronismoClick();
    EXPECT_TRUE(menu.ticked);
    EXPECT_EQ(menu.caption, u"Agendar &Horário (07:05)"_s);

    schedule.mnuAgendDesfClick();
    EXPECT_FALSE(menu.ticked);
    EXPECT_EQ(menu.caption, u"Agendar &Horário"_s);
    EXPECT_EQ(stored(), u"none"_s);

    // Nothing stored: unticked, and the caption is left as it stands.
    menu.caption = u"Agendar &Horário (11:11)"_s;
    menu.ticked = true;
    schedule.mnuSincronismoClick();
    EXPECT_FALSE(menu.ticked);
    EXPECT_EQ(menu.caption, u"Agendar &Horário (11:11)"_s);

    // Removing twice is no error.
    schedule.mnuAgendDesfClick();
    EXPECT_EQ(stored(), u"none"_s);
}

TEST_F(ScheduledSyncTest, SchedulingThenOpeningTheSubmenuShowsTheSameTime)
{
    dialogs.queueInput(u"1745"_s);
    schedule.mnuAgendSincClick();
    menu.caption = u"Agendar &Horário"_s;
    menu.ticked = false;
    schedule.mnuSincronismoClick();
    EXPECT_TRUE(menu.ticked);
    EXPECT_EQ(menu.caption, u"Agendar &Horário (17:45)"_s);
}

// --- the check -------------------------------------------------------------------------------------

TEST_F(ScheduledSyncTest, NothingScheduledOrNotYetDueRunsNothing)
{
    schedule.CheckScheduledSync();
    EXPECT_EQ(serverReadings, 0);
    settings.writeScheduledSync(at(5, 8, 30));
    clock.setNow(at(5, 8, 29, 59));
    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 0);
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(stored(), u"2026-01-05 08:30:00"_s);
    EXPECT_EQ(logTexts(),
              QStringList({u"Verificar sincronismo agendado"_s, u"Verificar sincronismo agendado"_s}));
}

struct DueCase
{
    const char* name;
    QDateTime scheduled;
    QDateTime checked;
    qint64 syncMs; // how long the synchronisation takes
    QString next;
};

void PrintTo(const DueCase& c, std::ostream* os)
{
    *os << c.name;
}

class DueScheduleTest : public ScheduledSyncTest, public ::testing::WithParamInterface<DueCase>
{
};

TEST_P(DueScheduleTest, RunsOnceAndMovesToTheDayAfterTheSynchronisationEnded)
{
    const DueCase& c = GetParam();
    settings.writeScheduledSync(c.scheduled);
    clock.setNow(c.checked);
    synchronisation = [&] { clock.advance(c.syncMs); };
    menu.caption = u"Agendar &Horário (00:00)"_s;

    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 1);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(stored(), c.next);
    EXPECT_EQ(logTexts(), QStringList({u"Verificar sincronismo agendado"_s,
                                       u"Disparar sincronismo agendado para "_s +
                                           c.scheduled.toString(u"dd/MM/yyyy HH:mm:ss"_s)}));
    // The caption is only refreshed by the menu.
    EXPECT_EQ(menu.caption, u"Agendar &Horário (00:00)"_s);

    // The same day does not fire again.
    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, DueScheduleTest,
    ::testing::Values(
        DueCase{"AtTheMoment", at(5, 8, 30), at(5, 8, 30), 60'000, u"2026-01-06 08:30:00"_s},
        DueCase{"FirstCheckAfterIt", at(5, 8, 30), at(5, 8, 39), 60'000, u"2026-01-06 08:30:00"_s},
        DueCase{"SecondsOfTheMomentKept", at(5, 8, 30, 15), at(5, 9, 0), 0, u"2026-01-06 08:30:15"_s},
        DueCase{"FinishingAfterMidnight", at(5, 23, 50), at(5, 23, 55), 40 * 60'000,
                u"2026-01-07 23:50:00"_s},
        // Missed while offline: fires once at the first check and skips the rest
        // of that day, even the moment still ahead on it.
        DueCase{"MissedForDays", at(1, 8, 30), at(5, 7, 0), 60'000, u"2026-01-06 08:30:00"_s}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(ScheduledSyncTest, AFailedSynchronisationIsLoggedAndStaysDue)
{
    settings.writeScheduledSync(at(5, 8, 0));
    synchronisation = [] { throw Error(u"Catraca não responde"_s); };
    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 1);
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(stored(), u"2026-01-05 08:00:00"_s);
    EXPECT_EQ(logTexts().last(), u"##### Dispara Sincronismo - ERRO: Catraca não responde #####"_s);

    synchronisation = [] {};
    clock.advance(600'000);
    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 2);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(stored(), u"2026-01-06 08:00:00"_s);
}

TEST_F(ScheduledSyncTest, AnUnreadableScheduleIsLoggedByTheCheckAndRaisedByTheSubmenu)
{
    auto key = platform::openLocalMachineKey(settings.store(), SettingsStore::KeyPath, true);
    ASSERT_TRUE(key->writeString("DTHRAgeBio", "08:30"));
    schedule.CheckScheduledSync();
    EXPECT_EQ(syncRuns, 0);
    EXPECT_EQ(logTexts().last(),
              u"##### Dispara Sincronismo - ERRO: Tipo de dado inválido para 'DTHRAgeBio' #####"_s);

    EXPECT_THROW(schedule.mnuSincronismoClick(), Error);
    EXPECT_TRUE(menu.ticked);
}

} // namespace

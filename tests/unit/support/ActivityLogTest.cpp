#include "support/ActivityLog.h"

#include "TempDir.h"
#include "support/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

class ActivityLogTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock{QDateTime(QDate(2026, 1, 5), QTime(8, 0, 7))};
    QString folder = dir.file(u"logCatraca"_s);
    ActivityLog log{clock, folder};

    QString todaysFile() const { return folder + u"/logCatraca05-01-2026.txt"_s; }

    // Windows lets the day's file be deleted while the log holds it. Windows 10 and later take
    // its name away at once; older versions keep it, marked as a pending deletion, until the
    // log lets the file go; Wine keeps it and marks nothing, so nobody can tell that it was
    // deleted (and its folder cannot be removed either). The cases that delete it stop there.
    bool DeletedNameStillThere() const { return QFileInfo::exists(todaysFile()); }
};

#ifdef _WIN32
#define SKIP_WHERE_A_DELETED_OPEN_FILE_KEEPS_ITS_NAME()                                                      \
    if (DeletedNameStillThere())                                                                             \
    GTEST_SKIP() << "this system keeps the name of a file deleted while open until its last handle is "      \
                    "closed (Wine), and tells nobody"
#else
#define SKIP_WHERE_A_DELETED_OPEN_FILE_KEEPS_ITS_NAME()
#endif

TEST_F(ActivityLogTest, FileIsNamedAfterTheDayInTheLogFolder)
{
    EXPECT_EQ(log.filePathFor(QDate(2026, 1, 5)), todaysFile());
    EXPECT_EQ(log.filePathFor(QDate(2025, 12, 31)), folder + u"/logCatraca31-12-2025.txt"_s);
    EXPECT_EQ(ActivityLog::defaultFolder(), QCoreApplication::applicationDirPath() + u"/logCatraca"_s);
}

struct LineCase
{
    const char* name;
    const char16_t* text;
    QByteArray line;
};

void PrintTo(const LineCase& line, std::ostream* os)
{
    *os << line.name;
}

class LineFormatTest : public ActivityLogTest, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(LineFormatTest, WritesTheLineOfTheText)
{
    log.write(QString::fromUtf16(GetParam().text));
    EXPECT_EQ(readAll(todaysFile()), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineFormatTest,
    ::testing::Values(LineCase{"plain", u"Catraca conectada", "05/01/2026 08:00:07\tCatraca conectada\r\n"},
                      LineCase{"operationError", u"Initialize - ERRO: timeout",
                               "05/01/2026 08:00:07\t##### Initialize - ERRO: timeout #####\r\n"},
                      LineCase{"leadingErro", u"Erro: x", "05/01/2026 08:00:07\t##### Erro: x #####\r\n"},
                      LineCase{"lowerCaseMarker", u"falha erro:x",
                               "05/01/2026 08:00:07\t##### falha erro:x #####\r\n"},
                      LineCase{"markerAlone", u"ERRO:", "05/01/2026 08:00:07\t##### ERRO: #####\r\n"},
                      LineCase{"erroWithoutColon", u"Erro ao conectar Banco de Dados:",
                               "05/01/2026 08:00:07\tErro ao conectar Banco de Dados:\r\n"},
                      LineCase{"spaceBeforeColon", u"ERRO :", "05/01/2026 08:00:07\tERRO :\r\n"},
                      LineCase{"empty", u"", "\r\n"}, LineCase{"threeSpaces", u"   ", "   \r\n"},
                      LineCase{"tabIsNotBlank", u"\t", "05/01/2026 08:00:07\t\t\r\n"},
                      LineCase{"accentsAndBullet", u"Conexão \u2022 ação",
                               "05/01/2026 08:00:07\tConex\xE3o \x95 a\xE7\xE3o\r\n"},
                      LineCase{"unmappable", u"\u4E2D", "05/01/2026 08:00:07\t?\r\n"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(ActivityLogTest, AppendsLinesInOrderToAnExistingFile)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    {
        QFile existing(todaysFile());
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("antes\r\n");
    }
    log.write(u"um"_s);
    clock.sleep(2000);
    log.write(QString());
    log.write(u"dois"_s);
    EXPECT_EQ(readAll(todaysFile()),
              QByteArray("antes\r\n05/01/2026 08:00:07\tum\r\n\r\n05/01/2026 08:00:09\tdois\r\n"));
}

TEST_F(ActivityLogTest, SwitchedOffWritesNothingNotEvenErrors)
{
    log.setEnabled(false);
    log.write(u"Initialize - ERRO: x"_s);
    log.write(QString());
    EXPECT_FALSE(QDir(folder).exists());
    log.setEnabled(true);
    log.write(u"x"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tx\r\n"));
}

TEST_F(ActivityLogTest, LinesOnEitherSideOfMidnightGoToTheFilesOfTheirDays)
{
    clock.setNow(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59, 600)));
    log.write(u"antes"_s);
    clock.sleep(500);
    log.write(u"depois"_s);
    EXPECT_EQ(readAll(folder + u"/logCatraca31-12-2025.txt"_s), QByteArray("31/12/2025 23:59:59\tantes\r\n"));
    EXPECT_EQ(readAll(folder + u"/logCatraca01-01-2026.txt"_s),
              QByteArray("01/01/2026 00:00:00\tdepois\r\n"));
}

TEST_F(ActivityLogTest, FolderRemovedWhileRunningIsCreatedAgain)
{
    log.write(u"um"_s);
    if (!QDir(folder).removeRecursively()) {
        SKIP_WHERE_A_DELETED_OPEN_FILE_KEEPS_ITS_NAME();
        FAIL() << "the log folder could not be removed";
    }
    log.write(u"dois"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tdois\r\n"));
}

TEST_F(ActivityLogTest, LineThatCannotBeWrittenIsLostQuietlyAndTheNextOneTriesAgain)
{
    // A regular file where the parent folder should be: creation fails even for root.
    const QString blocker = dir.file(u"blocker"_s);
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString unreachable = blocker + u"/logCatraca"_s;
    ActivityLog lost(clock, unreachable);
    lost.write(u"Initialize - ERRO: perdido"_s);
    EXPECT_FALSE(QFile::exists(lost.filePathFor(QDate(2026, 1, 5))));

    // The same when a file stands where the log folder itself should be.
    ASSERT_TRUE(QFile::rename(blocker, folder));
    log.write(u"perdido"_s);
    ASSERT_TRUE(QFile::remove(folder));
    log.write(u"gravado"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tgravado\r\n"));
}

TEST_F(ActivityLogTest, LossIsToldOnceUntilALineIsWrittenAgain)
{
    QStringList told;
    log.setLostLinesHandler([&](const QString& lostIn) { told << lostIn; });
    log.write(u"gravado"_s);
    EXPECT_TRUE(told.isEmpty());

    // A file where the folder should be: every line is lost, the loss is told once.
    if (!QDir(folder).removeRecursively()) {
        SKIP_WHERE_A_DELETED_OPEN_FILE_KEEPS_ITS_NAME();
        FAIL() << "the log folder could not be removed";
    }
    {
        QFile file(folder);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    for (int i = 0; i < 5; ++i)
        log.write(u"perdido"_s);
    EXPECT_EQ(told, QStringList{folder});

    // Written again, then lost again: a new loss, told again.
    ASSERT_TRUE(QFile::remove(folder));
    log.write(u"gravado"_s);
    EXPECT_EQ(told.size(), 1);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QFile(folder).open(QIODevice::WriteOnly));
    log.write(u"perdido"_s);
    log.write(u"perdido"_s);
    EXPECT_EQ(told.size(), 2);

    // A log switched off loses nothing.
    log.setEnabled(false);
    ASSERT_TRUE(QFile::remove(folder));
    ActivityLog quiet(clock, dir.file(u"nowhere/at/all"_s));
    quiet.setEnabled(false);
    quiet.setLostLinesHandler([&](const QString& lostIn) { told << lostIn; });
    quiet.write(u"x"_s);
    EXPECT_EQ(told.size(), 2);
}

TEST_F(ActivityLogTest, CreatesOnlyOneFolderLevel)
{
    ActivityLog deep(clock, dir.file(u"a/b"_s));
    deep.write(u"x"_s);
    EXPECT_FALSE(QDir(dir.file(u"a"_s)).exists());
}

// The day's file stays open between lines; whatever an operator does to its name, the next line
// lands in a file of the day's name, and the old file keeps what it had.
TEST_F(ActivityLogTest, FileRenamedOrDeletedIsCreatedAgainOnTheNextLine)
{
    log.write(u"um"_s);
    ASSERT_TRUE(QFile::rename(todaysFile(), folder + u"/rodado.txt"_s));
    log.write(u"dois"_s);
    EXPECT_EQ(readAll(folder + u"/rodado.txt"_s), QByteArray("05/01/2026 08:00:07\tum\r\n"));
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tdois\r\n"));

    ASSERT_TRUE(QFile::remove(todaysFile()));
    SKIP_WHERE_A_DELETED_OPEN_FILE_KEEPS_ITS_NAME();
    log.write(u"tres"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\ttres\r\n"));

    // A file of the day's name put back by someone else is appended to.
    ASSERT_TRUE(QFile::remove(todaysFile()));
    ASSERT_TRUE(QFile::copy(folder + u"/rodado.txt"_s, todaysFile()));
    log.write(u"quatro"_s);
    EXPECT_EQ(readAll(todaysFile()),
              QByteArray("05/01/2026 08:00:07\tum\r\n05/01/2026 08:00:07\tquatro\r\n"));
}

TEST_F(ActivityLogTest, DayChangeWhileTheFileIsOpenGoesToTheNewDaysFile)
{
    log.write(u"segunda"_s);
    clock.advance(24 * 3600 * 1000);
    log.write(u"terça"_s);
    clock.setNow(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
    log.write(u"relógio atrasado"_s);
    EXPECT_EQ(readAll(todaysFile()),
              QByteArray("05/01/2026 08:00:07\tsegunda\r\n05/01/2026 09:00:00\trel\xF3gio atrasado\r\n"));
    EXPECT_EQ(readAll(folder + u"/logCatraca06-01-2026.txt"_s), QByteArray("06/01/2026 08:00:07\tter\xE7"
                                                                           "a\r\n"));
}

// A file that refuses a write (a full disk) loses that line; the file is opened again for the
// next one, which is written once the disk takes it.
TEST_F(ActivityLogTest, WriteErrorLosesTheLineAndTheNextOneRecovers)
{
    if (!QFileInfo::exists(u"/dev/full"_s))
        GTEST_SKIP() << "no /dev/full here";
    QStringList told;
    log.setLostLinesHandler([&](const QString& lostIn) { told << lostIn; });
    log.write(u"um"_s);
    ASSERT_TRUE(QFile::rename(todaysFile(), folder + u"/cheio.txt"_s));
    ASSERT_TRUE(QFile::link(u"/dev/full"_s, todaysFile()));
    log.write(u"perdido"_s);
    log.write(u"perdido também"_s);
    EXPECT_EQ(told, QStringList{folder});

    ASSERT_TRUE(QFile::remove(todaysFile()));
    log.write(u"dois"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tdois\r\n"));
    EXPECT_EQ(readAll(folder + u"/cheio.txt"_s), QByteArray("05/01/2026 08:00:07\tum\r\n"));
    EXPECT_EQ(told.size(), 1);
}

// Each line is in the file when write() returns, so a kill right after loses nothing, and
// letting the log go leaves every line there.
TEST_F(ActivityLogTest, EveryLineIsInTheFileAsSoonAsItIsWritten)
{
    auto held = std::make_unique<ActivityLog>(clock, folder);
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        held->write(QString::number(i));
        expected += "05/01/2026 08:00:07\t" + QByteArray::number(i) + "\r\n";
        EXPECT_EQ(readAll(todaysFile()), expected);
    }
    held.reset();
    EXPECT_EQ(readAll(todaysFile()), expected);
}

// Switched off, the log lets its file go: an operator may move it away, and the first line
// after switching on goes to a new file.
TEST_F(ActivityLogTest, SwitchedOffLetsTheFileGo)
{
    log.write(u"um"_s);
    log.setEnabled(false);
    ASSERT_TRUE(QFile::rename(todaysFile(), folder + u"/guardado.txt"_s));
    log.setEnabled(true);
    log.write(u"dois"_s);
    EXPECT_EQ(readAll(todaysFile()), QByteArray("05/01/2026 08:00:07\tdois\r\n"));
}

// The stamps come from a cached offset from UTC; across the changes to and from summer time
// and across midnight they must still be the local time of the line.
class TimeZoneGuard
{
public:
    explicit TimeZoneGuard(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            m_had = true;
            m_old = old;
        }
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneGuard()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    QByteArray m_old;
};

TEST_F(ActivityLogTest, StampsFollowSummerTimeAndMidnight)
{
#ifdef _WIN32
    GTEST_SKIP() << "the Windows C library's TZ takes no rules of change (M3.5.0 ...) and the "
                    "Windows time zone belongs to the whole machine; LocalOffsetCacheTest covers the "
                    "offsets there";
#endif
    // Central European rules, written out so that no zone database is needed.
    const TimeZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const qint64 springChange =
        QDateTime(QDate(2026, 3, 29), QTime(1, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    const qint64 autumnChange =
        QDateTime(QDate(2026, 10, 25), QTime(1, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    {
        ManualClock summer(QDateTime::fromMSecsSinceEpoch(springChange - 1500, Qt::LocalTime));
        ActivityLog stamped(summer, folder);
        stamped.write(u"inverno"_s);
        summer.sleep(1000);
        stamped.write(u"ainda inverno"_s);
        summer.sleep(500);
        stamped.write(u"verão"_s);
    }
    EXPECT_EQ(readAll(folder + u"/logCatraca29-03-2026.txt"_s),
              QByteArray("29/03/2026 01:59:58\tinverno\r\n29/03/2026 01:59:59\tainda inverno\r\n"
                         "29/03/2026 03:00:00\tver\xE3o\r\n"));
    {
        ManualClock autumn(QDateTime::fromMSecsSinceEpoch(autumnChange - 1000, Qt::LocalTime));
        ActivityLog stamped(autumn, folder);
        stamped.write(u"verão"_s);
        autumn.sleep(1000);
        stamped.write(u"inverno"_s);
        // The last millisecond of that day, and the first of the next.
        autumn.setNow(QDateTime::fromMSecsSinceEpoch(autumnChange + 22 * 3600 * 1000 - 1, Qt::LocalTime));
        stamped.write(u"antes"_s);
        autumn.sleep(1);
        stamped.write(u"depois"_s);
    }
    EXPECT_EQ(readAll(folder + u"/logCatraca25-10-2026.txt"_s),
              QByteArray("25/10/2026 02:59:59\tver\xE3o\r\n25/10/2026 02:00:00\tinverno\r\n"
                         "25/10/2026 23:59:59\tantes\r\n"));
    EXPECT_EQ(readAll(folder + u"/logCatraca26-10-2026.txt"_s),
              QByteArray("26/10/2026 00:00:00\tdepois\r\n"));
}

} // namespace

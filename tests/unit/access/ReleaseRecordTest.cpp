#include "access/ReleaseRecord.h"

#include "TempDir.h"
#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

class ReleaseRecordTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    QString path = ReleaseRecord::defaultFilePath(dir.file(u"logCatraca"_s));
    const PendingRelease ana{u"0000000001"_s, u"ANA \"A\"\n"_s, false,
                             QDateTime(QDate(2026, 1, 5), QTime(8, 0, 1, 700))};
};

TEST_F(ReleaseRecordTest, ReleaseOutlivesTheProgramUntilItIsCleared)
{
    ReleaseRecord record(path);
    EXPECT_FALSE(record.pending().has_value());
    record.write(ana);

    ReleaseRecord afterRestart(path);
    const std::optional<PendingRelease> read = afterRestart.pending();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->PersonNumber, ana.PersonNumber);
    EXPECT_EQ(read->BadgeName, ana.BadgeName);
    EXPECT_FALSE(read->IsEntry);
    EXPECT_EQ(read->ReleasedAt, QDateTime(QDate(2026, 1, 5), QTime(8, 0, 1))); // whole seconds
    EXPECT_EQ(*record.pending(), *read);

    afterRestart.clear();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(ReleaseRecord(path).pending().has_value());
}

TEST_F(ReleaseRecordTest, UnreadableRecordCountsAsNoneAndSaysWhy)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"pessoa\":\"0000000001\",\"sentido\":\"X\"}\n");
    file.close();
    ReleaseRecord record(path);
    QString problem;
    EXPECT_FALSE(record.pending(&problem).has_value());
    EXPECT_FALSE(problem.isEmpty());
    record.write(ana); // a new release replaces it
    EXPECT_TRUE(ReleaseRecord(path).pending().has_value());
}

TEST_F(ReleaseRecordTest, RecordThatCannotBeWrittenThrowsAndKeepsTheOldOne)
{
    ReleaseRecord record(path);
    record.write(ana);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path + u"/x"_s)); // a folder where the file goes
    PendingRelease bia = ana;
    bia.PersonNumber = u"0000000002"_s;
    EXPECT_THROW(record.write(bia), Error);
    EXPECT_EQ(record.pending()->PersonNumber, ana.PersonNumber);
    EXPECT_THROW(record.clear(), Error);
}

} // namespace
} // namespace zul

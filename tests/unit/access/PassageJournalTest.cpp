#include "access/PassageJournal.h"

#include "TempDir.h"
#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

class PassageJournalTest : public ::testing::Test
{
protected:
    static JournaledPassage passage(const QString& number, bool entry, int minute)
    {
        return {number, entry, QDateTime(QDate(2026, 1, 5), QTime(8, minute, 30))};
    }

    QByteArray fileContent() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    test::TempDir dir;
    QString path = PassageJournal::defaultFilePath(dir.file(u"logCatraca"_s));
};

TEST_F(PassageJournalTest, PassagesSurviveTheObjectInOrder)
{
    {
        PassageJournal journal(path);
        EXPECT_TRUE(journal.isEmpty());
        journal.append(passage(u"0000000001"_s, true, 1));
        journal.append(passage(u"0000000002"_s, false, 2));
        journal.append(passage(u"0000000001"_s, false, 3));
    }
    PassageJournal reread(path);
    EXPECT_EQ(reread.entries(),
              (QList<JournaledPassage>{passage(u"0000000001"_s, true, 1), passage(u"0000000002"_s, false, 2),
                                       passage(u"0000000001"_s, false, 3)}));
    reread.removeFirst();
    EXPECT_EQ(PassageJournal(path).entries().first(), passage(u"0000000002"_s, false, 2));
}

TEST_F(PassageJournalTest, TimeIsKeptToTheSecond)
{
    PassageJournal journal(path);
    journal.append({u"1"_s, true, QDateTime(QDate(2026, 1, 5), QTime(8, 0, 7, 999))});
    EXPECT_EQ(PassageJournal(path).entries().first().PassedAt, QDateTime(QDate(2026, 1, 5), QTime(8, 0, 7)));
    EXPECT_EQ(journal.entries().first().PassedAt, QDateTime(QDate(2026, 1, 5), QTime(8, 0, 7)));
}

TEST_F(PassageJournalTest, AnyPersonNumberReadsBackAsWritten)
{
    const QStringList numbers{u"12\t34"_s, u"line\nbreak"_s, u"\"quoted\" {x}"_s, u"Ação"_s, u""_s};
    {
        PassageJournal journal(path);
        for (const QString& n : numbers)
            journal.append({n, true, QDateTime(QDate(2026, 1, 5), QTime(8, 0))});
    }
    PassageJournal reread(path);
    ASSERT_EQ(reread.entries().size(), numbers.size());
    for (qsizetype i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(reread.entries().at(i).PersonNumber, numbers.at(i));
    EXPECT_TRUE(reread.unreadableLines().isEmpty());
}

TEST_F(PassageJournalTest, EmptiedJournalLeavesNoFile)
{
    PassageJournal journal(path);
    journal.append(passage(u"1"_s, true, 1));
    EXPECT_TRUE(QFile::exists(path));
    journal.removeFirst();
    EXPECT_FALSE(QFile::exists(path));
    journal.removeFirst(); // nothing left: nothing happens
    EXPECT_TRUE(journal.isEmpty());
}

TEST_F(PassageJournalTest, LinesThatHoldNoPassageAreKept)
{
    {
        PassageJournal journal(path);
        journal.append(passage(u"1"_s, true, 1));
    }
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("not a passage\n{\"pessoa\":\"2\",\"sentido\":\"X\",\"hora\":\"2026-01-05 08:00:00\"}\n");
    }
    PassageJournal journal(path);
    EXPECT_EQ(journal.entries().size(), 1);
    EXPECT_EQ(journal.unreadableLines().size(), 2);
    journal.removeFirst();
    journal.append(passage(u"3"_s, false, 3));
    const QByteArray content = fileContent();
    EXPECT_TRUE(content.contains("not a passage"));
    EXPECT_TRUE(content.contains("\"sentido\":\"X\""));
    EXPECT_EQ(PassageJournal(path).entries(), QList<JournaledPassage>{passage(u"3"_s, false, 3)});
}

TEST_F(PassageJournalTest, FailedWriteLeavesListAndFileAsTheyWere)
{
    // A file where the journal's folder should be: nothing can be written below it.
    const QString blocked = dir.file(u"blocked"_s);
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    PassageJournal nowhere(blocked + u"/journal.jrn"_s);
    EXPECT_THROW(nowhere.append(passage(u"1"_s, true, 1)), Error);
    EXPECT_TRUE(nowhere.isEmpty());

    PassageJournal journal(path);
    journal.append(passage(u"1"_s, true, 1));
    journal.append(passage(u"2"_s, true, 2));
    // The folder turns into a file behind the journal's back: nothing can be replaced.
    QDir(dir.file(u"logCatraca"_s)).removeRecursively();
    {
        QFile f(dir.file(u"logCatraca"_s));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_THROW(journal.append(passage(u"3"_s, true, 3)), Error);
    EXPECT_EQ(journal.entries().size(), 2);
    EXPECT_THROW(journal.removeFirst(), Error);
    EXPECT_EQ(journal.entries().size(), 2);
}

TEST_F(PassageJournalTest, UnreadableFileIsNeitherUsedNorOverwritten)
{
    ASSERT_TRUE(QDir().mkpath(path)); // a folder by the journal's name cannot be read as a file
    PassageJournal journal(path);
    EXPECT_THROW(journal.entries(), Error);
    EXPECT_THROW(journal.append(passage(u"1"_s, true, 1)), Error);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(PassageJournalTest, RefusalsSurviveARestartAndTheDeadLetterLineReadsBackAsAPassage)
{
    {
        PassageJournal journal(path);
        journal.append(passage(u"1"_s, true, 1));
        journal.append(passage(u"2"_s, false, 2));
        EXPECT_EQ(journal.countAttempt(1), 1);
        EXPECT_EQ(journal.countAttempt(1), 2);
    }
    PassageJournal journal(path);
    ASSERT_EQ(journal.entries().size(), 2);
    EXPECT_EQ(journal.entries().at(0).Attempts, 0);
    EXPECT_EQ(journal.entries().at(1).Attempts, 2);

    journal.moveToDeadLetter(1, u"value too long\nfor column"_s);
    journal.moveToDeadLetter(0, u"second"_s);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(QFileInfo(journal.deadLetterPath()).absolutePath(), QFileInfo(path).absolutePath());

    // The dead-letter file, put in the journal's place, is a journal of the same passages.
    QFile::rename(journal.deadLetterPath(), path);
    PassageJournal moved(path);
    EXPECT_TRUE(moved.unreadableLines().isEmpty());
    EXPECT_EQ(moved.entries(),
              (QList<JournaledPassage>{{u"2"_s, false, passage(u"2"_s, false, 2).PassedAt, 2},
                                       passage(u"1"_s, true, 1)}));
    EXPECT_TRUE(fileContent().contains("\"erro\":\"value too long\\nfor column\""));
}

TEST_F(PassageJournalTest, LastOfAPersonIsTheLatestOfThatExactNumber)
{
    PassageJournal journal(path);
    EXPECT_FALSE(journal.lastOf(u"1"_s));
    journal.append(passage(u"1"_s, true, 5));
    journal.append(passage(u"1"_s, false, 6));
    journal.append(passage(u"1"_s, true, 4)); // an older time written later
    journal.append(passage(u"A"_s, true, 9));
    EXPECT_EQ(journal.lastOf(u"1"_s), passage(u"1"_s, false, 6));
    EXPECT_FALSE(journal.lastOf(u"a"_s));
    EXPECT_FALSE(journal.lastOf(u"01"_s));
}

TEST_F(PassageJournalTest, WritabilityIsCheckedWithoutLeavingAFile)
{
    PassageJournal journal(path);
    EXPECT_NO_THROW(journal.checkWritable());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(QDir(dir.file(u"logCatraca"_s)).entryList(QDir::Files), QStringList());

    const QString blocked = dir.file(u"blocked"_s);
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_THROW(PassageJournal(blocked + u"/journal.jrn"_s).checkWritable(), Error);
}

} // namespace
} // namespace zul

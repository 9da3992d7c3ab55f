#include "db/MemTable.h"

#include "support/Error.h"

#include <gtest/gtest.h>

using namespace zul;

namespace {

MemTable users(const QStringList& codes)
{
    MemTable t({{u"CDUSER"_qs, ftString, 10}});
    for (const QString& c : codes)
        t.AppendRecord({c});
    t.First();
    return t;
}

QStringList walk(MemTable& t)
{
    QStringList out;
    for (t.First(); !t.Eof(); t.Next())
        out << t.AsString(u"CDUSER"_qs);
    return out;
}

} // namespace

TEST(MemTable, LocateIsExactOnCaseAndBlanks)
{
    MemTable t = users({u"0000000001"_qs, u"abc"_qs, u"abc "_qs});
    EXPECT_FALSE(t.Locate(u"CDUSER"_qs, u"ABC"_qs));
    EXPECT_FALSE(t.Locate(u"CDUSER"_qs, u"0000000001 "_qs));
    ASSERT_TRUE(t.Locate(u"CDUSER"_qs, u"abc "_qs));
    EXPECT_EQ(t.AsString(u"CDUSER"_qs), u"abc "_qs);
}

TEST(MemTable, DeletingWhileWalkingVisitsEveryRowOnce)
{
    MemTable t = users({u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs});
    QStringList seen;
    t.First();
    while (!t.Eof()) {
        const QString code = t.AsString(u"CDUSER"_qs);
        seen << code;
        if (code.toInt() % 2 == 1)
            t.Delete(); // the next row becomes current
        else
            t.Next();
    }
    EXPECT_EQ(seen, (QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs}));
    EXPECT_EQ(walk(t), (QStringList{u"2"_qs, u"4"_qs}));
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST(MemTable, IndexFollowsDeletionsAndAppends)
{
    MemTable t = users({u"A"_qs, u"B"_qs, u"A"_qs});
    ASSERT_TRUE(t.Locate(u"CDUSER"_qs, u"A"_qs)); // builds the index
    t.Delete();
    EXPECT_EQ(t.AsString(u"CDUSER"_qs), u"B"_qs);
    ASSERT_TRUE(t.Locate(u"CDUSER"_qs, u"A"_qs)); // the second "A" is left
    t.Delete();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Locate(u"CDUSER"_qs, u"A"_qs));
    t.AppendRecord({u"A"_qs});
    t.First();
    EXPECT_TRUE(t.Locate(u"CDUSER"_qs, u"A"_qs));
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST(MemTable, DeletingEveryRowFromTheFirstEmptiesTheTable)
{
    MemTable t = users({u"1"_qs, u"2"_qs, u"3"_qs});
    t.First();
    while (!t.IsEmpty())
        t.Delete();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(walk(t), QStringList{});
}

TEST(MemTable, LoadsAPacketAndRefusesAnEmptyOne)
{
    DataPacket::Content content;
    content.fields = {{u"NRPESSOA"_qs, ftString, 10}, {u"TXDIGITALCATRAC"_qs, ftBlob, 0}};
    content.rows.push_back({u"0000000001"_qs, QByteArray(844, '\1')});
    content.rows.push_back({u"0000000002"_qs, QByteArray(844, '\2')});
    MemTable t;
    t.LoadFromPacket(DataPacket(std::move(content)));
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.AsString(u"nrpessoa"_qs), u"0000000001"_qs);
    ASSERT_TRUE(t.Locate(u"NRPESSOA"_qs, u"0000000002"_qs));
    EXPECT_EQ(t.AsBytes(u"TXDIGITALCATRAC"_qs), QByteArray(844, '\2'));

    EXPECT_THROW(t.LoadFromPacket(DataPacket()), Error);
    EXPECT_THROW(t.Value(u"NOPE"_qs), Error);
}

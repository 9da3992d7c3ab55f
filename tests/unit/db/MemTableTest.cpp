#include "db/MemTable.h"

#include "support/Error.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

MemTable users(const QStringList& codes)
{
    MemTable t({{u"CDUSER"_s, ftString, 10}});
    for (const QString& c : codes)
        t.AppendRecord({c});
    t.First();
    return t;
}

QStringList walk(MemTable& t)
{
    QStringList out;
    for (t.First(); !t.Eof(); t.Next())
        out << t.AsString(u"CDUSER"_s);
    return out;
}

} // namespace

TEST(MemTable, LocateIsExactOnCaseAndBlanks)
{
    MemTable t = users({u"0000000001"_s, u"abc"_s, u"abc "_s});
    EXPECT_FALSE(t.Locate(u"CDUSER"_s, u"ABC"_s));
    EXPECT_FALSE(t.Locate(u"CDUSER"_s, u"0000000001 "_s));
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"abc "_s));
    EXPECT_EQ(t.AsString(u"CDUSER"_s), u"abc "_s);
}

TEST(MemTable, DeletingWhileWalkingVisitsEveryRowOnce)
{
    MemTable t = users({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s});
    QStringList seen;
    t.First();
    while (!t.Eof()) {
        const QString code = t.AsString(u"CDUSER"_s);
        seen << code;
        if (code.toInt() % 2 == 1)
            t.Delete(); // the next row becomes current
        else
            t.Next();
    }
    EXPECT_EQ(seen, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
    EXPECT_EQ(walk(t), (QStringList{u"2"_s, u"4"_s}));
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST(MemTable, IndexFollowsDeletionsAndAppends)
{
    MemTable t = users({u"A"_s, u"B"_s, u"A"_s});
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s)); // builds the index
    t.Delete();
    EXPECT_EQ(t.AsString(u"CDUSER"_s), u"B"_s);
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s)); // the second "A" is left
    t.Delete();
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Locate(u"CDUSER"_s, u"A"_s));
    t.AppendRecord({u"A"_s});
    t.First();
    EXPECT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s));
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST(MemTable, DeletingEveryRowFromTheFirstEmptiesTheTable)
{
    MemTable t = users({u"1"_s, u"2"_s, u"3"_s});
    t.First();
    while (!t.IsEmpty())
        t.Delete();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(walk(t), QStringList{});
}

TEST(MemTable, LoadsAPacketAndRefusesAnEmptyOne)
{
    DataPacket::Content content;
    content.fields = {{u"NRPESSOA"_s, ftString, 10}, {u"TXDIGITALCATRAC"_s, ftBlob, 0}};
    content.rows.push_back({u"0000000001"_s, QByteArray(844, '\1')});
    content.rows.push_back({u"0000000002"_s, QByteArray(844, '\2')});
    MemTable t;
    t.LoadFromPacket(DataPacket(std::move(content)));
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.AsString(u"nrpessoa"_s), u"0000000001"_s);
    ASSERT_TRUE(t.Locate(u"NRPESSOA"_s, u"0000000002"_s));
    EXPECT_EQ(t.AsBytes(u"TXDIGITALCATRAC"_s), QByteArray(844, '\2'));

    EXPECT_THROW(t.LoadFromPacket(DataPacket()), Error);
    EXPECT_THROW(t.Value(u"NOPE"_s), Error);
}

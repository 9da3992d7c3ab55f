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

// A loop over many rows reads its fields by position; the positions follow the names, and a
// wrong one fails like a wrong name instead of reading another field.
TEST(MemTable, FieldsByPositionAnswerAsByName)
{
    MemTable t({{u"NRPESSOA"_s, ftString, 10}, {u"TXDIGITALCATRAC"_s, ftBlob, 0}});
    t.AppendRecord({u"7"_s, QByteArray("x")});
    t.AppendRecord({u"8"_s, QByteArray("y")});
    const int number = t.RequireField(u"nrpessoa"_s);
    const int record = t.RequireField(u"TXDIGITALCATRAC"_s);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(record, 1);
    ASSERT_TRUE(t.LocateAt(number, u"8"_s));
    EXPECT_EQ(t.StringAt(number), u"8"_s);
    EXPECT_EQ(t.BytesAt(record), QByteArray("y"));
    EXPECT_EQ(t.StringAt(number), t.AsString(u"NRPESSOA"_s));
    EXPECT_FALSE(t.LocateAt(number, u"9"_s));
    EXPECT_EQ(t.StringAt(number), u"8"_s); // the cursor stays

    EXPECT_THROW(t.RequireField(u"NOPE"_s), Error);
    EXPECT_THROW(t.ValueAt(2), Error);
    EXPECT_THROW(t.ValueAt(-1), Error);
    EXPECT_THROW(t.LocateAt(2, u"8"_s), Error);
    t.Delete();
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.ValueAt(number).isNull()); // past the last row, as by name
}

// Many rows of one value: the index keeps them in table order through deletions in any order.
TEST(MemTable, IndexKeepsTheRowsOfOneValueInTableOrder)
{
    MemTable t({{u"CDUSER"_s, ftString, 10}, {u"N"_s, ftString, 2}});
    for (const char* n : {"1", "2", "3", "4"})
        t.AppendRecord({u"A"_s, QString::fromLatin1(n)});
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s));
    EXPECT_EQ(t.AsString(u"N"_s), u"1"_s);
    t.Next();
    t.Next();
    t.Delete(); // the third
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s));
    t.Delete(); // the first
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s));
    EXPECT_EQ(t.AsString(u"N"_s), u"2"_s);
    t.Delete();
    ASSERT_TRUE(t.Locate(u"CDUSER"_s, u"A"_s));
    EXPECT_EQ(t.AsString(u"N"_s), u"4"_s);
    t.Delete();
    EXPECT_FALSE(t.Locate(u"CDUSER"_s, u"A"_s));
    EXPECT_TRUE(t.IsEmpty());
}

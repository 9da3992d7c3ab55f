#include "support/Win1252.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

TEST(Win1252Test, EveryByteSurvivesARoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = fromWin1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toWin1252(text), all);
    EXPECT_EQ(toWin1252String(fromWin1252(std::string(all.constData(), std::size_t(all.size())))),
              std::string(all.constData(), std::size_t(all.size())));
}

struct Mapping
{
    unsigned char byte;
    char16_t unicode;
};

void PrintTo(const Mapping& mapping, std::ostream* os)
{
    *os << std::hex << int(mapping.byte) << "<->U+" << int(mapping.unicode);
}

class Win1252MappingTest : public ::testing::TestWithParam<Mapping>
{
};

TEST_P(Win1252MappingTest, MapsBothWays)
{
    const Mapping m = GetParam();
    EXPECT_EQ(fromWin1252(QByteArray(1, char(m.byte))), QString(QChar(m.unicode)));
    EXPECT_EQ(toWin1252(QString(QChar(m.unicode))), QByteArray(1, char(m.byte)));
}

// The range where Windows-1252 is not Latin-1, its undefined bytes, and its edges.
INSTANTIATE_TEST_SUITE_P(
    Table, Win1252MappingTest,
    ::testing::Values(Mapping{0x80, 0x20AC}, Mapping{0x81, 0x0081}, Mapping{0x82, 0x201A},
                      Mapping{0x85, 0x2026}, Mapping{0x8A, 0x0160}, Mapping{0x8C, 0x0152},
                      Mapping{0x8D, 0x008D}, Mapping{0x8E, 0x017D}, Mapping{0x8F, 0x008F},
                      Mapping{0x90, 0x0090}, Mapping{0x91, 0x2018}, Mapping{0x93, 0x201C},
                      Mapping{0x95, 0x2022}, Mapping{0x96, 0x2013}, Mapping{0x97, 0x2014},
                      Mapping{0x99, 0x2122}, Mapping{0x9D, 0x009D}, Mapping{0x9F, 0x0178},
                      Mapping{0x7F, 0x007F}, Mapping{0xA0, 0x00A0}, Mapping{0xE7, 0x00E7},
                      Mapping{0xFF, 0x00FF}, Mapping{0x00, 0x0000}),
    [](const auto& mapping) {
        return "byte" + QByteArray::number(mapping.param.byte, 16).toUpper().toStdString();
    });

TEST(Win1252Test, PortugueseTextIsOneBytePerLetter)
{
    EXPECT_EQ(toWin1252(u"Atenção, é à"_s), QByteArray("Aten\xE7\xE3o, \xE9 \xE0"));
    EXPECT_EQ(fromWin1252(QByteArray("Biom\xE9trica")), u"Biométrica"_s);
}

TEST(Win1252Test, CharactersWithoutAByteBecomeOneQuestionMarkEach)
{
    EXPECT_EQ(toWin1252(u"a\u0080b"_s), QByteArray("a?b")); // C1 control not in the table
    EXPECT_EQ(toWin1252(u"\u4E2D\u2023"_s), QByteArray("??"));
    EXPECT_EQ(toWin1252(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QByteArray("x?y")); // outside the BMP
    EXPECT_EQ(toWin1252String(QString(QChar(0xD800))), std::string("?"));             // lone surrogate
}

} // namespace

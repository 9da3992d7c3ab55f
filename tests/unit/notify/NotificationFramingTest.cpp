#include "notify/NotificationFraming.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

using namespace zul;
using Piece = NotificationFraming::Piece;
using Kind = Piece::Kind;

namespace {

std::string describe(const QList<Piece>& pieces)
{
    std::string text;
    for (const Piece& p : pieces) {
        text += p.kind == Kind::Notification ? "N:" : p.kind == Kind::Unknown ? "U:" : "L:";
        text += p.text.toStdString() + " | ";
    }
    return text;
}

// What the framing gives for `received` when the client then closes.
QList<Piece> frame(const QByteArray& received)
{
    NotificationFraming framing;
    QList<Piece> pieces = framing.feed(received);
    pieces += framing.finish();
    return pieces;
}

// Only kinds and texts: `received` is for the log and checked on its own.
QList<std::pair<Kind, QByteArray>> shape(const QList<Piece>& pieces)
{
    QList<std::pair<Kind, QByteArray>> out;
    for (const Piece& p : pieces)
        out.append({p.kind, p.text});
    return out;
}

struct FrameCase
{
    const char* name;
    QByteArray received;
    QList<std::pair<Kind, QByteArray>> pieces;
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.name;
}

class FramingCases : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P(FramingCases, WholeInOneRead)
{
    EXPECT_EQ(shape(frame(GetParam().received)), GetParam().pieces) << describe(frame(GetParam().received));
}

// The same bytes in every possible pair of reads, and one byte at a time, come out the same:
// a notification cut by the network is carried out once, whole.
TEST_P(FramingCases, SplitAnywhereAcrossReads)
{
    const QByteArray& received = GetParam().received;
    for (qsizetype cut = 1; cut < received.size(); ++cut) {
        NotificationFraming framing;
        QList<Piece> pieces = framing.feed(received.first(cut));
        pieces += framing.feed(received.sliced(cut));
        pieces += framing.finish();
        EXPECT_EQ(shape(pieces), GetParam().pieces) << "cut at " << cut << ": " << describe(pieces);
    }
    NotificationFraming framing;
    QList<Piece> pieces;
    for (const char c : received)
        pieces += framing.feed(QByteArrayView(&c, 1));
    pieces += framing.finish();
    EXPECT_EQ(shape(pieces), GetParam().pieces) << "byte by byte: " << describe(pieces);
}

const auto N = Kind::Notification;
const auto U = Kind::Unknown;
const auto L = Kind::TooLong;

INSTANTIATE_TEST_SUITE_P(
    Reads, FramingCases,
    ::testing::Values(
        FrameCase{"Nothing", "", {}},
        FrameCase{"OneWithoutLineEnd", "[INS]0000000001", {{N, "[INS]0000000001"}}},
        FrameCase{"OneWithCrLf", "[DEL]0000000001\r\n", {{N, "[DEL]0000000001"}}},
        FrameCase{
            "BackToBack", "[INS]0000000001[UPD]0000000002", {{N, "[INS]0000000001"}, {N, "[UPD]0000000002"}}},
        FrameCase{
            "LinesOfEachMarker", "[INS]1\r\n[DEL]2\n[UPD]3\r", {{N, "[INS]1"}, {N, "[DEL]2"}, {N, "[UPD]3"}}},
        FrameCase{"TextAfterTheNumberIsNotPartOfIt", "[INS]0000000001 please\r\n", {{N, "[INS]0000000001"}}},
        FrameCase{"ControlCharacterEndsTheNumber", "[INS]00001\x01\x1b[2J", {{N, "[INS]00001"}}},
        FrameCase{"BlanksInFrontOfTheNumberSkipped", "[UPD]  0042  \r\n", {{N, "[UPD]0042"}}},
        FrameCase{"MarkerOnly", "[INS]\r\n", {{N, "[INS]"}}},
        FrameCase{"MarkersWithNothingBetween", "[INS][INS]", {{N, "[INS]"}, {N, "[INS]"}}},
        FrameCase{"TextBeforeAMarkerIsUnknown", "xx[DEL]123", {{U, "xx"}, {N, "[DEL]123"}}},
        FrameCase{"LineWithoutMarker", "hello [IN S]\r\n", {{U, "hello [IN S]"}}},
        FrameCase{"LowerCaseIsNoMarker", "[ins]1[INS]2", {{U, "[ins]1"}, {N, "[INS]2"}}},
        FrameCase{"UnknownEchoStopsAtAControlCharacter", "ab\tcd\x07", {{U, "ab"}}},
        FrameCase{"BlanksAndStrayControlsAreNoAnswer", QByteArrayLiteral("   \r\n\t\x00\x01\r\n\r\n"), {}},
        FrameCase{"MarkerCutAtTheEnd", "[INS]1[DE", {{N, "[INS]1[DE"}}},
        FrameCase{"HalfMarkerThenMarker", "[IN[INS]7", {{U, "[IN"}, {N, "[INS]7"}}},
        FrameCase{"Windows1252Kept", "[INS]Jo\xE3o\r\n", {{N, "[INS]Jo\xE3o"}}}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(NotificationFramingTest, LengthLimitCountsUpToTheLineEnd)
{
    const QByteArray longest = "[INS]" + QByteArray(NotificationFraming::MaxNotificationLength - 5, '7');
    EXPECT_EQ(shape(frame(longest + "\r\n")), (QList<std::pair<Kind, QByteArray>>{{N, longest}}));

    // One byte more, even if only trailing text: answered as too long, echoed as far as the
    // person number and never longer than the limit.
    EXPECT_EQ(shape(frame(longest + "8\r\n")), (QList<std::pair<Kind, QByteArray>>{{L, longest}}));
    EXPECT_EQ(shape(frame("[DEL]12 " + QByteArray(200, 'x') + "\n[INS]3")),
              (QList<std::pair<Kind, QByteArray>>{{L, "[DEL]12"}, {N, "[INS]3"}}));
    const QList<Piece> junk = frame(QByteArray(300, 'z') + "\n");
    ASSERT_EQ(junk.size(), 1);
    EXPECT_EQ(junk.at(0).kind, L);
    EXPECT_EQ(junk.at(0).text, QByteArray(NotificationFraming::MaxNotificationLength, 'z'));
    // Only the start of a long text is held, whatever its length.
    EXPECT_EQ(junk.at(0).received.size(), NotificationFraming::MaxNotificationLength + 1);
}

TEST(NotificationFramingTest, AClientThatNeverEndsItsNotificationOverflowsOnce)
{
    NotificationFraming framing;
    EXPECT_TRUE(framing.feed(QByteArray(NotificationFraming::MaxWaitingBytes, 'A')).isEmpty());
    EXPECT_FALSE(framing.overflowed());
    EXPECT_EQ(framing.waitingBytes(), NotificationFraming::MaxWaitingBytes);

    EXPECT_TRUE(framing.feed("A\n[INS]1\n").isEmpty());
    EXPECT_TRUE(framing.overflowed());
    EXPECT_EQ(framing.waitingBytes(), 0);
    // Nothing more comes out of it, closed or not.
    EXPECT_TRUE(framing.feed("[INS]2\n").isEmpty());
    EXPECT_TRUE(framing.finish().isEmpty());

    // Just under the limit and then a line end: too long, not an overflow.
    NotificationFraming fine;
    const QList<Piece> pieces =
        fine.feed(QByteArray(QByteArray(NotificationFraming::MaxWaitingBytes, 'B') + "\n"));
    EXPECT_FALSE(fine.overflowed());
    ASSERT_EQ(pieces.size(), 1);
    EXPECT_EQ(pieces.at(0).kind, L);
}

TEST(NotificationFramingTest, WaitingBytesUntilQuietOrClosed)
{
    NotificationFraming framing;
    EXPECT_TRUE(framing.feed("[UPD]000").isEmpty());
    EXPECT_TRUE(framing.feed("0001").isEmpty());
    EXPECT_EQ(framing.waitingBytes(), 12);
    EXPECT_EQ(shape(framing.finish()), (QList<std::pair<Kind, QByteArray>>{{N, "[UPD]0000001"}}));
    EXPECT_EQ(framing.waitingBytes(), 0);
    EXPECT_TRUE(framing.finish().isEmpty());
    // It goes on with the next notification as if new.
    EXPECT_EQ(shape(framing.feed("S]1\n[DEL]2\n")),
              (QList<std::pair<Kind, QByteArray>>{{U, "S]1"}, {N, "[DEL]2"}}));
}

TEST(NotificationFramingTest, LogTextShowsControlCharactersAndIsBounded)
{
    EXPECT_EQ(NotificationFraming::visible("[INS]1\r\n\x1b[2J\x7f"), QByteArray("[INS]1<0D><0A><1B>[2J<7F>"));
    EXPECT_EQ(NotificationFraming::visible("Jo\xE3o"), QByteArray("Jo\xE3o"));
    EXPECT_EQ(NotificationFraming::visible(QByteArray(100, 'a'), 4), QByteArray("aaaa..."));
    // The received bytes of an unknown line keep what the echo leaves out, for the log.
    const QList<Piece> pieces = frame("ab\x01"
                                      "cd\n");
    ASSERT_EQ(pieces.size(), 1);
    EXPECT_EQ(pieces.at(0).received, QByteArray("ab\x01"
                                                "cd"));
}

} // namespace

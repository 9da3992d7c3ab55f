#include "device/LinkOwnership.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace zul {
namespace {

using Claim = std::optional<LinkOwnership::Claim>;

void PrintTo(LinkHolder holder, std::ostream* os)
{
    *os << LinkOwnership::holderName(holder).toStdString();
}

// Who may work on the link while somebody else does.
struct ClaimCase
{
    LinkHolder owner; // None: nobody; OnlineLoop: a running loop with nothing on its link
    LinkHolder who;
    bool granted;
};

void PrintTo(const ClaimCase& c, std::ostream* os)
{
    PrintTo(c.who, os);
    *os << " while ";
    PrintTo(c.owner, os);
}

Claim takeAs(LinkOwnership& link, LinkHolder holder)
{
    if (holder != LinkHolder::OnlineLoop)
        return link.claim(holder);
    Claim claim = link.claim(LinkHolder::Connection);
    if (claim)
        claim->becomes(LinkHolder::OnlineLoop);
    return claim;
}

class LinkClaimTest : public ::testing::TestWithParam<ClaimCase>
{
};

TEST_P(LinkClaimTest, OneOperationAtATimeOrOneOnTheLoopsLink)
{
    const ClaimCase& c = GetParam();
    LinkOwnership link;
    const Claim owner = c.owner == LinkHolder::None ? Claim() : takeAs(link, c.owner);
    ASSERT_EQ(owner.has_value(), c.owner != LinkHolder::None);
    {
        const Claim claim = link.claim(c.who);
        EXPECT_EQ(claim.has_value(), c.granted);
        EXPECT_EQ(link.holder(), c.granted ? c.who : c.owner);
        EXPECT_EQ(link.loopHoldsLink(), c.owner == LinkHolder::OnlineLoop);
    }
    // Given back, the link is the owner's again.
    EXPECT_EQ(link.holder(), c.owner);
}

constexpr LinkHolder None = LinkHolder::None;
constexpr LinkHolder Connection = LinkHolder::Connection;
constexpr LinkHolder Loop = LinkHolder::OnlineLoop;
constexpr LinkHolder Sync = LinkHolder::Synchronisation;
constexpr LinkHolder Clearing = LinkHolder::Clearing;
constexpr LinkHolder Queue = LinkHolder::QueueStep;

INSTANTIATE_TEST_SUITE_P(
    Rules, LinkClaimTest,
    ::testing::Values(ClaimCase{None, Connection, true}, ClaimCase{None, Sync, true},
                      ClaimCase{None, Clearing, true}, ClaimCase{None, Queue, true},
                      // The loop's link is lent to one operation at a time, never to a second start.
                      ClaimCase{Loop, Connection, false}, ClaimCase{Loop, Sync, true},
                      ClaimCase{Loop, Clearing, true}, ClaimCase{Loop, Queue, true},
                      ClaimCase{Connection, Sync, false}, ClaimCase{Connection, Connection, false},
                      ClaimCase{Sync, Connection, false}, ClaimCase{Sync, Sync, false},
                      ClaimCase{Sync, Queue, false}, ClaimCase{Clearing, Sync, false},
                      ClaimCase{Queue, Sync, false}, ClaimCase{Queue, Connection, false}));

TEST(LinkOwnershipTest, OperationOnTheLoopsLinkLeavesNoRoomForAnother)
{
    LinkOwnership link;
    const Claim loop = takeAs(link, LinkHolder::OnlineLoop);
    const Claim queue = link.claim(LinkHolder::QueueStep);
    ASSERT_TRUE(queue);
    EXPECT_FALSE(link.claim(LinkHolder::Synchronisation));
    EXPECT_FALSE(link.claim(LinkHolder::QueueStep));
    EXPECT_TRUE(link.loopHoldsLink());
}

TEST(LinkOwnershipTest, DeferredStartRunsOnceWhenTheWholeLinkIsFree)
{
    LinkOwnership link;
    int started = 0;
    link.onFreeWithDeferredStart = [&] { ++started; };
    {
        const Claim loop = takeAs(link, LinkHolder::OnlineLoop);
        {
            const Claim sync = link.claim(LinkHolder::Synchronisation);
            EXPECT_TRUE(link.deferStart());
            EXPECT_FALSE(link.deferStart()) << "one start waits, however often it was asked for";
        }
        EXPECT_EQ(started, 0) << "the loop still holds the link";
        EXPECT_TRUE(link.startDeferred());
    }
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(link.startDeferred());

    // A start the operator's stop cancelled does not follow.
    {
        const Claim loop = takeAs(link, LinkHolder::OnlineLoop);
        link.deferStart();
        link.cancelDeferredStart();
    }
    EXPECT_EQ(started, 1);
}

} // namespace
} // namespace zul

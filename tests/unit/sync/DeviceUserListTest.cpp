#include "sync/DeviceUserList.h"

#include "LinkedDevice.h"

#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

class DeviceUserListTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(link.openLink()); }

    QStringList listed()
    {
        QStringList codes;
        MemTable& table = users.cdsUsersCatraca;
        for (table.First(); !table.Eof(); table.Next())
            codes << table.AsString(DeviceUserList::CDUSER);
        codes.sort();
        return codes;
    }

    test::LinkedDevice link;
    sim::Simulator& sim = link.sim.simulator();
    DeviceUserList users{link.device};
};

TEST_F(DeviceUserListTest, ReadsEveryPacketAndKeepsCodesAsTheControllerHoldsThem)
{
    QStringList expected;
    for (int i = 0; i < 40; ++i) { // three packets of the simulator's sixteen
        const QString code = u"%1"_s.arg(i, 10, 10, QChar(u'0'));
        sim.addUser(code.toStdString());
        expected << code;
    }
    // A short code ends at its zero byte; trailing blanks belong to the code.
    sim.addUser("AB");
    sim.addUser("CD  ");
    expected << u"AB"_s << u"CD  "_s;
    expected.sort();

    EXPECT_TRUE(users.CollectDeviceUserList());
    EXPECT_EQ(listed(), expected);
    EXPECT_EQ(link.callCount("SolicitarListaUsuariosBio"), 3);
    const QStringList log = link.logged();
    EXPECT_TRUE(log.contains(u"Listando usuários na catraca"_s));
    EXPECT_EQ(log.last(), u"Quantidade de usuários listados: 42"_s);
}

TEST_F(DeviceUserListTest, ReplacesThePreviousContent)
{
    sim.addUser("0000000001");
    ASSERT_TRUE(users.CollectDeviceUserList());
    sim.removeUser("0000000001");
    sim.addUser("0000000002");
    ASSERT_TRUE(users.CollectDeviceUserList());
    EXPECT_EQ(listed(), QStringList{u"0000000002"_s});
}

TEST_F(DeviceUserListTest, EmptyControllerGivesAnOpenEmptyList)
{
    EXPECT_TRUE(users.CollectDeviceUserList());
    EXPECT_TRUE(users.cdsUsersCatraca.Active());
    EXPECT_TRUE(users.cdsUsersCatraca.IsEmpty());
    EXPECT_EQ(link.logged().last(), u"Quantidade de usuários listados: 0"_s);
}

TEST_F(DeviceUserListTest, RefusedPacketRequestsAreSkippedWithoutWaiting)
{
    for (int i = 0; i < 20; ++i)
        sim.addUser(std::to_string(1000 + i));
    sim.setFault("SolicitarListaUsuariosBio", 9);
    const qint64 before = link.clock.elapsedMs();
    EXPECT_TRUE(users.CollectDeviceUserList());
    EXPECT_LT(link.clock.elapsedMs() - before, 1000);
    EXPECT_TRUE(users.cdsUsersCatraca.IsEmpty());
    EXPECT_EQ(link.callCount("ReceberPacoteListaUsuariosBio"), 0);
}

TEST_F(DeviceUserListTest, ControllerThatNeverHandsOverItsEntryEndsTheCollectionAsAFailure)
{
    sim.addUser("0000000001");
    // Refused, the entry stays first in its packet and the controller keeps saying there is one.
    sim.setFault("ReceberUsuarioLista", 9);
    EXPECT_FALSE(users.CollectDeviceUserList());
    EXPECT_EQ(link.callCount("ReceberUsuarioLista"), DeviceUserList::Limits{}.refusedInARow);
    const QStringList log = link.logged();
    EXPECT_EQ(
        log.mid(log.size() - 2),
        (QStringList{u"##### Listagem de usuários interrompida - ERRO: 64 usuários recusados em seguida, "
                     "último erro[9] #####"_s,
                     u"Quantidade de usuários listados: 0"_s}));
}

struct BoundCase
{
    DeviceUserList::Limits limits;
    const char* reason; // nullptr: within the bounds
};

class DeviceUserListBoundTest : public DeviceUserListTest, public ::testing::WithParamInterface<BoundCase>
{
};

TEST_P(DeviceUserListBoundTest, EachLoopEndsAtItsBound)
{
    const BoundCase& c = GetParam();
    for (int i = 0; i < 40; ++i) // three packets of 16
        sim.addUser(std::to_string(1000 + i));
    users.limits = c.limits;
    EXPECT_EQ(users.CollectDeviceUserList(), c.reason == nullptr);
    const QStringList errors = link.logged().filter(u"Listagem de usuários interrompida"_s);
    if (c.reason)
        EXPECT_EQ(errors, QStringList{u"##### Listagem de usuários interrompida - ERRO: "_s +
                                      QString::fromUtf8(c.reason) + u" #####"_s});
    else
        EXPECT_EQ(errors, QStringList());
}

INSTANTIATE_TEST_SUITE_P(Limits, DeviceUserListBoundTest,
                         ::testing::Values(BoundCase{{3, 40, 1}, nullptr},
                                           BoundCase{{2, 1000, 64}, "mais de 2 pacotes"},
                                           BoundCase{{100, 39, 64}, "mais de 39 usuários"}));

TEST(DeviceUserListWithoutListEntryPoint, KeepsThePreviousListAndSaysSo)
{
    test::LinkedDevice link{test::sharedLibraryName(u"EasyInnerPartial"_s)};
    ASSERT_NO_FATAL_FAILURE(link.openLink());
    link.sim->addUser("0000000001");
    DeviceUserList users{link.device};
    EXPECT_FALSE(users.CollectDeviceUserList());
    EXPECT_FALSE(users.cdsUsersCatraca.Active());

    users.cdsUsersCatraca.CreateDataSet({{DeviceUserList::CDUSER, ftString, 10}});
    users.cdsUsersCatraca.AppendRecord({u"OLD"_s});
    EXPECT_FALSE(users.CollectDeviceUserList());
    EXPECT_EQ(users.cdsUsersCatraca.RecordCount(), 1);
    EXPECT_EQ(link.logged().last(), u"Quantidade de usuários listados: 1"_s);
}

// --- device wait ------------------------------------------------------------------------------

struct WaitCase
{
    int seconds;
    int startOffsetMs; // where inside a whole second the wait starts
};

class WaitForDeviceReplyTest : public ::testing::TestWithParam<WaitCase>
{
protected:
    test::LinkedDevice link;
};

TEST_P(WaitForDeviceReplyTest, LastsBetweenNAndNPlusOneSeconds)
{
    const WaitCase c = GetParam();
    link.clock.advance(c.startOffsetMs);
    const qint64 before = link.clock.elapsedMs();
    WaitForDeviceReply(link.device, c.seconds);
    const qint64 waited = link.clock.elapsedMs() - before;
    EXPECT_GE(waited, c.seconds * 1000);
    EXPECT_LE(waited, (c.seconds + 1) * 1000);
    EXPECT_EQ(link.device.lastResult(), 128);
}

INSTANTIATE_TEST_SUITE_P(SecondsAndPhase, WaitForDeviceReplyTest,
                         ::testing::Values(WaitCase{1, 0}, WaitCase{1, 999}, WaitCase{2, 0}, WaitCase{2, 500},
                                           WaitCase{2, 999}));

TEST(WaitForDeviceReply, EndsWhenSomethingDispatchedChangesTheResult)
{
    test::LinkedDevice link;
    QTimer::singleShot(0, [&] { link.device.RecordResult(0); });
    const qint64 before = link.clock.elapsedMs();
    WaitForDeviceReply(link.device, 2);
    EXPECT_LT(link.clock.elapsedMs() - before, 50);
    EXPECT_EQ(link.device.lastResult(), 0);
}

// The wait sleeps between the window's events: a two-second wait with nothing arriving costs a
// dispatch at each end, where it once took one per millisecond.
TEST(WaitForDeviceReply, DoesNotDispatchOnAMillisecondBeat)
{
    test::LinkedDevice link;
    const qint64 before = link.clock.waitDispatches();
    WaitForDeviceReply(link.device, 2);
    EXPECT_LE(link.clock.waitDispatches() - before, 3);
    EXPECT_EQ(link.device.lastResult(), 128);
}

// The window's timers are still served while it waits: it wakes when one falls due, and one whose
// handler brings the reply ends it there.
TEST(WaitForDeviceReply, WakesForEachTimerThatFallsDue)
{
    test::LinkedDevice link;
    int fired = 0;
    qint64 due = 300;
    link.clock.setWakeUpSource([&] { return due; });
    QObject context;
    std::function<void()> watch = [&] {
        if (link.clock.elapsedMs() >= due) {
            due += 300;
            if (++fired == 3)
                link.device.RecordResult(0);
        }
        QMetaObject::invokeMethod(&context, watch, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(&context, watch, Qt::QueuedConnection);
    WaitForDeviceReply(link.device, 2);
    link.clock.setWakeUpSource({});
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(link.clock.elapsedMs(), 900);
    EXPECT_EQ(link.device.lastResult(), 0);
}

} // namespace
} // namespace zul

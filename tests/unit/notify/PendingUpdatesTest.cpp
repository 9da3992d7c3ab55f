#include "notify/PendingUpdates.h"

#include "SyncFixture.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;
using Codes = std::set<std::string>;

class PendingUpdatesTest : public test::SyncFixture
{
protected:
    // Carries the queue out as the online loop does, one entry per pass.
    int drain()
    {
        int passes = 0;
        while (updates.HasPendingUpdate() && passes < 100) {
            updates.RunQueueStep();
            ++passes;
        }
        return passes;
    }

    QString text(const char* key) const { return link.messages.Lookup(QString::fromLatin1(key)); }

    QStringList queue;
    QStringList replies;
    int standing = 0;
    PendingUpdates updates{link.device, templates, ui, queue,
                           PendingUpdates::Hooks{[this](const QString& text, const QString& prefix) {
                                                     replies << prefix + text;
                                                 },
                                                 [this] { return ++standing, 0; }}};
};

TEST_F(PendingUpdatesTest, QueueIsCarriedOutInOrderWithOneReplyPerEntry)
{
    addEnrolled(u"0000000001"_s, 'i');
    addEnrolled(u"0000000003"_s, 'u');
    sim.addUser("0000000002");
    sim.addUser("0000000003");
    queue << u"[INS]0000000001"_s << u"[DEL]0000000002"_s << u"[UPD]0000000003"_s << u"[XYZ]0000000004"_s
          << u"[DEL]0000000077"_s;

    EXPECT_EQ(drain(), 5);

    EXPECT_EQ(replies,
              (QStringList{u"[OK][INS]0000000001"_s, u"[OK][DEL]0000000002"_s, u"[OK][UPD]0000000003"_s,
                           u"[ER][XYZ]0000000004"_s, u"[ER][DEL]0000000077"_s}));
    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000003"}));
    EXPECT_EQ(storedRecord("0000000003"), test::makeRecord(u"0000000003"_s, 'u'));
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(standing, 5);
    EXPECT_EQ(link.ui.caption, text("ATUALIZA_ERRO"));
    EXPECT_TRUE(ui.update.startsWith(u"AtuBio: 00:00:0"_s)) << ui.update.toStdString();
    const QStringList log = logged();
    EXPECT_TRUE(log.contains(u"Usuário na fila a ser inserido: [INS]0000000001"_s));
    EXPECT_TRUE(log.contains(u"Usuário na fila a ser inserido: [XYZ]0000000004"_s));
    // The unknown text reached no controller operation.
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 3);
}

TEST_F(PendingUpdatesTest, StepShowsTheWaitOnTheDisplayAndTheOutcomeOnTheStatusLine)
{
    addEnrolled(u"0000000001"_s);
    queue << u"[INS]0000000001"_s;
    std::vector<std::string> displayed;
    QTimer::singleShot(0, [&] { displayed.push_back(sim.display().line1 + sim.display().line2); });
    updates.RunQueueStep();
    ASSERT_EQ(displayed.size(), 1u);
    EXPECT_EQ(displayed[0], "   AGUARDE...   Atualizando Bio ");
    EXPECT_EQ(link.ui.caption, text("ATUALIZA_OK"));
    EXPECT_EQ(link.device.lastResult(), 0);
}

struct ResultCase
{
    const char* entryPoint; // faulted with `code`
    int code;
    const char* notification;
    const char* reply;
};

void PrintTo(const ResultCase& c, std::ostream* os)
{
    *os << c.notification << " " << c.entryPoint << "=" << c.code;
}

class PendingUpdatesResultTest : public PendingUpdatesTest, public ::testing::WithParamInterface<ResultCase>
{
};

TEST_P(PendingUpdatesResultTest, ZeroAnd131AreSuccessEverythingElseFailure)
{
    const ResultCase& c = GetParam();
    addEnrolled(u"0000000001"_s);
    sim.addUser("0000000001");
    sim.setFault(c.entryPoint, c.code);
    queue << QString::fromLatin1(c.notification);
    updates.RunQueueStep();
    EXPECT_EQ(replies, QStringList{QString::fromLatin1(c.reply)});
    EXPECT_EQ(link.device.lastResult(), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PendingUpdatesResultTest,
    ::testing::Values(ResultCase{"UsuarioFoiExcluido", 131, "[DEL]0000000001", "[OK][DEL]0000000001"},
                      ResultCase{"UsuarioFoiEnviado", 131, "[INS]0000000001", "[OK][INS]0000000001"},
                      ResultCase{"UsuarioFoiEnviado", 131, "[UPD]0000000001", "[OK][UPD]0000000001"},
                      ResultCase{"UsuarioFoiExcluido", 130, "[DEL]0000000001", "[ER][DEL]0000000001"},
                      ResultCase{"UsuarioFoiEnviado", 9, "[UPD]0000000001", "[ER][UPD]0000000001"}));

TEST_F(PendingUpdatesTest, MarkerIsFoundAnywhereButOnlyFiveCharactersAreRemoved)
{
    queue << u"xx[DEL]0001"_s;
    updates.RunQueueStep();
    const auto calls = sim.calls();
    const auto request = std::find_if(calls.begin(), calls.end(), [](const sim::CallRecord& r) {
        return r.name == "SolicitarExclusaoUsuario";
    });
    ASSERT_NE(request, calls.end());
    EXPECT_EQ(request->args.at(1), "L]0001");
    EXPECT_EQ(replies, QStringList{u"[ER]xx[DEL]0001"_s});
}

TEST_F(PendingUpdatesTest, LineEndAfterThePersonNumberIsNotPartOfIt)
{
    addEnrolled(u"0000000002"_s);
    queue << u"[INS]0000000002\r\n"_s;
    updates.RunQueueStep();
    EXPECT_EQ(replies, QStringList{u"[OK][INS]0000000002\r\n"_s});
    EXPECT_EQ(controllerUsers(), Codes{"0000000002"});
}

TEST_F(PendingUpdatesTest, NotificationWithoutPersonNumberSendsNothing)
{
    queue << u"[INS]"_s << u"[UPD]   "_s << u"[DEL]"_s << u"[DEL]  \r\n"_s;
    drain();
    EXPECT_EQ(replies,
              (QStringList{u"[ER][INS]"_s, u"[ER][UPD]   "_s, u"[ER][DEL]"_s, u"[ER][DEL]  \r\n"_s}));
    EXPECT_EQ(link.callCount("EnviarUsuarioBio"), 0);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
    EXPECT_EQ(logged().filter(u"Gere BD ERRO: "_s).size(), 4);
}

TEST_F(PendingUpdatesTest, StepWaitsWhileAnotherOperationWorksOnTheLink)
{
    sim.addUser("0000000001");
    queue << u"[DEL]0000000001"_s;
    {
        const auto synchronisation = link.device.link().claim(LinkHolder::Synchronisation);
        ASSERT_TRUE(synchronisation);
        sim.clearCalls();
        updates.RunQueueStep();
        EXPECT_TRUE(sim.calls().empty());
        EXPECT_TRUE(replies.isEmpty());
        EXPECT_EQ(queue, QStringList{u"[DEL]0000000001"_s});
    }
    updates.RunQueueStep();
    EXPECT_EQ(replies, QStringList{u"[OK][DEL]0000000001"_s});
    EXPECT_TRUE(queue.isEmpty());
}

TEST_F(PendingUpdatesTest, InclusionOfAPersonWithoutTemplateIsAnsweredWithError)
{
    addPerson(u"0000000005"_s);
    queue << u"[INS]0000000005"_s;
    updates.RunQueueStep();
    EXPECT_EQ(replies, QStringList{u"[ER][INS]0000000005"_s});
    EXPECT_TRUE(controllerUsers().empty());
}

TEST_F(PendingUpdatesTest, NotificationArrivingDuringASynchronisationWaitsForTheRestart)
{
    addEnrolled(u"0000000001"_s);
    addEnrolled(u"0000000002"_s);
    // Queued by the socket while the synchronisation waits for the controller.
    bool queuedDuringWait = false;
    QTimer::singleShot(0, [&] {
        queuedDuringWait = link.device.lastResult() == 128;
        queue << u"[DEL]0000000001"_s;
    });

    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_TRUE(queuedDuringWait);
    EXPECT_EQ(queue, QStringList{u"[DEL]0000000001"_s});
    EXPECT_TRUE(replies.isEmpty());
    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002"}));
    EXPECT_TRUE(link.device.IsStopRequested()); // the online loop restarts before taking it

    link.device.ClearStopRequest();
    updates.RunQueueStep();
    EXPECT_EQ(replies, QStringList{u"[OK][DEL]0000000001"_s});
    EXPECT_EQ(controllerUsers(), Codes{"0000000002"});
}

TEST_F(PendingUpdatesTest, TextSentAgainAfterTheQueueWasEmptiedIsNotRemovedUnseen)
{
    sim.addUser("0000000001");
    sim.addUser("0000000002");
    queue << u"[DEL]0000000001"_s;
    // While the step waits, the queue is emptied and filled again, the same text last.
    QTimer::singleShot(0, [&] { queue = QStringList{u"[DEL]0000000002"_s, u"[DEL]0000000001"_s}; });
    updates.RunQueueStep();
    EXPECT_EQ(queue, (QStringList{u"[DEL]0000000002"_s, u"[DEL]0000000001"_s}));
}

TEST_F(PendingUpdatesTest, EntriesQueuedDuringAStepAreKeptForLaterPasses)
{
    sim.addUser("0000000001");
    queue << u"[DEL]0000000001"_s;
    QTimer::singleShot(0, [&] { queue << u"[DEL]0000000002"_s; });
    updates.RunQueueStep();
    EXPECT_EQ(queue, QStringList{u"[DEL]0000000002"_s});
    EXPECT_EQ(replies, QStringList{u"[OK][DEL]0000000001"_s});
}

} // namespace
} // namespace zul

#include "access/OnlineLoop.h"

#include "LinkedDevice.h"
#include "QtPrinters.h"
#include "access/ReleaseRecord.h"
#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// The rest of the program as the loop sees it: records every call, answers as told.
class FakeSteps final : public OnlineLoopSteps
{
public:
    explicit FakeSteps(DeviceBinding& binding) : device(binding) {}

    QDateTime GetServerTime() override
    {
        calls << u"GetServerTime"_s;
        return serverTime;
    }
    bool LookUpPerson() override
    {
        calls << u"LookUpPerson "_s + device.userDados().PersonNumber;
        if (lookUpError)
            throw Error(u"consulta falhou"_s);
        if (!found)
            return false;
        device.userDados().BadgeName = badgeName;
        device.userDados().IsEntry = isEntry;
        return true;
    }
    void ShowPassageWaiting() override { calls << u"ShowPassageWaiting"_s; }
    void ShowPassageMissed() override { calls << u"ShowPassageMissed"_s; }
    void ConfirmPassage() override { calls << u"ConfirmPassage"_s; }
    void ConfirmPassageAt(const QDateTime& at) override
    {
        calls << u"ConfirmPassage"_s;
        confirmed << device.userDados().PersonNumber + (device.userDados().IsEntry ? u" E "_s : u" S "_s) +
                         at.toString(u"HH:mm:ss"_s);
    }
    int SendStandingMessage() override
    {
        calls << u"SendStandingMessage"_s;
        return standingResult;
    }
    int SendPassageMessage(bool entry) override
    {
        calls << (entry ? u"SendPassageMessage entry"_s : u"SendPassageMessage exit"_s);
        return passageResult;
    }
    int IdentificationFormsCode() override { return forms; }
    void CheckScheduledSync() override
    {
        checks << u"CheckScheduledSync"_s;
        if (onScheduledSync)
            onScheduledSync();
    }
    void CheckNotificationSocket() override { checks << u"CheckNotificationSocket"_s; }
    void CheckDatabaseConnection() override { checks << u"CheckDatabaseConnection"_s; }
    bool HasPendingUpdate() override { return !queue.isEmpty(); }
    void RunQueueStep() override { calls << u"RunQueueStep "_s + queue.takeFirst(); }
    bool JournalWritable() override { return journalWritable; }
    void SetHousekeepingCaption(const QString& text) override
    {
        caption = text;
        ++pollingPasses;
        if (onPollingPass)
            onPollingPass();
        // However a test goes wrong, a loop run from RunOnlineLoop ends.
        if (pollingPasses >= stopAfterPollingPasses)
            device.RequestStop();
    }

    DeviceBinding& device;
    QStringList calls;
    QStringList confirmed; // "number direction time" of every confirmed passage
    QStringList checks;
    QDateTime serverTime{QDate(2026, 1, 5), QTime(8, 0, 0)};
    bool found = true;
    bool lookUpError = false;
    QString badgeName = u"ANA "_s;
    bool isEntry = true;
    int standingResult = 0;
    int passageResult = 0;
    int forms = 12;
    bool journalWritable = true;
    QStringList queue;
    QString caption;
    int pollingPasses = 0;
    int stopAfterPollingPasses = 50;
    std::function<void()> onPollingPass;
    std::function<void()> onScheduledSync;
};

class OnlineLoopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(link.openLink());
        // The controller's clock runs on the test's virtual time, as it runs beside the real one.
        sim.setTimeSource([this] {
            return std::chrono::system_clock::time_point(
                std::chrono::milliseconds(link.clock.now().toMSecsSinceEpoch()));
        });
        device.ClearStopRequest();
        device.EnterState(0);
    }

    // Steps the loop until `done` holds; false when it does not within `maxPasses` or the run
    // ends first.
    bool passUntil(const std::function<bool()>& done, int maxPasses = 20)
    {
        for (int i = 0; i < maxPasses && !done(); ++i) {
            if (!loop.RunPass())
                break;
        }
        return done();
    }
    bool reach(int state, int maxPasses = 20)
    {
        return passUntil([&] { return device.loopState() == state; }, maxPasses);
    }
    void passes(int count)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(loop.RunPass());
    }
    // Starts a run and makes its first polling pass.
    void startPolling()
    {
        loop.BeginRun();
        ASSERT_TRUE(reach(OnlineLoop::Polling));
        ASSERT_TRUE(loop.RunPass());
        steps.calls.clear();
    }

    QStringList logged() const { return link.logged(); }
    QStringList loggedSince(qsizetype from) const { return logged().mid(from); }
    QString stateLine(int state) const
    {
        return u"Estado Atual: \""_s + OnlineLoop::StateName(state) + u"\""_s;
    }
    qsizetype count(const QString& line) const { return logged().count(line); }

    // The controller's clock as it stands now, which stamps its events.
    QString controllerTime(const QString& format) const
    {
        const auto since = sim.clock().time_since_epoch();
        return QDateTime::fromMSecsSinceEpoch(
                   std::chrono::duration_cast<std::chrono::milliseconds>(since).count())
            .toString(format);
    }

    void unplug() { link.unplug(); }
    void plug() { link.plug(); }

    test::LinkedDevice link;
    DeviceBinding& device = link.device;
    sim::Simulator& sim = link.sim.simulator();
    FakeSteps steps{device};
    OnlineLoop loop{device, steps};
};

// --- the road of one passage ---------------------------------------------------------------------

struct RotationCase
{
    bool isEntry;
    void (*finish)(sim::Simulator&);
    const char* feedback; // nullptr: none
    const char* name;
};

void PrintTo(const RotationCase& c, std::ostream* os)
{
    *os << c.name;
}

class PassageRoadTest : public OnlineLoopTest, public ::testing::WithParamInterface<RotationCase>
{
};

TEST_P(PassageRoadTest, IdentificationReleaseAndRotationLeadBackToTheStandingMessage)
{
    const RotationCase& c = GetParam();
    steps.isEntry = c.isEntry;
    loop.BeginRun();
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    EXPECT_EQ(sim.configurationsSent(), 1);
    EXPECT_EQ(sim.identificationForms(), (std::vector<int>{10, 1, 12, 15, 16}));
    passes(3);
    EXPECT_EQ(device.loopState(), OnlineLoop::Polling);

    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    EXPECT_FALSE(device.isPassageIdle());
    EXPECT_EQ(sim.arm(), c.isEntry ? sim::Arm::Entry : sim::Arm::Exit);
    passes(3); // nobody has moved yet
    EXPECT_EQ(device.loopState(), OnlineLoop::WaitRotation);

    c.finish(sim);
    ASSERT_TRUE(reach(OnlineLoop::SendStandingText, 2));
    EXPECT_TRUE(device.isPassageIdle());
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    passes(1);

    QStringList expected{u"GetServerTime"_s, u"SendStandingMessage"_s, u"LookUpPerson 0000001234"_s,
                         u"ShowPassageWaiting"_s,
                         c.isEntry ? u"SendPassageMessage entry"_s : u"SendPassageMessage exit"_s};
    if (c.feedback)
        expected << QString::fromLatin1(c.feedback);
    expected << u"SendStandingMessage"_s;
    EXPECT_EQ(steps.calls, expected);

    const QStringList log = logged();
    const qsizetype road = log.indexOf(u"Usuário tentando passar: 0000001234"_s);
    ASSERT_GE(road, 0);
    EXPECT_EQ(log.mid(road),
              (QStringList{u"Usuário tentando passar: 0000001234"_s, stateLine(OnlineLoop::SendPassageText),
                           u"Enviou mensagem ao usuário"_s, stateLine(OnlineLoop::Release),
                           stateLine(OnlineLoop::WaitRotation), stateLine(OnlineLoop::SendStandingText),
                           u"Enviou mensagem principal"_s, stateLine(OnlineLoop::SendIdentificationForms),
                           u"Formas de entrada definidas"_s, stateLine(OnlineLoop::Polling)}));
}

INSTANTIATE_TEST_SUITE_P(
    Origins, PassageRoadTest,
    ::testing::Values(RotationCase{true, [](sim::Simulator& s) { ASSERT_TRUE(s.rotate()); }, "ConfirmPassage",
                                   "EntryPassed"},
                      RotationCase{false, [](sim::Simulator& s) { ASSERT_TRUE(s.rotate()); },
                                   "ConfirmPassage", "ExitPassed"},
                      RotationCase{true, [](sim::Simulator& s) { ASSERT_TRUE(s.noPass()); },
                                   "ShowPassageMissed", "NotPassed"}));

TEST_F(OnlineLoopTest, RunLogsTheBannerAndEveryStateOfTheConnection)
{
    steps.serverTime = QDateTime(QDate(2008, 3, 4), QTime(5, 6, 7));
    steps.stopAfterPollingPasses = 3;
    loop.RunOnlineLoop();

    const QStringList log = logged();
    const qsizetype banner = log.indexOf(u"¬¬¬¬¬¬¬¬¬¬¬¬¬¬ Controla Catraca ¬¬¬¬¬¬¬¬¬¬¬¬¬¬¬"_s);
    ASSERT_GE(banner, 1);
    EXPECT_EQ(log.mid(banner - 1),
              (QStringList{QString(), u"¬¬¬¬¬¬¬¬¬¬¬¬¬¬ Controla Catraca ¬¬¬¬¬¬¬¬¬¬¬¬¬¬¬"_s, QString(),
                           stateLine(OnlineLoop::CompleteConnection), u"Encontrou catraca"_s,
                           link.messages.Lookup(u"CONECTADA"_s), stateLine(OnlineLoop::SendConfiguration),
                           u"Configurações onLine enviadas"_s, stateLine(OnlineLoop::SendClock),
                           u"Data e Hora (04/03/2008 05:06:07) enviadas para a catraca"_s,
                           stateLine(OnlineLoop::SendStandingText), u"Enviou mensagem principal"_s,
                           stateLine(OnlineLoop::SendIdentificationForms), u"Formas de entrada definidas"_s,
                           stateLine(OnlineLoop::Polling)}));
    // The year goes out as its last two digits.
    const std::vector<sim::CallRecord> calls = sim.calls();
    const auto clock =
        std::find_if(calls.rbegin(), calls.rend(), [](const auto& r) { return r.name == "EnviarRelogio"; });
    ASSERT_NE(clock, calls.rend());
    EXPECT_EQ(clock->args, (std::vector<std::string>{"1", "4", "3", "8", "5", "6", "7"}));
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"DESCONECT"_s));
    EXPECT_EQ(steps.pollingPasses, 3);
    EXPECT_EQ(link.clock.elapsedMs(), 500 + 8 * 100); // one ping, eight passes
}

TEST_F(OnlineLoopTest, StateNameIsLoggedOncePerStay)
{
    startPolling();
    passes(10);
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    passes(10);
    ASSERT_TRUE(sim.rotate());
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    passes(5);
    EXPECT_EQ(count(stateLine(OnlineLoop::Polling)), 2);
    EXPECT_EQ(count(stateLine(OnlineLoop::WaitRotation)), 1);
    EXPECT_EQ(count(stateLine(OnlineLoop::SendStandingText)), 2);

    // A new run starts from an empty last name: its first state is logged even when the same.
    device.EnterState(OnlineLoop::Polling);
    loop.BeginRun();
    passes(1);
    EXPECT_EQ(count(stateLine(OnlineLoop::Polling)), 3);
}

// --- identification --------------------------------------------------------------------------

enum class Outcome { Ignored, Identified, OutsideTheNumbering };

struct CardCase
{
    std::string card;
    Outcome outcome;
    const char* shown; // for Outcome::OutsideTheNumbering: the number as logged
    const char* name;
};

void PrintTo(const CardCase& c, std::ostream* os)
{
    *os << c.name;
}

class IdentificationTest : public OnlineLoopTest, public ::testing::WithParamInterface<CardCase>
{
};

TEST_P(IdentificationTest, OnlyNumbersStartingWith000AreLookedUp)
{
    const CardCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(startPolling());
    const qsizetype before = logged().size();
    sim.presentCard(c.card);
    const bool goesOn = loop.RunPass();

    switch (c.outcome) {
    case Outcome::Ignored:
        EXPECT_TRUE(goesOn);
        EXPECT_EQ(device.loopState(), OnlineLoop::Polling);
        EXPECT_TRUE(steps.calls.isEmpty());
        EXPECT_EQ(loggedSince(before), QStringList{});
        EXPECT_EQ(sim.pendingEvents(), 0u);
        break;
    case Outcome::Identified:
        EXPECT_TRUE(goesOn);
        EXPECT_EQ(device.loopState(), OnlineLoop::SendPassageText);
        EXPECT_EQ(steps.calls, (QStringList{u"LookUpPerson "_s + QString::fromStdString(c.card),
                                            u"ShowPassageWaiting"_s}));
        break;
    case Outcome::OutsideTheNumbering:
        // Logged once, and the turnstile stays online.
        EXPECT_TRUE(goesOn);
        EXPECT_FALSE(device.IsStopRequested());
        EXPECT_FALSE(link.ui.inicializaTimerOn);
        EXPECT_EQ(device.loopState(), OnlineLoop::Polling);
        EXPECT_TRUE(steps.calls.isEmpty());
        EXPECT_EQ(loggedSince(before), QStringList{u"Identificação fora da numeração ignorada: '"_s +
                                                   QString::fromLatin1(c.shown) + u"'"_s});
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cards, IdentificationTest,
    ::testing::Values(CardCase{std::string(10, '\0'), Outcome::Ignored, nullptr, "AllZeroBytes"},
                      CardCase{"1230001234", Outcome::Ignored, nullptr, "OtherNumbering"},
                      CardCase{"0010001234", Outcome::Ignored, nullptr, "PrefixOne"},
                      CardCase{"0000001234", Outcome::Identified, nullptr, "OurNumber"},
                      CardCase{"000ABCDEFG", Outcome::Identified, nullptr, "LettersAfterThePrefix"},
                      CardCase{"AB00001234", Outcome::OutsideTheNumbering, "AB00001234", "Letters"},
                      CardCase{"0A00001234", Outcome::OutsideTheNumbering, "0A00001234", "LetterSecond"},
                      CardCase{" 0000001234", Outcome::OutsideTheNumbering, " 000000123", "LeadingBlank"},
                      CardCase{"+120001234", Outcome::OutsideTheNumbering, "+120001234", "Sign"},
                      CardCase{std::string("\0\0\0"
                                           "1234567",
                                           10),
                               Outcome::OutsideTheNumbering, "<00><00><00>1234567", "ZeroBytesFirst"},
                      CardCase{std::string("\x1b\t0001234\x7f", 10), Outcome::OutsideTheNumbering,
                               "<1B><09>0001234<7F>", "ControlCharacters"}));

TEST_F(OnlineLoopTest, CardsOutsideTheNumberingDoNotStopTheTurnstile)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    for (int i = 0; i < 5; ++i)
        sim.presentCard("X000001234");
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    EXPECT_FALSE(device.IsStopRequested());
    EXPECT_FALSE(link.ui.inicializaTimerOn);
    EXPECT_EQ(count(u"Identificação fora da numeração ignorada: 'X000001234'"_s), 5);
    EXPECT_EQ(logged().filter(u"ERRO"_s), QStringList{});
    EXPECT_EQ(sim.arm(), sim::Arm::Entry);
}

TEST_F(OnlineLoopTest, ErrorOfAStepTakesTheErrorPath)
{
    steps.lookUpError = true;
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    EXPECT_FALSE(loop.RunPass());
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_EQ(count(u"##### ################ Controla catraca - ERRO: consulta falhou #####"_s), 1);
}

TEST_F(OnlineLoopTest, UnknownPersonGoesBackToTheStandingMessageWithoutRelease)
{
    steps.found = false;
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000004321");
    ASSERT_TRUE(reach(OnlineLoop::SendPassageText, 1));
    const qsizetype before = logged().size();
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    passes(1);
    EXPECT_TRUE(device.isPassageIdle());
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_EQ(steps.calls, (QStringList{u"LookUpPerson 0000004321"_s, u"SendStandingMessage"_s}));
    EXPECT_EQ(loggedSince(before),
              (QStringList{stateLine(OnlineLoop::SendPassageText), u"Pessoa não identificada: 0000004321"_s,
                           stateLine(OnlineLoop::SendStandingText), u"Enviou mensagem principal"_s,
                           stateLine(OnlineLoop::SendIdentificationForms), u"Formas de entrada definidas"_s,
                           stateLine(OnlineLoop::Polling)}));
}

TEST_F(OnlineLoopTest, NobodyIsReleasedWhileTheJournalCannotBeWritten)
{
    steps.journalWritable = false;
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::Release));
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_TRUE(device.isPassageIdle());
    EXPECT_TRUE(logged().contains(u"Catraca não liberada: diário de passagens não pode ser gravado"_s));

    steps.journalWritable = true;
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    EXPECT_NE(sim.arm(), sim::Arm::Locked);
}

TEST_F(OnlineLoopTest, BlankBadgeNameIsRefusedOnTheDisplayAndRestartsTheConnection)
{
    steps.badgeName = u"   "_s;
    sim.presentCard("0000001234");
    loop.RunOnlineLoop(); // ends at the end of the pass in state 11
    EXPECT_EQ(device.loopState(), OnlineLoop::SendPassageText);
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    const sim::Display display = sim.display();
    EXPECT_TRUE(display.temporary);
    EXPECT_EQ(display.line1 + display.line2, toWin1252String(link.messages.Lookup(u"ENTR_INV"_s)));
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_FALSE(steps.calls.contains(u"SendPassageMessage entry"_s));
    EXPECT_EQ(count(u"Não nviou mensagem ao usuário. Erro[1]"_s), 1);
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"DESCONECT"_s));
}

// --- failing controller calls ------------------------------------------------------------------

struct FailureCase
{
    int state;
    const char* entryPoint; // made to answer 9; nullptr: the steps fail
    const char* line;       // logged on each failed pass; nullptr: nothing
    const char* name;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailingStateTest : public OnlineLoopTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(FailingStateTest, StateRepeatsUntilTheCallSucceeds)
{
    const FailureCase& c = GetParam();
    if (c.state == OnlineLoop::SendStandingText)
        steps.standingResult = 9;
    if (c.state == OnlineLoop::SendPassageText)
        steps.passageResult = 9;
    if (c.entryPoint) {
        ASSERT_TRUE(sim.setFault(c.entryPoint, 9));
    }
    loop.BeginRun();
    if (c.state >= OnlineLoop::SendPassageText) {
        ASSERT_TRUE(reach(OnlineLoop::Polling));
        sim.presentCard("0000001234");
    }
    ASSERT_TRUE(reach(c.state));
    passes(3);
    EXPECT_EQ(device.loopState(), c.state);
    EXPECT_EQ(device.lastResult(), 9);
    if (c.line) {
        EXPECT_EQ(count(QString::fromUtf8(c.line)), 3);
    }

    sim.clearFaults();
    steps.standingResult = 0;
    steps.passageResult = 0;
    EXPECT_TRUE(passUntil([&] { return device.loopState() != c.state; }, 1));
}

INSTANTIATE_TEST_SUITE_P(
    States, FailingStateTest,
    ::testing::Values(
        FailureCase{OnlineLoop::SendConfiguration, "EnviarConfiguracoes",
                    "Erro ao enviar configurações onLine[9]", "Configuration"},
        FailureCase{OnlineLoop::SendClock, "EnviarRelogio",
                    "Data e Hora (05/01/2026 08:00:00) não enviadas para a catraca. Erro[9]", "Clock"},
        FailureCase{OnlineLoop::SendStandingText, nullptr, "Não enviou mensagem principal. Erro[9]",
                    "Standing"},
        FailureCase{OnlineLoop::SendIdentificationForms, "EnviarFormasEntradasOnLine",
                    "Formas de entrada não definidas. Erro[9]", "Forms"},
        FailureCase{OnlineLoop::SendPassageText, nullptr, "Não nviou mensagem ao usuário. Erro[9]",
                    "Passage"},
        FailureCase{OnlineLoop::Release, "LiberarCatracaEntradaInvertida", nullptr, "Release"}));

TEST_F(OnlineLoopTest, ControllerThatStopsAnsweringWhilePollingKeepsTheLoopPolling)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    const qsizetype before = logged().size();
    unplug();
    passes(2);
    EXPECT_EQ(device.loopState(), OnlineLoop::Polling);
    EXPECT_EQ(device.lastResult(), 3);
    EXPECT_EQ(loggedSince(before), QStringList{});

    plug();
    sim.presentCard("0000001234");
    EXPECT_TRUE(reach(OnlineLoop::SendPassageText, 3));
}

TEST_F(OnlineLoopTest, ControllerThatStopsAnsweringDuringTheRotationKeepsWaiting)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    unplug();
    passes(2);
    EXPECT_EQ(device.loopState(), OnlineLoop::WaitRotation);
    EXPECT_FALSE(device.isPassageIdle());
    EXPECT_FALSE(steps.calls.contains(u"ConfirmPassage"_s));

    plug();
    ASSERT_TRUE(sim.rotate());
    ASSERT_TRUE(reach(OnlineLoop::SendStandingText, 3));
    EXPECT_TRUE(steps.calls.contains(u"ConfirmPassage"_s));
}

// --- completing the connection -------------------------------------------------------------------

TEST_F(OnlineLoopTest, ConnectionThatDoesNotComeIsReportedEvery500Attempts)
{
    ASSERT_TRUE(sim.setFault("Ping", 3));
    loop.BeginRun();
    loop.ConnectAttempts = 497;
    passes(2);
    EXPECT_EQ(loop.ConnectAttempts, 499);
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"TENTANDO"_s));
    EXPECT_EQ(count(u"Mais de 500 tentativas de conectar com a catraca sem sucesso"_s), 0);

    passes(1);
    EXPECT_EQ(loop.ConnectAttempts, 0);
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"NAO_CONECTOU"_s));
    EXPECT_EQ(count(u"Mais de 500 tentativas de conectar com a catraca sem sucesso"_s), 1);
    passes(1);
    EXPECT_EQ(loop.ConnectAttempts, 1);
    EXPECT_EQ(device.loopState(), OnlineLoop::CompleteConnection);
}

TEST_F(OnlineLoopTest, ConnectAttemptsContinueAcrossRuns)
{
    ASSERT_TRUE(sim.setFault("Ping", 3));
    loop.BeginRun();
    passes(3);
    sim.clearFaults();
    ASSERT_TRUE(reach(OnlineLoop::SendConfiguration, 1));
    EXPECT_EQ(loop.ConnectAttempts, 4); // a success does not reset the count

    ASSERT_TRUE(sim.setFault("Ping", 3));
    device.EnterState(OnlineLoop::CompleteConnection);
    loop.BeginRun();
    passes(2);
    EXPECT_EQ(loop.ConnectAttempts, 6);
}

TEST_F(OnlineLoopTest, NewRunPingsAgainAfterARunEndedDuringAPassage)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    ASSERT_FALSE(device.isPassageIdle());
    device.IniCatraca();

    device.EnterState(OnlineLoop::CompleteConnection);
    device.ClearStopRequest();
    unplug();
    loop.BeginRun();
    passes(1);
    EXPECT_EQ(device.loopState(), OnlineLoop::CompleteConnection);
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"TENTANDO"_s));
}

// --- housekeeping and queue ----------------------------------------------------------------------

TEST_F(OnlineLoopTest, HousekeepingRefreshesTheStatusAndRunsTheChecksOnItsPasses)
{
    std::vector<int> refreshes;
    std::vector<int> housekeeping;
    const QString connected = link.messages.Lookup(u"CONECTADA"_s);
    steps.stopAfterPollingPasses = 12002;
    steps.onPollingPass = [&] {
        // The first polling pass still shows the caption of the connection itself.
        if (steps.pollingPasses > 1 && link.ui.caption == connected)
            refreshes.push_back(steps.pollingPasses);
        link.ui.caption.clear();
        if (!steps.checks.isEmpty()) {
            housekeeping.push_back(steps.pollingPasses);
            EXPECT_EQ(steps.checks, (QStringList{u"CheckScheduledSync"_s, u"CheckNotificationSocket"_s,
                                                 u"CheckDatabaseConnection"_s}));
            EXPECT_EQ(steps.caption, u"ADO: %1 -> Loops: 1"_s.arg(housekeeping.size()));
            steps.checks.clear();
        }
    };
    loop.RunOnlineLoop();
    EXPECT_EQ(refreshes, (std::vector<int>{1801, 3601, 5401, 7201, 9001, 10801}));
    EXPECT_EQ(housekeeping, (std::vector<int>{6001, 12001}));
    EXPECT_EQ(loop.LoopPasses, 12002 - 10800);
    EXPECT_EQ(steps.caption, u"ADO: 2 -> Loops: 2"_s);
}

TEST_F(OnlineLoopTest, PassCountersGoOnAcrossRunsWhileHousekeepingRunsStartAgain)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    loop.HousekeepingPasses = 6000;
    passes(2);
    EXPECT_EQ(loop.HousekeepingRuns, 1);
    EXPECT_EQ(steps.caption, u"ADO: 1 -> Loops: 2"_s);

    device.EnterState(OnlineLoop::CompleteConnection);
    ASSERT_NO_FATAL_FAILURE(startPolling());
    EXPECT_EQ(loop.HousekeepingRuns, 0);
    passes(1);
    EXPECT_EQ(steps.caption, u"ADO: 0 -> Loops: 4"_s);
    EXPECT_EQ(loop.LoopPasses, 5);
}

struct WrapCase
{
    qint32 loopPasses;
    qint32 housekeepingPasses;
    qint32 housekeepingRuns;
    qint32 loopPassesAfter;
    qint32 housekeepingPassesAfter;
    qint32 housekeepingRunsAfter;
    const char* name;
};

void PrintTo(const WrapCase& c, std::ostream* os)
{
    *os << c.name;
}

class CounterWrapTest : public OnlineLoopTest, public ::testing::WithParamInterface<WrapCase>
{
};

TEST_P(CounterWrapTest, CountersStartAgainBeforeTheyOverflow)
{
    const WrapCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(startPolling());
    loop.LoopPasses = c.loopPasses;
    loop.HousekeepingPasses = c.housekeepingPasses;
    loop.HousekeepingRuns = c.housekeepingRuns;
    passes(1);
    EXPECT_EQ(loop.LoopPasses, c.loopPassesAfter);
    EXPECT_EQ(loop.HousekeepingPasses, c.housekeepingPassesAfter);
    EXPECT_EQ(loop.HousekeepingRuns, c.housekeepingRunsAfter);
}

constexpr qint32 Max = 2147483647;

INSTANTIATE_TEST_SUITE_P(
    Limits, CounterWrapTest,
    ::testing::Values(WrapCase{1799, 5999, 7, 1800, 6000, 7, "JustBelow"},
                      WrapCase{Max, Max, Max - 6001, 1, 1, 1, "AtTheTop"},
                      WrapCase{Max - 6002, 6000, Max - 6002, 1, 1, Max - 6001, "RunsAtTheirLimit"},
                      WrapCase{Max - 1802, 10, Max - 6003, 1, 11, Max - 6003, "RunsKeptBetweenHousekeeping"},
                      WrapCase{-5, -5, 0, -4, -4, 0, "Negative"}));

TEST_F(OnlineLoopTest, QueuedChangesGoBeforeIdentification)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    steps.queue = QStringList{u"[UPD]0000000001"_s, u"[DEL]0000000002"_s};
    sim.presentCard("0000001234");
    passes(2);
    EXPECT_EQ(device.loopState(), OnlineLoop::Polling);
    EXPECT_EQ(sim.pendingEvents(), 1u);
    EXPECT_EQ(steps.caption, u"ADO: 0 -> Loops: 3"_s);
    passes(1);
    EXPECT_EQ(device.loopState(), OnlineLoop::SendPassageText);
    EXPECT_EQ(steps.calls, (QStringList{u"RunQueueStep [UPD]0000000001"_s, u"RunQueueStep [DEL]0000000002"_s,
                                        u"LookUpPerson 0000001234"_s, u"ShowPassageWaiting"_s}));
}

// --- in step with the controller ---------------------------------------------------------------

// The program started again on the same device: nothing survives but the files.
struct NextRun
{
    explicit NextRun(DeviceBinding& device) : steps(device), loop(device, steps)
    {
        device.userDados() = TUserDados{};
        device.EnterState(OnlineLoop::CompleteConnection);
        device.ClearStopRequest();
        loop.BeginRun();
    }
    bool passUntil(const std::function<bool()>& done, int maxPasses = 30)
    {
        for (int i = 0; i < maxPasses && !done(); ++i) {
            if (!loop.RunPass())
                break;
        }
        return done();
    }
    FakeSteps steps;
    OnlineLoop loop;
};

TEST_F(OnlineLoopTest, CardTappedDuringAPassageIsDroppedAndEveryLaterRotationIsRecorded)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    sim.presentCard("0000009999"); // somebody else, while the arm is open
    passes(3);
    EXPECT_EQ(device.loopState(), OnlineLoop::WaitRotation);
    EXPECT_EQ(count(u"Identificação ignorada durante a passagem: 0000009999"_s), 1);
    ASSERT_TRUE(sim.rotate());
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    for (int i = 0; i < 3; ++i) {
        sim.presentCard("0000001234");
        ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
        ASSERT_TRUE(sim.rotate());
        ASSERT_TRUE(reach(OnlineLoop::Polling));
        passes(2);
    }
    EXPECT_EQ(steps.calls.count(u"ConfirmPassage"_s), 4);
    EXPECT_EQ(steps.calls.count(u"LookUpPerson 0000001234"_s), 4);
    EXPECT_FALSE(steps.calls.contains(u"LookUpPerson 0000009999"_s));
    EXPECT_EQ(link.callCount("LiberarCatracaEntradaInvertida"), 4);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_FALSE(QFile::exists(loop.releaseRecord().filePath()));
}

TEST_F(OnlineLoopTest, RotationReportWhilePollingNeverReleasesTheArm)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234", sim::origin::Passed);
    sim.presentCard("0000001234", sim::origin::NotPassed);
    passes(3);
    EXPECT_EQ(device.loopState(), OnlineLoop::Polling);
    EXPECT_TRUE(steps.calls.isEmpty());
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_EQ(count(u"Giro da catraca sem liberação pendente ignorado (origem 6)"_s), 1);
    EXPECT_EQ(count(u"Giro da catraca sem liberação pendente ignorado (origem 5)"_s), 1);
}

TEST_F(OnlineLoopTest, RotationWaitEndsThroughTheErrorPathWhenTheControllerFallsSilent)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    const qint64 from = link.clock.elapsedMs();
    ASSERT_TRUE(sim.setFault("ReceberDadosOnLine", 3)); // no answer, at once
    EXPECT_TRUE(passUntil([&] { return device.IsStopRequested(); }, 400));
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    const qint64 waited = link.clock.elapsedMs() - from;
    EXPECT_GE(waited, OnlineLoop::RotationReportTimeoutMs - 100);
    EXPECT_LE(waited, OnlineLoop::RotationReportTimeoutMs + 200);
    EXPECT_EQ(
        count(u"##### ################ Controla catraca - ERRO: Catraca não informou o giro em 20 segundos "
              u"#####"_s),
        1);
    // Kept for a report that comes once the link is back.
    EXPECT_TRUE(loop.releaseRecord().pending().has_value());
}

TEST_F(OnlineLoopTest, RotationReportedAfterARestartIsRecordedOnceForThePersonReleased)
{
    steps.isEntry = false;
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    const PendingRelease onRecord = *loop.releaseRecord().pending();
    EXPECT_EQ(onRecord.PersonNumber, u"0000001234"_s);
    EXPECT_FALSE(onRecord.IsEntry);
    EXPECT_EQ(onRecord.BadgeName, u"ANA "_s);

    // Killed here. The person walks through two seconds later, while nobody listens.
    link.clock.advance(2000);
    ASSERT_TRUE(sim.rotate());
    const QString rotatedAt = controllerTime(u"HH:mm:ss"_s);
    link.clock.advance(1500);

    NextRun next(device);
    ASSERT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::Polling; }));
    ASSERT_TRUE(next.passUntil([&] { return sim.pendingEvents() == 0; }, 3));
    next.passUntil([] { return false; }, 3);
    EXPECT_EQ(next.steps.confirmed, QStringList{u"0000001234 S "_s + rotatedAt});
    EXPECT_FALSE(next.steps.calls.contains(u"LookUpPerson 0000001234"_s));
    EXPECT_EQ(link.callCount("LiberarCatracaSaidaInvertida"), 1);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_FALSE(next.loop.releaseRecord().pending().has_value());
    EXPECT_EQ(count(u"Giro da catraca da liberação pendente de 0000001234 (origem 6)"_s), 1);

    // The next person is served as usual.
    sim.presentCard("0000005678");
    EXPECT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::WaitRotation; }));
}

TEST_F(OnlineLoopTest, MissedPassageReportedAfterARestartRecordsNothing)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    ASSERT_TRUE(sim.noPass());

    NextRun next(device);
    ASSERT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::Polling; }));
    next.passUntil([] { return false; }, 3);
    EXPECT_TRUE(next.steps.confirmed.isEmpty());
    EXPECT_EQ(next.steps.calls.count(u"ShowPassageMissed"_s), 1);
    EXPECT_FALSE(next.loop.releaseRecord().pending().has_value());
}

TEST_F(OnlineLoopTest, ReleaseThatNeverHappenedIsClosedOutAndHoldsCardsUntilThen)
{
    // Killed after the release was put on record and before the controller took it.
    ASSERT_TRUE(sim.setFault("LiberarCatracaEntradaInvertida", 9));
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::Release));
    passes(2);
    ASSERT_TRUE(loop.releaseRecord().pending().has_value());
    sim.clearFaults();

    NextRun next(device);
    ASSERT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::Polling; }));
    // The arm might still be open for that person: a card now is not answered.
    sim.presentCard("0000005678");
    next.passUntil([] { return false; }, 2);
    EXPECT_EQ(count(u"Identificação ignorada durante a passagem anterior: 0000005678"_s), 1);
    EXPECT_EQ(device.loopState(), OnlineLoop::Polling);

    // Once the controller would have reported the release, it is closed out as unused.
    link.clock.advance(OnlineLoop::RotationReportTimeoutMs);
    sim.presentCard("0000005678");
    ASSERT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::WaitRotation; }));
    EXPECT_EQ(logged().filter(u"Liberação sem giro informado encerrada: 0000001234 em "_s).size(), 1);
    EXPECT_EQ(next.loop.releaseRecord().pending()->PersonNumber, u"0000005678"_s);
    ASSERT_TRUE(sim.rotate());
    ASSERT_TRUE(next.passUntil([&] { return device.loopState() == OnlineLoop::Polling; }));
    EXPECT_EQ(next.steps.confirmed.size(), 1);
    EXPECT_TRUE(next.steps.confirmed.value(0).startsWith(u"0000005678 E "_s));
}

TEST_F(OnlineLoopTest, ReportOutsideTheTimeOfTheReleaseOnRecordIsNotItsEnd)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234", sim::origin::Passed); // before the release
    link.clock.advance(10000);
    loop.releaseRecord().write(PendingRelease{u"0000005678"_s, u"BIA"_s, true, loop.ControllerNow()});
    passes(2);
    EXPECT_EQ(count(u"Giro da catraca anterior à liberação pendente ignorado (origem 6)"_s), 1);

    // Long after it: the controller had ended that release, this is somebody else's rotation.
    link.clock.advance(OnlineLoop::RotationReportTimeoutMs + 5000);
    sim.presentCard("0000005678", sim::origin::Passed);
    passes(2);
    EXPECT_EQ(count(u"Giro da catraca posterior à liberação pendente ignorado (origem 6)"_s), 1);
    EXPECT_TRUE(steps.confirmed.isEmpty());
    EXPECT_TRUE(loop.releaseRecord().pending().has_value());
}

TEST_F(OnlineLoopTest, NoReleaseWhenTheReleaseCannotBePutOnRecord)
{
    ASSERT_TRUE(QDir().mkpath(loop.releaseRecord().filePath() + u"/blocked"_s)); // a folder in its place
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::SendStandingText));
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_EQ(link.callCount("LiberarCatracaEntradaInvertida"), 0);
    EXPECT_TRUE(device.isPassageIdle());
    EXPECT_EQ(count(u"Catraca não liberada para 0000001234"_s), 1);
}

TEST_F(OnlineLoopTest, IdentificationOlderThanAFewSecondsIsNotReleased)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234"); // tapped while nobody answered
    const QString tappedAt = controllerTime(u"dd/MM/yyyy HH:mm:ss"_s);
    link.clock.advance((OnlineLoop::IdentificationMaxAgeSeconds + 1) * 1000);
    sim.presentCard("0000005678");
    passes(1);
    EXPECT_EQ(count(u"Identificação antiga ignorada: 0000001234 em "_s + tappedAt), 1);
    EXPECT_FALSE(steps.calls.contains(u"LookUpPerson 0000001234"_s));
    ASSERT_TRUE(reach(OnlineLoop::WaitRotation));
    EXPECT_EQ(steps.calls.count(u"LookUpPerson 0000005678"_s), 1);
    EXPECT_EQ(link.callCount("LiberarCatracaEntradaInvertida"), 1);
}

TEST(OnlineLoopEventTime, TwoDigitYearAndAMissingDate)
{
    easyinner::OnlineEvent event;
    EXPECT_FALSE(OnlineLoop::EventTime(event).isValid()); // a controller that sends no date
    event.Day = 31;
    event.Month = 12;
    event.Year = 26;
    event.Hour = 23;
    event.Minute = 59;
    event.Second = 58;
    EXPECT_EQ(OnlineLoop::EventTime(event), QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58)));
    event.Month = 2; // 31 February
    EXPECT_FALSE(OnlineLoop::EventTime(event).isValid());
}

TEST_F(OnlineLoopTest, RefusedPassageMessageIsGivenUpAfterItsBound)
{
    steps.passageResult = 9;
    ASSERT_NO_FATAL_FAILURE(startPolling());
    sim.presentCard("0000001234");
    ASSERT_TRUE(reach(OnlineLoop::SendPassageText));
    const qint64 from = link.clock.elapsedMs();
    ASSERT_TRUE(reach(OnlineLoop::SendStandingText, 60));
    EXPECT_GE(link.clock.elapsedMs() - from, OnlineLoop::PassageMessageRetryMs - 100);
    EXPECT_LE(link.clock.elapsedMs() - from, OnlineLoop::PassageMessageRetryMs + 100);
    EXPECT_EQ(count(u"Passagem abandonada, a catraca recusou a mensagem: 0000001234"_s), 1);
    EXPECT_TRUE(device.isPassageIdle());
    // The fault clears: the person who has gone is not let through.
    steps.passageResult = 0;
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    passes(3);
    EXPECT_EQ(sim.arm(), sim::Arm::Locked);
    EXPECT_EQ(link.callCount("LiberarCatracaEntradaInvertida"), 0);
}

TEST_F(OnlineLoopTest, ControllerClockIsSetAgainEveryHourOfPolling)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    EXPECT_EQ(link.callCount("EnviarRelogio"), 1);
    link.clock.advance(OnlineLoop::ClockResendIntervalMs);
    ASSERT_TRUE(reach(OnlineLoop::SendClock, 2));
    ASSERT_TRUE(reach(OnlineLoop::Polling));
    EXPECT_EQ(link.callCount("EnviarRelogio"), 2);
    sim.presentCard("0000001234");
    EXPECT_TRUE(reach(OnlineLoop::WaitRotation));
}

TEST_F(OnlineLoopTest, PassWhoseHousekeepingAskedForARestartDoesNothingMore)
{
    ASSERT_NO_FATAL_FAILURE(startPolling());
    // The scheduled synchronisation ends with a restart of the connection.
    steps.onScheduledSync = [&] { device.IniCatraca(); };
    steps.queue = QStringList{u"[DEL]0000000002"_s};
    sim.presentCard("0000001234");
    loop.HousekeepingPasses = OnlineLoop::HousekeepingInterval;
    sim.clearCalls();
    ASSERT_TRUE(loop.RunPass());
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_EQ(steps.checks.size(), 3) << "the housekeeping itself runs to its end";
    EXPECT_TRUE(steps.calls.isEmpty()) << "no queue step, no identification";
    EXPECT_EQ(steps.queue, QStringList{u"[DEL]0000000002"_s});
    EXPECT_EQ(link.callCount("ReceberDadosOnLine"), 0);
    EXPECT_EQ(sim.pendingEvents(), 1u);
}

} // namespace
} // namespace zul

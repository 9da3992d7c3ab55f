#include "access/PassageFeedback.h"

#include "LinkedDevice.h"
#include "access/OnlineDisplay.h"
#include "access/PassageJournal.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"
#include "db/XFields.h"

#include <QDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

class PassageFeedbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString file = link.dir.file(u"zul.db"_s);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        connection.ChangeServerType(xdtSQLite);
        connection.SetConnectString(u"Data Source="_s + file);
        connection.SetConnected(true);
        exec(u"CREATE TABLE REGISCATRACA (NRPESSOA VARCHAR(10) NOT NULL, IDREGISCATRACA CHAR(1) NOT NULL, "
             u"DTREGISCATRACA TEXT NOT NULL)"_s);
        restart();
    }

    // A new program run: the objects are built afresh and the journal is read from its file.
    void restart()
    {
        feedback.reset();
        journal = std::make_unique<PassageJournal>(journalPath);
        feedback = std::make_unique<PassageFeedback>(link.device, display, connection, *journal, hooks());
    }

    PassageHooks hooks()
    {
        return {[this](const QString& text, const QString& prefix) { broadcasts << prefix + text; },
                // What the main window does: reconnect, and on success write what is waiting.
                [this](bool force, bool report) {
                    reconnects << (force && report);
                    if (!databaseComesBack)
                        return false;
                    connection.SetConnected(true);
                    feedback->ReplayJournal();
                    return true;
                },
                [this] { return link.clock.now().addSecs(serverAhead); }};
    }

    void exec(const QString& sql)
    {
        TXCommand c;
        c.SetParamCheck(false);
        c.SetConnection(&connection);
        c.SetSQL(sql);
        c.Execute();
    }

    // The passage log as "number direction time", in the order written.
    QStringList rows()
    {
        TXQuery q;
        q.SetConnection(&connection);
        q.SetSQL(u"SELECT NRPESSOA || ' ' || IDREGISCATRACA || ' ' || DTREGISCATRACA AS R FROM REGISCATRACA "
                 u"ORDER BY ROWID"_s);
        q.Open();
        QStringList out;
        for (; !q.Eof(); q.Next())
            out << q.FieldByName(u"R"_s)->AsString();
        return out;
    }

    void identify(const QString& number, const QString& name, bool entry)
    {
        link.device.userDados() = TUserDados{number, name, entry};
    }

    // The database becomes unreachable.
    void dropDatabase() { connection.SetConnected(false); }

    QStringList logged() const { return link.logged(); }
    bool loggedLineStartingWith(const QString& start) const
    {
        const QStringList lines = logged();
        return std::any_of(lines.cbegin(), lines.cend(),
                           [&](const QString& l) { return l.startsWith(start); });
    }

    test::LinkedDevice link;
    OnlineDisplay display{link.clock};
    TXConnection connection;
    QString journalPath = link.dir.file(u"logCatraca/passagensPendentes.jrn"_s);
    std::unique_ptr<PassageJournal> journal;
    std::unique_ptr<PassageFeedback> feedback;
    QStringList broadcasts;
    QList<bool> reconnects;
    bool databaseComesBack = false;
    int serverAhead = 90; // the server's clock runs a minute and a half ahead of this machine
};

// --- the panels -------------------------------------------------------------------------------

TEST_F(PassageFeedbackTest, IdentifiedPersonIsShownInThePanelOfTheDirection)
{
    identify(u"0000000001"_s, u"JOÃO"_s, true);
    feedback->ShowPassageWaiting();
    EXPECT_EQ(display.line2(DisplayMessage::Entry), u"JOÃO"_s);
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"CONFIRMAR"_s));
    EXPECT_FALSE(link.device.isPassageIdle());
    EXPECT_TRUE(display.tmrPassaEntr->isActive());
    EXPECT_FALSE(display.tmrPassaSaida->isActive());
    EXPECT_EQ(logged().last(), u"Sentido: Entrada"_s);

    link.device.EndPassage();
    identify(u"0000000002"_s, u"ANA"_s, false);
    feedback->ShowPassageWaiting();
    EXPECT_EQ(display.line2(DisplayMessage::Exit), u"ANA"_s);
    EXPECT_EQ(display.line2(DisplayMessage::Entry), u"JOÃO"_s);
    EXPECT_EQ(display.confirmation(false), link.messages.Lookup(u"CONFIRMAR"_s));
    EXPECT_FALSE(link.device.isPassageIdle());
    EXPECT_TRUE(display.tmrPassaSaida->isActive());
    EXPECT_EQ(logged().last(), u"Sentido: Saída"_s);
}

TEST_F(PassageFeedbackTest, PanelChangesColourSixTimesAndEndsInItsDesignColour)
{
    identify(u"0000000001"_s, u"ANA"_s, false);
    feedback->ShowPassageWaiting();
    const int expected[] = {OnlineDisplay::BlinkColor, OnlineDisplay::PanelColor, OnlineDisplay::BlinkColor,
                            OnlineDisplay::PanelColor, OnlineDisplay::BlinkColor, OnlineDisplay::PanelColor};
    int tick = 0;
    for (const int colour : expected) {
        ++tick;
        ASSERT_TRUE(display.tmrPassaSaida->isActive()) << "tick " << tick;
        feedback->tmrPassaSaidaTimer();
        EXPECT_EQ(display.panelColor(false), colour) << "tick " << tick;
        EXPECT_EQ(display.panelColor(true), OnlineDisplay::PanelColor);
    }
    EXPECT_FALSE(display.tmrPassaSaida->isActive());
    EXPECT_EQ(feedback->ExitBlinks, 6);

    // The next person blinks from the start again.
    feedback->ShowPassageWaiting();
    EXPECT_EQ(feedback->ExitBlinks, 0);
    EXPECT_TRUE(display.tmrPassaSaida->isActive());
}

TEST_F(PassageFeedbackTest, IdentificationDuringABlinkOnlyRunsTheTicksLeft)
{
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ShowPassageWaiting();
    for (int i = 0; i < 3; ++i)
        feedback->tmrPassaEntrTimer();
    identify(u"0000000002"_s, u"BIA"_s, true);
    feedback->ShowPassageWaiting();
    EXPECT_EQ(feedback->EntryBlinks, 3);
    int ticks = 0;
    while (display.tmrPassaEntr->isActive() && ticks < 10) {
        feedback->tmrPassaEntrTimer();
        ++ticks;
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(display.panelColor(true), OnlineDisplay::PanelColor);
}

TEST_F(PassageFeedbackTest, MissedPassageIsShownAndLogged)
{
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ShowPassageMissed();
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"NAO_PASSOU"_s));
    EXPECT_EQ(logged().last(), u"Usuário ANA não confirmou entrada"_s);
    identify(u"0000000002"_s, u"BIA"_s, false);
    feedback->ShowPassageMissed();
    EXPECT_EQ(display.confirmation(false), link.messages.Lookup(u"NAO_PASSOU"_s));
    EXPECT_EQ(logged().last(), u"Usuário BIA não confirmou saída"_s);
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(broadcasts.isEmpty());
}

// --- registration ------------------------------------------------------------------------------

TEST_F(PassageFeedbackTest, ConfirmedPassageIsRegisteredShownAndAnnounced)
{
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassage();
    identify(u"0000000002"_s, u"BIA"_s, false);
    feedback->ConfirmPassage();

    const QStringList written = rows();
    ASSERT_EQ(written.size(), 2);
    EXPECT_TRUE(written[0].startsWith(u"0000000001 E "_s)) << written[0].toStdString();
    EXPECT_TRUE(written[1].startsWith(u"0000000002 S "_s)) << written[1].toStdString();
    EXPECT_EQ(broadcasts, (QStringList{u"[ENT]0000000001"_s, u"[SAI]0000000002"_s}));
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_EQ(display.confirmation(false), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_EQ(logged(),
              (QStringList{u"Registrar passagem para 0000000001"_s, u"Passagem registrada"_s,
                           u"Usuário ANA confirmou sua entrada"_s, u"Registrar passagem para 0000000002"_s,
                           u"Passagem registrada"_s, u"Usuário BIA confirmou sua saída"_s}));
    EXPECT_TRUE(reconnects.isEmpty());
}

TEST_F(PassageFeedbackTest, PassageAtTheControllersTimeIsJournaledFirstThenWrittenWithThatTime)
{
    const QDateTime rotated(QDate(2026, 1, 5), QTime(7, 59, 58, 400));
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassageAt(rotated);
    EXPECT_EQ(rows(), QStringList{u"0000000001 E 2026-01-05 07:59:58"_s});
    EXPECT_EQ(broadcasts, QStringList{u"[ENT]0000000001"_s});
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_TRUE(journal->isEmpty());
    EXPECT_EQ(logged().last(), u"Usuário ANA confirmou sua entrada"_s);
    EXPECT_TRUE(reconnects.isEmpty());

    // The database is down: the passage waits in the journal with its own time.
    dropDatabase();
    identify(u"0000000002"_s, u"BIA"_s, false);
    feedback->ConfirmPassageAt(rotated.addSecs(30));
    EXPECT_EQ(reconnects, QList<bool>{true});
    EXPECT_EQ(broadcasts.size(), 1);
    EXPECT_EQ(logged().last(),
              u"Passagem guardada para registro posterior: 0000000002 em 2026-01-05 08:00:28"_s);
    restart();
    connection.SetConnected(true);
    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(rows(),
              (QStringList{u"0000000001 E 2026-01-05 07:59:58"_s, u"0000000002 S 2026-01-05 08:00:28"_s}));
    EXPECT_EQ(broadcasts, (QStringList{u"[ENT]0000000001"_s, u"[SAI]0000000002"_s}));
}

TEST_F(PassageFeedbackTest, RefusedPassageIsKeptAndWrittenOnceAtItsTimeAfterReconnecting)
{
    identify(u"0000000001"_s, u"ANA"_s, true);
    display.setConfirmation(true, u"Confirmar passagem"_s);
    dropDatabase();
    feedback->ConfirmPassage();

    EXPECT_EQ(reconnects, QList<bool>{true});
    EXPECT_TRUE(broadcasts.isEmpty());
    EXPECT_EQ(display.confirmation(true), u"Confirmar passagem"_s);
    const QStringList log = logged();
    ASSERT_GE(log.size(), 5);
    EXPECT_EQ(log.mid(0, 4),
              (QStringList{u"Registrar passagem para 0000000001"_s, QString(),
                           u"##### Registra acesso - ERRO: The database connection is not open #####"_s,
                           QString()}));
    EXPECT_EQ(log[4], u"Passagem guardada para registro posterior: 0000000001 em 2026-01-05 08:01:30"_s);
    ASSERT_EQ(journal->entries().size(), 1);

    // Ten minutes later the main window gets the database back.
    link.clock.advance(10 * 60 * 1000);
    connection.SetConnected(true);
    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(rows(), QStringList{u"0000000001 E 2026-01-05 08:01:30"_s});
    EXPECT_EQ(broadcasts, QStringList{u"[ENT]0000000001"_s});
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_TRUE(journal->isEmpty());
    EXPECT_FALSE(QFile::exists(journalPath));

    EXPECT_EQ(feedback->ReplayJournal(), 0);
    EXPECT_EQ(rows().size(), 1);
    EXPECT_EQ(broadcasts.size(), 1);
}

TEST_F(PassageFeedbackTest, PassageWrittenByTheReconnectOfItsOwnFailureIsAnnouncedOnce)
{
    databaseComesBack = true;
    identify(u"0000000007"_s, u"CAIO"_s, false);
    dropDatabase();
    feedback->ConfirmPassage();
    EXPECT_EQ(rows(), QStringList{u"0000000007 S 2026-01-05 08:01:30"_s});
    EXPECT_EQ(broadcasts, QStringList{u"[SAI]0000000007"_s});
    EXPECT_EQ(display.confirmation(false), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_TRUE(journal->isEmpty());
    EXPECT_EQ(logged().filter(u"confirmou"_s), QStringList{}); // ConfirmPassage itself went no further
}

TEST_F(PassageFeedbackTest, KeptPassagesOutliveAKill)
{
    dropDatabase();
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassage();
    link.clock.advance(5000);
    identify(u"0000000002"_s, u"BIA"_s, false);
    feedback->ConfirmPassage();

    restart(); // nothing of the first run survives but the file
    EXPECT_EQ(journal->entries().size(), 2);
    display.setConfirmation(true, u"x"_s);
    connection.SetConnected(true);
    EXPECT_EQ(feedback->ReplayJournal(), 2);
    // Only the panel of the person still shown says the passage went through.
    EXPECT_EQ(display.confirmation(true), u"x"_s);
    EXPECT_EQ(display.confirmation(false), link.messages.Lookup(u"PASSOU"_s));
    EXPECT_EQ(rows(),
              (QStringList{u"0000000001 E 2026-01-05 08:01:30"_s, u"0000000002 S 2026-01-05 08:01:35"_s}));
    EXPECT_EQ(broadcasts, (QStringList{u"[ENT]0000000001"_s, u"[SAI]0000000002"_s}));
}

TEST_F(PassageFeedbackTest, RowWrittenBeforeACrashIsNotWrittenAgain)
{
    dropDatabase();
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassage();
    // The last run wrote the row and was killed before it could clear the journal.
    connection.SetConnected(true);
    exec(u"INSERT INTO REGISCATRACA VALUES ('0000000001', 'E', '2026-01-05 08:01:30')"_s);
    restart();

    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(rows(), QStringList{u"0000000001 E 2026-01-05 08:01:30"_s});
    EXPECT_EQ(broadcasts, QStringList{u"[ENT]0000000001"_s});
    EXPECT_EQ(logged().last(), u"Passagem pendente já estava registrada"_s);
    EXPECT_TRUE(journal->isEmpty());
}

TEST_F(PassageFeedbackTest, RegistrationWritesWhatIsWaitingFirst)
{
    dropDatabase();
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassage();
    connection.SetConnected(true); // back, but nobody replayed yet

    identify(u"0000000002"_s, u"BIA"_s, true);
    feedback->ConfirmPassage();
    const QStringList written = rows();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0], u"0000000001 E 2026-01-05 08:01:30"_s);
    EXPECT_TRUE(written[1].startsWith(u"0000000002 E "_s));
    EXPECT_EQ(broadcasts, (QStringList{u"[ENT]0000000001"_s, u"[ENT]0000000002"_s}));
    EXPECT_EQ(display.confirmation(true), link.messages.Lookup(u"PASSOU"_s));
}

TEST_F(PassageFeedbackTest, ReplayStopsWhenTheDatabaseRefusesEveryPassageAndKeepsTheOrder)
{
    dropDatabase();
    for (const QString& n : {u"0000000001"_s, u"0000000002"_s}) {
        identify(n, u"X"_s, true);
        feedback->ConfirmPassage();
        link.clock.advance(1000);
    }
    connection.SetConnected(true);
    exec(u"ALTER TABLE REGISCATRACA RENAME TO REGISCATRACA_OLD"_s);
    EXPECT_EQ(feedback->ReplayJournal(), 0);
    EXPECT_TRUE(loggedLineStartingWith(u"##### Registra acesso pendente - ERRO: "_s));
    EXPECT_EQ(journal->entries().size(), 2);
    EXPECT_TRUE(broadcasts.isEmpty());

    exec(u"ALTER TABLE REGISCATRACA_OLD RENAME TO REGISCATRACA"_s);
    EXPECT_EQ(feedback->ReplayJournal(), 2);
    EXPECT_EQ(rows(),
              (QStringList{u"0000000001 E 2026-01-05 08:01:30"_s, u"0000000002 E 2026-01-05 08:01:31"_s}));
}

TEST_F(PassageFeedbackTest, PassageRefusedForGoodGoesToTheDeadLetterFileAndTheRestGoOn)
{
    exec(u"CREATE TRIGGER REJEITA BEFORE INSERT ON REGISCATRACA WHEN NEW.NRPESSOA = '0000000009' "
         u"BEGIN SELECT RAISE(ABORT, 'pessoa inexistente'); END"_s);
    dropDatabase();
    for (const QString& n : {u"0000000009"_s, u"0000000001"_s, u"0000000002"_s}) {
        identify(n, u"X"_s, true);
        feedback->ConfirmPassage();
        link.clock.advance(1000);
    }
    connection.SetConnected(true);
    EXPECT_EQ(feedback->ReplayJournal(), 2);
    EXPECT_EQ(broadcasts, (QStringList{u"[ENT]0000000001"_s, u"[ENT]0000000002"_s}));
    ASSERT_EQ(journal->entries().size(), 1);
    EXPECT_EQ(journal->entries().first().Attempts, 1);

    // Every later registration tries it first; each one the database takes makes its refusal
    // count.
    for (int i = 2; i <= PassageFeedback::JournalAttempts; ++i) {
        identify(u"000000010"_s + QString::number(i), u"Y"_s, false);
        feedback->ConfirmPassage();
        link.clock.advance(1000);
    }
    EXPECT_TRUE(journal->isEmpty());
    EXPECT_EQ(rows().filter(u"0000000009"_s), QStringList());
    EXPECT_EQ(rows().size(), 2 + PassageFeedback::JournalAttempts - 1);
    EXPECT_FALSE(broadcasts.contains(u"[ENT]0000000009"_s));

    QFile deadLetters(journal->deadLetterPath());
    ASSERT_TRUE(deadLetters.open(QIODevice::ReadOnly));
    const QByteArray kept = deadLetters.readAll();
    EXPECT_TRUE(kept.contains("\"pessoa\":\"0000000009\"")) << kept.constData();
    EXPECT_TRUE(kept.contains("pessoa inexistente")) << kept.constData();
    EXPECT_EQ(logged().filter(u"Passagem recusada - ERRO: pessoa inexistente"_s).size(), 1)
        << logged().join(u'\n').toStdString();
    EXPECT_TRUE(loggedLineStartingWith(
        u"Passagem pendente para 0000000009 em 2026-01-05 08:01:30 recusada 5 vezes"_s));
}

TEST_F(PassageFeedbackTest, ADatabaseThatRefusesEverythingCostsTheKeptPassagesNothing)
{
    dropDatabase();
    identify(u"0000000001"_s, u"ANA"_s, true);
    feedback->ConfirmPassage();
    connection.SetConnected(true);
    exec(u"ALTER TABLE REGISCATRACA RENAME TO REGISCATRACA_OLD"_s);
    for (int i = 0; i < 3 * PassageFeedback::JournalAttempts; ++i) {
        identify(u"0000000002"_s, u"BIA"_s, i % 2 == 0);
        feedback->ConfirmPassage();
        feedback->ReplayJournal();
        link.clock.advance(1000);
    }
    EXPECT_FALSE(QFile::exists(journal->deadLetterPath()));
    ASSERT_EQ(journal->entries().size(), 1 + 3 * PassageFeedback::JournalAttempts);
    for (const JournaledPassage& p : journal->entries())
        EXPECT_EQ(p.Attempts, 0);

    exec(u"ALTER TABLE REGISCATRACA_OLD RENAME TO REGISCATRACA"_s);
    EXPECT_EQ(feedback->ReplayJournal(), 1 + 3 * PassageFeedback::JournalAttempts);
}

TEST_F(PassageFeedbackTest, AJournalThatCannotBeWrittenKeepsTheTurnstileLockedUntilItCan)
{
    const QString folder = link.dir.file(u"logCatraca"_s);
    QDir(folder).removeRecursively();
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    EXPECT_TRUE(feedback->JournalWritable()); // nothing was needed of it yet
    dropDatabase();
    EXPECT_FALSE(feedback->RegisterPassage(u"0000000001"_s, true));
    EXPECT_FALSE(feedback->JournalWritable());
    EXPECT_FALSE(feedback->JournalWritable());
    EXPECT_EQ(link.ui.statusLine(), u"Diário de passagens não gravado - catraca bloqueada"_s);
    EXPECT_EQ(logged().filter(u"não será liberada"_s).size(), 1);

    // The database comes back first: the passage held in memory goes straight in; the journal
    // is still of no use, so the turnstile stays locked.
    connection.SetConnected(true);
    EXPECT_EQ(feedback->ReplayJournal(), 1);
    EXPECT_EQ(rows(), QStringList{u"0000000001 E 2026-01-05 08:01:30"_s});
    EXPECT_EQ(broadcasts, QStringList{u"[ENT]0000000001"_s});
    EXPECT_FALSE(feedback->JournalWritable());

    dropDatabase();
    link.clock.advance(1000);
    EXPECT_FALSE(feedback->RegisterPassage(u"0000000002"_s, false));
    QFile::remove(folder);
    EXPECT_TRUE(feedback->JournalWritable());
    EXPECT_TRUE(logged().contains(u"Diário de passagens gravável novamente"_s));
    EXPECT_EQ(PassageJournal(journalPath).entries(),
              (QList<JournaledPassage>{{u"0000000002"_s, false, link.clock.now().addSecs(serverAhead)}}));
}

TEST_F(PassageFeedbackTest, PassageThatCannotBeKeptIsReportedAndReconnectingStillAsked)
{
    {
        QFile blocker(link.dir.file(u"logCatraca"_s));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    dropDatabase();
    identify(u"0000000001"_s, u"ANA"_s, true);
    EXPECT_FALSE(feedback->RegisterPassage(u"0000000001"_s, true));
    EXPECT_EQ(reconnects, QList<bool>{true});
    EXPECT_TRUE(loggedLineStartingWith(u"##### Guarda passagem - ERRO: "_s));
    EXPECT_TRUE(journal->isEmpty());
}

TEST_F(PassageFeedbackTest, WithoutServerClockThePassageTakesTheLocalTime)
{
    feedback->SetHooks({});
    dropDatabase();
    EXPECT_FALSE(feedback->RegisterPassage(u"0000000001"_s, false));
    ASSERT_EQ(journal->entries().size(), 1);
    EXPECT_EQ(journal->entries().first().PassedAt, link.clock.now());
}

} // namespace
} // namespace zul

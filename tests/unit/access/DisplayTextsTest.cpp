#include "access/DisplayTexts.h"

#include "LinkedDevice.h"
#include "access/OnlineDisplay.h"

#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// --- accent folding ----------------------------------------------------------------------------

struct FoldCase
{
    const char16_t* text;
    const char16_t* folded;
};

void PrintTo(const FoldCase& c, std::ostream* os)
{
    *os << QString::fromUtf16(c.text).toStdString();
}

class TrataAcentoTest : public ::testing::TestWithParam<FoldCase>
{
protected:
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
};

TEST_P(TrataAcentoTest, FoldsAccentedLettersAndKeepsTheLength)
{
    const QString text = QString::fromUtf16(GetParam().text);
    const QString folded = TrataAcento(text, log);
    EXPECT_EQ(folded, QString::fromUtf16(GetParam().folded));
    EXPECT_EQ(folded.size(), text.size());
}

INSTANTIATE_TEST_SUITE_P(Table, TrataAcentoTest,
                         ::testing::Values(FoldCase{u"áéíóúàèìòùäëïöüâêîôûãõñçÁÉÍÓÚÀÈÌÒÙÄËÏÖÜÂÊÎÔÛÃÕÑÇ",
                                                    u"aeiouaeiouaeiouaeiouaoncAEIOUAEIOUAEIOUAEIOUAONC"},
                                           FoldCase{u" <<<<<<  Saída", u" <<<<<<  Saida"},
                                           FoldCase{u"AÇÃO", u"ACAO"},
                                           FoldCase{u"João Conceição", u"Joao Conceicao"},
                                           // Outside the table: left as they are.
                                           FoldCase{u"1º andar ª", u"1º andar ª"},
                                           FoldCase{u"ýÿÝåÅæøß€", u"ýÿÝåÅæøß€"}, FoldCase{u"", u""},
                                           FoldCase{u"VORLUND SOFTWARE", u"VORLUND SOFTWARE"}));

struct LineCase
{
    const char16_t* text;
    const char16_t* line;
};

class DisplayLineTest : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(DisplayLineTest, IsPaddedOrCutToSixteen)
{
    EXPECT_EQ(DisplayLine(QString::fromUtf16(GetParam().text)), QString::fromUtf16(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(Lengths, DisplayLineTest,
                         ::testing::Values(LineCase{u"", u"                "},
                                           LineCase{u"0123456789", u"0123456789      "},
                                           LineCase{u"0123456789ABCDEF", u"0123456789ABCDEF"},
                                           LineCase{u"0123456789ABCDEFGHIJ", u"0123456789ABCDEF"}));

TEST(DisplayDateTime, FormatsTheGivenTimeOrNowInSixteenCharacters)
{
    ManualClock clock(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 59)));
    EXPECT_EQ(DisplayDateTime(QDateTime(QDate(2008, 3, 19), QTime(8, 0)), clock), u" 19/03/08 08:00 "_s);
    EXPECT_EQ(DisplayDateTime(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)), clock),
              u" 31/12/26 23:59 "_s);
    EXPECT_EQ(DisplayDateTime(QDateTime(), clock), u" 07/03/26 09:05 "_s);
}

// --- the display state and the controller ---------------------------------------------------------------

class DisplayTextsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(link.openLink()); }

    // The arguments of the last call the controller received.
    std::vector<std::string> lastCall(const std::string& name) const
    {
        const auto calls = link.sim->calls();
        EXPECT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().name, name);
        return calls.empty() ? std::vector<std::string>{} : calls.back().args;
    }

    static std::string bytes(const QString& text) { return toWin1252String(text); }

    // No case here waits for a silent controller: a generous bound keeps a loaded machine from
    // failing the link's opening.
    test::LinkedDevice link{DeviceBinding::defaultLibraryName(), 3000};
    OnlineDisplay display{link.clock};
};

TEST_F(DisplayTextsTest, DisplayStartsInItsDesignState)
{
    using enum DisplayMessage;
    EXPECT_EQ(display.line1(Standing), u" 19/03/08 08:00 "_s);
    EXPECT_TRUE(display.dateTimeMode(Standing));
    EXPECT_EQ(display.line2(Standing), u"VORLUND SOFTWARE"_s);
    EXPECT_EQ(display.line1(Entry), u" Entrada >>>>>>"_s);
    EXPECT_EQ(display.line1(Exit), u" <<<<<<  Saída"_s);
    EXPECT_FALSE(display.dateTimeMode(Entry));
    EXPECT_FALSE(display.dateTimeMode(Exit));
    EXPECT_EQ(display.confirmation(true), u"Confirmar passagem"_s);
    EXPECT_EQ(display.confirmation(false), u"Confirmar Passagem"_s);
    EXPECT_EQ(display.panelColor(true), OnlineDisplay::PanelColor);
    EXPECT_EQ(display.panelColor(false), OnlineDisplay::PanelColor);
    EXPECT_FALSE(display.tmrPassaEntr->isActive());
    EXPECT_EQ(display.tmrPassaSaida->interval(), 300);
}

TEST_F(DisplayTextsTest, StandingMessageInTextModeSendsLineOneFilledAndEverythingFolded)
{
    ChooseTextDisplay(display, DisplayMessage::Standing);
    const struct
    {
        QString line1;
        QString line2;
        QString sent;
    } cases[] = {
        {u"Catraca é livre"_s, u"Pode passar"_s, u"Catraca e livre Pode passar"_s},
        {u"0123456789"_s, u"Ação"_s, u"0123456789      Acao"_s},
        {u"0123456789ABCDEFGHIJ"_s, u"X"_s, u"0123456789ABCDEFX"_s},
    };
    for (const auto& c : cases) {
        display.setLine1(DisplayMessage::Standing, c.line1);
        display.setLine2(DisplayMessage::Standing, c.line2);
        EXPECT_EQ(SendStandingMessage(link.device, display), 0);
        const auto args = lastCall("EnviarMensagemPadraoOnLine");
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[1], "0");
        EXPECT_EQ(args[2], bytes(c.sent));
    }
}

TEST_F(DisplayTextsTest, StandingMessageInDateTimeModeSendsLineTwoAsTyped)
{
    display.setLine2(DisplayMessage::Standing, u"Saída às 8h"_s);
    EXPECT_EQ(SendStandingMessage(link.device, display), 0);
    const auto args = lastCall("EnviarMensagemPadraoOnLine");
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], "1");
    EXPECT_EQ(args[2], bytes(u"Saída às 8h"_s));
    EXPECT_EQ(link.sim->display().mode, 1);
}

TEST_F(DisplayTextsTest, PassageMessagesAreFoldedInBothModes)
{
    display.setLine2(DisplayMessage::Entry, u"JOSÉ"_s);
    display.setLine2(DisplayMessage::Exit, u"CONCEIÇÃO"_s);

    EXPECT_EQ(SendPassageMessage(link.device, display, true), 0);
    auto args = lastCall("EnviarMensagemTemporariaOnLine");
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[1], "0");
    EXPECT_EQ(args[2], bytes(u" Entrada >>>>>> JOSE"_s));
    EXPECT_EQ(args[3], "5");

    EXPECT_EQ(SendPassageMessage(link.device, display, false), 0);
    args = lastCall("EnviarMensagemTemporariaOnLine");
    EXPECT_EQ(args[2], bytes(u" <<<<<<  Saida  CONCEICAO"_s));

    ChooseDateTimeDisplay(display, DisplayMessage::Exit, display.ServerTime(), link.clock);
    EXPECT_EQ(SendPassageMessage(link.device, display, false), 0);
    args = lastCall("EnviarMensagemTemporariaOnLine");
    EXPECT_EQ(args[1], "1");
    EXPECT_EQ(args[2], bytes(u"CONCEICAO"_s));
    EXPECT_EQ(args[3], "5");
    EXPECT_TRUE(link.sim->display().temporary);
}

TEST_F(DisplayTextsTest, RefusedOrUnboundMessageGivesTheResult)
{
    link.sim->setFault("EnviarMensagemTemporariaOnLine", 7);
    EXPECT_EQ(SendPassageMessage(link.device, display, true), 7);
    EXPECT_EQ(link.device.lastResult(), 7);

    link.device.UnloadDeviceLibrary();
    link.device.RecordResult(0);
    EXPECT_EQ(SendStandingMessage(link.device, display), 1);
    EXPECT_EQ(SendPassageMessage(link.device, display, false), 1);
}

TEST_F(DisplayTextsTest, BadgeNameOfAnyLengthIsCutToTheDisplay)
{
    // Typed text stops at 16 characters; a name put in by the program does not.
    display.setLine2(DisplayMessage::Entry, u"MARIA APARECIDA SOUZA"_s);
    EXPECT_EQ(display.line2(DisplayMessage::Entry).size(), 21);
    EXPECT_EQ(SendPassageMessage(link.device, display, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2], bytes(u" Entrada >>>>>> MARIA APARECIDA "_s));

    // Far beyond the controller's buffer: refused whole before, so the passage never went on.
    display.setLine2(DisplayMessage::Entry, u"Á"_s.repeated(600));
    EXPECT_EQ(SendPassageMessage(link.device, display, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2],
              bytes(u" Entrada >>>>>> "_s + u"A"_s.repeated(16)));
    ChooseDateTimeDisplay(display, DisplayMessage::Entry, display.ServerTime(), link.clock);
    EXPECT_EQ(SendPassageMessage(link.device, display, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2], bytes(u"A"_s.repeated(16)));
}

TEST_F(DisplayTextsTest, DateTimeChoiceKeepsTheTextAndTextChoiceBringsItBack)
{
    const QDateTime server(QDate(2026, 2, 1), QTime(14, 30, 10));
    display.SetServerTimeSource([&] { return server; });
    display.setLine1(DisplayMessage::Entry, u"Bem-vindo"_s);

    ChooseDateTimeDisplay(display, DisplayMessage::Entry, display.ServerTime(), link.clock);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), u" 01/02/26 14:30 "_s);
    EXPECT_TRUE(display.dateTimeMode(DisplayMessage::Entry));

    ChooseTextDisplay(display, DisplayMessage::Entry);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), u"Bem-vindo"_s);
    EXPECT_FALSE(display.dateTimeMode(DisplayMessage::Entry));

    // The standing message starts in date-time mode with nothing kept aside.
    ChooseTextDisplay(display, DisplayMessage::Standing);
    EXPECT_EQ(display.line1(DisplayMessage::Standing), QString());
    EXPECT_FALSE(display.dateTimeMode(DisplayMessage::Standing));
}

TEST_F(DisplayTextsTest, DateTimeChoiceWithoutServerShowsTheLocalClock)
{
    display.SetServerTimeSource([] { return QDateTime(); });
    ChooseDateTimeDisplay(display, DisplayMessage::Exit, display.ServerTime(), link.clock);
    EXPECT_EQ(display.line1(DisplayMessage::Exit), DisplayDateTime(link.clock.now(), link.clock));
}

TEST_F(DisplayTextsTest, RefreshShowsLocalTimeOnlyInDateTimeMode)
{
    link.clock.advance(3 * 3600 * 1000);
    display.setLine1(DisplayMessage::Entry, u"Entrada"_s);
    RefreshDisplayDates(display, link.clock);
    EXPECT_EQ(display.line1(DisplayMessage::Standing), u" 05/01/26 11:00 "_s);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), u"Entrada"_s);
    EXPECT_EQ(display.line1(DisplayMessage::Exit), u" <<<<<<  Saída"_s);
}

TEST_F(DisplayTextsTest, DirectionTextsFollowTheMountingUnlessTyped)
{
    const TMessages& m = link.messages;
    PutDirectionTexts(display, m, false);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), m.Lookup(u"ENTRADA_INVERTIDA"_s));
    EXPECT_EQ(display.line1(DisplayMessage::Exit), m.Lookup(u"SAIDA_INVERTIDA"_s));

    display.setLine1(DisplayMessage::Exit, u"Tchau"_s);
    SwapDirectionTexts(display, m, true);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), m.Lookup(u"ENTRADA_NORMAL"_s));
    EXPECT_EQ(display.line1(DisplayMessage::Exit), u"Tchau"_s);

    SwapDirectionTexts(display, m, false);
    EXPECT_EQ(display.line1(DisplayMessage::Entry), m.Lookup(u"ENTRADA_INVERTIDA"_s));
}

} // namespace
} // namespace zul

#include "access/DisplayTexts.h"

#include "LinkedDevice.h"
#include "access/OnlinePage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
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

// --- the page and the controller ---------------------------------------------------------------

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
    OnlinePage page{link.clock};
};

TEST_F(DisplayTextsTest, PageStartsInItsDesignState)
{
    EXPECT_EQ(page.edtTexto->text(), u" 19/03/08 08:00 "_s);
    EXPECT_TRUE(page.edtTexto->isReadOnly());
    EXPECT_EQ(page.edtDisplay->text(), u"VORLUND SOFTWARE"_s);
    EXPECT_TRUE(page.rbtDtHora->isChecked());
    EXPECT_EQ(page.edtTextoEntrada->text(), u" Entrada >>>>>>"_s);
    EXPECT_EQ(page.edtTextoSaida->text(), u" <<<<<<  Saída"_s);
    EXPECT_TRUE(page.rbtTextoEntrada->isChecked());
    EXPECT_TRUE(page.rbtTextoSaida->isChecked());
    EXPECT_FALSE(page.edtTextoEntrada->isReadOnly());
    EXPECT_EQ(page.rbtDtHora->text(), u"Data / Hora"_s);
    EXPECT_EQ(page.rbtTextoSaida->text(), u"Texto"_s);
    EXPECT_EQ(page.lblConfirmaEntrada->text(), u"Confirmar passagem"_s);
    EXPECT_EQ(page.lblConfirmaSaida->text(), u"Confirmar Passagem"_s);
    EXPECT_EQ(page.tcbIniciar->text(), u"Iniciar &Conexão"_s);
    EXPECT_EQ(page.tcbFechar->text(), u"Fechar Cone&xão"_s);
    for (QWidget* w :
         {static_cast<QWidget*>(page.edtTextoEntrada), static_cast<QWidget*>(page.edtDisplaySaida),
          static_cast<QWidget*>(page.panVerdeEntrada), static_cast<QWidget*>(page.panVerdeSaida)})
        EXPECT_EQ(OnlinePage::colorOf(w), OnlinePage::PanelColor) << w->objectName().toStdString();
    EXPECT_FALSE(page.tmrPassaEntr->isActive());
    EXPECT_EQ(page.tmrPassaSaida->interval(), 300);
    EXPECT_TRUE(page.edtDisplay->font().fixedPitch());
    // The Windows colour form: 0x00BBGGRR.
    EXPECT_EQ(OnlinePage::fromWindowsColor(OnlinePage::PanelColor), QColor(158, 210, 2));
    EXPECT_EQ(OnlinePage::fromWindowsColor(OnlinePage::BlinkColor), QColor(204, 253, 57));
}

TEST_F(DisplayTextsTest, PageFitsTheMainWindow)
{
    page.resize(640, 200);
    EXPECT_LE(page.minimumSizeHint().width(), 640);
    EXPECT_LE(page.minimumSizeHint().height(), 200);
}

TEST_F(DisplayTextsTest, StandingMessageInTextModeSendsLineOneFilledAndEverythingFolded)
{
    page.rbtTexto->setChecked(true);
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
        page.edtTexto->setText(c.line1);
        page.edtDisplay->setText(c.line2);
        EXPECT_EQ(SendStandingMessage(link.device, page), 0);
        const auto args = lastCall("EnviarMensagemPadraoOnLine");
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[1], "0");
        EXPECT_EQ(args[2], bytes(c.sent));
    }
}

TEST_F(DisplayTextsTest, StandingMessageInDateTimeModeSendsLineTwoAsTyped)
{
    page.edtDisplay->setText(u"Saída às 8h"_s);
    EXPECT_EQ(SendStandingMessage(link.device, page), 0);
    const auto args = lastCall("EnviarMensagemPadraoOnLine");
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], "1");
    EXPECT_EQ(args[2], bytes(u"Saída às 8h"_s));
    EXPECT_EQ(link.sim->display().mode, 1);
}

TEST_F(DisplayTextsTest, PassageMessagesAreFoldedInBothModes)
{
    page.edtDisplayEntrada->setText(u"JOSÉ"_s);
    page.edtDisplaySaida->setText(u"CONCEIÇÃO"_s);

    EXPECT_EQ(SendPassageMessage(link.device, page, true), 0);
    auto args = lastCall("EnviarMensagemTemporariaOnLine");
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[1], "0");
    EXPECT_EQ(args[2], bytes(u" Entrada >>>>>> JOSE"_s));
    EXPECT_EQ(args[3], "5");

    EXPECT_EQ(SendPassageMessage(link.device, page, false), 0);
    args = lastCall("EnviarMensagemTemporariaOnLine");
    EXPECT_EQ(args[2], bytes(u" <<<<<<  Saida  CONCEICAO"_s));

    page.rbtDtHoraSaida->setChecked(true);
    EXPECT_EQ(SendPassageMessage(link.device, page, false), 0);
    args = lastCall("EnviarMensagemTemporariaOnLine");
    EXPECT_EQ(args[1], "1");
    EXPECT_EQ(args[2], bytes(u"CONCEICAO"_s));
    EXPECT_EQ(args[3], "5");
    EXPECT_TRUE(link.sim->display().temporary);
}

TEST_F(DisplayTextsTest, RefusedOrUnboundMessageGivesTheResult)
{
    link.sim->setFault("EnviarMensagemTemporariaOnLine", 7);
    EXPECT_EQ(SendPassageMessage(link.device, page, true), 7);
    EXPECT_EQ(link.device.LastDeviceResult, 7);

    link.device.UnloadDeviceLibrary();
    link.device.LastDeviceResult = 0;
    EXPECT_EQ(SendStandingMessage(link.device, page), 1);
    EXPECT_EQ(SendPassageMessage(link.device, page, false), 1);
}

TEST_F(DisplayTextsTest, BadgeNameOfAnyLengthIsCutToTheDisplay)
{
    // Typed text stops at 16 characters; a name put in by the program does not.
    page.edtDisplayEntrada->setText(u"MARIA APARECIDA SOUZA"_s);
    EXPECT_EQ(page.edtDisplayEntrada->text().size(), 21);
    EXPECT_EQ(SendPassageMessage(link.device, page, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2], bytes(u" Entrada >>>>>> MARIA APARECIDA "_s));

    // Far beyond the controller's buffer: refused whole before, so the passage never went on.
    page.edtDisplayEntrada->setText(u"Á"_s.repeated(600));
    EXPECT_EQ(SendPassageMessage(link.device, page, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2],
              bytes(u" Entrada >>>>>> "_s + u"A"_s.repeated(16)));
    page.rbtDtHoraEntrada->setChecked(true);
    EXPECT_EQ(SendPassageMessage(link.device, page, true), 0);
    EXPECT_EQ(lastCall("EnviarMensagemTemporariaOnLine")[2], bytes(u"A"_s.repeated(16)));
}

TEST_F(DisplayTextsTest, TypingStopsAtSixteenCharacters)
{
    QLineEdit* editor = page.edtDisplay;
    editor->setText(u"0123456789ABCDEF"_s);
    editor->setCursorPosition(16);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, u"X"_s);
    QApplication::sendEvent(editor, &press);
    EXPECT_EQ(editor->text(), u"0123456789ABCDEF"_s);

    editor->setText(u"MARIA APARECIDA SOUZA"_s);
    editor->setCursorPosition(21);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(editor, &backspace);
    EXPECT_EQ(editor->text(), u"MARIA APARECIDA SOUZ"_s);
}

TEST_F(DisplayTextsTest, DateTimeChoiceKeepsTheTextAndTextChoiceBringsItBack)
{
    const QDateTime server(QDate(2026, 2, 1), QTime(14, 30, 10));
    page.SetServerTimeSource([&] { return server; });
    page.edtTextoEntrada->setText(u"Bem-vindo"_s);

    page.rbtDtHoraEntrada->setChecked(true);
    EXPECT_EQ(page.edtTextoEntrada->text(), u" 01/02/26 14:30 "_s);
    EXPECT_TRUE(page.edtTextoEntrada->isReadOnly());

    page.rbtTextoEntrada->setChecked(true);
    EXPECT_EQ(page.edtTextoEntrada->text(), u"Bem-vindo"_s);
    EXPECT_FALSE(page.edtTextoEntrada->isReadOnly());

    // The standing message starts in date-time mode with nothing kept aside.
    page.rbtTexto->setChecked(true);
    EXPECT_EQ(page.edtTexto->text(), QString());
    EXPECT_FALSE(page.edtTexto->isReadOnly());
}

TEST_F(DisplayTextsTest, DateTimeChoiceWithoutServerShowsTheLocalClock)
{
    page.SetServerTimeSource([] { return QDateTime(); });
    page.rbtDtHoraSaida->setChecked(true);
    EXPECT_EQ(page.edtTextoSaida->text(), DisplayDateTime(link.clock.now(), link.clock));
}

TEST_F(DisplayTextsTest, RefreshShowsLocalTimeOnlyInDateTimeMode)
{
    link.clock.advance(3 * 3600 * 1000);
    page.edtTextoEntrada->setText(u"Entrada"_s);
    RefreshDisplayDates(page, link.clock);
    EXPECT_EQ(page.edtTexto->text(), u" 05/01/26 11:00 "_s);
    EXPECT_EQ(page.edtTextoEntrada->text(), u"Entrada"_s);
    EXPECT_EQ(page.edtTextoSaida->text(), u" <<<<<<  Saída"_s);
}

TEST_F(DisplayTextsTest, EnteringAnEditorFillsItToSixteen)
{
    for (QLineEdit* editor : {page.edtTextoEntrada, page.edtDisplaySaida, page.edtDisplay}) {
        editor->setText(u"abc"_s);
        QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(editor, &focus);
        EXPECT_EQ(editor->text(), u"abc             "_s);
    }
    page.edtDisplayEntrada->setText(u"MARIA APARECIDA SOUZA"_s);
    QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(page.edtDisplayEntrada, &focus);
    EXPECT_EQ(page.edtDisplayEntrada->text(), u"MARIA APARECIDA "_s);
}

TEST_F(DisplayTextsTest, ArrowKeysMoveBetweenTheLinesAtTheSameColumn)
{
    page.edtTextoSaida->setText(u"abcdefgh"_s);
    page.edtTextoSaida->setCursorPosition(5);
    page.edtDisplaySaida->setText(u"xy"_s);

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(page.edtTextoSaida, &down);
    EXPECT_EQ(page.focusWidget(), page.edtDisplaySaida);
    EXPECT_EQ(page.edtDisplaySaida->text(), u"xy              "_s);
    EXPECT_EQ(page.edtDisplaySaida->cursorPosition(), 5);

    page.edtDisplaySaida->setCursorPosition(9);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(page.edtDisplaySaida, &up);
    EXPECT_EQ(page.focusWidget(), page.edtTextoSaida);
    EXPECT_EQ(page.edtTextoSaida->cursorPosition(), 9);

    // Up from line 1 and down from line 2 stay where they are.
    QKeyEvent upAgain(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(page.edtTextoSaida, &upAgain);
    EXPECT_EQ(page.focusWidget(), page.edtTextoSaida);
}

TEST_F(DisplayTextsTest, DirectionTextsFollowTheMountingUnlessTyped)
{
    const TMessages& m = link.messages;
    PutDirectionTexts(page, m, false);
    EXPECT_EQ(page.edtTextoEntrada->text(), m.Lookup(u"ENTRADA_INVERTIDA"_s));
    EXPECT_EQ(page.edtTextoSaida->text(), m.Lookup(u"SAIDA_INVERTIDA"_s));

    page.edtTextoSaida->setText(u"Tchau"_s);
    SwapDirectionTexts(page, m, true);
    EXPECT_EQ(page.edtTextoEntrada->text(), m.Lookup(u"ENTRADA_NORMAL"_s));
    EXPECT_EQ(page.edtTextoSaida->text(), u"Tchau"_s);

    SwapDirectionTexts(page, m, false);
    EXPECT_EQ(page.edtTextoEntrada->text(), m.Lookup(u"ENTRADA_INVERTIDA"_s));
}

} // namespace
} // namespace zul

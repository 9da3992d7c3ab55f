#include "app/OnlinePage.h"

#include "access/DisplayTexts.h"
#include "support/Clock.h"

#include <QApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// The page is a view of the display state: these check the binding both ways and the editing
// the operator does in the editors themselves.
class OnlinePageTest : public ::testing::Test
{
protected:
    ManualClock clock{QDateTime(QDate(2026, 1, 5), QTime(8, 0))};
    OnlineDisplay display{clock};
    OnlinePage page{display};
};

TEST_F(OnlinePageTest, ShowsTheDisplayStateAsBuilt)
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
        EXPECT_EQ(OnlinePage::colorOf(w), OnlineDisplay::PanelColor) << w->objectName().toStdString();
    EXPECT_TRUE(page.edtDisplay->font().fixedPitch());
    // The Windows colour form: 0x00BBGGRR.
    EXPECT_EQ(OnlinePage::fromWindowsColor(OnlineDisplay::PanelColor), QColor(158, 210, 2));
    EXPECT_EQ(OnlinePage::fromWindowsColor(OnlineDisplay::BlinkColor), QColor(204, 253, 57));
}

TEST_F(OnlinePageTest, FitsTheMainWindow)
{
    // The editors are sized for a fixed-pitch face; the page takes any the system has.
    if (!QFontInfo(page.edtDisplay->font()).fixedPitch())
        GTEST_SKIP() << "no fixed-pitch font on this system (a Wine prefix without fonts)";
    page.resize(640, 200);
    EXPECT_LE(page.minimumSizeHint().width(), 640);
    EXPECT_LE(page.minimumSizeHint().height(), 200);
}

TEST_F(OnlinePageTest, TypedTextAndChoicesReachTheDisplayState)
{
    page.edtDisplay->setText(u"Bom dia"_s);
    page.edtTextoSaida->setText(u"Tchau"_s);
    EXPECT_EQ(display.line2(DisplayMessage::Standing), u"Bom dia"_s);
    EXPECT_EQ(display.line1(DisplayMessage::Exit), u"Tchau"_s);

    display.SetServerTimeSource([] { return QDateTime(QDate(2026, 2, 1), QTime(14, 30)); });
    page.rbtDtHoraSaida->setChecked(true);
    EXPECT_TRUE(display.dateTimeMode(DisplayMessage::Exit));
    EXPECT_EQ(page.edtTextoSaida->text(), u" 01/02/26 14:30 "_s);
    EXPECT_TRUE(page.edtTextoSaida->isReadOnly());

    page.rbtTextoSaida->setChecked(true);
    EXPECT_FALSE(display.dateTimeMode(DisplayMessage::Exit));
    EXPECT_EQ(page.edtTextoSaida->text(), u"Tchau"_s);
    EXPECT_FALSE(page.edtTextoSaida->isReadOnly());
}

TEST_F(OnlinePageTest, ChangesOfTheDisplayStateAreShown)
{
    display.setLine2(DisplayMessage::Entry, u"JOÃO"_s);
    display.setConfirmation(true, u"Passou"_s);
    display.setPanelColor(false, OnlineDisplay::BlinkColor);
    ChooseTextDisplay(display, DisplayMessage::Standing);
    EXPECT_EQ(page.edtDisplayEntrada->text(), u"JOÃO"_s);
    EXPECT_EQ(page.lblConfirmaEntrada->text(), u"Passou"_s);
    for (QWidget* w : {static_cast<QWidget*>(page.edtTextoSaida), static_cast<QWidget*>(page.edtDisplaySaida),
                       static_cast<QWidget*>(page.panVerdeSaida)})
        EXPECT_EQ(OnlinePage::colorOf(w), OnlineDisplay::BlinkColor) << w->objectName().toStdString();
    EXPECT_EQ(OnlinePage::colorOf(page.panVerdeEntrada), OnlineDisplay::PanelColor);
    EXPECT_TRUE(page.rbtTexto->isChecked());
    EXPECT_FALSE(page.edtTexto->isReadOnly());
    EXPECT_EQ(page.edtTexto->text(), QString());
    // Showing the choice chose nothing a second time: the text kept aside is still empty.
    EXPECT_EQ(display.savedText(DisplayMessage::Standing), QString());
}

TEST_F(OnlinePageTest, TypingStopsAtSixteenCharacters)
{
    QLineEdit* editor = page.edtDisplay;
    editor->setText(u"0123456789ABCDEF"_s);
    editor->setCursorPosition(16);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, u"X"_s);
    QApplication::sendEvent(editor, &press);
    EXPECT_EQ(editor->text(), u"0123456789ABCDEF"_s);

    // A name put in by the program is not cut, and may still be shortened.
    display.setLine2(DisplayMessage::Standing, u"MARIA APARECIDA SOUZA"_s);
    EXPECT_EQ(editor->text().size(), 21);
    editor->setCursorPosition(21);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(editor, &backspace);
    EXPECT_EQ(editor->text(), u"MARIA APARECIDA SOUZ"_s);
    EXPECT_EQ(display.line2(DisplayMessage::Standing), u"MARIA APARECIDA SOUZ"_s);
}

TEST_F(OnlinePageTest, EnteringAnEditorFillsItToSixteen)
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
    EXPECT_EQ(display.line2(DisplayMessage::Entry), u"MARIA APARECIDA "_s);
}

TEST_F(OnlinePageTest, ArrowKeysMoveBetweenTheLinesAtTheSameColumn)
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

} // namespace
} // namespace zul

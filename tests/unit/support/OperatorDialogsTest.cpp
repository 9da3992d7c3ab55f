#include "support/OperatorDialogs.h"

#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace zul;

namespace {

class NonBlockingDialogsTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock{QDateTime(QDate(2026, 1, 5), QTime(8, 0))};
    ActivityLog log{clock, dir.path()};
    NonBlockingDialogs dialogs{log};

    QByteArray logged() const
    {
        QFile file(log.filePathFor(QDate(2026, 1, 5)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(NonBlockingDialogsTest, MessagesGoToTheLogAsOneLine)
{
    dialogs.message(OperatorDialogs::Icon::Error, QStringLiteral("Erro"),
                    QStringLiteral("Falha.\r\n\r\nVerifique a conexão."));
    dialogs.message(OperatorDialogs::Icon::Information, QString(), QStringLiteral("Sucesso!"));
    EXPECT_EQ(logged(), QByteArray("05/01/2026 08:00:00\t[Erro] Falha.  Verifique a conex\xE3o.\r\n"
                                   "05/01/2026 08:00:00\tSucesso!\r\n"));
}

TEST_F(NonBlockingDialogsTest, QuestionsTakeTheSafeDefaultAndInputsAreCancelled)
{
    EXPECT_TRUE(
        dialogs.ask(OperatorDialogs::Icon::Question, QStringLiteral("T"), QStringLiteral("Sim?"), true));
    EXPECT_FALSE(
        dialogs.ask(OperatorDialogs::Icon::Question, QStringLiteral("T"), QStringLiteral("Não?"), false));
    EXPECT_EQ(dialogs.input(QStringLiteral("Porta para Conexão"), QStringLiteral("Informe:"),
                            QStringLiteral("211")),
              std::nullopt);
    EXPECT_EQ(
        logged(),
        QByteArray(
            "05/01/2026 08:00:00\t[T] Sim? -> Sim (sem operador)\r\n"
            "05/01/2026 08:00:00\t[T] N\xE3o? -> N\xE3o (sem operador)\r\n"
            "05/01/2026 08:00:00\t[Porta para Conex\xE3o] Informe: [211] -> Cancela (sem operador)\r\n"));
}

TEST(ScriptedDialogsTest, AnswersInOrderAndRecordsEverythingShown)
{
    test::ScriptedDialogs dialogs;
    dialogs.queueAnswer(false);
    dialogs.queueInput(QStringLiteral("0830"));
    dialogs.queueInput(std::nullopt);

    dialogs.message(OperatorDialogs::Icon::Error, QStringLiteral("Erro"),
                    QStringLiteral("Horário Inválido!"));
    EXPECT_FALSE(
        dialogs.ask(OperatorDialogs::Icon::Question, QStringLiteral("S"), QStringLiteral("Sair?"), true));
    EXPECT_EQ(dialogs.input(QStringLiteral("C"), QStringLiteral("P"), QStringLiteral("00:00")),
              QStringLiteral("0830"));
    EXPECT_EQ(dialogs.input(QStringLiteral("C"), QStringLiteral("P"), QStringLiteral("08:30")), std::nullopt);
    EXPECT_TRUE(
        dialogs.ask(OperatorDialogs::Icon::Question, QStringLiteral("S"), QStringLiteral("Sair?"), true));

    ASSERT_EQ(dialogs.shown.size(), 5);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Horário Inválido!"));
    EXPECT_EQ(dialogs.shown[2].value, QStringLiteral("00:00"));
    EXPECT_EQ(dialogs.texts(),
              (QStringList{QStringLiteral("Horário Inválido!"), QStringLiteral("Sair?"), QStringLiteral("P"),
                           QStringLiteral("P"), QStringLiteral("Sair?")}));
    EXPECT_EQ(dialogs.unscripted, 1);
    EXPECT_TRUE(dialogs.allAnswersUsed());
}

} // namespace

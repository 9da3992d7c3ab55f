#include "support/OperatorDialogs.h"

#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
    dialogs.message(OperatorDialogs::Icon::Error, u"Erro"_s, u"Falha.\r\n\r\nVerifique a conexão."_s);
    dialogs.message(OperatorDialogs::Icon::Information, QString(), u"Sucesso!"_s);
    EXPECT_EQ(logged(), QByteArray("05/01/2026 08:00:00\t[Erro] Falha.  Verifique a conex\xE3o.\r\n"
                                   "05/01/2026 08:00:00\tSucesso!\r\n"));
}

TEST_F(NonBlockingDialogsTest, QuestionsTakeTheSafeDefaultAndInputsAreCancelled)
{
    EXPECT_TRUE(dialogs.ask(OperatorDialogs::Icon::Question, u"T"_s, u"Sim?"_s, true));
    EXPECT_FALSE(dialogs.ask(OperatorDialogs::Icon::Question, u"T"_s, u"Não?"_s, false));
    EXPECT_EQ(dialogs.input(u"Porta para Conexão"_s, u"Informe:"_s, u"211"_s), std::nullopt);
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
    dialogs.queueInput(u"0830"_s);
    dialogs.queueInput(std::nullopt);

    dialogs.message(OperatorDialogs::Icon::Error, u"Erro"_s, u"Horário Inválido!"_s);
    EXPECT_FALSE(dialogs.ask(OperatorDialogs::Icon::Question, u"S"_s, u"Sair?"_s, true));
    EXPECT_EQ(dialogs.input(u"C"_s, u"P"_s, u"00:00"_s), u"0830"_s);
    EXPECT_EQ(dialogs.input(u"C"_s, u"P"_s, u"08:30"_s), std::nullopt);
    EXPECT_TRUE(dialogs.ask(OperatorDialogs::Icon::Question, u"S"_s, u"Sair?"_s, true));

    ASSERT_EQ(dialogs.shown.size(), 5);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.shown[0].text, u"Horário Inválido!"_s);
    EXPECT_EQ(dialogs.shown[2].value, u"00:00"_s);
    EXPECT_EQ(dialogs.texts(), (QStringList{u"Horário Inválido!"_s, u"Sair?"_s, u"P"_s, u"P"_s, u"Sair?"_s}));
    EXPECT_EQ(dialogs.unscripted, 1);
    EXPECT_TRUE(dialogs.allAnswersUsed());
}

} // namespace

#include "support/Messages.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace Qt::StringLiterals;

using zul::TMessages;

namespace {

struct CatalogueLine
{
    int number;
    const char16_t* key;
    qsizetype length;
};

void PrintTo(const CatalogueLine& line, std::ostream* os)
{
    *os << QString::fromUtf16(line.key).toStdString();
}

// Position, key and text length of every built-in line, in catalogue order.
const CatalogueLine kCatalogue[] = {
    {1, u"PARA O TRADUTOR", 196},
    {2, u"Excl", 18},
    {3, u"TENTANDO", 28},
    {4, u"CONECTADA", 17},
    {5, u"NAO_CONECTOU", 24},
    {6, u"FECHE_CONEX", 15},
    {7, u"DESCONECT", 20},
    {8, u"FALHA_DESCON", 28},
    {9, u"FALHA_DLL", 42},
    {10, u"DLL_NOT_FOUND", 30},
    {11, u"DLL_ERRO", 28},
    {12, u"TEM_CERTEZA", 57},
    {13, u"ATENCAO", 17},
    {14, u"SUCESSO", 8},
    {15, u"BD_EXCLUIDO_OK", 48},
    {16, u"BD_EXCLUIDO_ERRO", 43},
    {17, u"ERRO", 4},
    {18, u"ATUALIZA_CATRACA", 28},
    {19, u"ATUALIZANDO", 15},
    {20, u"AGUARDE", 16},
    {21, u"CONFIRMAR", 18},
    {22, u"PASSOU", 19},
    {23, u"NAO_PASSOU", 22},
    {24, u"PORTA_TITULO", 24},
    {25, u"PORTA", 6},
    {26, u"PORTA_INV", 15},
    {27, u"SERIAL", 20},
    {28, u"TCP", 18},
    {29, u"APP_HINT", 18},
    {30, u"APP_NAME", 18},
    {31, u"SAIR_TITLE", 32},
    {32, u"SAIR", 65},
    {33, u"DESCONECTOU", 32},
    {34, u"CONFIG_OFF", 41},
    {35, u"CONFIG_OFF_OK", 43},
    {36, u"ERRO_CONFIG_OFF", 45},
    {37, u"MESSAGE_OFF", 29},
    {38, u"MESSAGE_OFF_OK", 39},
    {39, u"ERRO_MESSAGE_OFF", 33},
    {40, u"MESSAGE_CONFIG_OK", 55},
    {41, u"SINCRONIZANDO", 34},
    {42, u"SINCRONISMO_OK", 44},
    {43, u"SINCRONISMO_ERRO", 41},
    {44, u"BD_EXCLUINDO", 51},
    {45, u"DB_EXCLUINDO_REG", 70},
    {46, u"ATUALIZA_OK", 30},
    {47, u"ATUALIZA_ERRO", 35},
    {48, u"AGENDAR_TITULO", 33},
    {49, u"AGENDAR", 23},
    {50, u"HORARIO_INV", 17},
    {51, u"AGENDADO", 21},
    {52, u"AGENDE", 16},
    {53, u"BIO_AGENDA", 10},
    {54, u"LISTANDO", 41},
    {55, u"INSERINDO_RESTANTE", 32},
    {56, u"EXCLUINDO_RESTANTE", 32},
    {57, u"ERRO_ORA", 51},
    {58, u"ERRO_DESCRICAO", 78},
    {59, u"NAO_CONN_BD", 34},
    {60, u"SINC_BIO", 16},
    {61, u"CAT_LIVRE", 16},
    {62, u"ENTR_INV", 32},
    {63, u"PINGS", 6},
    {64, u"LOOPS", 7},
    {65, u"ADO", 5},
    {66, u"ESV", 13},
    {67, u"SINC", 13},
    {68, u"ATU", 8},
    {69, u"PREPARANDO_SINC", 36},
    {70, u"PORTA_ADO", 15},
    {71, u"PORTA_ADO_TITULO", 18},
    {72, u"PORTA_ADO_INF", 50},
    {73, u"MNUPORTAADO", 17},
    {74, u"ENTRADA_NORMAL", 15},
    {75, u"ENTRADA_INVERTIDA", 15},
    {76, u"SAIDA_NORMAL", 14},
    {77, u"SAIDA_INVERTIDA", 14},
    {78, u"RECEBENDO", 29},
    {79, u"RECEBIDOS", 20},
    {80, u"ORACLE_OFFLINE", 32},
    {81, u"1MENU", 59},
    {82, u"MEDIA", 12},
    {83, u"LOADED", 69},
    {84, u"FORA_DO_AR", 32},
    {85, u"SAIR_SERV", 61},
    {86, u"LOG_CATRACA", 10},
};

class CatalogueLineTest : public ::testing::TestWithParam<CatalogueLine>
{
};

TEST_P(CatalogueLineTest, SitsAtItsPlaceWithItsExactLength)
{
    const CatalogueLine& expected = GetParam();
    const QString key = QString::fromUtf16(expected.key);
    const QString line = TMessages::builtInLines().at(expected.number - 1);
    EXPECT_TRUE(line.startsWith(key + u'|')) << line.toStdString();
    EXPECT_EQ(TMessages().Lookup(key).size(), expected.length) << key.toStdString();
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, CatalogueLineTest, ::testing::ValuesIn(kCatalogue),
                         [](const auto& lineInfo) { return "line" + std::to_string(lineInfo.param.number); });

TEST(MessagesTest, HoldsExactlyTheBuiltInLines)
{
    TMessages messages;
    EXPECT_EQ(messages.Messages.size(), 86);
    EXPECT_EQ(messages.Messages, TMessages::builtInLines());
}

TEST(MessagesTest, EveryKeyIsUniqueWhateverItsCase)
{
    TMessages messages;
    for (const CatalogueLine& line : kCatalogue) {
        const QString key = QString::fromUtf16(line.key);
        EXPECT_EQ(messages.Lookup(key.toLower()), messages.Lookup(key));
        int count = 0;
        for (const QString& text : messages.Messages)
            count += text.startsWith(key + u'|', Qt::CaseInsensitive) ? 1 : 0;
        EXPECT_EQ(count, 1) << key.toStdString();
    }
}

struct ExactText
{
    const char16_t* key;
    const char16_t* text;
};

void PrintTo(const ExactText& sample, std::ostream* os)
{
    *os << QString::fromUtf16(sample.key).toStdString();
}

class ExactTextTest : public ::testing::TestWithParam<ExactText>
{
};

TEST_P(ExactTextTest, LooksUpToTheExactText)
{
    EXPECT_EQ(TMessages().Lookup(QString::fromUtf16(GetParam().key)), QString::fromUtf16(GetParam().text));
}

// Texts whose spacing, line breaks, accents or quoting are easy to get wrong.
INSTANTIATE_TEST_SUITE_P(
    Samples, ExactTextTest,
    ::testing::Values(
        ExactText{u"AGUARDE", u"   AGUARDE...   "},
        ExactText{u"DESCONECTOU", u"    CATRACA       DESCONECTADA  "},
        ExactText{u"SAIR", u"A catraca está online.\r\nConfirma saída do Gerenciador da Catraca?"},
        ExactText{u"ERRO_DESCRICAO",
                  u"%S.\r\n\r\nVerifique a conexão com o Banco de Dados e conecte novamente à catraca."},
        ExactText{u"ERRO_ORA", u"Não é possível conectar ao Banco de Dados ORACLE.\r\n"},
        ExactText{u"DLL_NOT_FOUND", u"A DLL \"%S\" não foi encontrada."},
        ExactText{u"NAO_CONN_BD", u" [Não conectou ao banco de dados!]"},
        ExactText{u"SAIDA_NORMAL", u"  Saída >>>>>>"},
        ExactText{u"FORA_DO_AR", u"Servidor Catraca Foi  Desligado "},
        ExactText{u"LOADED", u"Apenas uma instância desta aplicação pode ser carregada pelo Windows."},
        ExactText{u"LOG_CATRACA", u"LogCatraca"}, ExactText{u"PORTA_ADO", u"PortaADOCatraca"},
        ExactText{u"BIO_AGENDA", u"DTHRAgeBio"}),
    [](const auto& sample) { return QString::fromUtf16(sample.param.key).toStdString(); });

TEST(MessagesTest, KeysIgnoreCaseButTextsKeepTheirs)
{
    TMessages messages;
    EXPECT_EQ(messages.Lookup(u"loaded"_s), messages.Lookup(u"LOADED"_s));
    EXPECT_EQ(messages.Lookup(u"excl"_s), u"Confirma exclusão?"_s);
    EXPECT_EQ(messages.Lookup(u"Para o Tradutor"_s).left(10), u"Atenção!!!"_s);
}

TEST(MessagesTest, KeyNeverMatchesALongerKeyWithTheSameStart)
{
    TMessages messages;
    EXPECT_EQ(messages.Lookup(u"PORTA"_s), u"Porta:"_s);
    EXPECT_EQ(messages.Lookup(u"PORTA_ADO"_s), u"PortaADOCatraca"_s);
    EXPECT_EQ(messages.Lookup(u"ERRO"_s), u"Erro"_s);
    EXPECT_EQ(messages.Lookup(u"PORT"_s), QString());
}

TEST(MessagesTest, MissingEmptyOrUnlistedKeysGiveTheEmptyText)
{
    TMessages messages;
    EXPECT_EQ(messages.Lookup(QString()), QString());
    EXPECT_EQ(messages.Lookup(u"NAO_EXISTE"_s), QString());
    EXPECT_EQ(messages.Lookup(u"|"_s), QString());
    messages.Messages.clear();
    EXPECT_EQ(messages.Lookup(u"LOADED"_s), QString());
}

TEST(MessagesTest, OnlyAsciiLettersAreFolded)
{
    TMessages messages;
    messages.Messages = {u"AÇÃO|upper"_s, u"ação|lower"_s};
    EXPECT_EQ(messages.Lookup(u"AÇÃO"_s), u"upper"_s);
    EXPECT_EQ(messages.Lookup(u"aÇÃo"_s), u"upper"_s);
    EXPECT_EQ(messages.Lookup(u"ação"_s), u"lower"_s);
}

TEST(MessagesTest, LastLineOfARepeatedKeyWins)
{
    TMessages messages;
    messages.Messages << u"sucesso|Feito"_s << u"OUTRA|x"_s;
    EXPECT_EQ(messages.Lookup(u"SUCESSO"_s), u"Feito"_s);
    messages.Messages << u"SUCESSO|"_s << u"SUCESSO"_s;
    EXPECT_EQ(messages.Lookup(u"SUCESSO"_s), QString());
}

TEST(MessagesTest, TextIsEverythingAfterTheFirstBar)
{
    TMessages messages;
    messages.Messages = {u"A|b|c "_s};
    EXPECT_EQ(messages.Lookup(u"a"_s), u"b|c "_s);
}

struct FormatCase
{
    const char16_t* key;
    QStringList args;
    const char16_t* expected;
};

void PrintTo(const FormatCase& format, std::ostream* os)
{
    *os << QString::fromUtf16(format.key).toStdString() << '(' << format.args.join(u',').toStdString() << ')';
}

class FormatTest : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatTest, ReplacesEachPlaceholderInTurn)
{
    const FormatCase& c = GetParam();
    const TMessages messages;
    const QString key = QString::fromUtf16(c.key);
    EXPECT_EQ(messages.Format(key, c.args), QString::fromUtf16(c.expected));
    // A text looked up once and filled in again and again reads the same.
    EXPECT_EQ(TMessages::Fill(messages.Lookup(key), c.args), QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, FormatTest,
    ::testing::Values(FormatCase{u"MEDIA", {u"12"_s}, u"[12S/Pessoa]"},
                      FormatCase{u"MNUPORTAADO", {u"305"_s}, u"Porta Socket (305)"},
                      FormatCase{u"DB_EXCLUINDO_REG",
                                 {u"3"_s, u"40"_s},
                                 u"Esvaziando Banco de Dados Biométricos da Catraca(registro 3 de 40)..."},
                      FormatCase{
                          u"DLL_ERRO", {u"EasyInner.dll"_s}, u"Erro ao carregar a DLL \"EasyInner.dll\"."},
                      FormatCase{u"SERIAL", {u"%S"_s}, u"&Serial   (Porta %S)"},
                      FormatCase{u"AGENDADO", {}, u"Agendar &Horário ()"},
                      FormatCase{u"SUCESSO", {u"x"_s}, u"Sucesso!"},
                      FormatCase{u"NAO_EXISTE", {u"x"_s}, u""}),
    [](const auto& format) { return QString::fromUtf16(format.param.key).toStdString(); });

} // namespace

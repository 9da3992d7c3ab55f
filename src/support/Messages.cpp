#include "support/Messages.h"

using namespace Qt::StringLiterals;

namespace zul {

namespace {

char16_t asciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

// Keys are ASCII; only ASCII letters are folded, so no locale or Unicode case rule can make
// two different keys meet.
bool startsWithKey(QStringView line, QStringView key)
{
    if (line.size() <= key.size() || line[key.size()] != u'|')
        return false;
    for (qsizetype i = 0; i < key.size(); ++i) {
        if (asciiUpper(line[i].unicode()) != asciiUpper(key[i].unicode()))
            return false;
    }
    return true;
}

} // namespace

const QStringList& TMessages::builtInLines()
{
    // Spacing inside the texts is laid out for the turnstile's two 16-character display
    // lines: never trim or reflow these.
    static const QStringList lines{
        u"PARA O TRADUTOR|Atenção!!!\r\nAo traduzir este programa, observar a quantidade de "
        "espaço entre as palavras, pois os mesmos JAMAIS devem ser alterados, devido à "
        "quantidade limitada de caracteres no visor da catraca."_s,
        u"Excl|Confirma exclusão?"_s,
        u"TENTANDO|Tentando conectar catraca..."_s,
        u"CONECTADA|Catraca conectada"_s,
        u"NAO_CONECTOU|Conexão não estabelecida"_s,
        u"FECHE_CONEX|Feche a conexão"_s,
        u"DESCONECT|Catraca desconectada"_s,
        u"FALHA_DESCON|Falha ao desconecar catraca."_s,
        u"FALHA_DLL|Falha na comunicação com a DLL da catraca."_s,
        u"DLL_NOT_FOUND|A DLL \"%S\" não foi encontrada."_s,
        u"DLL_ERRO|Erro ao carregar a DLL \"%S\"."_s,
        u"TEM_CERTEZA|Deseja excluir todos os cadastros biométricos da catraca?"_s,
        u"ATENCAO|Atenção, Cuidado!"_s,
        u"SUCESSO|Sucesso!"_s,
        u"BD_EXCLUIDO_OK|Banco de dados da catraca esvaziado com sucesso."_s,
        u"BD_EXCLUIDO_ERRO|Erro ao esvaziar banco de dados da catraca."_s,
        u"ERRO|Erro"_s,
        u"ATUALIZA_CATRACA|Atualizando dados na catraca"_s,
        u"ATUALIZANDO|Atualizando Bio"_s,
        u"AGUARDE|   AGUARDE...   "_s,
        u"CONFIRMAR|Confirmar passagem"_s,
        u"PASSOU|Passagem confirmada"_s,
        u"NAO_PASSOU|Não completou passagem"_s,
        u"PORTA_TITULO|Informar número da porta"_s,
        u"PORTA|Porta:"_s,
        u"PORTA_INV|Porta inválida!"_s,
        u"SERIAL|&Serial   (Porta %S)"_s,
        u"TCP|TCP/&IP (Porta %S)"_s,
        u"APP_HINT|Catraca Biométrica"_s,
        u"APP_NAME|Catraca Biométrica"_s,
        u"SAIR_TITLE|Catraca Biométrica - Gerenciador"_s,
        u"SAIR|A catraca está online.\r\nConfirma saída do Gerenciador da Catraca?"_s,
        u"DESCONECTOU|    CATRACA       DESCONECTADA  "_s,
        u"CONFIG_OFF|Configurando catraca para Modo OffLine..."_s,
        u"CONFIG_OFF_OK|Configurações OffLine enviadas com sucesso!"_s,
        u"ERRO_CONFIG_OFF|Erro ao configurar catraca para Modo OffLine!"_s,
        u"MESSAGE_OFF|Enviando Mensagens OffLine..."_s,
        u"MESSAGE_OFF_OK|Mensagens OffLine enviadas com sucesso!"_s,
        u"ERRO_MESSAGE_OFF|Erro ao enviar Mensagens OffLine!"_s,
        u"MESSAGE_CONFIG_OK|Configurações e Mensagens OffLine enviados com sucesso!"_s,
        u"SINCRONIZANDO|Sincronizando dados biométricos..."_s,
        u"SINCRONISMO_OK|Dados biométricos sincronizados com sucesso!"_s,
        u"SINCRONISMO_ERRO|Erro no sincronismo de dados biométricos!"_s,
        u"BD_EXCLUINDO|Esvaziando Banco de Dados Biométricos da Catraca..."_s,
        u"DB_EXCLUINDO_REG|Esvaziando Banco de Dados Biométricos da Catraca(registro %S de %S)..."_s,
        u"ATUALIZA_OK|Dados atualizados com sucesso!"_s,
        u"ATUALIZA_ERRO|Erro ao atualizar dados na catraca!"_s,
        u"AGENDAR_TITULO|Horário do Sincronismo Automático"_s,
        u"AGENDAR|Horário (HH:MM ou HHMM)"_s,
        u"HORARIO_INV|Horário Inválido!"_s,
        u"AGENDADO|Agendar &Horário (%S)"_s,
        u"AGENDE|Agendar &Horário"_s,
        u"BIO_AGENDA|DTHRAgeBio"_s,
        u"LISTANDO|Listando registros a serem atualizados..."_s,
        u"INSERINDO_RESTANTE|Inserindo dados [restante %S]..."_s,
        u"EXCLUINDO_RESTANTE|Excluindo dados [restante %S]..."_s,
        u"ERRO_ORA|Não é possível conectar ao Banco de Dados ORACLE.\r\n"_s,
        u"ERRO_DESCRICAO|%S.\r\n\r\nVerifique a conexão com o Banco de Dados e conecte "
        "novamente à catraca."_s,
        u"NAO_CONN_BD| [Não conectou ao banco de dados!]"_s,
        u"SINC_BIO|SINCRONISMO  BIO"_s,
        u"CAT_LIVRE| CATRACA  LIVRE "_s,
        u"ENTR_INV|    Digital      Nao Cadastrada "_s,
        u"PINGS|Sckt: "_s,
        u"LOOPS|Loops: "_s,
        u"ADO|ADO: "_s,
        u"ESV|Esvaziar BD: "_s,
        u"SINC|Sincronismo: "_s,
        u"ATU|AtuBio: "_s,
        u"PREPARANDO_SINC|Preparando para sincronizar dados..."_s,
        u"PORTA_ADO|PortaADOCatraca"_s,
        u"PORTA_ADO_TITULO|Porta para Conexão"_s,
        u"PORTA_ADO_INF|Informe a porta para conexão com o banco de dados:"_s,
        u"MNUPORTAADO|Porta Socket (%S)"_s,
        u"ENTRADA_NORMAL| <<<<<< Entrada"_s,
        u"ENTRADA_INVERTIDA| Entrada >>>>>>"_s,
        u"SAIDA_NORMAL|  Saída >>>>>>"_s,
        u"SAIDA_INVERTIDA| <<<<<<  Saída"_s,
        u"RECEBENDO|Recebendo dados da catraca..."_s,
        u"RECEBIDOS|Dados salvos em: %S."_s,
        u"ORACLE_OFFLINE| Banco de Dados  ORACLE OffLine "_s,
        u"1MENU|Pelo menos um tipo de autenticação deve existir na catraca."_s,
        u"MEDIA|[%SS/Pessoa]"_s,
        u"LOADED|Apenas uma instância desta aplicação pode ser carregada pelo Windows."_s,
        u"FORA_DO_AR|Servidor Catraca Foi  Desligado "_s,
        u"SAIR_SERV|Esta aplicação não pode ser finalizada através deste comando."_s,
        u"LOG_CATRACA|LogCatraca"_s,
    };
    return lines;
}

TMessages::TMessages() : Messages(builtInLines()) {}

QString TMessages::Lookup(const QString& key) const
{
    QString result;
    if (key.isEmpty())
        return result;
    // No early exit: a key listed twice answers with its last line.
    for (const QString& line : Messages) {
        if (startsWithKey(line, key))
            result = line.mid(key.size() + 1);
    }
    return result;
}

QString TMessages::Format(const QString& key, const QStringList& args) const
{
    return Fill(Lookup(key), args);
}

QString TMessages::Fill(const QString& text, const QStringList& args)
{
    QString result;
    result.reserve(text.size());
    qsizetype next = 0;
    qsizetype from = 0;
    // Arguments are inserted as they are, never scanned again, so an argument holding "%S"
    // stays intact. A placeholder with no argument left is replaced by nothing.
    for (qsizetype at = text.indexOf(u"%S"); at >= 0; at = text.indexOf(u"%S", from)) {
        result += QStringView(text).mid(from, at - from);
        if (next < args.size())
            result += args[next];
        ++next;
        from = at + 2;
    }
    result += QStringView(text).mid(from);
    return result;
}

} // namespace zul

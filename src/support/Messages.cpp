#include "support/Messages.h"

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
        QStringLiteral("PARA O TRADUTOR|Atenção!!!\r\nAo traduzir este programa, observar a quantidade de "
                       "espaço entre as palavras, pois os mesmos JAMAIS devem ser alterados, devido à "
                       "quantidade limitada de caracteres no visor da catraca."),
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("TENTANDO|Tentando conectar catraca..."),
        QStringLiteral("CONECTADA|Catraca conectada"),
        QStringLiteral("NAO_CONECTOU|Conexão não estabelecida"),
        QStringLiteral("FECHE_CONEX|Feche a conexão"),
        QStringLiteral("DESCONECT|Catraca desconectada"),
        QStringLiteral("FALHA_DESCON|Falha ao desconecar catraca."),
        QStringLiteral("FALHA_DLL|Falha na comunicação com a DLL da catraca."),
        QStringLiteral("DLL_NOT_FOUND|A DLL \"%S\" não foi encontrada."),
        QStringLiteral("DLL_ERRO|Erro ao carregar a DLL \"%S\"."),
        QStringLiteral("TEM_CERTEZA|Deseja excluir todos os cadastros biométricos da catraca?"),
        QStringLiteral("ATENCAO|Atenção, Cuidado!"),
        QStringLiteral("SUCESSO|Sucesso!"),
        QStringLiteral("BD_EXCLUIDO_OK|Banco de dados da catraca esvaziado com sucesso."),
        QStringLiteral("BD_EXCLUIDO_ERRO|Erro ao esvaziar banco de dados da catraca."),
        QStringLiteral("ERRO|Erro"),
        QStringLiteral("ATUALIZA_CATRACA|Atualizando dados na catraca"),
        QStringLiteral("ATUALIZANDO|Atualizando Bio"),
        QStringLiteral("AGUARDE|   AGUARDE...   "),
        QStringLiteral("CONFIRMAR|Confirmar passagem"),
        QStringLiteral("PASSOU|Passagem confirmada"),
        QStringLiteral("NAO_PASSOU|Não completou passagem"),
        QStringLiteral("PORTA_TITULO|Informar número da porta"),
        QStringLiteral("PORTA|Porta:"),
        QStringLiteral("PORTA_INV|Porta inválida!"),
        QStringLiteral("SERIAL|&Serial   (Porta %S)"),
        QStringLiteral("TCP|TCP/&IP (Porta %S)"),
        QStringLiteral("APP_HINT|Catraca Biométrica"),
        QStringLiteral("APP_NAME|Catraca Biométrica"),
        QStringLiteral("SAIR_TITLE|Catraca Biométrica - Gerenciador"),
        QStringLiteral("SAIR|A catraca está online.\r\nConfirma saída do Gerenciador da Catraca?"),
        QStringLiteral("DESCONECTOU|    CATRACA       DESCONECTADA  "),
        QStringLiteral("CONFIG_OFF|Configurando catraca para Modo OffLine..."),
        QStringLiteral("CONFIG_OFF_OK|Configurações OffLine enviadas com sucesso!"),
        QStringLiteral("ERRO_CONFIG_OFF|Erro ao configurar catraca para Modo OffLine!"),
        QStringLiteral("MESSAGE_OFF|Enviando Mensagens OffLine..."),
        QStringLiteral("MESSAGE_OFF_OK|Mensagens OffLine enviadas com sucesso!"),
        QStringLiteral("ERRO_MESSAGE_OFF|Erro ao enviar Mensagens OffLine!"),
        QStringLiteral("MESSAGE_CONFIG_OK|Configurações e Mensagens OffLine enviados com sucesso!"),
        QStringLiteral("SINCRONIZANDO|Sincronizando dados biométricos..."),
        QStringLiteral("SINCRONISMO_OK|Dados biométricos sincronizados com sucesso!"),
        QStringLiteral("SINCRONISMO_ERRO|Erro no sincronismo de dados biométricos!"),
        QStringLiteral("BD_EXCLUINDO|Esvaziando Banco de Dados Biométricos da Catraca..."),
        QStringLiteral(
            "DB_EXCLUINDO_REG|Esvaziando Banco de Dados Biométricos da Catraca(registro %S de %S)..."),
        QStringLiteral("ATUALIZA_OK|Dados atualizados com sucesso!"),
        QStringLiteral("ATUALIZA_ERRO|Erro ao atualizar dados na catraca!"),
        QStringLiteral("AGENDAR_TITULO|Horário do Sincronismo Automático"),
        QStringLiteral("AGENDAR|Horário (HH:MM ou HHMM)"),
        QStringLiteral("HORARIO_INV|Horário Inválido!"),
        QStringLiteral("AGENDADO|Agendar &Horário (%S)"),
        QStringLiteral("AGENDE|Agendar &Horário"),
        QStringLiteral("BIO_AGENDA|DTHRAgeBio"),
        QStringLiteral("LISTANDO|Listando registros a serem atualizados..."),
        QStringLiteral("INSERINDO_RESTANTE|Inserindo dados [restante %S]..."),
        QStringLiteral("EXCLUINDO_RESTANTE|Excluindo dados [restante %S]..."),
        QStringLiteral("ERRO_ORA|Não é possível conectar ao Banco de Dados ORACLE.\r\n"),
        QStringLiteral("ERRO_DESCRICAO|%S.\r\n\r\nVerifique a conexão com o Banco de Dados e conecte "
                       "novamente à catraca."),
        QStringLiteral("NAO_CONN_BD| [Não conectou ao banco de dados!]"),
        QStringLiteral("SINC_BIO|SINCRONISMO  BIO"),
        QStringLiteral("CAT_LIVRE| CATRACA  LIVRE "),
        QStringLiteral("ENTR_INV|    Digital      Nao Cadastrada "),
        QStringLiteral("PINGS|Sckt: "),
        QStringLiteral("LOOPS|Loops: "),
        QStringLiteral("ADO|ADO: "),
        QStringLiteral("ESV|Esvaziar BD: "),
        QStringLiteral("SINC|Sincronismo: "),
        QStringLiteral("ATU|AtuBio: "),
        QStringLiteral("PREPARANDO_SINC|Preparando para sincronizar dados..."),
        QStringLiteral("PORTA_ADO|PortaADOCatraca"),
        QStringLiteral("PORTA_ADO_TITULO|Porta para Conexão"),
        QStringLiteral("PORTA_ADO_INF|Informe a porta para conexão com o banco de dados:"),
        QStringLiteral("MNUPORTAADO|Porta Socket (%S)"),
        QStringLiteral("ENTRADA_NORMAL| <<<<<< Entrada"),
        QStringLiteral("ENTRADA_INVERTIDA| Entrada >>>>>>"),
        QStringLiteral("SAIDA_NORMAL|  Saída >>>>>>"),
        QStringLiteral("SAIDA_INVERTIDA| <<<<<<  Saída"),
        QStringLiteral("RECEBENDO|Recebendo dados da catraca..."),
        QStringLiteral("RECEBIDOS|Dados salvos em: %S."),
        QStringLiteral("ORACLE_OFFLINE| Banco de Dados  ORACLE OffLine "),
        QStringLiteral("1MENU|Pelo menos um tipo de autenticação deve existir na catraca."),
        QStringLiteral("MEDIA|[%SS/Pessoa]"),
        QStringLiteral("LOADED|Apenas uma instância desta aplicação pode ser carregada pelo Windows."),
        QStringLiteral("FORA_DO_AR|Servidor Catraca Foi  Desligado "),
        QStringLiteral("SAIR_SERV|Esta aplicação não pode ser finalizada através deste comando."),
        QStringLiteral("LOG_CATRACA|LogCatraca"),
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
    const QString text = Lookup(key);
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

#include "sync/TemplateSync.h"

#include "access/TurnstileRelease.h"
#include "db/Statements.h"
#include "db/XConnection.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Text.h"
#include "support/Win1252.h"
#include "sync/DeviceUserList.h"
#include "sync/SyncTiming.h"
#include "sync/SyncUi.h"

#include <algorithm>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

const QString ParamName = u"P_NRPESSOA"_s;

// A failed template query, between blank lines in the log.
void LogTemplateQueryError(const ActivityLog& log, const std::exception& error)
{
    log.write(QString());
    log.write(u"Get templates - ERRO: "_s + ErrorText(error));
    log.write(QString());
}

// The position of a field among the packet's (names compared as the in-memory table does), -1
// when it has none.
qsizetype packetField(const DataPacket& packet, const QString& name)
{
    const QList<MemFieldDef>& fields = packet.Fields();
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Runs `action` when the scope is left, by return or by exception.
template <class Action> struct AtExit
{
    Action action;
    ~AtExit() { action(); }
};
template <class Action> AtExit(Action) -> AtExit<Action>;

} // namespace

TemplateSync::TemplateSync(DeviceBinding& device, TXConnection& connection, DeviceUserList& users, SyncUi& ui)
    : m_device(device), m_connection(connection), m_users(users), m_ui(ui)
{
    for (auto [query, provider] :
         {std::pair{&xqrTemplatesAll, &dspTemplatesAll}, std::pair{&xqrTemplates, &dspTemplates},
          std::pair{&xqrTemplatesOfPerson, &dspTemplatesOfPerson},
          std::pair{&xqrTemplateNumbers, &dspTemplateNumbers}}) {
        query->SetConnection(&m_connection);
        query->SetProvider(provider);
    }
}

void TemplateSync::prepareQueries()
{
    // The connection's profile, and with it the dialect, may change between two calls.
    const db::SqlDialect dialect = m_connection.Dialect();
    if (m_preparedDialect == int(dialect))
        return;
    xqrTemplatesAll.Close();
    xqrTemplates.Close();
    xqrTemplatesOfPerson.Close();
    xqrTemplateNumbers.Close();
    xqrTemplatesAll.SetSQL(db::StatementText(db::StatementId::TemplatesAll, dialect));
    xqrTemplates.SetSQL(db::StatementText(db::StatementId::Templates, dialect));
    xqrTemplatesOfPerson.SetSQL(db::StatementText(db::StatementId::TemplatesOf, dialect));
    xqrTemplateNumbers.SetSQL(db::StatementText(db::StatementId::TemplateNumbersAll, dialect));
    m_preparedDialect = int(dialect);
}

QString TemplateSync::standingFree() const
{
    const TMessages& messages = m_device.messages();
    return messages.Lookup(u"CAT_LIVRE"_s) + messages.Lookup(u"SINC_BIO"_s);
}

QString TemplateSync::RecordUserCode(const QByteArray& record)
{
    const QByteArray field = record.mid(1, 10);
    const qsizetype end = field.indexOf('\0');
    return fromWin1252(end < 0 ? field : field.left(end));
}

DataPacket TemplateSync::GetTemplates(const std::optional<QString>& personNumber)
{
    const ActivityLog& log = m_device.log();
    try {
        prepareQueries();
        DataPacket packet;
        if (!personNumber) {
            log.write(u"Buscar todos os templates[GetTemplatesAll]"_s);
            xqrTemplatesAll.Close();
            packet = dspTemplatesAll.GetData();
        } else {
            log.write(u"Buscar template da pessoa _"_s + *personNumber);
            xqrTemplates.Close();
            xqrTemplates.ParamByName(ParamName).SetAsString(u'_' + *personNumber + u'_');
            packet = dspTemplates.GetData();
        }
        log.write(u"Retornou templates"_s);
        return packet;
    } catch (const std::exception& error) {
        LogTemplateQueryError(log, error);
        return {};
    }
}

// The template rows a synchronisation works through, with the log lines of GetTemplates. A
// controller that already holds the person of every row needs none of the templates themselves
// (844 bytes a row, most of what reading them costs): the person numbers are read first, and all
// the templates, in the one query of GetTemplates, only when somebody is to be sent.
DataPacket TemplateSync::syncTemplates(bool listRead)
{
    const ActivityLog& log = m_device.log();
    try {
        prepareQueries();
        log.write(u"Buscar todos os templates[GetTemplatesAll]"_s);
        DataPacket packet;
        // An empty controller lacks everybody the database may have.
        const bool compare = listRead && !m_users.cdsUsersCatraca.IsEmpty();
        if (compare) {
            xqrTemplateNumbers.Close();
            packet = dspTemplateNumbers.GetData();
        }
        if (!compare || !everyRowListed(packet)) {
            xqrTemplatesAll.Close();
            packet = dspTemplatesAll.GetData();
        }
        log.write(u"Retornou templates"_s);
        return packet;
    } catch (const std::exception& error) {
        LogTemplateQueryError(log, error);
        return {};
    }
}

// Whether the insertion phase would find every row's person in the controller's list, each
// listed user standing for one row: a person with two rows needs two users of that code.
bool TemplateSync::everyRowListed(const DataPacket& numbers)
{
    MemTable& list = m_users.cdsUsersCatraca;
    if (numbers.IsEmpty() || numbers.RowCount() > list.RecordCount())
        return false;
    if (numbers.RowCount() == 0)
        return true;
    const qsizetype column = packetField(numbers, NRPESSOA);
    if (column < 0)
        return false;
    const int userField = list.RequireField(DeviceUserList::CDUSER);
    QHash<QString, int> unmatched;
    unmatched.reserve(list.RecordCount());
    for (list.First(); !list.Eof(); list.Next())
        ++unmatched[list.StringAt(userField)];
    for (const std::vector<QVariant>& row : numbers.Rows()) {
        const auto found = unmatched.find(row.at(std::size_t(column)).toString());
        if (found == unmatched.end() || found.value() == 0)
            return false;
        --found.value();
    }
    return true;
}

// The person's own rows are looked up through the key first: the substring search of
// GetTemplates reads every person, which would make a synchronisation quadratic. Only a code
// that names nobody exactly falls back to it (a code with something after the number), and then
// the person whose number covers most of the code is taken, never just the first row returned,
// which may belong to somebody whose shorter number happens to occur in it.
QByteArray TemplateSync::currentTemplate(const QString& userCode)
{
    const ActivityLog& log = m_device.log();
    DataPacket packet;
    log.write(u"Buscar template da pessoa _"_s + userCode);
    if (const std::optional<QByteArray> found = fetchedTemplate(userCode)) {
        log.write(u"Retornou templates"_s);
        return checkedTemplate(userCode, *found);
    }
    try {
        prepareQueries();
        xqrTemplatesOfPerson.Close();
        xqrTemplatesOfPerson.ParamByName(ParamName).SetAsString(userCode);
        packet = dspTemplatesOfPerson.GetData();
        if (packet.RowCount() == 0) {
            xqrTemplates.Close();
            xqrTemplates.ParamByName(ParamName).SetAsString(u'_' + userCode + u'_');
            packet = dspTemplates.GetData();
        }
        log.write(u"Retornou templates"_s);
    } catch (const std::exception& error) {
        LogTemplateQueryError(log, error);
        throw Error(u"a consulta dos templates falhou"_s);
    }

    MemTable templates;
    templates.LoadFromPacket(packet);
    std::optional<QByteArray> chosen;
    qsizetype chosenLength = -1;
    for (templates.First(); !templates.Eof(); templates.Next()) {
        const QString number = templates.AsString(NRPESSOA);
        if (number == userCode) {
            chosen = templates.AsBytes(TXDIGITALCATRAC);
            break;
        }
        if (number.size() > chosenLength) {
            chosen = templates.AsBytes(TXDIGITALCATRAC);
            chosenLength = number.size();
        }
    }
    if (!chosen)
        throw Error(u"nenhum template da pessoa "_s + userCode + u" no banco de dados"_s);
    return checkedTemplate(userCode, *chosen);
}

std::optional<QByteArray> TemplateSync::fetchedTemplate(const QString& userCode)
{
    if (m_syncTemplates.IsEmpty())
        return std::nullopt;
    if (!m_fetched) {
        const qsizetype numberField = packetField(m_syncTemplates, NRPESSOA);
        const qsizetype recordField = packetField(m_syncTemplates, TXDIGITALCATRAC);
        // Rows of person numbers only (an unchanged controller) hold nothing to send.
        if (numberField < 0 || recordField < 0)
            return std::nullopt;
        m_fetched.emplace();
        m_fetched->reserve(m_syncTemplates.RowCount());
        for (const std::vector<QVariant>& row : m_syncTemplates.Rows()) {
            const QString number = row.at(std::size_t(numberField)).toString();
            if (!m_fetched->contains(number))
                m_fetched->insert(number, row.at(std::size_t(recordField)).toByteArray());
        }
    }
    if (const auto found = m_fetched->constFind(userCode); found != m_fetched->cend())
        return *found;
    return std::nullopt;
}

QByteArray TemplateSync::checkedTemplate(const QString& userCode, const QByteArray& record)
{
    if (record.size() != RecordSize)
        throw Error(u"template da pessoa %1 com %2 bytes, esperados %3"_s.arg(userCode)
                        .arg(record.size())
                        .arg(RecordSize));
    return record;
}

int TemplateSync::IncludeDeviceUser(const QByteArray& record, const QString& userCode)
{
    using namespace easyinner;
    DeviceBinding& device = m_device;
    const ActivityLog& log = device.log();
    try {
        QByteArray templateRecord;
        if (IsBlank(userCode)) {
            // A cut or padded record would be stored as if it were a fingerprint.
            if (record.size() != RecordSize)
                throw Error(u"template com %1 bytes, esperados %2"_s.arg(record.size()).arg(RecordSize));
            templateRecord = record;
        } else {
            templateRecord = currentTemplate(userCode);
        }
        const QByteArray code = toWin1252(userCode);
        device.Invoke<IncluirUsuarioSemDigitalBio>(code.constData());
        log.write(u"Incluindo usuário na catraca: "_s + userCode);
        device.Invoke<EnviarListaUsuariosSemDigitalBio>(device.deviceNumber());
        device.Invoke<EnviarUsuarioBio>(device.deviceNumber(),
                                        reinterpret_cast<const u8*>(templateRecord.constData()));
        if (device.lastResult() == 0)
            WaitForDeviceReply(device, 2);
        // The controller's own confirmation decides, whatever the sending answered.
        device.Invoke<UsuarioFoiEnviado>(device.deviceNumber(), 0);
        if (device.lastResult() == 0)
            log.write(u"Usuário incluído"_s);
        else
            log.write(u"Usuário não incluído. Erro["_s + QString::number(device.lastResult()) + u']');
        return device.lastResult();
    } catch (const std::exception& error) {
        log.write(u"Incluir usuário - ERRO: "_s + ErrorText(error));
        return 1;
    }
}

int TemplateSync::DeleteDeviceUser(const QString& userCode)
{
    using namespace easyinner;
    DeviceBinding& device = m_device;
    const ActivityLog& log = device.log();
    device.RecordResult(1);
    log.write(u"Exclusão de usuário: "_s + userCode);
    const QByteArray code = toWin1252(userCode);
    device.Invoke<SolicitarExclusaoUsuario>(device.deviceNumber(), code.constData());
    if (device.lastResult() == 0)
        WaitForDeviceReply(device, 1);
    device.Invoke<UsuarioFoiExcluido>(device.deviceNumber(), 0);
    if (device.lastResult() == 0)
        log.write(u"Excluído"_s);
    else
        log.write(u"Não excluído. Erro["_s + QString::number(device.lastResult()) + u']');
    return device.lastResult();
}

int TemplateSync::UpdateDeviceUser(const QString& userCode)
{
    DeleteDeviceUser(userCode);
    m_device.clock().pause(100);
    return IncludeDeviceUser({}, userCode);
}

bool TemplateSync::SynchroniseTemplates()
{
    const std::optional<LinkOwnership::Claim> claim = m_device.link().claim(LinkHolder::Synchronisation);
    if (!claim)
        throw Error(u"sincronismo recusado: catraca em uso ("_s +
                    LinkOwnership::holderName(m_device.link().holder()) + u")"_s);
    return synchronise();
}

bool TemplateSync::synchronise()
{
    DeviceBinding& device = m_device;
    const ActivityLog& log = device.log();
    const TMessages& messages = device.messages();
    // Whatever happens, the turnstile is set up again from its first state afterwards.
    const AtExit restart{[&] {
        m_fetched.reset();
        m_syncTemplates = {};
        device.IniCatraca();
    }};

    Clock& clock = device.clock();
    const qint64 start = clock.elapsedMs();
    int items = 0;
    int failedInclusions = 0;
    int failedDeletions = 0;
    QString failure;

    log.write(u"Liberou catraca para sincronismo"_s);
    // Sent again before every row, and the status texts shown for every row: built once.
    const QByteArray standing = StandingDisplayBytes(device, standingFree());
    SendMessageAndRelease(device, standing);
    device.ShowStatus(status::Synchronising);
    const bool listRead = m_users.CollectDeviceUserList();
    device.ShowStatus(status::GivenText, messages.Lookup(u"LISTANDO"_s));
    const DataPacket packet = syncTemplates(listRead);

    MemTable& list = m_users.cdsUsersCatraca;
    if (packet.IsEmpty()) {
        device.ShowStatus(status::SyncError);
        failure = u"a consulta dos templates falhou; nada foi alterado na catraca"_s;
    } else if (!listRead) {
        // Without the controller's list nothing can be compared, and deleting from an old one
        // could remove people who are allowed in.
        device.ShowStatus(status::SyncError);
        failure = u"a lista de usuários da catraca não pôde ser lida; nada foi alterado na catraca"_s;
    } else {
        cdsTemplates.LoadFromPacket(packet);
        // The persons' templates as this one query returned them; an inclusion takes its code's
        // first row from here and queries only for a code that names no person exactly.
        m_syncTemplates = packet;
        items = cdsTemplates.RecordCount();
        int numberField = -1;
        int recordField = -1;
        int userField = -1;
        if (items > 0) {
            numberField = cdsTemplates.RequireField(NRPESSOA);
            userField = list.RequireField(DeviceUserList::CDUSER);
        }
        log.write(u"Total de usuários no banco de dados ORACLE: "_s + QString::number(items));
        const QString inserting = messages.Lookup(u"INSERINDO_RESTANTE"_s);
        while (!cdsTemplates.IsEmpty()) {
            cdsTemplates.First();
            SendMessageAndRelease(device, standing);
            device.ShowStatus(status::GivenText,
                              TMessages::Fill(inserting, {QString::number(cdsTemplates.RecordCount())}));
            const QString number = cdsTemplates.StringAt(numberField);
            if (list.LocateAt(userField, number)) {
                // Already in the controller: not sent again.
                list.Delete();
                cdsTemplates.Delete();
                continue;
            }
            // Rows of person numbers only come with a list that holds every one of them.
            if (recordField < 0)
                recordField = cdsTemplates.RequireField(TXDIGITALCATRAC);
            const QByteArray record = cdsTemplates.BytesAt(recordField);
            int result = 1;
            if (record.size() != RecordSize)
                log.write(
                    u"Incluir usuário - ERRO: template da pessoa %1 com %2 bytes, esperados %3"_s.arg(number)
                        .arg(record.size())
                        .arg(RecordSize));
            else
                result = IncludeDeviceUser(record, RecordUserCode(record));
            if (result != 0) {
                ++failedInclusions;
                device.ShowStatus(status::SyncError);
            }
            cdsTemplates.Delete();
        }

        items += list.RecordCount();
        const QString deleting = messages.Lookup(u"EXCLUINDO_RESTANTE"_s);
        const int listedField = list.IsEmpty() ? -1 : list.RequireField(DeviceUserList::CDUSER);
        while (!list.IsEmpty()) {
            list.First();
            SendMessageAndRelease(device, standing);
            device.ShowStatus(status::GivenText,
                              TMessages::Fill(deleting, {QString::number(list.RecordCount())}));
            const QString code = list.StringAt(listedField);
            if (DeleteDeviceUser(code) != 0)
                ++failedDeletions;
            list.First();
            if (!list.Eof())
                list.Delete();
        }
        if (failedInclusions + failedDeletions > 0)
            failure = u"%1 inclusões e %2 exclusões não confirmadas pela catraca"_s.arg(failedInclusions)
                          .arg(failedDeletions);
    }

    log.write(TimingText(messages, u"SINC"_s, clock.elapsedMs() - start, items));
    if (failure.isEmpty()) {
        device.ShowStatus(status::SyncOk);
    } else {
        device.ShowStatus(status::SyncError);
        log.write(u"Sincronismo - ERRO: "_s + failure);
    }
    m_ui.setSyncTiming(TimingText(messages, u"SINC"_s, clock.elapsedMs() - start, items));
    return failure.isEmpty();
}

bool TemplateSync::SynchroniseNow()
{
    DeviceBinding& device = m_device;
    const ActivityLog& log = device.log();
    const TMessages& messages = device.messages();
    const std::optional<LinkOwnership::Claim> claim = device.link().claim(LinkHolder::Synchronisation);
    if (!claim) {
        log.write(u"Sincronismo manual - ERRO: catraca em uso ("_s +
                  LinkOwnership::holderName(device.link().holder()) + u")"_s);
        return false;
    }
    device.ShowStatus(status::PreparingSync);
    log.write(u"Sincronismo de dados manual"_s);
    if (!device.ConnectDevice())
        return false;
    const QByteArray waiting = toWin1252(messages.Lookup(u"AGUARDE"_s) + messages.Lookup(u"ATUALIZANDO"_s));
    device.Call<easyinner::EnviarMensagemPadraoOnLine>(device.deviceNumber(), 0, waiting.constData());
    const bool synchronised = synchronise();
    if (m_sendStandingMessage)
        m_sendStandingMessage();
    if (synchronised)
        log.write(u"Sincronismo manual efetuado com sucesso!"_s);
    else
        log.write(u"Sincronismo manual - ERRO: "_s + messages.Lookup(u"SINCRONISMO_ERRO"_s));
    return synchronised;
}

} // namespace zul

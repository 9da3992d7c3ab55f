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
          std::pair{&xqrTemplatesOfPerson, &dspTemplatesOfPerson}}) {
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
    xqrTemplatesAll.SetSQL(db::StatementText(db::StatementId::TemplatesAll, dialect));
    xqrTemplates.SetSQL(db::StatementText(db::StatementId::Templates, dialect));
    xqrTemplatesOfPerson.SetSQL(db::StatementText(db::StatementId::TemplatesOf, dialect));
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
        log.write(QString());
        log.write(u"Get templates - ERRO: "_s + ErrorText(error));
        log.write(QString());
        return {};
    }
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
    if (m_fetched) {
        if (const auto found = m_fetched->constFind(userCode); found != m_fetched->cend()) {
            log.write(u"Retornou templates"_s);
            return checkedTemplate(userCode, *found);
        }
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
        log.write(QString());
        log.write(u"Get templates - ERRO: "_s + ErrorText(error));
        log.write(QString());
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
        device.IniCatraca();
    }};

    Clock& clock = device.clock();
    const qint64 start = clock.elapsedMs();
    int items = 0;
    int failedInclusions = 0;
    int failedDeletions = 0;
    QString failure;

    log.write(u"Liberou catraca para sincronismo"_s);
    // Sent again before every row: built once.
    const QString standing = standingFree();
    ShowMessageAndRelease(device, standing);
    device.ShowStatus(status::Synchronising);
    const bool listRead = m_users.CollectDeviceUserList();
    device.ShowStatus(status::GivenText, messages.Lookup(u"LISTANDO"_s));
    const DataPacket packet = GetTemplates(std::nullopt);

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
        m_fetched.emplace();
        m_fetched->reserve(cdsTemplates.RecordCount());
        for (cdsTemplates.First(); !cdsTemplates.Eof(); cdsTemplates.Next()) {
            const QString number = cdsTemplates.AsString(NRPESSOA);
            if (!m_fetched->contains(number))
                m_fetched->insert(number, cdsTemplates.AsBytes(TXDIGITALCATRAC));
        }
        cdsTemplates.First();
        items = cdsTemplates.RecordCount();
        log.write(u"Total de usuários no banco de dados ORACLE: "_s + QString::number(items));
        while (!cdsTemplates.IsEmpty()) {
            cdsTemplates.First();
            ShowMessageAndRelease(device, standing);
            device.ShowStatus(
                status::GivenText,
                messages.Format(u"INSERINDO_RESTANTE"_s, {QString::number(cdsTemplates.RecordCount())}));
            const QString number = cdsTemplates.AsString(NRPESSOA);
            if (list.Locate(DeviceUserList::CDUSER, number)) {
                // Already in the controller: not sent again.
                list.Delete();
                cdsTemplates.Delete();
                continue;
            }
            const QByteArray record = cdsTemplates.AsBytes(TXDIGITALCATRAC);
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
        while (!list.IsEmpty()) {
            list.First();
            ShowMessageAndRelease(device, standing);
            device.ShowStatus(status::GivenText, messages.Format(u"EXCLUINDO_RESTANTE"_s,
                                                                 {QString::number(list.RecordCount())}));
            const QString code = list.AsString(DeviceUserList::CDUSER);
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

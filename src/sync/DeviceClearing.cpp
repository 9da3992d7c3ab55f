#include "sync/DeviceClearing.h"

#include "access/TurnstileRelease.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Messages.h"
#include "support/OperatorDialogs.h"
#include "sync/DeviceUserList.h"
#include "sync/SyncTiming.h"
#include "sync/SyncUi.h"
#include "sync/TemplateSync.h"

#include <QStringList>

namespace zul {

using namespace Qt::StringLiterals;

namespace {} // namespace

DeviceClearing::DeviceClearing(DeviceBinding& device, DeviceUserList& users, TemplateSync& templates,
                               SyncUi& ui, OperatorDialogs& dialogs)
    : m_device(device), m_users(users), m_templates(templates), m_ui(ui), m_dialogs(dialogs)
{}

bool DeviceClearing::ClearNow()
{
    const TMessages& messages = m_device.messages();
    // Held from the question on: the box dispatches window messages while it waits.
    const std::optional<LinkOwnership::Claim> claim = claimLink();
    if (!claim)
        return false;
    if (!m_dialogs.ask(OperatorDialogs::Icon::Warning, messages.Lookup(u"ATENCAO"_s),
                       messages.Lookup(u"TEM_CERTEZA"_s), false))
        return false;
    m_device.RequestStop();
    m_device.ShowStatus(status::Clearing);
    const int result = clear();
    if (result == 0) {
        m_device.ShowStatus(status::Cleared);
        m_dialogs.message(OperatorDialogs::Icon::Information, messages.Lookup(u"SUCESSO"_s),
                          messages.Lookup(u"BD_EXCLUIDO_OK"_s));
    } else {
        m_device.ShowStatus(status::ClearingError);
        m_dialogs.message(OperatorDialogs::Icon::Error, messages.Lookup(u"ERRO"_s),
                          messages.Lookup(u"BD_EXCLUIDO_ERRO"_s));
    }
    m_device.IniCatraca();
    return result == 0;
}

std::optional<LinkOwnership::Claim> DeviceClearing::claimLink()
{
    std::optional<LinkOwnership::Claim> claim = m_device.link().claim(LinkHolder::Clearing);
    if (!claim)
        m_device.log().write(u"Limpar base de dados - ERRO: catraca em uso ("_s +
                             LinkOwnership::holderName(m_device.link().holder()) + u")"_s);
    return claim;
}

int DeviceClearing::ClearDeviceDatabase()
{
    const std::optional<LinkOwnership::Claim> claim = claimLink();
    if (!claim)
        return 1;
    return clear();
}

int DeviceClearing::clear()
{
    DeviceBinding& device = m_device;
    const ActivityLog& log = device.log();
    const TMessages& messages = device.messages();
    Clock& clock = device.clock();

    int result = 1;
    const qint64 start = clock.elapsedMs();
    log.write(u"Limpar base de dados da catraca"_s);
    if (!device.ConnectDevice())
        return 1;

    const QString free = messages.Lookup(u"CAT_LIVRE"_s) + messages.Lookup(u"SINC_BIO"_s);
    ShowMessageAndRelease(device, free);
    const bool firstRead = m_users.CollectDeviceUserList();
    ShowMessageAndRelease(device, free);

    // The codes are copied before the walk: each deletion waits for the controller while window
    // messages are dispatched, and the list must stay as it was read.
    QStringList codes;
    if (firstRead) {
        MemTable& list = m_users.cdsUsersCatraca;
        for (list.First(); !list.Eof(); list.Next())
            codes << list.AsString(DeviceUserList::CDUSER);
    }
    const int total = int(codes.size());
    for (int row = 0; row < total; ++row) {
        ShowMessageAndRelease(device, free);
        device.ShowStatus(
            status::GivenText,
            messages.Format(u"DB_EXCLUINDO_REG"_s, {QString::number(row + 1), QString::number(total)}));
        m_templates.DeleteDeviceUser(codes.at(row));
    }

    const bool secondRead = m_users.CollectDeviceUserList();
    ShowMessageAndRelease(device, free);
    if (!firstRead || !secondRead) {
        // An empty table proves nothing when the controller's list could not be read at all.
        log.write(u"Limpar base de dados - ERRO: a lista de usuários da catraca não pôde ser lida"_s);
    } else if (m_users.cdsUsersCatraca.IsEmpty()) {
        result = 0;
        log.write(u"Base de dados da catraca limpa com sucesso"_s);
    } else {
        log.write(u"Nem todos os dados da catraca foram excluídos. Restante: "_s +
                  QString::number(m_users.cdsUsersCatraca.RecordCount()));
    }
    if (m_sendStandingMessage)
        m_sendStandingMessage();
    m_ui.setClearingTiming(TimingText(messages, u"ESV"_s, clock.elapsedMs() - start, total));
    return result;
}

} // namespace zul

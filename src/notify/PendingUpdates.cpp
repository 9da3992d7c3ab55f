#include "notify/PendingUpdates.h"

#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "notify/NotificationServer.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Text.h"
#include "support/Win1252.h"
#include "sync/SyncTiming.h"
#include "sync/SyncUi.h"
#include "sync/TemplateSync.h"

#include <algorithm>

namespace zul {

using namespace Qt::StringLiterals;

namespace {} // namespace

PendingUpdates::PendingUpdates(DeviceBinding& device, TemplateSync& templates, SyncUi& ui, QStringList& queue,
                               Hooks hooks)
    : m_device(device), m_templates(templates), m_ui(ui), m_queue(queue), m_hooks(std::move(hooks))
{}

void PendingUpdates::RunQueueStep()
{
    if (m_queue.isEmpty())
        return;
    DeviceBinding& device = m_device;
    // Only the online loop runs the step, on its own link; should anything else be working on
    // the link, the entry waits in the queue for a later pass rather than interleave with it.
    const std::optional<LinkOwnership::Claim> claim = device.link().claim(LinkHolder::QueueStep);
    if (!claim)
        return;
    const TMessages& messages = device.messages();
    device.ShowStatus(status::Updating);
    device.RecordResult(1);
    const QByteArray waiting = toWin1252(messages.Lookup(u"AGUARDE"_s) + messages.Lookup(u"ATUALIZANDO"_s));
    device.Call<easyinner::EnviarMensagemPadraoOnLine>(device.deviceNumber(), 0, waiting.constData());

    const QString entry = m_queue.first();
    device.log().write(u"Usuário na fila a ser inserido: "_s + entry);
    const int result = ProcessNotification(entry);
    device.RecordResult(result);
    const bool success = IsSuccess(result);
    device.ShowStatus(success ? status::Updated : status::UpdateError);
    if (m_hooks.broadcast)
        m_hooks.broadcast(entry, success ? u"[OK]"_s : u"[ER]"_s);
    // Texts queued during the device waits went to the end, and nothing else carries out or
    // removes entries while this step owns the link: the entry carried out is still the first.
    // Anything else there (the queue was emptied meanwhile, and the same text sent again) has
    // not been carried out and stays.
    if (!m_queue.isEmpty() && m_queue.first() == entry)
        m_queue.removeFirst();
    if (m_hooks.sendStandingMessage)
        m_hooks.sendStandingMessage();
}

int PendingUpdates::ProcessNotification(const QString& text)
{
    DeviceBinding& device = m_device;
    Clock& clock = device.clock();
    int result = 1;
    const qint64 start = clock.elapsedMs();
    try {
        const QString number = NotificationPersonNumber(text);
        // With no person there is no database template to send, and nothing else may be; nor
        // is there anybody to delete.
        const bool marked =
            text.contains(u"[INS]"_s) || text.contains(u"[DEL]"_s) || text.contains(u"[UPD]"_s);
        if (marked && IsBlank(number))
            throw Error(u"notificação sem número de pessoa: "_s + text);
        if (text.contains(u"[INS]"_s))
            result = m_templates.IncludeDeviceUser({}, number);
        else if (text.contains(u"[DEL]"_s))
            result = m_templates.DeleteDeviceUser(number);
        else if (text.contains(u"[UPD]"_s))
            result = m_templates.UpdateDeviceUser(number);
        else
            result = device.lastResult();
        m_ui.setUpdateTiming(device.messages().Lookup(u"ATU"_s) + FormatElapsed(clock.elapsedMs() - start));
    } catch (const std::exception& error) {
        device.log().write(u"Gere BD ERRO: "_s + ErrorText(error));
    }
    return result;
}

} // namespace zul

#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace zul {

class DeviceBinding;
class SyncUi;
class TemplateSync;

// Carries out the queued change notifications ("[INS]", "[DEL]", "[UPD]" + person number) on
// the controller, one per pass of the online loop, and tells every client the outcome.
class PendingUpdates
{
public:
    struct Hooks
    {
        // BroadcastToClients(text, prefix) of the notification server.
        std::function<void(const QString& text, const QString& prefix)> broadcast;
        // SendStandingMessage: the standing message back on the display.
        std::function<int()> sendStandingMessage;
    };

    // `queue` is the notification server's pending queue, oldest first.
    PendingUpdates(DeviceBinding& device, TemplateSync& templates, SyncUi& ui, QStringList& queue,
                   Hooks hooks);
    PendingUpdates(const PendingUpdates&) = delete;
    PendingUpdates& operator=(const PendingUpdates&) = delete;

    bool HasPendingUpdate() const { return !m_queue.isEmpty(); }

    // The queue step: carries out the oldest notification, answers "[OK]" or "[ER]" with its
    // whole text, removes it and restores the standing message. Nothing when the queue is empty
    // or another operation works on the link.
    void RunQueueStep();

    // Carries out one notification; its result byte (0 and 131 mean success).
    int ProcessNotification(const QString& text);

    static bool IsSuccess(int result) { return result == 0 || result == 131; }

private:
    DeviceBinding& m_device;
    TemplateSync& m_templates;
    SyncUi& m_ui;
    QStringList& m_queue;
    Hooks m_hooks;
};

} // namespace zul

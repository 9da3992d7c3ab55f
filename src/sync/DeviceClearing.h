#pragma once

#include "device/LinkOwnership.h"

#include <functional>
#include <optional>

namespace zul {

class DeviceBinding;
class DeviceUserList;
class OperatorDialogs;
class SyncUi;
class TemplateSync;

// "&Limpar BD da Catraca": deletes every biometric user from the controller, one at a time,
// and checks the outcome by listing the controller again.
class DeviceClearing
{
public:
    DeviceClearing(DeviceBinding& device, DeviceUserList& users, TemplateSync& templates, SyncUi& ui,
                   OperatorDialogs& dialogs);
    DeviceClearing(const DeviceClearing&) = delete;
    DeviceClearing& operator=(const DeviceClearing&) = delete;

    // `SendStandingMessage`: the standing message back on the display after the clearing.
    void setStandingMessage(std::function<int()> sendStandingMessage)
    {
        m_sendStandingMessage = std::move(sendStandingMessage);
    }

    // The menu command: asks first; on Yes stops the online loop, clears, shows the outcome
    // and restarts the turnstile. Returns whether the controller was left empty (false also
    // when the operator said No).
    bool ClearNow();

    // 0 when the controller's list is empty afterwards, otherwise 1 (also when another
    // operation works on the link, which is then left alone).
    int ClearDeviceDatabase();

private:
    std::optional<LinkOwnership::Claim> claimLink();
    // ClearDeviceDatabase with the link already claimed.
    int clear();

    DeviceBinding& m_device;
    DeviceUserList& m_users;
    TemplateSync& m_templates;
    SyncUi& m_ui;
    OperatorDialogs& m_dialogs;
    std::function<int()> m_sendStandingMessage;
};

} // namespace zul

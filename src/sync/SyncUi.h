#pragma once

#include <QString>

namespace zul {

// The labels of the status panel that the biometric operations fill in. The main window
// implements it; the status line itself goes through DeviceBinding::ShowStatus.
class SyncUi
{
public:
    virtual ~SyncUi() = default;

    // `lblSinc`: duration and average of the last synchronisation.
    virtual void setSyncTiming(const QString& text) = 0;
    // `lblEsv`: duration and average of the last clearing of the controller.
    virtual void setClearingTiming(const QString& text) = 0;
    // `lblAtu`: duration of the last change notification carried out.
    virtual void setUpdateTiming(const QString& text) = 0;
};

} // namespace zul

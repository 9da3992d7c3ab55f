#pragma once

#include "db/MemTable.h"

#include <QString>

namespace zul {

class DeviceBinding;

// Waits one to two seconds longer than `seconds` for the controller, dispatching window
// messages every millisecond; LastDeviceResult holds 128 while waiting, and an operation run
// from the dispatch that changes it ends the wait early.
void WaitForDeviceReply(DeviceBinding& device, int seconds);

// The controller's biometric users as last read (`cdsUsersCatraca`, one field CDUSER).
class DeviceUserList
{
public:
    static inline const QString CDUSER = QStringLiteral("CDUSER");

    explicit DeviceUserList(DeviceBinding& device) : m_device(device) {}
    DeviceUserList(const DeviceUserList&) = delete;
    DeviceUserList& operator=(const DeviceUserList&) = delete;

    // Reads the controller's whole list into cdsUsersCatraca, packet by packet. True when the
    // list was read afresh; false when the library has no list entry point, in which case the
    // table keeps whatever it held.
    bool CollectDeviceUserList();

    // Open once a collection has read the list; the order of its rows means nothing.
    MemTable cdsUsersCatraca;

    // Set while a synchronisation or a clearing walks the list: the device waits dispatch
    // window messages, and a second one started from a menu would replace the tables under
    // the first.
    bool Busy = false;

private:
    DeviceBinding& m_device;
};

} // namespace zul

#pragma once

#include "db/MemTable.h"

#include <QString>

namespace zul {

using namespace Qt::StringLiterals;

class DeviceBinding;

// Waits `seconds` to `seconds` + 1 seconds for the controller (until the whole-second tick
// passes the deadline second), dispatching window messages as they arrive; the last result
// is WaitingForReply while waiting, and an operation run from the dispatch that changes it ends the wait
// early.
void WaitForDeviceReply(DeviceBinding& device, int seconds);

// The controller's biometric users as last read (`cdsUsersCatraca`, one field CDUSER).
class DeviceUserList
{
public:
    static inline const QString CDUSER = u"CDUSER"_s;

    explicit DeviceUserList(DeviceBinding& device) : m_device(device) {}
    DeviceUserList(const DeviceUserList&) = delete;
    DeviceUserList& operator=(const DeviceUserList&) = delete;

    // How far one collection goes before it gives up on a controller that keeps saying there
    // is more. The controller does not tell how many users it holds, so the bounds are
    // generous: far above what a controller stores, yet reached within seconds when it spins.
    struct Limits
    {
        // Packet requests in one collection.
        int packets = 4096;
        // Entries asked for in one collection, refused ones included.
        int entries = 65536;
        // Entries refused one after the other: a refused entry may never leave the packet.
        int refusedInARow = 64;
    };

    // Reads the controller's whole list into cdsUsersCatraca, packet by packet. True when the
    // list was read afresh. False when the library has no list entry point, in which case the
    // table keeps whatever it held, or when a bound of `limits` was reached, which is logged
    // and leaves the table with what was read until then: a list that may be incomplete.
    bool CollectDeviceUserList();

    Limits limits;

    // Open once a collection has read the list; the order of its rows means nothing.
    MemTable cdsUsersCatraca;

private:
    DeviceBinding& m_device;
};

} // namespace zul

#include "platform/StopSignal.h"

namespace zul::platform {

// The service control manager stops the Windows program; there is no signal to turn.
int installStopSignal()
{
    return -1;
}

bool drainStopSignal(int)
{
    return false;
}

} // namespace zul::platform

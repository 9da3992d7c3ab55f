#pragma once

namespace zul::platform {

// Turns the system's request to stop the process (SIGTERM or SIGINT, as a service manager or
// a terminal sends it) into something the main thread can wait for: a descriptor that becomes
// readable when the request arrives. The signal handler only writes one byte to it, which is
// all that is safe there. Returns -1 where the platform stops the program another way (the
// Windows service control manager); installing twice returns the same descriptor.
int installStopSignal();

// Reads the pending bytes of the descriptor, so it waits for the next request. Returns whether
// a request was pending.
bool drainStopSignal(int descriptor);

} // namespace zul::platform

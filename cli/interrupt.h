// Ctrl+C and SIGTERM for a station: the first asks it to finish what is in flight
// and stop; a second one asks it to stop at once (each run cut short still writes
// its record).
#pragma once

namespace quorvane {

// Installs the handler for both signals. The count it keeps is the process's own
// signal state, the one thing here that cannot belong to an object.
void CatchInterrupt();
// How many stop signals have come so far.
int InterruptCount();

}  // namespace quorvane

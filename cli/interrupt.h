// Ctrl+C for a station that keeps going: the first SIGINT asks it to finish what is
// in flight and stop; a second one ends the program at once, as usual.
#pragma once

namespace quorvane {

// Installs the handler. The flag it sets is the process's own signal state, the one
// thing here that cannot belong to an object.
void CatchInterrupt();
bool InterruptRequested();

}  // namespace quorvane

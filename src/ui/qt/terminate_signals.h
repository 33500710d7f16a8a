// SIGTERM (a logout, `kill`) and SIGINT, caught before the toolkit starts and handed to its event
// loop through a socket, so that the tool ends as Exit ends it.
#pragma once

namespace corvelan::app {

// Installs handlers for SIGTERM and SIGINT that write one byte to a non-blocking socket and touch
// nothing else (errno is restored). Returns the socket's reading end, to be watched by the event
// loop; -1 when no socket could be made, and then the signals keep their default action.
int catchTerminateSignals();

} // namespace corvelan::app

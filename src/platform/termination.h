// Requests to end the tool that come from outside its windows: on Linux the signals SIGTERM (a
// logout, `kill`) and SIGINT, caught before the toolkit starts and handed to its event loop. On
// Windows, where such requests come to the windows as messages, there is nothing to catch.
#pragma once

namespace corvelan {

// Starts catching the requests. Returns a descriptor that becomes readable when one came, for the
// event loop to watch; -1 when there is none to watch (nothing to catch, or no way to hand them
// on: the requests then keep their default effect).
int catchEndRequests();

// Reads away what the descriptor holds, once it became readable.
void drainEndRequests(int descriptor);

} // namespace corvelan

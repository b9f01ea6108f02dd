// Start and stop of the socket library. POSIX sockets need no start: the two
// calls only keep the "started" mark that the program entry pairs them by.
#pragma once

// Marks the socket library started (cleaning up a previous start first).
void NetStartup();
// Clears the mark when set.
void NetCleanup();
bool NetStarted();

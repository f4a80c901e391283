// How a console program on Windows is stopped, and what holds a stop back.
// The console's control events (Ctrl-C, Ctrl-Break, the console window
// closed, the user logging off, the machine shutting down) reach the
// process on a thread of their own, and by default end it at once. One
// handler of ours, installed the first time it is needed and never taken
// away (taking a handler away while another thread waits in one would wait
// for that thread), decides what becomes of each:
//
// - While a new file stands beside the file it replaces (holdStops, from
//   its creation to its rename or removal), the event waits, so that no
//   stop leaves one behind; a stop that ends the process also keeps the
//   next new file from being started.
// - While the installation listens (startListening .. stopListening),
//   Ctrl-C and Ctrl-Break are only noted, and it asks for them between
//   files. A console closed, a logoff or a shutdown are noted too, and the
//   process is held until the installation has stopped listening; Windows
//   ends it after its own time limit (some seconds) all the same.
// - Otherwise the event goes on to the default handler, which ends the
//   process.
//
// For the *_win32.cpp files only.
#pragma once

#include <cstdint>

namespace vh {

// Counted: the first hold holds, the last release lets the stop through.
void holdStops();
void releaseStops();

// One listener at a time.
void startListening();
void stopListening();
// How many events have been noted since listening started.
uint64_t stopsHeard();

}  // namespace vh

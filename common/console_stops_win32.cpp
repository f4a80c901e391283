#include "common/console_stops_win32.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace vh {

namespace {

struct StopState {
  std::mutex mutex;
  std::condition_variable changed;
  int holds = 0;
  bool listening = false;
  uint64_t heard = 0;
  // A stop is ending the process: no new file is started any more.
  bool ending = false;
};

StopState& state() {
  static StopState shared;
  return shared;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  StopState& s = state();
  std::unique_lock lock(s.mutex);
  if (s.listening) {
    ++s.heard;
    s.changed.notify_all();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The process ends when this returns: not before the installation has
    // stopped at a file's end and said what it left.
    s.changed.wait(lock, [&] { return !s.listening; });
  }
  s.ending = true;
  s.changed.wait(lock, [&] { return s.holds == 0; });
  return FALSE;  // on to the default handler, which ends the process
}

void installHandlerOnce() {
  static std::once_flag installed;
  std::call_once(installed, [] { SetConsoleCtrlHandler(onConsoleEvent, TRUE); });
}

}  // namespace

void holdStops() {
  installHandlerOnce();
  StopState& s = state();
  std::unique_lock lock(s.mutex);
  // The process is being ended between files: the next file never starts.
  s.changed.wait(lock, [&] { return !s.ending; });
  ++s.holds;
}

void releaseStops() {
  StopState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.holds > 0 && --s.holds == 0) s.changed.notify_all();
}

void startListening() {
  installHandlerOnce();
  StopState& s = state();
  std::lock_guard lock(s.mutex);
  s.listening = true;
  s.heard = 0;
}

void stopListening() {
  StopState& s = state();
  std::lock_guard lock(s.mutex);
  s.listening = false;
  s.changed.notify_all();
}

uint64_t stopsHeard() {
  StopState& s = state();
  std::lock_guard lock(s.mutex);
  return s.heard;
}

}  // namespace vh

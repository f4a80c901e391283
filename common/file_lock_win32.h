// The locks that keep two runs apart on Windows: an exclusive byte-range
// lock (LockFileEx) on a file, which Windows drops with the handle, however
// the process ends. Such a lock is mandatory, not advisory: it is taken on
// one byte far beyond anything a file of ours ever holds, so that it bars
// no read or write of the file's own bytes.
//
// For the *_win32.cpp files only.
#pragma once

#include <windows.h>

#include <string>

namespace vh {

enum class LockAttempt {
  Taken,
  Held,     // another handle holds it
  Refused,  // the file takes no lock at all
};

LockAttempt lockWithoutWaiting(HANDLE file);

// Whether `path` still leads to the file open as `file`: one removed or
// replaced between its opening and its lock is no claim on the name.
bool stillNamed(HANDLE file, const std::wstring& path);

// The handle as a C runtime descriptor, which owns it from here on (the
// currency the locks' headers keep); -1, with the handle closed, when it
// cannot be made one.
int descriptorOf(HANDLE file);

}  // namespace vh

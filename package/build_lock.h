// The builder's claim on the package it is writing: "patch.dat.building" is
// locked for as long as a build writes it, so that an installation that
// finds one removes it only when the build that wrote it is gone (killed,
// say). The kernel drops the lock with the process, however it ends.
#pragma once

#include <memory>
#include <string>

namespace vh {

class BuildLock {
 public:
  // Creates `path` when it is missing and locks it; null when another build
  // holds it. Where the file system has no locks, a lock that holds nothing.
  // With `spare`, a missing `path` is first the regular file at `spare`
  // (the package a build replaced), renamed, so that the build writes over
  // blocks the file system holds already; not a link, nor a file with
  // another name. Windows keeps no spare, and leaves one alone.
  [[nodiscard]] static std::unique_ptr<BuildLock> take(const std::string& path, const std::string& spare = "");
  ~BuildLock();
  BuildLock(const BuildLock&) = delete;
  BuildLock& operator=(const BuildLock&) = delete;

 private:
  explicit BuildLock(int fd) : fd_(fd) {}
  int fd_;
};

// Removes the unfinished package at `path` when no build holds it; true
// when it was there and is gone. One whose lock cannot be taken or told is
// kept: it may be a build at work.
bool removeUnheldBuilding(const std::string& path);

}  // namespace vh

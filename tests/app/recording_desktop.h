// A desktop that keeps everything reported to it, in order, and answers the
// folder chooser from a script (tests/recording_host.h), and records its
// pauses, message pumps and progress too.
#pragma once

#include <string>
#include <vector>

#include "app/desktop.h"
#include "tests/recording_host.h"

namespace vh {

class RecordingDesktop : public Recording<Desktop> {
 public:
  void pause(int milliseconds) override { events.push_back({Kind::Pause, std::to_string(milliseconds)}); }
  void pumpMessages() override { events.push_back({Kind::Pump, ""}); }
  bool showsWindows() const override { return windowsShown; }
  void showProgress(const Progress& p) override {
    progress.push_back(p);
    events.push_back({Kind::Progress, ""});
  }

  // Services whose reporter and host are this desktop, over the local disk
  // and an empty registry in memory.
  Services services() { return {*this, *this, files_, *registry_, ""}; }

  std::vector<Progress> progress;
  bool windowsShown = true;  // as a windowed desktop, unless a test says otherwise

 private:
  LocalFileSystem files_;
  std::unique_ptr<WineRegistry> registry_ = WineRegistry::inMemory();
};

}  // namespace vh

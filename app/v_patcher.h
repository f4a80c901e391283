// The installer with progress: the patcher's callbacks move a scene bar
// (sub-scenes written in the current scene) and an overall bar (scenes
// completed), and let the window system repaint between sub-scenes.
#pragma once

#include "app/desktop.h"
#include "install/patcher.h"

namespace vh {

// A progress bar as the patcher sees it: a fraction from 0 to 1, shown as
// whole percent cut toward zero.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void setFraction(double fraction) = 0;
};

class vPatcher : public tPatcher {
 public:
  // The progress shows on `desktop`, which must outlive it.
  vPatcher(const Services& services, Desktop& desktop) : tPatcher(services), desktop_(desktop) {}

  ProgressBar* prog_sub_g = nullptr;
  ProgressBar* prog_overall_g = nullptr;
  float prog_sub = 0;
  float prog_scene = 0;
  float total_sub = 0;
  float total_scene = 0;

  int doReplace() override;
  int onStartScn(tPatchScene& scene) override;
  int onCompleteSub(tSubScene& sub) override;
  int onCompeleteScn(tPatchScene& scene) override;
  void updateBars();
  void setProgBar(ProgressBar* sceneBar, ProgressBar* overallBar);

 private:
  Progress progress() const;

  Desktop& desktop_;
};

}  // namespace vh

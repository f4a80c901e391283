#include "app/v_patcher.h"

#include "app/desktop.h"
#include "package/patch.h"

namespace vh {

namespace {

// 0 / 0 happens for a scene without sub-scenes: its bar shows 0.
float share(float done, float total) { return total > 0 ? done / total : 0.0f; }

}  // namespace

int vPatcher::doReplace() {
  total_scene = patch ? static_cast<float>(patch->scncount) : 0.0f;
  return tPatcher::doReplace();
}

int vPatcher::onStartScn(tPatchScene& scene) {
  total_sub = static_cast<float>(scene.subcount);
  // A terminal names the new scene before its first archive, which may take
  // a while; the window's bars do not move here, as they never did.
  desktop_.showProgress(progress());
  return 0;
}

int vPatcher::onCompleteSub(tSubScene&) {
  prog_sub += 1;
  updateBars();
  return 0;
}

int vPatcher::onCompeleteScn(tPatchScene&) {
  prog_sub = 0;
  prog_scene += 1;
  updateBars();
  return 0;
}

Progress vPatcher::progress() const {
  const Position& at = position();
  return {share(prog_sub, total_sub), share(prog_scene, total_scene), at.scene, at.number, at.count};
}

void vPatcher::updateBars() {
  const Progress now = progress();
  if (prog_sub_g) prog_sub_g->setFraction(now.scene);
  if (prog_overall_g) prog_overall_g->setFraction(now.overall);
  desktop_.showProgress(now);
  // The pause lets the windows repaint; in a terminal it would only add up,
  // a second and a half over a large game's sub-scenes.
  if (desktop_.showsWindows()) desktop_.pause(1);
  desktop_.pumpMessages();
}

void vPatcher::setProgBar(ProgressBar* sceneBar, ProgressBar* overallBar) {
  prog_sub_g = sceneBar;
  prog_overall_g = overallBar;
}

}  // namespace vh

// The installer's windows as data: title, sizes, where the installer window
// goes and where each gadget sits. The window code builds from this table
// and the tests check what it built against it.
#pragma once

#include <array>

namespace vh {

// The game's Chinese title, then "Simplified Chinese patch, test version";
// UTF-8, shared by both windows and the message boxes.
inline constexpr const char* kInstallerTitle = "瓦恩霍洛 简体中文补丁**测试版**";

inline constexpr const char* kMapPicture = "incbin::map.jpg";
inline constexpr const char* kTitlePicture = "incbin::title.bmp";

// The installer window's client area.
inline constexpr int kInstallerWidth = 323;
inline constexpr int kInstallerHeight = 292;

struct WindowPlace {
  int x = 0;
  int y = 0;
  bool operator==(const WindowPlace&) const = default;
};

// In front of the backdrop near its lower-left corner; without a backdrop
// (building and installing at once) at a fixed place on the screen.
inline WindowPlace installerPlace(bool applyNow, int backdropWidth, int backdropHeight) {
  if (applyNow) return {400, 300};
  return {backdropWidth / 10, backdropHeight - 350};
}

enum class GadgetKind { Panel, PushButton, Label, ProgressBar };

enum class GadgetParent { InstallerWindow, TitlePanel };

struct GadgetLayout {
  const char* role;
  GadgetKind kind;
  GadgetParent parent;
  int x, y, width, height;
  const char* text;
};

// In order of creation; positions relative to the parent's client area.
inline constexpr std::array<GadgetLayout, 7> kInstallerGadgets{{
    {"title panel", GadgetKind::Panel, GadgetParent::InstallerWindow, 5, 8, 313, 208, "PlainPanel1"},
    {"install button", GadgetKind::PushButton, GadgetParent::TitlePanel, 4, 3, 82, 23, "开始安装"},
    {"about button", GadgetKind::PushButton, GadgetParent::TitlePanel, 4, 31, 82, 22, "关于"},
    {"scene label", GadgetKind::Label, GadgetParent::InstallerWindow, 6, 256, 308, 16, "当前场景进度"},
    {"overall label", GadgetKind::Label, GadgetParent::InstallerWindow, 6, 224, 316, 16, "总进度"},
    {"scene bar", GadgetKind::ProgressBar, GadgetParent::InstallerWindow, 5, 273, 314, 13, ""},
    {"overall bar", GadgetKind::ProgressBar, GadgetParent::InstallerWindow, 5, 240, 314, 13, ""},
}};

// Indexes into kInstallerGadgets.
enum GadgetIndex {
  kTitlePanel,
  kInstallButton,
  kAboutButton,
  kSceneLabel,
  kOverallLabel,
  kSceneBar,
  kOverallBar,
};

// Ids of the window events the installer reacts to.
inline constexpr int kEventCloseWindow = 16387;
inline constexpr int kEventGadgetUp = 8193;
inline constexpr int kEventMouseButton = 1025;

}  // namespace vh

#include "app/gui/installer_windows_posix.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstring>
#include <string>

#include "app/pictures.h"

namespace vh {

namespace {

constexpr int kGadgetTextSize = 12;
const Fl_Color kBarColour = fl_rgb_color(6, 176, 37);

// A toolkit image over a pixel map's rows; the map must outlive it.
std::unique_ptr<Fl_RGB_Image> imageOf(PixelMap& picture) {
  if (picture.empty()) return nullptr;
  return std::make_unique<Fl_RGB_Image>(picture.row(0), picture.width(), picture.height(), PixelMap::kBytesPerPixel,
                                        static_cast<int>(picture.stride()));
}

// The backdrop's panel: black, with the map scaled to fit and centred; the
// scaled copy is made again whenever the panel's size changes.
class MapPanel : public Fl_Box {
 public:
  MapPanel(int x, int y, int w, int h, PixelMap& map) : Fl_Box(x, y, w, h), source_(imageOf(map)) {
    box(FL_FLAT_BOX);
    color(FL_BLACK);
  }

  void draw() override {
    draw_box();
    if (!source_) return;
    const Rect fitted = fitCentred(source_->w(), source_->h(), w(), h());
    if (fitted.width <= 0) return;
    if (!scaled_ || scaled_->w() != fitted.width || scaled_->h() != fitted.height) {
      scaled_.reset(source_->copy(fitted.width, fitted.height));
    }
    scaled_->draw(x() + fitted.x, y() + fitted.y);
  }

 private:
  std::unique_ptr<Fl_RGB_Image> source_;
  std::unique_ptr<Fl_Image> scaled_;
};

// The title panel: a sunken border around the title picture drawn at its
// own size from the top-left corner and repeated; a mouse press on it (not
// on its buttons) is an event of its own.
class TitlePanel : public Fl_Group {
 public:
  TitlePanel(int x, int y, int w, int h, PixelMap& title, FltkInstallerWindows& windows)
      : Fl_Group(x, y, w, h), picture_(imageOf(title)), windows_(windows) {
    box(FL_DOWN_BOX);
  }

  void draw() override {
    draw_box();
    if (picture_) {
      const int left = x() + Fl::box_dx(box());
      const int top = y() + Fl::box_dy(box());
      const int right = x() + w() - (Fl::box_dw(box()) - Fl::box_dx(box()));
      const int bottom = y() + h() - (Fl::box_dh(box()) - Fl::box_dy(box()));
      fl_push_clip(left, top, right - left, bottom - top);
      for (int ty = top; ty < bottom; ty += picture_->h()) {
        for (int tx = left; tx < right; tx += picture_->w()) picture_->draw(tx, ty);
      }
      fl_pop_clip();
    }
    draw_children();
  }

  int handle(int event) override {
    if (Fl_Group::handle(event)) return 1;
    if (event == FL_PUSH) {
      windows_.post({kEventMouseButton, this, Fl::event_button()});
      return 1;
    }
    return 0;
  }

 private:
  std::unique_ptr<Fl_RGB_Image> picture_;
  FltkInstallerWindows& windows_;
};

void postAction(Fl_Widget* source, void* windows) {
  static_cast<FltkInstallerWindows*>(windows)->post({kEventGadgetUp, source, 0});
}

// The close box of either window; Escape, which the toolkit reports the
// same way, is not a close request.
void postClose(Fl_Widget* source, void* windows) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  static_cast<FltkInstallerWindows*>(windows)->post({kEventCloseWindow, source, 0});
}

}  // namespace

std::unique_ptr<InstallerWindows> makeInstallerWindows() { return std::make_unique<FltkInstallerWindows>(); }

FltkInstallerWindows::FltkInstallerWindows() = default;
FltkInstallerWindows::~FltkInstallerWindows() {
  // Destroying a window only queues its removal on the connection to the
  // server. The installer's process ends right after, which closes the
  // connection; a process that lives on (the window tests) would leave the
  // windows on the screen under their title until its next event loop, so
  // the queue is flushed here.
  installer_.reset();
  backdrop_.reset();
  Fl::flush();
}

void FltkInstallerWindows::buildBackdrop() {
  backdrop_ = std::make_unique<Fl_Double_Window>(0, 0, 100, 100, kInstallerTitle);
  backdrop_->border(0);
  auto* panel = new MapPanel(0, 0, 100, 100, map_);
  backdrop_->end();
  // The panel follows the window's size on all four edges.
  backdrop_->resizable(panel);
  backdrop_->callback(postClose, this);
  backdrop_->hide();
  // Maximised: the toolkit has no such state, so the borderless window takes
  // the screen's work area.
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h);
  backdrop_->resize(x, y, w, h);
}

void FltkInstallerWindows::buildInstaller(WindowPlace place) {
  installer_ = std::make_unique<Fl_Double_Window>(place.x, place.y, kInstallerWidth, kInstallerHeight, kInstallerTitle);
  installer_->size_range(kInstallerWidth, kInstallerHeight, kInstallerWidth, kInstallerHeight);
  installer_->callback(postClose, this);
  gadgets_.assign(kInstallerGadgets.size(), nullptr);

  // The toolkit places children in window coordinates: a gadget of the
  // title panel is offset by the panel's position and its border, so that
  // its position is relative to the panel's client area.
  const GadgetLayout& panelLayout = kInstallerGadgets[kTitlePanel];
  auto* panel = new TitlePanel(panelLayout.x, panelLayout.y, panelLayout.width, panelLayout.height, title_, *this);
  gadgets_[kTitlePanel] = panel;
  const int panelLeft = panel->x() + Fl::box_dx(panel->box());
  const int panelTop = panel->y() + Fl::box_dy(panel->box());
  for (GadgetIndex index : {kInstallButton, kAboutButton}) {
    const GadgetLayout& layout = kInstallerGadgets[index];
    auto* button = new Fl_Button(panelLeft + layout.x, panelTop + layout.y, layout.width, layout.height, layout.text);
    button->labelsize(kGadgetTextSize);
    button->callback(postAction, this);
    gadgets_[index] = button;
  }
  panel->end();
  // The panel's own label is its name, never drawn.
  panel->copy_label(panelLayout.text);
  panel->labeltype(FL_NO_LABEL);

  installer_->begin();
  for (GadgetIndex index : {kSceneLabel, kOverallLabel}) {
    const GadgetLayout& layout = kInstallerGadgets[index];
    auto* label = new Fl_Box(layout.x, layout.y, layout.width, layout.height, layout.text);
    label->labelsize(kGadgetTextSize);
    label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    gadgets_[index] = label;
  }
  for (GadgetIndex index : {kSceneBar, kOverallBar}) {
    const GadgetLayout& layout = kInstallerGadgets[index];
    auto* bar = new Fl_Progress(layout.x, layout.y, layout.width, layout.height);
    bar->minimum(0);
    bar->maximum(100);
    bar->selection_color(kBarColour);
    bar->labelsize(10);
    gadgets_[index] = bar;
    setBarPercent(index, 0);
  }
  installer_->end();
}

void FltkInstallerWindows::build(bool applyNow, PixelMap map, PixelMap title) {
  map_ = std::move(map);
  title_ = std::move(title);
  WindowPlace place = installerPlace(true, 0, 0);
  if (!applyNow) {
    buildBackdrop();
    place = installerPlace(false, backdrop_->w(), backdrop_->h());
  }
  buildInstaller(place);
}

void FltkInstallerWindows::show() {
  if (backdrop_) {
    backdrop_->show();
    setUtf8Title(*backdrop_, kInstallerTitle);
    // Kept in front of the backdrop, which owns it.
    installer_->set_non_modal();
  }
  installer_->show();
  setUtf8Title(*installer_, kInstallerTitle);
  Fl::check();
}

void FltkInstallerWindows::setBarPercent(GadgetIndex index, int percent) {
  auto* bar = static_cast<Fl_Progress*>(gadgets_[index]);
  bar->value(static_cast<float>(percent));
  bar->copy_label((std::to_string(percent) + "%").c_str());
  bar->redraw();
}

void FltkInstallerWindows::setButtons(bool installEnabled, bool aboutEnabled) {
  for (auto [index, enabled] : {std::pair{kInstallButton, installEnabled}, std::pair{kAboutButton, aboutEnabled}}) {
    Fl_Widget* button = gadgets_[index];
    if (!button) continue;
    if (enabled) {
      button->activate();
    } else {
      button->deactivate();
    }
  }
}

bool FltkInstallerWindows::dispatch(const WindowEvent& event, const std::function<void()>& install) {
  if (event.id == kEventCloseWindow && event.source == installer_.get()) {
    installer_->hide();
    return true;
  }
  // A press queued before the button was disabled is not a second install.
  if (event.id == kEventGadgetUp && event.source == gadgets_[kInstallButton] && event.source->active()) {
    install();
  }
  // The About button, a press on the title panel, and everything from the
  // backdrop do nothing.
  return false;
}

int FltkInstallerWindows::runEventLoop(const std::function<void()>& install) {
  for (;;) {
    while (events_.empty()) {
      // Without a shown window no close request can ever come.
      if (!Fl::first_window()) return 0;
      Fl::wait();
    }
    const WindowEvent event = events_.front();
    events_.pop_front();
    if (dispatch(event, install)) return 0;
  }
}

void setUtf8Title(Fl_Window& window, const char* utf8Title) {
  const Window xid = fl_xid(&window);
  if (!xid) return;
  const Atom name = XInternAtom(fl_display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(fl_display, "UTF8_STRING", False);
  XChangeProperty(fl_display, xid, name, utf8, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(utf8Title),
                  static_cast<int>(std::strlen(utf8Title)));
  XFlush(fl_display);
}

}  // namespace vh

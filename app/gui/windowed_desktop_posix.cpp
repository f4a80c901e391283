#include "app/gui/windowed_desktop.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/gui/cjk_font.h"
#include "app/gui/installer_windows_posix.h"
#include "app/installer_layout.h"

namespace vh {

namespace {

constexpr int kTextSize = 14;
constexpr int kMargin = 10;
constexpr int kIconSide = 50;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 25;

// Labels treat "@" as the start of a symbol; messages carry paths that may
// hold one.
std::string plainLabel(const std::string& text) {
  std::string label;
  for (char c : text) {
    label += c;
    if (c == '@') label += '@';
  }
  return label;
}

void hideWindowOf(Fl_Widget* widget, void*) { widget->window() ? widget->window()->hide() : widget->hide(); }

}  // namespace

// The message box: an information icon, the text and one OK button, modal
// and kept in front of the program's windows; returns once dismissed by the
// button, Enter, Escape or the close box.
void showMessageBox(const std::string& text) {
  const std::string label = plainLabel(text);
  fl_font(FL_HELVETICA, kTextSize);
  int textWidth = 0;
  int textHeight = 0;
  fl_measure(label.c_str(), textWidth, textHeight, 0);
  const int width = std::max(300, kMargin * 3 + kIconSide + textWidth);
  const int textArea = std::max(kIconSide, textHeight);
  const int height = kMargin * 3 + textArea + kButtonHeight;

  Fl_Double_Window box(width, height, kInstallerTitle);
  Fl_Box icon(kMargin, kMargin, kIconSide, kIconSide, "i");
  icon.box(FL_THIN_UP_BOX);
  icon.labelfont(FL_TIMES_BOLD);
  icon.labelsize(34);
  icon.color(FL_WHITE);
  icon.labelcolor(FL_BLUE);
  Fl_Box message(kMargin * 2 + kIconSide, kMargin, width - kMargin * 3 - kIconSide, textArea);
  message.copy_label(label.c_str());
  message.labelsize(kTextSize);
  message.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  Fl_Return_Button ok(width - kMargin - kButtonWidth, height - kMargin - kButtonHeight, kButtonWidth, kButtonHeight,
                      "OK");
  ok.callback(hideWindowOf);
  box.end();
  box.callback(hideWindowOf);

  // Centred over the program's front window, or over the screen.
  int x = 0, y = 0, w = 0, h = 0;
  if (Fl_Window* front = Fl::first_window()) {
    x = front->x();
    y = front->y();
    w = front->w();
    h = front->h();
  } else {
    Fl::screen_work_area(x, y, w, h);
  }
  box.position(x + (w - width) / 2, y + (h - height) / 2);
  box.set_modal();
  box.show();
  setUtf8Title(box, kInstallerTitle);
  while (box.shown()) Fl::wait();
}

bool openWindowSystem() {
  // The toolkit ends the process when it cannot open the display itself;
  // opening it here first lets the program fall back to the terminal.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  fl_open_display(display);
  Fl::scheme("gtk+");
  std::string captions = kInstallerTitle;
  for (const auto& gadget : kInstallerGadgets) captions += gadget.text;
  // An installed face is the desktop's own look; the built-in one serves
  // where none covers the captions.
  if (!useFontCovering(captions) && !(addBuiltInCaptionFace() && useFontCovering(captions))) {
    std::fputs("vhpatch: no installed font has the Chinese captions; they may show as boxes\n", stderr);
  }
  return true;
}

std::string showFolderChooser(const std::string& prompt, const std::string& initialFolder) {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
  chooser.title(prompt.c_str());
  if (!initialFolder.empty()) chooser.directory(initialFolder.c_str());
  switch (chooser.show()) {
    case 0:
      return chooser.filename() ? chooser.filename() : "";
    case 1:
      return "";
    default: {
      // The native chooser could not be shown: the toolkit's own serves.
      const char* chosen = fl_dir_chooser(prompt.c_str(), initialFolder.empty() ? nullptr : initialFolder.c_str(), 0);
      return chosen ? chosen : "";
    }
  }
}

void pumpWindowMessages() { Fl::check(); }

}  // namespace vh

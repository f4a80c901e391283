#include "app/terminal_desktop.h"

#include "app/console.h"

namespace vh {

namespace {

constexpr size_t kDefaultColumns = 80;

// The scene name comes from the package: anything but printable ASCII could
// move the cursor or take an unknown width, and the bars are wiped by
// counting lines.
std::string printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) c = '?';
  }
  return shown;
}

// A line longer than the terminal would wrap, and wiping the bars would
// then leave a piece of it behind.
std::string fitted(std::string line, size_t columns) {
  if (columns > 1 && line.size() >= columns) line.resize(columns - 1);
  return line;
}

std::string bar(const char* label, double fraction) {
  constexpr int kWidth = 30;
  const int p = wholePercent(fraction);
  const int filled = p * kWidth / 100;
  std::string text = label;
  text += " [";
  text.append(static_cast<size_t>(filled), '#');
  text.append(static_cast<size_t>(kWidth - filled), '.');
  text += "] ";
  text += std::to_string(p);
  text += "%";
  return text;
}

}  // namespace

TerminalDesktop::TerminalDesktop(std::FILE* in, std::FILE* out, std::FILE* err, bool debug)
    : in_(in), out_(out), err_(err), debug_(debug), progressAllowed_(drawsProgress(err)) {}

void TerminalDesktop::clearProgress() {
  if (!progressShown_) return;
  // Two bar lines stand above the cursor: wipe them.
  std::fputs("\r\033[2K\033[1A\r\033[2K", err_);
  progressShown_ = false;
}

void TerminalDesktop::endProgress() {
  if (!progressShown_) return;
  std::fputc('\n', err_);
  std::fflush(err_);
  progressShown_ = false;
}

void TerminalDesktop::messageBox(const std::string& text) {
  endProgress();
  std::fprintf(err_, "%s\n", text.c_str());
  std::fflush(err_);
}

void TerminalDesktop::note(const std::string& text) { messageBox(text); }

std::string TerminalDesktop::chooseFolder(const std::string& prompt, const std::string&) {
  endProgress();
  std::fprintf(err_, "%s: ", prompt.c_str());
  std::fflush(err_);
  std::string line;
  if (!readLine(line)) return "";
  return line;
}

bool TerminalDesktop::readLine(std::string& line) {
  line.clear();
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(in_)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') line.push_back(static_cast<char>(c));
  }
  return any;
}

void TerminalDesktop::printLine(const std::string& text) {
  endProgress();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void TerminalDesktop::printErrorLine(const std::string& text) {
  endProgress();
  std::fprintf(err_, "%s\n", text.c_str());
  std::fflush(err_);
}

void TerminalDesktop::debugLog(const std::string& text) {
  if (!debug_) return;
  endProgress();
  std::fprintf(err_, "debug: %s\n", text.c_str());
  std::fflush(err_);
}

size_t TerminalDesktop::columns() const { return terminalColumns(err_).value_or(kDefaultColumns); }

void TerminalDesktop::showProgress(const Progress& progress) {
  if (!progressAllowed_) return;
  std::string sceneLine = bar("scene  ", progress.scene);
  std::string overallLine = bar("overall", progress.overall);
  if (progress.sceneNumber > 0) {
    sceneLine += "  " + printable(progress.sceneName);
    overallLine += "  scene " + std::to_string(progress.sceneNumber) + " of " + std::to_string(progress.sceneCount);
  }
  const size_t width = columns();
  clearProgress();
  std::fprintf(err_, "%s\n%s", fitted(sceneLine, width).c_str(), fitted(overallLine, width).c_str());
  std::fflush(err_);
  progressShown_ = true;
}

}  // namespace vh

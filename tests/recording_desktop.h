// A desktop that keeps everything reported to it, in order, and answers the
// folder chooser from a script. Tests install it with ScopedDesktop.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/desktop.h"

namespace vh {

class RecordingDesktop : public Desktop {
 public:
  enum class Kind { Message, FolderPrompt, Output, Debug, Pump, Pause, Progress, ErrorOutput };
  struct Event {
    Kind kind;
    std::string text;
  };

  void messageBox(const std::string& text) override { events.push_back({Kind::Message, text}); }
  std::string chooseFolder(const std::string& prompt, const std::string&) override {
    events.push_back({Kind::FolderPrompt, prompt});
    if (folderAnswers.empty()) return "";
    std::string answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
  }
  void printLine(const std::string& text) override { events.push_back({Kind::Output, text}); }
  void printErrorLine(const std::string& text) override { events.push_back({Kind::ErrorOutput, text}); }
  void debugLog(const std::string& text) override { events.push_back({Kind::Debug, text}); }
  void pause(int milliseconds) override { events.push_back({Kind::Pause, std::to_string(milliseconds)}); }
  void pumpMessages() override { events.push_back({Kind::Pump, ""}); }
  bool showsWindows() const override { return windowsShown; }
  void showProgress(const Progress& p) override {
    progress.push_back(p);
    events.push_back({Kind::Progress, ""});
  }

  // Texts of one kind, in the order they were reported.
  std::vector<std::string> texts(Kind kind) const {
    std::vector<std::string> out;
    for (const Event& e : events) {
      if (e.kind == kind) out.push_back(e.text);
    }
    return out;
  }
  std::vector<std::string> messages() const { return texts(Kind::Message); }
  std::vector<std::string> output() const { return texts(Kind::Output); }

  std::vector<Event> events;
  std::vector<Progress> progress;
  std::deque<std::string> folderAnswers;
  bool windowsShown = true;  // as a windowed desktop, unless a test says otherwise
};

}  // namespace vh

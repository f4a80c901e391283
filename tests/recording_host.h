// A reporter and installer host that keeps everything reported to it, in
// order, and answers the folder chooser from a script; and the services a
// test hands down: that host, the local disk, and a registry in memory.
// Below the program: the layers' tests link without it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/local_file_system.h"
#include "common/report.h"
#include "install/installer_host.h"
#include "install/services.h"
#include "support/registry_platform.h"

namespace vh {

enum class Recorded { Message, FolderPrompt, Output, Debug, Pump, Pause, Progress, ErrorOutput };

// What every recording keeps, over the interface `Base` it stands for.
template <class Base>
class Recording : public Base {
 public:
  using Kind = Recorded;
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
  std::deque<std::string> folderAnswers;
};

class ReporterAndHost : public Reporter, public InstallerHost {};
using RecordingHost = Recording<ReporterAndHost>;

// Services for a test: what is reported is recorded in `host`, files are
// the local disk's, the registry is empty and in memory, and there is no
// home folder unless the test names one.
struct TestServices {
  RecordingHost host;
  LocalFileSystem files;
  std::unique_ptr<WineRegistry> registry = WineRegistry::inMemory();
  std::string home;

  Services services() { return {host, host, files, *registry, home}; }
};

namespace test {

// The local disk, for a test that reads or writes a file and wants nothing
// else of the services.
inline LocalFileSystem& localFiles() {
  static LocalFileSystem files;
  return files;
}

// Messages on standard error, as the toolkit reports: for a test that
// looks at none.
inline Reporter& standardError() {
  static StandardErrorReporter report;
  return report;
}

}  // namespace test

}  // namespace vh

#include "app/desktop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/entry.h"
#include "app/terminal_desktop.h"
#include "tests/app/recording_desktop.h"

namespace vh {
namespace {

std::string contentOf(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string all;
  int c;
  while ((c = std::fgetc(f)) != EOF) all.push_back(static_cast<char>(c));
  return all;
}

struct TerminalFiles {
  TerminalFiles(const std::string& input) {
    in = std::tmpfile();
    out = std::tmpfile();
    err = std::tmpfile();
    std::fputs(input.c_str(), in);
    std::rewind(in);
  }
  ~TerminalFiles() {
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
  }
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
};

TEST(TerminalDesktop, MessagesGoToStandardErrorAndOutputToStandardOutput) {
  TerminalFiles files("");
  TerminalDesktop terminal(files.in, files.out, files.err);
  terminal.messageBox("failed to read:a.xarc");
  terminal.messageBox("failed applying patch:Global");
  terminal.printLine("packing patch");
  terminal.showProgress({0.5, 0.25, "Forest", 1, 2});  // not a terminal: no bars
  EXPECT_EQ(contentOf(files.err), "failed to read:a.xarc\nfailed applying patch:Global\n");
  EXPECT_EQ(contentOf(files.out), "packing patch\n");
}

TEST(TerminalDesktop, FolderChooserReadsOneLineAndEndOfInputCancels) {
  TerminalFiles files("C:\\Games\\Varnhollow\\\r\n\nrest");
  TerminalDesktop terminal(files.in, files.out, files.err);
  EXPECT_EQ(terminal.chooseFolder("Please specify your VHW installation", ""), "C:\\Games\\Varnhollow\\");
  EXPECT_EQ(terminal.chooseFolder("again", ""), "");  // an empty line
  EXPECT_EQ(terminal.chooseFolder("again", ""), "rest");
  EXPECT_EQ(terminal.chooseFolder("again", ""), "");  // end of input
  EXPECT_NE(contentOf(files.err).find("Please specify your VHW installation"), std::string::npos);
}

TEST(RecordingDesktop, KeepsReportsInOrderAndAnswersFromItsScript) {
  RecordingDesktop recording;
  Desktop& desktop = recording;
  desktop.messageBox("one");
  desktop.printLine("two");
  desktop.messageBox("three");
  recording.folderAnswers.push_back("/games/v");
  EXPECT_EQ(desktop.chooseFolder("where?", ""), "/games/v");
  EXPECT_EQ(desktop.chooseFolder("where?", ""), "");
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{"one", "three"}));
  EXPECT_EQ(recording.output(), std::vector<std::string>{"two"});
  EXPECT_EQ(recording.events.size(), 5u);
}

TEST(RunGuarded, FatalErrorsPrintTheirTextAndGiveMinusOne) {
  RecordingDesktop recording;
  EXPECT_EQ(runGuarded(recording, []() -> int { fatalError("invalid XARC size:x.xarc"); }), -1);
  EXPECT_EQ(recording.output(), std::vector<std::string>{"invalid XARC size:x.xarc"});
  EXPECT_EQ(runGuarded(recording, []() -> int { throw std::runtime_error("Error reading from stream"); }), -1);
  EXPECT_EQ(runGuarded(recording, []() -> int { endProcess(0); }), 0);
  EXPECT_EQ(runGuarded(recording, [] { return 3; }), 3);
  EXPECT_EQ(recording.output().size(), 2u);
}

TEST(ModeWord, IsTheFirstArgumentLowerCased) {
  const char* none[] = {"vhpatch"};
  const char* capitals[] = {"vhpatch", "MakeAndApply", "ignored"};
  const char* make[] = {"vhpatch", "MAKE"};
  const char* other[] = {"vhpatch", "apply"};
  EXPECT_EQ(modeWord(1, none), "");
  EXPECT_EQ(modeWord(3, capitals), "makeandapply");
  EXPECT_EQ(modeFromWord(modeWord(1, none)), RunMode::Default);
  EXPECT_EQ(modeFromWord(modeWord(3, capitals)), RunMode::MakeAndApply);
  EXPECT_EQ(modeFromWord(modeWord(2, make)), RunMode::Make);
  EXPECT_EQ(modeFromWord(modeWord(2, other)), RunMode::Default);
  EXPECT_EQ(modeFromWord("mAke"), RunMode::Default);  // must be lower-cased first
}

}  // namespace
}  // namespace vh

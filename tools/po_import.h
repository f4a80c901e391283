// The translations PO files hold, as vhtool import installs them: every
// finished message's text in GBK under the record and kind its msgctxt
// names, or the reason it cannot install. Reading is apart from writing, so
// that every file is read before any TRZ file is written.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "tools/game_texts.h"
#include "tools/po_messages.h"

namespace vh::tool {

struct ImportEntry {
  MessageKey key;
  std::string gbk;
  std::string place;  // FILE:LINE of its msgstr
};

// A scene's entries by sub-scene, record and kind, as the installer tells
// them apart.
using SceneEntries = std::map<std::tuple<int, int, int>, ImportEntry>;

class PoImporter {
 public:
  // With a game folder, each msgid must be the game's text at its address;
  // `report` is told every problem and every message gettext gives.
  PoImporter(std::string game, std::function<void(const std::string&)> report);

  // Adds the finished translations of one PO file.
  void read(const std::string& path);

  size_t problems() const { return problems_; }
  const std::map<std::string, SceneEntries>& scenes() const { return scenes_; }

 private:
  void problem(const std::string& text);
  void message(const std::string& path, const PoMessage& m);
  const std::string* gameText(const MessageKey& key);

  std::string game_;
  std::function<void(const std::string&)> report_;
  size_t problems_ = 0;
  std::map<std::string, SceneEntries> scenes_;
  bool scenesFound_ = false;
  std::map<std::string, GameScene> scenesOfGame_;
  std::map<std::string, std::map<std::tuple<int, int, int>, std::string>> gameTexts_;
};

// The TRZ file of a scene's entries: the title of a record first, then its
// embedded texts from the highest prefix down, so that a rewritten text
// never moves one still to come.
std::string trzText(const SceneEntries& entries);

}  // namespace vh::tool

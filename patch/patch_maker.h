// Builds patch.dat from the working tree beside the program: the scene list
// made from "data/", the translation files of "trans/", the files of
// "extra/" and "addon/" with their list members, in that order.
#pragma once

#include <memory>
#include <string>

namespace vh {

class ZipWriter;

class tPatchMaker {
 public:
  tPatchMaker();
  ~tPatchMaker();

  std::shared_ptr<ZipWriter> file;

  // 0 when an index file names an archive outside the game folder.
  int createXARCList();
  int loadTrz();
  int loadExtra();
  int loadAddon();
  int loadImages();
  // Builds the whole package at `url`. 1 when it is written and on the
  // disk; 0 after a message box when there is no working tree here, an index
  // file was refused or a write failed, and then `url` is as it was before.
  int Create(const std::string& url);

 private:
  int loadListed(const std::string& folder, const std::string& listMember);
};

}  // namespace vh

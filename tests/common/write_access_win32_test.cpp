// Whether a folder refuses this user a new file, asked of real folders: a
// temporary one takes files; under Wine the host's /sys refuses them even to
// root, as Program Files refuses a program not run as administrator.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/local_file_system.h"
#include "common/write_access.h"
#include "tests/test_support.h"

namespace vh {
namespace {

bool underWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(WriteAccessWin32, AFolderThatRefusesNewFilesIsToldApartAndLeftAsItWas) {
  test::TempDir dir;
  LocalFileSystem files;
  const std::string game = dir / "\xE6\xB8\xB8\xE6\x88\x8F";  // 游戏
  ASSERT_TRUE(files.makeFolder(game));
  struct Case {
    std::string path;
    bool refused;
  };
  std::vector<Case> cases = {
      {game + "/x.xarc", false},
      {game + "/not/made/yet/x.xarc", false},  // the nearest folder that exists is asked
      {game, false},
  };
  if (underWine()) {
    cases.push_back({"Z:/sys/x.xarc", true});
    cases.push_back({"Z:/sys/vhpatch/not/made/x.xarc", true});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(writeRefusedToUser(c.path), c.refused) << c.path;
    const std::string advice = refusedWriteAdvice(c.path);
    if (c.refused) {
      EXPECT_EQ(advice.rfind("\nonly an administrator may change this folder: run the installer as administrator", 0), 0u)
          << advice;
    } else {
      EXPECT_EQ(advice, "") << c.path;
    }
  }
  // The question leaves nothing behind.
  EXPECT_TRUE(files.list(game).empty());
  if (!underWine()) GTEST_SKIP() << "no folder here is known to refuse this user; under Wine the host's /sys is";
}

}  // namespace
}  // namespace vh

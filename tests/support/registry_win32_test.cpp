// The registry on Windows, through advapi32's wide entry points: text is
// UTF-8 in the program and UTF-16 in the registry, so that another program
// (the game's own installer, `reg add`) and this one read each other's
// values whatever the system's code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/local_file_system.h"
#include "common/wide_text_win32.h"
#include "support/registry.h"
#include "support/registry_platform.h"

namespace vh {
namespace {

const std::string kChinese = "\xE6\xB8\xB8\xE6\x88\x8F";  // 游戏

class RegistryWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    key = CreateRegKey(*registry, "HKEY_CURRENT_USER\\" + keyPath);
    ASSERT_NE(key, nullptr);
  }
  void TearDown() override {
    key.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, wideText(keyPath)->c_str());
  }
  // The value as another program reads it.
  std::wstring wideValue(const std::string& name) {
    wchar_t data[512] = L"";
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r = RegGetValueW(HKEY_CURRENT_USER, wideText(keyPath)->c_str(), wideText(name)->c_str(),
                                RRF_RT_ANY, &type, data, &size);
    return r == ERROR_SUCCESS && type == REG_SZ ? std::wstring(data) : L"<unreadable>";
  }

  LocalFileSystem files;
  std::unique_ptr<RegistryPlatform> registry = userRegistry(files, "");
  std::string keyPath = "Software\\vhpatch tests\\" + kChinese + std::to_string(GetCurrentProcessId());
  std::unique_ptr<tregkey> key;
};

TEST_F(RegistryWin32Test, TextCrossesAsUtf16BothWays) {
  const struct {
    const char* name;
    std::string utf8;
    std::wstring utf16;
  } kCases[] = {
      {"root", "C:\\Games\\Varnhollow", L"C:\\Games\\Varnhollow"},
      {"chinese", "C:\\" + kChinese + "\\Varnhollow", L"C:\\\x6E38\x620F\\Varnhollow"},
      {"empty", "", L""},
      {"\xE5\x90\x8D", "D:/x", L"D:/x"},  // 名: the value's own name
  };
  for (const auto& c : kCases) {
    // Written here, read by another program.
    ASSERT_EQ(key->setstring(c.name, c.utf8), 1) << c.name;
    EXPECT_EQ(wideValue(c.name), c.utf16) << c.name;
    EXPECT_EQ(key->getstring(c.name), c.utf8) << c.name;
    // Written by another program, read here.
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, wideText(keyPath)->c_str(), wideText(c.name)->c_str(), REG_SZ,
                              c.utf16.c_str(), static_cast<DWORD>((c.utf16.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(key->getstring(c.name), c.utf8) << c.name;
  }
}

TEST_F(RegistryWin32Test, TextWithoutItsEndOrBeyondItReadsUpToItsFirstZero) {
  const struct {
    std::wstring stored;  // the exact characters stored, zeros and all
    std::string read;
  } kCases[] = {
      {std::wstring(L"C:\\\x6E38\x620F", 5), "C:\\" + kChinese},  // no terminating zero
      {std::wstring(L"C:\\x\0junk", 9), "C:\\x"},
      {std::wstring(L"\0", 1), ""},
  };
  for (const auto& c : kCases) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, wideText(keyPath)->c_str(), L"root", REG_SZ, c.stored.data(),
                              static_cast<DWORD>(c.stored.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(key->getstring("root"), c.read);
  }
}

TEST_F(RegistryWin32Test, KeysNamedInChineseAreCreatedFoundAndRemoved) {
  const std::string child = "HKEY_CURRENT_USER\\" + keyPath + "\\" + kChinese + "/" + kChinese;
  auto made = CreateRegKey(*registry, child);
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->setint("n", 7), 1);
  made.reset();
  auto found = OpenRegKey(*registry, child);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->getint("n"), 7);
  found.reset();
  // The removal walks the children by the names the enumeration gives.
  auto parent = OpenRegKey(*registry, "HKEY_CURRENT_USER\\" + keyPath + "\\" + kChinese);
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->remove(0), 0);
  EXPECT_EQ(parent->remove(1), 1);
  EXPECT_EQ(OpenRegKey(*registry, child), nullptr);
}

TEST(OtherUserRegistriesWin32, AWindowsProgramReadsNoWinePrefixesFiles) {
  LocalFileSystem files;
  EXPECT_TRUE(otherUserRegistries(files, "C:/users/player", "").empty());
}

}  // namespace
}  // namespace vh

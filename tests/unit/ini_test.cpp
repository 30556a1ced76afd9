#include <gtest/gtest.h>

#include <algorithm>

#include "file_tools.h"
#include "runtime.h"
#include "test_support.h"

namespace {

using driver::ReadFile;
using testsupport::TempFolder;

TEST(Ini, MissingFileSectionOrKeyGivesTheDefault) {
  TempFolder folder;
  const std::string file = folder.File("settings.ini");
  EXPECT_EQ(rt::IniReadText("S", "K", "dflt", file), "dflt");
  rt::IniWriteText("S", "Other", "1", file);
  EXPECT_EQ(rt::IniReadText("S", "K", "dflt", file), "dflt");
  EXPECT_EQ(rt::IniReadText("T", "Other", "dflt", file), "dflt");
  EXPECT_EQ(rt::IniReadText("S", "Other", "dflt", file), "1");
}

TEST(Ini, EmptyValueKeepsTheKeyAndSectionsIgnoreCase) {
  TempFolder folder;
  const std::string file = folder.File("settings.ini");
  rt::IniWriteText("Orvande Zorvant", "TempControlPath", "C:\\x", file);
  rt::IniWriteText("Orvande Zorvant", "TempControlPath", "", file);
  EXPECT_EQ(rt::IniReadText("Orvande Zorvant", "TempControlPath", "dflt", file), "");
  EXPECT_NE(ReadFile(file).find("TempControlPath="), std::string::npos);
  rt::IniWriteText("Orvande zorvant", "XPManifest", "1", file);
  EXPECT_EQ(rt::IniReadText("ORVANDE ZORVANT", "XPManifest", "5", file), "1");
  // Both spellings name one section of the file.
  const std::string content = ReadFile(file);
  EXPECT_EQ(content.find("[Orvande"), content.rfind("[Orvande"));
}

TEST(Ini, LongValuesAreCutTo1023Characters) {
  TempFolder folder;
  const std::string file = folder.File("settings.ini");
  rt::IniWriteText("S", "K", std::string(2000, 'v'), file);
  EXPECT_EQ(rt::IniReadText("S", "K", "", file), std::string(1023, 'v'));
}

TEST(IniStore, WritesItsBookkeepingBackAtTearDown) {
  TempFolder folder;
  const std::string before = rt::PathLong();
  ASSERT_TRUE(rt::FolderSetCurrent(folder.Path()));
  {
    rt::IniStore store;
    store.SetUp(".\\zorvant.INI");
    // The store stays bound to its file when the current folder changes.
    ASSERT_TRUE(rt::FolderSetCurrent(before));
    EXPECT_FALSE(rt::FileExists(folder.File("zorvant.INI")));
    store.TearDown();
  }
  EXPECT_EQ(ReadFile(folder.File("zorvant.INI")), "[__Dont_Touch_Me__]\r\nSectors=\r\n");
}

TEST(IniStore, KeepsTheSectorsItRead) {
  TempFolder folder;
  const std::string file = folder.File("store.ini");
  rt::IniWriteText("__Dont_Touch_Me__", "Sectors", "Alpha,Beta", file);
  rt::IniStore store;
  store.SetUp(file);
  EXPECT_EQ(store.Sectors(), (std::vector<std::string>{"Alpha", "Beta"}));
  store.TearDown();
  EXPECT_EQ(rt::IniReadText("__Dont_Touch_Me__", "Sectors", "", file), "Alpha,Beta");
}

TEST(Files, CurrentFolderAndPlainFileListing) {
  TempFolder folder;
  driver::WriteFile(folder.File("a.txt"), "a");
  driver::WriteFile(folder.File("b.txt"), "bb");
  driver::WriteFile(folder.File("hidden.txt"), "h");
  ::SetFileAttributesA(folder.File("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  driver::WriteFile(folder.File("ro.txt"), "r");
  ::SetFileAttributesA(folder.File("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ::CreateDirectoryA(folder.File("sub").c_str(), nullptr);

  std::vector<std::string> names;
  for (const rt::DirEntry& e : rt::DirectoryList(folder.File("*.*"))) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "ro.txt"}));
  EXPECT_TRUE(rt::DirectoryList(folder.File("missing\\*.*")).empty());
  ::SetFileAttributesA(folder.File("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

  const std::string before = rt::PathLong();
  EXPECT_FALSE(rt::FolderSetCurrent(folder.File("nowhere")));
  EXPECT_EQ(rt::ErrorCodeGet(), 3);
  EXPECT_EQ(rt::PathLong(), before);
  EXPECT_TRUE(rt::FolderSetCurrent(folder.Path() + "   "));  // trailing blanks do not count
  EXPECT_EQ(rt::ErrorCodeGet(), 0);
  EXPECT_TRUE(rt::FileExists(rt::PathShort() + "\\a.txt"));
  EXPECT_TRUE(rt::FolderSetCurrent(before));
}

}  // namespace

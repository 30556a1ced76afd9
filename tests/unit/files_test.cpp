// Temporary files beside their target: made, moved into place or removed,
// and the leftovers of owners that were ended before them.
#include <gtest/gtest.h>

#include "file_tools.h"
#include "runtime.h"
#include "test_support.h"

namespace {

using testsupport::TempFolder;

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}

TEST(TempFile, TakesTheFirstFreeNameAndGoesUnlessMovedIntoPlace) {
  TempFolder folder;
  ASSERT_TRUE(::CreateDirectoryA(folder.File("~t0.tmp").c_str(), nullptr));
  std::string first;
  {
    rt::TempFile temporary(folder.Path(), "~t");
    ASSERT_TRUE(temporary);
    EXPECT_EQ(rt::ErrorCodeGet(), 0);
    first = temporary.Path();
    EXPECT_EQ(first, folder.File("~t1.tmp"));  // a folder takes the name too
    EXPECT_NE(Attributes(first) & FILE_ATTRIBUTE_HIDDEN, 0u);
    rt::TempFile second(folder.Path(), "~t");
    EXPECT_EQ(second.Path(), folder.File("~t2.tmp"));
    // Held throughout: no other program can open it meanwhile.
    EXPECT_FALSE(rt::UniqueFileHandle(::CreateFileA(first.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr)));
  }
  EXPECT_EQ(driver::FolderEntries(folder.Path()), std::vector<std::string>{"~t0.tmp"});

  // A folder that cannot hold it: nothing made, and the system's reason.
  rt::TempFile none(folder.File("missing"), "~t");
  EXPECT_FALSE(none);
  EXPECT_EQ(rt::ErrorCodeGet(), ERROR_PATH_NOT_FOUND);
}

TEST(TempFile, MovedIntoPlaceItIsACopyOfItsSource) {
  TempFolder folder;
  const std::string source = folder.File("source.dat"), target = folder.File("target.dat");
  const std::string content(600 * 1024, 'n');  // more than one block of the copy
  ASSERT_TRUE(driver::WriteFile(source, content));
  ASSERT_TRUE(driver::WriteFile(target, "old"));
  const FILETIME written{0x12345678, 0x01D00000};
  {
    rt::UniqueFileHandle file(::CreateFileA(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &written));
  }
  ASSERT_TRUE(::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));

  rt::TempFile temporary(folder.Path(), "~t");
  ASSERT_TRUE(temporary.CopyFrom(source));
  ASSERT_TRUE(temporary.MoveInto(target));
  EXPECT_EQ(rt::ErrorCodeGet(), 0);
  EXPECT_EQ(temporary.Path(), target);
  EXPECT_EQ(driver::ReadFile(target), content);
  // The source's attributes, without the temporary's mark.
  EXPECT_EQ(Attributes(target), Attributes(source));
  EXPECT_EQ(Attributes(target) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(::CompareFileTime(&data.ftLastWriteTime, &written), 0);
  EXPECT_EQ(driver::FolderEntries(folder.Path()),
            (std::vector<std::string>{"source.dat", "target.dat"}));
}

TEST(TempFile, ASourceBeingWrittenOrATargetInUseLeavesEverythingAsItWas) {
  TempFolder folder;
  const std::string source = folder.File("source.dat"), target = folder.File("target.dat");
  ASSERT_TRUE(driver::WriteFile(source, "new"));
  ASSERT_TRUE(driver::WriteFile(target, "old"));
  {
    rt::UniqueFileHandle writer(::CreateFileA(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    rt::TempFile temporary(folder.Path(), "~t");
    EXPECT_FALSE(temporary.CopyFrom(source));
    EXPECT_EQ(rt::ErrorCodeGet(), ERROR_SHARING_VIOLATION);
  }
  {
    rt::UniqueFileHandle user(::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));
    rt::TempFile temporary(folder.Path(), "~t");
    ASSERT_TRUE(temporary.CopyFrom(source));
    EXPECT_FALSE(temporary.MoveInto(target));
    EXPECT_NE(rt::ErrorCodeGet(), 0);
  }
  EXPECT_EQ(driver::ReadFile(target), "old");
  EXPECT_EQ(driver::FolderEntries(folder.Path()),
            (std::vector<std::string>{"source.dat", "target.dat"}));
}

TEST(TempFile, LeftoversGoOnlyWhenMarkedOfTheirFormAndFree) {
  TempFolder folder;
  const struct {
    const char* name;
    DWORD attributes;
    bool folder;
    bool held;
    bool stays;
  } cases[] = {
      {"~t0.tmp", FILE_ATTRIBUTE_HIDDEN, false, false, false},
      {"~T17.TMP", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, false, false, false},
      {"~t1.tmp", FILE_ATTRIBUTE_NORMAL, false, false, true},    // not marked: someone else's
      {"~t2.tmp", FILE_ATTRIBUTE_HIDDEN, false, true, true},     // in use
      {"~tx.tmp", FILE_ATTRIBUTE_HIDDEN, false, false, true},    // not of the form
      {"~t3.tmp.x", FILE_ATTRIBUTE_HIDDEN, false, false, true},  //
      {"~t4.tmp", FILE_ATTRIBUTE_HIDDEN, true, false, true},     // a folder
  };
  std::vector<rt::UniqueFileHandle> held;
  std::vector<std::string> staying;
  for (const auto& c : cases) {
    const std::string path = folder.File(c.name);
    if (c.folder) {
      ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
    } else {
      ASSERT_TRUE(driver::WriteFile(path, "x"));
    }
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), c.attributes));
    if (c.held) {
      held.emplace_back(::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held.back());
    }
    if (c.stays) staying.push_back(c.name);
  }
  rt::TempFile::RemoveLeftovers(folder.Path(), "~t");
  std::sort(staying.begin(), staying.end());
  EXPECT_EQ(driver::FolderEntries(folder.Path()), staying);
}

}  // namespace

// Special folders and nested folder creation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_tools.h"
#include "rovalent_internal.h"
#include "test_support.h"

namespace {

constexpr std::int32_t kAppData = 0x1A;     // CSIDL_APPDATA
constexpr std::int32_t kAltStartup = 0x1D;  // valid, and no such folder in the prefix
constexpr std::int32_t kInvalidId = 0xFF;

std::string AppDataFromEnvironment() {
  char value[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA("APPDATA", value, sizeof value);
  return std::string(value, n);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(const std::string& folder) {
    ::GetCurrentDirectoryA(sizeof saved_, saved_);
    ::SetCurrentDirectoryA(folder.c_str());
  }
  CurrentFolderScope(const CurrentFolderScope&) = delete;
  CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
  ~CurrentFolderScope() { ::SetCurrentDirectoryA(saved_); }

 private:
  char saved_[MAX_PATH] = {};
};

TEST(GetFolderPath, AppDataWithCreate) {
  const std::string path = ds_GetFolderPath(kAppData, 1);
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(rt::EqualNoCase(path, AppDataFromEnvironment())) << path;
  EXPECT_NE(path.back(), '\\');
  EXPECT_TRUE(IsFolder(path));
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_TRUE(rt::IsBlank(RovalentErrorText()));
  // The lookup leaves its own name as the last procedure entered.
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_LoadDLLProc");
  EXPECT_NE(fp_SHGetFolderPath.load(), 0);
  EXPECT_NE(fp_SHGetFolderPath.load(), kProcLookupFailed);
}

TEST(GetFolderPath, FailuresStoreTheirCodeWithTheRequestedId) {
  const struct {
    std::int32_t id;
    const char* line;
    std::int32_t code;
    const char* detail;
  } cases[] = {
      {kAltStartup, "", rverr::kFolderMissing, "requested FolderID=0000001D"},
      {kInvalidId, "", rverr::kFolderIdInvalid, "requested FolderID=000000FF"},
      // Under /debug a missing folder is logged with a code of its own and
      // the whole text as detail; an invalid id is not logged.
      {kAltStartup, "/debug", rverr::kGetFolderPath,
       "ds_GetFolderPath failed, Path does not exist, requested FolderID=0000001D, "
       "ds_LoadDLLProc"},
      {kInvalidId, "/debug", rverr::kFolderIdInvalid, "requested FolderID=000000FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " " << c.line);
    testsupport::CommandLineScope line(c.line);
    EXPECT_EQ(ds_GetFolderPath(c.id), "");
    EXPECT_EQ(RovalentErrorCode(), c.code);
    EXPECT_EQ(rt::Clip(RovalentErrorText()), c.detail);
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_LoadDLLProc");
  }
}

TEST(GetFolderPath, FallsBackToShfolderWhenShell32HasFailed) {
  // As after a first call that found nothing in shell32.
  fp_SHGetFolderPath = kProcLookupFailed;
  EXPECT_TRUE(rt::EqualNoCase(ds_GetFolderPath(kAppData), AppDataFromEnvironment()));
  EXPECT_NE(fp_SHGetFolderPath.load(), kProcLookupFailed);
  EXPECT_NE(fp_SHGetFolderPath.load(), 0);
  EXPECT_EQ(RovalentErrorCode(), 0);
}

TEST(CreateFolders, CreatesEveryLevelOfEachKindOfPath) {
  testsupport::TempFolder temp;
  const std::string& t = temp.Path();
  ASSERT_EQ(t[1], ':');
  const std::string withoutDrive = t.substr(2);
  CurrentFolderScope inTemp(t);
  const struct {
    std::string path;
    std::vector<std::string> created;  // relative to the temporary folder
    std::vector<std::string> missing;
  } cases[] = {
      {t + "\\Data\\Sub", {"Data", "Data\\Sub"}, {}},
      {"a\\b", {"a", "a\\b"}, {}},
      {".\\c\\d", {"c", "c\\d"}, {}},
      {withoutDrive + "\\e\\f", {"e", "e\\f"}, {}},
      // Two backslashes in a row begin a server name: the search starts
      // behind them, so "g" is never made a level and nothing can be created.
      {"g\\\\h\\i", {}, {"g", "g\\h"}},
      {t + "\\j\\k    ", {"j", "j\\k"}, {}},
      {t + "\\Data\\Sub\\l", {"Data\\Sub\\l"}, {}},  // upper levels exist already
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ds_CreateDirectory(c.path), 1);
    for (const std::string& folder : c.created) EXPECT_TRUE(IsFolder(temp.File(folder))) << folder;
    for (const std::string& folder : c.missing) EXPECT_FALSE(IsFolder(temp.File(folder))) << folder;
    EXPECT_EQ(RovalentErrorCode(), 0);
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_CreateDirectory");
  }
  // The trailing blanks are not in the last folder's name.
  EXPECT_EQ(driver::FolderEntries(temp.File("j")), std::vector<std::string>{"k"});
}

TEST(CreateFolders, DebugRecordsTheLastLevelThatFailed) {
  testsupport::TempFolder temp;
  const std::string alreadyExists = SystemErrorText(ERROR_ALREADY_EXISTS);
  const struct {
    std::string line;
    std::string path;
    std::int32_t code;
    std::string detail;
  } cases[] = {
      // The drive and every existing level fail; the new last level does not.
      {"/debug", temp.File("new"), rverr::kCreateDirectory, alreadyExists},
      {"/debug", temp.Path(), rverr::kCreateDirectory, alreadyExists},
      {"/debug", "", rverr::kCreateDirectory, SystemErrorText(ERROR_PATH_NOT_FOUND)},
      {"", temp.Path(), 0, ""},
      {"", "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + " " + c.path);
    testsupport::CommandLineScope line(c.line);
    EXPECT_EQ(ds_CreateDirectory(c.path), 1);
    EXPECT_EQ(RovalentErrorCode(), c.code);
    EXPECT_EQ(rt::Clip(RovalentErrorText()), c.detail);
  }
  EXPECT_TRUE(IsFolder(temp.File("new")));
}

}  // namespace

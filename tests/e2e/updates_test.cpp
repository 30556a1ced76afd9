// Waiting program updates installed at the start, and the main program's
// manifest switched by the per-user setting.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

std::vector<std::string> SortedNoCase(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

struct Entry {
  const char* name;
  const char* content = "";  // null: a folder
  DWORD attributes = 0;      // set after it is written
};

struct UpdateCase {
  const char* name;
  std::vector<Entry> waiting;    // in "ztUtemp"
  std::vector<Entry> installed;  // in the program folder
  const char* heldOpen;          // an installed copy held open meanwhile
  // Afterwards: the files whose content the program folder must show, and
  // every entry left in "ztUtemp".
  std::vector<Entry> programAfter;
  std::vector<Entry> waitingAfter;
};

void PrintTo(const UpdateCase& c, std::ostream* out) {
  *out << c.name;
}

class Updates : public e2e::LauncherTest, public testing::WithParamInterface<UpdateCase> {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram(e2e::kPlanRecordAndRun);
    RemoveAfterTest(Trace());
  }

  std::string Waiting(const std::string& name = {}) const {
    return folder_.File("ztUtemp") + (name.empty() ? "" : "\\" + name);
  }

  static void Lay(const std::string& path, const Entry& e) {
    if (!e.content) {
      ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path;
    } else {
      ASSERT_TRUE(driver::WriteFile(path, e.content)) << path;
    }
    if (e.attributes) {
      ASSERT_TRUE(::SetFileAttributesA(path.c_str(), e.attributes)) << path;
    }
  }

  // The debug file of the starts, beside the program folder.
  std::string Trace() const { return folder_.Path() + "-trace.txt"; }

  // The names that the debug file reports as not installed, in its order.
  std::vector<std::string> NotInstalled() const {
    constexpr std::string_view kLine = "Update not installed: ";
    std::vector<std::string> names;
    const std::string trace = driver::ReadFile(Trace());
    for (std::size_t at = trace.find(kLine); at != std::string::npos;
         at = trace.find(kLine, at + 1)) {
      const std::size_t from = at + kLine.size();
      names.push_back(trace.substr(from, trace.find(", ", from) - from));
    }
    return names;
  }

  void RunToTheMainProgram() {
    // A main program of an earlier start would still hold the mutex.
    folder_.EndPrograms();
    driver::RemoveTree(RecordFile());
    driver::RemoveTree(Trace());
    const std::optional<DWORD> code = RunLauncher("\"DebugOutputFile=" + Trace() + "\"");
    ASSERT_TRUE(code) << "the launcher did not end";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(driver::FileExists(RecordFile())) << "the main program was not started";
  }

  // What the program folder holds besides the files of the case.
  std::vector<std::string> ProgramFolderEntries(const std::vector<Entry>& files) const {
    std::vector<std::string> names = {"Tarm.exe",    "tarm-plan.ini", e2e::kRecordFile,
                                      "zorvant.INI", "zorvant.exe",   "ztUtemp"};
    for (const Entry& e : files) names.push_back(e.name);
    return SortedNoCase(names);
  }
};

TEST_P(Updates, AreInstalledWithoutLosingACopy) {
  const UpdateCase& c = GetParam();
  ASSERT_TRUE(::CreateDirectoryA(Waiting().c_str(), nullptr));
  for (const Entry& e : c.waiting) ASSERT_NO_FATAL_FAILURE(Lay(Waiting(e.name), e));
  for (const Entry& e : c.installed) ASSERT_NO_FATAL_FAILURE(Lay(folder_.File(e.name), e));
  const std::string launcher = driver::ReadFile(folder_.File("zorvant.exe"));

  {
    // Open as a program that runs from the folder holds its files: without
    // sharing delete, so that the copy cannot be replaced.
    rt::UniqueFileHandle held;
    if (c.heldOpen) {
      held.reset(::CreateFileA(folder_.File(c.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held) << c.heldOpen;
    }
    RunToTheMainProgram();
  }

  for (const Entry& e : c.programAfter) {
    EXPECT_EQ(driver::ReadFile(folder_.File(e.name)), e.content) << e.name;
  }
  // No temporary copy is left behind, and nothing else appeared.
  EXPECT_EQ(SortedNoCase(driver::FolderEntries(folder_.Path())),
            ProgramFolderEntries(c.programAfter));
  EXPECT_EQ(driver::ReadFile(folder_.File("zorvant.exe")), launcher) << "the launcher was replaced";
  // Only a copy that could not be replaced is reported; the launcher's own
  // name, in any letter case, is not even tried.
  EXPECT_EQ(NotInstalled(),
            c.heldOpen ? std::vector<std::string>{c.heldOpen} : std::vector<std::string>{});

  std::vector<std::string> waitingNames;
  for (const Entry& e : c.waitingAfter) {
    if (std::string(e.name).find('\\') == std::string::npos) waitingNames.push_back(e.name);
    if (e.content) {
      EXPECT_EQ(driver::ReadFile(Waiting(e.name)), e.content) << "waiting " << e.name;
    }
  }
  EXPECT_EQ(SortedNoCase(driver::FolderEntries(Waiting())), SortedNoCase(waitingNames));

  if (c.heldOpen) {
    // Once it is let go, the next start installs it. A read-only waiting
    // copy cannot be removed: it stays, to be installed again.
    const std::string update = driver::ReadFile(Waiting(c.heldOpen));
    const DWORD attributes = ::GetFileAttributesA(Waiting(c.heldOpen).c_str());
    RunToTheMainProgram();
    EXPECT_EQ(driver::ReadFile(folder_.File(c.heldOpen)), update);
    EXPECT_EQ(driver::FileExists(Waiting(c.heldOpen)), (attributes & FILE_ATTRIBUTE_READONLY) != 0);
    EXPECT_EQ(SortedNoCase(driver::FolderEntries(folder_.Path())),
              ProgramFolderEntries(c.programAfter));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Updates,
    testing::Values(
        // One over its installed copy, one new.
        UpdateCase{"TwoPlainFiles",
                   {{"a.dll", "new a"}, {"readme.txt", "new readme"}},
                   {{"a.dll", "old a"}},
                   nullptr,
                   {{"a.dll", "new a"}, {"readme.txt", "new readme"}},
                   {}},
        UpdateCase{"TheLaunchersOwnNameInCapitalsStays",
                   {{"ZORVANT.EXE", "not the launcher"}, {"b.dat", "new b"}},
                   {},
                   nullptr,
                   {{"b.dat", "new b"}},
                   {{"ZORVANT.EXE", "not the launcher"}}},
        UpdateCase{"ASubfolderAndAHiddenFileAreLeftAlone",
                   {{"sub", nullptr},
                    {"sub\\c.dll", "in sub"},
                    {"h.cfg", "hidden", FILE_ATTRIBUTE_HIDDEN}},
                   {},
                   nullptr,
                   {},
                   {{"sub", nullptr}, {"sub\\c.dll", "in sub"}, {"h.cfg", "hidden"}}},
        // The installed copy stays, the waiting copy waits, the next file is
        // installed all the same.
        UpdateCase{"AnInstalledCopyThatCannotBeReplaced",
                   {{"d.dll", "new d"}, {"e.txt", "new e"}},
                   {{"d.dll", "old d"}},
                   "d.dll",
                   {{"d.dll", "old d"}, {"e.txt", "new e"}},
                   {{"d.dll", "new d"}}},
        // Its temporary copy is read-only as well, and still goes.
        UpdateCase{"AReadOnlyUpdateOverACopyThatCannotBeReplaced",
                   {{"d.dll", "new d", FILE_ATTRIBUTE_READONLY}},
                   {{"d.dll", "old d"}},
                   "d.dll",
                   {{"d.dll", "old d"}},
                   {{"d.dll", "new d"}}}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The manifest.

constexpr const char* kTemplate = "<assembly>template</assembly>";
constexpr const char* kOwnManifest = "<assembly>its own</assembly>";

struct ManifestCase {
  const char* name;
  const char* setting;   // "XPManifest" before; null: absent
  const char* manifest;  // "tarm.exe.manifest" before; null: absent
  bool withTemplate;     // "tarmmanifest.xml" present
  const char* settingAfter;
  const char* manifestAfter;
};

void PrintTo(const ManifestCase& c, std::ostream* out) {
  *out << c.name;
}

class ManifestSetting : public e2e::LauncherTest, public testing::WithParamInterface<ManifestCase> {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram(e2e::kPlanRecordAndRun);
  }
};

TEST_P(ManifestSetting, SwitchesTheMainProgramsManifest) {
  const ManifestCase& c = GetParam();
  if (c.setting) {
    ASSERT_TRUE(e2e::WriteSetting("Orvande Zorvant", "XPManifest", c.setting));
  }
  if (c.manifest) {
    ASSERT_TRUE(driver::WriteFile(folder_.File("tarm.exe.manifest"), c.manifest));
  }
  if (c.withTemplate) {
    ASSERT_TRUE(driver::WriteFile(folder_.File("tarmmanifest.xml"), kTemplate));
  }

  const std::optional<DWORD> code = RunLauncher();
  ASSERT_TRUE(code) << "the launcher did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(driver::FileExists(RecordFile())) << "the main program was not started";

  EXPECT_EQ(e2e::Setting("Orvande Zorvant", "XPManifest"), c.settingAfter);
  if (c.manifestAfter) {
    EXPECT_EQ(driver::ReadFile(folder_.File("tarm.exe.manifest")), c.manifestAfter);
  } else {
    EXPECT_FALSE(driver::FileExists(folder_.File("tarm.exe.manifest")));
  }
  if (c.withTemplate) {
    EXPECT_EQ(driver::ReadFile(folder_.File("tarmmanifest.xml")), kTemplate);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ManifestSetting,
    testing::Values(
        // Absent, or anything that reads as 5: "1" is stored, then as for 1.
        ManifestCase{"Absent", nullptr, nullptr, true, "1", kTemplate},
        ManifestCase{"AbsentWithoutATemplate", nullptr, nullptr, false, "1", nullptr},
        ManifestCase{"FiveWithItsOwnManifest", "5", kOwnManifest, true, "1", kOwnManifest},
        ManifestCase{"FiveWithAFraction", "5.7", nullptr, true, "1", kTemplate},
        ManifestCase{"FiveAfterABlank", " 5", nullptr, true, "1", kTemplate},
        ManifestCase{"FiveWithAnExponent", "0.5e1", nullptr, true, "1", kTemplate},
        // 0, or no number at the start: off.
        ManifestCase{"Zero", "0", kOwnManifest, true, "0", nullptr},
        ManifestCase{"ZeroWithoutAManifest", "0", nullptr, true, "0", nullptr},
        ManifestCase{"Letters", "abc", kOwnManifest, true, "abc", nullptr},
        ManifestCase{"Empty", "", kOwnManifest, true, "", nullptr},
        ManifestCase{"PlusFive", "+5", kOwnManifest, true, "+5", nullptr},
        // Any other number: on; a manifest that is there is never replaced.
        ManifestCase{"One", "1", nullptr, true, "1", kTemplate},
        ManifestCase{"Two", "2", kOwnManifest, true, "2", kOwnManifest},
        ManifestCase{"MinusOne", "-1", nullptr, true, "-1", kTemplate},
        // Beyond the 64-bit range still a number other than 0.
        ManifestCase{"BeyondTheWholeNumbers", "1e19", kOwnManifest, true, "1e19", kOwnManifest},
        ManifestCase{"BeyondTheWholeNumbersBelow", "-1e19", nullptr, true, "-1e19", kTemplate}),
    [](const testing::TestParamInfo<ManifestCase>& info) { return info.param.name; });

}  // namespace

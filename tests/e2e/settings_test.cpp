// The launcher's per-user settings: the folder and file it keeps them in,
// the older files it takes over from the Windows directory, and where it
// finds the control folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

constexpr const char* kSection = "Orvande Zorvant";
constexpr const char* kHandshake = "Accounting Program";

struct Key {
  const char* section;
  const char* key;
  // Nothing: the key must be absent.
  std::optional<std::string> value;
};

// Settings cases name folders by placeholder: {program} is the program
// folder, {reachable} a folder beside it that exists, {unreachable} one that
// does not.
class SettingsTest : public e2e::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram(e2e::kPlanRecordAndRun);
    ASSERT_TRUE(::CreateDirectoryA(Reachable().c_str(), nullptr));
  }

  std::string Reachable() const { return folder_.File("share"); }
  std::string Unreachable() const { return folder_.File("gone"); }

  std::string Expand(std::string text) const {
    const std::pair<const char*, std::string> names[] = {
        {"{program}", rt::PathLong(folder_.Path())},
        {"{reachable}", Reachable()},
        {"{unreachable}", Unreachable()}};
    for (const auto& [name, value] : names) {
      for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
        text.replace(at, std::string(name).size(), value);
      }
    }
    return text;
  }

  // The launcher started, went its whole way without a question and
  // started the main program, which ended the wait.
  void ExpectAnUnaskedStart() {
    const std::optional<DWORD> code = RunLauncher();
    ASSERT_TRUE(code) << "the launcher did not end: it may be asking something";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(driver::FileExists(RecordFile())) << "the main program was not started";
  }

  void ExpectKeys(const std::vector<Key>& keys) const {
    for (const Key& k : keys) {
      const std::optional<std::string> expected =
          k.value ? std::optional(Expand(*k.value)) : std::nullopt;
      EXPECT_EQ(e2e::Setting(k.section, k.key), expected) << "[" << k.section << "] " << k.key;
    }
  }
};

// ---------------------------------------------------------------------------
// Where the control folder comes from.

struct ControlPathCase {
  const char* name;
  std::vector<std::pair<const char*, const char*>> stored;  // keys of "Orvande Zorvant"
  std::vector<Key> expected;
};

void PrintTo(const ControlPathCase& c, std::ostream* out) {
  *out << c.name;
}

class ControlPathSource : public SettingsTest,
                          public testing::WithParamInterface<ControlPathCase> {};

TEST_P(ControlPathSource, IsTakenWithoutAQuestion) {
  for (const auto& [key, value] : GetParam().stored) {
    ASSERT_TRUE(e2e::WriteSetting(kSection, key, Expand(value)));
  }
  ExpectAnUnaskedStart();
  EXPECT_TRUE(::GetFileAttributesA(e2e::UserSettingsFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  ExpectKeys(GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ControlPathSource,
    testing::Values(
        // Nothing stored anywhere: the folder is made, the program folder
        // becomes the control folder.
        ControlPathCase{"FirstStartOfAUser",
                        {},
                        {{kSection, "ControlPath", "{program}"},
                         {kSection, "ControlPath #.##", std::nullopt},
                         {kSection, "TempControlPath", ""},
                         {kSection, "XPManifest", "1"},
                         {kHandshake, "Selector", "J"},
                         {kHandshake, "CloseDown", "0"}}},
        // The versioned key wins: "ControlPath" would not be reachable.
        ControlPathCase{"VersionedKeyWins",
                        {{"ControlPath #.##", "{reachable}"}, {"ControlPath", "{unreachable}"}},
                        {{kSection, "ControlPath #.##", "{reachable}"},
                         {kSection, "ControlPath", "{unreachable}"}}},
        // The version has two integer digits: its key is "#.##", never
        // "22.10".
        ControlPathCase{"KeyWithTheVersionInDigitsIsNotRead",
                        {{"ControlPath 22.10", "{unreachable}"}, {"ControlPath", "{reachable}"}},
                        {{kSection, "ControlPath", "{reachable}"},
                         {kSection, "ControlPath #.##", std::nullopt}}},
        ControlPathCase{
            "StoredControlPathIsKeptAndTheOfflineFolderCleared",
            {{"ControlPath", "{reachable}"}, {"TempControlPath", "{program}"}},
            {{kSection, "ControlPath", "{reachable}"}, {kSection, "TempControlPath", ""}}},
        ControlPathCase{"BlankControlPathCountsAsMissing",
                        {{"ControlPath #.##", "   "}, {"ControlPath", "   "}},
                        {{kSection, "ControlPath", "{program}"}}}),
    [](const testing::TestParamInfo<ControlPathCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Settings files of older installations in the Windows directory.

struct MigrationCase {
  const char* name;
  // Contents before the start; null: no such file.
  const char* windowsZTSetup;
  const char* windowsZorvant;
  const char* userZTSetup;
  const char* userZorvant;
  // After the start.
  std::vector<Key> keys;
  const char* userZorvantAfter;
};

void PrintTo(const MigrationCase& c, std::ostream* out) {
  *out << c.name;
}

class Migration : public SettingsTest, public testing::WithParamInterface<MigrationCase> {};

TEST_P(Migration, CopiesWhatIsMissingAndNeverReplaces) {
  const MigrationCase& c = GetParam();
  const std::string windows = e2e::WindowsFolder() + "\\";
  const std::string user = e2e::UserSettingsFolder() + "\\";
  const std::pair<std::string, const char*> before[] = {{windows + "ZTSetup.ini", c.windowsZTSetup},
                                                        {windows + "Zorvant.ini", c.windowsZorvant},
                                                        {user + "ZTSetup.ini", c.userZTSetup},
                                                        {user + "Zorvant.ini", c.userZorvant}};
  if (c.userZTSetup || c.userZorvant) {
    ASSERT_TRUE(::CreateDirectoryA(e2e::UserSettingsFolder().c_str(), nullptr));
  }
  for (const auto& [path, content] : before) {
    if (content) {
      ASSERT_TRUE(driver::WriteFile(path, Expand(content))) << path;
    }
  }

  ExpectAnUnaskedStart();

  // The Windows directory keeps its files as they were.
  for (const auto& [path, content] : before) {
    if (path.rfind(windows, 0) != 0) continue;
    if (content) {
      EXPECT_EQ(driver::ReadFile(path), Expand(content)) << path;
    } else {
      EXPECT_FALSE(driver::FileExists(path)) << path;
    }
  }
  ExpectKeys(c.keys);
  if (c.userZorvantAfter) {
    EXPECT_EQ(driver::ReadFile(user + "Zorvant.ini"), c.userZorvantAfter);
  } else {
    EXPECT_FALSE(driver::FileExists(user + "Zorvant.ini"));
  }
}

constexpr const char* kOldZorvantIni = "[Old]\r\nFrom=Windows\r\n";
constexpr const char* kUserZorvantIni = "[Mine]\r\nFrom=User\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Migration,
    testing::Values(
        // Copied, then read there: its control folder is the one used.
        MigrationCase{"BothOnlyInTheWindowsFolder",
                      "[Orvande Zorvant]\r\nControlPath={reachable}\r\nFrom=Windows\r\n",
                      kOldZorvantIni,
                      nullptr,
                      nullptr,
                      {{kSection, "From", "Windows"},
                       {kSection, "ControlPath", "{reachable}"},
                       {kSection, "TempControlPath", ""}},
                      kOldZorvantIni},
        // The per-user files are never replaced, however old.
        MigrationCase{"BothInBothFolders",
                      "[Orvande Zorvant]\r\nControlPath={unreachable}\r\nFrom=Windows\r\n",
                      kOldZorvantIni,
                      "[Orvande Zorvant]\r\nControlPath={reachable}\r\nFrom=User\r\n",
                      kUserZorvantIni,
                      {{kSection, "From", "User"}, {kSection, "ControlPath", "{reachable}"}},
                      kUserZorvantIni},
        MigrationCase{"OnlyZorvantIniInTheWindowsFolder",
                      nullptr,
                      kOldZorvantIni,
                      nullptr,
                      nullptr,
                      {{kSection, "ControlPath", "{program}"}, {kSection, "From", std::nullopt}},
                      kOldZorvantIni},
        MigrationCase{"ZTSetupInBothZorvantIniInTheWindowsFolder",
                      "[Orvande Zorvant]\r\nControlPath={unreachable}\r\nFrom=Windows\r\n",
                      kOldZorvantIni,
                      "[Orvande Zorvant]\r\nControlPath={reachable}\r\nFrom=User\r\n",
                      nullptr,
                      {{kSection, "From", "User"}},
                      kOldZorvantIni},
        MigrationCase{"NothingInTheWindowsFolder",
                      nullptr,
                      nullptr,
                      nullptr,
                      kUserZorvantIni,
                      {{kSection, "ControlPath", "{program}"}},
                      kUserZorvantIni}),
    [](const testing::TestParamInfo<MigrationCase>& info) { return info.param.name; });

}  // namespace

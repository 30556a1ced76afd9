// The real launcher under "/debug": the library's errors go to the event
// dump. The per-user folder is made level by level, and every level that
// exists already fails at the system and is logged, while the start goes on
// as usual.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace {

// The lines of a debug file without their time stamps.
std::vector<std::string> DumpLines(const std::string& file) {
  static const std::regex stamp(R"(^[ 12]\d:\d\d:\d\d:\d{1,2} )");
  std::vector<std::string> lines;
  std::istringstream in(driver::ReadFile(file));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::regex_replace(line, stamp, ""));
  }
  return lines;
}

// What the system says when a folder of that name cannot be created, as
// the launcher's own attempt meets it: the folder exists, or it is a drive.
std::string CreateFailureText(const std::string& level) {
  if (::CreateDirectoryA(level.c_str(), nullptr)) {
    ::RemoveDirectoryA(level.c_str());
    return "(created)";
  }
  char text[256] = "";
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ::GetLastError(), 0, text,
                                   sizeof text, nullptr);
  std::string result(text, n);
  if (result.size() >= 2 && result.ends_with("\r\n")) result.resize(result.size() - 2);
  return result;
}

// The levels that the launcher creates, from the drive down.
std::vector<std::string> Levels(const std::string& path) {
  std::vector<std::string> levels;
  for (std::size_t at = path.find('\\', path.find(':')); at != std::string::npos;
       at = path.find('\\', at + 1)) {
    levels.push_back(path.substr(0, at));
  }
  levels.push_back(path);
  return levels;
}

class LauncherUnderDebug : public e2e::LauncherTest {};

TEST_F(LauncherUnderDebug, LogsTheFolderLevelsThatExistAndStartsAsUsual) {
  folder_.AddMainProgram("[Plan]\r\nRecord=tarm-record.txt\r\nMutex=hold\r\nHoldMs=3000\r\n");
  const std::string dump = folder_.File("dump.txt");
  const std::string userFolder = e2e::UserSettingsFolder();
  // The same start twice: the second finds the per-user folder in place.
  for (bool folderExists : {false, true}) {
    driver::RemoveTree(dump);
    ASSERT_EQ(driver::FileExists(userFolder), folderExists);
    ASSERT_TRUE(Launch("/debug \"DebugOutputFile=" + dump + "\""));
    EXPECT_EQ(WaitForExit(e2e::kStartTimeoutMs), 0u);
    EXPECT_TRUE(
        driver::FileExists(folder_.File("tarm-record.txt")));  // the main program was started
    folder_.EndPrograms();

    std::vector<std::string> expected;
    for (const std::string& level : Levels(userFolder)) {
      if (level == userFolder && !folderExists) continue;  // created: nothing to log
      expected.push_back(" ds_CreateDirectory error, " + CreateFailureText(level) +
                         ", ds_CreateDirectory");
    }
    std::vector<std::string> logged;
    for (const std::string& line : DumpLines(dump)) {
      if (line.find("ds_CreateDirectory") != std::string::npos) logged.push_back(line);
    }
    EXPECT_EQ(logged, expected) << (folderExists ? "second start" : "first start");
    // Nothing else of the start is a library error.
    for (const std::string& line : DumpLines(dump)) {
      EXPECT_TRUE(line.find(" error") == std::string::npos ||
                  line.find("ds_CreateDirectory") != std::string::npos)
          << line;
    }
  }
}

}  // namespace

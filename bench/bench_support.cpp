#include "bench_support.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "file_tools.h"
#include "handles.h"

namespace bench {

std::int64_t Counter() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Milliseconds(std::int64_t from, std::int64_t to) {
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to - from) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string UserSettingsFolder() {
  char appData[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  return std::string(appData) + "\\Orvande";
}

std::optional<std::int64_t> RecordNumber(const std::string& path, const std::string& key) {
  const std::optional<std::string> value = driver::KeyValue(path, key);
  if (!value) return {};
  return std::strtoll(value->c_str(), nullptr, 10);
}

SettingsAside::SettingsAside() {
  const std::string aside = UserSettingsFolder() + ".bench-aside";
  driver::RemoveTree(aside);
  moved_ = ::MoveFileA(UserSettingsFolder().c_str(), aside.c_str()) != FALSE;
  driver::RemoveTree(UserSettingsFolder());
}

SettingsAside::~SettingsAside() {
  driver::RemoveTree(UserSettingsFolder());
  if (moved_) {
    ::MoveFileA((UserSettingsFolder() + ".bench-aside").c_str(), UserSettingsFolder().c_str());
  }
}

Folder::Folder(const std::string& name) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + name;
  driver::RemoveTree(path_);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

Folder::~Folder() {
  driver::RemoveTree(path_);
}

bool Folder::Add(const std::string& program) const {
  return ::CopyFileA((driver::ExecutableFolder() + "\\" + program).c_str(), File(program).c_str(),
                     FALSE);
}

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The Linux processes, each with the first word of its command line.
template <typename Match>
int FindLinuxProcess(Match match) {
  // Other Wine sessions may run on the machine, each with its own prefix
  // and wineserver: only a process of this session's prefix counts.
  char prefix[MAX_PATH] = {};
  ::GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
  const std::string ours = std::string("WINEPREFIX=") + prefix;
  WIN32_FIND_DATAA found{};
  rt::UniqueFind find(::FindFirstFileA("Z:\\proc\\*", &found));
  if (!find) return 0;
  do {
    const int pid = std::atoi(found.cFileName);
    if (pid <= 0) continue;
    const std::string folder = "Z:\\proc\\" + std::to_string(pid);
    const std::string line = driver::ReadFile(folder + "\\cmdline");
    if (!match(std::string(line.c_str()))) continue;  // up to the first NUL
    const std::string environment = driver::ReadFile(folder + "\\environ");
    if (std::string_view(environment).find(ours + '\0') != std::string_view::npos) return pid;
  } while (::FindNextFileA(find.get(), &found));
  return 0;
}

}  // namespace

int LinuxProcessOf(const std::string& windowsExecutable) {
  return FindLinuxProcess(
      [&](const std::string& first) { return SameNoCase(first, windowsExecutable); });
}

int LinuxWineserver() {
  return FindLinuxProcess(
      [](const std::string& first) { return first.find("wineserver") != std::string::npos; });
}

namespace {

std::optional<double> ReadLinuxCpuMs(int pid) {
  const std::string tasks = "Z:\\proc\\" + std::to_string(pid) + "\\task";
  WIN32_FIND_DATAA found{};
  rt::UniqueFind find(::FindFirstFileA((tasks + "\\*").c_str(), &found));
  if (!find) return {};
  double total = 0;
  bool any = false;
  do {
    if (std::atoi(found.cFileName) <= 0) continue;
    const std::string stat = driver::ReadFile(tasks + "\\" + found.cFileName + "\\schedstat");
    if (stat.empty()) continue;
    total += static_cast<double>(std::strtoull(stat.c_str(), nullptr, 10)) / 1e6;
    any = true;
  } while (::FindNextFileA(find.get(), &found));
  if (!any) return {};
  return total;
}

}  // namespace

Prefix CurrentPrefix() {
  char face[LF_FACESIZE] = {};
  DWORD size = sizeof face;
  const bool substituted =
      ::RegGetValueA(HKEY_LOCAL_MACHINE,
                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
                     "Microsoft Sans Serif", RRF_RT_REG_SZ, nullptr, face, &size) == ERROR_SUCCESS;
  if (substituted) return {"faces", "Microsoft Sans Serif and Segoe UI substituted"};
  return {"stock", "stock Wine prefix, no font substitutes"};
}

namespace {

std::string FiguresFile() {
  const char* file = std::getenv("BENCH_FIGURES");
  return file ? file : "";
}

}  // namespace

void KeepFigure(const std::string& name, double value) {
  const std::string file = FiguresFile();
  if (file.empty()) return;
  char line[128];
  std::snprintf(line, sizeof line, "%s=%.4f\r\n", name.c_str(), value);
  driver::WriteFile(file, driver::ReadFile(file) + line);
}

std::optional<double> KeptFigure(const std::string& name) {
  const std::string file = FiguresFile();
  if (file.empty()) return {};
  const std::optional<std::string> value = driver::KeyValue(file, name);
  if (!value) return {};
  return std::strtod(value->c_str(), nullptr);
}

namespace {

std::optional<double> ReadLinuxPeakMemoryMiB(int pid) {
  const std::string status = driver::ReadFile("Z:\\proc\\" + std::to_string(pid) + "\\status");
  const std::size_t at = status.find("VmHWM:");
  if (at == std::string::npos) return {};
  return static_cast<double>(std::strtoull(status.c_str() + at + 6, nullptr, 10)) / 1024;
}

// Reading /proc through Wine fails now and then; it is asked again.
std::optional<double> ReadProcAgainAndAgain(int pid, std::optional<double> (*read)(int)) {
  if (pid <= 0) return {};
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (const std::optional<double> value = read(pid)) return value;
    ::Sleep(10);
  }
  return {};
}

}  // namespace

std::optional<double> LinuxCpuMs(int pid) {
  return ReadProcAgainAndAgain(pid, ReadLinuxCpuMs);
}

std::optional<double> LinuxPeakMemoryMiB(int pid) {
  return ReadProcAgainAndAgain(pid, ReadLinuxPeakMemoryMiB);
}

}  // namespace bench

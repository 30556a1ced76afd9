// What the benchmarks share: time on the performance counter, medians, the
// program folders they lay out, and the CPU time of a Wine process read on
// the Linux side (under Wine, GetProcessTimes of another process does not
// advance).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The performance counter now, and a span of it in milliseconds.
std::int64_t Counter();
double Milliseconds(std::int64_t from, std::int64_t to);

double Median(std::vector<double> values);

// %APPDATA%\Orvande, where the launcher keeps its settings.
std::string UserSettingsFolder();

// A value "Key=Value" of a file such as the stand-in's record.
std::optional<std::int64_t> RecordNumber(const std::string& path, const std::string& key);

// The launcher's per-user settings moved aside for the length of a
// benchmark, so that it starts as a user's first start does (a control folder
// stored by an earlier run would stop it with a question), and put back
// afterwards.
class SettingsAside {
 public:
  SettingsAside();
  SettingsAside(const SettingsAside&) = delete;
  SettingsAside& operator=(const SettingsAside&) = delete;
  ~SettingsAside();

 private:
  bool moved_ = false;
};

// A fresh folder under the temporary folder, removed with the object.
class Folder {
 public:
  explicit Folder(const std::string& name);
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // Copies a program from beside the benchmark into the folder (the build
  // puts zorvant.exe, Tarm.exe and the bare launcher there).
  bool Add(const std::string& program) const;

 private:
  std::string path_;
};

// The Linux process id of the Wine process running that executable (full
// Windows path, letter case ignored), or of the wineserver; 0 when none is
// found. Read through drive Z:, which Wine maps to the Linux root.
int LinuxProcessOf(const std::string& windowsExecutable);
int LinuxWineserver();
// The CPU time of a Linux process, all its threads, in milliseconds:
// /proc/PID/task/*/schedstat. Nothing when it cannot be read.
std::optional<double> LinuxCpuMs(int pid);
// The peak resident memory of a Linux process so far (VmHWM of
// /proc/PID/status), in MiB: the peak working set of a Wine process.
std::optional<double> LinuxPeakMemoryMiB(int pid);

// Which Wine prefix the benchmark runs in: the project's, where "Microsoft
// Sans Serif" and "Segoe UI" are substituted as on a Windows desktop, or a
// stock one without them. The short name keys the kept figures.
struct Prefix {
  const char* key;  // "faces" or "stock"
  const char* description;
};
Prefix CurrentPrefix();

// Figures kept for the closing note of scripts/bench, as lines "Name=Value"
// of the file that the environment variable BENCH_FIGURES names (nothing is
// kept when it is not set), and read back from it.
void KeepFigure(const std::string& name, double value);
std::optional<double> KeptFigure(const std::string& name);

}  // namespace bench

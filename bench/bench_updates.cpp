// The launcher's installation of waiting updates, 200 files of 100 MB in
// all over installed copies, beside deleting and copying the same files the
// unsafe way in the same run. The launcher's figure is the real zorvant.exe
// started with the updates waiting, less the same start with none waiting;
// the launcher's steps done here directly (temporary copy, replace in one step,
// then the waiting copy removed) show the cost of the method alone.
// Prints its figures; it passes or fails nothing.
//   bench_updates [ROUNDS]
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "driver.h"
#include "file_tools.h"

namespace {

constexpr int kFiles = 200;
constexpr std::size_t kFileSize = 100u * 1024 * 1024 / kFiles;

std::string Name(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "update%03d.dat", i);
  return name;
}

class Installation {
 public:
  Installation() : folder_("zvbench_updates") {
    ok_ = folder_.Add("zorvant.exe") && folder_.Add("Tarm.exe") &&
          driver::WriteFile(folder_.File("tarm-plan.ini"), "[Plan]\r\nMutex=hold\r\n") &&
          ::CreateDirectoryA(Waiting().c_str(), nullptr);
  }
  bool Ok() const { return ok_; }

  std::string Waiting(const std::string& name = {}) const {
    return folder_.File("ztUtemp") + (name.empty() ? "" : "\\" + name);
  }
  std::string Installed(const std::string& name) const { return folder_.File(name); }

  // Old installed copies, and new ones waiting when `updates`.
  bool Prepare(bool updates) const {
    std::string content(kFileSize, 'o');
    for (int i = 0; i < kFiles; ++i) {
      if (!driver::WriteFile(Installed(Name(i)), content)) return false;
    }
    if (!updates) return true;
    content.assign(kFileSize, 'n');
    for (int i = 0; i < kFiles; ++i) {
      if (!driver::WriteFile(Waiting(Name(i)), content)) return false;
    }
    return true;
  }

  // Every file installed, nothing left waiting.
  bool AllInstalled() const {
    for (int i = 0; i < kFiles; i += 37) {
      const std::string content = driver::ReadFile(Installed(Name(i)));
      if (content.size() != kFileSize || content[0] != 'n') return false;
      if (::GetFileAttributesA(Waiting(Name(i)).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    }
    return true;
  }

  // The whole start of the real launcher, ended by the stand-in's mutex.
  std::optional<double> RunLauncher() const {
    const std::int64_t from = bench::Counter();
    const auto process = driver::Process::Start(folder_.Path(), "zorvant.exe");
    if (!process) return {};
    const std::optional<DWORD> code = process->WaitForExit(60000);
    const double ms = bench::Milliseconds(from, bench::Counter());
    for (DWORD id : driver::ProcessesUnder(folder_.Path())) driver::KillProcess(id);
    driver::WaitUntil([] { return !driver::MutexExists("Running_Zorvant"); }, 5000);
    if (!code) {
      process->Kill();
      return {};
    }
    return ms;
  }

  double Unsafe() const {
    const std::int64_t from = bench::Counter();
    for (int i = 0; i < kFiles; ++i) {
      const std::string waiting = Waiting(Name(i)), target = Installed(Name(i));
      ::DeleteFileA(target.c_str());
      ::CopyFileA(waiting.c_str(), target.c_str(), FALSE);
      ::DeleteFileA(waiting.c_str());
    }
    return bench::Milliseconds(from, bench::Counter());
  }

  // The launcher's steps: a copy beside the target under a name that is
  // free, the installed copy replaced by it in one step, the waiting copy
  // removed last.
  double Safe() const {
    const std::string temporary = folder_.File("~zup0.tmp");
    const std::int64_t from = bench::Counter();
    for (int i = 0; i < kFiles; ++i) {
      const std::string waiting = Waiting(Name(i)), target = Installed(Name(i));
      if (::CopyFileA(waiting.c_str(), temporary.c_str(), TRUE) &&
          ::MoveFileExA(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(waiting.c_str());
      } else {
        ::DeleteFileA(temporary.c_str());
      }
    }
    return bench::Milliseconds(from, bench::Counter());
  }

 private:
  bench::Folder folder_;
  bool ok_ = false;
};

double MiBPerSecond(double ms) {
  return ms > 0 ? 100.0 / (ms / 1000.0) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const bench::SettingsAside settings;
  Installation installation;
  if (!installation.Ok()) {
    std::fprintf(stderr, "bench: cannot lay out the program folder\n");
    return 1;
  }

  std::vector<double> withUpdates, withoutUpdates, unsafe, safe;
  int wrong = 0;
  for (int round = 0; round <= rounds; ++round) {  // round 0 warms up and is not counted
    const bool counted = round > 0;
    if (!installation.Prepare(true)) return 1;
    const std::optional<double> launcher = installation.RunLauncher();
    if (!installation.AllInstalled()) ++wrong;
    if (!installation.Prepare(false)) return 1;
    const std::optional<double> empty = installation.RunLauncher();
    if (!installation.Prepare(true)) return 1;
    const double u = installation.Unsafe();
    if (!installation.AllInstalled()) ++wrong;
    if (!installation.Prepare(true)) return 1;
    const double s = installation.Safe();
    if (!installation.AllInstalled()) ++wrong;
    if (!counted) continue;
    if (launcher && empty) {
      withUpdates.push_back(*launcher);
      withoutUpdates.push_back(*empty);
    }
    unsafe.push_back(u);
    safe.push_back(s);
  }

  const double launcherInstall = bench::Median(withUpdates) - bench::Median(withoutUpdates);
  const double unsafeMs = bench::Median(unsafe);
  std::printf("Update installation, %d files of %zu bytes (100 MiB) over installed copies\n",
              kFiles, kFileSize);
  std::printf("  (medians of %zu rounds; ratio against deleting and copying the unsafe way)\n",
              unsafe.size());
  std::printf("  %-44s %9.1f ms\n", "launcher start with the updates waiting",
              bench::Median(withUpdates));
  std::printf("  %-44s %9.1f ms\n", "launcher start with none waiting",
              bench::Median(withoutUpdates));
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x\n", "the launcher's installation (difference)",
              launcherInstall, MiBPerSecond(launcherInstall),
              unsafeMs > 0 ? launcherInstall / unsafeMs : 0.0);
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x\n", "its steps alone, done here",
              bench::Median(safe), MiBPerSecond(bench::Median(safe)),
              unsafeMs > 0 ? bench::Median(safe) / unsafeMs : 0.0);
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x\n", "delete, then copy (unsafe)", unsafeMs,
              MiBPerSecond(unsafeMs), 1.0);
  if (wrong) std::printf("  warning: %d installations left files out\n", wrong);

  return 0;
}

// The launcher's installation of waiting updates, 200 files of 100 MiB in
// all over installed copies, beside deleting and copying the same files the
// unsafe way in the same run. The launcher's figure is the real zorvant.exe
// started with the updates waiting, less the same start with none waiting;
// the launcher's steps done here directly with its own temporary file (copy
// beside the target, replace in one step, then the waiting copy removed)
// show the cost of the method alone.
// Prints its figures; it passes or fails nothing.
//   bench_updates [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "driver.h"
#include "file_tools.h"
#include "files.h"

namespace {

constexpr int kFiles = 200;
constexpr std::size_t kFileSize = 100u * 1024 * 1024 / kFiles;
constexpr double kGoal = 1.10;  // the launcher's installation against the unsafe way

std::string Name(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "update%03d.dat", i);
  return name;
}

// Written through to the disk, so that no measured step pays for writing
// back what the preparation left in the cache.
bool WriteToDisk(const std::string& path, const std::string& content) {
  rt::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
         written == content.size() && ::FlushFileBuffers(file.get());
}

class Installation {
 public:
  Installation() : folder_("zvbench_updates"), shortPath_(rt::PathShort(folder_.Path())) {
    ok_ = !shortPath_.empty() && folder_.Add("zorvant.exe") && folder_.Add("Tarm.exe") &&
          driver::WriteFile(folder_.File("tarm-plan.ini"), "[Plan]\r\nMutex=hold\r\n") &&
          ::CreateDirectoryA(Waiting().c_str(), nullptr);
  }
  bool Ok() const { return ok_; }

  std::string Waiting(const std::string& name = {}) const {
    return Installed("ztUtemp") + (name.empty() ? "" : "\\" + name);
  }
  // Through the short form of the folder, as the launcher builds its paths:
  // both ways pay alike for Wine's lookup of a short name.
  std::string Installed(const std::string& name) const { return shortPath_ + "\\" + name; }

  // Old installed copies, and new ones waiting when `updates`.
  bool Prepare(bool updates) const {
    std::string content(kFileSize, 'o');
    for (int i = 0; i < kFiles; ++i) {
      if (!WriteToDisk(Installed(Name(i)), content)) return false;
    }
    if (!updates) return true;
    content.assign(kFileSize, 'n');
    for (int i = 0; i < kFiles; ++i) {
      if (!WriteToDisk(Waiting(Name(i)), content)) return false;
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

  // The launcher's steps with its own temporary file.
  double Safe() const {
    constexpr const char* kPrefix = "~zup";
    const std::int64_t from = bench::Counter();
    rt::TempFile::RemoveLeftovers(shortPath_, kPrefix);
    for (int i = 0; i < kFiles; ++i) {
      const std::string waiting = Waiting(Name(i));
      rt::TempFile temporary(shortPath_, kPrefix);
      if (temporary && temporary.CopyFrom(waiting) && temporary.MoveInto(Installed(Name(i)))) {
        ::DeleteFileA(waiting.c_str());
      }
    }
    return bench::Milliseconds(from, bench::Counter());
  }

 private:
  bench::Folder folder_;
  std::string shortPath_;
  bool ok_ = false;
};

double MiBPerSecond(double ms) {
  return ms > 0 ? 100.0 / (ms / 1000.0) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  const bench::SettingsAside settings;
  Installation installation;
  if (!installation.Ok()) {
    std::fprintf(stderr, "bench: cannot lay out the program folder\n");
    return 1;
  }

  std::vector<double> withUpdates, withoutUpdates, launcherInstall, unsafe, safe;
  // Each round's own ratios against its unsafe way, so that a slower spell
  // of the machine moves both sides of a ratio alike.
  std::vector<double> launcherRatios, safeRatios;
  int wrong = 0, failed = 0;
  for (int round = 0; round <= rounds; ++round) {  // round 0 warms up and is not counted
    std::optional<double> with, without;
    double u = 0, s = 0;
    // Each measured step starts from files prepared on the disk, and each
    // installation is checked for every file in place; the steps take turns
    // at going first, so that none always follows the same one.
    struct Step {
      bool updates;
      std::function<void()> measure;
    };
    const Step steps[] = {
        {true, [&] { with = installation.RunLauncher(); }},
        {false, [&] { without = installation.RunLauncher(); }},
        {true, [&] { u = installation.Unsafe(); }},
        {true, [&] { s = installation.Safe(); }},
    };
    for (std::size_t k = 0; k < std::size(steps); ++k) {
      const Step& step = steps[(k + static_cast<std::size_t>(round)) % std::size(steps)];
      if (!installation.Prepare(step.updates)) {
        std::fprintf(stderr, "bench: cannot prepare the files\n");
        return 1;
      }
      step.measure();
      if (step.updates && !installation.AllInstalled()) ++wrong;
    }
    if (round == 0) continue;
    if (with && without) {
      withUpdates.push_back(*with);
      withoutUpdates.push_back(*without);
      // The two starts of one round, so that a slower spell of the machine
      // shows in both.
      launcherInstall.push_back(*with - *without);
      if (u > 0) launcherRatios.push_back((*with - *without) / u);
    } else {
      ++failed;
    }
    unsafe.push_back(u);
    safe.push_back(s);
    if (u > 0) safeRatios.push_back(s / u);
  }

  const double unsafeMs = bench::Median(unsafe);
  const double launcherMs = bench::Median(launcherInstall);
  const double safeMs = bench::Median(safe);
  std::printf("Update installation, %d files of %zu bytes (100 MiB) over installed copies\n",
              kFiles, kFileSize);
  std::printf(
      "  (medians of %zu rounds; the ratio is the median of the rounds' own ratios against\n"
      "  deleting and copying the unsafe way)\n",
      unsafe.size());
  std::printf("  %-44s %9.1f ms\n", "launcher start with the updates waiting",
              bench::Median(withUpdates));
  std::printf("  %-44s %9.1f ms\n", "launcher start with none waiting",
              bench::Median(withoutUpdates));
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x   goal <= %.2f x\n",
              "the launcher's installation (difference)", launcherMs, MiBPerSecond(launcherMs),
              bench::Median(launcherRatios), kGoal);
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x\n", "its steps alone, done here", safeMs,
              MiBPerSecond(safeMs), bench::Median(safeRatios));
  std::printf("  %-44s %9.1f ms %7.0f MiB/s %6.2f x\n", "delete, then copy (unsafe)", unsafeMs,
              MiBPerSecond(unsafeMs), 1.0);
  bench::KeepFigure("updates", bench::Median(launcherRatios));
  if (wrong) std::printf("  warning: %d installations left files out\n", wrong);
  if (failed) std::printf("  warning: %d rounds without both launcher starts\n", failed);

  return 0;
}

// Shared helpers of the unit tests.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "runtime.h"
#include "screenshot.h"

namespace testsupport {

// Registers every control type and carries the resource "test$windows".
extern const rt::Module TestModule;

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Replaces the command line for the length of a scope.
class CommandLineScope {
 public:
  explicit CommandLineScope(const std::string& arguments) {
    rt::CommandLineOverride("test.exe " + arguments);
  }
  CommandLineScope(const CommandLineScope&) = delete;
  CommandLineScope& operator=(const CommandLineScope&) = delete;
  ~CommandLineScope() { rt::CommandLineOverride(std::nullopt); }
};

// Runs the body on a new thread that the runtime knows, so that it starts
// with the per-thread state of a new thread and its end steps run.
template <typename Body>
void OnNewThread(Body body) {
  std::thread([&] {
    rt::ThreadScope attached;
    body();
  }).join();
}

// Sets a seam for the length of a scope.
template <typename T>
class SeamScope {
 public:
  SeamScope(T& seam, T replacement) : seam_(seam), original_(seam) { seam_ = replacement; }
  SeamScope(const SeamScope&) = delete;
  SeamScope& operator=(const SeamScope&) = delete;
  ~SeamScope() { seam_ = original_; }

 private:
  T& seam_;
  T original_;
};

// What `draw` puts into a fresh 32-bit bitmap of that size, all black
// before. Empty (no pixels) when the bitmap cannot be made.
driver::Image Drawn(int width, int height, const std::function<void(HDC)>& draw);

}  // namespace testsupport

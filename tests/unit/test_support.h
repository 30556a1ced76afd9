// Shared helpers of the unit tests.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "driver.h"
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

// Drives a dialog of this process beside the test, as a user would while the
// test's thread shows it: once `find` gives the dialog, `drive` gets it on a
// thread of its own. The future gives drive's result, a value-initialised
// one when no dialog came.
template <typename Find, typename Drive>
auto WhenShown(Find find, Drive drive) {
  return std::async(std::launch::async, [find, drive] {
    const HWND dialog = find();
    return dialog ? drive(dialog) : decltype(drive(dialog)){};
  });
}

// The same for the visible dialog box with the caption.
template <typename Drive>
auto WhenBoxShows(std::string caption, Drive drive) {
  return WhenShown(
      [caption] { return driver::WaitForDialog(::GetCurrentProcessId(), caption, 10000); }, drive);
}

// What the message box with the caption showed, read before its button was
// pressed; an empty view when no box came.
inline std::future<driver::MessageBoxView> AnswerBox(std::string caption, std::string button) {
  return WhenBoxShows(std::move(caption), [button](HWND box) {
    driver::MessageBoxView view = driver::ReadMessageBox(box);
    driver::AnswerMessageBox(box, button);
    return view;
  });
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

// The splash window: the working state of one run of Main and the window's
// controller. The start-up steps read and write the state through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime.h"

namespace zorvant {

// The launcher's own event: keep the window inside the visible desktop.
inline constexpr int EnsureVisibleEvent = 0x5AA;

// Control numbers of the layout "P1$WINDOW".
enum SplashControl : int {
  kCloseButton = 1,
  kWorldwidePrompt = 2,
  kNoticeLine = 3,
  kLoadingPrompt = 4,
  kPercentComplete = 5,
  kLoaderImage = 6,
};

struct MainLocals {
  std::string NoticeText = rt::Fixed("", 150);
  double PercentDone = 0.0;
  std::uint32_t TimerTicks = 0;
  std::uint8_t FirstRun = 0;
  std::string SavedPrompt = rt::Fixed("", 100);
  std::string MainProgramCommand;  // at most 149 characters
  std::string ProgramFolder = rt::Fixed("", 250);
  std::vector<rt::DirEntry> UpdateFileQueue;
  std::unique_ptr<rt::Window> window;
  rt::WindowToolbar toolbar;
};

class SplashWindow : public rt::WindowController {
 public:
  explicit SplashWindow(MainLocals& locals) : locals_(locals) {}

  int SetUp() override;
  int TearDown() override;
  rt::LoopAction DispatchEvent() override;
  rt::LoopAction HandleWindowEvent() override;

  MainLocals& Locals() { return locals_; }

 private:
  bool SetUpHook() { return false; }
  void FillNoticeLine();

  MainLocals& locals_;
};

}  // namespace zorvant

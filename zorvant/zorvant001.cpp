// The window procedure Main and its controller SplashWindow.
#include "splash.h"

#include "rovalent.h"
#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {
namespace {

void MainModuleInit() {
  rt::ControlTypeRegister(rt::ControlType::StrString);
  rt::ControlTypeRegister(rt::ControlType::Image);
  rt::ControlTypeRegister(rt::ControlType::Button);
  rt::ControlTypeRegister(rt::ControlType::Prompt);
  rt::ControlTypeRegister(rt::ControlType::Progress);
}

}  // namespace

extern const rt::LayoutResource Zorvant001Resource;
const rt::Module MainModule{"zorvant001", MainModuleInit, nullptr,
                            nullptr,      nullptr,        &Zorvant001Resource};

void Main() {
  MainLocals locals;
  locals.window =
      rt::WindowLoad("zorvant$zorvant001", "P1$WINDOW", {&locals.NoticeText, &locals.PercentDone});
  SplashWindow controller(locals);
  ThreadResponse = static_cast<std::uint8_t>(controller.Run());
  locals.UpdateFileQueue.clear();
  rt::WindowClose(locals.window);
}

int SplashWindow::SetUp() {
  GlobalErrorReporter->SetProcedure("Main", 0);
  REQUEST = ThreadRequest;
  const int answer = WindowController::SetUp();
  if (answer != 0) return answer;
  // Without its window there is nothing to show: the run ends at once.
  if (!locals_.window) return 1;
  FIRSTFIELD = kCloseButton;
  VCRREQUEST = &ThreadVcrRequest;
  ERRORS = &*GlobalErrorReporter;
  AddToolbar(locals_.toolbar);
  ThreadRequest = 0;
  ThreadResponse = 0;
  LauncherVersion = {2210, 2};
  Open(*locals_.window, nullptr);
  locals_.window->SetBuffer(1);
  // Ctrl-wheel turns become events of this thread and never scroll the
  // window; the alert lasts as long as the window.
  WinAlertMouseWheel();
  if (!SetUpHook()) AfterSetUp();
  return answer;
}

int SplashWindow::TearDown() {
  const int answer = WindowController::TearDown();
  if (answer == 0) GlobalErrorReporter->SetProcedure("", 1);
  return answer;
}

rt::LoopAction SplashWindow::DispatchEvent() {
  const rt::LoopAction answer = WindowController::DispatchEvent();
  // Posted behind the close, so the window is placed just before it goes; a
  // failure to place it changes nothing for the close.
  if (rt::EventCurrent() == EnsureVisibleEvent) {
    ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, 1);
  }
  return answer;
}

rt::LoopAction SplashWindow::HandleWindowEvent() {
  switch (rt::EventCurrent()) {
    case rt::event::CloseDown:
      CANCELACTION = 0;
      RESPONSE = 2;
      break;
    case rt::event::OpenWindow:
      FillNoticeLine();
      PrepareUserSettings();
      CheckControlFolder(locals_);  // may end the process
      break;
  }
  const rt::LoopAction answer = WindowController::HandleWindowEvent();
  if (rt::EventCurrent() == rt::event::OpenWindow) {
    InstallPendingUpdates(locals_);
    ApplyManifestSetting();
    if (StartMainProgram(locals_)) {
      WaitForMainProgram(locals_);
    } else {
      FinishWait();
    }
  }
  return answer;
}

void SplashWindow::FillNoticeLine() {
  const std::string year = rt::FormatZeroFilled(rt::DateYear(rt::DateToday()), 4);
  locals_.NoticeText = rt::Fixed("Copyright \xA9 " + year + " Orvande", 150);
  locals_.window->Display(0);
}

}  // namespace zorvant

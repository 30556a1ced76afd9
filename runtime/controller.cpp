#include "controller.h"

namespace rt {

void WindowController::EventLoop() {
  if (!MYWINDOW) return;
  EventLoopRun(*MYWINDOW, [this] { return DispatchEvent(); });
}

int WindowController::SetUp() {
  RESPONSE = 0;
  firstOpenDone_ = false;
  return 0;
}

int WindowController::TearDown() {
  if (toolbar_) toolbar_->Kill();
  toolbar_ = nullptr;
  return 0;
}

void WindowController::Open(Window& window, Window* owner) {
  MYWINDOW = &window;
  OWNERWINDOW = owner;
  window.Open(owner);
  OPENED = 1;
}

int WindowController::Run() {
  if (SetUp() == 0) EventLoop();
  TearDown();
  return RESPONSE != 0 ? RESPONSE : 2;
}

void WindowController::AfterSetUp() {}

LoopAction WindowController::CloseRequest() {
  return LoopAction::GoOn;
}

LoopAction WindowController::DispatchEvent() {
  if (EventControl() == 0) return HandleWindowEvent();
  return LoopAction::GoOn;
}

LoopAction WindowController::HandleWindowEvent() {
  switch (EventCurrent()) {
    case event::OpenWindow:
      firstOpenDone_ = true;
      if (MYWINDOW && FIRSTFIELD != 0) MYWINDOW->Select(FIRSTFIELD);
      return LoopAction::GoOn;
    case event::CloseWindow:
    case event::CloseDown:
      return CloseRequest();
    default:
      return LoopAction::GoOn;
  }
}

void WindowController::AddToolbar(WindowToolbar& toolbar) {
  toolbar_ = &toolbar;
  toolbar.Init();
}

}  // namespace rt

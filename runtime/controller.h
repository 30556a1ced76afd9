// The window controller: the base class of a program's window procedures.
// A derived class overrides the operations it needs and calls the base
// behaviour from them.
#pragma once

#include <cstdint>

#include "error_reporter.h"
#include "window.h"

namespace rt {

// A toolbar that a controller can carry; the program's windows have no
// toolbar buttons of their own, so it only follows the controller's life.
class WindowToolbar {
 public:
  void Init() { attached_ = true; }
  void Kill() { attached_ = false; }
  bool Attached() const { return attached_; }

 private:
  bool attached_ = false;
};

class WindowController {
 public:
  WindowController() = default;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;
  virtual ~WindowController() = default;

  // Takes the window's events one by one and hands each to DispatchEvent;
  // ends when it answers Break or the window closes.
  virtual void EventLoop();
  // Prepares the controller; 0 on success.
  [[nodiscard]] virtual int SetUp();
  // Releases what SetUp took; 0 on success.
  [[nodiscard]] virtual int TearDown();
  // Stores the window in MYWINDOW, shows it and sets OPENED.
  virtual void Open(Window& window, Window* owner);
  // SetUp, the event loop when SetUp answered 0, TearDown in every case;
  // the result is RESPONSE, or 2 when that is 0.
  [[nodiscard]] virtual int Run();
  // Refreshes the controller's components after set-up.
  virtual void AfterSetUp();
  // A close request; GoOn lets the close go ahead.
  virtual LoopAction CloseRequest();
  // A window-level event goes to HandleWindowEvent first, which ends the
  // handling when it answers other than GoOn; control events follow.
  virtual LoopAction DispatchEvent();
  // OpenWindow: first-open bookkeeping and the selection of FIRSTFIELD;
  // CloseWindow and CloseDown: the close request.
  virtual LoopAction HandleWindowEvent();

  void AddToolbar(WindowToolbar& toolbar);

  std::uint8_t REQUEST = 0;
  std::uint8_t RESPONSE = 0;
  std::uint8_t CANCELACTION = 0;
  std::int32_t FIRSTFIELD = 0;
  std::uint8_t OPENED = 0;
  ErrorReporter* ERRORS = nullptr;
  std::int32_t* VCRREQUEST = nullptr;
  Window* MYWINDOW = nullptr;
  Window* OWNERWINDOW = nullptr;

 protected:
  bool firstOpenDone_ = false;
  WindowToolbar* toolbar_ = nullptr;
};

}  // namespace rt

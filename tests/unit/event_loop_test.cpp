#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <thread>
#include <vector>

#include "runtime.h"

namespace {

constexpr int kUserA = 1100, kUserB = 1101, kUserC = 1102;

std::unique_ptr<rt::Window> Quiet() {
  return rt::WindowLoad("test$windows", "QUIET");
}

TEST(EventLoop, OpenWindowComesFirstThenPostsInOrder) {
  auto w = Quiet();
  ASSERT_TRUE(w);
  EXPECT_FALSE(rt::EventPost(kUserA));  // no window is open yet: nowhere to go
  w->Open(nullptr);
  EXPECT_EQ(rt::CurrentWindow(), w.get());
  EXPECT_TRUE(rt::EventPost(kUserA));
  EXPECT_TRUE(rt::EventPost(kUserB));
  std::vector<int> seen;
  rt::EventLoopRun(*w, [&] {
    seen.push_back(rt::EventCurrent());
    if (rt::EventCurrent() == rt::event::OpenWindow) {
      EXPECT_TRUE(rt::EventPost(kUserC));
    }
    return seen.size() == 4 ? rt::LoopAction::Break : rt::LoopAction::GoOn;
  });
  EXPECT_EQ(seen, (std::vector<int>{rt::event::OpenWindow, kUserA, kUserB, kUserC}));
  EXPECT_FALSE(w->Closed());  // leaving a loop does not close the window
}

TEST(EventLoop, CloseHandsOverQueuedEventsThenClosesTheWindow) {
  auto w = Quiet();
  w->Open(nullptr);
  std::vector<int> seen;
  rt::EventLoopRun(*w, [&] {
    seen.push_back(rt::EventCurrent());
    if (rt::EventCurrent() == rt::event::OpenWindow) {
      EXPECT_TRUE(rt::EventPost(rt::event::CloseWindow));
      EXPECT_TRUE(rt::EventPost(kUserA));
      EXPECT_TRUE(rt::EventPost(kUserB));
    }
    return rt::LoopAction::GoOn;
  });
  EXPECT_EQ(seen,
            (std::vector<int>{rt::event::OpenWindow, rt::event::CloseWindow, kUserA, kUserB}));
  EXPECT_TRUE(w->Closed());
  EXPECT_EQ(rt::CurrentWindow(), nullptr);
}

TEST(EventLoop, CycleRefusesTheClose) {
  auto w = Quiet();
  w->Open(nullptr);
  int closes = 0;
  rt::EventLoopRun(*w, [&] {
    switch (rt::EventCurrent()) {
      case rt::event::OpenWindow:
        EXPECT_TRUE(rt::EventPost(rt::event::CloseWindow));
        return rt::LoopAction::GoOn;
      case rt::event::CloseWindow:
        if (++closes == 1) {
          EXPECT_TRUE(rt::EventPost(kUserA));
          return rt::LoopAction::Cycle;
        }
        return rt::LoopAction::GoOn;
      case kUserA:
        EXPECT_TRUE(rt::EventPost(rt::event::CloseWindow));
        return rt::LoopAction::GoOn;
    }
    return rt::LoopAction::GoOn;
  });
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(w->Closed());
}

TEST(EventLoop, WindowsCloseMessageBecomesCloseWindow) {
  auto w = Quiet();
  w->Open(nullptr);
  std::vector<int> seen;
  rt::EventLoopRun(*w, [&] {
    seen.push_back(rt::EventCurrent());
    if (rt::EventCurrent() == rt::event::OpenWindow) ::PostMessageA(w->Handle(), WM_CLOSE, 0, 0);
    return rt::LoopAction::GoOn;
  });
  EXPECT_EQ(seen, (std::vector<int>{rt::event::OpenWindow, rt::event::CloseWindow}));
  EXPECT_TRUE(w->Closed());
}

TEST(EventLoop, NestedLoopEndsOnCloseAndTheOuterLoopStillSeesIt) {
  auto w = Quiet();
  w->Open(nullptr);
  std::vector<std::string> trace;
  rt::EventLoopRun(*w, [&] {
    const int e = rt::EventCurrent();
    trace.push_back("outer " + std::to_string(e));
    if (e == rt::event::OpenWindow) {
      EXPECT_TRUE(rt::EventPost(kUserA));
      rt::EventLoopRun(*w, [&] {
        const int inner = rt::EventCurrent();
        trace.push_back("inner " + std::to_string(inner));
        if (inner == kUserA) {
          EXPECT_TRUE(rt::EventPost(rt::event::CloseWindow));
          EXPECT_TRUE(rt::EventPost(kUserB));
        }
        return rt::LoopAction::GoOn;
      });
      // Still inside the outer loop's OpenWindow.
      trace.push_back("back in " + std::to_string(rt::EventCurrent()));
      EXPECT_FALSE(w->Closed());
      EXPECT_TRUE(rt::EventPost(kUserC));
    }
    return rt::LoopAction::GoOn;
  });
  const std::vector<std::string> expected = {
      "outer 515",   "inner 1100", "inner 513",  "inner 1101",
      "back in 515", "outer 513",  "outer 1102",
  };
  EXPECT_EQ(trace, expected);
  EXPECT_TRUE(w->Closed());
}

TEST(EventLoop, TimerTicksDoNotPileUp) {
  auto w = rt::WindowLoad("test$windows", "PLAIN");
  w->Open(nullptr);
  int ticks = 0;
  rt::EventLoopRun(*w, [&] {
    if (rt::EventCurrent() == rt::event::Timer && ++ticks == 1) ::Sleep(200);  // a slow handler
    if (ticks == 3) return rt::LoopAction::Break;
    return rt::LoopAction::GoOn;
  });
  EXPECT_EQ(ticks, 3);
  // After the slow tick at most one tick waited; nothing else is queued.
  rt::Event e;
  int queued = 0;
  while (w->Events().Take(e)) queued += e.number == rt::event::Timer;
  EXPECT_LE(queued, 1);
}

// A dialog's own loop, not the window's, runs while the dialog is up: the
// window's ticks still become its Timer events. Once the window has
// closed, its ticks stop.
TEST(EventLoop, TimerTicksComeThroughAnotherLoopAndStopWithTheWindow) {
  auto w = rt::WindowLoad("test$windows", "PLAIN");
  w->Open(nullptr);
  rt::Event e;
  while (w->Events().Take(e)) {
  }
  const ULONGLONG until = ::GetTickCount64() + 200;
  MSG msg;
  while (::GetTickCount64() < until) {  // a loop as a modal dialog runs it
    if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageA(&msg);
    } else {
      ::Sleep(1);
    }
  }
  int ticks = 0;
  while (w->Events().Take(e)) ticks += e.number == rt::event::Timer;
  EXPECT_EQ(ticks, 1);  // they do not pile up either

  w->Close();
  ::Sleep(50);
  EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
      << "the closed window's timer still ticks";
}

// Without a title bar the icon shows only in the task bar and the task
// switcher: the window gets it, in both sizes, once its thread waits for
// messages.
TEST(Window, WithoutATitleBarGetsItsIconOnceItsThreadWaits) {
  auto w = rt::WindowLoad("test$windows", "UNTITLED");
  ASSERT_TRUE(w);
  w->Open(nullptr);
  rt::EventLoopRun(*w, [] { return rt::LoopAction::Break; });  // takes OpenWindow
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  for (const WPARAM size : {ICON_BIG, ICON_SMALL}) {
    const auto icon = reinterpret_cast<HICON>(::SendMessageA(w->Handle(), WM_GETICON, size, 0));
    ICONINFO info{};
    ASSERT_TRUE(icon && ::GetIconInfo(icon, &info)) << "no icon of size " << size;
    BITMAP bitmap{};
    ::GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(size == ICON_BIG ? SM_CXICON : SM_CXSMICON));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
  }
}

TEST(EventLoop, PostsFromAnotherThreadWakeTheLoop) {
  auto w = Quiet();
  w->Open(nullptr);
  const int mine = rt::ThreadNumber();
  std::vector<int> seen;
  std::thread poster;
  rt::EventLoopRun(*w, [&] {
    seen.push_back(rt::EventCurrent());
    if (rt::EventCurrent() == rt::event::OpenWindow) {
      poster = std::thread([mine] {
        ::Sleep(50);
        EXPECT_TRUE(rt::EventPost(kUserA, 0, mine));
      });
    }
    return rt::EventCurrent() == kUserA ? rt::LoopAction::Break : rt::LoopAction::GoOn;
  });
  poster.join();
  EXPECT_EQ(seen, (std::vector<int>{rt::event::OpenWindow, kUserA}));
}

// A close that another thread sends (not posts) is handled inside the
// loop's wait for a message; the loop must still see it at once, without a
// timer to wake it. A later post from that thread shows when it did not.
TEST(EventLoop, ACloseSentFromAnotherThreadWakesTheLoop) {
  auto w = Quiet();
  w->Open(nullptr);
  const int mine = rt::ThreadNumber();
  const HWND frame = w->Handle();
  std::vector<int> seen;
  std::thread sender;
  rt::EventLoopRun(*w, [&] {
    seen.push_back(rt::EventCurrent());
    if (rt::EventCurrent() == rt::event::OpenWindow) {
      sender = std::thread([mine, frame] {
        ::Sleep(50);
        ::SendMessageTimeoutA(frame, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, nullptr);
        ::Sleep(1000);
        EXPECT_FALSE(rt::EventPost(kUserA, 0, mine));  // the window has closed
      });
    }
    return rt::EventCurrent() == kUserA ? rt::LoopAction::Break : rt::LoopAction::GoOn;
  });
  sender.join();
  EXPECT_EQ(seen, (std::vector<int>{rt::event::OpenWindow, rt::event::CloseWindow}));
  EXPECT_TRUE(w->Closed());
}

TEST(Window, BoundControlsShowTheirVariables) {
  std::string name = rt::Fixed("Anna", 20);
  double value = 2.7;
  auto w = rt::WindowLoad("test$windows", "PLAIN", {&name, &value});
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Text(1), "Anna");
  char text[64];
  ::GetWindowTextA(w->ControlHandle(1), text, sizeof text);
  EXPECT_STREQ(text, "Anna");
  name = rt::Fixed("Bert", 20);
  EXPECT_EQ(w->Text(1), "Anna");  // shown again only on request
  w->Display(0);
  EXPECT_EQ(w->Text(1), "Bert");

  // A hidden progress bar is made when first shown, with the value last
  // displayed, in its place among the controls.
  EXPECT_TRUE(w->Hidden(5));
  EXPECT_EQ(w->ControlHandle(5), nullptr);
  w->Open(nullptr);
  w->Unhide(5);
  HWND bar = w->ControlHandle(5);
  ASSERT_TRUE(bar);
  EXPECT_TRUE(::IsWindowVisible(bar));
  EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 270);
  EXPECT_EQ(::GetWindow(w->ControlHandle(4), GW_HWNDNEXT), bar);
  value = 50;
  w->Display(5);
  EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 5000);
  EXPECT_EQ(w->Type(2), rt::ControlType::List);
  EXPECT_EQ(w->NextField(0), 1);
  EXPECT_EQ(w->NextField(5), 0);
  EXPECT_EQ(w->ControlName(4), "?LIST2");
  EXPECT_EQ(::GetParent(w->ControlHandle(1)), w->ClientHandle());
  EXPECT_EQ(::GetParent(w->ClientHandle()), w->Handle());
}

// What reaches a flat button, and whether it is clicked: as a system push
// button, it is clicked when the mouse or the space bar lets go of it over
// it, or by BM_CLICK while it is enabled.
struct ButtonInput {
  const char* name;
  std::vector<std::pair<UINT, LPARAM>> messages;  // sent to the button; lParam: x, y
  bool enabled;
  bool clicked;
};

void PrintTo(const ButtonInput& input, std::ostream* out) {
  *out << input.name;
}

class FlatButton : public testing::TestWithParam<ButtonInput> {};

TEST_P(FlatButton, IsClickedAsASystemButtonIs) {
  const ButtonInput& input = GetParam();
  auto w = rt::WindowLoad("test$windows", "FLAT");
  ASSERT_TRUE(w);
  w->Open(nullptr);
  HWND button = w->ControlHandle(1);
  ASSERT_TRUE(button);
  char name[32] = {};
  ::GetClassNameA(button, name, sizeof name);
  EXPECT_STREQ(name, "RtButton");
  ::EnableWindow(button, input.enabled);
  for (const auto& [message, at] : input.messages) {
    const WPARAM key = message == WM_KEYDOWN || message == WM_KEYUP ? VK_SPACE : 0;
    ::SendMessageA(button, message, key, at);
  }
  EXPECT_EQ(::GetCapture(), nullptr);
  std::vector<int> accepted;
  rt::Event e;
  while (w->Events().Take(e)) {
    if (e.number == rt::event::Accepted) accepted.push_back(e.control);
  }
  EXPECT_EQ(accepted, input.clicked ? std::vector<int>{1} : std::vector<int>{});
}

constexpr LPARAM kInside = MAKELPARAM(5, 5), kOutside = MAKELPARAM(500, 5);

INSTANTIATE_TEST_SUITE_P(
    Window, FlatButton,
    testing::Values(
        ButtonInput{
            "MouseUpOverIt", {{WM_LBUTTONDOWN, kInside}, {WM_LBUTTONUP, kInside}}, true, true},
        ButtonInput{"MouseLeftBeforeLettingGo",
                    {{WM_LBUTTONDOWN, kInside}, {WM_MOUSEMOVE, kOutside}, {WM_LBUTTONUP, kOutside}},
                    true,
                    false},
        ButtonInput{"MouseBackOverItBeforeLettingGo",
                    {{WM_LBUTTONDOWN, kInside},
                     {WM_MOUSEMOVE, kOutside},
                     {WM_MOUSEMOVE, kInside},
                     {WM_LBUTTONUP, kInside}},
                    true,
                    true},
        ButtonInput{"UpWithoutDown", {{WM_LBUTTONUP, kInside}}, true, false},
        ButtonInput{"SpaceBar", {{WM_KEYDOWN, 0}, {WM_KEYUP, 0}}, true, true},
        ButtonInput{"SpaceBarWhileTheFocusLeft",
                    {{WM_KEYDOWN, 0}, {WM_KILLFOCUS, 0}, {WM_KEYUP, 0}},
                    true,
                    false},
        ButtonInput{"ClickMessage", {{BM_CLICK, 0}}, true, true},
        ButtonInput{"ClickMessageWhileDisabled", {{BM_CLICK, 0}}, false, false}),
    [](const testing::TestParamInfo<ButtonInput>& info) { return info.param.name; });

TEST(Window, TheWaitCursorIsThePointerOfTheProgramsWindowsUntilRestored) {
  auto w = Quiet();
  w->Open(nullptr);
  const HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
  const HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
  rt::CursorSet(IDC_WAIT);
  EXPECT_EQ(::GetCursor(), wait);
  // Windows asks the window for its pointer whenever the mouse moves over
  // it; the runtime answers with the wait cursor.
  ::SetCursor(arrow);
  ::SendMessageA(w->ClientHandle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(w->ClientHandle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), wait);
  rt::CursorRestore();
  EXPECT_EQ(::GetCursor(), arrow);
  ::SendMessageA(w->ClientHandle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(w->ClientHandle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), arrow);
  w->Close();
}

TEST(Window, AnUnknownLayoutLoadsNothing) {
  EXPECT_EQ(rt::WindowLoad("test$windows", "NOSUCH"), nullptr);
  EXPECT_EQ(rt::WindowLoad("nosuch$resource", "PLAIN"), nullptr);
}

// A CBT hook may refuse to let a window be created: a real failure of
// CreateWindowExA, here of the frame or of its client area.
const char* g_refusedClass = "";

LRESULT CALLBACK RefuseTheClass(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    char name[64] = "";
    ::GetClassNameA(reinterpret_cast<HWND>(wp), name, sizeof name);
    if (rt::EqualNoCase(name, g_refusedClass)) return 1;
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

TEST(Window, AWindowThatWindowsDidNotCreateLoadsNothing) {
  for (const char* refused : {"RtWindow", "RtClient"}) {
    SCOPED_TRACE(refused);
    g_refusedClass = refused;
    {
      rt::UniqueHook hook(
          ::SetWindowsHookExA(WH_CBT, RefuseTheClass, nullptr, ::GetCurrentThreadId()));
      ASSERT_TRUE(hook);
      EXPECT_EQ(rt::WindowLoad("test$windows", "QUIET"), nullptr);
      EXPECT_NE(rt::ErrorCodeGet(), 0);
      EXPECT_EQ(::FindWindowA(nullptr, "Quiet test window"), nullptr);  // no frame left behind
    }
    EXPECT_NE(rt::WindowLoad("test$windows", "QUIET"), nullptr);
    EXPECT_EQ(rt::ErrorCodeGet(), 0);
  }
}

}  // namespace

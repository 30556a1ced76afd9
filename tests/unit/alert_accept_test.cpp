// The window procedure of alerted windows on real subclassed windows: what
// it posts, how it answers, what reaches the window's own procedure, the
// per-thread values and the trace lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "alerts_support.h"
#include "test_support.h"

namespace {

using alerts::TakeEvents;
using testsupport::CommandLineScope;

constexpr LPARAM kMagic = 0x7E57;
constexpr LRESULT kOwnAnswer = 4321;

// The window's own procedure, put in front of the runtime's so that a test
// sees what reaches it: the message a test sends is recorded and answered
// with kOwnAnswer; everything else goes on to the runtime.
struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Sent&) const = default;
};
std::map<HWND, WNDPROC> g_runtimeProcedures;
Sent g_sending{};
std::vector<Sent> g_reached;

LRESULT CALLBACK OwnProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == g_sending.window && message == g_sending.message) {
    g_reached.push_back({window, message, wParam, lParam});
    return kOwnAnswer;
  }
  return ::CallWindowProcA(g_runtimeProcedures[window], window, message, wParam, lParam);
}

void PutOwnProcedure(HWND window) {
  g_runtimeProcedures[window] = reinterpret_cast<WNDPROC>(::SetWindowLongA(
      window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(OwnProcedure))));
}

void RemoveOwnProcedure(HWND window) {
  ::SetWindowLongA(window, GWL_WNDPROC,
                   static_cast<LONG>(reinterpret_cast<LONG_PTR>(g_runtimeProcedures[window])));
  g_runtimeProcedures.erase(window);
}

// Session sign-up that does nothing, for alerts of WM_WTSSESSION_CHANGE.
BOOL WINAPI QuietSignUp(HWND, DWORD) {
  return TRUE;
}

class AlertAccept : public testing::Test {
 protected:
  void SetUp() override {
    DebugFileName.Set("");
    alerts::RemoveAllAlerts();
    window_ = Open();
  }
  void TearDown() override {
    alerts::RemoveAllAlerts();
    for (auto& w : {std::ref(window_), std::ref(other_)}) {
      if (!w.get()) continue;
      RemoveOwnProcedure(w.get()->Handle());
      RemoveOwnProcedure(w.get()->ClientHandle());
      w.get()->Close();
    }
  }

  static std::unique_ptr<rt::Window> Open() {
    auto window = rt::WindowLoad("test$windows", "QUIET");
    window->Open(nullptr);
    TakeEvents(*window);
    PutOwnProcedure(window->Handle());
    PutOwnProcedure(window->ClientHandle());
    return window;
  }

  // Sends a message as the window gets it; what reached the window's own
  // procedure is then in Reached().
  LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = kMagic) {
    g_reached.clear();
    g_sending = {window, message, 0, 0};
    const LRESULT answer = ::SendMessageA(window, message, wParam, lParam);
    g_sending = {};
    return answer;
  }
  static bool Reached() { return !g_reached.empty(); }

  HWND Frame() const { return window_->Handle(); }
  HWND Client() const { return window_->ClientHandle(); }
  std::vector<int> Events() { return TakeEvents(*rt::CurrentWindow()); }

  std::unique_ptr<rt::Window> window_, other_;
};

TEST_F(AlertAccept, CtrlWheelTurnsBecomeEventsAndGoNoFurther) {
  WinAlertMouseWheel();
  const struct {
    WORD keys;
    short delta;
    LRESULT answer;
    std::vector<int> events;
    bool reachesWindow;
  } cases[] = {
      {MK_CONTROL, WHEEL_DELTA, 0, {rvevent::kWheelUp}, false},
      {MK_CONTROL, -WHEEL_DELTA, 0, {rvevent::kWheelDown}, false},
      {MK_CONTROL | MK_SHIFT, 3 * WHEEL_DELTA, 0, {rvevent::kWheelUp}, false},
      {MK_CONTROL, 0, 0, {}, false},
      {0, WHEEL_DELTA, kOwnAnswer, {}, true},
      {MK_SHIFT, -WHEEL_DELTA, kOwnAnswer, {}, true},
  };
  for (HWND target : {Frame(), Client()}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << (target == Frame() ? "frame" : "client") << " keys "
                                      << c.keys << " delta " << c.delta);
      const WPARAM wParam = MAKEWPARAM(c.keys, c.delta);
      EXPECT_EQ(Send(target, WM_MOUSEWHEEL, wParam), c.answer);
      EXPECT_EQ(Events(), c.events);
      EXPECT_EQ(Reached(), c.reachesWindow);
      if (c.reachesWindow) {
        EXPECT_EQ(g_reached, (std::vector<Sent>{{target, WM_MOUSEWHEEL, wParam, kMagic}}));
      }
      EXPECT_EQ(Rovalent(), WM_MOUSEWHEEL);
      EXPECT_EQ(RovalentErrorCode(), 0);
      EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAccept");
    }
  }
  // The answer changed for the message at hand only.
  for (const AlertEntry& e : ThreadAlertQueues().WA) EXPECT_EQ(e.action, 0x30);
}

TEST_F(AlertAccept, AMessageAlertedOnlyOnAnotherWindowPassesOnUnchanged) {
  WinAlertMouseWheel();
  other_ = Open();
  WinAlert(700, 700, 6);  // on the other window, now the current one
  EXPECT_EQ(Send(Frame(), 700, 11, kMagic), kOwnAnswer);
  EXPECT_EQ(g_reached, (std::vector<Sent>{{Frame(), 700, 11, kMagic}}));
  EXPECT_TRUE(TakeEvents(*window_).empty());
  EXPECT_TRUE(TakeEvents(*other_).empty());

  EXPECT_EQ(Send(other_->Handle(), 700, 11, kMagic), kOwnAnswer);
  EXPECT_EQ(TakeEvents(*other_), std::vector<int>{rvevent::kEventBase});
}

TEST_F(AlertAccept, TheClientAreasPaintIsNeverAnAlert) {
  WinAlert(WM_PAINT, 0, 6);
  const std::int32_t before = Rovalent();
  EXPECT_EQ(Send(Client(), WM_PAINT), kOwnAnswer);
  EXPECT_TRUE(Reached());
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(Rovalent(), before);

  EXPECT_EQ(Send(Frame(), WM_PAINT), kOwnAnswer);
  EXPECT_TRUE(Reached());
  EXPECT_EQ(Events(), std::vector<int>{rvevent::kEventBase});
  EXPECT_EQ(Rovalent(), WM_PAINT);
}

TEST_F(AlertAccept, TheEndOfTheSessionIsAnsweredByTheLibrary) {
  const std::optional<std::int32_t> notAlerted;
  const struct {
    std::optional<std::int32_t> action;
    WPARAM ending;
    LRESULT answer;
    std::vector<int> events;
    bool reachesWindow;
  } cases[] = {
      {notAlerted, 1, 0, {}, false}, {notAlerted, 0, kOwnAnswer, {}, true},
      {4, 1, 0, {6785}, false},      {4, 0, 0, {6784}, false},
      {6, 1, 0, {6785}, false},      {6, 0, kOwnAnswer, {6784}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "action " << c.action.value_or(-1) << " wParam " << c.ending);
    alerts::RemoveAllAlerts();
    WinAlertMouseWheel();
    if (c.action) WinAlert(WM_ENDSESSION, 0, *c.action);
    EXPECT_EQ(Send(Frame(), WM_ENDSESSION, c.ending), c.answer);
    EXPECT_EQ(Events(), c.events);
    EXPECT_EQ(Reached(), c.reachesWindow);
  }
}

TEST_F(AlertAccept, TheQuestionWhetherTheSessionMayEndIsAlwaysChecked) {
  alerts::DebuggerMonitor debugger;
  CommandLineScope noSwitch("");
  const std::string frame = std::to_string(HandleValue(Frame()));
  WinAlertMouseWheel();
  EXPECT_EQ(Send(Frame(), WM_QUERYENDSESSION), kOwnAnswer);
  EXPECT_EQ(debugger.Take(),
            std::vector<std::string>{"Check: RV::WM_QUERYENDSESSION: 17 =? 17 hnd: " + frame +
                                     " =? " + frame + " y=0 vNoEndSession= 0\r\n"});

  WinAlert(WM_QUERYENDSESSION, 0, 4);
  const auto& wa = ThreadAlertQueues().WA;
  const auto alert = std::find_if(wa.begin(), wa.end(), [&](const AlertEntry& e) {
    return e.handle == HandleValue(Frame()) && e.message == WM_QUERYENDSESSION;
  });
  ASSERT_NE(alert, wa.end());
  const std::string position = std::to_string(alert - wa.begin() + 1);
  EXPECT_EQ(Send(Frame(), WM_QUERYENDSESSION), 0);
  EXPECT_FALSE(Reached());
  EXPECT_EQ(Events(), std::vector<int>{6783});
  EXPECT_EQ(debugger.Take(),
            std::vector<std::string>{"Check: RV::WM_QUERYENDSESSION: 17 =? 17 hnd: " + frame +
                                     " =? " + frame + " y=" + position + " vNoEndSession= 0\r\n"});

  // Known to the thread but no longer alerted here: the line shows the
  // alert that the search read last, the first of the thread's alerts.
  WinAlert();
  WinAlertMouseWheel();
  const AlertEntry first = ThreadAlertQueues().WA.front();
  EXPECT_EQ(Send(Frame(), WM_QUERYENDSESSION), kOwnAnswer);
  EXPECT_EQ(debugger.Take(), std::vector<std::string>{
                                 "Check: RV::WM_QUERYENDSESSION: " + std::to_string(first.message) +
                                 " =? 17 hnd: " + std::to_string(first.handle) + " =? " + frame +
                                 " y=0 vNoEndSession= 0\r\n"});
}

TEST_F(AlertAccept, UnderItsSwitchAnAlertedSessionEndAsksWithTheStopBox) {
  alerts::DebuggerMonitor debugger;
  CommandLineScope stops("/CheckshutDownStops");
  // Not alerted: no box.
  WinAlertMouseWheel();
  EXPECT_EQ(Send(Frame(), WM_QUERYENDSESSION), kOwnAnswer);
  debugger.Take();

  WinAlert(WM_QUERYENDSESSION, 0, 4);
  auto stopBox = testsupport::AnswerBox("Stop", "&Ignore");
  EXPECT_EQ(Send(Frame(), WM_QUERYENDSESSION), 0);
  EXPECT_EQ(stopBox.get().text, "fp_EndSessionHandler: 0");
  // Ignore lets the handling go on.
  EXPECT_EQ(Events(), std::vector<int>{6783});
  const std::vector<std::string> lines = debugger.Take();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].starts_with("Check: RV::WM_QUERYENDSESSION: 17 =? 17"));
  EXPECT_EQ(lines[1], "  ShowStop2 : 0\r\n");
}

TEST_F(AlertAccept, ASystemCommandIsKeptForWinSysEvent) {
  WinAlertMouseWheel();
  Send(Frame(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA));
  Events();
  WinAlert(WM_SYSCOMMAND, 0, 6);
  alerts::DebuggerMonitor debugger;
  {
    CommandLineScope quorrel("/QuorrelDebug");
    EXPECT_EQ(Send(Frame(), WM_SYSCOMMAND, SC_CONTEXTHELP), kOwnAnswer);
  }
  EXPECT_EQ(g_reached, (std::vector<Sent>{{Frame(), WM_SYSCOMMAND, SC_CONTEXTHELP, kMagic}}));
  EXPECT_EQ(Events(), std::vector<int>{6782});
  EXPECT_EQ(debugger.Take(), std::vector<std::string>{"WinAccept RV::WM_SYSCOMMAND\r\n"});
  EXPECT_EQ(WinSysEvent(1), WM_SYSCOMMAND);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinSysEvent");
  EXPECT_EQ(WinSysEvent(0), 0);
  EXPECT_EQ(Rovalent(), WM_MOUSEWHEEL);
}

TEST_F(AlertAccept, HelpReadsItsHelpInfoOnlyWhenThereIsOne) {
  WinAlert(WM_HELP, 0, 4);
  alerts::DebuggerMonitor debugger;
  CommandLineScope quorrel("/QuorrelDebug");
  HELPINFO info{sizeof info, HELPINFO_WINDOW, 0, Client(), 0, {0, 0}};
  EXPECT_EQ(Send(Frame(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(Send(Frame(), WM_HELP, 0, 0), 0);
  EXPECT_EQ(Rovalent(), WM_HELP);
  EXPECT_EQ(Events(), (std::vector<int>{rvevent::kEventBase, rvevent::kEventBase}));
  const std::vector<std::string> pair = {"WinAccept RV::WM_HELP BEFORE PEEK\r\n",
                                         "WinAccept RV::WM_HELP AFTER PEEK\r\n"};
  std::vector<std::string> expected = pair;
  expected.insert(expected.end(), pair.begin(), pair.end());
  EXPECT_EQ(debugger.Take(), expected);
}

TEST_F(AlertAccept, Bit8PostsTheRuntimesEventToTheCallingThread) {
  const struct {
    UINT message;
    std::vector<int> events;
  } cases[] = {
      {WM_CLOSE, {rt::event::CloseWindow}},
      {WM_MOUSEMOVE, {rt::event::MouseMove}},
      {WM_NCMOUSEMOVE, {rt::event::MouseMove}},
      {WM_TIMER, {rt::event::Timer}},
      {WM_LBUTTONDOWN, {rt::event::Accepted}},
      {WM_RBUTTONDOWN, {rt::event::Accepted}},
      {WM_MBUTTONDOWN, {rt::event::Accepted}},
      {WM_NCLBUTTONDOWN, {rt::event::Accepted}},
      {WM_NCRBUTTONDOWN, {rt::event::Accepted}},
      {WM_NCMBUTTONDOWN, {rt::event::Accepted}},
      {WM_LBUTTONUP, {rt::event::MouseUp}},
      {WM_RBUTTONUP, {rt::event::MouseUp}},
      {WM_MBUTTONUP, {rt::event::MouseUp}},
      {WM_NCLBUTTONUP, {rt::event::MouseUp}},
      {WM_NCRBUTTONUP, {rt::event::MouseUp}},
      {WM_NCMBUTTONUP, {rt::event::MouseUp}},
      {WM_LBUTTONDBLCLK, {}},
      {WM_MOUSEWHEEL, {}},
      {WM_KEYDOWN, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    alerts::RemoveAllAlerts();
    WinAlert(c.message, 0, 8 | 1);
    EXPECT_EQ(Send(Frame(), c.message), 1);
    EXPECT_FALSE(Reached());
    EXPECT_EQ(Events(), c.events);
  }
  // Bit 8 wins over the wheel and user-event bits; bit 2 passes on.
  alerts::RemoveAllAlerts();
  WinAlert(WM_MOUSEWHEEL, 0, 8 | 16 | 4 | 2);
  EXPECT_EQ(Send(Frame(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA)), kOwnAnswer);
  EXPECT_TRUE(Events().empty());
}

TEST_F(AlertAccept, Bit4PostsAUserEventFromTheEventBase) {
  alerts::ProcScope signUp(fp_WTSRegisterSessionNotification, QuietSignUp);
  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int event;
  } cases[] = {
      {25000, 0, 513, 6793},       {WM_SYSCOMMAND, 0, 0, 6782}, {WM_QUERYENDSESSION, 0, 0, 6783},
      {WM_ENDSESSION, 0, 0, 6784}, {WM_ENDSESSION, 1, 0, 6785}, {WM_WTSSESSION_CHANGE, 5, 77, 6786},
      {700, 0, 0, 1280},           {WM_USER + 1, 0, 0, 1280},   {WM_PAINT, 0, 0, 1280},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    WinAlert(c.message, 0, 4);
    EXPECT_EQ(Send(Frame(), c.message, c.wParam, c.lParam), 0);
    EXPECT_FALSE(Reached());
    EXPECT_EQ(Events(), std::vector<int>{c.event});
  }
  // The last of them, a paint, is the last alerted message; the session
  // change is kept on its own, the system command and 25000 not at all.
  EXPECT_EQ(Rovalent(), WM_PAINT);
  EXPECT_EQ(WinWtsID(), 77u);
  EXPECT_EQ(WinWtsEvent(1), 5u);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinWtsEvent");
  EXPECT_EQ(WinWtsEvent(0), 0u);
  EXPECT_EQ(WinWtsID(), 77u);
  Send(Frame(), 25000, 0, 513);
  EXPECT_EQ(Rovalent(), WM_PAINT);
}

TEST_F(AlertAccept, WithoutPostingBitsTheActionAloneAnswers) {
  const struct {
    std::int32_t action;
    LRESULT answer;
    bool reachesWindow;
  } cases[] = {
      {0, 0, false},         {1, 1, false},  {2, kOwnAnswer, true},
      {3, kOwnAnswer, true}, {16, 0, false},  // the wheel bit on another message posts nothing
      {16 | 1, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    WinAlert(700, 0, c.action);
    EXPECT_EQ(Send(Frame(), 700), c.answer);
    EXPECT_EQ(Reached(), c.reachesWindow);
    EXPECT_TRUE(Events().empty());
  }
}

TEST_F(AlertAccept, AWindowWithoutAlertsOfTheThreadIsAnswered0) {
  const HWND frame = Frame();
  RemoveOwnProcedure(frame);
  const LONG runtimeProcedure = ::SetWindowLongA(
      frame, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(WinAccept)));
  EXPECT_EQ(::SendMessageA(frame, WM_USER + 5, 0, 0), 0);
  EXPECT_EQ(RovalentErrorCode(), rverr::kWinAccept);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "WinAccept get on queue WA failed(2), wa:handel = " +
                                               std::to_string(HandleValue(frame)));
  ::SetWindowLongA(frame, GWL_WNDPROC, runtimeProcedure);
  PutOwnProcedure(frame);
}

// Nothing unwinds into Windows: a failure inside (here the allocation of the
// first trace text) is WinAccept's error, and the message still reaches the
// window's own procedure.
TEST_F(AlertAccept, AFailureInsideIsItsErrorAndTheMessageGoesOn) {
  WinAlert(700, 0, 4);
  CommandLineScope traced("/debugWinAlert");
  ASSERT_TRUE(SwitchOn(RvSwitch::DebugWinAlert));  // read before the allocation fails
  alerts::FailNextAllocation();
  EXPECT_EQ(Send(Frame(), 700, 3, 4), kOwnAnswer);
  EXPECT_EQ(g_reached, (std::vector<Sent>{{Frame(), 700, 3, 4}}));
  EXPECT_EQ(RovalentErrorCode(), rverr::kWinAccept);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAccept");
  EXPECT_TRUE(Events().empty());
}

TEST_F(AlertAccept, TraceLinesNameTheMessageAndFollowTheLookup) {
  alerts::DebuggerMonitor debugger;
  CommandLineScope traced("/debugWinAlert");
  WinAlertMouseWheel();
  WinAlert(700, 0, 4);
  debugger.Take();
  const std::string frame = std::to_string(HandleValue(Frame()));
  auto named = [&](const std::string& number, const std::string& name, const std::string& p1,
                   const std::string& p2) {
    return "Thread: 1 Windows Message: " + number + " " + name + " p1=" + p1 + " p2=" + p2 +
           " handle=" + frame + "\r\n";
  };
  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<std::string> lines;
    std::int32_t error;
  } cases[] = {
      {WM_MOUSEWHEEL,
       MAKEWPARAM(MK_CONTROL, WHEEL_DELTA),
       MAKELPARAM(50, 100),
       {named("522", "RV::WM_MOUSEWHEEL", "7864328", "6553650"),
        "Found message 522 in ma Queue\r\n", "Found message 522 in wa Queue\r\n",
        "About to post: wa:action: 48 PostEvent? 0 PostUser? 0 mess: 522\r\n"},
       0},
      {WM_MOUSEWHEEL,
       MAKEWPARAM(MK_CONTROL, -WHEEL_DELTA),
       -1,
       {named("522", "RV::WM_MOUSEWHEEL", "-7864312", "-1"), "Found message 522 in ma Queue\r\n",
        "Found message 522 in wa Queue\r\n",
        "About to post: wa:action: 48 PostEvent? 0 PostUser? 0 mess: 522\r\n"},
       0},
      {700,
       3,
       4,
       {named("700", "[Unknown]", "3", "4"), "Found message 700 in ma Queue\r\n",
        "Found message 700 in wa Queue\r\n",
        "About to post: wa:action: 4 PostEvent? 0 PostUser? 4 mess: 700\r\n",
        "Posting Event 1280 to thread 1\r\n"},
       rverr::kWinAccept},
      {WM_USER + 1, 0, kMagic, {named("1025", "RV::WM_USER + 1", "0", "32343")}, 0},
      {25000, 0, kMagic, {named("25000", "TaskBarCallBackMsg", "0", "32343")}, 0},
      {144, 0, kMagic, {named("144", "[Unknown]", "0", "32343")}, rverr::kWinAccept},
      {WM_POWERBROADCAST,
       0,
       kMagic,
       {named("536", "RV::WM_POWERBROADCAST", "0", "32343"), "Not an alerted Message 536\r\n"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Send(Frame(), c.message, c.wParam, c.lParam);
    EXPECT_EQ(debugger.Take(), c.lines);
    EXPECT_EQ(RovalentErrorCode(), c.error);
    Events();
  }
  // A number below WM_USER without a name is an error, and it is still
  // handled as usual.
  EXPECT_EQ(Send(Frame(), 144), kOwnAnswer);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "WinAccept unknown message : 000090h 144");
}

TEST_F(AlertAccept, LockTracesCountTheirPass) {
  alerts::DebuggerMonitor debugger;
  WinAlertMouseWheel();
  {
    CommandLineScope lockOnly("/debugWaitRelease");
    Send(Frame(), 700);
  }
  EXPECT_EQ(debugger.Take(),
            (std::vector<std::string>{"Wait/Release Check. WinAccept(2): Wait! Thread: 1\r\n",
                                      "Wait/Release Check. WinAccept(2): Release! Thread: 1\r\n"}));
  {
    CommandLineScope both("/debugWaitRelease /debugWinAlert");
    Send(Frame(), 700);
  }
  const std::vector<std::string> lines = debugger.Take();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Wait/Release Check. WinAccept(1): Wait! Thread: 1\r\n");
  EXPECT_TRUE(lines[1].starts_with("Thread: 1 Windows Message: 700 "));
  EXPECT_EQ(lines[2], "Wait/Release Check. WinAccept(1): Release! Thread: 1\r\n");
  EXPECT_EQ(lines[3], "Wait/Release Check. WinAccept(2): Wait! Thread: 1\r\n");
  EXPECT_EQ(lines[4], "Wait/Release Check. WinAccept(2): Release! Thread: 1\r\n");
}

DWORD WINAPI MessageOnAPlainThread(void* result) {
  auto& numbers = *static_cast<std::pair<int, int>*>(result);
  numbers.first = rt::ThreadNumber();
  HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
  const LONG own = ::SetWindowLongA(window, GWL_WNDPROC,
                                    static_cast<LONG>(reinterpret_cast<LONG_PTR>(WinAccept)));
  ::SendMessageA(window, WM_USER, 0, 0);
  numbers.second = rt::ThreadNumber();
  ::SetWindowLongA(window, GWL_WNDPROC, own);
  ::DestroyWindow(window);
  return 0;
}

TEST_F(AlertAccept, AThreadTheRuntimeDidNotStartIsAttachedByItsFirstMessage) {
  std::pair<int, int> numbers{-1, -1};
  rt::UniqueHandle thread(::CreateThread(nullptr, 0, MessageOnAPlainThread, &numbers, 0, nullptr));
  ASSERT_TRUE(thread);
  ::WaitForSingleObject(thread.get(), INFINITE);
  EXPECT_EQ(numbers.first, 0);
  EXPECT_GT(numbers.second, 1);
}

}  // namespace

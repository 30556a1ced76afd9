// Registering and removing message alerts on the current window: which
// handles get entries, when window procedures are replaced and put back,
// session-change notification, and what failures leave behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "alerts_support.h"
#include "test_support.h"

// For the messages of failed comparisons.
static void PrintTo(const AlertEntry& e, std::ostream* os) {
  *os << "{handle " << e.handle << ", message " << e.message << ", action " << e.action
      << ", returnTo " << e.returnTo << ", thread " << e.thread << ", client " << e.isClientArea
      << ", wts " << e.wtsNotifyEnabled << "}";
}

namespace {

using alerts::ProcedureOf;
using alerts::ProcScope;

std::int32_t Address(WNDPROC procedure) {
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(procedure));
}

// The thread's alerts of one handle, as (message, action) pairs.
std::vector<std::pair<std::int32_t, std::int32_t>> AlertsOf(HWND window) {
  std::vector<std::pair<std::int32_t, std::int32_t>> found;
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    if (e.handle == HandleValue(window)) found.emplace_back(e.message, e.action);
  }
  return found;
}

// Session-change notification that records its calls.
std::vector<HWND> g_signedUp, g_signedOff;
BOOL g_signUpAnswer = TRUE, g_signOffAnswer = TRUE;
BOOL WINAPI FakeSignUp(HWND window, DWORD flags) {
  EXPECT_EQ(flags, 1u);  // all sessions
  g_signedUp.push_back(window);
  ::SetLastError(ERROR_ACCESS_DENIED);
  return g_signUpAnswer;
}
BOOL WINAPI FakeSignOff(HWND window) {
  g_signedOff.push_back(window);
  ::SetLastError(ERROR_INVALID_HANDLE);
  return g_signOffAnswer;
}

class AlertRegistration : public testing::Test {
 protected:
  void SetUp() override { Open("QUIET"); }
  void TearDown() override {
    alerts::RemoveAllAlerts();
    if (window_) window_->Close();
    g_signedUp.clear();
    g_signedOff.clear();
    g_signUpAnswer = g_signOffAnswer = TRUE;
  }

  void Open(const char* layout) {
    alerts::RemoveAllAlerts();
    if (window_) window_->Close();
    window_ = rt::WindowLoad("test$windows", layout);
    ASSERT_TRUE(window_);
    window_->Open(nullptr);
    ASSERT_EQ(rt::CurrentWindow(), window_.get());
    frameProc_ = ProcedureOf(Frame());
    clientProc_ = ProcedureOf(Client());
  }
  HWND Frame() const { return window_->Handle(); }
  HWND Client() const { return window_->ClientHandle(); }

  void ExpectCleanUnder(const char* name) const {
    EXPECT_EQ(RovalentErrorCode(), 0) << RovalentErrorText();
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), name);
  }
  void ExpectOwnProcedures() const {
    EXPECT_EQ(ProcedureOf(Frame()), frameProc_);
    EXPECT_EQ(ProcedureOf(Client()), clientProc_);
  }

  std::unique_ptr<rt::Window> window_;
  WNDPROC frameProc_ = nullptr, clientProc_ = nullptr;
};

TEST_F(AlertRegistration, TheWheelAlertSubclassesFrameAndClientAreaOnce) {
  const int thread = rt::ThreadNumber();
  std::vector<AlertEntry> expected = {
      {HandleValue(Frame()), WM_MOUSEWHEEL, 0x30, Address(frameProc_), thread, 0, 0},
      {HandleValue(Client()), WM_MOUSEWHEEL, 0x30, Address(clientProc_), thread, 1, 0},
  };
  std::sort(expected.begin(), expected.end(),
            [](const AlertEntry& a, const AlertEntry& b) { return a.handle < b.handle; });
  for (int call = 1; call <= 2; ++call) {
    WinAlertMouseWheel();
    ExpectCleanUnder("WinAlert");
    // A second call finds the entries: it neither adds any nor replaces the
    // procedure again, which would have saved WinAccept as the procedure.
    EXPECT_EQ(ThreadAlertQueues().WA, expected) << "call " << call;
    EXPECT_EQ(ThreadAlertQueues().MA, std::vector<std::int32_t>{WM_MOUSEWHEEL});
    EXPECT_EQ(ProcedureOf(Frame()), WinAccept);
    EXPECT_EQ(ProcedureOf(Client()), WinAccept);
  }
}

TEST_F(AlertRegistration, WhichArgumentsRegisterWhat) {
  using Alerts = std::vector<std::pair<std::int32_t, std::int32_t>>;
  const std::optional<std::int32_t> none;
  const struct {
    std::optional<std::int32_t> first, last, action;
    Alerts alerts;  // on the frame and on the client area alike
  } cases[] = {
      {700, none, none, {{700, 6}}},
      {700, 0, 4, {{700, 4}}},
      {700, 702, 1, {{700, 1}, {701, 1}, {702, 1}}},
      {none, 705, 4, {}},
      {none, none, 4, {}},
      {none, 705, none, {}},
      // A range that names no message leaves the window as it is.
      {702, 700, 6, {}},
      // A range that ends at the largest number ends.
      {INT32_MAX - 1, INT32_MAX, 2, {{INT32_MAX - 1, 2}, {INT32_MAX, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first.value_or(-1) << ".." << c.last.value_or(-1) << " "
                                    << c.action.value_or(-1));
    alerts::RemoveAllAlerts();
    WinAlert(c.first, c.last, c.action);
    ExpectCleanUnder("WinAlert");
    EXPECT_EQ(AlertsOf(Frame()), c.alerts);
    EXPECT_EQ(AlertsOf(Client()), c.alerts);
    if (c.alerts.empty()) ExpectOwnProcedures();
  }
}

TEST_F(AlertRegistration, RegisteringANumberAgainChangesItsActionOnly) {
  WinAlert(700, 701, 6);
  const std::vector<AlertEntry> before = ThreadAlertQueues().WA;
  WinAlert(701, 702, 9);
  EXPECT_EQ(AlertsOf(Frame()),
            (std::vector<std::pair<std::int32_t, std::int32_t>>{{700, 6}, {701, 9}, {702, 9}}));
  for (const AlertEntry& old : before) {
    const auto now = std::find_if(
        ThreadAlertQueues().WA.begin(), ThreadAlertQueues().WA.end(),
        [&](const AlertEntry& e) { return e.handle == old.handle && e.message == old.message; });
    ASSERT_NE(now, ThreadAlertQueues().WA.end());
    AlertEntry expected = old;
    if (old.message == 701) expected.action = 9;
    EXPECT_EQ(*now, expected);
  }
  EXPECT_EQ(ThreadAlertQueues().MA, (std::vector<std::int32_t>{700, 701, 702}));
}

TEST_F(AlertRegistration, ListControlsJoinOnlyWithBit32) {
  Open("PLAIN");
  const HWND lists[] = {window_->ControlHandle(2), window_->ControlHandle(4)};
  ASSERT_EQ(window_->Type(2), rt::ControlType::List);
  ASSERT_EQ(window_->Type(4), rt::ControlType::List);
  const WNDPROC listProc = ProcedureOf(lists[0]);

  WinAlert(800, 802, 6);
  EXPECT_EQ(ThreadAlertQueues().WA.size(), 6u);
  EXPECT_EQ(ProcedureOf(lists[0]), listProc);
  EXPECT_TRUE(AlertsOf(lists[1]).empty());

  WinAlert(800, 802, 6 | 32);
  EXPECT_EQ(ThreadAlertQueues().WA.size(), 12u);
  for (HWND list : lists) {
    EXPECT_EQ(ProcedureOf(list), WinAccept);
    EXPECT_EQ(AlertsOf(list), (std::vector<std::pair<std::int32_t, std::int32_t>>{
                                  {800, 38}, {801, 38}, {802, 38}}));
  }
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    EXPECT_EQ(e.isClientArea, e.handle == HandleValue(Client()) ? 1 : 0);
  }

  // Removal visits every list control and puts every procedure back, while
  // the numbers stay known to the thread.
  WinAlert();
  ExpectCleanUnder("WinAlert");
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  EXPECT_EQ(ThreadAlertQueues().MA, (std::vector<std::int32_t>{800, 801, 802}));
  ExpectOwnProcedures();
  for (HWND list : lists) EXPECT_EQ(ProcedureOf(list), listProc);
}

TEST_F(AlertRegistration, RemovalPutsTheProceduresBackForANewRegistration) {
  WinAlertMouseWheel();
  WinAlert();
  ExpectCleanUnder("WinAlert");
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  EXPECT_EQ(ThreadAlertQueues().MA, std::vector<std::int32_t>{WM_MOUSEWHEEL});
  ExpectOwnProcedures();

  WinAlertMouseWheel();
  EXPECT_EQ(ProcedureOf(Frame()), WinAccept);
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    EXPECT_EQ(e.returnTo, Address(e.isClientArea ? clientProc_ : frameProc_));
  }
}

// Another program's subclass, installed over WinAccept, that counts what
// passes through it.
WNDPROC g_belowTop = nullptr;
int g_throughTop = 0;
LRESULT CALLBACK TopSubclass(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  ++g_throughTop;
  return ::CallWindowProcA(g_belowTop, window, msg, wParam, lParam);
}

// Removal under a subclass installed since keeps the chain whole: WinAccept
// stays below it and hands every message on, also after that subclass has
// put WinAccept back, and a new alert uses it again without a second copy.
TEST_F(AlertRegistration, RemovalUnderAnotherSubclassLeavesTheChainWhole) {
  ASSERT_TRUE(::SetWindowTextA(Frame(), "framed"));
  WinAlertMouseWheel();
  g_belowTop = reinterpret_cast<WNDPROC>(::SetWindowLongA(
      Frame(), GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(TopSubclass))));
  ASSERT_EQ(g_belowTop, WinAccept);

  WinAlert();
  ExpectCleanUnder("WinAlert");
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  EXPECT_EQ(ProcedureOf(Frame()), TopSubclass);
  EXPECT_EQ(ProcedureOf(Client()), clientProc_);
  g_throughTop = 0;
  EXPECT_EQ(::SendMessageA(Frame(), WM_GETTEXTLENGTH, 0, 0), 6);
  EXPECT_EQ(g_throughTop, 1);
  EXPECT_EQ(RovalentErrorCode(), 0) << RovalentErrorText();

  // The other program removes its subclass as it should.
  ::SetWindowLongA(Frame(), GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(g_belowTop)));
  EXPECT_EQ(::SendMessageA(Frame(), WM_GETTEXTLENGTH, 0, 0), 6);
  EXPECT_EQ(RovalentErrorCode(), 0) << RovalentErrorText();

  WinAlertMouseWheel();
  EXPECT_EQ(ProcedureOf(Frame()), WinAccept);
  alerts::TakeEvents(*window_);
  ::SendMessageA(Frame(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), 0);
  EXPECT_EQ(alerts::TakeEvents(*window_), std::vector<int>{rvevent::kWheelUp});
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    EXPECT_EQ(e.returnTo, Address(e.isClientArea ? clientProc_ : frameProc_));
  }
  WinAlert();
  ExpectOwnProcedures();

  // A window that goes takes its forwarding with it.
  WinAlertMouseWheel();
  ::SetWindowLongA(Frame(), GWL_WNDPROC,
                   static_cast<LONG>(reinterpret_cast<LONG_PTR>(TopSubclass)));
  WinAlert();
  EXPECT_EQ(ThreadAlertQueues().forwarding.size(), 1u);
  window_->Close();
  window_.reset();
  EXPECT_TRUE(ThreadAlertQueues().forwarding.empty());
}

TEST_F(AlertRegistration, WithoutAnActiveWindowRemovalRemovesNothing) {
  WinAlertMouseWheel();
  ::ShowWindow(Frame(), SW_HIDE);
  ASSERT_EQ(::GetActiveWindow(), nullptr);
  WinAlert();
  EXPECT_EQ(ThreadAlertQueues().WA.size(), 2u);
  EXPECT_EQ(ProcedureOf(Frame()), WinAccept);

  ::ShowWindow(Frame(), SW_SHOWNORMAL);
  ASSERT_NE(::GetActiveWindow(), nullptr);
  WinAlert();
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  ExpectOwnProcedures();
}

TEST_F(AlertRegistration, SessionChangeSignsUpTheFrameAlone) {
  {
    ProcScope signUp(fp_WTSRegisterSessionNotification, FakeSignUp);
    ProcScope signOff(fp_WTSUnRegisterSessionNotification, FakeSignOff);
    WinAlert(WM_WTSSESSION_CHANGE);
    ExpectCleanUnder("WinAlert");
    EXPECT_EQ(g_signedUp, std::vector<HWND>{Frame()});
    for (const AlertEntry& e : ThreadAlertQueues().WA) {
      EXPECT_EQ(e.wtsNotifyEnabled, e.isClientArea ? 0 : 1);
    }
    WinAlert();
    ExpectCleanUnder("WinAlert");
    EXPECT_EQ(g_signedOff, std::vector<HWND>{Frame()});
    ExpectOwnProcedures();
  }

  // The system's own procedures. Wine's sign-off is a stub that fails.
  WinAlert(WM_WTSSESSION_CHANGE);
  EXPECT_EQ(RovalentErrorCode(), 0) << RovalentErrorText();
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    EXPECT_EQ(e.wtsNotifyEnabled, e.isClientArea ? 0 : 1);
  }
  WinAlert();
  EXPECT_EQ(RovalentErrorCode(), alerts::UnderWine() ? rverr::kCloseHandle : 0);
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  ExpectOwnProcedures();
}

TEST_F(AlertRegistration, FailedSessionNotificationIsRecordedAndRegistrationGoesOn) {
  ProcScope signUp(fp_WTSRegisterSessionNotification, FakeSignUp);
  ProcScope signOff(fp_WTSUnRegisterSessionNotification, FakeSignOff);
  const std::string frame = rt::FormatGrouped(HandleValue(Frame()), 16);

  g_signUpAnswer = FALSE;
  WinAlert(WM_WTSSESSION_CHANGE);
  EXPECT_EQ(RovalentErrorCode(), rverr::kAddAlerts);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAlert");
  EXPECT_EQ(rt::Clip(RovalentErrorText()),
            "WinAlert Error : WTSRegisterSessionNotification, wa:Handel = " + frame + " " +
                SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ThreadAlertQueues().WA.size(), 2u);
  for (const AlertEntry& e : ThreadAlertQueues().WA) EXPECT_EQ(e.wtsNotifyEnabled, 0);
  // What never signed up is not signed off.
  WinAlert();
  ExpectCleanUnder("WinAlert");
  EXPECT_TRUE(g_signedOff.empty());

  g_signUpAnswer = TRUE;
  g_signOffAnswer = FALSE;
  WinAlert(WM_WTSSESSION_CHANGE);
  WinAlert();
  EXPECT_EQ(RovalentErrorCode(), rverr::kCloseHandle);
  EXPECT_EQ(rt::Clip(RovalentErrorText()),
            "WinAlert Error : WTSUnRegisterSessionNotification, wa:Handel = " + frame + " " +
                SystemErrorText(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  ExpectOwnProcedures();
}

TEST_F(AlertRegistration, WithoutTheNotificationProcedureTheFrameIsNotSignedUp) {
  ProcScope missing(fp_WTSRegisterSessionNotification, kProcLookupFailed);
  WinAlert(WM_WTSSESSION_CHANGE);
  ExpectCleanUnder("WinAlert");
  EXPECT_EQ(ThreadAlertQueues().WA.size(), 2u);
  for (const AlertEntry& e : ThreadAlertQueues().WA) EXPECT_EQ(e.wtsNotifyEnabled, 0);
}

TEST_F(AlertRegistration, AFailedSubclassingIsRecordedAndItsEntriesStayInert) {
  Open("PLAIN");
  ProcScope signUp(fp_WTSRegisterSessionNotification, FakeSignUp);
  ProcScope signOff(fp_WTSUnRegisterSessionNotification, FakeSignOff);
  const HWND gone = window_->ControlHandle(4);
  ASSERT_TRUE(::DestroyWindow(gone));
  ::SetLastError(0);
  ::SetWindowLongA(gone, GWL_WNDPROC, Address(WinAccept));
  const DWORD failure = ::GetLastError();

  WinAlert(WM_WTSSESSION_CHANGE, 0, 0x26);
  // The failure stands under the registration's name, although the
  // procedure lookup for the later session sign-up records its own.
  EXPECT_EQ(RovalentErrorCode(), rverr::kAddAlerts);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAlert");
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "WinAlert Error : SetLongWindow failed, ch:handel=" +
                                               rt::FormatGrouped(HandleValue(gone), 16) + " " +
                                               SystemErrorText(failure));
  // Every handle got its entry; the one that failed saved no procedure.
  ASSERT_EQ(ThreadAlertQueues().WA.size(), 4u);
  for (const AlertEntry& e : ThreadAlertQueues().WA) {
    EXPECT_EQ(e.returnTo == 0, e.handle == HandleValue(gone)) << e.handle;
  }
  EXPECT_EQ(ProcedureOf(window_->ControlHandle(2)), WinAccept);

  // Its removal has nothing to put back, and fails in nothing.
  WinAlert();
  ExpectCleanUnder("WinAlert");
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
}

TEST_F(AlertRegistration, AProcedureThatCannotBePutBackIsRecorded) {
  Open("PLAIN");
  const HWND list = window_->ControlHandle(2);
  WinAlert(800, 800, 0x26);
  ASSERT_TRUE(::DestroyWindow(list));
  WinAlert();
  EXPECT_EQ(RovalentErrorCode(), rverr::kCloseHandle);
  EXPECT_TRUE(rt::Clip(RovalentErrorText())
                  .starts_with("WinAlert Error(2) : SetLongWindow failed, ch:handel=" +
                               rt::FormatGrouped(HandleValue(list), 16) + " "))
      << RovalentErrorText();
  EXPECT_TRUE(ThreadAlertQueues().WA.empty());
  ExpectOwnProcedures();
}

TEST_F(AlertRegistration, TraceLinesOfTheRegistration) {
  alerts::DebuggerMonitor debugger;
  DebugFileName.Set("");
  {
    testsupport::CommandLineScope traced("/debugWinAlert /debug /debugWaitRelease");
    WinAlertMouseWheel();
  }
  const std::vector<std::string> adding = {
      "Wait/Release Check. WinAlert: Wait! Thread: 1\r\n",
      "WinAlert : Adding Alert: 522 Action: 48\r\n",
      "Wait/Release Check. WinAlert: Release! Thread: 1\r\n",
  };
  std::vector<std::string> expected = {"WinAlert. Top. In: 522  Action: 48\r\n",
                                       "WinAlert. Alerting: 522 RV::WM_MOUSEWHEEL Action: 48\r\n"};
  expected.insert(expected.end(), adding.begin(), adding.end());  // the frame
  expected.insert(expected.end(), adding.begin(), adding.end());  // the client area
  EXPECT_EQ(debugger.Take(), expected);

  // A number without a name, the action not given; the trace is no error.
  testsupport::CommandLineScope names("/debugWinAlert");
  MessageNamesRelease();
  WinAlert(4);
  ExpectCleanUnder("WinAlert");
  EXPECT_EQ(debugger.Take(),
            (std::vector<std::string>{"WinAlert. Top. In: 4  Action: 0\r\n",
                                      "WinAlert. Alerting: 4 [Unknown] Action: 0\r\n"}));
  EXPECT_EQ(MessageNameCount(), 183u);
}

}  // namespace

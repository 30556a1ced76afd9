// The library's own shared state and steps, for its modules and its tests. A
// program that uses the library includes rovalent.h alone.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "rovalent.h"

// ---------------------------------------------------------------------------
// The modules and the main module's shared state

// Modules of the library that only prepare data and control types.
extern const rt::Module RovalentCommsModule;
extern const rt::Module RovalentPidEventModule;
extern const rt::Module RovalentTaskbarModule;
extern const rt::Module RovalentControlsModule;
// The debug output and the alerts.
extern const rt::Module RovalentDebugModule;
extern const rt::Module RovalentAlertModule;

// The library's only lock, re-entrant; it exists from module start to module
// end.
extern std::optional<rt::Lock> RovalentLock;

// Enters or leaves RovalentLock for a holder. Under "/debugWaitRelease" each
// step is traced first: "Wait/Release Check. ", the holder's words, "Wait!"
// or "Release!", " Thread: " and the calling thread's number.
void RovalentLockWait(std::string_view holder);
void RovalentLockRelease(std::string_view holder);

// RovalentLock for a scope, or until Release.
class RovalentLockHold {
 public:
  explicit RovalentLockHold(std::string_view holder) : holder_(holder) { RovalentLockWait(holder); }
  RovalentLockHold(const RovalentLockHold&) = delete;
  RovalentLockHold& operator=(const RovalentLockHold&) = delete;
  ~RovalentLockHold() { Release(); }
  void Release() {
    if (std::exchange(held_, false)) RovalentLockRelease(holder_);
  }

 private:
  std::string_view holder_;
  bool held_ = true;
};

// A fixed text of the library that several threads write: every access
// takes a copy under its own guard.
class SharedFixedText {
 public:
  explicit SharedFixedText(std::size_t width) : width_(width), text_(width, ' ') {}
  SharedFixedText(const SharedFixedText&) = delete;
  SharedFixedText& operator=(const SharedFixedText&) = delete;

  std::string Get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  // Cut to the width and blank-padded.
  void Set(std::string_view text) {
    std::string fixed = rt::Fixed(text, width_);
    std::lock_guard lock(mutex_);
    text_.swap(fixed);
  }

 private:
  const std::size_t width_;
  mutable std::mutex mutex_;
  std::string text_;
};

// The name of the debug output file: 512 characters, blank-padded. The first
// WriteDebugText of each thread sets it from the command line.
extern SharedFixedText DebugFileName;

// The main module's thread start step of the debug output: the thread's
// debug file is set up, not opened. It is closed when the thread ends.
void RovalentThreadFileInit();

// The procedures that the library itself looks up.
extern ProcVariable fp_WTSRegisterSessionNotification;    // Wtsapi32
extern ProcVariable fp_WTSUnRegisterSessionNotification;  // Wtsapi32
extern ProcVariable fp_SHGetFolderPath;                   // shell32, else shfolder

// ds_LoadDLLProc for the library's own lookups of system DLLs, which load
// them from the system folder alone: found by their bare names, the
// program's own folder (where updates are copied) would be searched first.
[[nodiscard]] std::int32_t LoadSystemDLLProc(std::string_view dllName,
                                             std::string_view procedureName,
                                             ProcVariable& procedure);

// ---------------------------------------------------------------------------
// The error state's writers

// Writes the detail text (cut to 255 characters) before a failure is set.
void RovalentErrorTextSet(std::string_view text) noexcept;
// Stores a code without SetRovalentError, and so without logging it.
void RovalentErrorCodeStore(std::int32_t code) noexcept;

// ---------------------------------------------------------------------------
// Diagnostics

// The command-line switches of the library. Each test looks the command line
// up again (a replaced command line counts at once); letter case does not
// matter.
enum class RvSwitch : std::uint8_t {
  Debug,               // "/debug": event dump, error texts, "Adding Alert" lines
  DebugWinAlert,       // "/debugWinAlert": trace lines of the alerts
  DebugWaitRelease,    // "/debugWaitRelease": a line before each lock step
  QuorrelDebug,        // "/QuorrelDebug": system-command and help lines
  CheckShutDownStops,  // "/CheckshutDownStops": the stop box at session end
};
bool SwitchOn(RvSwitch which);
// The command-line value that names the debug file.
inline constexpr char kDebugOutputFileValue[] = "DebugOutputFile";

// A line in the form a debug viewer shows it: for each of the four columns
// its text and four colours (text, background, selected text, selected
// background).
struct DebugViewLine {
  std::string time1;  // hh:mm:ss.ffffff
  std::int32_t timeCol = 0, timeCol2 = 0, timeCol3 = 0, timeCol4 = 0;
  std::string window;
  std::int32_t windowCol = 0, windowCol2 = 0, windowCol3 = 0, windowCol4 = 0;
  std::int32_t event = 0;
  std::int32_t eventCol = 0, eventCol2 = 0, eventCol3 = 0, eventCol4 = 0;
  std::string text1;
  std::int32_t textCol = 0, textCol2 = 0, textCol3 = 0, textCol4 = 0;
};

// The viewer's lines, oldest first, and the last line filed; both are guarded
// by RovalentLock. At most DebugViewMaxLines lines stay (no viewer sets it,
// so none stay).
struct DebugViewQueue {
  std::deque<DebugViewLine> lines;
  DebugViewLine buffer;
};
extern DebugViewQueue DS_VDQ;
extern std::int32_t DebugViewMaxLines;

// The colours of the windows that the event dump names, by name without
// trailing blanks (up to 255 characters); guarded by RovalentLock.
extern std::map<std::string, std::int32_t> WQ;

// ---------------------------------------------------------------------------
// The alerts' queues

// One alert: a message of one window handle turned into an event of the
// thread that registered it.
struct AlertEntry {
  std::int32_t handle = 0;            // frame, client area or list control
  std::int32_t message = 0;           // the Windows message number
  std::int32_t action = 0;            // rvaction bits
  std::int32_t returnTo = 0;          // the procedure replaced on the handle; 0 when that failed
  std::int32_t thread = 0;            // the runtime's number of the registering thread
  std::int32_t isClientArea = 0;      // 1 when the handle was the client area
  std::int32_t wtsNotifyEnabled = 0;  // 1 when this entry signed up for session changes

  friend bool operator==(const AlertEntry&, const AlertEntry&) = default;
};

// The value that an alert keeps of a window handle.
inline std::int32_t HandleValue(HWND window) {
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window));
}

// The calling thread's alerts (WA: in handle order, one entry per handle and
// message) and every message number it ever alerted (MA: ascending, each
// once; removal leaves it). Only their own thread reads and changes them.
struct AlertQueues {
  std::vector<AlertEntry> WA;
  std::vector<std::int32_t> MA;
  // Handles whose alerts were removed while another subclass sat above
  // WinAccept: it stays in their chain and hands every message on to the
  // procedure it replaced (handle to that procedure) until the window goes.
  std::map<std::int32_t, std::int32_t> forwarding;
};
AlertQueues& ThreadAlertQueues();

// The order of WA: by handle, and within a handle by message.
inline bool AlertOrder(const AlertEntry& a, const AlertEntry& b) {
  return a.handle != b.handle ? a.handle < b.handle : a.message < b.message;
}
// The first entry of the handle in WA; WA's end when the handle has none.
std::vector<AlertEntry>::iterator FirstAlertOf(std::vector<AlertEntry>& wa, std::int32_t handle);

// The procedure that the calling thread's alerts replaced on the handle
// (also of a handle that WinAccept only hands on), null when there is none.
// It neither allocates nor takes the lock, so that WinAccept can still pass a
// message on after a failure.
WNDPROC ReplacedProcedure(std::int32_t handle) noexcept;

// The message-name table (ds_BuildWMQ): its number of rows; the name of a
// number without trailing blanks, nothing when the table has no row for it;
// and the release of its rows (the alert module's end).
std::size_t MessageNameCount();
std::optional<std::string> MessageNameOf(std::int32_t number);
void MessageNamesRelease();

// ---------------------------------------------------------------------------
// Failures that Windows cannot be made to produce on demand: a test swaps one
// of these for a function that fails, and puts the original back.
namespace rvseam {
extern BOOL(WINAPI* freeLibrary)(HMODULE module);
extern BOOL(WINAPI* queryPerformanceFrequency)(LARGE_INTEGER* frequency);
// The clock of the debug file's time stamps (rt::ClockNow).
extern std::int32_t (*clockNow)();
// The desktop that window placement fits into.
extern int(WINAPI* getSystemMetrics)(int index);
extern BOOL(WINAPI* systemParametersInfo)(UINT action, UINT param, void* value, UINT winIni);
}  // namespace rvseam

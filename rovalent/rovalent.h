// The window-event and utility library: its one public header. The launcher
// and every module of the library include this header alone.
//
// The library reports failures only through the calling thread's error state
// (code, detail text and the name of the library procedure entered last); no
// procedure raises an exception.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime.h"

// The library's modules, in the order in which they start; a program runs
// them before its own.
std::span<const rt::Module* const> RovalentModules();

// Modules of the library that only prepare data and control types.
extern const rt::Module RovalentCommsModule;
extern const rt::Module RovalentPidEventModule;
extern const rt::Module RovalentTaskbarModule;
extern const rt::Module RovalentControlsModule;
// The debug output and the alerts: their module and thread steps.
extern const rt::Module RovalentDebugModule;
extern const rt::Module RovalentAlertModule;

// ---------------------------------------------------------------------------
// Shared state of the main module

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

// The library's module and thread steps of the main module that belong to
// the debug output: each thread's own handle on the debug file is set up at
// thread start (not opened) and closed at thread end.
void RovalentThreadFileInit();
void RovalentThreadTerm();

// A procedure that the library looks up at run time instead of importing it,
// since not every Windows version offers it: 0 before the first lookup, -1
// after a failed one (never repeated), otherwise its address.
using ProcVariable = std::atomic<std::int32_t>;
inline constexpr std::int32_t kProcLookupFailed = -1;

// The procedure a variable holds; only valid after a lookup that returned 0.
template <typename Fn>
Fn ProcFromVariable(const ProcVariable& variable) {
  static_assert(sizeof(Fn) == sizeof(std::int32_t), "procedure variables hold 32-bit addresses");
  return reinterpret_cast<Fn>(static_cast<std::intptr_t>(variable.load()));
}

extern ProcVariable fp_WTSRegisterSessionNotification;    // Wtsapi32
extern ProcVariable fp_WTSUnRegisterSessionNotification;  // Wtsapi32
extern ProcVariable fp_SHGetFolderPath;                   // shell32, else shfolder

// The value, taken as unsigned, in `digits` upper-case hexadecimal digits
// with leading zeros. A value too wide for them shows "#" first and its
// lowest digits after it. Digits are 1 to 8.
std::string LongToHexText(std::int32_t value, std::uint8_t digits);
// "0" to "F" for 0 to 15, "#" for anything else.
char HexDigitChar(std::int32_t value);

// ---------------------------------------------------------------------------
// Error state and error texts (ds_rvErrorhdl)

// The library's own error codes: 0xA0000000 + n for the rows n = 1 to 88.
constexpr std::int32_t RovalentCode(int n) {
  return static_cast<std::int32_t>(0xA0000000u + static_cast<std::uint32_t>(n));
}

// The codes that the procedures of this library set.
namespace rverr {
inline constexpr std::int32_t kFolderMissing = RovalentCode(2);      // ds_GetFolderPath
inline constexpr std::int32_t kFolderIdInvalid = RovalentCode(3);    // ds_GetFolderPath
inline constexpr std::int32_t kAddAlerts = RovalentCode(51);         // WinAlert
inline constexpr std::int32_t kCloseHandle = RovalentCode(52);       // WinAlert
inline constexpr std::int32_t kWinAccept = RovalentCode(53);         // WinAccept
inline constexpr std::int32_t kLoadDLLProc = RovalentCode(58);       // ds_LoadDLLProc, /debug
inline constexpr std::int32_t kCreateDirectory = RovalentCode(63);   // ds_CreateDirectory, /debug
inline constexpr std::int32_t kGetFolderPath = RovalentCode(65);     // ds_GetFolderPath, /debug
inline constexpr std::int32_t kVisibleOnDesktop = RovalentCode(85);  // ds_VisibleOnDesktop
}  // namespace rverr

// The calling thread's error state: 0 when the last recording procedure
// reported nothing, else its last failure's code; the detail text of that
// failure and the procedure's name, each 255 characters, blank-padded (the
// views stay valid for the thread's life and show later changes).
std::int32_t RovalentErrorCode();
std::string_view RovalentErrorText();
std::string_view RovalentErrorProc();
// Writes the detail text (cut to 255 characters) before a failure is set.
void RovalentErrorTextSet(std::string_view text);
// Stores a code without SetRovalentError, and so without logging it.
void RovalentErrorCodeStore(std::int32_t code);

// The first step of every recording procedure: code 0, blank detail text and
// the procedure's name (cut to 255 characters).
void ClearRovalentError(std::string_view procedureName);
// Stores the code; under "/debug" the error also goes to the event dump.
void SetRovalentError(std::int32_t code);

// The text of an error code. With detail, the code argument is not used:
// the text is that of the thread's own code, followed by ", ", the detail
// text, ", " and the procedure name (that part cut to 255 characters). Code 0
// gives the empty text.
std::string ErrorCodeText(std::int32_t code, std::uint8_t withDetail);
// The system's text of the thread's last Windows error without its final
// line end; empty when the system has no text of more than 2 characters.
std::string LastErrorText();
// The same for a Windows error taken earlier.
std::string SystemErrorText(DWORD error);

// ---------------------------------------------------------------------------
// DLL procedure loading (ds_rvDLL)

// Fills a procedure variable with the procedure of a DLL, loading the DLL
// (names without trailing blanks). Returns 0 when the variable holds the
// address, 1 when it does not (it then holds -1). A variable that already
// holds an address or -1 is not looked up again. On success the DLL stays
// loaded and `module`, when given, receives its handle; a DLL without the
// procedure is freed again. Failures are recorded only under "/debug".
std::int32_t ds_LoadDLLProc(std::string_view dllName, std::string_view procedureName,
                            ProcVariable& procedure, HMODULE* module = nullptr);
// The same for the library's own lookups of system DLLs, which load them
// from the system folder alone: found by their bare names, the program's own
// folder (where updates are copied) would be searched first.
std::int32_t LoadSystemDLLProc(std::string_view dllName, std::string_view procedureName,
                               ProcVariable& procedure);

// ---------------------------------------------------------------------------
// Special folders and folder creation (ds_rvFiles)

// The path of a special folder (CSIDL), without trailing blanks; with
// `create` the system creates it when it is missing. Empty on any failure.
std::string ds_GetFolderPath(std::int32_t folderId, std::uint8_t create = 0);
// Creates every level of the path that does not exist yet; trailing blanks
// do not count. Always 1; failures are recorded only under "/debug".
std::int32_t ds_CreateDirectory(std::string_view path);

// ---------------------------------------------------------------------------
// Sleep and timing (ds_rvTime)

// Suspends the calling thread for hundredths of a second (the fraction of a
// millisecond cut off); 0 gives the rest of the time slice away.
void ds_Sleep(double hundredths);
// The time of day as a clock value (hundredths after midnight plus one, as
// rt::ClockNow) with a fraction, from the performance counter or, with
// cycleMode, from the processor's time-stamp counter; each thread calibrates
// a mode on its first call and re-aligns it only with resync. Without a
// usable performance counter that mode gives rt::ClockNow itself.
double PreciseClock(std::uint8_t cycleMode = 0, std::uint8_t resync = 0);
// A clock value as hh:mm:ss. followed by `digits` (0 to 18) fraction digits
// of the seconds, cut, not rounded. The value is read as hundredths after
// midnight, so the stamp runs one hundredth ahead of the clock convention.
std::string TimeStampText(double value, std::int32_t digits = 6);

// The signed 64-bit integer of two halves, as a floating-point number.
double Int64ToReal(std::int32_t high, std::uint32_t low);
// Stores the time-stamp counter at `place`; then replaces `place` by the
// counts elapsed since.
void CycleCounterStart(double& place);
void CycleCounterElapsed(double& place);

// ---------------------------------------------------------------------------
// Diagnostics (ds_rvDebug)

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

// Writes one text to the debug output: to the debugger, or, when the
// command line names a file with "DebugOutputFile", appended to that file
// after a time stamp (hh:mm:ss:, the clock value modulo 100 and a blank).
// Trailing blanks go; with addLineEnd a CR LF follows; a zero byte ends the
// text. A line of any length is one append, whole. Each thread opens the
// file for itself once; when that fails, the thread's texts go to the
// debugger. Reports nothing.
void WriteDebugText(std::string_view text, std::uint8_t addLineEnd = 1);

// One line of the event dump as its writer hands it over.
struct DebugLine {
  std::int32_t winCol = 0;  // the colour of the window column
  double time1 = 0;
  std::string window;  // 40 characters
  std::int32_t event = 0;
  std::int32_t eventCol = 0;  // the colour of the other columns
  std::string text1;          // 255 characters
};

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

// Writes an event-dump line: the window, the event (when not 0) and the
// text; under "/debug" also files it for the viewer. The first line of the
// process posts event 1026 to the calling thread's window. Always 0.
std::uint8_t DebugWriteLine(const DebugLine& line);
// Enter and leave RovalentLock for the dump, each after its trace line under
// "/debugWaitRelease". Always 0.
std::uint8_t DebugWait();
std::uint8_t DebugRelease();
// The text of a control's event: the text, a blank, the description,
// ", Field()=", the control number, a blank and the control's name in the
// current window.
std::string DebugFieldText(std::string_view description, std::string_view text, std::int32_t field);

// The event dump, under "/debug": one line with the window's name (omitted:
// none, and the colour white), the event's number, the caller's text and the
// event's description; `field` is the control the event concerns. Without
// "/debug" it does nothing.
void ds_Debug(std::optional<std::string_view> window, std::string_view text, std::int32_t event = 0,
              std::int32_t field = 0);
// The library's error logging: the text alone, without window and event.
inline void ds_Debug(std::string_view text) {
  ds_Debug(std::nullopt, text);
}
// The text with the event's description, as the dump writes it.
std::string DebugEventText(std::string_view text, std::int32_t event, std::int32_t field);
// The event number of the last line the dump wrote, 0 before the first.
std::int32_t LastDumpedEvent();

// ---------------------------------------------------------------------------
// Message alerts (ds_rvAlert)

// Events that the library posts, for control 0.
namespace rvevent {
inline constexpr std::int32_t kFirstDebugLine = 1026;  // the first event-dump line
inline constexpr std::int32_t kWheelUp = 1451;         // Ctrl + wheel turned away
inline constexpr std::int32_t kWheelDown = 1452;       // Ctrl + wheel turned towards
inline constexpr std::int32_t kEventBase = 1280;       // user events of the alerts
}  // namespace rvevent

// What an alerted message does (the bits may be combined).
namespace rvaction {
inline constexpr std::int32_t kAnswerOne = 0x01;     // answer 1 unless passed on
inline constexpr std::int32_t kPassOn = 0x02;        // then the window's own procedure
inline constexpr std::int32_t kUserEvent = 0x04;     // post a user event to the thread
inline constexpr std::int32_t kRuntimeEvent = 0x08;  // post the runtime's own event
inline constexpr std::int32_t kWheel = 0x10;         // Ctrl-wheel events, else pass on
inline constexpr std::int32_t kListControls = 0x20;  // register on list controls too
inline constexpr std::int32_t kDefault = kUserEvent | kPassOn;
inline constexpr std::int32_t kMouseWheel = kWheel | kListControls;
}  // namespace rvaction

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
// once; removal leaves it).
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

// Registers the messages first to last (last omitted or 0: first alone)
// with the action (omitted: rvaction::kDefault) on the current window's
// frame, its client area and, with kListControls, each list control. The
// first alert on a handle replaces its window procedure by WinAccept. With
// no argument at all every alert of the current window is removed and the
// procedures put back. A range whose last number lies below its first
// registers nothing. The outcome stands in the error state under "WinAlert".
void WinAlert(std::optional<std::int32_t> first = std::nullopt,
              std::optional<std::int32_t> last = std::nullopt,
              std::optional<std::int32_t> action = std::nullopt);
// WinAlert(WM_MOUSEWHEEL, WM_MOUSEWHEEL, rvaction::kMouseWheel).
void WinAlertMouseWheel();

// The window procedure of alerted handles: posts what the alerts of the
// calling thread ask for and answers by their action; every other message
// goes on to the replaced procedure.
LRESULT CALLBACK WinAccept(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The calling thread's last alerted message (not WM_SYSCOMMAND,
// WM_WTSSESSION_CHANGE or 25000).
std::int32_t Rovalent();
// The session id of the last alerted WM_WTSSESSION_CHANGE.
std::uint32_t WinWtsID();
// The code of the last alerted WM_WTSSESSION_CHANGE; reset with clear.
std::uint32_t WinWtsEvent(std::uint8_t clear);
// 274 when an alerted WM_SYSCOMMAND came since the last reset, else 0; reset
// with clear.
std::int32_t WinSysEvent(std::uint8_t clear);

// The message-name table: "RV::" and the SDK's name of each message below
// WM_USER, 25 characters, blank-padded, in ascending number order.
struct MessageName {
  std::string name;
  std::int32_t number = 0;
};
// Empties the table and fills it with its 183 rows.
void ds_BuildWMQ();
// Appends a row: the name cut to 25 characters. Nothing is checked.
void ds_AddQ(std::string_view name, std::int32_t number);
std::size_t MessageNameCount();
// The name of a number without trailing blanks; nothing when the table has
// no row for it.
std::optional<std::string> MessageNameOf(std::int32_t number);
// Frees the table's rows (the alert module's end).
void MessageNamesRelease();

// ---------------------------------------------------------------------------
// Window placement (ds_rvWindow)

// Brings the current window (x omitted) or the rectangle x, y, w, h (screen
// pixels) inside the virtual screen; mode 1 keeps the task bar's edge clear.
// The window is moved, and resized when it is resizable; a given rectangle
// gets its new place (and size, when the current window is resizable).
// 0 when done; 1 when a Windows call failed (error 0xA0000055) or the
// window is a multiple-document child.
std::int32_t ds_VisibleOnDesktop(std::int32_t* x = nullptr, std::int32_t* y = nullptr,
                                 std::int32_t* w = nullptr, std::int32_t* h = nullptr,
                                 std::uint8_t mode = 0);
// The same inside the application frame, which this program never has:
// always 1.
std::int32_t ds_VisibleOnAppframe();

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

// ---------------------------------------------------------------------------
// Stack check (ds_rvChkStack)

// The caller's state at an entry stub, from the lowest address: the flags,
// then the registers in the order PUSHAD leaves them.
struct StackSnapshot {
  std::uint32_t flags, edi, esi, ebp, esp, ebx, edx, ecx, eax;
};

// A stretch of code begins with SaveStackEntry and ends with TestStackEntry,
// both called from the same procedure at the same stack depth. Both leave
// every register and the flags unchanged. A changed stack or frame pointer
// is reported in a box and ends the program with kStackCorruptedExitCode; a
// changed EBX, ECX, EDX, ESI or EDI is reported as a debug line. Pairs nest
// up to 255 deep per thread.
extern "C" void SaveStackEntry();
extern "C" void TestStackEntry();
inline constexpr int kStackCorruptedExitCode = 3;

void ds_SaveStack(const StackSnapshot* snapshot);
void ds_TestStack(const StackSnapshot* snapshot);
// The registers of the mask (2 EBX, 4 ECX, 8 EDX, 16 ESI, 32 EDI) with their
// values now and at the save of the current level, joined by the separator.
std::string StackRegisterDiff(const StackSnapshot* snapshot, std::int32_t mask,
                              std::string_view separator);
// The calling thread's count of open pairs.
std::int32_t ds_TSLevel();

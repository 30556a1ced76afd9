// The window-event and utility library: what a program that uses it calls.
// The library's own shared state and steps are in rovalent_internal.h.
//
// The library reports failures only through the calling thread's error state
// (code, detail text and the name of the library procedure entered last); no
// procedure raises an exception.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime.h"

// The library's modules, in the order in which they start; a program runs
// them before its own.
std::span<const rt::Module* const> RovalentModules();

// ---------------------------------------------------------------------------
// The main module

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
[[nodiscard]] std::int32_t RovalentErrorCode();
std::string_view RovalentErrorText();
std::string_view RovalentErrorProc();

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
[[nodiscard]] std::int32_t ds_LoadDLLProc(std::string_view dllName, std::string_view procedureName,
                                          ProcVariable& procedure, HMODULE* module = nullptr);

// ---------------------------------------------------------------------------
// Special folders and folder creation (ds_rvFiles)

// The path of a special folder (CSIDL), without trailing blanks; with
// `create` the system creates it when it is missing. Empty on any failure.
std::string ds_GetFolderPath(std::int32_t folderId, std::uint8_t create = 0);
// Creates every level of the path that does not exist yet; trailing blanks
// do not count. Always 1; failures are recorded only under "/debug".
[[nodiscard]] std::int32_t ds_CreateDirectory(std::string_view path);

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

// Writes an event-dump line: the window, the event (when not 0) and the
// text; under "/debug" also files it for the viewer. The first line of the
// process posts event 1026 to the calling thread's window. Always 0.
[[nodiscard]] std::uint8_t DebugWriteLine(const DebugLine& line);
// Enter and leave the library's lock for the dump, each after its trace line
// under "/debugWaitRelease". Always 0.
[[nodiscard]] std::uint8_t DebugWait();
[[nodiscard]] std::uint8_t DebugRelease();
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
// goes on to the replaced procedure. What fails inside it is a library error
// of WinAccept, and the message then goes on to the replaced procedure too.
LRESULT CALLBACK WinAccept(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

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
// WM_USER, 25 characters, blank-padded, in ascending number order. Empties the
// table and fills it with its 183 rows.
void ds_BuildWMQ();
// Appends a row: the name cut to 25 characters. Nothing is checked.
void ds_AddQ(std::string_view name, std::int32_t number);

// ---------------------------------------------------------------------------
// Window placement (ds_rvWindow)

// Brings the current window (x omitted) or the rectangle x, y, w, h (screen
// pixels) inside the virtual screen; mode 1 keeps the task bar's edge clear.
// The window is moved, and resized when it is resizable; a given rectangle
// gets its new place (and size, when the current window is resizable).
// 0 when done; 1 when a Windows call failed (error 0xA0000055) or the
// window is a multiple-document child.
[[nodiscard]] std::int32_t ds_VisibleOnDesktop(std::int32_t* x = nullptr, std::int32_t* y = nullptr,
                                               std::int32_t* w = nullptr, std::int32_t* h = nullptr,
                                               std::uint8_t mode = 0);
// The same inside the application frame, which this program never has:
// always 1.
[[nodiscard]] std::int32_t ds_VisibleOnAppframe();

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

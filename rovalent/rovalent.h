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
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime.h"

// The library's modules, in the order in which they start; a program runs
// them before its own.
std::span<const rt::Module* const> RovalentModules();

// Modules of the library that only prepare data and control types.
extern const rt::Module RovalentCommsModule;
extern const rt::Module RovalentPidEventModule;
extern const rt::Module RovalentTaskbarModule;
extern const rt::Module RovalentControlsModule;

// ---------------------------------------------------------------------------
// Shared state of the main module

// The library's only lock, re-entrant; it exists from module start to module
// end.
extern std::optional<rt::Lock> RovalentLock;

// The name of the debug output file: 512 characters, blank-padded.
extern std::string DebugFileName;

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
// of the seconds, cut, not rounded.
std::string TimeStampText(double value, std::int32_t digits = 6);

// The signed 64-bit integer of two halves, as a floating-point number.
double Int64ToReal(std::int32_t high, std::uint32_t low);
// Stores the time-stamp counter at `place`; then replaces `place` by the
// counts elapsed since.
void CycleCounterStart(double& place);
void CycleCounterElapsed(double& place);

// ---------------------------------------------------------------------------
// Diagnostics (ds_rvDebug)

// The event dump: one line of text to the debug output, under "/debug".
void ds_Debug(std::string_view text);

// ---------------------------------------------------------------------------
// Failures that Windows cannot be made to produce on demand: a test swaps one
// of these for a function that fails, and puts the original back.
namespace rvseam {
extern BOOL(WINAPI* freeLibrary)(HMODULE module);
extern BOOL(WINAPI* queryPerformanceFrequency)(LARGE_INTEGER* frequency);
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

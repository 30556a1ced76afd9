// The library's diagnostics: its switches, the debug output and what the
// event dump writes through.
#include "rovalent.h"

#include <algorithm>
#include <array>

std::int32_t (*rvseam::clockNow)() = rt::ClockNow;

DebugViewQueue DS_VDQ;
std::int32_t DebugViewMaxLines = 0;
std::map<std::string, std::int32_t> WQ;

namespace {

// ---------------------------------------------------------------------------
// The switches

constexpr std::array<std::string_view, 5> kSwitchNames = {
    "/debug", "/debugWinAlert", "/debugWaitRelease", "/QuorrelDebug", "/CheckshutDownStops",
};

// The switches are tested for every message of an alerted window, so the
// answers are kept together with the generation of the command line they
// were read from: the generation in the high bits, a valid mark and one bit
// per switch below. A replaced command line has another generation and is
// read again, so every answer is the one a fresh lookup gives.
constexpr std::uint32_t kValidMark = 0x80;
std::atomic<std::uint32_t> g_switches{0};

std::uint32_t ReadSwitches(std::uint32_t generation) {
  std::uint32_t bits = (generation << 8) | kValidMark;
  for (std::size_t i = 0; i < kSwitchNames.size(); ++i) {
    if (!rt::CommandLineValue(kSwitchNames[i]).empty()) bits |= 1u << i;
  }
  return bits;
}

// ---------------------------------------------------------------------------
// The debug output

constexpr std::size_t kRecordSize = 1024;  // the file's one field
constexpr std::size_t kLineBufferSize = 1024;
constexpr std::size_t kLongestInLineBuffer = 1020;

constexpr std::int32_t kBlack = 0;
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kBlue = 0xFF0000;

// The debug output of one thread. Kept trivially destructible: with this
// toolchain a thread's thread-local storage is gone before thread-local
// destructors would run. The file's owner is in g_openFiles.
struct DebugThreadState {
  std::int32_t fileNameTaken;  // 1 after the thread's first text
  std::int32_t fileState;      // 0 not open, 1 open, below 0: minus the failed open's code
  HANDLE file;
};
thread_local DebugThreadState t_debug{};

// The owners of the threads' open debug files, by thread id. A thread's end
// steps close its own; whatever a thread that never ran them left open goes
// at module end (or when a new thread with the same id opens the file).
std::mutex g_openFilesMutex;
std::map<DWORD, rt::UniqueFileHandle> g_openFiles;

std::atomic<bool> g_firstLinePosted{false};

// Opens for appending, without denying other readers and writers: every
// write then lands at the end of the file, also when other threads and
// processes append to it at the same time.
HANDLE OpenForAppending(const std::string& name) {
  return ::CreateFileA(name.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Creates the file when it is missing. An existing file, which another
// writer may have created in the meantime, is never emptied.
void CreateEmpty(const std::string& name) {
  rt::UniqueFileHandle created(::CreateFileA(name.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void OpenDebugFile(DebugThreadState& state, const std::string& name) {
  HANDLE file = OpenForAppending(name);
  DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  if (error == ERROR_FILE_NOT_FOUND) {
    CreateEmpty(name);
    file = OpenForAppending(name);
    error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  }
  if (error != 0) {
    // A code too large for the state still leaves it negative.
    state.fileState = -static_cast<std::int32_t>(std::min<DWORD>(error, INT32_MAX));
    return;
  }
  state.fileState = 1;
  state.file = file;
  std::lock_guard lock(g_openFilesMutex);
  g_openFiles[::GetCurrentThreadId()] = rt::UniqueFileHandle(file);
}

// Appends the bytes in pieces of the record's size, the last one as long as
// what is left. A failed append is not noticed.
void AppendPieces(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t n = std::min(bytes.size(), kRecordSize);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(n), &written, nullptr);
    bytes.remove_prefix(n);
  }
}

void DebuggerOutput(const std::string& line) {
  ::OutputDebugStringA(line.c_str());
}

void WaitReleaseTrace(const char* what) {
  if (!SwitchOn(RvSwitch::DebugWaitRelease)) return;
  WriteDebugText(std::string("Wait/Release Check. ds_Debug ") + what +
                     "! Thread: " + std::to_string(rt::ThreadNumber()),
                 1);
}

void DebugModuleInit() {
  DS_VDQ.buffer = DebugViewLine{};
  for (rt::ControlType type :
       {rt::ControlType::Entry, rt::ControlType::Button, rt::ControlType::Prompt,
        rt::ControlType::Option, rt::ControlType::Check, rt::ControlType::List,
        rt::ControlType::Radio}) {
    rt::ControlTypeRegister(type);
  }
}

void DebugModuleTerm() {
  WQ.clear();
  DS_VDQ.lines.clear();
  std::lock_guard lock(g_openFilesMutex);
  g_openFiles.clear();
}

}  // namespace

const rt::Module RovalentDebugModule{"ds_rvDebug", DebugModuleInit, DebugModuleTerm};

bool SwitchOn(RvSwitch which) {
  const std::uint32_t generation = rt::CommandLineGeneration();
  std::uint32_t bits = g_switches.load(std::memory_order_acquire);
  if ((bits & kValidMark) == 0 || (bits >> 8) != (generation & 0xFFFFFF)) {
    bits = ReadSwitches(generation);
    g_switches.store(bits, std::memory_order_release);
  }
  return (bits & (1u << static_cast<unsigned>(which))) != 0;
}

void RovalentThreadFileInit() {
  t_debug = DebugThreadState{};
}

void RovalentThreadTerm() {
  DebugThreadState& state = t_debug;
  if (state.fileState == 1) {
    std::lock_guard lock(g_openFilesMutex);
    auto it = g_openFiles.find(::GetCurrentThreadId());
    if (it != g_openFiles.end() && it->second.get() == state.file) g_openFiles.erase(it);
  }
  state = DebugThreadState{};
}

void WriteDebugText(std::string_view text, std::uint8_t addLineEnd) {
  // The line buffer holds at most its size less one byte: 1024 for texts up
  // to 1020 characters, otherwise just room for the text and its line end.
  const std::size_t capacity = text.size() <= kLongestInLineBuffer
                                   ? kLineBufferSize
                                   : text.size() + 1 + (addLineEnd ? 2 : 0);
  std::string line(rt::TrimRight(text));
  if (addLineEnd) line += "\r\n";
  // The buffer is a zero-terminated text: a zero byte ends the line.
  line.resize(std::min({line.size(), line.find('\0'), capacity - 1}));

  DebugThreadState& state = t_debug;
  if (state.fileNameTaken == 0) {
    state.fileNameTaken = 1;
    const std::string value = rt::CommandLineValue(kDebugOutputFileValue);
    if (!rt::IsBlank(value)) DebugFileName.Set(value);
  }
  const std::string fileName = rt::Clip(DebugFileName.Get());
  if (fileName.empty() || state.fileState < 0) {
    DebuggerOutput(line);
    return;
  }
  if (state.fileState == 0) OpenDebugFile(state, fileName);
  if (state.fileState != 1) {
    DebuggerOutput(line);
    return;
  }
  const std::int32_t clock = rvseam::clockNow();
  std::string stamped = rt::FormatTimeT4(clock) + ":" + std::to_string(clock % 100) + " " + line;
  stamped.resize(std::min(stamped.size(), capacity - 1));
  AppendPieces(state.file, stamped);
}

std::uint8_t DebugWait() {
  WaitReleaseTrace("Wait");
  RovalentLock->Wait();
  return 0;
}

std::uint8_t DebugRelease() {
  WaitReleaseTrace("Release");
  RovalentLock->Release();
  return 0;
}

std::uint8_t DebugWriteLine(const DebugLine& loc) {
  std::string text = rt::Clip(loc.window) + " ";
  if (loc.event != 0) text += std::to_string(loc.event) + " ";
  text += rt::TrimRight(loc.text1);
  WriteDebugText(text, 1);
  if (!SwitchOn(RvSwitch::Debug)) return 0;

  DebugWait();
  DebugViewLine& line = DS_VDQ.buffer;
  line = DebugViewLine{};
  line.time1 = rt::Fixed(TimeStampText(PreciseClock(0, 0)), 15);
  line.timeCol = kBlack;
  line.timeCol2 = loc.eventCol;
  line.timeCol3 = kWhite;
  line.timeCol4 = kBlue;
  line.window = rt::Fixed(loc.window, 40);
  line.windowCol = kBlack;
  line.windowCol2 = loc.winCol;
  line.windowCol3 = kWhite;
  line.windowCol4 = kBlue;
  line.event = loc.event;
  line.eventCol = kBlack;
  line.eventCol2 = loc.eventCol;
  line.eventCol3 = kWhite;
  line.eventCol4 = kBlue;
  line.text1 = rt::Fixed(loc.text1, 255);
  line.textCol = kBlack;
  line.textCol2 = loc.eventCol;
  line.textCol3 = kWhite;
  line.textCol4 = kBlue;
  DS_VDQ.lines.push_back(line);
  while (DS_VDQ.lines.size() > static_cast<std::size_t>(std::max(DebugViewMaxLines, 0))) {
    DS_VDQ.lines.pop_front();
  }
  DebugRelease();

  // Tested and set in one step, so that two threads writing their first
  // lines at once still post the event once.
  if (!g_firstLinePosted.exchange(true)) rt::EventPost(rvevent::kFirstDebugLine, 0, 0);
  return 0;
}

std::string DebugFieldText(std::string_view description, std::string_view text,
                           std::int32_t field) {
  const rt::Window* window = rt::CurrentWindow();
  return std::string(rt::TrimRight(text)) + " " + std::string(rt::TrimRight(description)) +
         ", Field()=" + std::to_string(field) + " " + (window ? window->ControlName(field) : "");
}

void ds_Debug(std::string_view /*text*/) {
  // The event dump is not written yet; its line for the text goes out here.
}

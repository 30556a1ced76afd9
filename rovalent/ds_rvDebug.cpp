// The library's diagnostics: its switches, the debug output and what the
// event dump writes through.
#include "rovalent.h"

#include <algorithm>
#include <array>
#include <tuple>

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

constexpr char kLockHolder[] = "ds_Debug ";

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
  RovalentLockWait(kLockHolder);
  return 0;
}

std::uint8_t DebugRelease() {
  RovalentLockRelease(kLockHolder);
  return 0;
}

std::uint8_t DebugWriteLine(const DebugLine& loc) {
  std::string text = rt::Clip(loc.window) + " ";
  if (loc.event != 0) text += std::to_string(loc.event) + " ";
  text += rt::TrimRight(loc.text1);
  WriteDebugText(text, 1);
  if (!SwitchOn(RvSwitch::Debug)) return 0;

  // Built before the lock is taken: a thread's first clock reading
  // calibrates the clock, which waits for the next clock tick.
  DebugViewLine filed{.time1 = rt::Fixed(TimeStampText(PreciseClock(0, 0)), 15),
                      .window = rt::Fixed(loc.window, 40),
                      .event = loc.event,
                      .text1 = rt::Fixed(loc.text1, 255)};
  // Each column shows black on its colour, and white on blue when selected.
  const auto column = [](std::int32_t colour) { return std::tuple{kBlack, colour, kWhite, kBlue}; };
  std::tie(filed.timeCol, filed.timeCol2, filed.timeCol3, filed.timeCol4) = column(loc.eventCol);
  std::tie(filed.windowCol, filed.windowCol2, filed.windowCol3, filed.windowCol4) =
      column(loc.winCol);
  std::tie(filed.eventCol, filed.eventCol2, filed.eventCol3, filed.eventCol4) =
      column(loc.eventCol);
  std::tie(filed.textCol, filed.textCol2, filed.textCol3, filed.textCol4) = column(loc.eventCol);

  DebugWait();
  DS_VDQ.buffer = filed;
  DS_VDQ.lines.push_back(std::move(filed));
  while (DS_VDQ.lines.size() > static_cast<std::size_t>(std::max(DebugViewMaxLines, 0))) {
    DS_VDQ.lines.pop_front();
  }
  DebugRelease();

  // Tested and set in one step, so that two threads writing their first
  // lines at once still post the event once.
  // Without an open window nobody is told.
  if (!g_firstLinePosted.exchange(true)) {
    static_cast<void>(rt::EventPost(rvevent::kFirstDebugLine, 0, 0));
  }
  return 0;
}

std::string DebugFieldText(std::string_view description, std::string_view text,
                           std::int32_t field) {
  const rt::Window* window = rt::CurrentWindow();
  return std::string(rt::TrimRight(text)) + " " + std::string(rt::TrimRight(description)) +
         ", Field()=" + std::to_string(field) + " " + (window ? window->ControlName(field) : "");
}

// ---------------------------------------------------------------------------
// The event dump

namespace {

constexpr std::int32_t kRed = 0x0000FF;
constexpr std::int32_t kGreen = 0x00FF00;

std::atomic<std::int32_t> g_lastDumpedEvent{0};

struct DescriptionRow {
  std::int32_t event;
  const char* description;
};

// The descriptions of the events of a control ("form F"), by number.
constexpr DescriptionRow kFieldRows[] = {
    {1, "Accepted or MouseDown"},
    {2, "NewSelection, Choice()="},
    {3, "ScrollUp"},
    {4, "ScrollDown"},
    {5, "PageUp"},
    {6, "PageDown"},
    {7, "ScrollTop"},
    {8, "ScrollBottom"},
    {9, "Locate"},
    {10, "MouseUp"},
    {11, "MouseIn"},
    {12, "MouseOut"},
    {13, "MouseMove"},
    {15, "AlertKey, keycode()="},
    {16, "PreAlertKey, keycode()="},
    {17, "Dragging"},
    {18, "Drag"},
    {19, "Drop"},
    {20, "ScrollDrag"},
    {21, "TabChanging Choice()="},
    {22, "Expanding"},
    {23, "Contracting"},
    {24, "Expanded"},
    {25, "Contracted"},
    {26, "Rejected"},
    {27, "DroppingDown"},
    {28, "DroppedDown"},
    {29, "ScrollTrack, field2{prop:vscrollpos}="},
    {30, "ColumnResize"},
    {257, "Selected"},
    {258, "Selecting"},
    {7780, "Quorrel Message, \"Whats This\" selected"},
};

// The descriptions of window events and of the library's own events
// ("form W"): each begins with a blank and follows the text directly.
constexpr DescriptionRow kWindowRows[] = {
    {513, " CloseWindow"},
    {514, " CloseDown"},
    {515, " OpenWindow"},
    {516, " OpenFailed"},
    {517, " LoseFocus"},
    {518, " GainFocus"},
    {520, " Suspend"},
    {521, " Resume"},
    {523, " Timer"},
    {524, " DDErequest"},
    {525, " DDEadvise"},
    {526, " DDEdata"},
    {527, " DDEcommand"},
    {528, " DDEpoke"},
    {529, " DDEclosed"},
    {544, " Move "},
    {545, " Size"},
    {546, " Restore"},
    {547, " Maximize"},
    {548, " Iconize"},
    {549, " Completed"},
    {560, " Moved"},
    {561, " Sized"},
    {562, " Restored"},
    {563, " Maximized"},
    {564, " Iconized"},
    {565, " Docked"},
    {566, " Undocked"},
    {576, " BuildFile"},
    {577, " BuildKey"},
    {578, " BuildDone"},
    {6781, " Rovalent Message, RV::WM_TaskbarRestart, Reload icons!"},
    {6783, " Rovalent Message, RV::WM_QueryEndSession"},
    {6784, " Rovalent Message, RV::WM_EndSession Aborted"},
    {6785, " Rovalent Message, RV::WM_EndSession Now!"},
    {6787, " Rovalent Message, SERVICE_CONTROL_SHUTDOWN"},
    {6790, " Rovalent Message, Taskbar load icon"},
    {6792, " Rovalent Message, Taskbar mouse move"},
    {6793, " Rovalent Message, Taskbar mouseleft down"},
    {6794, " Rovalent Message, Taskbar mouseleft up"},
    {6795, " Rovalent Message, Taskbar double left click"},
    {6796, " Rovalent Message, Taskbar mouseright down"},
    {6797, " Rovalent Message, Taskbar mouseright up"},
    {6881, " Rovalent Message, Comms Transmit Buffer Empty"},
    {6882, " Rovalent Message, Comms Character(s) Received"},
    {6883, " Rovalent Message, Comms Handshaking lines changed"},
    {7306, " Rovalent Message, Taskbar balloon opened"},
    {7307, " Rovalent Message, Taskbar balloon closed"},
    {7308, " Rovalent Message, Taskbar balloon timeout, closed"},
};

// Event 1280 names the thread's last alerted message; these ten it names
// itself.
constexpr const char* kMouseMessageNames[] = {
    "RV::WM_MOUSEMOVE",   "RV::WM_LBUTTONDOWN",   "RV::WM_LBUTTONUP",     "RV::WM_LBUTTONDBLCLK",
    "RV::WM_RBUTTONDOWN", "RV::WM_RBUTTONUP",     "RV::WM_RBUTTONDBLCLK", "RV::WM_MBUTTONDOWN",
    "RV::WM_MBUTTONUP",   "RV::WM_MBUTTONDBLCLK",
};

// The value that a form-F description adds for the event being handled.
std::string FieldValue(std::int32_t event, std::int32_t field) {
  const rt::Window* window = rt::CurrentWindow();
  switch (event) {
    case 2:
    case 21:
      return rt::Decimal(window ? window->Choice(rt::EventControl()) : 0);
    case 15:
    case 16:
      return rt::Decimal(rt::KeyCodeCurrent());
    case 29:
      return rt::Decimal(window ? window->VerticalScrollPosition(field) : 0);
  }
  return {};
}

std::string WindowEventDescription(std::int32_t event) {
  if (event == rvevent::kEventBase) {
    const std::int32_t message = Rovalent();
    if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) {
      return std::string(" Rovalent Message, Rovalent()=") +
             kMouseMessageNames[message - WM_MOUSEMOVE];
    }
    return " Rovalent Message Rovalent()=" + rt::Decimal(message);
  }
  if (event == 6782) {
    return " Rovalent Message, RV::WM_SysCommand, WinSysEvent()=" + rt::Decimal(WinSysEvent(0));
  }
  if (event == 6786) {
    const std::uint32_t change = WinWtsEvent(0);
    return " Rovalent Message, RV::WM_WTSSESSION_CHANGE, WinWtsEvent()=" + std::to_string(change) +
           ", WinWtsID()=" + std::to_string(WinWtsID());
  }
  for (const DescriptionRow& row : kWindowRows) {
    if (row.event == event) return row.description;
  }
  return {};
}

}  // namespace

std::string DebugEventText(std::string_view text, std::int32_t event, std::int32_t field) {
  for (const DescriptionRow& row : kFieldRows) {
    if (row.event == event) {
      return DebugFieldText(std::string(row.description) + FieldValue(event, field), text, field);
    }
  }
  const std::string clipped(rt::TrimRight(text));
  if (std::string description = WindowEventDescription(event); !description.empty()) {
    return clipped + description;
  }
  if (event >= 6280 && event <= 6380) {
    return clipped + " Rovalent Message, TaskbarCallBack, Rovalent()=" + rt::Decimal(Rovalent());
  }
  if (event >= 1024 && event <= 4095) return clipped + "EVENT:User " + rt::Decimal(event - 1024);
  return clipped;
}

std::int32_t LastDumpedEvent() {
  return g_lastDumpedEvent;
}

void ds_Debug(std::optional<std::string_view> window, std::string_view text, std::int32_t event,
              std::int32_t field) {
  if (!SwitchOn(RvSwitch::Debug)) return;
  DebugLine loc;
  loc.window = rt::Fixed("", 40);
  loc.winCol = kWhite;
  if (window) {
    loc.window = rt::Fixed(*window, 40);
    // Each window name keeps one colour for the run; names are told apart
    // by their first 255 characters, without trailing blanks.
    const std::string key = rt::Clip(rt::Cut(*window, 255));
    DebugWait();
    auto found = WQ.find(key);
    if (found == WQ.end()) {
      const int red = rt::RandomInRange(120, 240);
      const int green = rt::RandomInRange(120, 240);
      const int blue = rt::RandomInRange(120, 240);
      found = WQ.emplace(key, red + 256 * green + 65536 * blue).first;
    }
    loc.winCol = found->second;
    DebugRelease();
  }
  loc.event = event;
  loc.eventCol = event == 520 ? kRed : event == 521 ? kGreen : kWhite;
  loc.text1 = rt::Fixed(DebugEventText(text, event, field), 255);
  DebugWriteLine(loc);
  SaveStackEntry();
  g_lastDumpedEvent = loc.event;
  TestStackEntry();
}

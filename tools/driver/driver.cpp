#include "driver.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>

#include "text.h"

namespace driver {
namespace {

constexpr DWORD kTextTimeoutMs = 1000;

// A snapshot fails with INVALID_HANDLE_VALUE, as CreateFile does.
using UniqueSnapshot = rt::UniqueFileHandle;

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : path;
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && path[0] == '\\');
}

// An inheritable handle on the null device for the standard handles of a
// started program.
rt::UniqueFileHandle NullDevice(DWORD access) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return rt::UniqueFileHandle(::CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &inherit, OPEN_EXISTING, 0, nullptr));
}

// The handles that a started program inherits, and no others.
class InheritList {
 public:
  template <std::size_t N>
  explicit InheritList(HANDLE (&handles)[N]) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    list_ = list;
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                     sizeof handles, nullptr, nullptr)) {
      Release();
    }
  }
  InheritList(const InheritList&) = delete;
  InheritList& operator=(const InheritList&) = delete;
  ~InheritList() { Release(); }
  explicit operator bool() const { return list_ != nullptr; }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  void Release() {
    if (list_) ::DeleteProcThreadAttributeList(list_);
    list_ = nullptr;
  }
  std::vector<std::byte> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(pollMs);
  }
}

// ---------------------------------------------------------------------------
// Processes

std::optional<Process> Process::Start(const std::string& folder, const std::string& program,
                                      const std::string& arguments) {
  const std::string path = FullPath(IsAbsolute(program) ? program : folder + "\\" + program);
  std::string commandLine = "\"" + path + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  return StartWithCommandLine(folder, path, commandLine);
}

std::optional<Process> Process::StartWithCommandLine(const std::string& folder,
                                                     const std::string& program,
                                                     const std::string& commandLine) {
  const std::string path = FullPath(IsAbsolute(program) ? program : folder + "\\" + program);
  const std::string current = FullPath(folder);
  const rt::UniqueFileHandle input = NullDevice(GENERIC_READ);
  const rt::UniqueFileHandle output = NullDevice(GENERIC_WRITE);
  if (!input || !output) return {};
  // Only these two are inherited. Without the list, Wine hands the caller's
  // own standard handles on as well (even with inheritance off), and a
  // caller whose output is a pipe sees it held open by every program started
  // from here, and by what they start, until they end.
  HANDLE inherited[] = {input.get(), output.get()};
  InheritList list(inherited);
  if (!list) return {};
  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input.get();
  startup.StartupInfo.hStdOutput = output.get();
  startup.StartupInfo.hStdError = output.get();
  startup.lpAttributeList = list.get();
  PROCESS_INFORMATION info{};
  std::string mutableLine = commandLine;  // CreateProcessA may write into it
  if (!::CreateProcessA(path.c_str(), mutableLine.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT, nullptr, current.c_str(),
                        &startup.StartupInfo, &info)) {
    return {};
  }
  const rt::UniqueHandle thread(info.hThread);
  return Process(rt::UniqueHandle(info.hProcess), info.dwProcessId);
}

bool Process::Running() const {
  return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) const {
  if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return {};
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_.get(), &code)) return {};
  return code;
}

void Process::Kill() const {
  if (!Running()) return;
  ::TerminateProcess(process_.get(), 1);
  ::WaitForSingleObject(process_.get(), kDefaultTimeoutMs);
}

std::string ProcessPath(DWORD processId) {
  rt::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  char buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!::QueryFullProcessImageNameA(process.get(), 0, buffer, &size)) return {};
  return std::string(buffer, size);
}

namespace {

// Ids of the running processes whose executable path passes `wanted`.
template <typename Match>
std::vector<DWORD> ProcessesWhere(Match wanted) {
  std::vector<DWORD> found;
  UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    if (wanted(entry.szExeFile, entry.th32ProcessID)) found.push_back(entry.th32ProcessID);
  }
  return found;
}

}  // namespace

std::vector<DWORD> ProcessesOf(const std::string& programPath) {
  const std::string path = FullPath(programPath);
  const std::size_t slash = path.find_last_of('\\');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return ProcessesWhere([&](const char* exeName, DWORD id) {
    // The snapshot names the executable without its folder; the full path
    // tells apart programs of the same name in other folders.
    return rt::EqualNoCase(exeName, name) && rt::EqualNoCase(ProcessPath(id), path);
  });
}

std::vector<DWORD> ProcessesUnder(const std::string& folder) {
  std::string prefix = FullPath(folder);
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  return ProcessesWhere([&](const char*, DWORD id) {
    const std::string path = ProcessPath(id);
    return path.size() > prefix.size() && rt::EqualNoCase(path.substr(0, prefix.size()), prefix);
  });
}

bool KillProcess(DWORD processId, DWORD timeoutMs) {
  rt::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return true;  // already gone
  ::TerminateProcess(process.get(), 1);
  return ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool MutexExists(const char* name) {
  return rt::UniqueHandle(::OpenMutexA(SYNCHRONIZE, FALSE, name)).get() != nullptr;
}

namespace {

// The threads of a process, suspended for the owner's life.
class SuspendedThreads {
 public:
  explicit SuspendedThreads(DWORD processId) {
    UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
      if (entry.th32OwnerProcessID != processId) continue;
      rt::UniqueHandle thread(
          ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID));
      if (thread && ::SuspendThread(thread.get()) != static_cast<DWORD>(-1)) {
        threads_.emplace_back(entry.th32ThreadID, std::move(thread));
      }
    }
  }
  SuspendedThreads(const SuspendedThreads&) = delete;
  SuspendedThreads& operator=(const SuspendedThreads&) = delete;
  ~SuspendedThreads() {
    for (auto& [id, thread] : threads_) ::ResumeThread(thread.get());
  }

  // Where the suspended thread's next instruction is; 0 when unknown.
  DWORD InstructionOf(DWORD threadId) const {
    for (const auto& [id, thread] : threads_) {
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL;
      if (id == threadId && ::GetThreadContext(thread.get(), &context)) return context.Eip;
    }
    return 0;
  }

 private:
  std::vector<std::pair<DWORD, rt::UniqueHandle>> threads_;
};

// Where a process has the system's window-manager calls: win32u, or user32
// on systems before it.
std::pair<DWORD, DWORD> WindowCallsOf(DWORD processId) {
  std::pair<DWORD, DWORD> user32{}, win32u{};
  UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!snapshot) return {};
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32First(snapshot.get(), &entry); more;
       more = ::Module32Next(snapshot.get(), &entry)) {
    const auto base = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(entry.modBaseAddr));
    const std::pair<DWORD, DWORD> range{base, base + entry.modBaseSize};
    if (rt::EqualNoCase(entry.szModule, "win32u.dll")) win32u = range;
    if (rt::EqualNoCase(entry.szModule, "user32.dll")) user32 = range;
  }
  return win32u.first ? win32u : user32;
}

}  // namespace

bool WhileWaitingForMessages(DWORD processId, DWORD windowThread,
                             const std::function<void()>& action, DWORD timeoutMs) {
  const auto [from, to] = WindowCallsOf(processId);
  if (from == 0) return false;
  // Suspended anywhere else, the thread may be halfway through a step of
  // its own.
  return WaitUntil(
      [&] {
        const SuspendedThreads suspended(processId);
        const DWORD at = suspended.InstructionOf(windowThread);
        if (at < from || at >= to) return false;
        action();
        return true;
      },
      timeoutMs, 1);
}

// ---------------------------------------------------------------------------
// Windows

std::string ClassName(HWND window) {
  char buffer[256] = {};
  const int n = ::GetClassNameA(window, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                             &length)) {
    return {};
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

DWORD Style(HWND window) {
  return static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE));
}

DWORD ExStyle(HWND window) {
  return static_cast<DWORD>(::GetWindowLongA(window, GWL_EXSTYLE));
}

RECT WindowRect(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return r;
}

SIZE ClientSize(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

POINT ClientOffset(HWND window) {
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  const RECT r = WindowRect(window);
  return {origin.x - r.left, origin.y - r.top};
}

WindowInfo Describe(HWND window) {
  WindowInfo info;
  info.hwnd = window;
  info.id = ::GetDlgCtrlID(window);
  info.className = ClassName(window);
  info.text = WindowText(window);
  info.visible = ::IsWindowVisible(window) != FALSE;
  info.style = Style(window);
  info.exStyle = ExStyle(window);
  info.rect = WindowRect(window);
  return info;
}

namespace {

struct TopLevelSearch {
  DWORD processId;
  const WindowQuery* query;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
  auto& s = *reinterpret_cast<TopLevelSearch*>(lp);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  if (owner != s.processId) return TRUE;
  if (s.query->visibleOnly && !::IsWindowVisible(hwnd)) return TRUE;
  if (!s.query->className.empty() && !rt::EqualNoCase(ClassName(hwnd), s.query->className)) {
    return TRUE;
  }
  if (s.query->caption) {
    // The system keeps the caption of a top-level window, so it is read
    // without waiting on the window's thread.
    char buffer[512] = {};
    ::GetWindowTextA(hwnd, buffer, sizeof buffer);
    if (*s.query->caption != buffer) return TRUE;
  }
  s.found.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const WindowQuery& query) {
  TopLevelSearch search{processId, &query, {}};
  ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(DWORD processId, const WindowQuery& query, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        const std::vector<HWND> windows = TopLevelWindows(processId, query);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

HWND MainWindow(DWORD processId) {
  const std::vector<HWND> windows = TopLevelWindows(processId);
  return windows.empty() ? nullptr : windows.front();
}

std::vector<WindowInfo> ChildWindows(HWND parent) {
  std::vector<HWND> handles;
  ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&handles));
  std::vector<WindowInfo> children;
  children.reserve(handles.size());
  for (HWND h : handles) children.push_back(Describe(h));
  return children;
}

HWND FindChild(HWND parent, int id) {
  for (const WindowInfo& child : ChildWindows(parent)) {
    if (child.id == id) return child.hwnd;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Messages and input

bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(window, message, wParam, lParam) != FALSE;
}

std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            DWORD timeoutMs) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs,
                             &result)) {
    return {};
  }
  return static_cast<LRESULT>(result);
}

bool RequestClose(HWND window) {
  return Post(window, WM_CLOSE);
}

std::optional<bool> QueryEndSession(HWND window) {
  const std::optional<LRESULT> answer = Send(window, WM_QUERYENDSESSION, 0, 0);
  if (!answer) return {};
  return *answer != 0;
}

bool PressKey(HWND window, UINT virtualKey) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  HWND target = window;
  if (::GetGUIThreadInfo(thread, &gui) && gui.hwndFocus) target = gui.hwndFocus;
  const UINT scan = ::MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  const LPARAM up = down | (LPARAM(1) << 30) | (LPARAM(1) << 31);
  return Post(target, WM_KEYDOWN, virtualKey, down) && Post(target, WM_KEYUP, virtualKey, up);
}

std::string StripMnemonics(std::string_view caption) {
  std::string plain;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" leaves one "&"
    plain += caption[i];
  }
  return plain;
}

HWND FindButton(HWND parent, std::string_view caption) {
  const std::string wanted = StripMnemonics(caption);
  for (const WindowInfo& child : ChildWindows(parent)) {
    const bool button = rt::EqualNoCase(child.className, "Button") || child.className == "RtButton";
    if (!button || !child.visible) continue;
    if (!::IsWindowEnabled(child.hwnd)) continue;
    if (rt::EqualNoCase(StripMnemonics(child.text), wanted)) return child.hwnd;
  }
  return nullptr;
}

bool PressButton(HWND button) {
  return Post(button, BM_CLICK);
}

bool ClickButton(HWND parent, std::string_view caption) {
  HWND button = FindButton(parent, caption);
  return button && PressButton(button);
}

bool ClickWithMouse(HWND window) {
  RECT r{};
  if (!::GetWindowRect(window, &r)) return false;
  const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  if (!::SetCursorPos(at.x, at.y)) return false;
  // Both events carry the position: under Wine the X server's own pointer
  // can be reported between them (when the button takes the capture), and
  // a release without one would happen there.
  const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  if (width < 2 || height < 2) return false;
  INPUT press[2]{};
  for (INPUT& input : press) {
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(at.x, 65535, width - 1);
    input.mi.dy = ::MulDiv(at.y, 65535, height - 1);
  }
  press[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
  press[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
  return ::SendInput(2, press, sizeof(INPUT)) == 2;
}

bool SetText(HWND window, const std::string& text) {
  const std::optional<LRESULT> done =
      Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return done && *done != 0;
}

// ---------------------------------------------------------------------------
// Dialogs

namespace {

// Memory in another process, freed with the owner.
class RemoteMemory {
 public:
  RemoteMemory(DWORD processId, std::size_t size)
      : process_(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId)) {
    if (process_) {
      address_ =
          ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  ~RemoteMemory() {
    if (address_) ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
  }

  explicit operator bool() const { return address_ != nullptr; }
  void* Address(std::size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t size) const {
    SIZE_T done = 0;
    return ::WriteProcessMemory(process_.get(), Address(offset), data, size, &done) && done == size;
  }
  bool Read(std::size_t offset, void* data, std::size_t size) const {
    SIZE_T done = 0;
    return ::ReadProcessMemory(process_.get(), Address(offset), data, size, &done) && done == size;
  }

 private:
  rt::UniqueHandle process_;
  void* address_ = nullptr;
};

DWORD ProcessOf(HWND window) {
  DWORD id = 0;
  ::GetWindowThreadProcessId(window, &id);
  return id;
}

HWND FindChildOfClass(HWND parent, const char* className) {
  for (const WindowInfo& child : ChildWindows(parent)) {
    if (rt::EqualNoCase(child.className, className)) return child.hwnd;
  }
  return nullptr;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeoutMs);
}

std::string LastComponent(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

HWND WaitForDialog(DWORD processId, const std::string& caption, DWORD timeoutMs) {
  return WaitForWindow(processId, {.className = kDialogClass, .caption = caption}, timeoutMs);
}

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  char caption[512] = {};
  ::GetWindowTextA(box, caption, sizeof caption);
  view.caption = caption;
  for (const WindowInfo& child : ChildWindows(box)) {
    if (!child.visible) continue;
    if (rt::EqualNoCase(child.className, "Button")) {
      view.buttons.push_back(child.text);
      if ((child.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) view.defaultButton = child.text;
    } else if (rt::EqualNoCase(child.className, "Static")) {
      if ((child.style & SS_TYPEMASK) == SS_ICON) {
        view.icon = true;
        continue;
      }
      if (child.text.empty()) continue;
      if (!view.text.empty()) view.text += '\n';
      for (char c : child.text) {
        if (c != '\r') view.text += c;
      }
    }
  }
  return view;
}

bool AnswerMessageBox(HWND box, std::string_view button, DWORD timeoutMs) {
  return ClickButton(box, button) && WaitUntilGone(box, timeoutMs);
}

HWND WaitForFolderDialog(DWORD processId, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND dialog : TopLevelWindows(processId, {.className = kDialogClass})) {
          if (FindChildOfClass(dialog, WC_TREEVIEWA)) {
            found = dialog;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

namespace {

// The text of a tree item of another process: the item structure and its
// text buffer must lie in the tree's process.
std::string TreeItemText(HWND tree, HTREEITEM item) {
  constexpr std::size_t kTextSize = MAX_PATH;
  RemoteMemory remote(ProcessOf(tree), sizeof(TVITEMA) + kTextSize);
  if (!remote) return {};
  TVITEMA query{};
  query.mask = TVIF_TEXT | TVIF_HANDLE;
  query.hItem = item;
  query.pszText = static_cast<char*>(remote.Address(sizeof(TVITEMA)));
  query.cchTextMax = kTextSize;
  const char none[1] = {};
  if (!remote.Write(0, &query, sizeof query) || !remote.Write(sizeof query, none, 1)) return {};
  if (!Send(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.Address()))) return {};
  char text[kTextSize] = {};
  if (!remote.Read(sizeof query, text, kTextSize)) return {};
  text[kTextSize - 1] = '\0';
  return text;
}

HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM from = nullptr) {
  const std::optional<LRESULT> item =
      Send(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from));
  return item ? reinterpret_cast<HTREEITEM>(*item) : nullptr;
}

std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> parts = rt::Split(path, '\\');
  std::erase(parts, "");
  return parts;
}

// Goes down the tree from its selected item to `path` by the names of the
// folders, as a user opens them one after the other. Wine's dialog finds a
// path in its tree by comparing item ids byte for byte, the folders' access
// times included, so a folder listed before its first reading is not found
// and the selection stops at its parent; from there only the names lead on.
void SelectByName(HWND tree, const std::string& path) {
  const std::vector<std::string> parts = PathComponents(path);
  HTREEITEM item = TreeItem(tree, TVGN_CARET);
  if (!item) return;
  const std::string selected = TreeItemText(tree, item);
  std::size_t next = parts.size();
  while (next > 0 && !rt::EqualNoCase(parts[next - 1], selected)) --next;
  if (next == 0) return;  // the selection is not on the way to the folder
  for (; next < parts.size(); ++next) {
    Send(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    HTREEITEM child = TreeItem(tree, TVGN_CHILD, item);
    while (child && !rt::EqualNoCase(TreeItemText(tree, child), parts[next])) {
      child = TreeItem(tree, TVGN_NEXT, child);
    }
    if (!child) return;
    item = child;
  }
  Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

}  // namespace

std::string SelectedFolderName(HWND dialog) {
  HWND tree = FindChildOfClass(dialog, WC_TREEVIEWA);
  if (!tree) return {};
  HTREEITEM item = TreeItem(tree, TVGN_CARET);
  return item ? TreeItemText(tree, item) : std::string();
}

bool SelectFolderOnce(HWND dialog, const std::string& folder, DWORD timeoutMs) {
  HWND tree = FindChildOfClass(dialog, WC_TREEVIEWA);
  if (!tree) return false;
  const std::string path = FullPath(folder);
  SelectByName(tree, path);
  const std::string name = LastComponent(path);
  return WaitUntil([&] { return rt::EqualNoCase(SelectedFolderName(dialog), name); }, timeoutMs);
}

bool SelectFolder(HWND dialog, const std::string& folder, DWORD timeoutMs) {
  const std::string path = FullPath(folder);
  RemoteMemory remote(ProcessOf(dialog), path.size() + 1);
  if (!remote || !remote.Write(0, path.c_str(), path.size() + 1)) return false;
  HWND tree = FindChildOfClass(dialog, WC_TREEVIEWA);
  if (!tree) return false;
  const std::string name = LastComponent(path);
  const auto selected = [&] { return rt::EqualNoCase(SelectedFolderName(dialog), name); };
  return WaitUntil(
      [&] {
        Send(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote.Address()));
        if (!WaitUntil(selected, 200)) SelectByName(tree, path);
        // Kept for a while, not undone by the dialog's own start-up.
        return WaitUntil(selected, 200) && !WaitUntil([&] { return !selected(); }, 300);
      },
      timeoutMs, 0);
}

bool ConfirmFolderDialog(HWND dialog, DWORD timeoutMs) {
  HWND ok = FindChild(dialog, IDOK);
  return ok && PressButton(ok) && WaitUntilGone(dialog, timeoutMs);
}

bool ChooseFolder(HWND dialog, const std::string& folder, DWORD timeoutMs) {
  return SelectFolder(dialog, folder, timeoutMs) && ConfirmFolderDialog(dialog, timeoutMs);
}

bool CancelFolderDialog(HWND dialog, DWORD timeoutMs) {
  HWND cancel = FindChild(dialog, IDCANCEL);
  return cancel && PressButton(cancel) && WaitUntilGone(dialog, timeoutMs);
}

}  // namespace driver

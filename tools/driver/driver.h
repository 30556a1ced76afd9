// Drives Windows programs from outside, the way a user meets them: starts a
// program in a folder, finds its windows, reads what they show, sends them
// messages and keys and presses their buttons. Used by the end-to-end tests,
// the benchmarks and (through zdriver.exe) the scripts.
//
// Nothing here throws. Operations that wait take a time-out in milliseconds
// and poll; they report a time-out through their result.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "handles.h"
#include "screenshot.h"

namespace driver {

inline constexpr DWORD kDefaultTimeoutMs = 5000;

// Polls `done` every `pollMs` until it answers true or the time is up.
// True when it answered true.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 10);

// ---------------------------------------------------------------------------
// Processes

// A program started by the driver. The owner keeps the process handle, so the
// exit code can be asked even after the process has ended. Destroying the
// owner does not end the process.
class Process {
 public:
  // Starts `program` (a path; relative to `folder` unless absolute) with
  // `folder` as its current folder and the command line
  // "\"<program's full path>\" <arguments>", as a shortcut would. Its
  // standard handles are the null device and it inherits no other handle,
  // so neither it nor what it starts holds the caller's output open.
  // Nothing when it could not start (GetLastError tells why).
  static std::optional<Process> Start(const std::string& folder, const std::string& program,
                                      const std::string& arguments = {});
  // As Start, with the whole command line given verbatim.
  static std::optional<Process> StartWithCommandLine(const std::string& folder,
                                                     const std::string& program,
                                                     const std::string& commandLine);

  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.get(); }
  bool Running() const;
  // The exit code once the process has ended within the time, else nothing.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
  // Ends the process (exit code 1) and waits until it is gone.
  void Kill() const;

 private:
  Process(rt::UniqueHandle process, DWORD id) : process_(std::move(process)), id_(id) {}
  rt::UniqueHandle process_;
  DWORD id_ = 0;
};

// Ids of the running processes whose executable is the file `programPath`
// (full path, letter case ignored).
std::vector<DWORD> ProcessesOf(const std::string& programPath);
// Ids of the running processes whose executable lies in `folder` or below it.
std::vector<DWORD> ProcessesUnder(const std::string& folder);
// Ends the process with that id (exit code 1) and waits up to `timeoutMs`
// until it is gone. True when it is gone.
bool KillProcess(DWORD processId, DWORD timeoutMs = kDefaultTimeoutMs);
// The full path of a process's executable, empty when it cannot be asked.
std::string ProcessPath(DWORD processId);

// Whether a mutex of that name exists (asked without creating one).
bool MutexExists(const char* name);

// Runs `action` while every thread of the process is suspended and its
// thread `windowThread` is inside a call of the window manager (mostly
// waiting for its next message), not in its own code between two such
// calls: a step of that thread that makes no such call between its reads of
// what the action changes (a timer tick that reads two settings) sees all of
// the change or none of it. False (the action not run) when the thread was
// not found so within the time.
bool WhileWaitingForMessages(DWORD processId, DWORD windowThread,
                             const std::function<void()>& action,
                             DWORD timeoutMs = kDefaultTimeoutMs);

// ---------------------------------------------------------------------------
// Windows

// What a window shows of itself. `visible` is what a user can see: the window
// and all its parents are visible.
struct WindowInfo {
  HWND hwnd = nullptr;
  int id = 0;  // the control id of a child window
  std::string className;
  std::string text;
  bool visible = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // screen coordinates
};

WindowInfo Describe(HWND window);

struct WindowQuery {
  std::string className;               // empty: any class
  std::optional<std::string> caption;  // exact caption; nothing: any
  bool visibleOnly = true;
};

// The top-level windows of a process that match, topmost first.
std::vector<HWND> TopLevelWindows(DWORD processId, const WindowQuery& query = {});
// The first matching top-level window of the process, waiting up to
// `timeoutMs` for one to appear. Null on time-out.
HWND WaitForWindow(DWORD processId, const WindowQuery& query, DWORD timeoutMs = kDefaultTimeoutMs);
// The process's first visible top-level window, null when it has none.
HWND MainWindow(DWORD processId);

// Every descendant of `parent`, parents before their children.
std::vector<WindowInfo> ChildWindows(HWND parent);
// The first descendant with that control id, null when there is none.
HWND FindChild(HWND parent, int id);

std::string ClassName(HWND window);
// The window's text through WM_GETTEXT, which crosses processes (also for an
// edit control); empty when the window does not answer within a second.
std::string WindowText(HWND window);
DWORD Style(HWND window);
DWORD ExStyle(HWND window);
RECT WindowRect(HWND window);
SIZE ClientSize(HWND window);
// Where the client area's top-left corner lies within the window rectangle.
POINT ClientOffset(HWND window);

// ---------------------------------------------------------------------------
// Messages and input

bool Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The window's answer, or nothing when it did not answer within the time.
std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                            DWORD timeoutMs = kDefaultTimeoutMs);

// Asks the window to close as its close box does (WM_CLOSE, posted).
bool RequestClose(HWND window);
// Windows' question at the end of a session (WM_QUERYENDSESSION, sent); the
// window's answer: true when it lets the session end.
std::optional<bool> QueryEndSession(HWND window);
// A press and release of a virtual key, posted to the window that has the
// keyboard focus in `window`'s thread (or to `window` itself when none has),
// where a real key press arrives.
bool PressKey(HWND window, UINT virtualKey);

// The visible, enabled button (a system BUTTON or the runtime's flat
// button) among the descendants of `parent` whose caption is `caption`;
// mnemonic ampersands are ignored on both sides, letter case is not. Null
// when there is none.
HWND FindButton(HWND parent, std::string_view caption);
// Presses a button as a click does (BM_CLICK, posted: a click that opens a
// modal dialog does not block the driver).
bool PressButton(HWND button);
// FindButton, then PressButton. False when no such button is there.
bool ClickButton(HWND parent, std::string_view caption);
// Moves the mouse pointer to the middle of the window and presses and lets
// go of the left button there, as a person does (the system's input queue).
bool ClickWithMouse(HWND window);

// Without mnemonic ampersands ("&&" stays one "&").
std::string StripMnemonics(std::string_view caption);

// Sets a window's text (WM_SETTEXT, sent; the system carries the text into
// the window's process), as typing into an edit box ends up.
bool SetText(HWND window, const std::string& text);

// ---------------------------------------------------------------------------
// Dialogs

// The window class of dialog boxes.
inline constexpr const char* kDialogClass = "#32770";

// A visible dialog box of the process with exactly that caption (empty for a
// box without one), waiting up to `timeoutMs` for it. Null on time-out.
HWND WaitForDialog(DWORD processId, const std::string& caption,
                   DWORD timeoutMs = kDefaultTimeoutMs);

// What a message box shows.
struct MessageBoxView {
  std::string caption;
  // Its visible texts (icons left out), joined by "\n"; "\r\n" in them is
  // "\n" too.
  std::string text;
  // Captions of its visible buttons as shown, mnemonics included, in the
  // order of the dialog's children.
  std::vector<std::string> buttons;
  // Whether it shows an icon (a static icon control).
  bool icon = false;
  // The caption of the default push button, empty when none is.
  std::string defaultButton;
};
MessageBoxView ReadMessageBox(HWND box);
// Presses the box's button of that caption (see FindButton) and waits until
// the box has gone. False when there is no such button or it stays.
bool AnswerMessageBox(HWND box, std::string_view button, DWORD timeoutMs = kDefaultTimeoutMs);

// The system's folder dialog (SHBrowseForFolder) of any process.
// A visible dialog of the process that holds a folder tree, waited for.
HWND WaitForFolderDialog(DWORD processId, DWORD timeoutMs = kDefaultTimeoutMs);
// The name that the tree shows for its selected folder, empty when none.
std::string SelectedFolderName(HWND dialog);
// Selects `folder` (a full path) in the dialog's tree. The selection is sent
// again until the tree shows the folder's name as selected and keeps it: one
// sent while the dialog is still starting up is undone by its own start.
bool SelectFolder(HWND dialog, const std::string& folder, DWORD timeoutMs = kDefaultTimeoutMs);
// Selects `folder` once in the tree, as a user's click does, from its
// selected folder down by the folders' names, and waits until the tree shows
// it selected; nothing is sent again when something undoes it afterwards.
bool SelectFolderOnce(HWND dialog, const std::string& folder, DWORD timeoutMs = kDefaultTimeoutMs);
// Presses the dialog's OK button; true once the dialog has gone.
bool ConfirmFolderDialog(HWND dialog, DWORD timeoutMs = kDefaultTimeoutMs);
// SelectFolder, then OK; true once the dialog has gone.
bool ChooseFolder(HWND dialog, const std::string& folder, DWORD timeoutMs = kDefaultTimeoutMs);
// Presses the dialog's Cancel button; true once the dialog has gone.
bool CancelFolderDialog(HWND dialog, DWORD timeoutMs = kDefaultTimeoutMs);

}  // namespace driver

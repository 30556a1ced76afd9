#include "dialogs.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "files.h"
#include "handles.h"
#include "program.h"
#include "text.h"
#include "window.h"

namespace rt {
namespace {

constexpr int kFirstButton = 100;
constexpr int kTextId = 90;
constexpr int kIconId = 91;

// "&Cancel" and "Cancel" are the captions of a cancel button.
bool IsCancelCaption(std::string caption) {
  std::erase(caption, '&');
  return EqualNoCase(caption, "Cancel");
}

HWND OwnerWindow() {
  if (Window* w = CurrentWindow(); w && !w->Closed()) return w->Handle();
  return ::GetActiveWindow();
}

struct BoxContent {
  std::string text;  // lines joined with CR LF
  std::string caption;
  LPCSTR icon = nullptr;
  std::vector<std::string> buttons;
  int defaultIndex = 0;
  int cancelIndex = -1;
  bool copyable = false;
  UniqueGdi font;
};

SIZE Measure(HDC dc, const std::string& text, int maxWidth) {
  RECT r{0, 0, maxWidth, 0};
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK);
  return {r.right, r.bottom};
}

HWND AddChild(HWND dialog, const char* cls, const std::string& text, DWORD style, int id,
              const RECT& r, HFONT font) {
  HWND child = ::CreateWindowExA(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleA(nullptr), nullptr);
  ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// Lays the box out in pixels of its font: the icon, the text beside it, the
// buttons in a row below, centred.
void BuildMessageBox(HWND dialog, BoxContent& box) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  box.font.reset(::CreateFontIndirectA(&metrics.lfMessageFont));
  HFONT font = static_cast<HFONT>(box.font.get());

  WindowDC dc(dialog);
  SelectInDC select(dc.get(), font);
  TEXTMETRICA tm{};
  ::GetTextMetricsA(dc.get(), &tm);
  const int margin = tm.tmHeight;
  const int gap = tm.tmHeight / 2;
  const int iconSize = box.icon ? ::GetSystemMetrics(SM_CXICON) : 0;

  SIZE text = Measure(dc.get(), box.text, box.copyable ? 520 : 640);
  if (box.copyable) {
    text.cx = std::min<LONG>(520, text.cx + ::GetSystemMetrics(SM_CXVSCROLL) + 8);
    text.cy = std::min<LONG>(320, text.cy + 8);
  }
  const int buttonHeight = tm.tmHeight + 10;
  std::vector<int> widths;
  int rowWidth = 0;
  for (const std::string& b : box.buttons) {
    std::string shown = b;
    std::erase(shown, '&');
    SIZE s{};
    ::GetTextExtentPoint32A(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &s);
    widths.push_back(std::max(75, static_cast<int>(s.cx) + 2 * margin));
    rowWidth += widths.back();
  }
  rowWidth += gap * static_cast<int>(widths.size() - 1);

  const int textLeft = margin + (iconSize ? iconSize + margin : 0);
  const int contentWidth = std::max<int>(textLeft + text.cx + margin, rowWidth + 2 * margin);
  const int textBottom = margin + std::max<int>(text.cy, iconSize);
  const int clientHeight = textBottom + margin + buttonHeight + margin;

  if (box.icon) {
    HWND icon = AddChild(dialog, "STATIC", "", SS_ICON, kIconId,
                         {margin, margin, margin + iconSize, margin + iconSize}, font);
    ::SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconA(nullptr, box.icon)), 0);
  }
  const RECT textRect{textLeft, margin, textLeft + text.cx, margin + text.cy};
  if (box.copyable) {
    AddChild(dialog, "EDIT", box.text,
             ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
             kTextId, textRect, font);
  } else {
    AddChild(dialog, "STATIC", box.text, SS_LEFT | SS_NOPREFIX, kTextId, textRect, font);
  }

  int x = (contentWidth - rowWidth) / 2;
  const int y = textBottom + margin;
  HWND defaultButton = nullptr;
  for (std::size_t i = 0; i < box.buttons.size(); ++i) {
    const bool isDefault = static_cast<int>(i) == box.defaultIndex;
    HWND b =
        AddChild(dialog, "BUTTON", box.buttons[i],
                 WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                 kFirstButton + static_cast<int>(i), {x, y, x + widths[i], y + buttonHeight}, font);
    if (isDefault) defaultButton = b;
    x += widths[i] + gap;
  }

  ::SetWindowTextA(dialog, box.caption.c_str());
  const DWORD style = static_cast<DWORD>(::GetWindowLongA(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongA(dialog, GWL_EXSTYLE));
  RECT frame{0, 0, contentWidth, clientHeight};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT area{};
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (owner && ::IsWindowVisible(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  ::SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, w, h, SWP_NOZORDER);
  ::SendMessageA(dialog, DM_SETDEFID, kFirstButton + box.defaultIndex, 0);
  ::SetFocus(defaultButton);
}

INT_PTR BoxMessage(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* box = reinterpret_cast<BoxContent*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrA(dialog, DWLP_USER, lp);
      BuildMessageBox(dialog, *reinterpret_cast<BoxContent*>(lp));
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      if (!box) break;
      const int id = LOWORD(wp);
      const int count = static_cast<int>(box->buttons.size());
      if (id >= kFirstButton && id < kFirstButton + count) {
        ::EndDialog(dialog, id - kFirstButton + 1);
      } else if (id == IDCANCEL && box->cancelIndex >= 0) {
        ::EndDialog(dialog, box->cancelIndex + 1);
      }
      return TRUE;  // Escape and the close box do nothing without a cancel button
    }
  }
  return FALSE;
}

// Nothing may unwind into user32: a message whose handling failed (an
// allocation, as a rule) is left to the dialog manager. A box that could not
// be built might have no button to close it, so it ends without an answer.
INT_PTR CALLBACK MessageBoxProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  try {
    return BoxMessage(dialog, msg, wp, lp);
  } catch (...) {
    if (msg == WM_INITDIALOG) ::EndDialog(dialog, 0);
    return FALSE;
  }
}

// An empty dialog template; the box builds its controls itself.
std::vector<DWORD> EmptyTemplate() {
  std::vector<DWORD> storage(16, 0);
  auto* t = reinterpret_cast<DLGTEMPLATE*>(storage.data());
  t->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
  t->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  t->cdit = 0;
  t->cx = 100;
  t->cy = 50;
  // Menu, class and title follow as empty strings: the zeros already there.
  return storage;
}

bool CanEnter(const std::string& folder, const std::string& returnTo) {
  if (folder.empty() || !::SetCurrentDirectoryA(folder.c_str())) return false;
  ::SetCurrentDirectoryA(returnTo.c_str());
  return true;
}

// An item list that the shell handed out.
using UniqueItemList = UniqueOwner<detail::NullIsInvalid<ITEMIDLIST*, ::ILFree>>;

struct BrowseState {
  std::string start;
  bool shown = false;
  std::string selected;
  // The dialog's own item for the opening folder, once it has shown it. The
  // shell's items carry the folder's times, so a path parsed again later can
  // differ from the item in the tree (its last access moved on when the tree
  // listed the folder) and is then not found; the tree's own item always is.
  UniqueItemList startItem;
  int resends = 0;
  // Cleared by the first selection that the dialog did not make itself.
  bool reselect = true;
};

// The dialog of this thread that is opening; a dialog is modal, so there is
// one at a time.
thread_local BrowseState* t_browse = nullptr;
constexpr UINT_PTR kReselectTimer = 0x5E1;

// Some folder dialogs fill their tree after announcing that they are ready
// and select its root again, or nothing, undoing the opening selection: for
// a short while it is sent again whenever the dialog has moved it so. A
// selection that the user or another program made ends that for good.
void CALLBACK Reselect(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  BrowseState* browse = t_browse;
  if (!browse || !browse->reselect || ++browse->resends >= 3) ::KillTimer(dialog, timer);
  if (browse && browse->reselect && !EqualNoCase(browse->selected, browse->start)) {
    if (browse->startItem) {
      ::SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE,
                     reinterpret_cast<LPARAM>(browse->startItem.get()));
    } else {
      ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                     reinterpret_cast<LPARAM>(browse->start.c_str()));
    }
  }
}

int BrowseMessage(HWND dialog, UINT msg, LPARAM lp, LPARAM data) {
  switch (msg) {
    case BFFM_INITIALIZED: {
      auto* browse = reinterpret_cast<BrowseState*>(data);
      browse->shown = true;
      if (!browse->start.empty()) {
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                       reinterpret_cast<LPARAM>(browse->start.c_str()));
        ::SetTimer(dialog, kReselectTimer, 150, Reselect);
      }
      break;
    }
    case BFFM_SELCHANGED: {
      const auto item = reinterpret_cast<PCIDLIST_ABSOLUTE>(lp);
      char path[MAX_PATH] = "";
      const bool inFileSystem = item && ::SHGetPathFromIDListA(item, path);
      if (BrowseState* browse = t_browse) {
        browse->selected = inFileSystem ? path : "";
        // Nothing, or the tree's root (an empty item), is where the dialog
        // itself moves the selection.
        const bool byTheDialog = !item || item->mkid.cb == 0;
        if (EqualNoCase(browse->selected, browse->start)) {
          if (!browse->startItem) browse->startItem.reset(::ILClone(item));
        } else if (!byTheDialog) {
          browse->reselect = false;
        }
      }
      ::SendMessageA(dialog, BFFM_ENABLEOK, 0, inFileSystem);
      ::SendMessageA(dialog, BFFM_SETSTATUSTEXTA, 0,
                     reinterpret_cast<LPARAM>(inFileSystem ? path : ""));
      break;
    }
    case BFFM_VALIDATEFAILEDA:
      return 1;  // a typed name that is not a folder: keep the dialog open
  }
  return 0;
}

// Nothing may unwind into the shell's dialog: a message whose handling failed
// is left to it.
int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM lp, LPARAM data) noexcept {
  try {
    return BrowseMessage(dialog, msg, lp, data);
  } catch (...) {
    return 0;
  }
}

}  // namespace

int MessageBoxShow(std::string_view text, std::string_view caption, LPCSTR icon,
                   std::string_view buttons, int defaultButton, unsigned style) {
  BoxContent box;
  const std::vector<std::string> lines = Split(text, '|');
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) box.text += "\r\n";
    box.text += lines[i];
  }
  box.caption = caption;
  box.icon = icon;
  box.buttons = buttons.empty() ? std::vector<std::string>{"OK"} : Split(buttons, '|');
  const int count = static_cast<int>(box.buttons.size());
  box.defaultIndex = (defaultButton >= 1 && defaultButton <= count) ? defaultButton - 1 : 0;
  for (int i = 0; i < count; ++i) {
    if (IsCancelCaption(box.buttons[static_cast<std::size_t>(i)])) box.cancelIndex = i;
  }
  box.copyable = (style & kMessageCopyable) != 0;

  std::vector<DWORD> dialogTemplate = EmptyTemplate();
  const INT_PTR result = ::DialogBoxIndirectParamA(
      ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
      OwnerWindow(), MessageBoxProc, reinterpret_cast<LPARAM>(&box));
  return (result >= 1 && result <= count) ? static_cast<int>(result) : 0;
}

bool FileDialogShow(std::string_view title, std::string_view /*mask*/, std::string& variable,
                    unsigned /*flags*/) {
  // Only the folder mode exists: the program chooses no files.
  ComScope com;
  CurrentFolderKeeper keeper;
  BrowseState browse{Clip(variable)};
  if (!CanEnter(browse.start, keeper.Saved())) browse.start = keeper.Saved();

  const std::string heading(title);
  char display[MAX_PATH] = "";
  BROWSEINFOA info{};
  info.hwndOwner = OwnerWindow();
  info.pszDisplayName = display;
  info.lpszTitle = heading.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_EDITBOX | BIF_VALIDATE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&browse);
  t_browse = &browse;
  const UniqueItemList chosen(::SHBrowseForFolderA(&info));
  t_browse = nullptr;
  // A dialog that never came up is not a cancel: the caller may want to know.
  ErrorCodeSet(browse.shown ? 0 : ERROR_CANCELLED);
  if (!chosen) return false;
  char path[MAX_PATH] = "";
  if (!::SHGetPathFromIDListA(chosen.get(), path)) return false;
  variable = path;
  return true;
}

void ProgramStop(std::string_view text) {
  if (MessageBoxShow(text, "Stop", IDI_HAND, "&Abort|&Ignore") == 1) ProgramHalt(0);
}

}  // namespace rt

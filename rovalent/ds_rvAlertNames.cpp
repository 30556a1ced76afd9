// The names of the Windows messages below WM_USER, for the alert traces.
#include "rovalent_internal.h"

#include <algorithm>

namespace {

constexpr std::size_t kNameWidth = 25;
// The names as they are supplied, one character wider than the table keeps.
constexpr std::size_t kSuppliedWidth = 26;

struct Row {
  const char* name;
  std::int32_t number;
};

// Ascending numbers, as the SDK gives them; names of the 16-bit SDK keep
// their old numbers, and range markers are rows of their own.
constexpr Row kRows[] = {
    {"RV::WM_NULL", 0},
    {"RV::WM_CREATE", 1},
    {"RV::WM_DESTROY", 2},
    {"RV::WM_MOVE", 3},
    {"RV::WM_SIZE", 5},
    {"RV::WM_ACTIVATE", 6},
    {"RV::WM_SETFOCUS", 7},
    {"RV::WM_KILLFOCUS", 8},
    {"RV::WM_ENABLE", 10},
    {"RV::WM_SETREDRAW", 11},
    {"RV::WM_SETTEXT", 12},
    {"RV::WM_GETTEXT", 13},
    {"RV::WM_GETTEXTLENGTH", 14},
    {"RV::WM_PAINT", 15},
    {"RV::WM_CLOSE", 16},
    {"RV::WM_QUERYENDSESSION", 17},
    {"RV::WM_QUIT", 18},
    {"RV::WM_QUERYOPEN", 19},
    {"RV::WM_ERASEBKGND", 20},
    {"RV::WM_SYSCOLORCHANGE", 21},
    {"RV::WM_ENDSESSION", 22},
    {"RV::WM_SYSTEMERROR", 23},
    {"RV::WM_SHOWWINDOW", 24},
    {"RV::WM_CTLCOLOR", 25},
    {"RV::WM_WININICHANGE", 26},
    {"RV::WM_DEVMODECHANGE", 27},
    {"RV::WM_ACTIVATEAPP", 28},
    {"RV::WM_FONTCHANGE", 29},
    {"RV::WM_TIMECHANGE", 30},
    {"RV::WM_CANCELMODE", 31},
    {"RV::WM_SETCURSOR", 32},
    {"RV::WM_MOUSEACTIVATE", 33},
    {"RV::WM_CHILDACTIVATE", 34},
    {"RV::WM_QUEUESYNC", 35},
    {"RV::WM_GETMINMAXINFO", 36},
    {"RV::WM_ICONERASEBKGND", 39},
    {"RV::WM_NEXTDLGCTL", 40},
    {"RV::WM_SPOOLERSTATUS", 42},
    {"RV::WM_DRAWITEM", 43},
    {"RV::WM_MEASUREITEM", 44},
    {"RV::WM_DELETEITEM", 45},
    {"RV::WM_VKEYTOITEM", 46},
    {"RV::WM_CHARTOITEM", 47},
    {"RV::WM_SETFONT", 48},
    {"RV::WM_GETFONT", 49},
    {"RV::WM_QUERYDRAGICON", 55},
    {"RV::WM_COMPAREITEM", 57},
    {"RV::WM_COMPACTING", 65},
    {"RV::WM_COMMNOTIFY", 68},
    {"RV::WM_WINDOWPOSCHANGING", 70},
    {"RV::WM_WINDOWPOSCHANGED", 71},
    {"RV::WM_POWER", 72},
    {"RV::WM_NOTIFY", 78},
    {"RV::WM_INPUTLANGCHANGEREQU", 80},
    {"RV::WM_INPUTLANGCHANGE", 81},
    {"RV::WM_TCARD", 82},
    {"RV::WM_HELP", 83},
    {"RV::WM_USERCHANGED", 84},
    {"RV::WM_NOTIFYFORMAT", 85},
    {"RV::WM_CONTEXTMENU", 123},
    {"RV::WM_STYLECHANGING", 124},
    {"RV::WM_STYLECHANGED", 125},
    {"RV::WM_DISPLAYCHANGE", 126},
    {"RV::WM_GETICON", 127},
    {"RV::WM_SETICON", 128},
    {"RV::WM_NCCREATE", 129},
    {"RV::WM_NCDESTROY", 130},
    {"RV::WM_NCCALCSIZE", 131},
    {"RV::WM_NCHITTEST", 132},
    {"RV::WM_NCPAINT", 133},
    {"RV::WM_NCACTIVATE", 134},
    {"RV::WM_GETDLGCODE", 135},
    {"RV::WM_SYNCPAINT", 136},
    {"RV::WM_NCMOUSEMOVE", 160},
    {"RV::WM_NCLBUTTONDOWN", 161},
    {"RV::WM_NCLBUTTONUP", 162},
    {"RV::WM_NCLBUTTONDBLCLK", 163},
    {"RV::WM_NCRBUTTONDOWN", 164},
    {"RV::WM_NCRBUTTONUP", 165},
    {"RV::WM_NCRBUTTONDBLCLK", 166},
    {"RV::WM_NCMBUTTONDOWN", 167},
    {"RV::WM_NCMBUTTONUP", 168},
    {"RV::WM_NCMBUTTONDBLCLK", 169},
    {"RV::WM_KEYDOWN", 256},
    {"RV::WM_KEYFIRST", 256},
    {"RV::WM_KEYUP", 257},
    {"RV::WM_CHAR", 258},
    {"RV::WM_DEADCHAR", 259},
    {"RV::WM_SYSKEYDOWN", 260},
    {"RV::WM_SYSKEYUP", 261},
    {"RV::WM_SYSCHAR", 262},
    {"RV::WM_SYSDEADCHAR", 263},
    {"RV::WM_KEYLAST", 264},
    {"RV::WM_INITDIALOG", 272},
    {"RV::WM_COMMAND", 273},
    {"RV::WM_SYSCOMMAND", 274},
    {"RV::WM_TIMER", 275},
    {"RV::WM_HSCROLL", 276},
    {"RV::WM_VSCROLL", 277},
    {"RV::WM_INITMENU", 278},
    {"RV::WM_INITMENUPOPUP", 279},
    {"RV::WM_MENUSELECT", 287},
    {"RV::WM_MENUCHAR", 288},
    {"RV::WM_ENTERIDLE", 289},
    {"RV::WM_UNINITMENUPOPUP", 293},
    {"RV::WM_CTLCOLORMSGBOX", 306},
    {"RV::WM_CTLCOLOREDIT", 307},
    {"RV::WM_CTLCOLORLISTBOX", 308},
    {"RV::WM_CTLCOLORBTN", 309},
    {"RV::WM_CTLCOLORDLG", 310},
    {"RV::WM_CTLCOLORSCROLLBAR", 311},
    {"RV::WM_CTLCOLORSTATIC", 312},
    {"RV::WM_MOUSEMOVE", 512},
    {"RV::WM_LBUTTONDOWN", 513},
    {"RV::WM_LBUTTONUP", 514},
    {"RV::WM_LBUTTONDBLCLK", 515},
    {"RV::WM_RBUTTONDOWN", 516},
    {"RV::WM_RBUTTONUP", 517},
    {"RV::WM_RBUTTONDBLCLK", 518},
    {"RV::WM_MBUTTONDOWN", 519},
    {"RV::WM_MBUTTONUP", 520},
    {"RV::WM_MBUTTONDBLCLK", 521},
    {"RV::WM_MOUSEWHEEL", 522},
    {"RV::WM_PARENTNOTIFY", 528},
    {"RV::WM_ENTERMENULOOP", 529},
    {"RV::WM_EXITMENULOOP", 530},
    {"RV::WM_NEXTMENU", 531},
    {"RV::WM_SIZING", 532},
    {"RV::WM_CAPTURECHANGED", 533},
    {"RV::WM_MOVING", 534},
    {"RV::WM_POWERBROADCAST", 536},
    {"RV::WM_DEVICECHANGE", 537},
    {"RV::WM_MDICREATE", 544},
    {"RV::WM_MDIDESTROY", 545},
    {"RV::WM_MDIACTIVATE", 546},
    {"RV::WM_MDIRESTORE", 547},
    {"RV::WM_MDINEXT", 548},
    {"RV::WM_MDIMAXIMIZE", 549},
    {"RV::WM_MDITILE", 550},
    {"RV::WM_MDICASCADE", 551},
    {"RV::WM_MDIICONARRANGE", 552},
    {"RV::WM_MDIGETACTIVE", 553},
    {"RV::WM_MDISETMENU", 560},
    {"RV::WM_ENTERSIZEMOVE", 561},
    {"RV::WM_EXITSIZEMOVE", 562},
    {"RV::WM_DROPFILES", 563},
    {"RV::WM_NCMOUSEHOVER", 672},
    {"RV::WM_MOUSEHOVER", 673},
    {"RV::WM_NCMOUSELEAVE", 674},
    {"RV::WM_MOUSELEAVE", 675},
    {"RV::WM_WTSSESSION_CHANGE", 689},
    {"RV::WM_TABLET_FIRST", 704},
    {"RV::WM_TABLET_LAST", 735},
    {"RV::WM_CUT", 768},
    {"RV::WM_COPY", 769},
    {"RV::WM_PASTE", 770},
    {"RV::WM_CLEAR", 771},
    {"RV::WM_UNDO", 772},
    {"RV::WM_RENDERFORMAT", 773},
    {"RV::WM_RENDERALLFORMATS", 774},
    {"RV::WM_DESTROYCLIPBOARD", 775},
    {"RV::WM_DRAWCLIPBOARD", 776},
    {"RV::WM_PAINTCLIPBOARD", 777},
    {"RV::WM_VSCROLLCLIPBOARD", 778},
    {"RV::WM_SIZECLIPBOARD", 779},
    {"RV::WM_ASKCBFORMATNAME", 780},
    {"RV::WM_CHANGECBCHAIN", 781},
    {"RV::WM_HSCROLLCLIPBOARD", 782},
    {"RV::WM_QUERYNEWPALETTE", 783},
    {"RV::WM_PALETTEISCHANGING", 784},
    {"RV::WM_PALETTECHANGED", 785},
    {"RV::WM_HOTKEY", 786},
    {"RV::WM_PRINT", 791},
    {"RV::WM_PRINTCLIENT", 792},
    {"RV::WM_THEMECHANGED", 794},
    {"RV::WM_HANDHELDFIRST", 856},
    {"RV::WM_HANDHELDLAST", 863},
    {"RV::WM_AFXFIRST", 864},
    {"RV::WM_AFXLAST", 895},
    {"RV::WM_PENWINFIRST", 896},
    {"RV::WM_PENWINLAST", 911},
    {"RV::WM_COALESCE_FIRST", 912},
    {"RV::WM_COALESCE_LAST", 927},
};
static_assert(std::size(kRows) == 183);

// A row of the table: the name, 25 characters, blank-padded.
struct MessageName {
  std::string name;
  std::int32_t number = 0;
};

// The table is shared by every thread; each operation holds the guard, and
// a build holds it throughout, so a lookup never sees half a table.
std::mutex g_tableMutex;
std::vector<MessageName> g_table;
bool g_tableSorted = true;  // rows added one by one may break the order

void AddRow(std::string_view name, std::int32_t number) {
  if (!g_table.empty() && number < g_table.back().number) g_tableSorted = false;
  g_table.push_back({rt::Fixed(name, kNameWidth), number});
}

bool ByNumber(const MessageName& a, const MessageName& b) {
  return a.number < b.number;
}

}  // namespace

void ds_BuildWMQ() {
  ClearRovalentError("ds_BuildWMQ");
  std::lock_guard lock(g_tableMutex);
  g_table.clear();
  g_tableSorted = true;
  for (const Row& row : kRows) {
    ClearRovalentError("ds_AddQ");
    AddRow(rt::Fixed(row.name, kSuppliedWidth), row.number);
  }
  std::stable_sort(g_table.begin(), g_table.end(), ByNumber);
  g_tableSorted = true;
}

void ds_AddQ(std::string_view name, std::int32_t number) {
  ClearRovalentError("ds_AddQ");
  std::lock_guard lock(g_tableMutex);
  AddRow(name, number);
}

std::size_t MessageNameCount() {
  std::lock_guard lock(g_tableMutex);
  return g_table.size();
}

std::optional<std::string> MessageNameOf(std::int32_t number) {
  std::lock_guard lock(g_tableMutex);
  auto it = g_table.end();
  if (g_tableSorted) {
    it = std::lower_bound(g_table.begin(), g_table.end(), MessageName{{}, number}, ByNumber);
    if (it != g_table.end() && it->number != number) it = g_table.end();
  } else {
    it = std::find_if(g_table.begin(), g_table.end(),
                      [number](const MessageName& row) { return row.number == number; });
  }
  if (it == g_table.end()) return std::nullopt;
  return rt::Clip(it->name);
}

void MessageNamesRelease() {
  std::lock_guard lock(g_tableMutex);
  g_table.clear();
  g_table.shrink_to_fit();
  g_tableSorted = true;
}

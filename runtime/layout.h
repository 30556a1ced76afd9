// Stored window layouts. A module's resource holds named window layouts;
// sizes and positions are dialog units of the window's font (a horizontal
// unit is a quarter of the font's average character width, a vertical unit
// an eighth of its height).
#pragma once

#include <windows.h>

#include <climits>
#include <span>
#include <string_view>
#include <vector>

namespace rt {

// Control type codes, as the program registers them.
enum class ControlType : int {
  None = 0,
  StrString = 1,
  String = 2,
  Image = 3,
  Box = 6,
  Entry = 8,
  Button = 9,
  Prompt = 10,
  Option = 11,
  Check = 12,
  List = 14,
  Radio = 21,
  Progress = 35,
  Panel = 39,
};

// Makes windows able to create controls of a type; a layout's control of a
// type that nobody registered is not created.
void ControlTypeRegister(ControlType type);
bool ControlTypeRegistered(ControlType type);

inline constexpr int kDefault = INT_MIN;  // "the layout stores no value"
inline constexpr COLORREF kDefaultColor = CLR_INVALID;

struct FontSpec {
  const char* face = "";
  int points = 0;  // 0: the window font's size
  COLORREF color = kDefaultColor;
  int weight = 0;  // 0: normal
};

enum ControlStyle : unsigned {
  kHidden = 1u << 0,       // created hidden
  kTransparent = 1u << 1,  // paints no background of its own
  kFlat = 1u << 2,         // a button without the raised frame
  kNoTabStop = 1u << 3,
  kCentered = 1u << 4,       // text centred
  kStandardClose = 1u << 5,  // a button whose standard action closes the window
};

struct ControlLayout {
  const char* label = "";
  ControlType type = ControlType::None;
  const char* text = "";  // the text; for a picture, the picture's name
  FontSpec font{};
  int x = 0, y = 0;
  int width = kDefault, height = kDefault;
  unsigned style = 0;
  int rangeLow = 0, rangeHigh = 100;  // progress bars
};

struct WindowLayout {
  const char* name = "";
  int x = kDefault, y = kDefault;
  int width = 0, height = 0;
  const char* title = "";  // empty: no title bar, a thin border
  const char* icon = "";
  const char* help = "";
  FontSpec font{};
  const char* wallpaper = "";
  int timer = 0;  // period in hundredths of a second; 0: no timer
  bool resizable = false;
  std::vector<int> alertKeys;
  std::vector<ControlLayout> controls;  // control n is controls[n - 1]
};

struct LayoutResource {
  const char* name = "";
  std::span<const WindowLayout> windows;
};

// The layout of that name in the resource of that name, looked up in the
// resources of the running program's modules; null when there is none.
const WindowLayout* FindLayout(std::string_view resource, std::string_view layout);

}  // namespace rt

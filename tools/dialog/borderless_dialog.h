// A dialog without controls, made from a template in memory: a window whose
// size the system itself converts from dialog units of a font, to compare
// a window of the runtime with (the tests) or to stand in for one (the bare
// launcher of the benchmarks).
#pragma once

#include <windows.h>

#include <cwchar>
#include <cstring>
#include <vector>

#include "handles.h"

namespace dialog {

inline INT_PTR CALLBACK NothingToDo(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

// A borderless dialog but for a thin line, `width` x `height` dialog units
// of the font (`face`, `points`), centred on the screen; not shown. Null
// when the system cannot make it.
inline rt::UniqueWindow CreateBorderless(short width, short height, const wchar_t* face,
                                         WORD points) {
  DLGTEMPLATE head{};
  head.style = WS_POPUP | WS_BORDER | DS_SETFONT | DS_CENTER;
  head.cx = width;
  head.cy = height;
  std::vector<WORD> words(sizeof head / sizeof(WORD));
  std::memcpy(words.data(), &head, sizeof head);
  words.insert(words.end(), {0, 0, 0, points});  // menu, class, title, then the font
  words.insert(words.end(), face, face + std::wcslen(face) + 1);
  return rt::UniqueWindow(::CreateDialogIndirectParamA(
      ::GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
      NothingToDo, 0));
}

}  // namespace dialog

// The runtime's modal dialogs: the message box with captioned buttons, the
// folder dialog, and the stop box.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace rt {

// MessageBoxShow style bits.
inline constexpr unsigned kMessageCopyable = 1;  // the text in a read-only, scrolling field

// A modal message box owned by the current window. Each '|' in the text
// starts a new line. The buttons are captions separated by '|' ('&' marks a
// mnemonic); an empty list gives the single button "OK". The default button
// is given by its 1-based number; a number outside the list makes the first
// button the default. `icon` is a system icon (IDI_QUESTION,
// IDI_EXCLAMATION, ...) or null. Escape and the close box choose a button
// captioned "Cancel" when there is one and do nothing otherwise. The result
// is the 1-based number of the button pressed, 0 when the box cannot be
// shown.
int MessageBoxShow(std::string_view text, std::string_view caption, LPCSTR icon,
                   std::string_view buttons = {}, int defaultButton = 0, unsigned style = 0);

// FileDialogShow flags.
inline constexpr unsigned kFileDialogFolder = 1;   // choose a folder, not a file
inline constexpr unsigned kFileDialogKeepDir = 2;  // the current folder is kept

// The folder-selection dialog, owned by the current window. It opens at the
// folder named in `variable` when that folder can be entered, else at the
// current folder; only file-system folders can be confirmed, a typed name
// that is not a folder keeps the dialog open, and the status line shows the
// selected path. On confirmation the chosen folder's full path is stored in
// `variable` and the result is true; on cancel `variable` keeps its value.
// The current folder afterwards is the one it was before. ErrorCodeGet is
// non-zero afterwards when the dialog could not be shown at all.
[[nodiscard]] bool FileDialogShow(std::string_view title, std::string_view mask,
                                  std::string& variable, unsigned flags);

// The text in a box captioned "Stop" with the buttons Abort and Ignore;
// Abort ends the program with exit code 0, Ignore returns.
void ProgramStop(std::string_view text);

}  // namespace rt

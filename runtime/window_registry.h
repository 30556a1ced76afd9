// Internal, for the program frame: the start of the window classes and the
// orderly halt's closing of a thread's windows.
#pragma once

namespace rt::detail {

// Destroys every window of the calling thread (the orderly halt).
void DestroyThreadWindows();

// Registers the window classes and common controls; called at start.
void WindowsStart();

}  // namespace rt::detail

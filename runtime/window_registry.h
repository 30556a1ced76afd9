// Internal: the runtime's list of open windows per thread.
#pragma once

namespace rt::detail {

// Destroys every window of the calling thread (the orderly halt).
void DestroyThreadWindows();

// Registers the window classes and common controls; called at start.
void WindowsStart();

}  // namespace rt::detail

// The window-event and utility library: its one public header.
#pragma once

#include <span>

#include "runtime.h"

// The library's modules, in the order in which they start; a program runs
// them before its own.
std::span<const rt::Module* const> RovalentModules();

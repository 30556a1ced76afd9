// The library's main module.
#include "rovalent.h"

std::span<const rt::Module* const> RovalentModules() {
  return {};
}

// The library's diagnostics: the event dump.
#include "rovalent.h"

void ds_Debug(std::string_view /*text*/) {
  // The event dump is not written yet; its line for the text goes out here.
}

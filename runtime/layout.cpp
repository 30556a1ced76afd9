#include "layout.h"

#include <atomic>
#include <iterator>

#include "program.h"
#include "text.h"

namespace rt {
namespace {

std::atomic<bool> g_typesRegistered[64];

}  // namespace

void ControlTypeRegister(ControlType type) {
  const auto code = static_cast<std::size_t>(type);
  if (code < std::size(g_typesRegistered)) g_typesRegistered[code] = true;
}

bool ControlTypeRegistered(ControlType type) {
  const auto code = static_cast<std::size_t>(type);
  return code < std::size(g_typesRegistered) && g_typesRegistered[code];
}

const WindowLayout* FindLayout(std::string_view resource, std::string_view layout) {
  for (const Module* m : ProgramModules()) {
    if (!m->resource || !EqualNoCase(m->resource->name, resource)) continue;
    for (const WindowLayout& w : m->resource->windows) {
      if (EqualNoCase(w.name, layout)) return &w;
    }
  }
  return nullptr;
}

}  // namespace rt

#include "error_reporter.h"

#include <windows.h>

namespace rt {

void ErrorReporter::SetUp(ErrorStatus& status) {
  std::lock_guard hold(lock_);
  statuses_[::GetCurrentThreadId()] = &status;
}

void ErrorReporter::SetProcedure(std::string_view name, int mode) {
  std::lock_guard hold(lock_);
  std::vector<std::string>& stack = names_[::GetCurrentThreadId()];
  if (mode == 0) {
    stack.emplace_back(name);
  } else if (!stack.empty()) {
    stack.pop_back();
  }
}

std::string ErrorReporter::CurrentProcedure() const {
  std::lock_guard hold(lock_);
  auto it = names_.find(::GetCurrentThreadId());
  return (it == names_.end() || it->second.empty()) ? std::string() : it->second.back();
}

std::size_t ErrorReporter::Depth() const {
  std::lock_guard hold(lock_);
  auto it = names_.find(::GetCurrentThreadId());
  return it == names_.end() ? 0 : it->second.size();
}

}  // namespace rt

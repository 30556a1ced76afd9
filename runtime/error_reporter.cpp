#include "error_reporter.h"

namespace rt {

void ErrorReporter::SetUp(ErrorStatus& status) {
  statuses_.Get() = &status;
}

void ErrorReporter::SetProcedure(std::string_view name, int mode) {
  std::vector<std::string>& stack = names_.Get();
  if (mode == 0) {
    stack.emplace_back(name);
  } else if (!stack.empty()) {
    stack.pop_back();
  }
}

std::string ErrorReporter::CurrentProcedure() const {
  const std::vector<std::string>* stack = names_.Find();
  return (!stack || stack->empty()) ? std::string() : stack->back();
}

std::size_t ErrorReporter::Depth() const {
  const std::vector<std::string>* stack = names_.Find();
  return stack ? stack->size() : 0;
}

}  // namespace rt

// The error reporter: a per-thread stack of procedure names, and the
// per-thread error-status object that carries a thread's last error details.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "per_thread.h"

namespace rt {

class ErrorStatus {
 public:
  std::string message;
  std::string procedure;
  void Clear() {
    message.clear();
    procedure.clear();
  }
};

class ErrorReporter {
 public:
  ErrorReporter() = default;
  ErrorReporter(const ErrorReporter&) = delete;
  ErrorReporter& operator=(const ErrorReporter&) = delete;

  // Binds the reporter to the calling thread's error status.
  void SetUp(ErrorStatus& status);

  // Mode 0 records the text as the calling thread's current procedure;
  // mode 1 discards the text and removes the thread's latest name.
  void SetProcedure(std::string_view name, int mode);

  // The calling thread's current procedure, empty when it has none.
  std::string CurrentProcedure() const;
  std::size_t Depth() const;

 private:
  PerThread<std::vector<std::string>> names_;
  PerThread<ErrorStatus*> statuses_;
};

}  // namespace rt

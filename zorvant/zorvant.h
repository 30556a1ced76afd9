// The launcher's program module: the globals that its steps share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "runtime.h"

namespace zorvant {

// Fixed-width texts of 250 characters, blank-padded.
inline constexpr std::size_t kPathWidth = 250;
extern std::string ControlFolderPath;
extern std::string UserSettingsFolder;

// The Windows directory, zero-terminated, read once before the window opens.
inline constexpr std::int32_t kWindowsFolderBuffer = 255;
extern char WindowsFolder[kWindowsFolderBuffer];
extern std::int32_t WindowsFolderSize;

// The handle of the latest probe of the running mutex; closed within the
// timer tick that opened it.
extern rt::UniqueHandle RunningMutexHandle;

// 5 digits, 2 of them decimals; set to 22.10 by the splash window's set-up.
extern rt::ScaledDecimal LauncherVersion;

extern std::optional<rt::ErrorReporter> GlobalErrorReporter;
extern std::optional<rt::IniStore> LocalIniStore;

// Per thread. The error status is made on the thread's start and goes at its
// end.
rt::ErrorStatus& ThreadErrorStatus();
extern thread_local std::uint8_t ThreadRequest;
extern thread_local std::uint8_t ThreadResponse;
extern thread_local std::int32_t ThreadVcrRequest;

void LauncherMain();

// The splash window procedure; returns when the window has closed.
void Main();

extern const rt::Module ProgramModule;
extern const rt::Module MainModule;

}  // namespace zorvant

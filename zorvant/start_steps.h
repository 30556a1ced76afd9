// The steps of the launcher's start, run by the splash window on its open
// event, in this order.
#pragma once

#include "splash.h"

namespace zorvant {

// The per-user settings file "ZTSetup.ini", formed afresh for every access.
std::string SettingsFile();
inline constexpr const char* kSettingsSection = "Orvande Zorvant";
inline constexpr const char* kHandshakeSection = "Accounting Program";

// Finds and creates the per-user folder, copies older settings files from
// the Windows directory, finds the control folder, clears "TempControlPath".
void PrepareUserSettings();

// Proves that the control folder can be entered, or offers the recovery
// dialog; ends the process (exit code 0) when the user gives up.
void CheckControlFolder(MainLocals& locals);

// Installs the files waiting in "\ztUtemp\" and switches the main
// program's manifest.
void InstallPendingUpdates(MainLocals& locals);
void ApplyManifestSetting();

// Starts the main program; false when it is missing or cannot be started
// (the user has been told).
bool StartMainProgram(MainLocals& locals);
// Waits for the main program's hand-shake in a nested event loop.
void WaitForMainProgram(MainLocals& locals);
// The end of the wait: the pointer back, the window's close and the
// keep-visible event posted.
void FinishWait();

}  // namespace zorvant

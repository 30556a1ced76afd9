// The control-folder check and its recovery dialog.
#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {
namespace {

// A box or dialog that cannot be shown at all comes back at once; after a
// few such failures in a row the start gives up as the user would by
// closing the program, instead of spinning without end.
constexpr int kShowFailuresBeforeHalt = 3;

struct ControlFolderCheck {
  MainLocals& locals;
  std::int32_t HaltRequested = 0;
  int showFailures = 0;

  void CountShow(bool shown) {
    showFailures = shown ? 0 : showFailures + 1;
    if (showFailures >= kShowFailuresBeforeHalt) HaltRequested = 1;
  }
  bool GivingUp() const { return showFailures >= kShowFailuresBeforeHalt; }

  int MissingControlFile() {
    const std::string text =
        "The specified Control Folder (" + rt::Clip(ControlFolderPath) + ") cannot be found. ||" +
        "If this is a notebook computer that has been disconnected from|" +
        "its network, you can work off-line by temporarily using the Control|" +
        "File in your program folder located at " + rt::PathLong() + ". ||" +
        "Please select from the following options.";
    const int answer = rt::MessageBoxShow(text, "Missing Control File", IDI_QUESTION,
                                          "&Work Offline|&Retry|&Change Folder|&Close Program", 0);
    CountShow(answer != 0);
    return answer;
  }

  void WorkOffline() {
    if (rt::FileExists(rt::Clip(rt::PathShort()) + "\\control.dat")) {
      const std::string programFolder = rt::PathLong();
      rt::IniWriteText(kSettingsSection, "TempControlPath", programFolder, SettingsFile());
      ControlFolderPath = rt::Fixed(programFolder, kPathWidth);
      return;
    }
    rt::MessageBoxShow(
        "No Control File exists in your program folder,|the application cannot be run at this "
        "time.",
        "No Control File", IDI_EXCLAMATION, "", 0);
    HaltRequested = 1;
  }

  void ChooseFolder() {
    for (;;) {
      std::string chosen = ControlFolderPath;
      while (!rt::FileDialogShow("Select a New Control Folder", "*.*", chosen,
                                 rt::kFileDialogFolder | rt::kFileDialogKeepDir)) {
        CountShow(rt::ErrorCodeGet() == 0);
        if (GivingUp()) return;
      }
      showFailures = 0;
      ControlFolderPath = rt::Fixed(chosen, kPathWidth);
      if (rt::FileExists(rt::Clip(ControlFolderPath) + "\\control.dat")) {
        ControlFolderPath = rt::Fixed(rt::PathLong(ControlFolderPath), kPathWidth);
        rt::IniWriteText(kSettingsSection, "ControlPath", rt::Clip(ControlFolderPath),
                         SettingsFile());
        return;
      }
      const std::string text = "No Control File exists in the selected folder located at|" +
                               rt::Clip(ControlFolderPath) + ".|" + "Do you want to try again?";
      const int answer =
          rt::MessageBoxShow(text, "Control File Not Found", IDI_QUESTION, "&Yes|&No", 2);
      CountShow(answer != 0);
      if (answer == 2 || GivingUp()) {
        HaltRequested = 1;
        return;
      }
    }
  }

  void Run() {
    locals.ProgramFolder = rt::Fixed(rt::PathLong(), kPathWidth);
    for (;;) {
      // The outcome is read from the error code.
      static_cast<void>(rt::FolderSetCurrent(ControlFolderPath));
      if (rt::ErrorCodeGet() == 0) {
        static_cast<void>(rt::FolderSetCurrent(locals.ProgramFolder));  // not checked yet
        break;
      }
      const int answer = MissingControlFile();
      if (answer == 1) {
        WorkOffline();
        break;
      }
      if (answer == 3) ChooseFolder();
      if (answer == 4 || GivingUp()) {
        HaltRequested = 1;
        break;
      }
      // 2, "&Retry", and a box that could not be shown: the next pass.
    }
    if (HaltRequested == 1) rt::ProgramHalt(0);
  }
};

}  // namespace

void CheckControlFolder(MainLocals& locals) {
  ControlFolderCheck{locals}.Run();
}

}  // namespace zorvant

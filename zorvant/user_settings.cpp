// The per-user folder "\Orvande" and its settings file "ZTSetup.ini".
#include "rovalent.h"
#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {

std::string SettingsFile() {
  return rt::Clip(UserSettingsFolder) + "\\ZTSetup.ini";
}

void PrepareUserSettings() {
  constexpr std::int32_t kApplicationData = 0x1A;
  UserSettingsFolder = rt::Fixed(ds_GetFolderPath(kApplicationData, 1), kPathWidth);
  UserSettingsFolder = rt::Fixed(rt::Clip(UserSettingsFolder) + "\\Orvande", kPathWidth);
  ds_CreateDirectory(UserSettingsFolder);

  // Settings files of older installations lie in the Windows directory;
  // a copy already in the per-user folder is never replaced.
  for (const char* name : {"ZTSetup.ini", "Zorvant.ini"}) {
    const std::string source = std::string(WindowsFolder) + "\\" + name;
    const std::string target = rt::Clip(UserSettingsFolder) + "\\" + name;
    if (rt::FileExists(source) && !rt::FileExists(target)) {
      static_cast<void>(rt::FileCopy(source, target));  // not checked yet: a failed copy is silent
    }
  }

  // The versioned key is read first; "ControlPath #.##" for every version
  // of 10 or more, since the picture has one integer digit.
  std::string version = rt::FormatDecimal(LauncherVersion, 1, 2);
  version.erase(0, version.find_first_not_of(' '));
  const std::string file = SettingsFile();
  ControlFolderPath =
      rt::Fixed(rt::IniReadText(kSettingsSection, "ControlPath " + version, "", file), kPathWidth);
  if (rt::IsBlank(ControlFolderPath)) {
    ControlFolderPath =
        rt::Fixed(rt::IniReadText(kSettingsSection, "ControlPath", "", file), kPathWidth);
  }
  if (rt::IsBlank(ControlFolderPath)) {
    ControlFolderPath = rt::Fixed(rt::PathLong(), kPathWidth);
    rt::IniWriteText(kSettingsSection, "ControlPath", rt::Clip(ControlFolderPath), file);
  }

  // A value that an earlier run wrote when working offline never survives.
  rt::IniWriteText(kSettingsSection, "TempControlPath", "", file);
}

}  // namespace zorvant

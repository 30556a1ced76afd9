// Installing waiting program updates, and the main program's manifest.
#include <windows.h>

#include "rovalent.h"
#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {
namespace {

// The launcher's temporary files in the program folder: "~zup<n>.tmp".
constexpr const char* kTemporaryPrefix = "~zup";

// Replaces the installed copy with the waiting one so that a failure at any
// point loses neither: the waiting file is copied to a temporary file of
// this start's own beside its target, which then replaces the installed copy
// in one step; only then is the waiting copy removed. On failure the
// temporary file goes and both copies stay as they were, for the next start
// to try again; the runtime's error code tells why.
bool InstallFile(const std::string& programFolder, const std::string& name) {
  const std::string waiting = programFolder + "\\ztUtemp\\" + name;
  rt::TempFile temporary(programFolder, kTemporaryPrefix);
  if (!temporary || !temporary.CopyFrom(waiting) ||
      !temporary.MoveInto(programFolder + "\\" + name)) {
    return false;
  }
  // A waiting copy that cannot be removed is installed again next time.
  static_cast<void>(rt::FileRemove(waiting));
  return true;
}

}  // namespace

void InstallPendingUpdates(MainLocals& locals) {
  const std::string programFolder = rt::Clip(rt::PathShort());
  rt::Window& window = *locals.window;
  // A start that was ended while it installed left its temporary file.
  rt::TempFile::RemoveLeftovers(programFolder, kTemporaryPrefix);
  locals.UpdateFileQueue.clear();
  locals.UpdateFileQueue = rt::DirectoryList(programFolder + "\\ztUtemp\\*.*");
  for (const rt::DirEntry& entry : locals.UpdateFileQueue) {
    const std::string name = rt::Clip(rt::Fixed(entry.name, 256));
    // The launcher cannot replace its own running executable.
    if (rt::Lower(name) == "zorvant.exe") continue;
    if (rt::IsBlank(locals.SavedPrompt)) {
      locals.SavedPrompt = rt::Fixed(window.Text(kLoadingPrompt), 100);
      window.SetText(kLoadingPrompt, "Installing Updates...");
      window.Display(kLoadingPrompt);
    }
    // The waiting copy stays for the next start; only the debug output
    // tells why it was not installed.
    if (!InstallFile(programFolder, name)) {
      WriteDebugText("Update not installed: " + name + ", " +
                         SystemErrorText(static_cast<DWORD>(rt::ErrorCodeGet())),
                     1);
    }
  }
  if (!rt::IsBlank(locals.SavedPrompt)) {
    window.SetText(kLoadingPrompt, rt::Clip(locals.SavedPrompt));
    window.Display(kLoadingPrompt);
  }
}

void ApplyManifestSetting() {
  // Section names match without regard to case: this is the section of the
  // control-folder keys.
  constexpr const char* kSection = "Orvande zorvant";
  const std::string file = SettingsFile();
  std::int64_t setting = rt::TextToWhole(rt::IniReadText(kSection, "XPManifest", "5", file));
  if (setting == 5) {  // not yet decided
    rt::IniWriteText(kSection, "XPManifest", "1", file);
    setting = 1;
  }
  if (setting == 0) {
    // Not checked yet: a manifest that stays or is missing goes unreported.
    if (rt::FileExists("tarm.exe.manifest")) static_cast<void>(rt::FileRemove("tarm.exe.manifest"));
  } else if (!rt::FileExists("tarm.exe.manifest")) {
    static_cast<void>(rt::FileCopy("tarmmanifest.xml", "tarm.exe.manifest"));  // not checked yet
  }
}

}  // namespace zorvant

// Installing waiting program updates, and the main program's manifest.
#include <windows.h>

#include "rovalent.h"
#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {
namespace {

// The waiting file copied to the first free name "~zupN.tmp" beside its
// target; empty when it cannot be copied. A file already there is never
// overwritten. Every temporary is renamed away or removed before the next
// file, so the first name is nearly always free: this costs the copy alone,
// where GetTempFileNameA first creates and closes a file of its own (under
// Wine that made the whole installation a third slower than the unsafe way).
std::string CopyToTemporary(const std::string& programFolder, const std::string& waiting) {
  for (int n = 0; n < 100; ++n) {
    const std::string temporary = programFolder + "\\~zup" + std::to_string(n) + ".tmp";
    if (::CopyFileA(waiting.c_str(), temporary.c_str(), TRUE)) return temporary;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // Whatever the copy left there is its own.
    ::DeleteFileA(temporary.c_str());
    ::SetLastError(error);
    return {};
  }
  return {};
}

// Replaces the installed copy with the waiting one so that a failure at any
// point loses neither: the waiting file is copied to a temporary file beside
// its target, which then replaces the installed copy in one step; only then
// is the waiting copy removed. On failure the temporary file goes and both
// copies stay as they were, for the next start to try again.
bool InstallFile(const std::string& programFolder, const std::string& name) {
  const std::string waiting = programFolder + "\\ztUtemp\\" + name;
  const std::string target = programFolder + "\\" + name;
  const std::string temporary = CopyToTemporary(programFolder, waiting);
  if (temporary.empty()) return false;
  if (!::MoveFileExA(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    // The copy took the waiting file's attributes; a read-only one would
    // stay behind.
    ::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temporary.c_str());
    ::SetLastError(error);
    return false;
  }
  static_cast<void>(rt::FileRemove(waiting));  // not checked yet: the update is in place
  return true;
}

}  // namespace

void InstallPendingUpdates(MainLocals& locals) {
  const std::string programFolder = rt::Clip(rt::PathShort());
  rt::Window& window = *locals.window;
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
      WriteDebugText("Update not installed: " + name + ", " + LastErrorText(), 1);
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

// Starting the main program "Tarm.exe" and waiting for its hand-shake.
#include <windows.h>

#include "start_steps.h"
#include "zorvant.h"

namespace zorvant {
namespace {

constexpr std::size_t kCommandLimit = 149;  // a 150-byte zero-terminated buffer
constexpr std::uint32_t kRevealTick = 150;
constexpr double kProgressPerTick = 0.018;

void Reveal(MainLocals& locals) {
  rt::Window& window = *locals.window;
  if (locals.FirstRun == 1) {
    window.SetText(kLoadingPrompt,
                   "Please be patient while the software is configured to run on this "
                   "computer...");
    window.Unhide(kPercentComplete);
  } else {
    window.Unhide(kLoaderImage);
  }
  for (int control : {kLoadingPrompt, kNoticeLine, kWorldwidePrompt, kCloseButton}) {
    window.Unhide(control);
  }
}

// The main program holds "Running_Zorvant" while it runs. The probe only
// opens the mutex: creating it would, for that moment, make a main program
// that starts just then take itself for a second instance.
bool MainProgramRuns() {
  RunningMutexHandle.reset(::OpenMutexA(SYNCHRONIZE, FALSE, "Running_Zorvant"));
  const bool runs = static_cast<bool>(RunningMutexHandle);
  RunningMutexHandle.reset();
  return runs;
}

// One timer tick of the wait: true when the wait ends.
bool ProbeTick(MainLocals& locals) {
  ++locals.TimerTicks;
  if (locals.TimerTicks == kRevealTick) Reveal(locals);
  if (locals.FirstRun == 1) {
    locals.PercentDone += kProgressPerTick;
    locals.window->Display(kPercentComplete);
  }
  if (MainProgramRuns()) return true;

  const std::string file = SettingsFile();
  std::string IniReply = rt::Fixed(rt::IniReadText(kHandshakeSection, "CloseDown", "0", file), 32);
  if (rt::SameText(IniReply, "1")) {
    rt::IniWriteText(kHandshakeSection, "CloseDown", "0", file);
    return true;
  }
  IniReply = rt::Fixed(rt::IniReadText(kHandshakeSection, "Selector", "J", file), 32);
  if (rt::SameText(IniReply, "!")) {
    rt::MessageBoxShow(
        "Zorvant has not been installed on this machine and cannot run at this time.", "", nullptr,
        "", 0);
    return true;
  }
  return false;
}

}  // namespace

bool StartMainProgram(MainLocals& locals) {
  const std::string programFolder = rt::Clip(rt::PathShort());
  if (!rt::FileExists(programFolder + "\\tarm.exe")) {
    rt::MessageBoxShow(
        "Zorvant cannot run at this time because Tarm.exe does not exist in|the folder: " +
            programFolder + ".|" +
            "|Try checking the properties of the icon used to run Zorvant. Make|" +
            "certain the 'Start In' property points to the actual physical location|" +
            "of the Zorvant program files. If the 'Start In' property is correct and|" +
            "this message still appears, the program must be reinstalled from the|" +
            "distribution media.",
        "Error Encountered", IDI_EXCLAMATION, "", 0);
    return false;
  }
  const std::string file = SettingsFile();
  // Values left from an earlier run must not end the new wait.
  rt::IniWriteText(kHandshakeSection, "Selector", "J", file);
  rt::IniWriteText(kHandshakeSection, "CloseDown", "0", file);

  std::string& command = locals.MainProgramCommand;
  command = "Tarm.exe V=Zorvant";
  auto append = [&command](const std::string& part) {
    command = rt::Cut(command + part, kCommandLimit);
  };
  if (const std::string user = rt::CommandLineValue("U"); !rt::IsBlank(user)) append(" U=" + user);
  if (const std::string pass = rt::CommandLineValue("P"); !rt::IsBlank(pass)) append(" P=" + pass);
  if (!rt::CommandLineValue("/C").empty()) append(" /C");

  static_cast<void>(rt::ProgramRun(command, false));  // not checked yet: a failed start is silent
  // Set only when even the launcher's own writes could not create the file.
  if (!rt::FileExists(file)) locals.FirstRun = 1;
  return true;
}

void WaitForMainProgram(MainLocals& locals) {
  rt::CursorSet(IDC_WAIT);
  rt::EventLoopRun(*locals.window, [&locals] {
    if (rt::EventCurrent() != rt::event::Timer) return rt::LoopAction::GoOn;
    return ProbeTick(locals) ? rt::LoopAction::Break : rt::LoopAction::GoOn;
  });
  FinishWait();
}

void FinishWait() {
  rt::CursorRestore();
  // Not checked: the wait runs in the thread's open window.
  static_cast<void>(rt::EventPost(rt::event::CloseWindow));
  static_cast<void>(rt::EventPost(EnsureVisibleEvent));
}

}  // namespace zorvant

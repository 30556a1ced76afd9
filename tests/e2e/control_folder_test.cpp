// The control folder that cannot be entered, and every way through the
// launcher's questions about it, driven as a user answers them.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

constexpr const char* kSection = "Orvande Zorvant";
constexpr const char* kMissing = "Missing Control File";
constexpr const char* kNoControlFile = "No Control File";
constexpr const char* kNotFound = "Control File Not Found";

// One thing the user does. Folders are named by their name in the program
// folder: "share" is the configured control folder, missing at the start;
// "withdat" holds a control file, "nodat" does not.
struct Step {
  enum Kind { Answer, Choose, Cancel } kind;
  const char* box = nullptr;    // Answer: the caption of the box
  const char* names = nullptr;  // Answer: the folder the box names; Choose: where it opens
  const char* press = nullptr;  // Answer: the button; Choose: the folder chosen
  // Answer: before the button is pressed, Escape is tried, and a folder is
  // made or removed.
  bool escapeFirst = false;
  const char* make = nullptr;
  const char* remove = nullptr;
  // Choose: the folder is selected once, so many milliseconds after the
  // dialog shows its opening folder, as a user does; -1: sent until it
  // stays.
  int onceAfterMs = -1;
};

Step AnswerBox(const char* box, const char* names, const char* press) {
  return {.kind = Step::Answer, .box = box, .names = names, .press = press};
}
Step ChooseFolder(const char* folder, const char* opensAt = nullptr) {
  return {.kind = Step::Choose, .names = opensAt, .press = folder};
}
Step ChooseOnce(const char* folder, int afterMs) {
  return {.kind = Step::Choose, .press = folder, .onceAfterMs = afterMs};
}
Step CancelDialog() {
  return {.kind = Step::Cancel};
}
Step WithEscape(Step s) {
  s.escapeFirst = true;
  return s;
}
Step Making(Step s, const char* folder) {
  s.make = folder;
  return s;
}
Step Removing(Step s, const char* folder) {
  s.remove = folder;
  return s;
}

struct DialogCase {
  const char* name;
  bool programControlFile;  // "control.dat" in the program folder
  std::vector<Step> steps;
  bool startGoesOn;  // else the launcher halts
  const char* controlPath;
  const char* tempControlPath;  // "" or "{program}"
};

void PrintTo(const DialogCase& c, std::ostream* out) {
  *out << c.name;
}

using e2e::Lines;

class ControlFolderDialog : public e2e::LauncherTest,
                            public testing::WithParamInterface<DialogCase> {
 protected:
  // Paths with blanks and a long name: the boxes must show the long form.
  ControlFolderDialog() : LauncherTest(LongFolderName{}) {}

  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram(e2e::kPlanRecordAndRun);
    ASSERT_TRUE(::CreateDirectoryA(Folder("withdat").c_str(), nullptr));
    ASSERT_TRUE(driver::WriteFile(Folder("withdat") + "\\control.dat", "control"));
    ASSERT_TRUE(::CreateDirectoryA(Folder("nodat").c_str(), nullptr));
    ASSERT_TRUE(e2e::WriteSetting(kSection, "ControlPath", Folder("share")));
  }

  std::string Program() const { return rt::PathLong(folder_.Path()); }
  std::string Folder(const std::string& name) const { return Program() + "\\" + name; }

  void ExpectBox(HWND box, const Step& step) const {
    const driver::MessageBoxView view = driver::ReadMessageBox(box);
    EXPECT_EQ(view.caption, step.box);
    EXPECT_TRUE(view.icon) << step.box;
    const std::string named = step.names ? Folder(step.names) : "";
    if (std::string(step.box) == kMissing) {
      EXPECT_EQ(view.text,
                Lines("The specified Control Folder (" + named + ") cannot be found. ||" +
                      "If this is a notebook computer that has been disconnected from|" +
                      "its network, you can work off-line by temporarily using the Control|" +
                      "File in your program folder located at " + Program() + ". ||" +
                      "Please select from the following options."));
      EXPECT_EQ(view.buttons, (std::vector<std::string>{"&Work Offline", "&Retry", "&Change Folder",
                                                        "&Close Program"}));
      EXPECT_EQ(view.defaultButton, "&Work Offline");
    } else if (std::string(step.box) == kNoControlFile) {
      EXPECT_EQ(view.text, Lines("No Control File exists in your program folder,|the application "
                                 "cannot be run at this time."));
      EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
      EXPECT_EQ(view.defaultButton, "OK");
    } else {
      EXPECT_EQ(view.text, Lines("No Control File exists in the selected folder located at|" +
                                 named + ".|" + "Do you want to try again?"));
      EXPECT_EQ(view.buttons, (std::vector<std::string>{"&Yes", "&No"}));
      EXPECT_EQ(view.defaultButton, "&No");
    }
  }

  void Do(const Step& step) {
    if (step.kind == Step::Answer) {
      HWND box = driver::WaitForDialog(LauncherId(), step.box);
      ASSERT_TRUE(box) << "no box \"" << step.box << "\"";
      ExpectBox(box, step);
      if (step.escapeFirst) {
        ASSERT_TRUE(driver::PressKey(box, VK_ESCAPE));
        ::Sleep(300);
        ASSERT_TRUE(::IsWindowVisible(box)) << "Escape closed \"" << step.box << "\"";
      }
      if (step.make) {
        ASSERT_TRUE(::CreateDirectoryA(Folder(step.make).c_str(), nullptr));
      }
      if (step.remove) {
        ASSERT_TRUE(driver::RemoveTree(Folder(step.remove)));
      }
      ASSERT_TRUE(driver::AnswerMessageBox(box, step.press)) << step.box << ": " << step.press;
      return;
    }
    HWND dialog = driver::WaitForFolderDialog(LauncherId());
    ASSERT_TRUE(dialog) << "no folder dialog";
    if (step.kind == Step::Cancel) {
      ASSERT_TRUE(driver::CancelFolderDialog(dialog));
      return;
    }
    if (step.names) {
      EXPECT_TRUE(
          driver::WaitUntil([&] { return driver::SelectedFolderName(dialog) == step.names; }, 2000))
          << "the folder dialog opened at \"" << driver::SelectedFolderName(dialog) << "\"";
    }
    if (step.onceAfterMs >= 0) {
      // It opens at the program folder, the current folder.
      const std::string program = Program().substr(Program().rfind('\\') + 1);
      ASSERT_TRUE(
          driver::WaitUntil([&] { return driver::SelectedFolderName(dialog) == program; }, 2000))
          << "the folder dialog opened at \"" << driver::SelectedFolderName(dialog) << "\"";
      ::Sleep(static_cast<DWORD>(step.onceAfterMs));
      ASSERT_TRUE(driver::SelectFolderOnce(dialog, Folder(step.press)));
      // Longer than the dialog's own start-up could take to move it.
      ::Sleep(600);
      EXPECT_EQ(driver::SelectedFolderName(dialog), step.press) << "the choice was undone";
      ASSERT_TRUE(driver::ConfirmFolderDialog(dialog));
      return;
    }
    if (!driver::ChooseFolder(dialog, Folder(step.press))) {
      driver::SaveWindowShot(dialog, driver::ExecutableFolder() + "\\e2e-folder-dialog.png");
      FAIL() << "cannot choose " << step.press << " in the folder dialog, which shows \""
             << driver::SelectedFolderName(dialog) << "\" selected";
    }
  }
};

TEST_P(ControlFolderDialog, EndsAsTheUserChose) {
  const DialogCase& c = GetParam();
  if (c.programControlFile) {
    ASSERT_TRUE(driver::WriteFile(folder_.File("control.dat"), "control"));
  }
  ASSERT_TRUE(Launch());
  for (const Step& step : c.steps) {
    ASSERT_NO_FATAL_FAILURE(Do(step));
  }

  const std::optional<DWORD> code = WaitForExit();
  ASSERT_TRUE(code) << "the launcher did not end after the last answer";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(driver::FileExists(RecordFile()), c.startGoesOn) << "the main program was started";
  // The halt ends the process before the bookkeeping of ".\zorvant.INI".
  EXPECT_EQ(driver::FileExists(folder_.File("zorvant.INI")), c.startGoesOn);
  if (!c.startGoesOn) {
    // The halt comes before the updates, the manifest and the hand-shake.
    EXPECT_EQ(e2e::Setting(kSection, "XPManifest"), std::nullopt);
    EXPECT_EQ(e2e::Setting("Accounting Program", "Selector"), std::nullopt);
  }
  EXPECT_EQ(e2e::Setting(kSection, "ControlPath"), Folder(c.controlPath));
  EXPECT_EQ(e2e::Setting(kSection, "TempControlPath"),
            std::string(c.tempControlPath) == "{program}" ? Program() : c.tempControlPath);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ControlFolderDialog,
    testing::Values(
        DialogCase{"WorkOfflineWithAControlFile",
                   true,
                   {AnswerBox(kMissing, "share", "&Work Offline")},
                   true,
                   "share",
                   "{program}"},
        DialogCase{"WorkOfflineWithoutAControlFile",
                   false,
                   {AnswerBox(kMissing, "share", "&Work Offline"),
                    WithEscape(AnswerBox(kNoControlFile, nullptr, "OK"))},
                   false,
                   "share",
                   ""},
        DialogCase{"RetryAfterTheFolderAppeared",
                   false,
                   {AnswerBox(kMissing, "share", "&Retry"),
                    Making(AnswerBox(kMissing, "share", "&Retry"), "share")},
                   true,
                   "share",
                   ""},
        // The program folder's own control file plays no part.
        DialogCase{"ChangeFolderToOneWithAControlFile",
                   true,
                   {AnswerBox(kMissing, "share", "&Change Folder"), ChooseFolder("withdat")},
                   true,
                   "withdat",
                   ""},
        // A choice made at once is never undone by the dialog's help with
        // its opening folder, nor one made later.
        DialogCase{"ChangeFolderChosenAtOnce",
                   true,
                   {AnswerBox(kMissing, "share", "&Change Folder"), ChooseOnce("withdat", 0)},
                   true,
                   "withdat",
                   ""},
        DialogCase{"ChangeFolderChosenAfterASecond",
                   true,
                   {AnswerBox(kMissing, "share", "&Change Folder"), ChooseOnce("withdat", 1000)},
                   true,
                   "withdat",
                   ""},
        DialogCase{"ChangeFolderToOneWithoutAControlFileThenNo",
                   false,
                   {AnswerBox(kMissing, "share", "&Change Folder"), ChooseFolder("nodat"),
                    WithEscape(AnswerBox(kNotFound, "nodat", "&No"))},
                   false,
                   "share",
                   ""},
        // Cancel brings the dialog back; "&Yes" opens it at the folder
        // chosen last.
        DialogCase{
            "ChangeFolderYesAgain",
            false,
            {AnswerBox(kMissing, "share", "&Change Folder"), CancelDialog(), ChooseFolder("nodat"),
             AnswerBox(kNotFound, "nodat", "&Yes"), ChooseFolder("withdat", "nodat")},
            true,
            "withdat",
            ""},
        DialogCase{"CloseProgram",
                   true,
                   {WithEscape(AnswerBox(kMissing, "share", "&Close Program"))},
                   false,
                   "share",
                   ""},
        // After "&No" the chosen folder is asked about when it is gone, and
        // every way out halts, even working offline (which is written first).
        DialogCase{"NoThenTheChosenFolderIsGone",
                   true,
                   {AnswerBox(kMissing, "share", "&Change Folder"), ChooseFolder("nodat"),
                    Removing(AnswerBox(kNotFound, "nodat", "&No"), "nodat"),
                    AnswerBox(kMissing, "nodat", "&Work Offline")},
                   false,
                   "share",
                   "{program}"}),
    [](const testing::TestParamInfo<DialogCase>& info) { return info.param.name; });

}  // namespace

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "runtime.h"
#include "test_support.h"

namespace {

using testsupport::AnswerBox;
using testsupport::WhenBoxShows;

// The folder dialog is found by its folder tree.
template <typename Drive>
auto WhenFolderDialogShows(Drive drive) {
  return testsupport::WhenShown([] { return driver::WaitForFolderDialog(::GetCurrentProcessId()); },
                                drive);
}

bool ClosesWithin(HWND box, DWORD timeoutMs) {
  return driver::WaitUntil([box] { return !::IsWindow(box) || !::IsWindowVisible(box); },
                           timeoutMs);
}

TEST(MessageBoxShow, ShowsLinesAndButtonsAndAnswersWithTheButtonNumber) {
  auto shown = AnswerBox("Missing Control File", "&Change Folder");
  const int answer =
      rt::MessageBoxShow("first line ||third line", "Missing Control File", IDI_QUESTION,
                         "&Work Offline|&Retry|&Change Folder|&Close Program", 0);
  const driver::MessageBoxView view = shown.get();
  ASSERT_EQ(view.caption, "Missing Control File") << "no box";
  EXPECT_EQ(answer, 3);
  EXPECT_EQ(view.buttons, (std::vector<std::string>{"&Work Offline", "&Retry", "&Change Folder",
                                                    "&Close Program"}));
  EXPECT_EQ(view.text, "first line \n\nthird line");
  EXPECT_TRUE(view.icon);
}

TEST(MessageBoxShow, EnterPressesTheDefaultButton) {
  struct Case {
    const char* buttons;
    int defaultButton;
    const char* expectedDefault;
    int expectedAnswer;
  } cases[] = {
      {"&Yes|&No", 2, "&No", 2},
      {"&Yes|&No", 0, "&Yes", 1},  // outside the list: the first button
      {"&Yes|&No", 7, "&Yes", 1},
      {"", 0, "OK", 1},  // no list: the single button OK
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.buttons << " " << c.defaultButton);
    struct Seen {
      std::string defaultCaption;
      bool closedByEnter = false;
    };
    auto driven = WhenBoxShows("Default test", [](HWND box) {
      Seen seen{driver::ReadMessageBox(box).defaultButton};
      driver::PressKey(box, VK_RETURN);
      seen.closedByEnter = ClosesWithin(box, 500);
      if (!seen.closedByEnter) driver::AnswerMessageBox(box, seen.defaultCaption);
      return seen;
    });
    const int answer =
        rt::MessageBoxShow("text", "Default test", nullptr, c.buttons, c.defaultButton);
    const Seen seen = driven.get();
    EXPECT_EQ(seen.defaultCaption, c.expectedDefault);
    EXPECT_TRUE(seen.closedByEnter);
    EXPECT_EQ(answer, c.expectedAnswer);
  }
}

TEST(MessageBoxShow, EscapeAndTheCloseBoxDoNothingWithoutACancelButton) {
  auto stayedOpen = WhenBoxShows("No way out", [](HWND box) {
    driver::PressKey(box, VK_ESCAPE);
    driver::Send(box, WM_SYSCOMMAND, SC_CLOSE);
    const bool stayed = !ClosesWithin(box, 300);
    driver::AnswerMessageBox(box, "OK");
    return stayed;
  });
  EXPECT_EQ(rt::MessageBoxShow("No Control File exists", "No way out", IDI_EXCLAMATION), 1);
  EXPECT_TRUE(stayedOpen.get());

  auto escaped =
      WhenBoxShows("With cancel", [](HWND box) { return driver::PressKey(box, VK_ESCAPE); });
  EXPECT_EQ(rt::MessageBoxShow("text", "With cancel", nullptr, "&Save|&Cancel"), 2);
  EXPECT_TRUE(escaped.get());
}

TEST(MessageBoxShow, CopyableTextIsAReadOnlyField) {
  auto field = WhenBoxShows("ds_TestStack", [](HWND box) {
    driver::WindowInfo edit;
    for (const driver::WindowInfo& child : driver::ChildWindows(box)) {
      if (child.className == "Edit") edit = child;
    }
    driver::AnswerMessageBox(box, "OK");
    return edit;
  });
  rt::MessageBoxShow("EBX changed|from 1 to 2", "ds_TestStack", IDI_EXCLAMATION, "", 0,
                     rt::kMessageCopyable);
  const driver::WindowInfo edit = field.get();
  EXPECT_EQ(edit.text, "EBX changed\r\nfrom 1 to 2");
  EXPECT_TRUE(edit.style & ES_READONLY);
  EXPECT_TRUE(edit.style & ES_MULTILINE);
}

// Shows the folder's path in the dialog's status line.
bool StatusShows(HWND dialog, const std::string& folder) {
  for (const driver::WindowInfo& child : driver::ChildWindows(dialog)) {
    if (child.className == "Static" && rt::EqualNoCase(child.text, folder)) return true;
  }
  return false;
}

// Moves the last access of a folder an hour back, as reading it a while later
// would move it on.
void MoveLastAccess(const std::string& folder) {
  const rt::UniqueFileHandle dir(::CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
  t.QuadPart -= 3600ULL * 10'000'000ULL;
  const FILETIME before{t.LowPart, t.HighPart};
  ASSERT_TRUE(dir && ::SetFileTime(dir.get(), nullptr, &before, nullptr)) << ::GetLastError();
}

TEST(FolderDialog, ChoosesAFolderAndKeepsTheCurrentFolder) {
  testsupport::TempFolder folder;
  const std::string chosen = folder.File("chosen");
  ::CreateDirectoryA(chosen.c_str(), nullptr);
  const std::string before = rt::PathLong();
  std::string variable = rt::Fixed("C:\\no\\such\\folder", 250);
  auto driven = WhenFolderDialogShows([&](HWND dialog) {
    // A dialog that could not be driven is not left open for the test to wait on.
    const bool done = driver::ChooseFolder(dialog, chosen);
    if (!done) driver::CancelFolderDialog(dialog);
    return done;
  });
  const bool ok = rt::FileDialogShow("Select a New Control Folder", "*.*", variable,
                                     rt::kFileDialogFolder | rt::kFileDialogKeepDir);
  EXPECT_TRUE(driven.get());
  EXPECT_TRUE(ok);
  EXPECT_TRUE(rt::EqualNoCase(variable, chosen)) << variable;
  EXPECT_EQ(rt::PathLong(), before);
}

TEST(FolderDialog, OpensAtTheGivenFolderWithItsPathInTheStatusLine) {
  testsupport::TempFolder folder;
  std::string variable = rt::Fixed(folder.Path(), 250);
  auto statusShown = WhenFolderDialogShows([&](HWND dialog) {
    const auto showsFolder = [&] { return StatusShows(dialog, folder.Path()); };
    // Shown, and kept through the dialog's own start-up.
    const bool shown = driver::WaitUntil(showsFolder, 3000) &&
                       !driver::WaitUntil([&] { return !showsFolder(); }, 300);
    driver::PressButton(driver::FindChild(dialog, IDOK));
    return shown;
  });
  EXPECT_TRUE(rt::FileDialogShow("Where?", "*.*", variable, rt::kFileDialogFolder));
  EXPECT_TRUE(statusShown.get()) << "status line does not show " << folder.Path();
  EXPECT_TRUE(rt::EqualNoCase(variable, folder.Path())) << variable;
}

// A dialog whose start-up moves the selection to the tree's root gets its
// opening folder back: at once, as a start-up does it, and after the folder
// was read since the dialog listed it.
TEST(FolderDialog, TheOpeningFolderComesBackWhenTheDialogMovesToItsRoot) {
  for (const bool readSince : {false, true}) {
    SCOPED_TRACE(readSince ? "read since" : "at once");
    testsupport::TempFolder folder;
    std::string variable = rt::Fixed(folder.Path(), 250);
    std::thread driver([&] {
      HWND dialog = nullptr;
      driver::WaitUntil(
          [&] {
            return (dialog = driver::WaitForFolderDialog(::GetCurrentProcessId(), 0)) != nullptr;
          },
          driver::kDefaultTimeoutMs, 1);
      ASSERT_TRUE(dialog) << "no folder dialog";
      if (readSince) {
        EXPECT_TRUE(driver::WaitUntil([&] { return StatusShows(dialog, folder.Path()); }, 3000));
        MoveLastAccess(folder.Path());
      }
      if (HWND tree = ::FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr)) {
        const LPARAM root = ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
        ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
      } else {
        ADD_FAILURE() << "no folder tree";
      }
      ::Sleep(700);
      ::SendMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_TRUE(rt::FileDialogShow("Back", "*.*", variable, rt::kFileDialogFolder));
    driver.join();
    EXPECT_TRUE(rt::EqualNoCase(variable, folder.Path())) << variable;
  }
}

TEST(FolderDialog, ATypedNameThatIsNotAFolderKeepsTheDialogOpen) {
  struct Seen {
    bool hasEditBox = false;
    bool stillOpen = false;
  };
  auto driven = WhenFolderDialogShows([](HWND dialog) {
    Seen seen;
    for (const driver::WindowInfo& child : driver::ChildWindows(dialog)) {
      if (child.className != "Edit") continue;
      seen.hasEditBox = true;
      driver::SetText(child.hwnd, "C:\\no such folder\\at all");
    }
    if (seen.hasEditBox) {
      driver::PressButton(driver::FindChild(dialog, IDOK));
      seen.stillOpen = !ClosesWithin(dialog, 300);
      // A complaint box, if the dialog showed one.
      for (HWND box = ::GetLastActivePopup(dialog); box && box != dialog;
           box = ::GetLastActivePopup(dialog)) {
        driver::Send(box, WM_CLOSE);
      }
    }
    driver::CancelFolderDialog(dialog);
    return seen;
  });
  std::string variable;
  EXPECT_FALSE(rt::FileDialogShow("Type it", "*.*", variable, rt::kFileDialogFolder));
  const Seen seen = driven.get();
  if (!seen.hasEditBox) GTEST_SKIP() << "this system's folder dialog shows no edit box";
  EXPECT_TRUE(seen.stillOpen);
  EXPECT_EQ(variable, "");
}

TEST(FolderDialog, CancelKeepsTheVariable) {
  std::string variable = "C:\\windows";
  auto cancelled =
      WhenFolderDialogShows([](HWND dialog) { return driver::CancelFolderDialog(dialog); });
  EXPECT_FALSE(rt::FileDialogShow("Pick one", "*.*", variable, rt::kFileDialogFolder));
  EXPECT_TRUE(cancelled.get());
  EXPECT_EQ(variable, "C:\\windows");
}

}  // namespace

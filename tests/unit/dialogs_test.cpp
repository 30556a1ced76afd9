#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <shlobj.h>

#include "driver.h"
#include "runtime.h"
#include "test_support.h"

namespace {

// Waits on another thread for a dialog of this process with the caption,
// then runs the action on it.
class DialogDriver {
 public:
  DialogDriver(std::string caption, std::function<void(HWND)> action)
      : thread_([caption = std::move(caption), action = std::move(action), this] {
          for (int i = 0; i < 500 && !found_; ++i) {
            HWND w = ::FindWindowA("#32770", caption.c_str());
            if (w && ::IsWindowVisible(w)) {
              found_ = true;
              ::Sleep(50);
              action(w);
              return;
            }
            ::Sleep(10);
          }
        }) {}
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  ~DialogDriver() { thread_.join(); }
  bool Found() const { return found_; }

 private:
  std::atomic<bool> found_{false};
  std::thread thread_;
};

std::string TextOf(HWND w) {
  char buffer[4096] = "";
  ::SendMessageA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

struct Child {
  HWND hwnd;
  std::string cls, text;
  LONG style;
};

BOOL CALLBACK AddChild(HWND w, LPARAM lp) {
  char cls[64];
  ::GetClassNameA(w, cls, sizeof cls);
  reinterpret_cast<std::vector<Child>*>(lp)->push_back(
      {w, cls, TextOf(w), ::GetWindowLongA(w, GWL_STYLE)});
  return TRUE;
}

std::vector<Child> Children(HWND parent) {
  std::vector<Child> out;
  ::EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND ButtonCaptioned(HWND dialog, const std::string& caption) {
  for (const Child& c : Children(dialog)) {
    if (c.cls == "Button" && c.text == caption) return c.hwnd;
  }
  return nullptr;
}

void Press(HWND dialog, const std::string& caption) {
  ::SendMessageA(ButtonCaptioned(dialog, caption), BM_CLICK, 0, 0);
}

void PressKey(HWND target, WPARAM key) {
  ::PostMessageA(target, WM_KEYDOWN, key, 0);
  ::PostMessageA(target, WM_KEYUP, key, 0xC0000000);
  ::Sleep(100);
}

TEST(MessageBoxShow, ShowsLinesAndButtonsAndAnswersWithTheButtonNumber) {
  std::vector<Child> seen;
  int answer = 0;
  {
    DialogDriver driver("Missing Control File", [&](HWND box) {
      seen = Children(box);
      Press(box, "&Change Folder");
    });
    answer = rt::MessageBoxShow("first line ||third line", "Missing Control File", IDI_QUESTION,
                                "&Work Offline|&Retry|&Change Folder|&Close Program", 0);
    EXPECT_TRUE(driver.Found());
  }
  EXPECT_EQ(answer, 3);
  std::vector<std::string> buttons;
  std::string text;
  bool icon = false;
  for (const Child& c : seen) {
    if (c.cls == "Button") buttons.push_back(c.text);
    if (c.cls == "Static" && (c.style & SS_TYPEMASK) == SS_ICON) icon = true;
    if (c.cls == "Static" && (c.style & SS_TYPEMASK) != SS_ICON) text = c.text;
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"&Work Offline", "&Retry", "&Change Folder",
                                               "&Close Program"}));
  EXPECT_EQ(text, "first line \r\n\r\nthird line");
  EXPECT_TRUE(icon);
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
    std::string defaultCaption;
    bool closedByEnter = false;
    int answer = 0;
    {
      DialogDriver driver("Default test", [&](HWND box) {
        for (const Child& child : Children(box)) {
          if (child.cls == "Button" && (child.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            defaultCaption = child.text;
          }
        }
        PressKey(ButtonCaptioned(box, defaultCaption), VK_RETURN);
        for (int i = 0; i < 50 && ::IsWindow(box); ++i) ::Sleep(10);
        closedByEnter = !::IsWindow(box);
        if (!closedByEnter) Press(box, defaultCaption);
      });
      answer = rt::MessageBoxShow("text", "Default test", nullptr, c.buttons, c.defaultButton);
    }
    EXPECT_EQ(defaultCaption, c.expectedDefault) << c.buttons << " " << c.defaultButton;
    EXPECT_TRUE(closedByEnter) << c.buttons << " " << c.defaultButton;
    EXPECT_EQ(answer, c.expectedAnswer) << c.buttons << " " << c.defaultButton;
  }
}

TEST(MessageBoxShow, EscapeAndTheCloseBoxDoNothingWithoutACancelButton) {
  bool stillOpen = false;
  int answer = 0;
  {
    DialogDriver driver("No way out", [&](HWND box) {
      PressKey(ButtonCaptioned(box, "OK"), VK_ESCAPE);
      ::SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
      ::Sleep(100);
      stillOpen = ::IsWindow(box) && ::IsWindowVisible(box);
      Press(box, "OK");
    });
    answer = rt::MessageBoxShow("No Control File exists", "No way out", IDI_EXCLAMATION);
  }
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(answer, 1);

  {
    DialogDriver driver("With cancel", [&](HWND box) { PressKey(box, VK_ESCAPE); });
    answer = rt::MessageBoxShow("text", "With cancel", nullptr, "&Save|&Cancel");
  }
  EXPECT_EQ(answer, 2);
}

TEST(MessageBoxShow, CopyableTextIsAReadOnlyField) {
  std::string fieldText;
  LONG fieldStyle = 0;
  {
    DialogDriver driver("ds_TestStack", [&](HWND box) {
      for (const Child& c : Children(box)) {
        if (c.cls == "Edit") {
          fieldText = c.text;
          fieldStyle = c.style;
        }
      }
      Press(box, "OK");
    });
    rt::MessageBoxShow("EBX changed|from 1 to 2", "ds_TestStack", IDI_EXCLAMATION, "", 0,
                       rt::kMessageCopyable);
  }
  EXPECT_EQ(fieldText, "EBX changed\r\nfrom 1 to 2");
  EXPECT_TRUE(fieldStyle & ES_READONLY);
  EXPECT_TRUE(fieldStyle & ES_MULTILINE);
}

// The folder dialog is found by its heading text, a static child.
struct FolderSearch {
  const std::string* heading;
  HWND found = nullptr;
};

BOOL CALLBACK CheckFolderDialog(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<FolderSearch*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  char cls[32];
  ::GetClassNameA(w, cls, sizeof cls);
  if (pid != ::GetCurrentProcessId() || std::string(cls) != "#32770" || !::IsWindowVisible(w)) {
    return TRUE;
  }
  for (const Child& c : Children(w)) {
    if (c.text == *s->heading) {
      s->found = w;
      return FALSE;
    }
  }
  return TRUE;
}

HWND FindFolderDialog(const std::string& heading) {
  FolderSearch search{&heading};
  ::EnumWindows(CheckFolderDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void WithFolderDialog(const std::string& heading, const std::function<void(HWND)>& action) {
  for (int i = 0; i < 500; ++i) {
    if (HWND w = FindFolderDialog(heading)) {
      ::Sleep(200);  // let the dialog finish its own start first
      action(w);
      return;
    }
    ::Sleep(10);
  }
  ADD_FAILURE() << "no folder dialog";
}

TEST(FolderDialog, ChoosesAFolderAndKeepsTheCurrentFolder) {
  testsupport::TempFolder folder;
  const std::string chosen = folder.File("chosen");
  ::CreateDirectoryA(chosen.c_str(), nullptr);
  const std::string before = rt::PathLong();
  std::string variable = rt::Fixed("C:\\no\\such\\folder", 250);
  bool ok = false;
  std::thread driver([&] {
    // The test driver's way: select until the tree keeps it, then OK.
    WithFolderDialog("Select a New Control Folder",
                     [&](HWND dialog) { EXPECT_TRUE(driver::ChooseFolder(dialog, chosen)); });
  });
  ok = rt::FileDialogShow("Select a New Control Folder", "*.*", variable,
                          rt::kFileDialogFolder | rt::kFileDialogKeepDir);
  driver.join();
  EXPECT_TRUE(ok);
  EXPECT_TRUE(rt::EqualNoCase(variable, chosen)) << variable;
  EXPECT_EQ(rt::PathLong(), before);
}

std::vector<std::string> StaticTexts(HWND dialog) {
  std::vector<std::string> texts;
  for (const Child& c : Children(dialog)) {
    if (c.cls == "Static") texts.push_back(c.text);
  }
  return texts;
}

TEST(FolderDialog, OpensAtTheGivenFolderWithItsPathInTheStatusLine) {
  testsupport::TempFolder folder;
  std::string variable = rt::Fixed(folder.Path(), 250);
  std::vector<std::string> statics;
  std::thread driver([&] {
    WithFolderDialog("Where?", [&](HWND dialog) {
      ::Sleep(300);
      statics = StaticTexts(dialog);
      ::SendMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
  });
  EXPECT_TRUE(rt::FileDialogShow("Where?", "*.*", variable, rt::kFileDialogFolder));
  driver.join();
  EXPECT_TRUE(rt::EqualNoCase(variable, folder.Path())) << variable;
  bool shown = false;
  for (const std::string& t : statics) shown = shown || rt::EqualNoCase(t, folder.Path());
  EXPECT_TRUE(shown) << "status line does not show " << folder.Path();
}

// A dialog whose start-up moves the selection to the tree's root gets its
// opening folder back.
TEST(FolderDialog, TheOpeningFolderComesBackWhenTheDialogMovesToItsRoot) {
  testsupport::TempFolder folder;
  std::string variable = rt::Fixed(folder.Path(), 250);
  std::thread driver([&] {
    // As its start-up does it: at once.
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && !dialog; ++i, ::Sleep(5)) dialog = FindFolderDialog("Back");
    ASSERT_TRUE(dialog) << "no folder dialog";
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

TEST(FolderDialog, ATypedNameThatIsNotAFolderKeepsTheDialogOpen) {
  std::string variable;
  bool stillOpen = false;
  bool hasEditBox = false;
  std::thread driver([&] {
    WithFolderDialog("Type it", [&](HWND dialog) {
      for (const Child& c : Children(dialog)) {
        if (c.cls != "Edit") continue;
        hasEditBox = true;
        ::SetWindowTextA(c.hwnd, "C:\\no such folder\\at all");
      }
      if (!hasEditBox) {
        ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return;
      }
      ::SendMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      ::Sleep(300);
      stillOpen = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
      for (HWND box = ::GetLastActivePopup(dialog); box && box != dialog;
           box = ::GetLastActivePopup(dialog)) {
        ::SendMessageA(box, WM_CLOSE, 0, 0);  // a complaint box, if the dialog showed one
        ::Sleep(100);
      }
      ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });
  });
  EXPECT_FALSE(rt::FileDialogShow("Type it", "*.*", variable, rt::kFileDialogFolder));
  driver.join();
  if (!hasEditBox) GTEST_SKIP() << "this system's folder dialog shows no edit box";
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(variable, "");
}

TEST(FolderDialog, CancelKeepsTheVariable) {
  std::string variable = "C:\\windows";
  std::thread driver([&] {
    WithFolderDialog("Pick one", [&](HWND dialog) {
      ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });
  });
  EXPECT_FALSE(rt::FileDialogShow("Pick one", "*.*", variable, rt::kFileDialogFolder));
  driver.join();
  EXPECT_EQ(variable, "C:\\windows");
}

}  // namespace

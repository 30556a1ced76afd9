// The dialog side of the driver against the system's own dialogs, shown by a
// thread of this process: the launcher's boxes and its folder dialog will be
// driven the same way.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <future>
#include <thread>

#include "e2e_support.h"

namespace {

// Runs `show` on a thread of its own, as a program's main thread would show
// a modal dialog; the test thread drives it meanwhile.
template <typename Show>
auto OnDialogThread(Show show) {
  return std::async(std::launch::async, [show] {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto result = show();
    ::CoUninitialize();
    return result;
  });
}

TEST(Driver, ReadsAMessageBoxAndPressesItsButtonByCaption) {
  auto answer = OnDialogThread([] {
    return ::MessageBoxA(nullptr, "The first line\nthe second line", "Missing Control File",
                         MB_YESNOCANCEL | MB_ICONQUESTION);
  });
  HWND box = driver::WaitForDialog(::GetCurrentProcessId(), "Missing Control File");
  ASSERT_TRUE(box);
  const driver::MessageBoxView view = driver::ReadMessageBox(box);
  EXPECT_EQ(view.caption, "Missing Control File");
  EXPECT_EQ(view.text, "The first line\nthe second line");
  EXPECT_EQ(view.buttons, (std::vector<std::string>{"&Yes", "&No", "Cancel"}));
  EXPECT_TRUE(view.icon);

  EXPECT_FALSE(driver::AnswerMessageBox(box, "Retry", 200)) << "a button that is not there";
  EXPECT_TRUE(driver::AnswerMessageBox(box, "No"));
  EXPECT_EQ(answer.get(), IDNO);
}

class FolderDialog : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    base_ = std::string(temp) + "zv-folders";
    driver::RemoveTree(base_);
    ASSERT_TRUE(::CreateDirectoryA(base_.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((base_ + "\\alpha").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((base_ + "\\alpha\\beta").c_str(), nullptr));
  }
  void TearDown() override { driver::RemoveTree(base_); }

  // The folder chosen in the system's folder dialog, empty when cancelled.
  static std::future<std::string> Browse() {
    return OnDialogThread([] {
      BROWSEINFOA info{};
      info.lpszTitle = "Choose a folder";
      info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_STATUSTEXT;
      LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info);
      char path[MAX_PATH] = {};
      if (chosen) {
        ::SHGetPathFromIDListA(chosen, path);
        ::CoTaskMemFree(chosen);
      }
      return std::string(path);
    });
  }

  std::string base_;
};

TEST_F(FolderDialog, ChoosesAFolderDeepInTheTree) {
  auto chosen = Browse();
  HWND dialog = driver::WaitForFolderDialog(::GetCurrentProcessId());
  ASSERT_TRUE(dialog);
  // Sent at once, while the dialog may still be filling its tree.
  ASSERT_TRUE(driver::ChooseFolder(dialog, base_ + "\\alpha\\beta"));
  EXPECT_EQ(chosen.get(), base_ + "\\alpha\\beta");
}

TEST_F(FolderDialog, SelectsOneFolderAfterAnother) {
  auto chosen = Browse();
  HWND dialog = driver::WaitForFolderDialog(::GetCurrentProcessId());
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(driver::SelectFolder(dialog, base_ + "\\alpha\\beta"));
  EXPECT_EQ(driver::SelectedFolderName(dialog), "beta");
  ASSERT_TRUE(driver::ChooseFolder(dialog, base_ + "\\alpha"));
  EXPECT_EQ(chosen.get(), base_ + "\\alpha");
}

}  // namespace

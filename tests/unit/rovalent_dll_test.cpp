// Looking procedures up at run time with ds_LoadDLLProc.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"
#include "file_tools.h"
#include "rovalent_internal.h"
#include "test_support.h"

namespace {

// DLLs that the test program does not load by itself, so that loading and
// freeing them shows.
constexpr char kFoundDll[] = "msimg32.dll";   // has GradientFill and AlphaBlend
constexpr char kOtherDll[] = "imagehlp.dll";  // lacks NoSuchProcedure
constexpr char kMissingDll[] = "rv_no_such_library.dll";

HMODULE const kUntouched = reinterpret_cast<HMODULE>(0x1234);

// A FreeLibrary that frees the DLL but answers as if it had failed.
BOOL WINAPI FreeLibraryThatFails(HMODULE module) {
  ::FreeLibrary(module);
  ::SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

TEST(LoadDLLProc, FindsAProcedureOnceAndKeepsItsDllLoaded) {
  ASSERT_EQ(::GetModuleHandleA(kFoundDll), nullptr) << "the test needs a DLL not yet loaded";
  ProcVariable gradientFill{0};
  HMODULE module = nullptr;
  EXPECT_EQ(ds_LoadDLLProc("msimg32", "GradientFill", gradientFill, &module), 0);
  const HMODULE loaded = ::GetModuleHandleA(kFoundDll);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(module, loaded);
  EXPECT_EQ(gradientFill.load(),
            reinterpret_cast<std::intptr_t>(::GetProcAddress(loaded, "GradientFill")));
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_LoadDLLProc");

  // A variable that holds an address is taken as it is: no lookup is made,
  // even for names that would fail.
  const std::int32_t address = gradientFill.load();
  ClearRovalentError("other");
  HMODULE second = kUntouched;
  EXPECT_EQ(ds_LoadDLLProc(kMissingDll, "Nothing", gradientFill, &second), 0);
  EXPECT_EQ(gradientFill.load(), address);
  EXPECT_EQ(second, kUntouched);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_LoadDLLProc");

  // Trailing blanks are no part of the names.
  ProcVariable alphaBlend{0};
  EXPECT_EQ(ds_LoadDLLProc("msimg32    ", "AlphaBlend   ", alphaBlend), 0);
  EXPECT_EQ(alphaBlend.load(),
            reinterpret_cast<std::intptr_t>(::GetProcAddress(loaded, "AlphaBlend")));
}

TEST(LoadDLLProc, FailedLookupsAreFinalAndSilentWithoutDebug) {
  const struct {
    const char* dll;
    const char* procedure;
  } cases[] = {
      {kMissingDll, "Anything"},
      {kOtherDll, "NoSuchProcedure"},
  };
  ASSERT_EQ(::GetModuleHandleA(kOtherDll), nullptr) << "the test needs a DLL not yet loaded";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dll);
    ProcVariable procedure{0};
    HMODULE module = kUntouched;
    EXPECT_EQ(ds_LoadDLLProc(c.dll, c.procedure, procedure, &module), 1);
    EXPECT_EQ(procedure.load(), kProcLookupFailed);
    EXPECT_EQ(module, kUntouched);
    EXPECT_EQ(RovalentErrorCode(), 0);
    EXPECT_TRUE(rt::IsBlank(RovalentErrorText()));
    // The DLL that lacked the procedure was freed again.
    EXPECT_EQ(::GetModuleHandleA(kOtherDll), nullptr);

    // Not tried again, even with names that exist.
    EXPECT_EQ(ds_LoadDLLProc("kernel32", "GetTickCount", procedure, &module), 1);
    EXPECT_EQ(procedure.load(), kProcLookupFailed);
    EXPECT_EQ(module, kUntouched);
  }
}

TEST(LoadDLLProc, DebugRecordsEachFailureWithTheSystemsText) {
  testsupport::CommandLineScope line("/debug");
  const struct {
    const char* dll;
    const char* procedure;
    std::string detail;
  } cases[] = {
      {"rv_no_such_library  ", "Anything",
       "ds_LoadDLLProc error, LoadLibrary failed DLL=rv_no_such_library " +
           SystemErrorText(ERROR_MOD_NOT_FOUND)},
      {"imagehlp ", "NoSuchProcedure  ",
       "ds_LoadDLLProc error, GetProcAddress failed Proc=NoSuchProcedure DLL=imagehlp " +
           SystemErrorText(ERROR_PROC_NOT_FOUND)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dll);
    ProcVariable procedure{0};
    EXPECT_EQ(ds_LoadDLLProc(c.dll, c.procedure, procedure), 1);
    EXPECT_EQ(procedure.load(), kProcLookupFailed);
    EXPECT_EQ(RovalentErrorCode(), rverr::kLoadDLLProc);
    EXPECT_EQ(rt::Clip(RovalentErrorText()), c.detail);
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_LoadDLLProc");
  }
}

TEST(LoadDLLProc, AFailedFreeReplacesTheMissingProcedureText) {
  testsupport::SeamScope seam(rvseam::freeLibrary, FreeLibraryThatFails);
  {
    testsupport::CommandLineScope line("/debug");
    ProcVariable procedure{0};
    EXPECT_EQ(ds_LoadDLLProc(kOtherDll, "NoSuchProcedure", procedure), 1);
    EXPECT_EQ(procedure.load(), kProcLookupFailed);
    EXPECT_EQ(RovalentErrorCode(), rverr::kLoadDLLProc);
    EXPECT_EQ(rt::Clip(RovalentErrorText()),
              std::string("ds_LoadDLLProc error, FreeLibrary failed DLL=") + kOtherDll + " " +
                  SystemErrorText(ERROR_INVALID_HANDLE));
  }
  // Without the switch the same failure leaves no trace.
  ProcVariable procedure{0};
  EXPECT_EQ(ds_LoadDLLProc(kOtherDll, "NoSuchProcedure", procedure), 1);
  EXPECT_EQ(procedure.load(), kProcLookupFailed);
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_TRUE(rt::IsBlank(RovalentErrorText()));
}

// A copy of this test program that Wine lets load its own copy of one
// system DLL from disk before Wine's built-in one, for the length of a
// scope. Without it Wine takes its built-in DLL whatever the search order.
class NativeFirst {
 public:
  NativeFirst(const std::string& program, const std::string& dll)
      : key_("Software\\Wine\\AppDefaults\\" + program) {
    HKEY overrides = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + "\\DllOverrides").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &overrides, nullptr) != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot write the DLL overrides of " << program;
      return;
    }
    constexpr char kNativeFirst[] = "native,builtin";
    ::RegSetValueExA(overrides, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                     sizeof kNativeFirst);
    ::RegCloseKey(overrides);
  }
  NativeFirst(const NativeFirst&) = delete;
  NativeFirst& operator=(const NativeFirst&) = delete;
  ~NativeFirst() { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

 private:
  std::string key_;
};

// The two programs of the next test, run in a copy of this one: a program
// of the library's that alerts the session-change message, and one that
// looks a procedure of that DLL up by name for itself.
TEST(SystemDllChild, DISABLED_AlertsTheSessionChange) {
  std::unique_ptr<rt::Window> window = rt::WindowLoad("test$windows", "QUIET");
  ASSERT_TRUE(window);
  window->Open(nullptr);
  WinAlert(WM_WTSSESSION_CHANGE);
  WinAlert();
  window->Close();
}

TEST(SystemDllChild, DISABLED_LooksUpAProcedureByName) {
  ProcVariable procedure{0};
  // The DLL in the program's folder comes first, and it has no procedures.
  EXPECT_EQ(ds_LoadDLLProc("Wtsapi32", "WTSRegisterSessionNotification", procedure), 1);
}

// A DLL of a system DLL's name in the program's own folder, where updates
// are copied: the library's own lookups never load it, while a caller's
// lookup by name still finds it there first.
TEST(LoadDLLProc, TheLibrarysOwnSystemDllsComeFromTheSystemFolderOnly) {
  testsupport::TempFolder folder;
  constexpr char kProgram[] = "rv_dll_probe.exe";
  char self[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  ASSERT_TRUE(::CopyFileA(self, folder.File(kProgram).c_str(), TRUE));
  ASSERT_TRUE(::CopyFileA((driver::ExecutableFolder() + "\\rv_mark.dll").c_str(),
                          folder.File("wtsapi32.dll").c_str(), TRUE));
  const NativeFirst overrides(kProgram, "wtsapi32");
  const std::string mark = folder.File("wtsapi32.dll.loaded");

  const struct {
    const char* child;
    bool loadsTheDll;
  } cases[] = {
      {"AlertsTheSessionChange", false},
      {"LooksUpAProcedureByName", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.child);
    ASSERT_TRUE(driver::RemoveTree(mark));
    const std::optional<driver::Process> child =
        driver::Process::Start(folder.Path(), kProgram,
                               std::string("--gtest_also_run_disabled_tests "
                                           "--gtest_filter=SystemDllChild.DISABLED_") +
                                   c.child);
    ASSERT_TRUE(child);
    EXPECT_EQ(child->WaitForExit(20000), 0u);
    EXPECT_EQ(driver::FileExists(mark), c.loadsTheDll);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "alerts_support.h"
#include "driver.h"
#include "file_tools.h"
#include "rovalent_internal.h"
#include "test_support.h"

// Where the register test leaves what it read after the stubs.
extern "C" std::uint32_t rvtest_registers[7];
std::uint32_t rvtest_registers[7];

namespace {

using testsupport::TempFolder;

// The debug lines of the stack check go to a file of the test's own; each
// test runs on a new thread, which opens the file for itself. The lines are
// read back without their time stamps ("hh:mm:ss:c " at the start of each
// text; a text's own line breaks carry none).
class StackCheck : public testing::Test {
 protected:
  TempFolder folder_;
  std::string file_ = folder_.File("stack.log");
  testsupport::CommandLineScope commandLine_{"DebugOutputFile=" + file_};

  std::string Lines() const {
    static const std::regex stamp("(^|\n)[ 0-9][0-9]:[0-9]{2}:[0-9]{2}:[0-9]{1,2} ");
    return std::regex_replace(driver::ReadFile(file_), stamp, "$1");
  }
};

// Presses the stack check's box's OK and gives the text it showed. The box
// shows its text in an edit control, so that it can be copied; the driver's
// reading of a message box takes only static texts.
std::string AnswerStackBox(HWND box) {
  const std::string text = driver::WindowText(driver::FindChild(box, 90));
  driver::AnswerMessageBox(box, "OK");
  return text;
}

constexpr char kStackBoxCaption[] = "ds_TestStack";

TEST_F(StackCheck, ABalancedPairWritesNothingAndKeepsTheLevel) {
  testsupport::OnNewThread([] {
    __asm__ volatile("call _SaveStackEntry\n\tcall _TestStackEntry" ::: "memory", "cc");
    EXPECT_EQ(ds_TSLevel(), 0);
    // Nested pairs too.
    __asm__ volatile(
        "call _SaveStackEntry\n\tcall _SaveStackEntry\n\t"
        "call _TestStackEntry\n\tcall _TestStackEntry" ::
            : "memory", "cc");
    EXPECT_EQ(ds_TSLevel(), 0);
  });
  EXPECT_EQ(Lines(), "");
}

TEST_F(StackCheck, TheStubsLeaveEveryRegisterAndTheFlags) {
  testsupport::OnNewThread([] {
    __asm__ volatile(
        "movl $0x11111111, %%ebx\n\t"
        "movl $0x22222222, %%ecx\n\t"
        "movl $0x33333333, %%edx\n\t"
        "movl $0x44444444, %%esi\n\t"
        "movl $0x55555555, %%edi\n\t"
        "movl $0x66666666, %%eax\n\t"
        "stc\n\t"
        "call _SaveStackEntry\n\t"
        "call _TestStackEntry\n\t"
        "movl %%eax, _rvtest_registers+4\n\t"
        "setc %%al\n\t"
        "movzbl %%al, %%eax\n\t"
        "movl %%eax, _rvtest_registers\n\t"
        "movl %%ebx, _rvtest_registers+8\n\t"
        "movl %%ecx, _rvtest_registers+12\n\t"
        "movl %%edx, _rvtest_registers+16\n\t"
        "movl %%esi, _rvtest_registers+20\n\t"
        "movl %%edi, _rvtest_registers+24\n\t" ::
            : "eax", "ebx", "ecx", "edx", "esi", "edi", "memory", "cc");
  });
  EXPECT_EQ(rvtest_registers[0], 1u);  // the carry flag
  EXPECT_EQ(rvtest_registers[1], 0x66666666u);
  EXPECT_EQ(rvtest_registers[2], 0x11111111u);
  EXPECT_EQ(rvtest_registers[3], 0x22222222u);
  EXPECT_EQ(rvtest_registers[4], 0x33333333u);
  EXPECT_EQ(rvtest_registers[5], 0x44444444u);
  EXPECT_EQ(rvtest_registers[6], 0x55555555u);
  EXPECT_EQ(Lines(), "");
}

TEST_F(StackCheck, ChangedGeneralRegistersAreReportedAsOneLine) {
  struct Case {
    const char* name;
    void (*stretch)();
    const char* expected;
  } cases[] = {
      {"EBX",
       [] {
         __asm__ volatile(
             "movl $0x00001111, %%ebx\n\tcall _SaveStackEntry\n\t"
             "movl $0xABCDEF01, %%ebx\n\tcall _TestStackEntry" ::
                 : "ebx", "memory", "cc");
       },
       "ds_TestStack ds_TSLevel=1\r\n             EBX=ABCDEF01 LAST EBX=00001111\r\n"},
      {"ECX and EDI",
       [] {
         __asm__ volatile(
             "movl $1, %%ecx\n\tmovl $2, %%edi\n\tcall _SaveStackEntry\n\t"
             "movl $3, %%ecx\n\tmovl $4, %%edi\n\tcall _TestStackEntry" ::
                 : "ecx", "edi", "memory", "cc");
       },
       "ds_TestStack ds_TSLevel=1\r\n             ECX=00000003 LAST ECX=00000001\r\n"
       "             EDI=00000004 LAST EDI=00000002\r\n"},
  };
  std::string expected;
  for (const Case& c : cases) {
    testsupport::OnNewThread([&] {
      c.stretch();
      EXPECT_EQ(ds_TSLevel(), 0) << c.name;
    });
    expected += c.expected;
    EXPECT_EQ(Lines(), expected) << c.name;
  }
}

TEST_F(StackCheck, NestingBeyond255SavesNothingAndComesBackDown) {
  testsupport::OnNewThread([] {
    __asm__ volatile(
        ".rept 256\n\tcall _SaveStackEntry\n\t.endr\n\t"
        ".rept 256\n\tcall _TestStackEntry\n\t.endr" ::
            : "memory", "cc");
    EXPECT_EQ(ds_TSLevel(), 0);
  });
  EXPECT_EQ(Lines(), "ds_SaveStack : Too many levels, ds_TSLevel=256\r\n");
}

TEST_F(StackCheck, ATestWithoutItsSaveIsShownAndLowersTheLevel) {
  auto boxText = testsupport::WhenBoxShows(kStackBoxCaption, AnswerStackBox);
  testsupport::OnNewThread([] {
    TestStackEntry();
    EXPECT_EQ(ds_TSLevel(), -1);
  });
  EXPECT_EQ(boxText.get(), "SaveStack - TestStack pair mismatch - 0");
  EXPECT_EQ(Lines(), "SaveStack - TestStack pair mismatch - 0\r\n");
}

TEST(StackRegisterDiffText, JoinsItemsWithTheSeparatorKeptWhole) {
  StackSnapshot now{};
  now.ebx = 0x10;
  now.edx = 0x20;
  now.edi = 0xFFFFFFFF;
  std::string text;
  testsupport::OnNewThread([&] {
    __asm__ volatile("call _SaveStackEntry" ::: "memory", "cc");
    // The saved set of level 1 holds whatever the registers were; only the
    // shape and the current values are checked here.
    text = StackRegisterDiff(&now, 2 | 8 | 32, " | ");
    __asm__ volatile("call _TestStackEntry" ::: "memory", "cc");
  });
  ASSERT_EQ(text.size(), 30u * 3 + 3u * 2);
  EXPECT_EQ(text.substr(0, 16), "EBX=00000010 LAS");
  EXPECT_EQ(text.substr(33, 12), "EDX=00000020");
  EXPECT_EQ(text.substr(66, 12), "EDI=FFFFFFFF");

  // Without an open pair there is no saved set to read from: the values
  // compare with zeros.
  testsupport::OnNewThread([&] { text = StackRegisterDiff(&now, 2, " | "); });
  EXPECT_EQ(text, "EBX=00000010 LAST EBX=00000000");
}

// A changed stack or frame pointer ends the program after the box; the
// stretches run in a child process so that the tests survive them.
TEST(StackCheckChild, DISABLED_ChangedStackPointer) {
  __asm__ volatile(
      "call _SaveStackEntry\n\t"
      "subl $16, %%esp\n\t"
      "call _TestStackEntry\n\t"
      "addl $16, %%esp" ::
          : "memory", "cc");
  ADD_FAILURE() << "the program went on after a changed stack pointer";
}

TEST(StackCheckChild, DISABLED_ChangedFramePointer) {
  __asm__ volatile(
      "call _SaveStackEntry\n\t"
      "movl %%ebp, %%eax\n\t"
      "movl $0x1000, %%ebp\n\t"
      "call _TestStackEntry\n\t"
      "movl %%eax, %%ebp" ::
          : "eax", "memory", "cc");
  ADD_FAILURE() << "the program went on after a changed frame pointer";
}

TEST_F(StackCheck, AChangedStackOrFramePointerEndsTheProgramAfterTheBox) {
  struct Case {
    const char* child;
    const char* expected;
  } cases[] = {
      {"DISABLED_ChangedStackPointer", "ESP corrupted, program will GPF - 1"},
      {"DISABLED_ChangedFramePointer", "EBP corrupted, program will GPF - 1"},
  };
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string lines;
  for (const Case& c : cases) {
    std::string command = std::string("\"") + exe +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=StackCheckChild." +
                          c.child + " DebugOutputFile=" + file_;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &child));
    rt::UniqueHandle process(child.hProcess), thread(child.hThread);
    HWND box = driver::WaitForDialog(child.dwProcessId, kStackBoxCaption, 10000);
    const std::string boxText = box ? AnswerStackBox(box) : std::string();
    ASSERT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << c.child;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, static_cast<DWORD>(kStackCorruptedExitCode)) << c.child;
    EXPECT_EQ(boxText, c.expected);
    lines += std::string(c.expected) + "\r\n";
    EXPECT_EQ(Lines(), lines);
  }
}

}  // namespace

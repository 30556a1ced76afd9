// The event and message dump: the description table as data, the window
// colours, the line it writes and the library's error logging through it.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>

#include "alerts_support.h"
#include "file_tools.h"
#include "test_support.h"

namespace {

using testsupport::CommandLineScope;
using testsupport::OnNewThread;

struct Row {
  std::int32_t event;
  const char* expected;  // for the text "T" and field 4 ("?LIST2" in the test window)
};

// Every row of the table with the line it gives, outside any event loop
// (so the values of the current event read 0).
const Row kRows[] = {
    {1, "T Accepted or MouseDown, Field()=4 ?LIST2"},
    {2, "T NewSelection, Choice()=0, Field()=4 ?LIST2"},
    {3, "T ScrollUp, Field()=4 ?LIST2"},
    {4, "T ScrollDown, Field()=4 ?LIST2"},
    {5, "T PageUp, Field()=4 ?LIST2"},
    {6, "T PageDown, Field()=4 ?LIST2"},
    {7, "T ScrollTop, Field()=4 ?LIST2"},
    {8, "T ScrollBottom, Field()=4 ?LIST2"},
    {9, "T Locate, Field()=4 ?LIST2"},
    {10, "T MouseUp, Field()=4 ?LIST2"},
    {11, "T MouseIn, Field()=4 ?LIST2"},
    {12, "T MouseOut, Field()=4 ?LIST2"},
    {13, "T MouseMove, Field()=4 ?LIST2"},
    {14, "T"},
    {15, "T AlertKey, keycode()=0, Field()=4 ?LIST2"},
    {16, "T PreAlertKey, keycode()=0, Field()=4 ?LIST2"},
    {17, "T Dragging, Field()=4 ?LIST2"},
    {18, "T Drag, Field()=4 ?LIST2"},
    {19, "T Drop, Field()=4 ?LIST2"},
    {20, "T ScrollDrag, Field()=4 ?LIST2"},
    {21, "T TabChanging Choice()=0, Field()=4 ?LIST2"},
    {22, "T Expanding, Field()=4 ?LIST2"},
    {23, "T Contracting, Field()=4 ?LIST2"},
    {24, "T Expanded, Field()=4 ?LIST2"},
    {25, "T Contracted, Field()=4 ?LIST2"},
    {26, "T Rejected, Field()=4 ?LIST2"},
    {27, "T DroppingDown, Field()=4 ?LIST2"},
    {28, "T DroppedDown, Field()=4 ?LIST2"},
    {29, "T ScrollTrack, field2{prop:vscrollpos}=0, Field()=4 ?LIST2"},
    {30, "T ColumnResize, Field()=4 ?LIST2"},
    {257, "T Selected, Field()=4 ?LIST2"},
    {258, "T Selecting, Field()=4 ?LIST2"},
    {7780, "T Quorrel Message, \"Whats This\" selected, Field()=4 ?LIST2"},
    {513, "T CloseWindow"},
    {514, "T CloseDown"},
    {515, "T OpenWindow"},
    {516, "T OpenFailed"},
    {517, "T LoseFocus"},
    {518, "T GainFocus"},
    {519, "T"},
    {520, "T Suspend"},
    {521, "T Resume"},
    {522, "T"},
    {523, "T Timer"},
    {524, "T DDErequest"},
    {525, "T DDEadvise"},
    {526, "T DDEdata"},
    {527, "T DDEcommand"},
    {528, "T DDEpoke"},
    {529, "T DDEclosed"},
    {544, "T Move "},
    {545, "T Size"},
    {546, "T Restore"},
    {547, "T Maximize"},
    {548, "T Iconize"},
    {549, "T Completed"},
    {560, "T Moved"},
    {561, "T Sized"},
    {562, "T Restored"},
    {563, "T Maximized"},
    {564, "T Iconized"},
    {565, "T Docked"},
    {566, "T Undocked"},
    {576, "T BuildFile"},
    {577, "T BuildKey"},
    {578, "T BuildDone"},
    {6781, "T Rovalent Message, RV::WM_TaskbarRestart, Reload icons!"},
    {6783, "T Rovalent Message, RV::WM_QueryEndSession"},
    {6784, "T Rovalent Message, RV::WM_EndSession Aborted"},
    {6785, "T Rovalent Message, RV::WM_EndSession Now!"},
    {6787, "T Rovalent Message, SERVICE_CONTROL_SHUTDOWN"},
    {6788, "T"},
    {6790, "T Rovalent Message, Taskbar load icon"},
    {6792, "T Rovalent Message, Taskbar mouse move"},
    {6793, "T Rovalent Message, Taskbar mouseleft down"},
    {6794, "T Rovalent Message, Taskbar mouseleft up"},
    {6795, "T Rovalent Message, Taskbar double left click"},
    {6796, "T Rovalent Message, Taskbar mouseright down"},
    {6797, "T Rovalent Message, Taskbar mouseright up"},
    {6881, "T Rovalent Message, Comms Transmit Buffer Empty"},
    {6882, "T Rovalent Message, Comms Character(s) Received"},
    {6883, "T Rovalent Message, Comms Handshaking lines changed"},
    {7306, "T Rovalent Message, Taskbar balloon opened"},
    {7307, "T Rovalent Message, Taskbar balloon closed"},
    {7308, "T Rovalent Message, Taskbar balloon timeout, closed"},
    // The ranges and their bounds.
    {1023, "T"},
    {1024, "TEVENT:User 0"},
    {1026, "TEVENT:User 2"},
    {1450, "TEVENT:User 426"},
    {1451, "TEVENT:User 427"},
    {1452, "TEVENT:User 428"},
    {4095, "TEVENT:User 3071"},
    {4096, "T"},
    {6279, "T"},
    {6280, "T Rovalent Message, TaskbarCallBack, Rovalent()=0"},
    {6380, "T Rovalent Message, TaskbarCallBack, Rovalent()=0"},
    {6381, "T"},
    {0, "T"},
    {-5, "T"},
};

class EventDump : public testing::Test {
 protected:
  void SetUp() override {
    DebugFileName.Set("");
    window_ = rt::WindowLoad("test$windows", "PLAIN");
    ASSERT_TRUE(window_);
    window_->Open(nullptr);
  }
  void TearDown() override {
    window_->Close();
    DebugFileName.Set("");
  }
  std::unique_ptr<rt::Window> window_;
};

TEST_F(EventDump, EveryRowOfTheDescriptionTable) {
  // The control names come from the thread's current window, the test
  // window; no message has been alerted yet, so Rovalent() reads 0.
  ASSERT_EQ(Rovalent(), 0);
  for (const Row& row : kRows) {
    EXPECT_EQ(DebugEventText("T  ", row.event, 4), row.expected) << row.event;
  }
}

TEST_F(EventDump, ValuesOfTheEventBeingHandled) {
  HWND list = window_->ControlHandle(2);
  for (const char* entry : {"a", "b", "c"}) {
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  }
  ::SendMessageA(list, LB_SETCURSEL, 2, 0);
  window_->Post({2, 2, 0});  // a new selection in the first list
  window_->Post({rt::event::AlertKey, 0, VK_ESCAPE});
  std::vector<std::string> seen;
  rt::EventLoopRun(*window_, [&] {
    switch (rt::EventCurrent()) {
      case 2:
        seen.push_back(DebugEventText("List", 2, 5));
        seen.push_back(DebugEventText("List", 21, 0));
        return rt::LoopAction::GoOn;
      case rt::event::AlertKey:
        seen.push_back(DebugEventText("Key", 15, 0));
        return rt::LoopAction::Break;
    }
    return rt::LoopAction::GoOn;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"List NewSelection, Choice()=3, Field()=5 ?VALUE",
                                            "List TabChanging Choice()=3, Field()=0 ",
                                            "Key AlertKey, keycode()=27, Field()=0 "}));
}

TEST_F(EventDump, LibraryEventsReadTheThreadsAlertedValues) {
  // A real alert: the test window's frame alerts WM_LBUTTONDOWN, 274 and
  // 689, posting nothing (action 2: pass on).
  const HWND frame = window_->Handle();
  WinAlert(WM_LBUTTONDOWN, WM_LBUTTONDOWN, 2);
  WinAlert(WM_SYSCOMMAND, WM_SYSCOMMAND, 1);
  WinAlert(689, 689, 1);
  ::SendMessageA(frame, WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(DebugEventText("T", 1280, 0), "T Rovalent Message, Rovalent()=RV::WM_LBUTTONDOWN");
  ::SendMessageA(frame, WM_SYSCOMMAND, 0xF0F0, 0);
  ::SendMessageA(frame, 689, 7, 42);
  EXPECT_EQ(DebugEventText("T", 6782, 0),
            "T Rovalent Message, RV::WM_SysCommand, WinSysEvent()=274");
  EXPECT_EQ(RovalentErrorProc().substr(0, 11), "WinSysEvent");  // the accessor records itself
  EXPECT_EQ(DebugEventText("T", 6786, 0),
            "T Rovalent Message, RV::WM_WTSSESSION_CHANGE, WinWtsEvent()=7, WinWtsID()=42");
  EXPECT_EQ(WinSysEvent(0), 274);  // read without clearing
  // 274 and 689 are not "the last alerted message"; 522 is not one of the ten.
  EXPECT_EQ(DebugEventText("T", 6300, 0), "T Rovalent Message, TaskbarCallBack, Rovalent()=513");
  WinAlert(WM_MOUSEWHEEL, WM_MOUSEWHEEL, 2);
  ::SendMessageA(frame, WM_MOUSEWHEEL, 0, 0);
  EXPECT_EQ(DebugEventText("T", 1280, 0), "T Rovalent Message Rovalent()=522");
  WinAlert();
}

// The dump's lines in the debug file, without their time stamps.
std::vector<std::string> FileLines(const std::string& file) {
  static const std::regex stamp("^[ 0-9][0-9]:[0-9]{2}:[0-9]{2}:[0-9]{1,2} ");
  std::vector<std::string> lines;
  const std::string content = driver::ReadFile(file);
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    const std::string line = content.substr(start, end - start);
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    lines.push_back(std::regex_replace(line, stamp, ""));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

TEST_F(EventDump, LinesAndTheirLayout) {
  testsupport::TempFolder folder;
  const std::string file = folder.File("dump.log");
  {
    CommandLineScope noSwitch("DebugOutputFile=" + file);
    OnNewThread([] { ds_Debug("Main", "nothing without the switch", 515, 0); });
    EXPECT_FALSE(rt::FileExists(file));
    EXPECT_TRUE(WQ.empty());
  }
  CommandLineScope dump("/DEBUG DebugOutputFile=" + file);
  OnNewThread([] {
    ds_Debug("Main", "", 515, 0);
    ds_Debug("Main", "explicit zero", 0, 0);
    ds_Debug(std::nullopt, "the error text");
    ds_Debug("Main", "user", 1452, 0);
    ds_Debug(std::string(60, 'W'), "long name", 523, 0);
  });
  EXPECT_EQ(FileLines(file),
            (std::vector<std::string>{"Main 515  OpenWindow", "Main explicit zero",
                                      " the error text", "Main 1452 userEVENT:User 428",
                                      std::string(40, 'W') + " 523 long name Timer"}));
  EXPECT_EQ(LastDumpedEvent(), 523);

  // The line's colours: the window's own, and red, green or white for the
  // rest of the line by its event. On a thread of their own too, so that the
  // file is closed again when the folder goes.
  const struct {
    std::int32_t event;
    std::int32_t colour;
  } colours[] = {{520, 0x0000FF}, {521, 0x00FF00}, {515, 0xFFFFFF}, {0, 0xFFFFFF}};
  OnNewThread([&] {
    for (const auto& c : colours) {
      ds_Debug("Main", "colour", c.event, 0);
      EXPECT_EQ(DS_VDQ.buffer.eventCol2, c.colour) << c.event;
      EXPECT_EQ(DS_VDQ.buffer.textCol2, c.colour) << c.event;
      EXPECT_EQ(DS_VDQ.buffer.windowCol2, WQ.at("Main")) << c.event;
    }
    ds_Debug(std::nullopt, "no window", 0, 0);
    EXPECT_EQ(DS_VDQ.buffer.windowCol2, 0xFFFFFF);
  });
}

TEST_F(EventDump, EachWindowNameKeepsOneColourForTheRun) {
  CommandLineScope dump("/debug");
  const std::string base(40, 'N');
  OnNewThread([&] {
    ds_Debug("Alpha", "one", 0, 0);
    ds_Debug("Alpha   ", "same name, trailing blanks do not count", 0, 0);
    ds_Debug("", "an empty name is a name", 0, 0);
    ds_Debug(std::nullopt, "an omitted name adds nothing", 0, 0);
    ds_Debug(base + "first", "agrees in 40 characters", 0, 0);
    ds_Debug(base + "second", "but differs later", 0, 0);
  });
  ASSERT_EQ(WQ.size(), 4u);
  EXPECT_TRUE(WQ.contains("Alpha"));
  EXPECT_TRUE(WQ.contains(""));
  EXPECT_TRUE(WQ.contains(base + "first"));
  EXPECT_TRUE(WQ.contains(base + "second"));
  for (const auto& [name, colour] : WQ) {
    for (int shift : {0, 8, 16}) {
      const int channel = (colour >> shift) & 0xFF;
      EXPECT_GE(channel, 120) << name;
      EXPECT_LE(channel, 240) << name;
    }
    EXPECT_EQ(colour >> 24, 0) << name;
  }
}

TEST_F(EventDump, ErrorsRecordedUnderDebugAreLogged) {
  testsupport::TempFolder folder;
  const std::string file = folder.File("errors.log");
  CommandLineScope dump("/debug DebugOutputFile=" + file);
  OnNewThread([] {
    ClearRovalentError("WinAccept");
    RovalentErrorTextSet("");
    SetRovalentError(rverr::kWinAccept);
    // A code stored without SetRovalentError is not logged.
    ClearRovalentError("ds_GetFolderPath");
    RovalentErrorCodeStore(rverr::kFolderMissing);
  });
  EXPECT_EQ(FileLines(file), std::vector<std::string>{" WinAccept error, , WinAccept"});
}

}  // namespace

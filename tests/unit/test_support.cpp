#include "test_support.h"

#include "file_tools.h"

namespace testsupport {
namespace {

void RegisterAllControlTypes() {
  for (rt::ControlType t :
       {rt::ControlType::StrString, rt::ControlType::String, rt::ControlType::Image,
        rt::ControlType::Box, rt::ControlType::Button, rt::ControlType::Prompt,
        rt::ControlType::List, rt::ControlType::Progress, rt::ControlType::Panel}) {
    rt::ControlTypeRegister(t);
  }
}

const rt::WindowLayout kWindows[] = {
    // A plain window with a timer, a bound string and two list controls.
    {
        .name = "PLAIN",
        .width = 200,
        .height = 100,
        .title = "Runtime test window",
        .timer = 1,
        .alertKeys = {VK_ESCAPE},
        .controls =
            {
                {.label = "?NAME",
                 .type = rt::ControlType::StrString,
                 .x = 4,
                 .y = 4,
                 .width = 100,
                 .height = 10},
                {.label = "?LIST1",
                 .type = rt::ControlType::List,
                 .x = 4,
                 .y = 20,
                 .width = 60,
                 .height = 40},
                {.label = "?OK",
                 .type = rt::ControlType::Button,
                 .text = "&OK",
                 .x = 150,
                 .y = 80,
                 .width = 40},
                {.label = "?LIST2",
                 .type = rt::ControlType::List,
                 .x = 70,
                 .y = 20,
                 .width = 60,
                 .height = 40},
                {.label = "?VALUE",
                 .type = rt::ControlType::Progress,
                 .x = 4,
                 .y = 70,
                 .width = 100,
                 .style = rt::kHidden},
            },
    },
    // A window without a timer, for event-order tests that must see only
    // the events they post.
    {.name = "QUIET", .width = 100, .height = 50, .title = "Quiet test window"},
    // A window without a title bar, with the program's icon.
    {.name = "UNTITLED", .width = 100, .height = 50, .icon = "zorvant.ico"},
    // A flat button, which the runtime draws and runs itself.
    {
        .name = "FLAT",
        .width = 100,
        .height = 50,
        .title = "Flat button test window",
        .controls = {{.label = "?GO",
                      .type = rt::ControlType::Button,
                      .text = "Go",
                      .x = 20,
                      .y = 10,
                      .width = 40,
                      .height = 20,
                      .style = rt::kFlat}},
    },
};

}  // namespace

const rt::LayoutResource TestResource{"test$windows", kWindows};
const rt::Module TestModule{"tests",      RegisterAllControlTypes, nullptr, nullptr, nullptr,
                            &TestResource};

TempFolder::TempFolder() {
  char base[MAX_PATH];
  ::GetTempPathA(MAX_PATH, base);
  static int counter = 0;
  // Process ids come back: a folder that an earlier run left behind is not
  // taken again.
  do {
    path_ = std::string(base) + "rt" + std::to_string(::GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
  } while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
  // Read-only files too, which some tests make.
  driver::RemoveTree(path_);
}

driver::Image Drawn(int width, int height, const std::function<void(HDC)>& draw) {
  const rt::PixelBitmap bitmap(width, height);
  if (!bitmap) return {};
  draw(bitmap.DC());
  ::GdiFlush();
  driver::Image image{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.pixels.push_back(bitmap.Row(y)[x] & 0xFFFFFF);
  }
  return image;
}

}  // namespace testsupport

// The launcher's stored window layouts: the resource "zorvant$zorvant001"
// with its one window "P1$WINDOW", the splash window. Sizes and positions
// are dialog units of the window font.
#include "layout.h"

namespace zorvant {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

const rt::WindowLayout kWindows[] = {
    {
        .name = "P1$WINDOW",
        .width = 300,
        .height = 350,
        .title = "",
        .icon = "zorvant.ico",
        .help = "Login",
        .font = {.face = "Microsoft Sans Serif", .points = 8},
        .wallpaper = "ZTSplashAnimated.gif",
        .timer = 1,
        .alertKeys = {VK_ESCAPE},
        .controls =
            {
                {.label = "?CLOSE",
                 .type = rt::ControlType::Button,
                 .text = "X",
                 .font = {.face = "Microsoft Sans Serif", .color = kWhite, .weight = 700},
                 .x = 281,
                 .y = 1,
                 .width = 18,
                 .style = rt::kFlat | rt::kTransparent | rt::kNoTabStop | rt::kHidden |
                          rt::kStandardClose},
                {.label = "?WORLDWIDEPROMPT:2",
                 .type = rt::ControlType::String,
                 .text = "All Rights Reserved Worldwide",
                 .font = {.face = "Segoe UI", .color = kWhite},
                 .x = 39,
                 .y = 318,
                 .width = 215,
                 .height = 10,
                 .style = rt::kCentered | rt::kTransparent | rt::kHidden},
                {.label = "?NOTICELINE:2",
                 .type = rt::ControlType::StrString,
                 .font = {.face = "Segoe UI", .color = kWhite},
                 .x = 39,
                 .y = 306,
                 .width = 215,
                 .height = 10,
                 .style = rt::kCentered | rt::kTransparent | rt::kHidden},
                {.label = "?LOADINGPROMPT",
                 .type = rt::ControlType::Prompt,
                 .text = "Loading, Please Wait ...",
                 .font = {.face = "Segoe UI", .color = kRed},
                 .x = 11,
                 .y = 231,
                 .width = 271,
                 .height = 10,
                 .style = rt::kCentered | rt::kTransparent | rt::kHidden},
                {.label = "?PERCENTCOMPLETE",
                 .type = rt::ControlType::Progress,
                 .x = 81,
                 .y = 245,
                 .width = 133,
                 .style = rt::kHidden,
                 .rangeLow = 0,
                 .rangeHigh = 100},
                {.label = "?IMAGE1",
                 .type = rt::ControlType::Image,
                 .text = "red_loader.gif",
                 .x = 132,
                 .y = 246,
                 .style = rt::kHidden},
            },
    },
};

}  // namespace

extern const rt::LayoutResource Zorvant001Resource;
const rt::LayoutResource Zorvant001Resource{"zorvant$zorvant001", kWindows};

}  // namespace zorvant

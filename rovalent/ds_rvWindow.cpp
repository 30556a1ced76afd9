// Keeping a window, or a rectangle, inside the visible desktop.
#include "rovalent_internal.h"

#include <algorithm>

int(WINAPI* rvseam::getSystemMetrics)(int) = ::GetSystemMetrics;
BOOL(WINAPI* rvseam::systemParametersInfo)(UINT, UINT, void*, UINT) = ::SystemParametersInfoA;

namespace {

constexpr std::int64_t kEdgeSlack = 5;

// Worked in 64 bits, so that no rectangle a caller hands in overflows.
struct Rect {
  std::int64_t left, top, right, bottom;
};

struct Area {
  std::int64_t left, top, width, height;
};

bool ReadWorkArea(Rect& work) {
  RECT r{};
  if (!rvseam::systemParametersInfo(SPI_GETWORKAREA, 0, &r, 0)) return false;
  work = {r.left, r.top, r.right, r.bottom};
  return true;
}

bool Within(std::int64_t low, std::int64_t value, std::int64_t high) {
  return low <= value && value <= high;
}

// Whether the span from..to reaches into the work area's span on that axis.
bool Overlaps(std::int64_t from, std::int64_t to, std::int64_t workStart, std::int64_t workEnd) {
  return Within(workStart, from + kEdgeSlack, workEnd) ||
         Within(workStart, to - kEdgeSlack, workEnd) || Within(from, workStart, to);
}

// On one axis: a task bar is the strip between the area's edge and the work
// area's, before its start or, when there is none there, after its end. A
// strip at least half the work area's size is no task bar and stays.
void CutTaskBar(std::int64_t& areaStart, std::int64_t& areaSize, std::int64_t workStart,
                std::int64_t workEnd, bool overlaps) {
  const std::int64_t half = (workEnd - workStart) / 2;
  if (areaStart < workStart && workStart - areaStart < half) {
    if (overlaps) {
      areaSize -= workStart - areaStart;
      areaStart = workStart;
    }
  } else if (const std::int64_t beyond = areaStart + areaSize - workEnd;
             beyond > 0 && beyond < half) {
    if (overlaps) areaSize -= beyond;
  }
}

void KeepTaskBarClear(Area& area, const Rect& rect, const Rect& work) {
  CutTaskBar(area.top, area.height, work.top, work.bottom,
             Overlaps(rect.left, rect.right, work.left, work.right));
  CutTaskBar(area.left, area.width, work.left, work.right,
             Overlaps(rect.top, rect.bottom, work.top, work.bottom));
}

// Shifts the span inside [low, low + size); a span longer than that takes
// the whole of it.
void Clamp(std::int64_t& from, std::int64_t& to, std::int64_t low, std::int64_t size) {
  if (from < low) {
    to += low - from;
    from = low;
  }
  const std::int64_t excess = to - (low + size);
  if (excess <= 0) return;
  if (excess <= from - low) {
    from -= excess;
    to -= excess;
  } else {
    from = low;
    to = low + size;
  }
}

std::int32_t Narrow(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

std::int32_t ds_VisibleOnAppframe() {
  // The library is never given an application frame in this program.
  return 1;
}

std::int32_t ds_VisibleOnDesktop(std::int32_t* x, std::int32_t* y, std::int32_t* w, std::int32_t* h,
                                 std::uint8_t mode) {
  rt::Window* window = rt::CurrentWindow();
  if (window != nullptr && window->Mdi()) return ds_VisibleOnAppframe();
  ClearRovalentError("ds_VisibleOnDesktop");
  const bool resizable = window != nullptr && window->Resizable();

  std::optional<bool> previousPixels;
  auto fail = [&] {
    RovalentErrorTextSet(LastErrorText());
    SetRovalentError(rverr::kVisibleOnDesktop);
    if (previousPixels) window->SetPixels(*previousPixels);
    return 1;
  };

  Rect rect{};
  Rect offset{};  // rectangle less property: left, top, width, height
  if (x == nullptr) {
    const HWND handle = window ? window->Handle() : nullptr;
    RECT r{};
    if (handle == nullptr) {
      ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return fail();
    }
    previousPixels = window->Pixels();
    window->SetPixels(true);
    if (!::GetWindowRect(handle, &r)) return fail();
    rect = {r.left, r.top, r.right, r.bottom};
    offset = {rect.left - window->Xpos(), rect.top - window->Ypos(),
              rect.right - rect.left - window->Width(), rect.bottom - rect.top - window->Height()};
  } else {
    const std::int64_t top = y ? *y : 0;
    rect = {*x, top, std::int64_t{*x} + (w ? *w : 0), top + (h ? *h : 0)};
  }

  Area area{
      rvseam::getSystemMetrics(SM_XVIRTUALSCREEN), rvseam::getSystemMetrics(SM_YVIRTUALSCREEN),
      rvseam::getSystemMetrics(SM_CXVIRTUALSCREEN), rvseam::getSystemMetrics(SM_CYVIRTUALSCREEN)};
  if (area.width == 0) {
    Rect work{};
    if (!ReadWorkArea(work)) return fail();
    area = {work.left, work.top, work.right - work.left, work.bottom - work.top};
  }
  if (mode == 1) {
    Rect work{};
    if (!ReadWorkArea(work)) return fail();
    KeepTaskBarClear(area, rect, work);
  }

  Clamp(rect.left, rect.right, area.left, area.width);
  Clamp(rect.top, rect.bottom, area.top, area.height);

  if (x == nullptr) {
    window->SetXpos(Narrow(rect.left - offset.left));
    window->SetYpos(Narrow(rect.top - offset.top));
    if (resizable) {
      window->SetWidth(Narrow(rect.right - rect.left - offset.right));
      window->SetHeight(Narrow(rect.bottom - rect.top - offset.bottom));
    }
    window->SetPixels(*previousPixels);
  } else {
    *x = Narrow(rect.left);
    if (y) *y = Narrow(rect.top);
    if (resizable) {
      if (w) *w = Narrow(rect.right - rect.left);
      if (h) *h = Narrow(rect.bottom - rect.top);
    }
  }
  return 0;
}

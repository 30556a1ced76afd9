// Owners for Windows handles and GDI objects. Each owner closes what it holds
// exactly once; owners move but never copy.
#pragma once

#include <windows.h>

#include <utility>

namespace rt {

// Traits name the handle type, its "no handle" value and how it is closed.
template <typename Traits>
class UniqueOwner {
 public:
  using T = typename Traits::Type;
  UniqueOwner() = default;
  explicit UniqueOwner(T value) : value_(value) {}
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& other) noexcept : value_(other.release()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueOwner() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  T value_ = Traits::Invalid();
};

namespace detail {
template <typename H, auto CloseFn>
struct NullIsInvalid {
  using Type = H;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseFn(h); }
};
template <auto CloseFn>
struct InvalidHandleValue {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseFn(h); }
};
}  // namespace detail

using UniqueHandle = UniqueOwner<detail::NullIsInvalid<HANDLE, ::CloseHandle>>;
using UniqueFileHandle = UniqueOwner<detail::InvalidHandleValue<::CloseHandle>>;
using UniqueFind = UniqueOwner<detail::InvalidHandleValue<::FindClose>>;
using UniqueGdi = UniqueOwner<detail::NullIsInvalid<HGDIOBJ, ::DeleteObject>>;
using UniqueDC = UniqueOwner<detail::NullIsInvalid<HDC, ::DeleteDC>>;
using UniqueWindow = UniqueOwner<detail::NullIsInvalid<HWND, ::DestroyWindow>>;
using UniqueModule = UniqueOwner<detail::NullIsInvalid<HMODULE, ::FreeLibrary>>;
using UniqueIcon = UniqueOwner<detail::NullIsInvalid<HICON, ::DestroyIcon>>;

// A GDI object selected into a DC for the length of a scope.
class SelectInDC {
 public:
  SelectInDC(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  SelectInDC(const SelectInDC&) = delete;
  SelectInDC& operator=(const SelectInDC&) = delete;
  ~SelectInDC() { ::SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window DC obtained with GetDC, released with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
  HDC dc() const { return dc_; }
  const RECT& area() const { return ps_.rcPaint; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

}  // namespace rt

// Owners for Windows handles, GDI objects, COM objects and COM's start. Each
// owner closes what it holds exactly once; owners move but never copy.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <utility>

#include "program.h"

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
  // For a call that hands a value out through a pointer: what is held now
  // is closed, and the new value lands in the owner.
  T* put() {
    reset();
    return &value_;
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
template <typename Interface>
struct ComRelease {
  using Type = Interface*;
  static Type Invalid() { return nullptr; }
  static void Close(Type p) { p->Release(); }
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
using UniqueHook = UniqueOwner<detail::NullIsInvalid<HHOOK, ::UnhookWindowsHookEx>>;

// One reference to a COM object, released when the owner goes.
template <typename Interface>
class ComPtr : public UniqueOwner<detail::ComRelease<Interface>> {
 public:
  using UniqueOwner<detail::ComRelease<Interface>>::UniqueOwner;
  Interface* operator->() const { return this->get(); }
};

// COM for the calling thread (a single-threaded apartment) for the length of
// a scope; uninitialised at the end only when the start succeeded. COM's
// library is loaded by the first scope, not imported: a program that needs
// COM only for a dialog starts without loading and starting it, which took
// a tenth of the launcher's start.
class ComScope {
 public:
  ComScope()
      : ok_(Com().initialize && SUCCEEDED(Com().initialize(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (ok_) Com().uninitialize();
  }

 private:
  struct Entries {
    HRESULT(WINAPI* initialize)(LPVOID, DWORD) = nullptr;
    void(WINAPI* uninitialize)() = nullptr;
  };
  // Loaded once, for the rest of the process.
  static const Entries& Com() {
    static const Entries entries = [] {
      Entries e;
      HMODULE ole32 = SystemLibraryLoad("ole32.dll");
      if (!ole32) return e;
      e.initialize = reinterpret_cast<decltype(e.initialize)>(
          reinterpret_cast<void*>(::GetProcAddress(ole32, "CoInitializeEx")));
      e.uninitialize = reinterpret_cast<decltype(e.uninitialize)>(
          reinterpret_cast<void*>(::GetProcAddress(ole32, "CoUninitialize")));
      if (!e.uninitialize) e.initialize = nullptr;  // both or neither
      return e;
    }();
    return entries;
  }
  bool ok_;
};

// A GDI object selected into a DC until the owner goes, which selects back
// what the DC held before.
class SelectInDC {
 public:
  SelectInDC() = default;
  SelectInDC(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  SelectInDC(SelectInDC&& other) noexcept
      : dc_(std::exchange(other.dc_, nullptr)), old_(std::exchange(other.old_, nullptr)) {}
  SelectInDC& operator=(SelectInDC&& other) noexcept {
    if (this != &other) {
      reset();
      dc_ = std::exchange(other.dc_, nullptr);
      old_ = std::exchange(other.old_, nullptr);
    }
    return *this;
  }
  ~SelectInDC() { reset(); }
  // Selects back what the DC held before, now.
  void reset() {
    if (dc_ && old_) ::SelectObject(dc_, old_);
    dc_ = nullptr;
    old_ = nullptr;
  }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;  // null when nothing was selected
};

// A bitmap selected into a memory DC of its own, both compatible with
// another DC: what is drawn into dc() lands in the bitmap. It is freed in
// order: the DC's own bitmap selected back, the DC deleted, then the bitmap.
class MemoryBitmap {
 public:
  MemoryBitmap() = default;
  MemoryBitmap(MemoryBitmap&& other) noexcept
      : bitmap_(std::move(other.bitmap_)),
        dc_(std::move(other.dc_)),
        selection_(std::move(other.selection_)),
        width_(std::exchange(other.width_, 0)),
        height_(std::exchange(other.height_, 0)) {}
  MemoryBitmap& operator=(MemoryBitmap&& other) noexcept {
    if (this != &other) {
      reset();
      bitmap_ = std::move(other.bitmap_);
      dc_ = std::move(other.dc_);
      selection_ = std::move(other.selection_);
      width_ = std::exchange(other.width_, 0);
      height_ = std::exchange(other.height_, 0);
    }
    return *this;
  }
  ~MemoryBitmap() = default;  // the members go last first: selection, DC, bitmap

  HDC dc() const { return dc_.get(); }
  explicit operator bool() const { return static_cast<bool>(dc_); }
  // The size it was made for (its bitmap is at least 1 x 1).
  int width() const { return width_; }
  int height() const { return height_; }

  // Makes the DC and a bitmap of that size anew, compatible with `like`;
  // the ones held before go.
  void Make(HDC like, int width, int height) {
    selection_.reset();
    dc_.reset(::CreateCompatibleDC(like));
    bitmap_.reset(::CreateCompatibleBitmap(like, std::max(1, width), std::max(1, height)));
    selection_ = SelectInDC(dc_.get(), bitmap_.get());
    width_ = width;
    height_ = height;
  }
  // The DC of a bitmap at least that big: the one held when it is, else one
  // made anew as large as the larger of each size, so that a buffer drawn
  // at many sizes is made only a few times.
  HDC Grow(HDC like, int width, int height) {
    if (!dc_ || width_ < width || height_ < height) {
      Make(like, std::max({1, width, width_}), std::max({1, height, height_}));
    }
    return dc_.get();
  }
  void reset() {
    selection_.reset();
    dc_.reset();
    bitmap_.reset();
    width_ = height_ = 0;
  }

 private:
  UniqueGdi bitmap_;
  UniqueDC dc_;
  SelectInDC selection_;  // declared last: it goes first
  int width_ = 0, height_ = 0;
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

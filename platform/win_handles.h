// Windows only: owners for handles and COM pointers. Copying is deleted,
// moving hands the handle over; the owner closes it exactly once.
#pragma once

#include <objbase.h>
#include <windows.h>
#include <utility>

namespace zephora {

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::type;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer handle) noexcept : handle_(handle) {}
  ~unique_handle() { reset(); }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  unique_handle(unique_handle&& other) noexcept : handle_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }

  pointer get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }
  pointer release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  void reset(pointer handle = Traits::Invalid()) noexcept {
    pointer old = std::exchange(handle_, handle);
    if (old != Traits::Invalid())
      Traits::Close(old);
  }

 private:
  pointer handle_ = Traits::Invalid();
};

namespace handle_traits {
template <typename T, auto CloseFunction>
struct NullInvalid {
  using type = T;
  static constexpr T Invalid() noexcept { return nullptr; }
  static void Close(T handle) noexcept { CloseFunction(handle); }
};
inline void DeleteGdiObject(HGDIOBJ object) noexcept {
  ::DeleteObject(object);
}
inline void CloseKernelHandle(HANDLE handle) noexcept {
  ::CloseHandle(handle);
}
inline void CloseKey(HKEY key) noexcept {
  ::RegCloseKey(key);
}
inline void FreeTaskMemory(void* memory) noexcept {
  ::CoTaskMemFree(memory);
}
struct File {
  using type = HANDLE;
  static type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(type handle) noexcept { ::CloseHandle(handle); }
};
}  // namespace handle_traits

using unique_hwnd = unique_handle<handle_traits::NullInvalid<HWND, ::DestroyWindow>>;
using unique_hfont =
    unique_handle<handle_traits::NullInvalid<HFONT, handle_traits::DeleteGdiObject>>;
using unique_hbrush =
    unique_handle<handle_traits::NullInvalid<HBRUSH, handle_traits::DeleteGdiObject>>;
using unique_hpen = unique_handle<handle_traits::NullInvalid<HPEN, handle_traits::DeleteGdiObject>>;
using unique_hbitmap =
    unique_handle<handle_traits::NullInvalid<HBITMAP, handle_traits::DeleteGdiObject>>;
using unique_hicon = unique_handle<handle_traits::NullInvalid<HICON, ::DestroyIcon>>;
using unique_hkey = unique_handle<handle_traits::NullInvalid<HKEY, handle_traits::CloseKey>>;
using unique_hhook = unique_handle<handle_traits::NullInvalid<HHOOK, ::UnhookWindowsHookEx>>;
using unique_hdc = unique_handle<handle_traits::NullInvalid<HDC, ::DeleteDC>>;
using unique_kernel_handle =
    unique_handle<handle_traits::NullInvalid<HANDLE, handle_traits::CloseKernelHandle>>;
using unique_file_handle = unique_handle<handle_traits::File>;
template <typename T>
using unique_cotaskmem =
    unique_handle<handle_traits::NullInvalid<T*, handle_traits::FreeTaskMemory>>;

// A window's device context from GetDC, given back with ReleaseDC.
class window_dc {
 public:
  explicit window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~window_dc() {
    if (dc_ != nullptr)
      ::ReleaseDC(window_, dc_);
  }
  window_dc(const window_dc&) = delete;
  window_dc& operator=(const window_dc&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint as a scope.
class paint_dc {
 public:
  explicit paint_dc(HWND window) noexcept : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~paint_dc() { ::EndPaint(window_, &paint_); }
  paint_dc(const paint_dc&) = delete;
  paint_dc& operator=(const paint_dc&) = delete;
  HDC get() const noexcept { return dc_; }
  const PAINTSTRUCT& info() const noexcept { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects a GDI object into a device context for the scope's length.
class select_object {
 public:
  select_object(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~select_object() { ::SelectObject(dc_, old_); }
  select_object(const select_object&) = delete;
  select_object& operator=(const select_object&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Owner of one reference to a COM interface.
template <typename I>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  ~com_ptr() { reset(); }
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  com_ptr(com_ptr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  com_ptr& operator=(com_ptr&& other) noexcept {
    if (this != &other) {
      reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }

  I* get() const noexcept { return pointer_; }
  I* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }
  void reset() noexcept {
    if (I* old = std::exchange(pointer_, nullptr))
      old->Release();
  }
  // For functions that hand out a new reference through an out-parameter.
  I** put() noexcept {
    reset();
    return &pointer_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // QueryInterface; an empty pointer when the object lacks the interface.
  template <typename J>
  com_ptr<J> query(REFIID iid) const noexcept {
    com_ptr<J> result;
    if (pointer_ != nullptr && FAILED(pointer_->QueryInterface(iid, result.put_void()))) {
      result.reset();
    }
    return result;
  }

 private:
  I* pointer_ = nullptr;
};

}  // namespace zephora

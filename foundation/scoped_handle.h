// Owns a kernel handle and closes it once. Null and INVALID_HANDLE_VALUE both
// mean "nothing owned", since Win32 calls disagree on which one they return.
// ScopedMappedView owns a view of a file mapping (MapViewOfFile) the same way.
#ifndef FOUNDATION_SCOPED_HANDLE_H_
#define FOUNDATION_SCOPED_HANDLE_H_

#include <windows.h>

#include <utility>

namespace common {

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~ScopedHandle() { reset(); }

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

class ScopedMappedView {
 public:
  ScopedMappedView() = default;
  explicit ScopedMappedView(void* view) : view_(view) {}
  ScopedMappedView(const ScopedMappedView&) = delete;
  ScopedMappedView& operator=(const ScopedMappedView&) = delete;
  ScopedMappedView(ScopedMappedView&& other) noexcept : view_(std::exchange(other.view_, nullptr)) {}
  ~ScopedMappedView() {
    if (view_) ::UnmapViewOfFile(view_);
  }

  explicit operator bool() const { return view_ != nullptr; }
  void* get() const { return view_; }

 private:
  void* view_ = nullptr;
};

}  // namespace common

#endif  // FOUNDATION_SCOPED_HANDLE_H_

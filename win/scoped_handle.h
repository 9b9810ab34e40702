// Owners of Win32 handles, one template for every kind. A Traits type says
// what "nothing owned" looks like and how the handle is released:
//
//   struct Traits {
//     using Handle = ...;
//     static Handle Null();
//     static bool IsValid(Handle handle);
//     static void Close(Handle handle);
//   };
//
// Releasing keeps the thread's last error, so a failing call's code survives
// the clean-up on the way out of a function.
#ifndef WIN_SCOPED_HANDLE_H_
#define WIN_SCOPED_HANDLE_H_

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace win {

template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~ScopedGeneric() { reset(); }

  bool valid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return valid(); }
  Handle get() const { return handle_; }
  Handle release() { return std::exchange(handle_, Traits::Null()); }
  void reset(Handle handle = Traits::Null()) {
    if (Traits::IsValid(handle_)) {
      const DWORD last_error = ::GetLastError();
      Traits::Close(handle_);
      ::SetLastError(last_error);
    }
    handle_ = handle;
  }
  // For calls that return the handle through a pointer; releases what was held.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Null();
};

// Kernel objects: files, processes, threads, events, mutexes, tokens, mappings
// and toolhelp snapshots. Null and INVALID_HANDLE_VALUE both mean "nothing
// owned", since Win32 calls disagree on which one they return.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { ::FindClose(handle); }
};

struct LoadedModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { ::FreeLibrary(handle); }
};

struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { ::LocalFree(handle); }
};

struct CoTaskMemoryTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { ::CoTaskMemFree(handle); }
};

struct MappedViewTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { ::UnmapViewOfFile(handle); }
};

using ScopedHandle = ScopedGeneric<KernelHandleTraits>;
using ScopedSnapshot = ScopedGeneric<KernelHandleTraits>;  // CreateToolhelp32Snapshot
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;
using ScopedLibrary = ScopedGeneric<LoadedModuleTraits>;
using ScopedLocalMemory = ScopedGeneric<LocalMemoryTraits>;
using ScopedCoTaskMemory = ScopedGeneric<CoTaskMemoryTraits>;
using ScopedMappedView = ScopedGeneric<MappedViewTraits>;

// The two handles CreateProcess hands back, each closed on scope exit.
class ScopedProcessInformation {
 public:
  ScopedProcessInformation() = default;
  ScopedProcessInformation(const ScopedProcessInformation&) = delete;
  ScopedProcessInformation& operator=(const ScopedProcessInformation&) = delete;

  // Pass to CreateProcess*; takes ownership of what the call fills in.
  class Receiver {
   public:
    explicit Receiver(ScopedProcessInformation* owner) : owner_(owner) {}
    ~Receiver() { owner_->Take(info_); }
    operator PROCESS_INFORMATION*() { return &info_; }

   private:
    ScopedProcessInformation* owner_;
    PROCESS_INFORMATION info_ = {};
  };
  Receiver receive() { return Receiver(this); }

  HANDLE process() const { return process_.get(); }
  HANDLE thread() const { return thread_.get(); }
  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }
  HANDLE release_process() { return process_.release(); }

 private:
  void Take(const PROCESS_INFORMATION& info) {
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    process_id_ = info.dwProcessId;
    thread_id_ = info.dwThreadId;
  }

  ScopedHandle process_;
  ScopedHandle thread_;
  DWORD process_id_ = 0;
  DWORD thread_id_ = 0;
};

}  // namespace win

#endif  // WIN_SCOPED_HANDLE_H_

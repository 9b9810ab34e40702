// Starting and watching copies of tq_proc_helper.exe (see its source for its
// steps and record) from the process tests.
#ifndef TESTS_PROCESS_HELPER_PROCESS_H_
#define TESTS_PROCESS_HELPER_PROCESS_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "support/test_support.h"
#include "win/scoped_handle.h"

namespace process_testing {

inline std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// A name no other test uses: prefix, this process's id and a counter.
inline std::wstring UniqueName(const std::wstring& prefix) {
  static LONG counter = 0;
  return prefix + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::InterlockedIncrement(&counter));
}

// Copies the helper built beside the test program to folder\name. The
// library's DLLs stay in the build folder, which goes on PATH (and so on the
// children's) once.
inline std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name) {
  static const std::wstring build = FolderOf(testing_support::SelfPath());
  [[maybe_unused]] static const BOOL path_set = ::SetEnvironmentVariableW(L"PATH", (build + L";" + _wgetenv(L"PATH")).c_str());
  ::CopyFileW((build + L"\\tq_proc_helper.exe").c_str(), (folder + L"\\" + name).c_str(), FALSE);
  return folder + L"\\" + name;
}

// Polls until condition holds; false when it did not within the timeout.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = 30000) {
  for (const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;; ::Sleep(20)) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
  }
}

// The value of "name: value" in a record file, once there within the timeout ("" if not).
inline std::string RecordValue(const std::wstring& record, const std::string& name, DWORD timeout_ms = 0) {
  std::string value;
  WaitFor([&] {
    const std::string lines = "\n" + testing_support::ReadBytes(record);
    const size_t at = lines.find("\n" + name + ": "), start = at + name.size() + 3;
    value = at == std::string::npos ? "" : lines.substr(start, lines.find('\n', start) - start);
    return !value.empty();
  }, timeout_ms);
  return value;
}

// A process started by CreateProcessW in program's folder (with a token, as
// that user), ended when the object goes if still running.
class Helper {
 public:
  Helper(const std::wstring& program, std::wstring arguments, HANDLE token = nullptr) {
    arguments = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ::CreateProcessAsUserW(token, program.c_str(), &arguments[0], nullptr, nullptr, FALSE, 0, nullptr,
                           FolderOf(program).c_str(), &startup, info_.receive());
  }
  ~Helper() {
    if (Running()) ::TerminateProcess(info_.process(), 1), ::WaitForSingleObject(info_.process(), 5000);
  }
  DWORD id() const { return info_.process_id(); }
  bool Running() const { return ::WaitForSingleObject(info_.process(), 0) == WAIT_TIMEOUT; }
  // The exit code once it ended within the timeout, else STILL_ACTIVE.
  DWORD WaitForExit(DWORD timeout_ms) const {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(info_.process(), timeout_ms) == WAIT_OBJECT_0) ::GetExitCodeProcess(info_.process(), &code);
    return code;
  }

 private:
  win::ScopedProcessInformation info_;
};

// A copy of the helper under a unique name in a fresh folder.
struct HelperCopy {
  explicit HelperCopy(const std::wstring& prefix)
      : name(UniqueName(prefix) + L".exe"), program(CopyHelper(dir.path(), name)) {}
  // The file a run records to, and the arguments that make it do so and then run steps.
  std::wstring Record(int run = 0) const { return dir.Child(L"rec" + std::to_wstring(run) + L".txt"); }
  std::wstring Arguments(const std::wstring& steps = L"", int run = 0) const {
    return L"--record \"" + Record(run) + L"\" " + steps;
  }
  // Starts a run and waits until it has recorded its start.
  std::unique_ptr<Helper> Start(const std::wstring& steps, int run = 0) const {
    auto helper = std::make_unique<Helper>(program, Arguments(steps, run));
    EXPECT_NE(RecordValue(Record(run), "show", 30000), "") << "run " << run << " did not start";
    return helper;
  }

  testing_support::ScopedTempDir dir;
  std::wstring name;
  std::wstring program;
};

}  // namespace process_testing

#endif  // TESTS_PROCESS_HELPER_PROCESS_H_

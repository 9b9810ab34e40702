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

// The helper built beside the test program.
inline std::wstring HelperPath() { return FolderOf(testing_support::SelfPath()) + L"\\tq_proc_helper.exe"; }

// A name no other test uses: prefix, this process's id and a counter.
inline std::wstring UniqueName(const std::wstring& prefix) {
  static LONG counter = 0;
  return prefix + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::InterlockedIncrement(&counter));
}

// Copies the helper to folder\name; the library's DLLs stay in the build folder,
// which goes on this process's PATH (and so on its children's) once.
inline std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name) {
  [[maybe_unused]] static const BOOL path_set =
      ::SetEnvironmentVariableW(L"PATH", (FolderOf(HelperPath()) + L";" + ::_wgetenv(L"PATH")).c_str());
  ::CopyFileW(HelperPath().c_str(), (folder + L"\\" + name).c_str(), FALSE);
  return folder + L"\\" + name;
}

// Polls until condition holds; false when it did not within the timeout.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = 30000) {
  for (const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;; ::Sleep(20)) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
  }
}

// The value of "name: value" in a record file ("" when absent).
inline std::string RecordValue(const std::wstring& record, const std::string& name) {
  const std::string lines = "\n" + testing_support::ReadBytes(record);
  const size_t at = lines.find("\n" + name + ": ");
  if (at == std::string::npos) return std::string();
  const size_t start = at + name.size() + 3;
  return lines.substr(start, lines.find('\n', start) - start);
}

// The same once the record holds it ("" after 30 s).
inline std::string WaitForRecordValue(const std::wstring& record, const std::string& name) {
  std::string value;
  WaitFor([&] { return !(value = RecordValue(record, name)).empty(); });
  return value;
}

// A manual-reset event under a name no other test uses.
struct NamedEvent {
  const std::wstring name = UniqueName(L"tq_event");
  const win::ScopedHandle event{::CreateEventW(nullptr, TRUE, FALSE, name.c_str())};
};

// A process started by CreateProcessW in program's folder (with a token, as
// that user), ended when the object goes if still running.
class Helper {
 public:
  Helper(const std::wstring& program, const std::wstring& arguments, HANDLE token = nullptr) {
    std::wstring command_line = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = FolderOf(program);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (token ? ::CreateProcessAsUserW(token, program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0,
                                       nullptr, folder.c_str(), &startup, info_.receive())
              : ::CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.c_str(), &startup, info_.receive()))
      id_ = info_.process_id();
  }
  ~Helper() {
    if (!Running()) return;
    ::TerminateProcess(info_.process(), 1);
    ::WaitForSingleObject(info_.process(), 5000);
  }

  DWORD id() const { return id_; }
  bool Running() const { return id_ && ::WaitForSingleObject(info_.process(), 0) == WAIT_TIMEOUT; }
  // The exit code once it ended within the timeout, else STILL_ACTIVE.
  DWORD WaitForExit(DWORD timeout_ms) const {
    DWORD code = STILL_ACTIVE;
    if (id_ && ::WaitForSingleObject(info_.process(), timeout_ms) == WAIT_OBJECT_0)
      ::GetExitCodeProcess(info_.process(), &code);
    return code;
  }

 private:
  win::ScopedProcessInformation info_;
  DWORD id_ = 0;
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
  std::unique_ptr<Helper> Start(const std::wstring& steps, int run = 0, HANDLE token = nullptr) const {
    auto helper = std::make_unique<Helper>(program, Arguments(steps, run), token);
    EXPECT_FALSE(WaitForRecordValue(Record(run), "show").empty()) << "run " << run << " did not start";
    return helper;
  }

  testing_support::ScopedTempDir dir;
  std::wstring name;
  std::wstring program;
};

}  // namespace process_testing

#endif  // TESTS_PROCESS_HELPER_PROCESS_H_

// Starting and watching copies of tq_proc_helper.exe (see its source for its
// steps and record) from the process tests.
#ifndef TESTS_PROCESS_HELPER_PROCESS_H_
#define TESTS_PROCESS_HELPER_PROCESS_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win/scoped_handle.h"

namespace process_testing {

// The helper built beside the test program.
std::wstring HelperPath();
// A name no other test uses: prefix, this process's id and a counter, ".exe".
std::wstring UniqueExeName(const std::wstring& prefix);
// Copies the helper to folder\name and returns the copy's path. The library's
// DLLs stay in the build folder, which is put on this process's PATH (and so
// on its children's) once.
std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name);

// A copy of the helper under a unique name in a fresh folder.
struct HelperCopy {
  explicit HelperCopy(const std::wstring& prefix) : name(UniqueExeName(prefix)), program(CopyHelper(dir.path(), name)) {}
  // The file a run records to, and the arguments that make it do so and then run steps.
  std::wstring Record(int run = 0) const { return dir.Child(L"rec" + std::to_wstring(run) + L".txt"); }
  std::wstring Arguments(const std::wstring& steps = L"", int run = 0) const {
    return L"--record \"" + Record(run) + L"\" " + steps;
  }

  testing_support::ScopedTempDir dir;
  std::wstring name;
  std::wstring program;
};

// Polls until condition holds; false when it did not within the timeout.
bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = 30000);
// The value of "name: value" in a record file ("" when absent).
std::string RecordValue(const std::wstring& record, const std::string& name);
// The same once the record holds it ("" after 30 s).
std::string WaitForRecordValue(const std::wstring& record, const std::string& name);

// A manual-reset event under a name no other test uses.
class NamedEvent {
 public:
  NamedEvent();
  const std::wstring& name() const { return name_; }
  void Set() const { ::SetEvent(event_.get()); }

 private:
  std::wstring name_;
  win::ScopedHandle event_;
};

// A process started by CreateProcessW in program's folder (with a token, as
// that user), ended (if still running) when the object goes.
class Helper {
 public:
  Helper(const std::wstring& program, const std::wstring& arguments, HANDLE token = nullptr);
  ~Helper();

  DWORD id() const { return id_; }
  bool Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // The exit code once it ended within the timeout, else STILL_ACTIVE.
  DWORD WaitForExit(DWORD timeout_ms) const;

 private:
  win::ScopedHandle process_;
  DWORD id_ = 0;
};

// A program run as a debuggee: what it sent to the debugger (in order) and how
// it ended; exit_code is STILL_ACTIVE when it was ended after the timeout.
struct DebugRun {
  std::vector<std::string> debug_lines;
  DWORD exit_code = STILL_ACTIVE;
};
DebugRun RunUnderDebugger(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms);

}  // namespace process_testing

#endif  // TESTS_PROCESS_HELPER_PROCESS_H_

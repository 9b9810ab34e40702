// Starting and watching copies of tq_proc_helper.exe (see its source for its
// steps and record) from the process tests.
#ifndef TESTS_PROCESS_HELPER_PROCESS_H_
#define TESTS_PROCESS_HELPER_PROCESS_H_

#include <windows.h>

#include <string>
#include <vector>

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

// The record a helper writes, once it holds "name:" (empty after the timeout).
std::string WaitForRecord(const std::wstring& file, const std::string& name, DWORD timeout_ms = 30000);
// The value of "name: value" in a record ("" when absent).
std::string RecordValue(const std::string& record, const std::string& name);
// Polls until path no longer exists; true when it went within the timeout.
bool WaitUntilGone(const std::wstring& path, DWORD timeout_ms);

// A helper process started by CreateProcessW, ended (if still running) when
// the object goes.
class Helper {
 public:
  Helper() = default;
  // program "arguments", in program's folder; with a token, as that user.
  Helper(const std::wstring& program, const std::wstring& arguments, HANDLE token = nullptr);
  ~Helper();
  Helper(Helper&&) = default;
  Helper& operator=(Helper&&) = default;

  bool started() const { return process_.valid(); }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }
  bool Running() const;
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

// Helpers shared by the test programs.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H_
#define TESTS_SUPPORT_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A fresh folder under %TEMP%, deleted with its contents at scope exit.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + "\" + name
  std::wstring Child(const std::wstring& name) const;

 private:
  std::wstring path_;
};

bool WriteBytes(const std::wstring& file, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadBytes(const std::wstring& file);
// Calls visit with every name that FindFirstFileW finds for the pattern
// ("folder\\*" for a folder's contents) but "." and "..".
void ForEachName(const std::wstring& pattern, const std::function<void(const std::wstring& name)>& visit);
// Deletes a folder tree (files read-only or not); true when it is gone.
bool RemoveTree(const std::wstring& path);

// The test program's own path.
std::wstring SelfPath();

// Runs this test program again in a child process with --gtest_filter=filter
// and the extra environment variables, and returns its exit code: -1 when it
// could not be started or did not end within the timeout, -2 when it ran no
// test to completion (a filter that matched nothing, or a test that skipped).
int RunSelfInChild(const std::string& filter,
                   const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
                   unsigned int timeout_ms = 120000);
// Starts this test program like RunSelfInChild without waiting for it. The
// caller closes the returned process handle; null when it could not start.
void* StartSelfInChild(const std::string& filter,
                       const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});
// True inside a child started by one of the two above.
bool IsChildRun();
// For a test that may crash or hang, or needs a process of its own: in the
// parent, runs the current test in a child (RunSelfInChild), expects it to
// pass and returns true; in the child, false, and the test goes on.
//   if (testing_support::RanInChild(90000)) return;
bool RanInChild(unsigned int timeout_ms = 120000);

// Polls every 20 ms until condition holds; false when it did not within the timeout.
bool WaitFor(const std::function<bool()>& condition, unsigned int timeout_ms = 30000);

// Runs body on count threads released together, and waits for all of them.
void RunOnThreadsAtOnce(int count, const std::function<void()>& body);

// Every day's program log of t_base, each file's path and contents, oldest
// day first; and all of them as one text, so that a line is found whichever
// day's file it went to.
std::vector<std::pair<std::wstring, std::string>> ReadProgramLogFiles();
std::string ReadProgramLog();

// The lines the program log gained while the object lived, without their time,
// process and thread.
class LogWatch {
 public:
  std::string Added() const;

 private:
  size_t start_ = ReadProgramLog().size();
};

// Every running process: id, parent id and executable name.
struct ProcessEntry {
  unsigned long id, parent;
  std::wstring name;
};
std::vector<ProcessEntry> ProcessList();

}  // namespace testing_support

#endif  // TESTS_SUPPORT_TEST_SUPPORT_H_

// For tests, in the spirit of Chromium's ScopedPathOverride: while an override
// lives, the library takes its path as the executable's full path (GetAppPath,
// GetAppDir, GetAppName, and the test-mode and channel files read beside the
// program), so a test can give "the program's folder" a folder of its own
// without copying the program. Process-wide; nest them like scopes.
//
//   common::ScopedExecutablePathOverride exe(temp.Child(L"client.exe"));
//   common::IsTestMode();  // reads temp's "ovktest"
//
// The application-data folder and the registry are redirected through the
// registry itself (tests/support/test_main.cpp), which every module of
// the process follows.
#ifndef FOUNDATION_EXECUTABLE_PATH_OVERRIDE_H_
#define FOUNDATION_EXECUTABLE_PATH_OVERRIDE_H_

#include <string>

namespace common {

class ScopedExecutablePathOverride {
 public:
  explicit ScopedExecutablePathOverride(const std::wstring& path);
  ~ScopedExecutablePathOverride();
  ScopedExecutablePathOverride(const ScopedExecutablePathOverride&) = delete;
  ScopedExecutablePathOverride& operator=(const ScopedExecutablePathOverride&) = delete;

 private:
  bool had_previous_;
  std::wstring previous_;
};

// The override in force, if any.
bool GetExecutablePathOverride(std::wstring* path);

}  // namespace common

#endif  // FOUNDATION_EXECUTABLE_PATH_OVERRIDE_H_

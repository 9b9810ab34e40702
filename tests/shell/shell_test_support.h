// What the shell tests share: reading a link back through the shell, verb
// handlers that record what the shell ran, and a 32-bit view of the machine's
// shell folders, which a fresh 64-bit Wine prefix lacks. All of it changes
// the prefix's machine-wide state, so the programs that use it run in
// prefixes of their own, and everything is removed again at scope exit.
#ifndef TESTS_SHELL_SHELL_TEST_SUPPORT_H_
#define TESTS_SHELL_SHELL_TEST_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace shell_test {

struct LinkFields {
  HRESULT load_result = E_FAIL;
  std::wstring target, working_folder, arguments, description, icon;
  int icon_index = -1;
};

// IShellLinkW::Load of the file (COM brought up for the call).
LinkFields ReadLink(const std::wstring& link_file);

// Handlers under HKEY_CLASSES_ROOT\lnkfile\shell\<verb>\command that run the
// recorder with the record file, the verb's registered name and "%1".
class ScopedVerbRecorder {
 public:
  explicit ScopedVerbRecorder(const std::vector<std::wstring>& verbs);
  ~ScopedVerbRecorder();
  ScopedVerbRecorder(const ScopedVerbRecorder&) = delete;
  ScopedVerbRecorder& operator=(const ScopedVerbRecorder&) = delete;

  bool ok() const { return ok_; }
  // Waits until no recorder runs: the shell starts a handler and returns, so
  // a test that cares about order waits after each verb.
  void WaitUntilIdle();
  // "verb|file" lines, once no recorder runs.
  std::vector<std::wstring> Records();

 private:
  testing_support::ScopedTempDir dir_;
  std::wstring record_file_;
  std::vector<std::wstring> created_;  // machine keys to delete, deepest last
  bool ok_ = true;
};

// HKLM\Software\Wow6432Node\...\Shell Folders with "Common Start Menu" set
// to folder; the keys that were missing are deleted at scope exit.
class ScopedStartMenu32View {
 public:
  explicit ScopedStartMenu32View(const std::wstring& folder);
  ~ScopedStartMenu32View();
  ScopedStartMenu32View(const ScopedStartMenu32View&) = delete;
  ScopedStartMenu32View& operator=(const ScopedStartMenu32View&) = delete;

  bool ok() const { return ok_; }

 private:
  std::wstring first_created_;  // empty when only the value was new
  bool value_created_ = false;
  bool ok_ = false;
};

// A machine "Shell Folders" value of the 64-bit view, as the prefix has it.
std::wstring MachineShellFolder(const wchar_t* name);

}  // namespace shell_test

#endif  // TESTS_SHELL_SHELL_TEST_SUPPORT_H_

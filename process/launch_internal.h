// The decisions of the launch functions, apart from the calls that start a
// program, so that tests can check them on any machine.
#ifndef PROCESS_LAUNCH_INTERNAL_H_
#define PROCESS_LAUNCH_INTERNAL_H_

#include <string>

namespace common {
namespace launch_internal {

// The folder of path as the started program's working folder: the path cut to
// max_length characters, less its last component ("" for a bare file name).
std::wstring WorkingFolderOf(const wchar_t* path, size_t max_length);

// LauncherApp's command line: "\"path\" parameters" cut to 2,047 characters,
// or empty when parameters is null.
std::wstring LauncherCommandLine(const wchar_t* path, const wchar_t* parameters);

// The verb ExecuteExeAsAdmin gives the shell: "runas" on Vista or later for a
// caller that is not an administrator, else none (null).
const wchar_t* AdminVerb(bool vista_or_later, bool user_is_admin);

}  // namespace launch_internal
}  // namespace common

#endif  // PROCESS_LAUNCH_INTERNAL_H_

// What the library refuses before a caller's text reaches the file system, the
// registry or the shell. A refused call ends with its function's failure
// result and touches nothing.
#ifndef FOUNDATION_INPUT_CHECKS_H_
#define FOUNDATION_INPUT_CHECKS_H_

#include <cstddef>
#include <string>

namespace common {

// A NUL inside the text: its c_str() would name something shorter, a parent
// folder for instance.
inline bool HoldsNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }
template <typename... Texts>
bool AnyHoldsNul(const Texts&... texts) {
  return (HoldsNul(texts) || ...);
}

// One plain file or folder name, which cannot leave the folder it is joined
// to: not empty, not only dots, none of \ / : * ? " < > | or a control
// character, no trailing dot or blank, no device name (CON, NUL, COM1, ...).
bool IsPlainName(const std::wstring& name);

// The shell's own path handling overruns its stack on long paths: every path
// handed to ShellExecute(Ex)W must be shorter than MAX_PATH.
constexpr std::size_t kShellPathLimit = 260;
bool FitsShellPath(const wchar_t* path);

}  // namespace common

#endif  // FOUNDATION_INPUT_CHECKS_H_

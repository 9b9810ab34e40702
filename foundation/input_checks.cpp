#include "foundation/input_checks.h"

#include <cwchar>
#include <cwctype>

namespace common {
namespace {

bool IsDeviceName(const std::wstring& name) {
  const std::wstring stem = name.substr(0, name.find(L'.'));
  std::wstring upper;
  for (const wchar_t c : stem) upper += static_cast<wchar_t>(std::towupper(c));
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
    if (upper == device) return true;
  return upper.size() == 4 && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0) &&
         upper[3] >= L'1' && upper[3] <= L'9';
}

}  // namespace

bool IsPlainName(const std::wstring& name) {
  if (name.empty() || name.find_first_not_of(L'.') == std::wstring::npos) return false;
  for (const wchar_t c : name)
    if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
  const wchar_t last = name.back();
  return last != L'.' && last != L' ' && !IsDeviceName(name);
}

bool FitsShellPath(const wchar_t* path) { return path && std::wcslen(path) < kShellPathLimit; }

}  // namespace common

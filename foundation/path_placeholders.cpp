#include "t_common/path_placeholders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "foundation/input_checks.h"

namespace common {
namespace {

constexpr DWORD kExpansionCapacity = 520;

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::wstring();
  return buffer;
}

std::wstring CaretPrefix(std::wstring name, bool data_from_shell, bool x86_program_files) {
  const int alias = ::_wtoi(name.c_str());
  if (alias == 257) name = L"ProgramData";
  if (alias == 258) name = L"ProgramFile";

  if (name == L"ProgramData") {
    if (data_from_shell) return ShellFolder(CSIDL_COMMON_APPDATA);
    // A value too long for the buffer leaves it zero-filled: an empty prefix.
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    return length < MAX_PATH ? std::wstring(buffer) : std::wstring();
  }
  if (name == L"ProgramFile") return ShellFolder(x86_program_files ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES);
  return std::wstring();
}

std::wstring FirefoxCacheFolder() {
  std::wstring profile;
  const std::wstring roaming = ShellFolder(CSIDL_APPDATA);
  // Without the roaming folder there is no profile list to read (a bare
  // "\Mozilla\..." would name a file on the current drive).
  if (!roaming.empty()) {
    const std::wstring profiles_ini = roaming + L"\\Mozilla\\Firefox\\profiles.ini";
    wchar_t buffer[MAX_PATH] = {};
    if (::GetPrivateProfileStringW(L"Profile0", L"Path", L"", buffer, MAX_PATH, profiles_ini.c_str()) > 0)
      profile = buffer;
  }
  const size_t slash = profile.find(L'/');
  if (slash != std::wstring::npos) profile[slash] = L'\\';

  std::wstring cache = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Mozilla\\Firefox\\" + profile;
  if (!profile.empty()) cache += L'\\';
  return cache + L"cache";
}

}  // namespace

void EnvironmentPathConver(std::wstring& path, bool data_from_shell, bool x86_program_files) {
  // A NUL would end the text that the system calls see.
  if (path.empty() || HoldsNul(path)) return;

  if (path[0] == L'^') {
    const size_t last_percent = path.rfind(L'%');
    if (last_percent == std::wstring::npos) return;
    // The character after the caret is skipped whatever it is.
    const std::wstring name = last_percent > 2 ? path.substr(2, last_percent - 2) : std::wstring();
    path = CaretPrefix(name, data_from_shell, x86_program_files) + path.substr(last_percent + 1);
    return;
  }

  if (path[0] == L'%') {
    if (path.compare(0, 9, L"%firefox%") == 0) {
      path = FirefoxCacheFolder();
      return;
    }
    wchar_t buffer[kExpansionCapacity] = {};
    const DWORD needed = ::ExpandEnvironmentStringsW(path.c_str(), buffer, kExpansionCapacity);
    // 0 is a failure, more than the buffer a cut text: keep the path as written.
    if (needed == 0 || needed > kExpansionCapacity) return;
    path = buffer;
  }
}

}  // namespace common

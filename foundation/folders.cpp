#include "t_common/folders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>

#include "foundation/executable_path_override.h"
#include "foundation/input_checks.h"
#include "foundation/path_buffer.h"
#include "foundation/product_names.h"
#include "foundation/wow64_path.h"
#include "t_common/files.h"

namespace common {
namespace {

constexpr unsigned int kSpecialFolderChars = 1040;

bool GetShellFolder(int csidl, wchar_t* buffer, unsigned int capacity, void* token) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, static_cast<HANDLE>(token), SHGFP_TYPE_CURRENT, path) != S_OK)
    return false;
  CopyToCallerBuffer(path, buffer, capacity);
  return true;
}

// The module path of the executable, at most 259 characters.
void ReadExecutablePath(wchar_t (&path)[MAX_PATH]) {
  std::wstring overridden;
  if (GetExecutablePathOverride(&overridden)) {
    CopyToCallerBuffer(overridden.c_str(), path, MAX_PATH);
    return;
  }
  ::GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
}

// The product is one folder of the maker's, so a path in its name (.. among
// them, which PathAppendW would resolve) is refused. A PathAppendW that does
// not fit empties the path, and the next one would make it relative.
std::wstring DataFolder(const wchar_t* product, const wchar_t* leaf, bool create) {
  if (!product || !IsPlainName(product)) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  if (!GetAppDataDir(path, MAX_PATH, nullptr)) return std::wstring();
  for (const wchar_t* part : {TQ_MAKER_NAME, product, leaf})
    if (!::PathAppendW(path, part)) return std::wstring();
  if (create) MakeSureDirPathExist(path);
  return path;
}

}  // namespace

bool GetAppDataDir(wchar_t* buffer, unsigned int capacity, void* token) {
  return GetShellFolder(CSIDL_APPDATA, buffer, capacity, token);
}

bool GetProgramFilesDir(wchar_t* buffer, unsigned int capacity, void* token) {
  return GetShellFolder(CSIDL_PROGRAM_FILES, buffer, capacity, token);
}

bool GetTempDir(wchar_t* buffer, unsigned int capacity, void* token) {
  return GetShellFolder(CSIDL_TEMPLATES, buffer, capacity, token);
}

bool GetAppPath(wchar_t* buffer, unsigned int capacity) {
  wchar_t path[MAX_PATH] = {};
  ReadExecutablePath(path);
  CopyToCallerBuffer(path, buffer, capacity);
  return true;
}

bool GetAppDir(wchar_t* buffer, unsigned int capacity) {
  wchar_t path[MAX_PATH] = {};
  ReadExecutablePath(path);
  if (!::PathRemoveFileSpecW(path)) return false;
  CopyToCallerBuffer(path, buffer, capacity);
  return true;
}

bool GetAppName(wchar_t* buffer, unsigned int capacity) {
  wchar_t path[MAX_PATH] = {};
  ReadExecutablePath(path);
  CopyToCallerBuffer(::PathFindFileNameW(path), buffer, capacity);
  if (buffer && capacity > 0) ::PathRemoveExtensionW(buffer);
  return true;
}

const wchar_t* GetWinDir() { return ::_wgetenv(L"WINDIR"); }

std::wstring GetDumpFolder(const wchar_t* product, bool create) { return DataFolder(product, L"dump_files", create); }
std::wstring GetImageFolder(const wchar_t* product, bool create) { return DataFolder(product, L"image", create); }
std::wstring GetLogFolder(const wchar_t* product, bool create) { return DataFolder(product, L"log", create); }
std::wstring GetPersistentFolder(const wchar_t* product, bool create) {
  return DataFolder(product, L"Persistent", create);
}

std::wstring GetSpecialFolderPath(int csidl, bool redirect) {
  wchar_t path[kSpecialFolderChars] = {};
  ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  if (redirect && csidl == CSIDL_SYSTEM) {
    wchar_t redirected[kSpecialFolderChars] = {};
    ConvertToSysWow64Path(path, redirected, kSpecialFolderChars);
    return redirected;
  }
  return path;
}

bool IsDir(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!path || !::GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsPathFileExisting(const wchar_t* path) {
  if (!path || !*path) return false;
  return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsValidDriver(const wchar_t* path) {
  if (!path) return false;
  const wchar_t root[4] = {path[0], L':', L'\\', L'\0'};
  return ::GetDriveTypeW(root) == DRIVE_FIXED;
}

std::wstring PathCombine1(const wchar_t* folder, const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  if (!::PathCombineW(path, folder, file)) return std::wstring();
  return path;
}

std::wstring PathFindFolder(const wchar_t* path) {
  wchar_t folder[MAX_PATH] = {};
  CopyToCallerBuffer(path ? path : L"", folder, MAX_PATH);
  if (::PathIsDirectoryW(folder)) return folder;
  ::PathRemoveFileSpecW(folder);
  return folder;
}

std::wstring TrimBackslash(const std::wstring& text, const std::wstring& search, const std::wstring& replacement) {
  if (search.empty()) return text;
  // Built from the text in one pass: the scan never reaches inserted text.
  std::wstring result;
  size_t copied = 0;
  for (size_t found = text.find(search); found != std::wstring::npos; found = text.find(search, copied)) {
    result.append(text, copied, found - copied).append(replacement);
    copied = found + search.size();
  }
  return result.append(text, copied, std::wstring::npos);
}

bool ConvertToSysWow64Path(const wchar_t* source, wchar_t* destination, unsigned int capacity) {
  if (!source || !destination || capacity == 0) return false;
  std::wmemset(destination, L'\0', capacity);
  const size_t length = std::wcslen(source);
  if (length >= capacity) return false;

  std::wstring slashes_as_backslashes(source, length);
  for (wchar_t& c : slashes_as_backslashes)
    if (c == L'/') c = L'\\';
  static const wchar_t kSystem32[] = L":\\windows\\system32";
  const wchar_t* found = ::StrStrIW(slashes_as_backslashes.c_str(), kSystem32);
  if (found) {
    const size_t at = static_cast<size_t>(found - slashes_as_backslashes.c_str());
    const size_t after = at + std::wcslen(kSystem32);
    const wchar_t next = slashes_as_backslashes.c_str()[after];
    if (next == L'\0' || next == L'\\') {
      const size_t kept = at + std::wcslen(L":\\windows\\");
      std::wmemcpy(destination, source, kept);
      std::wmemcpy(destination + kept, L"SysWow64", 8);
      std::wmemcpy(destination + kept + 8, source + after, length - after);
      return true;
    }
  }
  std::wmemcpy(destination, source, length);
  return true;
}

}  // namespace common

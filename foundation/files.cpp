#include "t_common/files.h"

#include <windows.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "foundation/input_checks.h"
#include "foundation/path_buffer.h"
#include "win/scoped_handle.h"
#include "t_common/folders.h"
#include "t_common/text.h"

namespace common {
namespace {

// Lists of one path for SHFileOperationW end in two NULs. A path that does not
// fit is refused: a shortened path would name another file.
bool MakeDoubleNulList(const wchar_t* path, wchar_t (&list)[MAX_PATH + 1]) {
  std::wmemset(list, L'\0', MAX_PATH + 1);
  if (!path) return false;
  const size_t length = std::wcslen(path);
  if (length == 0 || length > MAX_PATH - 1) return false;
  std::wmemcpy(list, path, length);
  return true;
}

// Two names of one file, as the file system sees them (another spelling, a
// short name or a hard link); false when either cannot be opened.
bool SameFile(const wchar_t* first, const wchar_t* second) {
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  const wchar_t* paths[2] = {first, second};
  for (int i = 0; i < 2; ++i) {
    const win::ScopedHandle file(::CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file || !::GetFileInformationByHandle(file.get(), &info[i])) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// One line of any length without its line feed; at_end reports the end of the
// file (or a read error), after which no further line follows.
std::string ReadOneLine(FILE* file, bool& at_end) {
  std::string line;
  for (;;) {
    char chunk[128] = {};
    if (!std::fgets(chunk, 127, file)) {
      at_end = true;
      break;
    }
    const size_t length = std::strlen(chunk);
    line.append(chunk, length);
    if (length > 0 && chunk[length - 1] == '\n') {
      line.pop_back();
      at_end = std::feof(file) != 0;
      break;
    }
    if (std::feof(file)) {
      at_end = true;
      break;
    }
  }
  return line;
}

}  // namespace

void* LibraryContainsInterface(wchar_t* library_path, const char* name) {
  if (!library_path || !name) return nullptr;
  HMODULE module = ::LoadLibraryW(library_path);
  if (!module) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(module, name));
}

bool CopyDirectory(const wchar_t* source, const wchar_t* destination) {
  wchar_t from[MAX_PATH + 1], to[MAX_PATH + 1];
  if (!MakeDoubleNulList(source, from) || !MakeDoubleNulList(destination, to)) return false;
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_COPY;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  return ::SHFileOperationW(&operation) == 0;
}

bool CopyFileExW(const wchar_t* source, const wchar_t* destination, int fail_if_exists) {
  if (!source || !destination) return false;
  // The replace-in-use path below would move such a destination aside and
  // delete it at the next restart.
  if (IsDir(destination) || SameFile(source, destination)) return false;
  if (::CopyFileW(source, destination, fail_if_exists)) return true;

  // A side name cut to fit would name another file: refuse instead.
  wchar_t side[MAX_PATH] = {};
  const int side_length = ::_snwprintf(side, MAX_PATH, L"%ls.tmp", destination);
  if (side_length < 0 || side_length >= MAX_PATH) return false;

  const bool moved_aside = ::MoveFileW(destination, side) != 0;
  if (moved_aside || ::_waccess(destination, 0) != 0) {
    if (::CopyFileW(source, destination, fail_if_exists)) {
      ::MoveFileExW(side, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      return true;
    }
    // A missing or unreadable source must not cost the caller the file it had.
    if (moved_aside) ::MoveFileW(side, destination);
  }
  // The destination is held: park the new file beside it until the next restart.
  if (!::CopyFileW(source, side, FALSE)) return false;
  return ::MoveFileExW(side, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool DeleteDirectory(const wchar_t* path, bool to_recycle_bin) {
  wchar_t list[MAX_PATH + 1];
  if (!MakeDoubleNulList(path, list)) return false;
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = list;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  if (to_recycle_bin) operation.fFlags |= FOF_ALLOWUNDO;
  return ::SHFileOperationW(&operation) == 0;
}

bool ForceRemoveFile(const wchar_t* file) {
  if (!file || !::PathFileExistsW(file)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (::GetFileAttributesExW(file, GetFileExInfoStandard, &data)) {
    const DWORD attributes = data.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(file, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return ::DeleteFileW(file) != 0;
}

int GetFileSize(const wchar_t* file) {
  if (!file || !::PathFileExistsW(file)) return 0;
  // Read-data access makes the read-only sharing count: a file that someone is
  // writing has no settled size yet, and gives 0. (FILE_READ_EA alone is not
  // checked against other handles' sharing.)
  win::ScopedHandle handle(
      ::CreateFileW(file, FILE_READ_EA | FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle) return 0;
  const DWORD size = ::GetFileSize(handle.get(), nullptr);
  return static_cast<int>(size) / 1024;
}

bool MakeSureDirPathExist(const wchar_t* folder) {
  if (!folder) return false;
  if (::PathFileExistsW(folder)) return true;
  return ::SHCreateDirectory(nullptr, folder) == ERROR_SUCCESS;
}

// Only a folder: explorer would run any other file it is given.
void OpenFolder(const wchar_t* folder) {
  if (!FitsShellPath(folder) || !IsDir(folder)) return;
  const std::wstring parameters = std::wstring(L"\"") + folder + L"\"";
  wchar_t windows[MAX_PATH] = {};
  ::SHGetSpecialFolderPathW(nullptr, windows, CSIDL_WINDOWS, FALSE);
  const std::wstring explorer = std::wstring(windows) + L"\\explorer";
  ::ShellExecuteW(nullptr, nullptr, explorer.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

bool ReadFileByRow(const wchar_t* file, std::vector<std::wstring>& rows) {
  if (!file) return false;
  FILE* raw = nullptr;
  if (::_wfopen_s(&raw, file, L"r") != 0 || !raw) return false;
  ScopedFile opened(raw);
  bool at_end = false;
  while (!at_end) rows.push_back(s2ws(ReadOneLine(opened.get(), at_end), CP_UTF8));
  return true;
}

}  // namespace common

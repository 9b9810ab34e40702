#include "t_common/channel.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

#include "t_common/files.h"
#include "t_common/folders.h"

namespace common {

std::wstring GetChannel() {
  const wchar_t kUnknown[] = L"unknow";
  wchar_t folder[MAX_PATH] = {};
  if (!GetAppDir(folder, MAX_PATH)) return kUnknown;
  // A name that does not fit is not read at all: a cut path names another file.
  wchar_t path[MAX_PATH] = {};
  const int length = std::swprintf(path, MAX_PATH, L"%ls\\%ls", folder, L".channel");
  if (length < 0 || length >= MAX_PATH) return kUnknown;
  if (!::PathFileExistsW(path)) return kUnknown;
  std::vector<std::wstring> rows;
  if (ReadFileByRow(path, rows) && !rows.empty()) return rows[0];
  return kUnknown;
}

}  // namespace common

/// @file
/// File and folder operations: thin, silent layers over the shell and the file
/// system. Nothing here logs or shows a dialog; failures come back as false,
/// null or 0.
#ifndef T_COMMON_FILES_H_
#define T_COMMON_FILES_H_

#include <string>
#include <vector>

#include "t_common/export.h"

namespace common {

/// Loads the library (never released) and returns the export's address, or null.
T_COMMON_API void* LibraryContainsInterface(wchar_t* library_path, const char* name);

/// Shell copy of a folder with its contents, overwriting, silent.
T_COMMON_API bool CopyDirectory(const wchar_t* source, const wchar_t* destination);

/// Copies a file and replaces a destination that is in use: the old file is
/// moved to `"<destination>.tmp"` (deleted at the next restart), or, when it
/// cannot be moved, the new file waits there to replace it at the next restart.
/// True when the file is in place or its replacement is scheduled. A
/// destination that is a folder, or the source itself under any name (another
/// spelling, a hard link), is refused: false, nothing moved or scheduled.
T_COMMON_API bool CopyFileExW(const wchar_t* source, const wchar_t* destination, int fail_if_exists);

/// Shell delete of a file or folder, optionally to the recycle bin. A path that
/// does not fit 259 characters is refused (false), never shortened.
T_COMMON_API bool DeleteDirectory(const wchar_t* path, bool to_recycle_bin);

/// Clears the read-only attribute if needed and deletes the file.
T_COMMON_API bool ForceRemoveFile(const wchar_t* file);

/// Size in whole KiB; 0 when missing or held open for writing by someone else.
T_COMMON_API int GetFileSize(const wchar_t* file);

/// True when the path exists afterwards (creates every missing level).
T_COMMON_API bool MakeSureDirPathExist(const wchar_t* folder);

/// Shows an existing folder in Explorer. Anything but a folder (Explorer would
/// run a file), and a path of 260 characters or more, does nothing.
T_COMMON_API void OpenFolder(const wchar_t* folder);

/// Appends the file's UTF-8 lines to rows: every line feed ends a row, so a
/// final line feed gives a last empty row and an empty file one empty row.
/// CRLF reads as LF; a BOM stays as U+FEFF. False when the file cannot be opened.
T_COMMON_API bool ReadFileByRow(const wchar_t* file, std::vector<std::wstring>& rows);

}  // namespace common

#endif  // T_COMMON_FILES_H_

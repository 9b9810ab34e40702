/// @file
/// Where the client's programs and per-user data live.
///
/// Buffer forms copy at most capacity-1 characters plus a NUL, cut silently and
/// still return true; capacity 0 leaves the buffer untouched. They return false
/// (buffer untouched) when the system cannot say. The data folders are
/// `<roaming application data>\Brovanta\<product>\<leaf>`, created with every
/// missing level only when asked; an empty string when the application-data
/// folder is unknown.
#ifndef T_COMMON_FOLDERS_H_
#define T_COMMON_FOLDERS_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// Shell folders for a user (token null: the current user).
///@{
T_COMMON_API bool GetAppDataDir(wchar_t* buffer, unsigned int capacity, void* token = nullptr);
T_COMMON_API bool GetProgramFilesDir(wchar_t* buffer, unsigned int capacity, void* token = nullptr);
///@}
/// The user's document templates folder (CSIDL_TEMPLATES), not %TEMP%.
T_COMMON_API bool GetTempDir(wchar_t* buffer, unsigned int capacity, void* token = nullptr);

/// The executable that started the process, not this library: its folder,
/// its full path, its file name.
///@{
T_COMMON_API bool GetAppDir(wchar_t* buffer, unsigned int capacity);
T_COMMON_API bool GetAppPath(wchar_t* buffer, unsigned int capacity);
T_COMMON_API bool GetAppName(wchar_t* buffer, unsigned int capacity);
///@}

/// %WINDIR% from the process environment (not to be freed); null when unset.
T_COMMON_API const wchar_t* GetWinDir();

/// The product's data folders, leaf "dump_files", "image", "log" and
/// "Persistent", created when create is true. Empty, and nothing created, when
/// the product is no plain folder name (null, empty, a path) or the folder's
/// path would not fit in 259 characters.
///@{
T_COMMON_API std::wstring GetDumpFolder(const wchar_t* product, bool create);
T_COMMON_API std::wstring GetImageFolder(const wchar_t* product, bool create);
T_COMMON_API std::wstring GetLogFolder(const wchar_t* product, bool create);
T_COMMON_API std::wstring GetPersistentFolder(const wchar_t* product, bool create);
///@}

/// A CSIDL folder; with redirect, CSIDL_SYSTEM (37) is given as its SysWow64 twin.
T_COMMON_API std::wstring GetSpecialFolderPath(int csidl, bool redirect);

/// True when the path is an existing folder.
T_COMMON_API bool IsDir(const wchar_t* path);
/// True when a file or folder exists at the path.
T_COMMON_API bool IsPathFileExisting(const wchar_t* path);
/// True when the drive of the path's first letter is a fixed disk.
T_COMMON_API bool IsValidDriver(const wchar_t* path);

/// PathCombineW; empty when the combination fails.
T_COMMON_API std::wstring PathCombine1(const wchar_t* folder, const wchar_t* file);
/// An existing folder unchanged, otherwise the path without its last component.
T_COMMON_API std::wstring PathFindFolder(const wchar_t* path);
/// Replaces every occurrence of search, left to right, never rescanning inserted
/// text. An empty search text returns the text unchanged.
T_COMMON_API std::wstring TrimBackslash(const std::wstring& text, const std::wstring& search,
                                        const std::wstring& replacement);

}  // namespace common

#endif  // T_COMMON_FOLDERS_H_

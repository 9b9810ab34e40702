// tqutil status (the library and its folders; other families add sections) and tqutil paths.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "command.h"
#include "commands.h"
#include "foundation/product_names.h"
#include "t_common/folders.h"

namespace {

using namespace tqutil;

const wchar_t kProduct[] = TQ_PRODUCT_NAME;

void PrintModule(const wchar_t* label, const wchar_t* module_name) {
  PrintFact(label, std::wstring(module_name) + L" " + ModuleVersionField(module_name, L"FileVersion") + L" (" +
                       ModuleVersionField(module_name, L"ProductName") + L", " +
                       ModuleVersionField(module_name, L"CompanyName") + L", " +
                       ModuleVersionField(module_name, L"FileDescription") + L")");
}

std::wstring FromBuffer(bool (*get)(wchar_t*, unsigned int)) {
  wchar_t buffer[MAX_PATH] = {};
  return get(buffer, MAX_PATH) ? std::wstring(buffer) : L"(unknown)";
}

std::wstring FromTokenBuffer(bool (*get)(wchar_t*, unsigned int, void*)) {
  wchar_t buffer[MAX_PATH] = {};
  return get(buffer, MAX_PATH, nullptr) ? std::wstring(buffer) : L"(unknown)";
}

std::wstring OrUnknown(const std::wstring& text) { return text.empty() ? L"(unknown)" : text; }

void PrintFolders() {
  PrintFact(L"executable", FromBuffer(&common::GetAppPath));
  PrintFact(L"executable folder", FromBuffer(&common::GetAppDir));
  PrintFact(L"executable name", FromBuffer(&common::GetAppName));
  PrintFact(L"log folder", OrUnknown(common::GetLogFolder(kProduct, false)));
  PrintFact(L"dump folder", OrUnknown(common::GetDumpFolder(kProduct, false)));
  PrintFact(L"image folder", OrUnknown(common::GetImageFolder(kProduct, false)));
  PrintFact(L"persistent folder", OrUnknown(common::GetPersistentFolder(kProduct, false)));
}

void PrintSpecialFolders() {
  PrintFact(L"application data", FromTokenBuffer(&common::GetAppDataDir));
  PrintFact(L"program files", FromTokenBuffer(&common::GetProgramFilesDir));
  PrintFact(L"templates", FromTokenBuffer(&common::GetTempDir));
  const wchar_t* windir = common::GetWinDir();
  PrintFact(L"windows folder", windir ? windir : L"(unset)");
  PrintFact(L"system folder", OrUnknown(common::GetSpecialFolderPath(CSIDL_SYSTEM, false)));
  PrintFact(L"system folder (32-bit)", OrUnknown(common::GetSpecialFolderPath(CSIDL_SYSTEM, true)));
  PrintFact(L"desktop", OrUnknown(common::GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, false)));
  PrintFact(L"local application data", OrUnknown(common::GetSpecialFolderPath(CSIDL_LOCAL_APPDATA, false)));
}

void PrintLibrary() {
  PrintModule(L"library", L"t_common.dll");
  PrintModule(L"base library", L"t_base.dll");
}

int RunStatus(const Args& args) {
  if (!args.empty()) return UsageError(kStatusCommand);
  for (const StatusSection print : AllStatusSections()) print();
  return kExitOk;
}

int RunPaths(const Args& args) {
  if (!args.empty()) return UsageError(kPathsCommand);
  PrintFolders();
  PrintSpecialFolders();
  return kExitOk;
}

}  // namespace

namespace tqutil {

std::wstring ModuleVersionField(const wchar_t* module_name, const wchar_t* field) {
  // The file the loader would pick: the program's folder first.
  wchar_t path[MAX_PATH] = {};
  if (!::SearchPathW(nullptr, module_name, nullptr, MAX_PATH, path, nullptr)) return L"(not found)";
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return L"(no version resource)";
  std::vector<unsigned char> data(size);
  if (!::GetFileVersionInfoW(path, 0, size, data.data())) return L"(no version resource)";
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  if (!::VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
    return L"(none)";
  return value;
}

extern const Command kStatusCommand = {L"status", L"status", L"the library, its folders and what each family reports", &RunStatus};
extern const Command kPathsCommand = {L"paths", L"paths", L"the executable, the data folders and the shell folders", &RunPaths};
extern const StatusSection kLibraryStatus = &PrintLibrary;
extern const StatusSection kFoldersStatus = &PrintFolders;
extern const StatusSection kSpecialFoldersStatus = &PrintSpecialFolders;

}  // namespace tqutil

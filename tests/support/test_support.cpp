#include "support/test_support.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

#include "t_common/text.h"

namespace testing_support {

ScopedTempDir::ScopedTempDir() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static LONG counter = 0;
  wchar_t name[MAX_PATH] = {};
  std::swprintf(name, MAX_PATH, L"%lstq_test_%lu_%lu_%ld", temp, ::GetCurrentProcessId(), ::GetTickCount(),
                ::InterlockedIncrement(&counter));
  path_ = name;
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScopedTempDir::~ScopedTempDir() { RemoveTree(path_); }

std::wstring ScopedTempDir::Child(const std::wstring& name) const { return path_ + L"\\" + name; }

bool WriteBytes(const std::wstring& file, const std::string& bytes) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& file) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(h, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
  ::CloseHandle(h);
  return bytes;
}

bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileW(path.c_str()) != 0;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  return ::RemoveDirectoryW(path.c_str()) != 0;
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

namespace {

bool SameVariableName(const std::wstring& entry, const std::wstring& name) {
  return entry.size() > name.size() && entry[name.size()] == L'=' &&
         ::CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// This process's environment with the variables replaced or added, as a
// block for CreateProcessW: the process's own stays untouched, so children
// can be started from several threads.
std::wstring ChildEnvironment(std::vector<std::pair<std::wstring, std::wstring>> variables) {
  variables.emplace_back(L"TQ_TEST_CHILD", L"1");
  std::wstring block;
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = own; entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring text = entry;
    bool replaced = false;
    for (const auto& variable : variables) replaced = replaced || SameVariableName(text, variable.first);
    if (!replaced) block += text + L'\0';
  }
  if (own) ::FreeEnvironmentStringsW(own);
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  return block + L'\0';
}

}  // namespace

void* StartSelfInChild(const std::string& filter,
                       const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  std::wstring command = L"\"" + SelfPath() + L"\" --gtest_filter=" + common::s2ws(filter, CP_UTF8);
  std::wstring block = ChildEnvironment(environment);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &block[0],
                        nullptr, &startup, &process))
    return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

int RunSelfInChild(const std::string& filter, const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                   unsigned int timeout_ms) {
  HANDLE process = StartSelfInChild(filter, environment);
  if (!process) return -1;
  int exit_code = -1;
  if (::WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    exit_code = static_cast<int>(code);
  } else {
    ::TerminateProcess(process, 1);
  }
  ::CloseHandle(process);
  return exit_code;
}

bool IsChildRun() {
  wchar_t value[8] = {};
  return ::GetEnvironmentVariableW(L"TQ_TEST_CHILD", value, 8) > 0;
}

std::wstring ProgramLogPath() {
  wchar_t appdata[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t path[MAX_PATH] = {};
  std::swprintf(path, MAX_PATH, L"%ls\\Brovanta\\Tessaquill\\log\\program_%04u%02u%02u.log", appdata, now.wYear,
                now.wMonth, now.wDay);
  return path;
}

std::string ReadProgramLog() { return ReadBytes(ProgramLogPath()); }

}  // namespace testing_support

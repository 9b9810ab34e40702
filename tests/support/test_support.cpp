#include "support/test_support.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <thread>

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

int RunSelfInChild(const std::string& filter, const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                   unsigned int timeout_ms) {
  return RunProgramInChild(SelfPath(), filter, environment, timeout_ms);
}

int RunProgramInChild(const std::wstring& program, const std::string& filter,
                      const std::vector<std::pair<std::wstring, std::wstring>>& environment, unsigned int timeout_ms) {
  for (const auto& [name, value] : environment) ::SetEnvironmentVariableW(name.c_str(), value.c_str());
  ::SetEnvironmentVariableW(L"TQ_TEST_CHILD", L"1");
  std::wstring command = L"\"" + program + L"\" --gtest_filter=" + common::s2ws(filter, CP_UTF8);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const BOOL started =
      ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  ::SetEnvironmentVariableW(L"TQ_TEST_CHILD", nullptr);
  for (const auto& variable : environment) ::SetEnvironmentVariableW(variable.first.c_str(), nullptr);
  if (!started) return -1;
  int exit_code = -1;
  if (::WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    exit_code = static_cast<int>(code);
  } else {
    ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return exit_code;
}

bool IsChildRun() {
  wchar_t value[8] = {};
  return ::GetEnvironmentVariableW(L"TQ_TEST_CHILD", value, 8) > 0;
}

std::wstring CopySelfWithLibraries(const std::wstring& folder) {
  const std::wstring self = SelfPath();
  const std::wstring self_folder = self.substr(0, self.find_last_of(L'\\'));
  const std::wstring copy = folder + L"\\" + self.substr(self_folder.size() + 1);
  if (!::CopyFileW(self.c_str(), copy.c_str(), FALSE)) return std::wstring();
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((self_folder + L"\\*.dll").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::wstring();
  bool copied = true;
  do {
    const std::wstring name = data.cFileName;
    copied = copied && ::CopyFileW((self_folder + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return copied ? copy : std::wstring();
}

void RunOnThreadsAtOnce(int count, const std::function<void()>& body) {
  std::atomic<int> waiting{count};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      body();
    });
  }
  for (auto& thread : threads) thread.join();
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

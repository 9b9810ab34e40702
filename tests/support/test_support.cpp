#include "support/test_support.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <map>
#include <regex>
#include <thread>

#include "t_base/program_log.h"
#include "win/scoped_handle.h"

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
  win::ScopedHandle h(
      ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& file) {
  win::ScopedHandle h(::CreateFileW(file.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!h) return std::string();
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(h.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
  return bytes;
}

void ForEachName(const std::wstring& folder, const std::function<void(const std::wstring& name)>& visit) {
  WIN32_FIND_DATAW data;
  const win::ScopedFindHandle find(::FindFirstFileW(folder.c_str(), &data));
  for (bool more = find.valid(); more; more = ::FindNextFileW(find.get(), &data))
    if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) visit(data.cFileName);
}

bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileW(path.c_str()) != 0;
  ForEachName(path + L"\\*", [&](const std::wstring& name) { RemoveTree(path + L"\\" + name); });
  return ::RemoveDirectoryW(path.c_str()) != 0;
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

namespace {

// This process's environment with the given variables added, as a block for
// CreateProcessW; the parent's own environment is never changed, so children
// can be started from several threads at once.
std::wstring ChildEnvironment(const std::vector<std::pair<std::wstring, std::wstring>>& extra) {
  std::wstring block;
  wchar_t* strings = ::GetEnvironmentStringsW();
  for (const wchar_t* p = strings; p && *p; p += std::wcslen(p) + 1) {
    const std::wstring entry = p;
    bool overridden = false;
    for (const auto& variable : extra)
      overridden |= ::_wcsnicmp(entry.c_str(), (variable.first + L"=").c_str(), variable.first.size() + 1) == 0;
    if (!overridden) block += entry + L'\0';
  }
  if (strings) ::FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : extra) block += name + L"=" + value + L'\0';
  block += L'\0';
  return block;
}

// Starts this program with the gtest filter and the variables (and TQ_TEST_CHILD),
// and with its report written to report when one is named; the process
// handle, or null.
HANDLE StartChild(const std::string& filter,
                  const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                  const std::wstring& report = std::wstring()) {
  auto variables = environment;
  variables.emplace_back(L"TQ_TEST_CHILD", L"1");
  std::wstring block = ChildEnvironment(variables);
  std::wstring command = L"\"" + SelfPath() + L"\" --gtest_filter=" + std::wstring(filter.begin(), filter.end());
  if (!report.empty()) command += L" \"--gtest_output=json:" + report + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  win::ScopedProcessInformation process;
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &block[0],
                        nullptr, &startup, process.receive()))
    return nullptr;
  return process.release_process();
}

}  // namespace

int RunSelfInChild(const std::string& filter, const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                   unsigned int timeout_ms) {
  const ScopedTempDir folder;
  const std::wstring report = folder.Child(L"report.json");
  win::ScopedHandle child(StartChild(filter, environment, report));
  if (!child) return -1;
  if (::WaitForSingleObject(child.get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(child.get(), 1);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(child.get(), &code);
  // The child's own report proves that the test ran: gtest lists only the
  // tests that the filter matched, each with how it ended.
  const std::string ran = ReadBytes(report);
  if (ran.find("\"result\": \"COMPLETED\"") == std::string::npos || ran.find("\"result\": \"SKIPPED\"") != std::string::npos)
    return -2;
  return static_cast<int>(code);
}

void* StartSelfInChild(const std::string& filter,
                       const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  return StartChild(filter, environment);
}

bool IsChildRun() {
  wchar_t value[8] = {};
  return ::GetEnvironmentVariableW(L"TQ_TEST_CHILD", value, 8) > 0;
}

bool RanInChild(unsigned int timeout_ms) {
  if (IsChildRun()) return false;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  EXPECT_EQ(RunSelfInChild(name, {}, timeout_ms), 0) << name << " in a child";
  return true;
}

bool WaitFor(const std::function<bool()>& condition, unsigned int timeout_ms) {
  for (const ULONGLONG deadline = ::GetTickCount64() + timeout_ms; !condition(); ::Sleep(20))
    if (::GetTickCount64() >= deadline) return false;
  return true;
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

std::vector<std::pair<std::wstring, std::string>> ReadProgramLogFiles() {
  wchar_t pattern[MAX_PATH] = {};
  if (!GetProgramLogFile(nullptr, pattern, MAX_PATH)) return {};
  const std::wstring folder(pattern, std::wcsrchr(pattern, L'\\') + 1);
  // program_YYYYMMDD.log: by name is by day.
  std::map<std::wstring, std::string> files;
  ForEachName(pattern, [&](const std::wstring& name) { files[folder + name] = ReadBytes(folder + name); });
  return {files.begin(), files.end()};
}

std::string ReadProgramLog() {
  std::string log;
  for (const auto& file : ReadProgramLogFiles()) log += file.second;
  return log;
}

std::string LogWatch::Added() const {
  static const std::regex stamp("(^|\n)[-0-9]+ [:.0-9]+ +[0-9]+ +[0-9]+ ");
  return std::regex_replace(ReadProgramLog().substr(start_), stamp, "$1");
}

std::vector<ProcessEntry> ProcessList() {
  std::vector<ProcessEntry> list;
  const win::ScopedSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot.valid() && ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry))
    list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  return list;
}

}  // namespace testing_support

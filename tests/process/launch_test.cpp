#include "t_common/launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "process/helper_process.h"
#include "process/launch_internal.h"
#include "support/test_support.h"
#include "t_common/processes.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;
using common::launch_internal::AdminVerb;
using common::launch_internal::LauncherCommandLine;
using common::launch_internal::WorkingFolderOf;
using testing_support::ScopedTempDir;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct Launcher {
  const char* name;
  std::function<bool(const wchar_t* path, const wchar_t* parameters, bool wait)> launch;
};

const Launcher kLaunchers[] = {
    {"ExecuteExe", [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExe(p, a, w, true); }},
    {"ExecuteExeAsAdmin", [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExeAsAdmin(p, a, w); }},
    {"LauncherApp",
     [](const wchar_t* p, const wchar_t* a, bool w) { return common::LauncherApp(p, a, w, SW_SHOWNORMAL); }},
};

// An event a helper waits for; set when the test is done with the helper.
class Release {
 public:
  Release() : name_(L"tq_launch_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++count_)),
              event_(::CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}
  ~Release() { ::SetEvent(event_.get()); }
  const std::wstring& name() const { return name_; }

 private:
  static inline int count_ = 0;
  std::wstring name_;
  win::ScopedHandle event_;
};

// Ends what a test left of its helper copy, by its unique name.
void EndCopies(const std::wstring& program) { common::TerminateApp(program.c_str()); }

TEST(LaunchDecisions, WorkingFolderIsThePathLessItsLastComponent) {
  const std::wstring long_path = L"C:\\" + std::wstring(300, L'x') + L"\\prog.exe";
  const struct {
    const wchar_t* path;
    size_t max_length;
    std::wstring folder;
  } cases[] = {
      {L"C:\\A\\B\\prog.exe", MAX_PATH - 1, L"C:\\A\\B"},
      {L"prog.exe", MAX_PATH - 1, L""},
      {L"C:\\prog.exe", MAX_PATH - 1, L"C:\\"},
      // Cut to 259 characters first: the last component is then part of the long name.
      {long_path.c_str(), MAX_PATH - 1, L"C:\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(WorkingFolderOf(c.path, c.max_length), c.folder) << Narrow(c.path);
}

TEST(LaunchDecisions, CommandLineQuotesThePathOnlyWithParameters) {
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", nullptr), L"");
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", L""), L"\"C:\\a b\\p.exe\" ");
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", L"-x \"y z\""), L"\"C:\\a b\\p.exe\" -x \"y z\"");
  const std::wstring cut = LauncherCommandLine(L"p.exe", std::wstring(3000, L'q').c_str());
  EXPECT_EQ(cut.size(), 2047u);
  EXPECT_EQ(cut.substr(0, 9), L"\"p.exe\" q");
}

TEST(LaunchDecisions, AdminVerbAsksForElevationOnlyForNonAdministratorsOnVista) {
  const struct {
    bool vista;
    bool admin;
    const wchar_t* verb;
  } cases[] = {{true, false, L"runas"}, {true, true, nullptr}, {false, false, nullptr}, {false, true, nullptr}};
  for (const auto& c : cases) {
    const wchar_t* verb = AdminVerb(c.vista, c.admin);
    EXPECT_EQ(verb == nullptr ? std::wstring(L"(none)") : verb, c.verb == nullptr ? L"(none)" : c.verb)
        << "vista " << c.vista << " admin " << c.admin;
  }
}

TEST(Launch, WithWaitTheProgramHasRunAndEndedWhenTheCallReturns) {
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    ScopedTempDir dir;
    const std::wstring name = UniqueExeName(L"tq_wait");
    const std::wstring program = CopyHelper(dir.path(), name);
    const std::wstring record = dir.Child(L"rec.txt");
    ASSERT_TRUE(launcher.launch(program.c_str(), (L"--record \"" + record + L"\" sleep 300").c_str(), true));
    const std::string content = testing_support::ReadBytes(record);
    EXPECT_EQ(RecordValue(content, "folder"), Narrow(dir.path()));
    EXPECT_EQ(common::GetProcessID(name.c_str()), 0u);
    EndCopies(name);
  }
}

TEST(Launch, WithoutWaitTheCallReturnsWhileTheProgramRuns) {
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    ScopedTempDir dir;
    const std::wstring name = UniqueExeName(L"tq_nowait");
    const std::wstring program = CopyHelper(dir.path(), name);
    const std::wstring record = dir.Child(L"rec.txt");
    {
      Release release;
      ASSERT_TRUE(launcher.launch(program.c_str(), (L"--record \"" + record + L"\" wait " + release.name()).c_str(),
                                  false));
      EXPECT_FALSE(WaitForRecord(record, "show").empty());
      EXPECT_NE(common::GetProcessID(name.c_str()), 0u);
    }
    EndCopies(name);
  }
}

TEST(Launch, ABareNameRunsInTheCallersFolder) {
  ScopedTempDir caller_folder;
  CopyHelper(caller_folder.path(), L"unused.exe");  // puts the build folder, and so the helper, on PATH
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(caller_folder.path().c_str()));
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    const std::wstring record = caller_folder.Child(std::string(launcher.name) == "LauncherApp" ? L"l.txt" : L"s.txt");
    // CreateProcessW takes a bare name against the current folder, the shell searches PATH too.
    const wchar_t* bare = std::string(launcher.name) == "LauncherApp" ? L"unused.exe" : L"tq_proc_helper.exe";
    ::DeleteFileW(record.c_str());
    EXPECT_TRUE(launcher.launch(bare, (L"--record \"" + record + L"\"").c_str(), true));
    EXPECT_EQ(RecordValue(testing_support::ReadBytes(record), "folder"), Narrow(caller_folder.path()));
  }
  ::SetCurrentDirectoryW(previous);
}

TEST(Launch, ExecuteExeShowsOrHidesTheProgram) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_show"));
  const std::wstring record = dir.Child(L"rec.txt");
  for (const bool show : {true, false}) {
    ASSERT_TRUE(common::ExecuteExe(program.c_str(), (L"--record \"" + record + L"\"").c_str(), true, show));
    const std::string content = testing_support::ReadBytes(record);
    EXPECT_EQ(RecordValue(content, "flags"), "1");
    EXPECT_EQ(RecordValue(content, "show"), show ? "1" : "0");
  }
  ASSERT_TRUE(common::ExecuteExeAsAdmin(program.c_str(), (L"--record \"" + record + L"\"").c_str(), true));
  EXPECT_EQ(RecordValue(testing_support::ReadBytes(record), "show"), "1");
}

TEST(Launch, LauncherAppPassesTheQuotedPathAndParametersExactly) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_params"));
  const std::wstring record = dir.Child(L"rec.txt");
  const std::wstring parameters = L"--record \"" + record + L"\" sleep 1";
  ASSERT_TRUE(common::LauncherApp(program.c_str(), parameters.c_str(), true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(testing_support::ReadBytes(record), "command line"),
            Narrow(L"\"" + program + L"\" " + parameters));
}

TEST(Launch, LauncherAppWithoutParametersStillStartsTheProgram) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_noparams"));
  ASSERT_TRUE(common::LauncherApp(program.c_str(), nullptr, true, SW_SHOWNORMAL));
  // Without arguments the helper records beside itself.
  EXPECT_EQ(RecordValue(testing_support::ReadBytes(program + L".rec"), "folder"), Narrow(dir.path()));
}

TEST(Launch, LauncherAppShowCommand) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_showcmd"));
  const std::wstring record = dir.Child(L"rec.txt");
  const std::wstring parameters = L"--record \"" + record + L"\"";
  ASSERT_TRUE(common::LauncherApp(program.c_str(), parameters.c_str(), true, SW_HIDE));
  std::string content = testing_support::ReadBytes(record);
  EXPECT_TRUE(std::stoul(RecordValue(content, "flags")) & STARTF_USESHOWWINDOW);
  EXPECT_EQ(RecordValue(content, "show"), "0");
  ASSERT_TRUE(common::LauncherApp(program.c_str(), parameters.c_str(), true, SW_SHOWDEFAULT));
  content = testing_support::ReadBytes(record);
  EXPECT_FALSE(std::stoul(RecordValue(content, "flags")) & STARTF_USESHOWWINDOW);
}

TEST(Launch, RefusedPaths) {
  const std::wstring long_path = L"C:\\" + std::wstring(260, L'x') + L".exe";
  ::SetLastError(0);
  EXPECT_FALSE(common::LauncherApp(long_path.c_str(), L"x", true, SW_HIDE));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(common::LauncherApp(L"C:\\no\\such\\program.exe", nullptr, true, SW_HIDE));
  for (const wchar_t* path : {static_cast<const wchar_t*>(nullptr), L""}) {
    for (const auto& launcher : kLaunchers) {
      EXPECT_FALSE(launcher.launch(path, nullptr, true)) << launcher.name << " " << (path ? Narrow(path) : "null");
      EXPECT_FALSE(launcher.launch(path, nullptr, false)) << launcher.name << " " << (path ? Narrow(path) : "null");
    }
  }
}

}  // namespace

#include "t_common/launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "process/helper_process.h"
#include "process/launch_internal.h"
#include "t_common/processes.h"
#include "t_common/text.h"

namespace {

using namespace process_testing;
using common::launch_internal::AdminVerb;
using common::launch_internal::LauncherCommandLine;
using common::ws2s;

const struct {
  const char* name;
  std::function<bool(const wchar_t* path, const wchar_t* parameters, bool wait)> launch;
} kLaunchers[] = {
    {"ExecuteExe", [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExe(p, a, w, true); }},
    {"ExecuteExeAsAdmin",
     [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExeAsAdmin(p, a, w); }},
    {"LauncherApp",
     [](const wchar_t* p, const wchar_t* a, bool w) { return common::LauncherApp(p, a, w, SW_SHOWNORMAL); }},
};

TEST(LaunchDecisions, WorkingFolderIsThePathLessItsLastComponent) {
  const std::wstring long_path = L"C:\\" + std::wstring(300, L'x') + L"\\prog.exe";
  const struct {
    const wchar_t* path;
    std::wstring folder;
  } cases[] = {{L"C:\\A\\B\\prog.exe", L"C:\\A\\B"}, {L"prog.exe", L""}, {L"C:\\prog.exe", L"C:\\"},
               // Cut to 259 characters first: the last component is then part of the long name.
               {long_path.c_str(), L"C:\\"}};
  for (const auto& c : cases)
    EXPECT_EQ(common::launch_internal::WorkingFolderOf(c.path, MAX_PATH - 1), c.folder) << ws2s(c.path);
}

TEST(LaunchDecisions, CommandLineQuotesThePathOnlyWithParameters) {
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", nullptr), L"");
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", L""), L"\"C:\\a b\\p.exe\" ");
  const std::wstring cut = LauncherCommandLine(L"p.exe", std::wstring(3000, L'q').c_str());
  EXPECT_EQ(cut.size(), 2047u);
  EXPECT_EQ(cut.substr(0, 9), L"\"p.exe\" q");
}

TEST(LaunchDecisions, AdminVerbAsksForElevationOnlyForNonAdministratorsOnVista) {
  EXPECT_STREQ(AdminVerb(true, false), L"runas");
  EXPECT_EQ(AdminVerb(true, true), nullptr);
  EXPECT_EQ(AdminVerb(false, false), nullptr);
  EXPECT_EQ(AdminVerb(false, true), nullptr);
}

// With wait the program has run and ended when the call returns; without, the
// call returns while it runs.
TEST(Launch, WaitsOnlyWhenAsked) {
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    const HelperCopy copy(L"tq_wait");
    const NamedEvent release;
    ASSERT_TRUE(launcher.launch(copy.program.c_str(), copy.Arguments(L"sleep 300").c_str(), true));
    EXPECT_EQ(RecordValue(copy.Record(), "folder"), ws2s(copy.dir.path()));
    EXPECT_EQ(common::GetProcessID(copy.name.c_str()), 0u);
    ASSERT_TRUE(launcher.launch(copy.program.c_str(), copy.Arguments(L"wait " + release.name, 1).c_str(), false));
    EXPECT_FALSE(WaitForRecordValue(copy.Record(1), "show").empty());
    EXPECT_NE(common::GetProcessID(copy.name.c_str()), 0u);
    common::TerminateApp(copy.name.c_str());
  }
}

TEST(Launch, ABareNameRunsInTheCallersFolder) {
  const HelperCopy copy(L"tq_bare");  // puts the build folder, and so the helper, on PATH
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(copy.dir.path().c_str()));
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    // CreateProcessW takes a bare name against the current folder, the shell searches PATH too.
    const std::wstring bare = std::string(launcher.name) == "LauncherApp" ? copy.name : L"tq_proc_helper.exe";
    ::DeleteFileW(copy.Record().c_str());
    EXPECT_TRUE(launcher.launch(bare.c_str(), copy.Arguments().c_str(), true));
    EXPECT_EQ(RecordValue(copy.Record(), "folder"), ws2s(copy.dir.path()));
  }
  ::SetCurrentDirectoryW(previous);
}

// Every Wine process is an administrator and "runas" starts the program as
// "open" does: both verbs of ExecuteExeAsAdmin start it, shown normally.
TEST(Launch, TheProgramIsShownAsAsked) {
  const HelperCopy copy(L"tq_show");
  const wchar_t* program = copy.program.c_str();
  const std::wstring arguments = copy.Arguments();
  // The started program's startup flags, and its show state when the flags say it has one.
  const auto started = [&](const std::function<bool()>& launch) {
    ::DeleteFileW(copy.Record().c_str());
    EXPECT_TRUE(launch());
    const std::string flags = RecordValue(copy.Record(), "flags");
    if (flags.empty()) return std::string("not started");
    const bool show_given = std::stoul(flags) & STARTF_USESHOWWINDOW;
    return "flags " + flags + (show_given ? ", show " + RecordValue(copy.Record(), "show") : "");
  };
  EXPECT_EQ(started([&] { return common::ExecuteExe(program, arguments.c_str(), true, true); }), "flags 1, show 1");
  EXPECT_EQ(started([&] { return common::ExecuteExe(program, arguments.c_str(), true, false); }), "flags 1, show 0");
  EXPECT_EQ(started([&] { return common::LauncherApp(program, arguments.c_str(), true, SW_HIDE); }), "flags 1, show 0");
  EXPECT_EQ(started([&] { return common::LauncherApp(program, arguments.c_str(), true, SW_SHOWDEFAULT); }), "flags 0");
  for (const auto admin : {+[] { return false; }, +[] { return true; }}) {
    const auto previous = common::launch_internal::SetAdminCheckForTesting(admin);
    EXPECT_EQ(started([&] { return common::ExecuteExeAsAdmin(program, arguments.c_str(), true); }), "flags 1, show 1")
        << "administrator: " << admin();
    common::launch_internal::SetAdminCheckForTesting(previous);
  }
}

TEST(Launch, LauncherAppCommandLineIsTheQuotedPathAndTheParametersExactly) {
  const HelperCopy copy(L"tq_params");
  const std::wstring parameters = copy.Arguments(L"sleep 1");
  ASSERT_TRUE(common::LauncherApp(copy.program.c_str(), parameters.c_str(), true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(copy.Record(), "command line"), ws2s(L"\"" + copy.program + L"\" " + parameters));
  // Without parameters the program still starts; the helper then records beside itself.
  ASSERT_TRUE(common::LauncherApp(copy.program.c_str(), nullptr, true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(copy.program + L".rec", "folder"), ws2s(copy.dir.path()));
}

// Run in a child under a display: the shell's own code overran its stack on
// long paths, and a missing program opened a message box that waited for a click.
TEST(LaunchRefusals, BadPathsFailAtOnceWithTheirError) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("LaunchRefusals.BadPathsFailAtOnceWithTheirError", {}, 60000), 0);
    return;
  }
  const auto of_length = [](size_t length) { return L"C:\\windows\\" + std::wstring(length - 15, L'x') + L".exe"; };
  const std::wstring longest = of_length(MAX_PATH - 1), too_long = of_length(MAX_PATH), much_too_long = of_length(1000),
                     far_too_long = of_length(40000);
  const struct {
    const char* name;
    const wchar_t* path;
    DWORD error;  // of every launcher
  } cases[] = {
      {"null", nullptr, ERROR_INVALID_PARAMETER},
      {"empty", L"", ERROR_INVALID_PARAMETER},
      {"missing", L"C:\\windows\\tq_no_such_program.exe", ERROR_FILE_NOT_FOUND},
      {"missing, 259 characters", longest.c_str(), ERROR_FILE_NOT_FOUND},
      {"260 characters", too_long.c_str(), ERROR_FILENAME_EXCED_RANGE},
      {"1,000 characters", much_too_long.c_str(), ERROR_FILENAME_EXCED_RANGE},
      {"40,000 characters", far_too_long.c_str(), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& c : cases) {
    for (const auto& launcher : kLaunchers) {
      for (const bool wait : {true, false}) {
        ::SetLastError(0);
        EXPECT_FALSE(launcher.launch(c.path, nullptr, wait)) << launcher.name << ", " << c.name;
        EXPECT_EQ(::GetLastError(), c.error) << launcher.name << ", " << c.name;
      }
    }
  }
}

}  // namespace

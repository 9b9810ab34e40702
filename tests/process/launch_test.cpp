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
using common::ws2s;

const struct {
  const char* name;
  std::function<bool(const wchar_t* path, const wchar_t* parameters, bool wait)> launch;
} kLaunchers[] = {
    {"ExecuteExe", [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExe(p, a, w, true); }},
    {"ExecuteExeAsAdmin", [](const wchar_t* p, const wchar_t* a, bool w) { return common::ExecuteExeAsAdmin(p, a, w); }},
    {"LauncherApp", [](const wchar_t* p, const wchar_t* a, bool w) { return common::LauncherApp(p, a, w, SW_SHOWNORMAL); }},
};

// The program runs in its own folder, or for a bare name in the caller's; with
// wait it has ended when the call returns, without it still runs.
TEST(Launch, RunsInTheProgramsFolderAndWaitsOnlyWhenAsked) {
  for (const auto& launcher : kLaunchers) {
    SCOPED_TRACE(launcher.name);
    const HelperCopy copy(L"tq_wait");
    ASSERT_TRUE(launcher.launch(copy.program.c_str(), copy.Arguments(L"sleep 300").c_str(), true));
    EXPECT_EQ(RecordValue(copy.Record(), "folder"), ws2s(copy.dir.path()));
    EXPECT_FALSE(common::CheckExeIsRunning(copy.name.c_str()));
    ASSERT_TRUE(launcher.launch(copy.program.c_str(), copy.Arguments(L"sleep -1", 1).c_str(), false));
    EXPECT_NE(RecordValue(copy.Record(1), "show", 30000), "");
    EXPECT_TRUE(common::CheckExeIsRunning(copy.name.c_str()));
    common::TerminateApp(copy.name.c_str());
    // CreateProcessW takes a bare name against the current folder, the shell searches PATH too.
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(copy.dir.path().c_str()));
    const bool direct = launcher.name == std::string("LauncherApp");
    EXPECT_TRUE(launcher.launch(direct ? copy.name.c_str() : L"tq_proc_helper.exe", copy.Arguments(L"", 2).c_str(), true));
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(RecordValue(copy.Record(2), "folder"), ws2s(copy.dir.path()));
  }
}

// The startup flags, and the show state when the flags say there is one.
TEST(Launch, TheProgramIsShownAsAsked) {
  const HelperCopy copy(L"tq_show");
  const wchar_t* program = copy.program.c_str();
  const std::wstring arguments = copy.Arguments();
  const auto shown = [&](bool launched) {
    const std::string flags = RecordValue(copy.Record(), "flags"), show = RecordValue(copy.Record(), "show");
    ::DeleteFileW(copy.Record().c_str());
    return !launched ? "failed" : flags == "1" ? "show " + show : "flags " + flags;
  };
  EXPECT_EQ(shown(common::ExecuteExe(program, arguments.c_str(), true, true)), "show 1");
  EXPECT_EQ(shown(common::ExecuteExe(program, arguments.c_str(), true, false)), "show 0");
  EXPECT_EQ(shown(common::LauncherApp(program, arguments.c_str(), true, SW_HIDE)), "show 0");
  EXPECT_EQ(shown(common::LauncherApp(program, arguments.c_str(), true, SW_SHOWDEFAULT)), "flags 0");
}

// Every Wine process is an administrator, and "runas" starts a program as
// "open" does: a file type of the test's own, whose two verbs record to
// different files, shows the verb the shell was given.
TEST(Launch, ExecuteExeAsAdminAsksForElevationOnlyWhenNotAnAdministrator) {
  const HelperCopy copy(L"tq_verb");
  const std::wstring type = L"tqverbtest" + std::to_wstring(::GetCurrentProcessId()), document = copy.dir.Child(L"a." + type);
  ASSERT_TRUE(testing_support::WriteBytes(document, ""));
  for (const std::wstring& key : {L"." + type, type + L"\\shell\\open\\command", type + L"\\shell\\runas\\command"}) {
    const bool runas = key.find(L"runas") != std::wstring::npos;
    const std::wstring value = key[0] == L'.' ? type : L"\"" + copy.program + L"\" " + copy.Arguments(L"", runas);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
  }
  for (const bool admin : {true, false}) {
    const auto previous = common::launch_internal::SetAdminCheckForTesting(admin ? +[] { return true; } : +[] { return false; });
    EXPECT_TRUE(common::ExecuteExeAsAdmin(document.c_str(), nullptr, true));
    common::launch_internal::SetAdminCheckForTesting(previous);
    // The show states "open" and "runas" recorded.
    EXPECT_EQ(RecordValue(copy.Record(0), "show") + "," + RecordValue(copy.Record(1), "show"), admin ? "1," : ",1");
    for (int run : {0, 1}) ::DeleteFileW(copy.Record(run).c_str());
  }
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, type.c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"." + type).c_str());
}

// The quoted path, a blank and the parameters, cut to 2,047 characters; with
// null parameters an empty command line, so the helper records beside itself
// (Wine then gives the program its quoted path, without the blank).
TEST(Launch, LauncherAppCommandLineIsTheQuotedPathAndTheParameters) {
  const HelperCopy copy(L"tq_params");
  const std::wstring parameters = copy.Arguments(L"exit 0 " + std::wstring(3000, L'q'));
  ASSERT_TRUE(common::LauncherApp(copy.program.c_str(), parameters.c_str(), true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(copy.Record(), "command line"), ws2s(L"\"" + copy.program + L"\" " + parameters).substr(0, 2047));
  ASSERT_TRUE(common::LauncherApp(copy.program.c_str(), nullptr, true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(copy.program + L".rec", "folder"), ws2s(copy.dir.path()));
  EXPECT_EQ(RecordValue(copy.program + L".rec", "command line"), ws2s(L"\"" + copy.program + L"\""));
}

// In a child under a display: the shell's own code overran its stack on long
// paths, and a missing program opened a message box that waited for a click.
TEST(Launch, BadPathsFailAtOnceWithTheirError) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Launch.BadPathsFailAtOnceWithTheirError", {}, 60000), 0);
    return;
  }
  const auto of_length = [](size_t length) { return L"C:\\windows\\" + std::wstring(length - 15, L'x') + L".exe"; };
  const std::wstring longest = of_length(MAX_PATH - 1), too_long = of_length(MAX_PATH), far_too_long = of_length(40000);
  const struct { const wchar_t* path; DWORD error; } cases[] = {  // the error of every launcher
      {nullptr, ERROR_INVALID_PARAMETER}, {L"", ERROR_INVALID_PARAMETER}, {longest.c_str(), ERROR_FILE_NOT_FOUND},
      {too_long.c_str(), ERROR_FILENAME_EXCED_RANGE}, {far_too_long.c_str(), ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& c : cases) {
    for (const auto& launcher : kLaunchers) {
      for (const bool wait : {true, false}) {
        ::SetLastError(0);
        EXPECT_FALSE(launcher.launch(c.path, nullptr, wait)) << launcher.name << ", " << &c - cases;
        EXPECT_EQ(::GetLastError(), c.error) << launcher.name << ", " << &c - cases;
      }
    }
  }
}

}  // namespace

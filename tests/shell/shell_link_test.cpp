#include "t_common/shell_link.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/scoped_handle.h"

namespace {

using shell_test::LinkFields;
using shell_test::ReadLink;
using testing_support::ScopedTempDir;

// The CreateLinkIcon lines a call adds to the program log, from the step name on.
class LinkLog {
 public:
  LinkLog() : start_(testing_support::ReadProgramLog().size()) {}
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const std::string log = testing_support::ReadProgramLog().substr(start_);
    for (size_t begin = 0; begin < log.size();) {
      size_t end = log.find('\n', begin);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t step = line.find("CreateLinkIcon ");
      if (step != std::string::npos) lines.push_back(line.substr(step));
      begin = end + 1;
    }
    return lines;
  }

 private:
  size_t start_;
};

std::string Narrow(const std::wstring& text) { return common::ws2s(text); }

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return full;
}

TEST(CreateLinkIcon, WritesEveryFieldAndLogsEachStepInOrder) {
  ScopedTempDir dir;
  const std::wstring link = dir.Child(L"client.lnk");
  LinkLog log;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\Client\\run.exe", link, L"--silent -x", L"C:\\Apps\\Client\\run.ico",
                                     L"Quotes and news"));

  const LinkFields fields = ReadLink(link);
  ASSERT_EQ(fields.load_result, S_OK);
  EXPECT_EQ(fields.target, L"C:\\Apps\\Client\\run.exe");
  EXPECT_EQ(fields.working_folder, L"C:\\Apps\\Client");
  EXPECT_EQ(fields.arguments, L"--silent -x");
  EXPECT_EQ(fields.description, L"Quotes and news");
  EXPECT_EQ(fields.icon, L"C:\\Apps\\Client\\run.ico");
  EXPECT_EQ(fields.icon_index, 0);
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = C:\\Apps\\Client\\run.exe",
      "CreateLinkIcon szDirectory = C:\\Apps\\Client",
      "CreateLinkIcon sParam = --silent -x",
      "CreateLinkIcon sDec = Quotes and news",
      "CreateLinkIcon sIconTrimed = C:\\Apps\\Client\\run.ico",
      "CreateLinkIcon sSavePathTrimed = " + Narrow(link),
  };
  EXPECT_EQ(log.Lines(), expected);
}

TEST(CreateLinkIcon, NormalisesSeparatorsOfTargetIconAndSavePath) {
  ScopedTempDir dir;
  struct Case {
    const wchar_t* given;
    const wchar_t* stored;
  };
  const Case cases[] = {
      {L"C:/Apps/Client/run.exe", L"C:\\Apps\\Client\\run.exe"},
      {L"C:\\\\Apps\\\\Client\\\\run.exe", L"C:\\Apps\\Client\\run.exe"},
      {L"\\\\server\\share\\run.exe", L"\\server\\share\\run.exe"},
      {L"C:\\Apps\\\\\\Client\\run.exe", L"C:\\Apps\\\\Client\\run.exe"},    // three become two
      {L"C:\\Apps\\\\\\\\Client\\run.exe", L"C:\\Apps\\\\Client\\run.exe"},  // four become two
      {L"C:\\Apps//Client\\run.exe", L"C:\\Apps\\\\Client\\run.exe"},        // slashes after the collapse
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.given));
    const std::wstring name = L"case" + std::to_wstring(index++) + L".lnk";
    // The save path gets the same separators: forward slashes and a doubled backslash.
    std::wstring save_path = dir.path() + L"\\\\" + name;
    save_path[2] = L'/';
    LinkLog log;
    ASSERT_TRUE(common::CreateLinkIcon(c.given, save_path, L"", c.given, L""));
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "CreateLinkIcon sDstFileTrimed = " + Narrow(c.stored));
    EXPECT_EQ(lines[2], "CreateLinkIcon sIconTrimed = " + Narrow(c.stored));
    EXPECT_EQ(lines[3], "CreateLinkIcon sSavePathTrimed = " + Narrow(dir.Child(name)));
    const LinkFields fields = ReadLink(dir.Child(name));
    ASSERT_EQ(fields.load_result, S_OK);
    EXPECT_EQ(fields.icon, c.stored);
    // The shell keeps the target as a full path of its own making.
    EXPECT_EQ(fields.target, FullPath(c.stored));
  }
}

TEST(CreateLinkIcon, ForwardSlashTargetGetsItsFolderAsWorkingFolder) {
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:/Apps/Client/run.exe", dir.Child(L"a.lnk"), L"", L"", L""));
  EXPECT_EQ(ReadLink(dir.Child(L"a.lnk")).working_folder, L"C:\\Apps\\Client");
}

TEST(CreateLinkIcon, BareTargetNameLogsAndSetsAnEmptyWorkingFolder) {
  ScopedTempDir dir;
  LinkLog log;
  ASSERT_TRUE(common::CreateLinkIcon(L"run.exe", dir.Child(L"bare.lnk"), L"", L"", L""));
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = run.exe",
      "CreateLinkIcon szDirectory = ",
      "CreateLinkIcon sSavePathTrimed = " + Narrow(dir.Child(L"bare.lnk")),
  };
  EXPECT_EQ(log.Lines(), expected);
  const LinkFields fields = ReadLink(dir.Child(L"bare.lnk"));
  ASSERT_EQ(fields.load_result, S_OK);
  EXPECT_EQ(fields.working_folder, L"");
}

TEST(CreateLinkIcon, EmptyArgumentsDescriptionAndIconSetNothingAndLogNothing) {
  ScopedTempDir dir;
  LinkLog log;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"plain.lnk"), L"", L"", L""));
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe",
      "CreateLinkIcon szDirectory = C:\\Apps",
      "CreateLinkIcon sSavePathTrimed = " + Narrow(dir.Child(L"plain.lnk")),
  };
  EXPECT_EQ(log.Lines(), expected);
  const LinkFields fields = ReadLink(dir.Child(L"plain.lnk"));
  ASSERT_EQ(fields.load_result, S_OK);
  EXPECT_EQ(fields.arguments, L"");
  EXPECT_EQ(fields.description, L"");
  EXPECT_EQ(fields.icon, L"");
}

TEST(CreateLinkIcon, ReplacesAnExistingLink) {
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\one.exe", dir.Child(L"x.lnk"), L"1", L"", L""));
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\two.exe", dir.Child(L"x.lnk"), L"", L"", L""));
  const LinkFields fields = ReadLink(dir.Child(L"x.lnk"));
  EXPECT_EQ(fields.target, L"C:\\two.exe");
  EXPECT_EQ(fields.arguments, L"");
}

TEST(CreateLinkIcon, MissingFolderFailsAndLogsTheSaveResultAsSignedDecimal) {
  ScopedTempDir dir;
  const std::wstring link = dir.Child(L"no such folder\\x.lnk");
  LinkLog log;
  EXPECT_FALSE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link, L"", L"", L""));
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe",
      "CreateLinkIcon szDirectory = C:\\Apps",
      "CreateLinkIcon sSavePathTrimed = " + Narrow(link),
      "CreateLinkIcon ppf->Save fail : hres = " + std::to_string(static_cast<int>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))),
  };
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(::GetFileAttributesW(dir.Child(L"no such folder").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Another thread in the multithreaded apartment would make COM usable here,
// so this runs alone in a child process; it writes a marker the parent checks.
TEST(CreateLinkIcon, ThreadWithoutComGetsItForTheCallOnly) {
  if (!testing_support::IsChildRun()) {
    ScopedTempDir dir;
    const std::wstring marker = dir.Child(L"ran.txt");
    ASSERT_EQ(testing_support::RunSelfInChild("CreateLinkIcon.ThreadWithoutComGetsItForTheCallOnly",
                                              {{L"TQ_SHELL_MARKER", marker}}),
              0);
    EXPECT_EQ(testing_support::ReadBytes(marker), "no com, link written, no com");
    return;
  }
  wchar_t marker[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"TQ_SHELL_MARKER", marker, MAX_PATH), 0u);
  win::ComPtr<IShellLinkW> probe;
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, probe.put_void()),
            CO_E_NOTINITIALIZED);
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"c.lnk"), L"", L"", L""));
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, probe.put_void()),
            CO_E_NOTINITIALIZED);
  ASSERT_EQ(ReadLink(dir.Child(L"c.lnk")).target, L"C:\\Apps\\run.exe");
  ASSERT_TRUE(testing_support::WriteBytes(marker, "no com, link written, no com"));
}

TEST(CreateLinkIcon, ThreadWithComKeepsItsOwnApartment) {
  ScopedTempDir dir;
  HRESULT before = E_FAIL, after_same = E_FAIL;
  bool written = false;
  std::thread thread([&] {
    before = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    written = common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"m.lnk"), L"", L"", L"");
    // Still the multithreaded apartment: asking for it again is S_FALSE, and
    // the thread's one initialisation is still there to undo.
    after_same = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::CoUninitialize();
    ::CoUninitialize();
  });
  thread.join();
  EXPECT_EQ(before, S_OK);
  EXPECT_TRUE(written);
  EXPECT_EQ(after_same, S_FALSE);
}

// Bad input gives false or an unusable link, never a crash, and writes
// nothing but the save path it names.
TEST(CreateLinkIcon, BadInput) {
  ScopedTempDir dir;
  const std::wstring long_name(300, L'a');
  struct Case {
    const char* what;
    std::wstring target, save_path;
    bool expected;
  };
  const Case cases[] = {
      {"empty target", L"", dir.Child(L"empty-target.lnk"), true},
      {"300-character target", L"C:\\" + long_name + L".exe", dir.Child(L"long-target.lnk"), true},
      {"empty save path", L"C:\\Apps\\run.exe", L"", false},
      {"300-character save path", L"C:\\Apps\\run.exe", dir.Child(long_name + L".lnk"), false},
      {"save path names a folder", L"C:\\Apps\\run.exe", dir.path(), false},
      {"save path with a character no file name holds", L"C:\\Apps\\run.exe", dir.Child(L"a|b?.lnk"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(common::CreateLinkIcon(c.target, c.save_path, L"", L"", L""), c.expected);
  }
  WIN32_FIND_DATAW found;
  std::vector<std::wstring> names;
  win::ScopedFindHandle search(::FindFirstFileW(dir.Child(L"*").c_str(), &found));
  ASSERT_TRUE(search.valid());
  do {
    if (found.cFileName[0] != L'.') names.push_back(found.cFileName);
  } while (::FindNextFileW(search.get(), &found));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"empty-target.lnk", L"long-target.lnk"}));
}

// Links for lnkinfo, a reader independent of the shell, which a later CTest
// step runs on them (tests/shell/check_links.sh holds what it must find).
TEST(CreateLinkIcon, WritesLinksForAnIndependentReader) {
  wchar_t folder[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"TQ_LINK_OUTPUT", folder, MAX_PATH) == 0) {
    GTEST_SKIP() << "TQ_LINK_OUTPUT names the folder for the links";
  }
  testing_support::RemoveTree(folder);
  ASSERT_TRUE(::CreateDirectoryW(folder, nullptr));
  const std::wstring out = folder;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\\\Apps\\\\Client\\\\run.exe", out + L"/full.lnk", L"--silent -x",
                                     L"C:/Apps/Client/run.ico", L"Quotes and news"));
  ASSERT_TRUE(common::CreateLinkIcon(L"\\\\server\\share\\run.exe", out + L"\\\\network.lnk", L"", L"", L""));
  ASSERT_TRUE(common::CreateLinkIcon(L"run.exe", out + L"\\bare.lnk", L"", L"", L""));
}

}  // namespace

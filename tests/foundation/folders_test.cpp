#include "t_common/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "foundation/executable_path_override.h"
#include "foundation/wow64_path.h"
#include "support/sandbox.h"
#include "support/test_support.h"
#include "win/registry_key.h"

namespace {

using testing_support::ScopedTempDir;

std::wstring LastName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// Caller buffers are cut to capacity - 1 and terminated; capacity 0 leaves them untouched. A path
// without a folder to remove gives no folder.
TEST(Executable, PathFolderAndNameOfTheTestProgramInBuffersOfAnyCapacity) {
  wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {}, name[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppPath(path, MAX_PATH) && common::GetAppDir(folder, MAX_PATH));
  ASSERT_TRUE(common::GetAppName(name, MAX_PATH));
  EXPECT_EQ(std::wstring(path), testing_support::SelfPath());
  EXPECT_EQ(std::wstring(path), std::wstring(folder) + L"\\foundation_tests.exe");
  EXPECT_STREQ(name, L"foundation_tests");
  wchar_t small[16];
  std::wmemset(small, L'#', 16);
  EXPECT_TRUE(common::GetAppDir(small, 10));
  EXPECT_EQ(std::wstring(small), std::wstring(folder, 9));
  EXPECT_EQ(small[10], L'#');
  wchar_t untouched[4] = {L'x', L'y', L'z', L'\0'};
  EXPECT_TRUE(common::GetAppPath(untouched, 0) && common::GetAppDataDir(untouched, 0, nullptr));
  const common::ScopedExecutablePathOverride root(L"C:\\");
  EXPECT_FALSE(common::GetAppDir(untouched, 4));
  EXPECT_STREQ(untouched, L"xyz");
}

// Each by its folder number: the application data that the test's main redirected, the programs
// folder, the templates (not the temporary files).
TEST(ShellFolders, AppDataProgramFilesAndTemplates) {
  wchar_t app_data[MAX_PATH] = {}, programs[MAX_PATH] = {}, templates[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppDataDir(app_data, MAX_PATH, nullptr) && common::GetTempDir(templates, MAX_PATH, nullptr));
  ASSERT_TRUE(common::GetProgramFilesDir(programs, MAX_PATH, nullptr));
  win::RegistryKey folders;
  std::wstring redirected;
  folders.Open(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
               KEY_READ);
  ASSERT_EQ(folders.ReadString(L"AppData", &redirected), ERROR_SUCCESS);
  EXPECT_EQ(app_data, redirected);
  EXPECT_EQ(LastName(programs), L"Program Files");
  EXPECT_EQ(LastName(templates), L"Templates");
}

TEST(DataFolders, PathShapeAndCreationOnlyWhenAsked) {
  wchar_t app_data[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppDataDir(app_data, MAX_PATH, nullptr));
  const std::wstring product = L"FolderTest" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring product_root = std::wstring(app_data) + L"\\Brovanta\\" + product;
  const struct { std::wstring (*get)(const wchar_t*, bool); const wchar_t* leaf; } cases[] = {
      {&common::GetDumpFolder, L"dump_files"}, {&common::GetImageFolder, L"image"},
      {&common::GetLogFolder, L"log"}, {&common::GetPersistentFolder, L"Persistent"}};
  for (const auto& c : cases) {
    const std::wstring expected = product_root + L"\\" + c.leaf;
    EXPECT_EQ(c.get(product.c_str(), false), expected);
    EXPECT_FALSE(common::IsPathFileExisting(expected.c_str())) << expected;
    EXPECT_EQ(c.get(product.c_str(), true), expected);
    EXPECT_TRUE(common::IsDir(expected.c_str())) << expected;
  }
  EXPECT_TRUE(testing_support::RemoveTree(product_root));
}

// A product that is no plain folder name, null or empty, or one the path
// cannot fit, gives the empty result (never a relative path) and creates nothing.
TEST(DataFolders, AProductThatIsNoPlainNameOrDoesNotFitGivesEmptyAndCreatesNothing) {
  wchar_t roaming[MAX_PATH] = {}, current[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppDataDir(roaming, MAX_PATH, nullptr));
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const std::wstring here = current, too_long(250, L'x');
  // The maker's folder and this product fill the path: no leaf fits.
  const std::wstring fills(MAX_PATH - 1 - std::wcslen(roaming) - std::wcslen(L"\\Brovanta\\"), L'y');
  const testing_support::SandboxWatch watch(
      {roaming, L"C:\\escaped", here + L"\\dump_files", here + L"\\image", here + L"\\log", here + L"\\Persistent"});
  for (const wchar_t* product : {static_cast<const wchar_t*>(nullptr), L"", L"..", L"..\\escaped", L"a\\b",
                                 L"C:\\escaped", too_long.c_str(), fills.c_str()}) {
    for (auto get :
         {&common::GetDumpFolder, &common::GetImageFolder, &common::GetLogFolder, &common::GetPersistentFolder})
      for (const bool create : {false, true}) EXPECT_EQ(get(product, create), L"") << (product ? product : L"null");
  }
  EXPECT_TRUE(watch.Unchanged());
}

// Only the system folder is redirected; an unknown folder number gives empty.
TEST(SpecialFolderPath, SystemFolderRedirectsToSysWow64) {
  const std::wstring system = common::GetSpecialFolderPath(CSIDL_SYSTEM, false);
  EXPECT_EQ(::lstrcmpiW(LastName(system).c_str(), L"system32"), 0) << system;
  EXPECT_EQ(common::GetSpecialFolderPath(CSIDL_SYSTEM, true), system.substr(0, system.size() - 9) + L"\\SysWow64");
  EXPECT_EQ(common::GetSpecialFolderPath(CSIDL_WINDOWS, true), common::GetSpecialFolderPath(CSIDL_WINDOWS, false));
  EXPECT_EQ(common::GetSpecialFolderPath(0x7777, false), L"");
}

// Only a whole System32 segment is rewritten, and the whole destination is zero-filled; a
// source must fit with its NUL.
TEST(ConvertToSysWow64Path, RewritesOnlyAWholeSystem32SegmentAndRefusesWhatDoesNotFit) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\Windows\\System32\\drivers", L"C:\\Windows\\SysWow64\\drivers"},
      {L"C:\\Windows\\System32", L"C:\\Windows\\SysWow64"}, {L"C:/windows/system32/a", L"C:/windows/SysWow64/a"},
      {L"c:\\WINDOWS\\system32\\a.dll", L"c:\\WINDOWS\\SysWow64\\a.dll"}, {L"D:\\data", L"D:\\data"}, {L"", L""},
      {L"C:\\Windows\\System32x", L"C:\\Windows\\System32x"}};
  for (const auto& [source, expected] : cases) {
    wchar_t destination[64];
    std::wmemset(destination, L'#', 64);
    EXPECT_TRUE(common::ConvertToSysWow64Path(source, destination, 64)) << source;
    EXPECT_STREQ(destination, expected);
    EXPECT_EQ(destination[63], L'\0') << source;
  }
  wchar_t destination[8];
  EXPECT_FALSE(common::ConvertToSysWow64Path(nullptr, destination, 8));
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\", nullptr, 8));
  std::wmemset(destination, L'#', 8);
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\", destination, 0));
  EXPECT_EQ(destination[0], L'#');
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\abcde", destination, 8));
  EXPECT_TRUE(common::ConvertToSysWow64Path(L"C:\\abcd", destination, 8));
  EXPECT_STREQ(destination, L"C:\\abcd");
}

TEST(PathTests, DirectoriesFilesMissingPathsAndFixedDrives) {
  ScopedTempDir temp;
  const std::wstring file = temp.Child(L"f.txt"), missing = temp.Child(L"missing");
  ASSERT_TRUE(testing_support::WriteBytes(file, "x"));
  const struct { const wchar_t* path; bool dir, exists; } cases[] = {
      {temp.path().c_str(), true, true}, {file.c_str(), false, true}, {missing.c_str(), false, false},
      {L"", false, false}, {nullptr, false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(common::IsDir(c.path), c.dir) << (c.path ? c.path : L"null");
    EXPECT_EQ(common::IsPathFileExisting(c.path), c.exists) << (c.path ? c.path : L"null");
  }
  EXPECT_EQ(common::PathFindFolder(temp.path().c_str()), temp.path());
  EXPECT_EQ(common::PathFindFolder(file.c_str()), temp.path());
  EXPECT_EQ(common::PathFindFolder(temp.Child(L"missing\\leaf").c_str()), missing);
  EXPECT_TRUE(common::IsValidDriver(L"C:\\no\\such\\path"));
  EXPECT_FALSE(common::IsValidDriver(L"\\\\server\\share"));
  EXPECT_FALSE(common::IsValidDriver(nullptr));
}

// Replaced left to right without rescanning what was put in.
TEST(PathText, CombineAndTrimBackslash) {
  EXPECT_EQ(common::PathCombine1(L"C:\\a", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(common::PathCombine1(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(common::PathCombine1((L"C:\\" + std::wstring(300, L'x')).c_str(), L"b.txt"), L"");
  const std::wstring cases[][4] = {{L"a\\\\\\b", L"\\\\", L"\\", L"a\\\\b"}, {L"aaa", L"a", L"aa", L"aaaaaa"},
      {L"x/y/z", L"/", L"\\", L"x\\y\\z"}, {L"//a///b//", L"//", L"", L"a/b"}, {L"abc", L"", L"z", L"abc"},
      {L"", L"a", L"b", L""}};
  for (const auto& c : cases) EXPECT_EQ(common::TrimBackslash(c[0], c[1], c[2]), c[3]) << c[0];
}

}  // namespace

#include "t_common/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "foundation/wow64_path.h"
#include "support/test_support.h"
#include "t_common/os_version.h"

namespace {

using testing_support::ScopedTempDir;

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return std::wstring();
  return path;
}

std::wstring EndingOf(const std::wstring& text, size_t count) {
  return text.size() < count ? text : text.substr(text.size() - count);
}

TEST(CallerBuffer, CutToCapacityMinusOneAndTerminated) {
  wchar_t full[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppDir(full, MAX_PATH));
  ASSERT_GT(std::wcslen(full), 9u);

  wchar_t small[16];
  std::wmemset(small, L'#', 16);
  EXPECT_TRUE(common::GetAppDir(small, 10));
  EXPECT_EQ(std::wstring(small), std::wstring(full, 9));
  EXPECT_EQ(small[10], L'#');  // nothing written past the capacity
}

TEST(CallerBuffer, CapacityZeroLeavesTheBufferUntouched) {
  wchar_t buffer[4] = {L'x', L'y', L'z', L'\0'};
  EXPECT_TRUE(common::GetAppPath(buffer, 0));
  EXPECT_TRUE(common::GetAppDataDir(buffer, 0, nullptr));
  EXPECT_STREQ(buffer, L"xyz");
}

TEST(Executable, PathFolderAndNameDescribeTheTestProgram) {
  wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {}, name[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppPath(path, MAX_PATH));
  ASSERT_TRUE(common::GetAppDir(folder, MAX_PATH));
  ASSERT_TRUE(common::GetAppName(name, MAX_PATH));
  EXPECT_EQ(std::wstring(path), testing_support::SelfPath());
  EXPECT_EQ(std::wstring(path), std::wstring(folder) + L"\\foundation_tests.exe");
  EXPECT_STREQ(name, L"foundation_tests");
}

TEST(ShellFolders, MatchTheShellForTheirFolderNumbers) {
  wchar_t buffer[MAX_PATH] = {};
  ASSERT_TRUE(common::GetAppDataDir(buffer, MAX_PATH, nullptr));
  EXPECT_EQ(std::wstring(buffer), ShellFolder(CSIDL_APPDATA));
  ASSERT_TRUE(common::GetProgramFilesDir(buffer, MAX_PATH, nullptr));
  EXPECT_EQ(std::wstring(buffer), ShellFolder(CSIDL_PROGRAM_FILES));
  ASSERT_TRUE(common::GetTempDir(buffer, MAX_PATH, nullptr));
  EXPECT_EQ(std::wstring(buffer), ShellFolder(CSIDL_TEMPLATES));
}

TEST(ShellFolders, WinDirIsTheEnvironmentValue) {
  const wchar_t* windir = common::GetWinDir();
  ASSERT_NE(windir, nullptr);
  EXPECT_EQ(windir, ::_wgetenv(L"WINDIR"));
}

TEST(DataFolders, PathShapeAndCreationOnlyWhenAsked) {
  const std::wstring product = L"FolderTest" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring product_root = ShellFolder(CSIDL_APPDATA) + L"\\Brovanta\\" + product;
  struct Case {
    std::wstring (*get)(const wchar_t*, bool);
    const wchar_t* leaf;
  } cases[] = {{&common::GetDumpFolder, L"dump_files"},
               {&common::GetImageFolder, L"image"},
               {&common::GetLogFolder, L"log"},
               {&common::GetPersistentFolder, L"Persistent"}};
  for (const Case& c : cases) {
    const std::wstring expected = product_root + L"\\" + c.leaf;
    EXPECT_EQ(c.get(product.c_str(), false), expected);
    EXPECT_FALSE(common::IsPathFileExisting(expected.c_str())) << expected;
    EXPECT_EQ(c.get(product.c_str(), true), expected);
    EXPECT_TRUE(common::IsDir(expected.c_str())) << expected;
  }
  EXPECT_TRUE(testing_support::RemoveTree(product_root));
}

TEST(SpecialFolderPath, SystemFolderRedirectsToSysWow64) {
  const std::wstring system = common::GetSpecialFolderPath(CSIDL_SYSTEM, false);
  const std::wstring redirected = common::GetSpecialFolderPath(CSIDL_SYSTEM, true);
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(redirected.size(), system.size());
  EXPECT_EQ(EndingOf(redirected, 9), L"\\SysWow64");
  // Only the system folder is redirected.
  EXPECT_EQ(common::GetSpecialFolderPath(CSIDL_WINDOWS, true), common::GetSpecialFolderPath(CSIDL_WINDOWS, false));
}

#if defined(__i386__)
WORD ImageMachine(const std::wstring& file) {
  const std::string image = testing_support::ReadBytes(file);
  if (image.size() < sizeof(IMAGE_DOS_HEADER)) return 0;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const size_t machine_at = static_cast<size_t>(dos->e_lfanew) + sizeof(DWORD);
  if (machine_at + sizeof(WORD) > image.size()) return 0;
  WORD machine;
  std::memcpy(&machine, image.data() + machine_at, sizeof machine);
  return machine;
}

// In a 32-bit process on 64-bit Windows the converted system folder is the
// 32-bit one: the shell's own name for it, holding 32-bit system modules.
TEST(SpecialFolderPath, RedirectedSystemFolderIsThe32BitOneUnderWow64) {
  ASSERT_TRUE(common::IsX64System());
  const std::wstring redirected = common::GetSpecialFolderPath(CSIDL_SYSTEM, true);
  EXPECT_EQ(::lstrcmpiW(redirected.c_str(), ShellFolder(CSIDL_SYSTEMX86).c_str()), 0) << redirected;
  EXPECT_TRUE(common::IsDir(redirected.c_str()));
  EXPECT_EQ(ImageMachine(redirected + L"\\kernel32.dll"), IMAGE_FILE_MACHINE_I386);
}
#endif

TEST(SpecialFolderPath, UnknownFolderNumberGivesEmpty) {
  EXPECT_EQ(common::GetSpecialFolderPath(0x7777, false), L"");
}

struct ConversionCase {
  const wchar_t* source;
  const wchar_t* expected;
};

TEST(ConvertToSysWow64Path, RewritesOnlyAWholeSystem32Segment) {
  const ConversionCase cases[] = {
      {L"C:\\Windows\\System32\\drivers", L"C:\\Windows\\SysWow64\\drivers"},
      {L"C:\\Windows\\System32", L"C:\\Windows\\SysWow64"},
      {L"c:\\WINDOWS\\system32\\a.dll", L"c:\\WINDOWS\\SysWow64\\a.dll"},
      {L"C:/windows/system32/a", L"C:/windows/SysWow64/a"},
      {L"C:\\Windows\\System32x", L"C:\\Windows\\System32x"},
      {L"D:\\data", L"D:\\data"},
      {L"", L""},
  };
  for (const ConversionCase& c : cases) {
    wchar_t destination[64];
    std::wmemset(destination, L'#', 64);
    EXPECT_TRUE(common::ConvertToSysWow64Path(c.source, destination, 64)) << c.source;
    EXPECT_STREQ(destination, c.expected);
    EXPECT_EQ(destination[63], L'\0') << "the whole destination is zero-filled";
  }
}

TEST(ConvertToSysWow64Path, RefusesBadArgumentsAndSourcesThatDoNotFit) {
  wchar_t destination[8];
  EXPECT_FALSE(common::ConvertToSysWow64Path(nullptr, destination, 8));
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\", nullptr, 8));
  std::wmemset(destination, L'#', 8);
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\", destination, 0));
  EXPECT_EQ(destination[0], L'#');
  EXPECT_FALSE(common::ConvertToSysWow64Path(L"C:\\abcde", destination, 8));  // 8 characters need 9
  EXPECT_TRUE(common::ConvertToSysWow64Path(L"C:\\abcd", destination, 8));
  EXPECT_STREQ(destination, L"C:\\abcd");
}

TEST(PathTests, DirectoriesFilesAndMissingPaths) {
  ScopedTempDir temp;
  const std::wstring file = temp.Child(L"f.txt");
  ASSERT_TRUE(testing_support::WriteBytes(file, "x"));
  EXPECT_TRUE(common::IsDir(temp.path().c_str()));
  EXPECT_FALSE(common::IsDir(file.c_str()));
  EXPECT_FALSE(common::IsDir(temp.Child(L"missing").c_str()));
  EXPECT_FALSE(common::IsDir(nullptr));
  EXPECT_TRUE(common::IsPathFileExisting(file.c_str()));
  EXPECT_TRUE(common::IsPathFileExisting(temp.path().c_str()));
  EXPECT_FALSE(common::IsPathFileExisting(temp.Child(L"missing").c_str()));
  EXPECT_FALSE(common::IsPathFileExisting(L""));
  EXPECT_FALSE(common::IsPathFileExisting(nullptr));
}

TEST(PathTests, ValidDriverIsAFixedDriveWhetherOrNotThePathExists) {
  EXPECT_TRUE(common::IsValidDriver(L"C:\\no\\such\\path"));
  EXPECT_FALSE(common::IsValidDriver(L"\\\\server\\share"));
  EXPECT_FALSE(common::IsValidDriver(nullptr));
}

TEST(PathText, CombineAndItsFailure) {
  EXPECT_EQ(common::PathCombine1(L"C:\\a", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(common::PathCombine1(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txt");
  const std::wstring long_folder = L"C:\\" + std::wstring(300, L'x');
  EXPECT_EQ(common::PathCombine1(long_folder.c_str(), L"b.txt"), L"");
}

TEST(PathText, FindFolderKeepsFoldersAndStripsFileNames) {
  ScopedTempDir temp;
  const std::wstring file = temp.Child(L"f.txt");
  ASSERT_TRUE(testing_support::WriteBytes(file, "x"));
  EXPECT_EQ(common::PathFindFolder(temp.path().c_str()), temp.path());
  EXPECT_EQ(common::PathFindFolder(file.c_str()), temp.path());
  EXPECT_EQ(common::PathFindFolder(temp.Child(L"missing\\leaf").c_str()), temp.Child(L"missing"));
}

TEST(PathText, TrimBackslashReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(common::TrimBackslash(L"a\\\\\\b", L"\\\\", L"\\"), L"a\\\\b");
  EXPECT_EQ(common::TrimBackslash(L"aaa", L"a", L"aa"), L"aaaaaa");
  EXPECT_EQ(common::TrimBackslash(L"x/y/z", L"/", L"\\"), L"x\\y\\z");
  EXPECT_EQ(common::TrimBackslash(L"abc", L"", L"z"), L"abc");
  EXPECT_EQ(common::TrimBackslash(L"", L"a", L"b"), L"");
}

}  // namespace

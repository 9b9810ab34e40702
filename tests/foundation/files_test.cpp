#include "t_common/files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "win/scoped_handle.h"
#include "win/registry_key.h"
#include "support/test_support.h"
#include "t_common/folders.h"

namespace {

using testing_support::ReadBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

std::vector<std::wstring> PendingRenames() {
  std::vector<std::wstring> entries;
  win::RegistryKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kSessionManager, KEY_QUERY_VALUE) != ERROR_SUCCESS) return entries;
  std::vector<BYTE> bytes;
  if (key.ReadBinary(kPendingRenames, &bytes) != ERROR_SUCCESS) return entries;
  std::wstring data(bytes.size() / sizeof(wchar_t) + 1, L'\0');
  std::memcpy(&data[0], bytes.data(), bytes.size() / sizeof(wchar_t) * sizeof(wchar_t));
  for (size_t at = 0; at < data.size();) {
    const size_t end = data.find(L'\0', at);
    if (end == std::wstring::npos) break;
    entries.push_back(data.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

// The (source, target) pairs registered for a path; "" target means deletion.
std::vector<std::wstring> PendingTargetsOf(const std::wstring& source) {
  const std::vector<std::wstring> entries = PendingRenames();
  std::vector<std::wstring> targets;
  for (size_t i = 0; i + 1 < entries.size(); i += 2)
    if (entries[i] == L"\\??\\" + source) targets.push_back(entries[i + 1]);
  return targets;
}

class FileOperations : public ::testing::Test {
 protected:
  ScopedTempDir temp_;
  std::wstring Write(const wchar_t* name, const std::string& bytes) {
    const std::wstring path = temp_.Child(name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
  }
};

TEST_F(FileOperations, CopyOntoAMissingDestinationIsAPlainCopy) {
  const std::wstring source = Write(L"src.txt", "new");
  const std::wstring destination = temp_.Child(L"dst.txt");
  EXPECT_TRUE(common::CopyFileExW(source.c_str(), destination.c_str(), FALSE));
  EXPECT_EQ(ReadBytes(destination), "new");
  EXPECT_FALSE(common::IsPathFileExisting((destination + L".tmp").c_str()));
}

TEST_F(FileOperations, FailIfExistsMovesTheOldFileAsideAndCopies) {
  const std::wstring source = Write(L"src.txt", "new");
  const std::wstring destination = Write(L"dst.txt", "old");
  const std::wstring side = destination + L".tmp";
  EXPECT_TRUE(common::CopyFileExW(source.c_str(), destination.c_str(), TRUE));
  EXPECT_EQ(ReadBytes(destination), "new");
  EXPECT_EQ(ReadBytes(side), "old");
  const auto targets = PendingTargetsOf(side);
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0], L"") << "the side file is deleted at the next restart";
}

TEST_F(FileOperations, DestinationInUseIsReplacedAtTheNextRestart) {
  const std::wstring source = Write(L"src.txt", "new");
  const std::wstring destination = Write(L"dst.txt", "old");
  const std::wstring side = destination + L".tmp";
  {
    // Held open without write or delete sharing: neither overwritten nor moved.
    win::ScopedHandle held(::CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_TRUE(common::CopyFileExW(source.c_str(), destination.c_str(), FALSE));
    EXPECT_EQ(ReadBytes(destination), "old");
  }
  EXPECT_EQ(ReadBytes(side), "new");
  const auto targets = PendingTargetsOf(side);
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0], L"!\\??\\" + destination) << "replace-existing rename of the side file";
}

// A side name cut to the path limit would name another file: the copy is refused instead.
TEST_F(FileOperations, DestinationWhoseSideNameDoesNotFitIsRefused) {
  const std::wstring source = Write(L"src.txt", "new");
  const std::wstring folder = temp_.path() + L"\\";
  ASSERT_LT(folder.size(), 200u);
  const std::wstring destination = Write(std::wstring(257 - folder.size(), L'd').c_str(), "old");
  ASSERT_EQ(destination.size(), 257u);
  const std::wstring cut_side = (destination + L".tmp").substr(0, MAX_PATH - 1);
  EXPECT_FALSE(common::CopyFileExW(source.c_str(), destination.c_str(), TRUE));
  EXPECT_EQ(ReadBytes(destination), "old");
  EXPECT_FALSE(common::IsPathFileExisting(cut_side.c_str()));
  EXPECT_TRUE(PendingTargetsOf(cut_side).empty());
}

TEST_F(FileOperations, CopyFromAMissingSourceFails) {
  EXPECT_FALSE(common::CopyFileExW(temp_.Child(L"missing").c_str(), temp_.Child(L"dst").c_str(), FALSE));
  EXPECT_FALSE(common::CopyFileExW(nullptr, nullptr, FALSE));
}

TEST_F(FileOperations, ReadFileByRowSplitsOnEveryLineFeed) {
  struct Case {
    std::string bytes;
    std::vector<std::wstring> rows;
  } cases[] = {
      {"a\nb\n", {L"a", L"b", L""}},
      {"a\nb", {L"a", L"b"}},
      {"", {L""}},
      {"a\r\nb\r\n", {L"a", L"b", L""}},
      {"a\rb", {L"a\rb"}},
      {"\n\n", {L"", L"", L""}},
      {"\xef\xbb\xbfx\n\xe8\xa1\x8c", {L"\xfeffx", L"\u884c"}},
  };
  for (const Case& c : cases) {
    const std::wstring file = Write(L"rows.txt", c.bytes);
    std::vector<std::wstring> rows;
    ASSERT_TRUE(common::ReadFileByRow(file.c_str(), rows));
    EXPECT_EQ(rows, c.rows) << "input: " << c.bytes;
  }
}

TEST_F(FileOperations, ReadFileByRowReadsLongLinesWholeAndAppends) {
  const std::string long_line(1000, 'x');
  const std::wstring file = Write(L"long.txt", long_line + "\n" + std::string(126, 'y') + "\n" + std::string(127, 'z'));
  std::vector<std::wstring> rows = {L"kept"};
  ASSERT_TRUE(common::ReadFileByRow(file.c_str(), rows));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], L"kept");
  EXPECT_EQ(rows[1], std::wstring(1000, L'x'));
  EXPECT_EQ(rows[2], std::wstring(126, L'y'));
  EXPECT_EQ(rows[3], std::wstring(127, L'z'));
}

TEST_F(FileOperations, ReadFileByRowOfAMissingFileLeavesRowsUntouched) {
  std::vector<std::wstring> rows = {L"kept"};
  EXPECT_FALSE(common::ReadFileByRow(temp_.Child(L"missing").c_str(), rows));
  EXPECT_FALSE(common::ReadFileByRow(nullptr, rows));
  EXPECT_EQ(rows, std::vector<std::wstring>{L"kept"});
}

TEST_F(FileOperations, FileSizeInWholeKibibytes) {
  EXPECT_EQ(common::GetFileSize(Write(L"a", std::string(1023, 'a')).c_str()), 0);
  EXPECT_EQ(common::GetFileSize(Write(L"b", std::string(1024, 'b')).c_str()), 1);
  EXPECT_EQ(common::GetFileSize(Write(L"c", std::string(5000, 'c')).c_str()), 4);
  EXPECT_EQ(common::GetFileSize(temp_.Child(L"missing").c_str()), 0);
  EXPECT_EQ(common::GetFileSize(nullptr), 0);
}

TEST_F(FileOperations, FileSizeOfAFileHeldOpenForWritingIsZero) {
  const std::wstring file = Write(L"held", std::string(4096, 'h'));
  win::ScopedHandle writer(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(common::GetFileSize(file.c_str()), 0);
  writer.reset();
  EXPECT_EQ(common::GetFileSize(file.c_str()), 4);
}

TEST_F(FileOperations, ForceRemoveFileDeletesReadOnlyFiles) {
  const std::wstring file = Write(L"ro.txt", "x");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(common::ForceRemoveFile(file.c_str()));
  EXPECT_FALSE(common::IsPathFileExisting(file.c_str()));
  EXPECT_FALSE(common::ForceRemoveFile(file.c_str()));
  EXPECT_FALSE(common::ForceRemoveFile(nullptr));
}

TEST_F(FileOperations, MakeSureDirPathExistCreatesEveryMissingLevel) {
  const std::wstring deep = temp_.Child(L"A\\B\\C");
  EXPECT_TRUE(common::MakeSureDirPathExist(deep.c_str()));
  EXPECT_TRUE(common::IsDir(deep.c_str()));
  EXPECT_TRUE(common::MakeSureDirPathExist(deep.c_str()));
  const std::wstring file = Write(L"plain", "x");
  EXPECT_TRUE(common::MakeSureDirPathExist(file.c_str())) << "an existing file also counts";
}

TEST_F(FileOperations, DeleteDirectoryRemovesATreeAndRefusesWhatItCannotHold) {
  EXPECT_FALSE(common::DeleteDirectory(temp_.Child(L"missing").c_str(), false));
  const std::wstring tree = temp_.Child(L"tree");
  ASSERT_TRUE(common::MakeSureDirPathExist((tree + L"\\sub").c_str()));
  ASSERT_TRUE(WriteBytes(tree + L"\\sub\\f.txt", "x"));
  EXPECT_TRUE(common::DeleteDirectory(tree.c_str(), false));
  EXPECT_FALSE(common::IsPathFileExisting(tree.c_str()));

  const std::wstring too_long = temp_.Child(std::wstring(300, L'n'));
  EXPECT_FALSE(common::DeleteDirectory(too_long.c_str(), false));
  EXPECT_FALSE(common::DeleteDirectory(nullptr, false));
  EXPECT_TRUE(common::IsDir(temp_.path().c_str())) << "a refused path must never be shortened";
}

TEST_F(FileOperations, CopyDirectoryCopiesContents) {
  const std::wstring from = temp_.Child(L"from");
  ASSERT_TRUE(common::MakeSureDirPathExist((from + L"\\sub").c_str()));
  ASSERT_TRUE(WriteBytes(from + L"\\sub\\f.txt", "payload"));
  const std::wstring to = temp_.Child(L"to");
  EXPECT_TRUE(common::CopyDirectory(from.c_str(), to.c_str()));
  EXPECT_EQ(ReadBytes(to + L"\\sub\\f.txt"), "payload");
}

TEST(LibraryContainsInterface, FindsExportsAndReportsAbsence) {
  wchar_t kernel32[] = L"kernel32.dll";
  EXPECT_EQ(common::LibraryContainsInterface(kernel32, "GetTickCount"),
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(common::LibraryContainsInterface(kernel32, "NoSuchExport"), nullptr);
  wchar_t missing[] = L"no_such_library_here.dll";
  EXPECT_EQ(common::LibraryContainsInterface(missing, "GetTickCount"), nullptr);
}

}  // namespace

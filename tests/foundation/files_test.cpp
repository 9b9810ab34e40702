#include "t_common/files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/text.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"

namespace {

using testing_support::kPendingRenamesKey;
using testing_support::ReadBytes;
using testing_support::SandboxWatch;
using testing_support::WriteBytes;

// Whether the renames waiting for the next restart move source to target ("": delete it).
bool PendingRename(const std::wstring& source, const std::wstring& target) {
  win::RegistryKey key;
  std::vector<BYTE> bytes;
  key.Open(kPendingRenamesKey.first, kPendingRenamesKey.second.c_str(), KEY_QUERY_VALUE);
  key.ReadBinary(L"PendingFileRenameOperations", &bytes);
  const std::wstring pairs(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  return pairs.find(L"\\??\\" + source + L'\0' + target + L'\0') != std::wstring::npos;
}

// Waits, a minute at most, until no process that is not in `old` and that
// this one started, or those did, is running.
void WaitForNewDescendants(const std::vector<testing_support::ProcessEntry>& old) {
  std::set<DWORD> before, family = {::GetCurrentProcessId()};
  for (const auto& process : old) before.insert(process.id);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  for (bool running = true; running && std::chrono::steady_clock::now() < deadline;) {
    running = false;
    for (const auto& process : testing_support::ProcessList()) {
      if (before.count(process.id) || !family.count(process.parent)) continue;
      family.insert(process.id);
      running = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

class FileOperations : public ::testing::Test {
 protected:
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = temp_.Child(name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
  }
  testing_support::ScopedTempDir temp_;
};

// Onto a missing destination a plain copy; with fail-if-exists the old file is moved aside, to be
// deleted at the next restart; a missing source leaves the destination where and as it was.
TEST_F(FileOperations, CopyOntoAMissingOrAnExistingDestination) {
  const std::wstring source = Write(L"src.txt", "new"), fresh = temp_.Child(L"fresh.txt");
  const std::wstring destination = Write(L"dst.txt", "old");
  EXPECT_TRUE(common::CopyFileExW(destination.c_str(), fresh.c_str(), FALSE));
  EXPECT_TRUE(common::CopyFileExW(source.c_str(), fresh.c_str(), FALSE));  // overwritten in place
  EXPECT_FALSE(common::IsPathFileExisting((fresh + L".tmp").c_str()) || PendingRename(fresh + L".tmp", L""));
  EXPECT_TRUE(common::CopyFileExW(source.c_str(), destination.c_str(), TRUE));
  EXPECT_EQ(ReadBytes(fresh) + ReadBytes(destination) + ReadBytes(destination + L".tmp"), "newnewold");
  EXPECT_TRUE(PendingRename(destination + L".tmp", L""));
  const SandboxWatch watch({temp_.path()}, {kPendingRenamesKey});
  EXPECT_FALSE(common::CopyFileExW(temp_.Child(L"missing").c_str(), fresh.c_str(), TRUE));
  EXPECT_FALSE(common::CopyFileExW(nullptr, nullptr, FALSE));
  EXPECT_TRUE(watch.Unchanged());
}

TEST_F(FileOperations, DestinationInUseIsReplacedAtTheNextRestart) {
  const std::wstring source = Write(L"src.txt", "new"), destination = Write(L"dst.txt", "old");
  {
    // Held open without write or delete sharing: neither overwritten nor moved.
    win::ScopedHandle held(
        ::CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_TRUE(common::CopyFileExW(source.c_str(), destination.c_str(), FALSE));
    EXPECT_EQ(ReadBytes(destination), "old");
  }
  EXPECT_EQ(ReadBytes(destination + L".tmp"), "new");
  EXPECT_TRUE(PendingRename(destination + L".tmp", L"!\\??\\" + destination));
}

// A side name cut to the path limit would name another file: the copy is refused instead.
TEST_F(FileOperations, DestinationWhoseSideNameDoesNotFitIsRefused) {
  const std::wstring source = Write(L"src.txt", "new"), folder = temp_.path() + L"\\";
  ASSERT_LT(folder.size(), 200u);
  const std::wstring destination = Write(std::wstring(257 - folder.size(), L'd'), "old");
  const SandboxWatch watch({temp_.path()}, {kPendingRenamesKey});
  EXPECT_FALSE(common::CopyFileExW(source.c_str(), destination.c_str(), TRUE));
  EXPECT_TRUE(watch.Unchanged());
}

// Onto a folder, or onto the source itself however it is named: false, nothing
// moved aside, nothing left for the next restart, no bystander changed.
TEST(CopyFileExW, OntoAFolderOrTheSourceItselfIsRefused) {
  const struct { const char* what; const wchar_t* destination; } cases[] = {
      {"a folder", L"tree"}, {"the source", L"src.txt"}, {"the source in capitals", L"SRC.TXT"},
      {"the source through ..", L"tree\\..\\src.txt"}, {"a hard link of the source", L"hard.txt"},
  };
  for (const auto& c : cases) {
    for (const int fail_if_exists : {FALSE, TRUE}) {
      SCOPED_TRACE(testing::Message() << c.what << ", fail if exists " << fail_if_exists);
      const testing_support::ScopedTempDir dir;
      testing_support::PlantBystanders(dir.path());
      testing_support::PlantBystanders(dir.Child(L"tree"));
      const std::wstring source = dir.Child(L"src.txt");
      ASSERT_TRUE(WriteBytes(source, "source"));
      ASSERT_TRUE(::CreateHardLinkW(dir.Child(L"hard.txt").c_str(), source.c_str(), nullptr));
      const SandboxWatch watch({dir.path()}, {kPendingRenamesKey});
      EXPECT_FALSE(common::CopyFileExW(source.c_str(), dir.Child(c.destination).c_str(), fail_if_exists));
      EXPECT_TRUE(watch.Unchanged());
    }
  }
}

// Only a folder is opened: explorer runs any other file it is given.
TEST_F(FileOperations, OpenFolderRunsNoFile) {
  testing_support::PlantBystanders(temp_.path());
  const std::wstring batch = Write(L"run.bat", "echo ran> \"" + common::ws2s(temp_.Child(L"ran.txt")) + "\"\r\n");
  const SandboxWatch watch({temp_.path()});
  const auto before = testing_support::ProcessList();
  common::OpenFolder(batch.c_str());
  WaitForNewDescendants(before);
  EXPECT_TRUE(watch.Unchanged());
}

// Every line feed ends a row, lines of any length are read whole, rows are appended.
TEST_F(FileOperations, ReadFileByRowSplitsOnEveryLineFeed) {
  const struct { std::string bytes; std::vector<std::wstring> rows; } cases[] = {
      {"a\nb\n", {L"a", L"b", L""}}, {"a\nb", {L"a", L"b"}}, {"", {L""}}, {"a\r\nb\r\n", {L"a", L"b", L""}},
      {"a\rb", {L"a\rb"}}, {"\n\n", {L"", L"", L""}}, {"\xef\xbb\xbfx\n\xe8\xa1\x8c", {L"\xfeffx", L"\u884c"}},
      {std::string(1000, 'x') + "\n" + std::string(126, 'y') + "\n" + std::string(127, 'z'),
       {std::wstring(1000, L'x'), std::wstring(126, L'y'), std::wstring(127, L'z')}}};
  for (const auto& c : cases) {
    std::vector<std::wstring> rows = {L"kept"}, expected = {L"kept"};
    expected.insert(expected.end(), c.rows.begin(), c.rows.end());
    ASSERT_TRUE(common::ReadFileByRow(Write(L"rows.txt", c.bytes).c_str(), rows));
    EXPECT_EQ(rows, expected) << "input: " << c.bytes;
  }
  std::vector<std::wstring> rows = {L"kept"};
  EXPECT_FALSE(common::ReadFileByRow(temp_.Child(L"missing").c_str(), rows) || common::ReadFileByRow(nullptr, rows));
  EXPECT_EQ(rows, std::vector<std::wstring>{L"kept"});
}

// In whole kibibytes; a file held open for writing has no settled size and gives 0. Read-only
// files are removed too.
TEST_F(FileOperations, FileSizeInWholeKibibytesAndForcedRemoval) {
  EXPECT_EQ(common::GetFileSize(Write(L"a", std::string(1023, 'a')).c_str()), 0);
  EXPECT_EQ(common::GetFileSize(Write(L"b", std::string(1024, 'b')).c_str()), 1);
  EXPECT_EQ(common::GetFileSize(temp_.Child(L"missing").c_str()) + common::GetFileSize(nullptr), 0);
  const std::wstring file = Write(L"held", std::string(5000, 'h'));
  win::ScopedHandle writer(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(common::GetFileSize(file.c_str()), 0);
  writer.reset();
  EXPECT_EQ(common::GetFileSize(file.c_str()), 4);
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(common::ForceRemoveFile(file.c_str()));
  EXPECT_FALSE(common::IsPathFileExisting(file.c_str()));
  EXPECT_FALSE(common::ForceRemoveFile(file.c_str()) || common::ForceRemoveFile(nullptr));
}

TEST_F(FileOperations, FolderTreesAreMadeCopiedAndDeleted) {
  const std::wstring tree = temp_.Child(L"A\\B\\C");
  EXPECT_TRUE(common::MakeSureDirPathExist(tree.c_str()));
  EXPECT_TRUE(common::IsDir(tree.c_str()));
  EXPECT_TRUE(common::MakeSureDirPathExist(tree.c_str()));
  EXPECT_TRUE(common::MakeSureDirPathExist(Write(L"plain", "x").c_str())) << "an existing file also counts";
  ASSERT_TRUE(WriteBytes(tree + L"\\f.txt", "payload"));
  EXPECT_TRUE(common::CopyDirectory(temp_.Child(L"A").c_str(), temp_.Child(L"to").c_str()));
  EXPECT_EQ(ReadBytes(temp_.Child(L"to\\B\\C\\f.txt")), "payload");
  EXPECT_TRUE(common::DeleteDirectory(temp_.Child(L"A").c_str(), false));
  EXPECT_FALSE(common::IsPathFileExisting(temp_.Child(L"A").c_str()));
  EXPECT_FALSE(common::DeleteDirectory(temp_.Child(L"A").c_str(), false) || common::DeleteDirectory(nullptr, false));
  // A path too long for the buffer is refused, never cut to the file its first MAX_PATH - 1 characters name.
  const std::wstring too_long = temp_.Child(std::wstring(300, L'n'));
  ASSERT_TRUE(WriteBytes(too_long.substr(0, MAX_PATH - 1), "x"));
  const SandboxWatch watch({temp_.path()});
  EXPECT_FALSE(common::DeleteDirectory(too_long.c_str(), false));
  EXPECT_TRUE(watch.Unchanged());
}

TEST(LibraryContainsInterface, FindsExportsAndReportsAbsence) {
  wchar_t kernel32[] = L"kernel32.dll", missing[] = L"no_such_library_here.dll";
  EXPECT_EQ(common::LibraryContainsInterface(kernel32, "GetTickCount"),
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(common::LibraryContainsInterface(kernel32, "NoSuchExport"), nullptr);
  EXPECT_EQ(common::LibraryContainsInterface(missing, "GetTickCount"), nullptr);
}

}  // namespace

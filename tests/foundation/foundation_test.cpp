#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "foundation/crc32_kernels.h"
#include "foundation/executable_path_override.h"
#include "foundation/input_checks.h"
#include "foundation/wow64_path.h"
#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/digest.h"
#include "t_common/files.h"
#include "t_common/folders.h"
#include "t_common/path_placeholders.h"
#include "t_common/text.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"

namespace {

using namespace common;
using namespace std::string_literals;
namespace ts = testing_support;

// Embedded NULs convert too; an unknown code page gives empty; malformed UTF-8 gives U+FFFD. Case-sensitive
// comparisons answer exactly -1, 0 or 1, by unsigned code unit, the other a sign; text after a NUL never counts.
TEST(Text, ConversionLowerCaseCompareAndInputChecks) {
  const std::tuple<std::wstring, std::string, unsigned int> conversions[] = {{L"", "", 65001},
      {L"\u00e4\u20ac", "\xc3\xa4\xe2\x82\xac", 65001}, {L"\u00e4\u00df", "\xe4\xdf", 1252},
      {L"\u884c\0\U0001F600"s, "\xe8\xa1\x8c\0\xf0\x9f\x98\x80"s, 65001}};
  for (const auto& [wide, narrow, code_page] : conversions)
    EXPECT_TRUE(ws2s(wide, code_page) == narrow && s2ws(narrow, code_page) == wide) << code_page;
  EXPECT_EQ(ws2s(L"abc", 12345) + ws2s(L"\u00e4") + ws2s(L"a\u884c", 1252), "\xc3\xa4" "a?");  // a lacking character replaced
  EXPECT_EQ(s2ws("abc", 12345) + s2ws("\xc3\xa4") + s2ws("a\xff" "b", 65001), L"\u00e4a\xfffd" L"b");
  EXPECT_EQ(to_lower(L"ABC-\u00c4\0B"s) + s2ws(to_lower("ABC-xyz-\xc4"s), 1252), L"abc-\u00c4\0babc-xyz-\u00c4"s);
  const std::tuple<std::wstring, std::wstring, bool, int> comparisons[] = {{L"abc", L"ABC", true, 1},
      {L"ABC", L"abc", true, -1}, {L"ab", L"abc", true, -1}, {L"abc", L"ab", true, 1}, {L"abc", L"abc", true, 0},
      {L"", L"", true, 0}, {L"\xffff", L"a", true, 1}, {L"\x7f", L"\x80", true, -1}, {L"abc", L"ABC", false, 0},
      {L"abc", L"ABD", false, -1}, {L"abd", L"ABC", false, 1}, {L"ab\0x"s, L"ab\0y"s, true, 0},
      {L"ab\0x"s, L"ab\0y"s, false, 0}, {L"ab\0"s, L"ab", true, 0}};
  for (const auto& [a, b, exact, sign] : comparisons)
    EXPECT_EQ(exact ? Compare(a, b, true) : (Compare(a, b, false) > 0) - (Compare(a, b, false) < 0), sign) << a.c_str();
  for (const wchar_t* name : {L"Tq", L"a.lnk", L"x y.db", L".hidden", L"a..b", L"conx.txt", L"COM0", L"\u884c.db"})
    EXPECT_TRUE(IsPlainName(name)) << name;
  for (const std::wstring& name : {L""s, L"."s, L".."s, L"..."s, L"a\\b"s, L"a/b"s, L"..\\x"s, L"c:x"s, L"*"s, L"a?"s,
       L"a\"b"s, L"a<b"s, L"a>b"s, L"a|b"s, L"a\tb"s, L"a."s, L"a "s, L"CON"s, L"nul.db"s, L"Lpt9"s, L"com1.lnk"s,
       L"con.txt.x"s, L"\0"s, L"sub\0junk"s})
    EXPECT_FALSE(IsPlainName(name)) << name.c_str();
  EXPECT_TRUE(!HoldsNul(L"plain") && HoldsNul(L"keep.txt\0"s) && FitsShellPath(std::wstring(259, L'a').c_str()));
  EXPECT_FALSE(FitsShellPath(std::wstring(260, L'a').c_str()) || FitsShellPath(nullptr));
}

void* Bytes(const std::string& text) { return const_cast<char*>(text.data()); }

// The definition, one bit at a time, with no table shared with the library: the raw register from all ones,
// without the final inversion.
uint32_t ReferenceRegister(const unsigned char* data, size_t length) {
  uint32_t crc = ~0u;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

// Pseudo-random bytes from an unaligned start.
unsigned char* const start = [] {
  static std::vector<unsigned char> bytes(100003);
  for (uint32_t i = 0, x = 1; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>((x *= 48271u) >> 16);
  return bytes.data() + 3;
}();

// First, again in a fresh child so that the tables are built there: eight threads at once. The CRC check value
// ties the reference to the standard; each kernel this processor can run, chained across a split, goes through
// its block steps and its tail. MD5: RFC 1321's vectors and the lengths around the padding boundary, aligned
// and not. SHA-1's text form is each word's bytes in little-endian order; the digest itself is Boost's: one
// block and the empty message show the words arrive.
TEST(Digest, FirstUseOnEightThreadsAndKnownValues) {
  ASSERT_TRUE(ts::IsChildRun() || ts::RunSelfInChild("Digest.*") == 0);
  const unsigned long crc = ReferenceRegister(start, 100000) ^ ~0u;
  std::atomic<int> mismatches{0};
  ts::RunOnThreadsAtOnce(8, [&] {
    mismatches += GetCRC32(start, 100000) != crc || GetMd5(Bytes("abc"), 3) != "900150983cd24fb0d6963f7d28e17f72" ||
                  GetSha1(Bytes("abc"), 3) != "363e99a96a81064771253eba6cc250789dd8d09c";
  });
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(GetCRC32(Bytes("123456789"), 9) + GetCRC32(Bytes("abc"), 0) + GetCRC32(nullptr, 16), 0xCBF43926ul);
  for (unsigned long length : {1ul, 63ul, 64ul, 65ul, 5000ul})
    EXPECT_EQ(GetCRC32(start, length), ReferenceRegister(start, length) ^ ~0u) << length;
  for (const auto kernel : {&crc32::UpdateBySlicing, &crc32::UpdateByCarrylessMultiply})
    EXPECT_TRUE((kernel != &crc32::UpdateBySlicing && !crc32::ProcessorHasCarrylessMultiply()) ||
                kernel(kernel(~0u, start, 100), start + 100, 4900) == ReferenceRegister(start, 5000));
  const auto a = [](size_t count) { return std::string(count, 'a'); };
  std::string digits;  // blocks that differ, and a tail after them
  while (digits.size() < 200) digits += "0123456789";
  const std::pair<std::string, std::string> md5[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"}, {digits, "c902a17556796a9f97afa23bad130b04"},
      {a(55), "ef1772b6dff9a122358552954ad0df65"}, {a(56), "3b0c8ac703f828b04c6c197006d17218"},
      {a(63), "b06521f39153d618550606be297466d5"}, {a(64), "014842d480b571495a4a0363793f7367"},
      {a(65), "c743a45e0d2e6a95cb859adae0248435"}, {a(119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {a(120), "5f61c0ccad4cac44c75ff505e1f1e537"}, {a(1000000), "7707d6ae4e027c70eea2a935c2296f21"}};
  for (const auto& [message, digest] : md5)
    for (std::string shifted : {message, "xyz" + message})
      EXPECT_EQ(GetMd5(&shifted[shifted.size() - message.size()], message.size()), digest) << shifted.size();
  EXPECT_EQ(GetMd5(nullptr, 5), "d41d8cd98f00b204e9800998ecf8427e");
  const std::tuple<std::string, std::vector<unsigned int>, std::string> sha1[] = {
      {"abc", {0xA9993E36, 0x4706816A, 0xBA3E2571, 0x7850C26C, 0x9CD0D89D}, "363e99a96a81064771253eba6cc250789dd8d09c"},
      {"", {0xDA39A3EE, 0x5E6B4B0D, 0x3255BFEF, 0x95601890, 0xAFD80709}, "eea339da0d4b6b5eefbf5532901860950907d8af"}};
  for (const auto& [message, words, text] : sha1) {
    std::vector<unsigned int> stored = {1, 2, 3, 4, 5};
    GetSha1(Bytes(message), message.size(), stored.data());
    EXPECT_TRUE(stored == words && GetSha1(Bytes(message), message.size()) == text) << message;
  }
  EXPECT_EQ(GetSha1(nullptr, 3), "eea339da0d4b6b5eefbf5532901860950907d8af");
  GetSha1(Bytes("abc"), 3, nullptr);  // no array: nothing to store, no crash
}

std::wstring Write(std::wstring path, const std::string& bytes) { return ts::WriteBytes(path, bytes) ? path : L""; }

std::wstring Shell(int csidl) { return GetSpecialFolderPath(csidl, false); }

// Whether the renames waiting for the next restart move source to target ("": delete it).
bool PendingRename(const std::wstring& source, const std::wstring& target) {
  win::RegistryKey key;
  std::vector<BYTE> bytes;
  key.Open(ts::kPendingRenamesKey.first, ts::kPendingRenamesKey.second.c_str(), KEY_QUERY_VALUE);
  key.ReadBinary(L"PendingFileRenameOperations", &bytes);
  const std::wstring pairs(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  return pairs.find(L"\\??\\" + source + L'\0' + target + L'\0') != std::wstring::npos;
}

// Runs `run`, then waits, two minutes or so at most, until no process that was not running before and that
// this one started, or those did, is running.
void RunAndWaitForNewDescendants(const std::function<void()>& run) {
  std::set<DWORD> before, family = {::GetCurrentProcessId()};
  for (const auto& process : ts::ProcessList()) before.insert(process.id);
  run();
  ts::WaitFor([&] {
    int alive = 0;
    for (const auto& process : ts::ProcessList())
      if (!before.count(process.id) && family.count(process.parent)) family.insert(process.id), ++alive;
    return alive == 0;
  }, 120000);
}

// Copies: onto a missing destination a plain copy; with fail-if-exists the old file is moved aside, to be
// deleted at the next restart; one held open without write or delete sharing is replaced at the next restart.
// Refused with nothing changed: a missing source, a side name cut to the path limit (it would name another
// file), a destination that is a folder or the source itself however it is named. Every line feed ends a row,
// lines of any length are read whole, rows are appended. Sizes are in whole kibibytes; a file held open for
// writing has no settled size and gives 0. Read-only files are removed too. Only a folder is opened: explorer
// runs any other file it is given. A path too long for the buffer is not deleted, nor cut to the file its first
// MAX_PATH - 1 characters name.
TEST(Files, CopyReadSizeRemoveTreesAndOpen) {
  const ts::ScopedTempDir dir;
  const std::wstring source = Write(dir.Child(L"src.txt"), "new"), fresh = dir.Child(L"fresh.txt");
  const std::wstring destination = Write(dir.Child(L"dst.txt"), "old"), held = Write(dir.Child(L"held.txt"), "old");
  const std::wstring missing = dir.Child(L"missing");
  for (const auto& [path, kind] : {std::pair<const wchar_t*, int>{dir.path().c_str(), 3}, {source.c_str(), 1},
                                   {missing.c_str(), 0}, {L"", 0}, {nullptr, 0}})  // 2: a folder, 1: exists
    EXPECT_EQ(IsDir(path) * 2 + IsPathFileExisting(path), kind) << (path ? path : L"null");
  EXPECT_EQ(PathFindFolder(dir.path().c_str()) + L"|" + PathFindFolder(source.c_str()), dir.path() + L"|" + dir.path());
  EXPECT_EQ(PathFindFolder(dir.Child(L"missing\\leaf").c_str()), missing);
  EXPECT_TRUE(CopyFileExW(destination.c_str(), fresh.c_str(), FALSE) && CopyFileExW(source.c_str(), fresh.c_str(), 0));
  EXPECT_FALSE(IsPathFileExisting((fresh + L".tmp").c_str()) || PendingRename(fresh + L".tmp", L""));
  EXPECT_TRUE(CopyFileExW(source.c_str(), destination.c_str(), TRUE) && PendingRename(destination + L".tmp", L""));
  EXPECT_EQ(ts::ReadBytes(fresh) + ts::ReadBytes(destination) + ts::ReadBytes(destination + L".tmp"), "newnewold");
  win::ScopedHandle holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0));
  EXPECT_TRUE(holder.valid() && CopyFileExW(source.c_str(), held.c_str(), FALSE) && !ForceRemoveFile(held.c_str()));
  EXPECT_TRUE(PendingRename(held + L".tmp", L"!\\??\\" + held));
  EXPECT_EQ(ts::ReadBytes(held) + ts::ReadBytes(held + L".tmp"), "oldnew");
  holder.reset();
  const std::wstring long_name = Write(dir.Child(std::wstring(256 - dir.path().size(), L'd')), "old");
  ts::PlantBystanders(dir.Child(L"tree"));
  ASSERT_TRUE(::CreateHardLinkW(dir.Child(L"hard.txt").c_str(), source.c_str(), nullptr));
  const ts::SandboxWatch copy_watch({dir.path()}, {ts::kPendingRenamesKey});
  EXPECT_FALSE(CopyFileExW(missing.c_str(), fresh.c_str(), TRUE) || CopyFileExW(nullptr, nullptr, 0) ||
               CopyFileExW(source.c_str(), long_name.c_str(), TRUE));
  for (const wchar_t* onto : {L"tree", L"src.txt", L"SRC.TXT", L"tree\\..\\src.txt", L"hard.txt"})
    for (const int fail_if_exists : {FALSE, TRUE})
      EXPECT_FALSE(CopyFileExW(source.c_str(), dir.Child(onto).c_str(), fail_if_exists)) << onto;
  EXPECT_TRUE(copy_watch.Unchanged());
  const std::pair<std::string, std::vector<std::wstring>> files[] = {{"a\nb\n", {L"a", L"b", L""}},
      {"a\nb", {L"a", L"b"}}, {"", {L""}}, {"a\r\nb\r\n", {L"a", L"b", L""}}, {"a\rb", {L"a\rb"}},
      {"\n\n", {L"", L"", L""}}, {"\xef\xbb\xbfx\n\xe8\xa1\x8c", {L"\xfeffx", L"\u884c"}},
      {std::string(1000, 'x') + "\n" + std::string(126, 'y') + "\n" + std::string(127, 'z'),
       {std::wstring(1000, L'x'), std::wstring(126, L'y'), std::wstring(127, L'z')}}};
  for (auto [bytes, expected] : files) {
    std::vector<std::wstring> rows = {L"kept"};
    expected.insert(expected.begin(), L"kept");
    EXPECT_TRUE(ReadFileByRow(Write(dir.Child(L"rows.txt"), bytes).c_str(), rows));
    EXPECT_EQ(rows, expected) << bytes;
  }
  std::vector<std::wstring> rows = {L"kept"};
  EXPECT_TRUE(!ReadFileByRow(missing.c_str(), rows) && !ReadFileByRow(nullptr, rows) && rows.size() == 1);
  const std::wstring file = Write(dir.Child(L"5000"), std::string(5000, 'h'));
  EXPECT_EQ(GetFileSize(Write(dir.Child(L"1024"), std::string(1024, 'b')).c_str()), 1);
  EXPECT_EQ(GetFileSize(Write(dir.Child(L"1023"), std::string(1023, 'a')).c_str()) + GetFileSize(nullptr) +
            GetFileSize(missing.c_str()), 0);
  win::ScopedHandle writer(
      ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, 0));
  EXPECT_TRUE(writer.valid() && GetFileSize(file.c_str()) == 0);
  writer.reset();
  EXPECT_EQ(GetFileSize(file.c_str()), 4);
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(ForceRemoveFile(file.c_str()) && !IsPathFileExisting(file.c_str()));
  EXPECT_FALSE(ForceRemoveFile(file.c_str()) || ForceRemoveFile(nullptr));
  const std::wstring tree = dir.Child(L"A\\B\\C"), a = dir.Child(L"A");
  EXPECT_TRUE(MakeSureDirPathExist(tree.c_str()) && IsDir(tree.c_str()) && MakeSureDirPathExist(tree.c_str()));
  EXPECT_TRUE(MakeSureDirPathExist(Write(dir.Child(L"plain"), "x").c_str())) << "an existing file also counts";
  EXPECT_FALSE(MakeSureDirPathExist(dir.Child(L"plain\\sub").c_str()) || CopyDirectory(missing.c_str(), dir.Child(L"none").c_str()));
  ASSERT_TRUE(ts::WriteBytes(tree + L"\\f", "tree"));
  EXPECT_TRUE(CopyDirectory(a.c_str(), dir.Child(L"to").c_str()) && ts::ReadBytes(dir.Child(L"to\\B\\C\\f")) == "tree");
  EXPECT_TRUE(DeleteDirectory(a.c_str(), false) && !IsPathFileExisting(a.c_str()));
  EXPECT_FALSE(DeleteDirectory(a.c_str(), false) || DeleteDirectory(nullptr, false));
  const std::wstring batch = Write(dir.Child(L"run.bat"), "echo ran> \"" + ws2s(dir.Child(L"ran.txt")) + "\"\r\n");
  const std::wstring too_long = dir.Child(std::wstring(300, L'n'));
  ASSERT_TRUE(ts::WriteBytes(too_long.substr(0, MAX_PATH - 1), "x"));
  const ts::SandboxWatch watch({dir.path()});
  RunAndWaitForNewDescendants([&] { OpenFolder(batch.c_str()); });
  EXPECT_FALSE(DeleteDirectory(too_long.c_str(), false));
  EXPECT_TRUE(watch.Unchanged());
  wchar_t kernel32[] = L"kernel32.dll", absent[] = L"no_such_library_here.dll";
  EXPECT_EQ(LibraryContainsInterface(kernel32, "GetTickCount"),
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(kernel32), "GetTickCount")));
  EXPECT_FALSE(LibraryContainsInterface(kernel32, "NoSuchExport") || LibraryContainsInterface(absent, "GetTickCount"));
  wchar_t cabinet[] = L"cabinet.dll";  // not loaded before, and kept loaded whatever the answer
  ASSERT_FALSE(::GetModuleHandleW(cabinet));
  EXPECT_TRUE(!LibraryContainsInterface(cabinet, "NoSuchExport") && ::GetModuleHandleW(cabinet));
}

// Flags 1: ProgramData from the shell, 2: x86 program files.
std::wstring Converted(std::wstring path, int flags) { EnvironmentPathConver(path, flags & 1, flags & 2); return path; }

// Caller buffers are cut to capacity - 1 and terminated; capacity 0 leaves them untouched. A path without a
// folder to remove gives no folder. Application data is the one the test's main redirected. Of the system
// folders only System32 is redirected; an unknown folder number gives empty. Only a whole System32 segment is
// rewritten, and the whole destination is zero-filled; a source must fit with its NUL. A product that is no
// plain folder name, null or empty, or one the path cannot fit, gives no data folder (never a relative path) and
// creates nothing. Text is replaced left to right without rescanning what was put in.
TEST(Folders, ExecutableShellSpecialAndDataFoldersPathsAndPlaceholders) {
  wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {}, name[MAX_PATH] = {}, small[16], untouched[] = L"xyz";
  ASSERT_TRUE(GetAppPath(path, MAX_PATH) && GetAppDir(folder, MAX_PATH) && GetAppName(name, MAX_PATH));
  EXPECT_EQ(std::wstring(path) + L"|" + folder + L"\\" + name + L".exe", ts::SelfPath() + L"|" + ts::SelfPath());
  std::wmemset(small, L'#', 16);
  EXPECT_TRUE(GetAppDir(small, 10) && std::wstring(small) + small[10] == std::wstring(folder, 9) + L'#');
  EXPECT_TRUE(GetAppPath(untouched, 0) && GetAppDataDir(untouched, 0, nullptr));
  const ScopedExecutablePathOverride root(L"C:\\");
  EXPECT_TRUE(!GetAppDir(untouched, 4) && std::wstring(untouched) == L"xyz");
  wchar_t app_data[MAX_PATH] = {}, programs[MAX_PATH] = {}, templates[MAX_PATH] = {};
  ASSERT_TRUE(GetAppDataDir(app_data, MAX_PATH, nullptr) && GetTempDir(templates, MAX_PATH, nullptr) &&
              GetProgramFilesDir(programs, MAX_PATH, nullptr));
  EXPECT_EQ(app_data, Shell(CSIDL_APPDATA));
  EXPECT_EQ(std::wstring(programs) + L"|" + templates, Shell(CSIDL_PROGRAM_FILES) + L"|" + Shell(CSIDL_TEMPLATES));
  EXPECT_EQ(to_lower(Shell(CSIDL_SYSTEM)) + L"|" + GetSpecialFolderPath(CSIDL_SYSTEM, true),
            to_lower(Shell(CSIDL_WINDOWS)) + L"\\system32|" + Shell(CSIDL_WINDOWS) + L"\\SysWow64");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_WINDOWS, true) + Shell(0x7777), Shell(CSIDL_WINDOWS));
  const std::tuple<const wchar_t*, unsigned int, const wchar_t*> wow64[] = {  // no result: refused
      {L"C:\\Windows\\System32\\d", 64, L"C:\\Windows\\SysWow64\\d"}, {L"C:\\abcde", 8, nullptr},
      {L"C:\\Windows\\System32", 64, L"C:\\Windows\\SysWow64"}, {L"D:\\data", 64, L"D:\\data"},
      {L"C:/windows/system32/a", 64, L"C:/windows/SysWow64/a"}, {L"", 64, L""},
      {L"c:\\WINDOWS\\system32\\a", 64, L"c:\\WINDOWS\\SysWow64\\a"}, {L"C:\\abcd", 8, L"C:\\abcd"},
      {L"C:\\Windows\\System32x", 64, L"C:\\Windows\\System32x"}, {nullptr, 8, nullptr}, {L"C:\\", 0, nullptr},
      {L"C:\\x\\windows\\system32", 64, L"C:\\x\\windows\\system32"}};  // only a drive's own
  for (const auto& [source, capacity, expected] : wow64) {
    std::wstring buffer(65, L'#');
    EXPECT_TRUE(ConvertToSysWow64Path(source, &buffer[0], capacity) == !!expected && buffer[capacity] == L'#' &&
                (!expected || (buffer.c_str() == std::wstring(expected) && !buffer[capacity - 1]))) << source;
  }
  EXPECT_FALSE(ConvertToSysWow64Path(L"C:\\", nullptr, 8));
  const std::wstring roaming = Shell(CSIDL_APPDATA), product = L"FolderTest", too_long(250, L'x');
  const std::wstring fills(MAX_PATH - 1 - roaming.size() - std::wcslen(L"\\Brovanta\\"), L'y');  // no leaf fits
  const std::pair<std::wstring (*)(const wchar_t*, bool), const wchar_t*> getters[] = {{&GetDumpFolder, L"dump_files"},
      {&GetImageFolder, L"image"}, {&GetLogFolder, L"log"}, {&GetPersistentFolder, L"Persistent"}};
  for (const auto& [get, leaf] : getters) {
    const std::wstring expected = roaming + L"\\Brovanta\\" + product + L"\\" + leaf;
    EXPECT_TRUE(get(product.c_str(), false) == expected && !IsPathFileExisting(expected.c_str())) << leaf;
    EXPECT_TRUE(get(product.c_str(), true) == expected && IsDir(expected.c_str())) << leaf;
  }
  const ts::SandboxWatch watch({roaming, L"C:\\escaped", L"dump_files", L"image", L"log", L"Persistent"});
  for (const wchar_t* bad : {static_cast<const wchar_t*>(nullptr), L"", L"..", L"..\\escaped", L"a\\b", L"C:\\escaped",
                             too_long.c_str(), fills.c_str()})
    for (const auto& [get, leaf] : getters)
      for (const bool create : {false, true}) EXPECT_EQ(get(bad, create), L"") << (bad ? bad : L"null") << leaf;
  EXPECT_TRUE(watch.Unchanged());
  EXPECT_FALSE(!IsValidDriver(L"C:\\no\\such\\path") || IsValidDriver(L"\\\\server\\share") || IsValidDriver(nullptr));
  EXPECT_EQ(PathCombine1(L"C:\\a", L"b.txt") + PathCombine1(L"C:\\a\\", L"b.txt"), L"C:\\a\\b.txtC:\\a\\b.txt");
  EXPECT_EQ(PathCombine1((L"C:\\" + std::wstring(300, L'x')).c_str(), L"b.txt"), L"");
  const std::wstring trims[][4] = {{L"a\\\\\\b", L"\\\\", L"\\", L"a\\\\b"}, {L"aaa", L"a", L"aa", L"aaaaaa"},
      {L"x/y/z", L"/", L"\\", L"x\\y\\z"}, {L"//a///b//", L"//", L"", L"a/b"}, {L"abc", L"", L"z", L"abc"},
      {L"", L"a", L"b", L""}};
  for (const auto& c : trims) EXPECT_EQ(TrimBackslash(c[0], c[1], c[2]), c[3]) << c[0];
  // Placeholders. Caret form: the character after the caret is skipped whatever it is; the name runs to the last
  // percent and is read like _wtoi, case-sensitive; unknown names are removed; without a percent sign nothing
  // changes. Percent form: as the system expands it, unless the expansion and its NUL overflow 520 characters.
  // Firefox: the first profile's cache, or the Firefox folder's without a path; only the first slash is turned.
  const std::wstring data = Shell(CSIDL_COMMON_APPDATA), native = Shell(CSIDL_PROGRAM_FILES),
                     x86 = Shell(CSIDL_PROGRAM_FILESX86), windir = GetWinDir(), fits(517, L'a');
  ASSERT_FALSE(data.empty() || native.empty() || x86.empty() || native == x86);
  for (const auto& [name, value] : {std::pair<const wchar_t*, std::wstring>{L"ProgramData", L"D:\\PD"},
                                    {L"FIREFOX", L"E:\\ff"}, {L"TQ_FITS", fits}, {L"TQ_TOO_LONG", fits + L"a"}})
    ::SetEnvironmentVariableW(name, value.c_str());
  // Each path and what it becomes, both followed by "\x".
  const std::tuple<std::wstring, int, std::wstring> cases[] = {{L"^%257%", 0, L"D:\\PD"}, {L"^%258%", 2, x86},
      {L"^%ProgramData%", 0, L"D:\\PD"}, {L"^%257%", 1, data}, {L"^%258%", 0, native}, {L"^%ProgramFile%", 2, x86},
      {L"^%ProgramFile%", 0, native}, {L"^%257abc%", 0, L"D:\\PD"}, {L"^%0258%", 2, x86}, {L"^%TEMP%", 0, L""},
      {L"^%programdata%", 0, L""}, {L"^%256%", 0, L""}, {L"^#257%", 0, L"D:\\PD"}, {L"^%TEMP%\\a%b", 0, L"b"},
      {L"^%", 0, L""}, {L"%windir%", 3, windir}, {L"%windir%\\%windir%", 3, windir + L"\\" + windir},
      {L"%FIREFOX%", 3, L"E:\\ff"}, {L"%windir%\\%TQ_UNSET%", 3, windir + L"\\%TQ_UNSET%"}, {L"%TQ_FITS%", 3, fits}};
  for (const auto& [path, flags, expected] : cases)
    EXPECT_EQ(Converted(path + L"\\x", flags), expected + L"\\x") << path << flags;
  // Unchanged; a NUL would end the text the system sees.
  for (const std::wstring& path : {L"^ProgramData\\x"s, L"^"s, L"C:\\x"s, L""s, L"x%windir%"s, L"%TQ_TOO_LONG%\\b"s,
                                   L"\\\\server\\share\\^%257%"s, L"%windir%\0x"s, L"^%257%\\x\0"s, L"%firefox%\0"s})
    EXPECT_EQ(Converted(path, 3), path) << path.c_str();
  // A variable too long for the buffer, or missing, gives no prefix.
  ::SetEnvironmentVariableW(L"ProgramData", std::wstring(300, L'p').c_str());
  EXPECT_EQ(Converted(L"^%257%\\x", 0), L"\\x");
  ::SetEnvironmentVariableW(L"ProgramData", nullptr);
  EXPECT_EQ(Converted(L"^%257%\\x", 0), L"\\x");
  const std::wstring ini = Shell(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\profiles.ini";
  const std::wstring base = Shell(CSIDL_LOCAL_APPDATA) + L"\\Mozilla\\Firefox\\";
  EXPECT_EQ(Converted(L"%firefox%\\x", 0), base + L"cache");  // no profile list at all
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, ini.substr(0, ini.rfind(L'\\')).c_str(), nullptr), ERROR_SUCCESS);
  const std::pair<std::string, std::wstring> profiles[] = {{"[Profile0]\r\nName=default\r\n", base + L"cache"},
      {"[Profile1]\r\nPath=Profiles/other\r\n\r\n[Profile0]\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n",
       base + L"Profiles\\abc.default\\cache"},
      {"[Profile0]\r\nPath=Profiles/abc.default/inner\r\n", base + L"Profiles\\abc.default/inner\\cache"}};
  for (const auto& [text, expected] : profiles)
    EXPECT_EQ(ts::WriteBytes(ini, text) ? Converted(L"%firefox%\\x", 0) : L"", expected) << text;
}

}  // namespace

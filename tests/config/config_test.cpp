// Test mode and channel read files beside the executable: each test gives the
// program a temporary folder as its own. Test mode is decided once per process,
// so each decision runs in a child of this program. Singletons are made once
// per process too, so theirs also runs in a child.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/executable_path_override.h"
#include "support/test_support.h"
#include "t_common/channel.h"
#include "t_common/legal_holiday.h"
#include "t_common/singleton.h"
#include "t_common/test_mode.h"

namespace {

using namespace common;  // NOLINT: the tests name most of its configuration functions
using namespace testing_support;  // NOLINT: and most of the test helpers

const char kPortFile[] = "[other]\r\nport=1\r\n\r\n[test]\r\nport=8080\r\nzero=0\r\nanswer=no\r\n";

// The three readings of key, each against its default.
void ExpectReadings(const wchar_t* key, int int_default, int int_value, bool bool_default, bool bool_value,
                    const wchar_t* string_default, const std::wstring& string_value) {
  EXPECT_EQ(GetTestValueInt(key, int_default), int_value) << key;
  EXPECT_EQ(GetTestValueBool(key, bool_default), bool_value) << key;
  EXPECT_EQ(GetTestValueString(key, string_default), string_value) << key;
}

// What the child's folder holds: "none" only ovktest.ini, which holds no switch;
// "folder" a folder named ovktest, or "empty" an empty file, which switch test
// mode on with every value its default; "file" ovktest with settings. Then an ovktest made after the decision changes nothing, and one
// deleted leaves test mode on, but the values look for the file again.
TEST(TestMode, EachDecisionInAProcessOfItsOwn) {
  if (!IsChildRun()) {
    for (const auto& [holds, name, bytes] : {std::tuple<const wchar_t*, const wchar_t*, const char*>(L"none", L"ovktest.ini", kPortFile),
                                             {L"folder", L"ovktest", nullptr}, {L"empty", L"ovktest", ""},
                                             {L"file", L"ovktest", kPortFile}}) {
      const ScopedTempDir folder;
      ASSERT_TRUE(bytes ? WriteBytes(folder.Child(name), bytes) : ::CreateDirectoryW(folder.Child(name).c_str(), nullptr));
      EXPECT_EQ(RunSelfInChild("TestMode.*", {{L"TQ_FOLDER", folder.path()}, {L"TQ_HOLDS", holds}}), 0) << holds;
    }
    return;
  }
  wchar_t folder[MAX_PATH] = {}, holds[8] = {};
  ASSERT_TRUE(::GetEnvironmentVariableW(L"TQ_FOLDER", folder, MAX_PATH) && ::GetEnvironmentVariableW(L"TQ_HOLDS", holds, 8));
  const ScopedExecutablePathOverride executable(folder + std::wstring(L"\\client.exe"));
  const std::wstring kind = holds, test_file = folder + std::wstring(L"\\ovktest");
  EXPECT_EQ(IsTestMode(), kind != L"none");
  if (kind != L"file") ExpectReadings(L"port", -3, -3, false, false, nullptr, L"");
  if (kind == L"file") {
    ExpectReadings(L"port", 1, 8080, false, true, L"x", L"8080");
    ExpectReadings(L"zero", 5, 0, true, false, L"x", L"0");
    ExpectReadings(L"answer", 5, 0, true, false, L"x", L"no");  // text without leading digits is 0, so false
    ExpectReadings(L"missing", 42, 42, true, true, L"fallback", L"fallback");
    ExpectReadings(nullptr, 9, 9, true, true, L"fallback", L"fallback");
    EXPECT_EQ(GetTestValueString(L"missing", std::wstring(400, L'd').c_str()), std::wstring(259, L'd'));
    EXPECT_EQ(GetTestValueString(L"missing", nullptr), L"");
  }
  ASSERT_TRUE(kind == L"folder" || (kind == L"none" ? WriteBytes(test_file, kPortFile) : ::DeleteFileW(test_file.c_str())));
  EXPECT_EQ(IsTestMode(), kind != L"none");
  ExpectReadings(L"port", 1, 1, true, true, L"gone", L"gone");
}

// Nothing is cached: each row follows the one before in the same process. How
// the first line is read (line ends, UTF-8, a byte-order mark that stays) is ReadFileByRow's.
TEST(Channel, FirstLineOfTheFileOrUnknow) {
  const ScopedTempDir folder;
  const ScopedExecutablePathOverride executable(folder.Child(L"client.exe"));
  const std::wstring channel_file = folder.Child(L".channel");
  // An empty file or first line is a channel, not "unknow".
  for (const auto& [bytes, channel] : std::initializer_list<std::pair<std::string, std::wstring>>{
           {"store_a\nstore_b\n", L"store_a"}, {"", L""}, {"\nsecond\n", L""}, {"web\r\nother\r\n", L"web"}})
    EXPECT_EQ(WriteBytes(channel_file, bytes) ? GetChannel() : L"not written", channel) << bytes;
  EXPECT_EQ(::DeleteFileW(channel_file.c_str()) ? GetChannel() : L"not deleted", L"unknow");
  EXPECT_EQ(::CreateDirectoryW(channel_file.c_str(), nullptr) ? GetChannel() : L"no folder", L"unknow");  // a folder of that name
}

// In a child, where these are the process's first calls: eight threads
// released together must all get one manager and one calendar.
TEST(Singleton, ConcurrentFirstCallsGetOneManagerAndOneCalendar) {
  if (RanInChild()) return;
  const auto instances = [] { return std::pair(pattern::CSingleton<CSingletonMgr>::GetInstance(), pattern::CSingleton<LegalHoliday>::GetInstance()); };
  std::atomic<int> next{0};
  std::vector<decltype(instances())> seen(8);
  RunOnThreadsAtOnce(8, [&] { seen[next++] = instances(); });
  EXPECT_EQ(seen, decltype(seen)(8, instances()));
}

}  // namespace

#include "t_base/program_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/product_names.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/text.h"

namespace {

using common::ws2s;

// A text no earlier run wrote, so that a test finds its own lines.
std::wstring UniqueTag(const wchar_t* what) {
  return what + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
}

std::vector<std::string> LinesContaining(const std::string& log, const std::string& needle) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.find(needle) != std::string::npos) lines.push_back(line);
  return lines;
}

TEST(ProgramLog, FormatsTheWindowsWayIntoTheFileOfItsDay) {
  const std::wstring tag = UniqueTag(L"fmt");
  WriteProgramLogNoMask(L"%s name=%s count=%d hr=%x [%s]", tag.c_str(), L"\u884c\u60c5", -42, 0x8007000Eu, L"");
  std::vector<std::pair<std::wstring, std::string>> found;
  for (const auto& [file, contents] : testing_support::ReadProgramLogFiles()) {
    for (const std::string& line : LinesContaining(contents, ws2s(tag))) found.emplace_back(file, line);
  }
  ASSERT_EQ(found.size(), 1u);
  const auto& [file, line] = found[0];
  EXPECT_TRUE(std::regex_match(line, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} +" +
                                                std::to_string(::GetCurrentProcessId()) + " +\\d+ " +
                                                ws2s(tag + L" name=\u884c\u60c5 count=-42 hr=8007000e \\[\\]"))))
      << line;
  EXPECT_EQ(ws2s(file.substr(file.rfind(L'\\') + 1)),
            "program_" + line.substr(0, 4) + line.substr(5, 2) + line.substr(8, 2) + ".log");
}

// Threads of this process and two children write at once: every line lands
// whole and once. The children run this test too and only write.
TEST(ProgramLog, ThreadsAndProcessesNeverInterleave) {
  constexpr int kLines = 200, kThreads = 8, kChildren = 2;
  if (testing_support::IsChildRun()) {
    wchar_t tag[64] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"TQ_LOG_TAG", tag, 64), 0u);
    for (int i = 0; i < kLines; ++i) WriteProgramLogNoMask(L"%s pid%d i=%d end", tag, (int)::GetCurrentProcessId(), i);
    return;
  }
  const std::wstring tag = UniqueTag(L"interleave");
  std::atomic<int> next_writer{0};
  std::vector<int> exit_codes(kChildren, -1);
  testing_support::RunOnThreadsAtOnce(kChildren + kThreads, [&] {
    const int writer = next_writer++;
    if (writer < kChildren) {
      exit_codes[writer] =
          testing_support::RunSelfInChild("ProgramLog.ThreadsAndProcessesNeverInterleave", {{L"TQ_LOG_TAG", tag}});
      return;
    }
    for (int i = 0; i < kLines; ++i) WriteProgramLogNoMask(L"%s thread%d i=%d end", tag.c_str(), writer, i);
  });
  EXPECT_EQ(exit_codes, std::vector<int>(kChildren, 0));

  const std::vector<std::string> lines = LinesContaining(testing_support::ReadProgramLog(), ws2s(tag) + " ");
  EXPECT_EQ(lines.size(), static_cast<size_t>((kThreads + kChildren) * kLines));
  std::set<std::string> seen;
  const std::regex whole("[-0-9 :.]+ " + ws2s(tag) + " (pid|thread)\\d+ i=\\d+ end");
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
    seen.insert(line.substr(line.find(ws2s(tag))));
  }
  EXPECT_EQ(seen.size(), lines.size());
}

// The file of a day, or the pattern of every day's: whole or not at all, and
// the caller's last error kept either way.
TEST(ProgramLog, FileOfADayOrThePatternOfEveryDay) {
  const std::wstring folder = common::GetLogFolder(TQ_PRODUCT_NAME, false) + L"\\";
  SYSTEMTIME day = {};
  day.wYear = 2017;
  day.wMonth = 3;
  day.wDay = 4;
  const std::wstring file = folder + L"program_20170304.log";
  const struct {
    const SYSTEMTIME* day;
    size_t capacity;
    std::wstring path;  // empty: refused
  } cases[] = {{&day, MAX_PATH, file},
               {nullptr, MAX_PATH, folder + L"program_*.log"},
               {&day, file.size() + 1, file},
               {&day, file.size(), L""},
               {&day, 1, L""}};
  for (const auto& c : cases) {
    wchar_t path[MAX_PATH] = L"unchanged";
    ::SetLastError(1234);
    EXPECT_EQ(GetProgramLogFile(c.day, path, c.capacity), !c.path.empty()) << c.capacity;
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(::GetLastError(), 1234u);
  }
  EXPECT_FALSE(GetProgramLogFile(&day, nullptr, MAX_PATH));
  EXPECT_EQ(::GetLastError(), 1234u);
}

// A file where the log folder should be: the line is lost, and nothing else.
TEST(ProgramLog, UnwritableLogAndNullFormatChangeNothingForTheCaller) {
  const std::wstring folder = common::GetLogFolder(TQ_PRODUCT_NAME, true);
  const std::wstring moved = folder + L".moved-by-test";
  ASSERT_TRUE(::MoveFileW(folder.c_str(), moved.c_str()));
  ASSERT_TRUE(testing_support::WriteBytes(folder, "not a folder"));
  ::SetLastError(1234);
  WriteProgramLogNoMask(L"%s", L"lost line");
  WriteProgramLogNoMask(nullptr);
  EXPECT_EQ(::GetLastError(), 1234u);
  EXPECT_EQ(testing_support::ReadBytes(folder), "not a folder");
  ::DeleteFileW(folder.c_str());
  ASSERT_TRUE(::MoveFileW(moved.c_str(), folder.c_str()));
}

}  // namespace

#include "t_base/program_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "foundation/product_names.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/text.h"

namespace {

// The lines of every day's log that hold a text no earlier run wrote, each after the name of its file.
std::vector<std::string> LinesWith(const std::string& tag) {
  std::vector<std::string> found;
  for (const auto& [file, text] : testing_support::ReadProgramLogFiles()) {
    for (size_t at = text.find(tag), start = 0; at != text.npos; at = text.find(tag, at + 1)) {
      start = text.rfind('\n', at) + 1;
      found.push_back(common::ws2s(file.substr(file.rfind(L'\\') + 1)) + " " + text.substr(start, text.find('\n', at) - start));
    }
  }
  return found;
}

std::string Tag(const char* what) {
  return what + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()) + " ";
}

// Microsoft's conversions, an empty %s kept, into the file of the line's day.
TEST(ProgramLog, FormatsTheWindowsWayIntoTheFileOfItsDay) {
  const std::string tag = Tag("format");
  WriteProgramLogNoMask(L"%sname=%s count=%d hr=%x [%s]", common::s2ws(tag).c_str(), L"\u884c\u60c5", -42, 0x8007000Eu, L"");
  WriteProgramLogNoMask(L"%safter", common::s2ws(tag).c_str());
  const std::vector<std::string> lines = LinesWith(tag);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 5), "after");  // in the order of the calls
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("program_(\\d{4})(\\d\\d)(\\d\\d)\\.log \\1-\\2-\\3 \\d\\d:\\d\\d:\\d\\d\\.\\d{3} +" +
      std::to_string(::GetCurrentProcessId()) + " +\\d+ " + tag + "name=\xE8\xA1\x8C\xE6\x83\x85 count=-42 hr=8007000e \\[\\]")))
      << lines[0];
  // The file of a day, or the pattern of every day; refused, with the caller's last error kept, when it does not fit.
  const std::wstring folder = common::GetLogFolder(TQ_PRODUCT_NAME, false) + L"\\", file = folder + L"program_20170304.log";
  const SYSTEMTIME day = {2017, 3, 0, 4, 0, 0, 0, 0};
  for (const auto& [when, capacity, expected] : {std::tuple<const SYSTEMTIME*, size_t, std::wstring>{&day, file.size() + 1, file},
           {nullptr, MAX_PATH, folder + L"program_*.log"}, {&day, file.size(), L""}, {&day, 1, L""}}) {
    wchar_t path[MAX_PATH] = L"unchanged";
    ::SetLastError(1234);
    EXPECT_TRUE(GetProgramLogFile(when, path, capacity) == !expected.empty() && path == expected &&
                !GetProgramLogFile(&day, nullptr, MAX_PATH) && ::GetLastError() == 1234u) << capacity;
  }
}

// Threads of this process and two children write at once: every line lands whole and once. The children run this
// test too and only write.
TEST(ProgramLog, ThreadsAndProcessesNeverInterleave) {
  constexpr int kLines = 200, kThreads = 8, kChildren = 2;
  const auto write = [](const std::wstring& tag, const wchar_t* who, int id) {
    for (int i = 0; i < kLines; ++i) WriteProgramLogNoMask(L"%s%s%d i=%d end", tag.c_str(), who, id, i);
  };
  wchar_t child_tag[64] = {};
  if (::GetEnvironmentVariableW(L"TQ_LOG_TAG", child_tag, 64)) return write(child_tag, L"pid", ::GetCurrentProcessId());
  const std::string tag = Tag("interleave");
  std::atomic<int> next_writer{0};
  std::vector<int> exit_codes(kChildren, -1);
  testing_support::RunOnThreadsAtOnce(kChildren + kThreads, [&] {
    const int writer = next_writer++;
    if (writer >= kChildren) return write(common::s2ws(tag), L"thread", writer);
    exit_codes[writer] = testing_support::RunSelfInChild("ProgramLog.ThreadsAndProcessesNeverInterleave",
                                                         {{L"TQ_LOG_TAG", common::s2ws(tag)}});
  });
  EXPECT_EQ(exit_codes, std::vector<int>(kChildren, 0));
  const std::vector<std::string> lines = LinesWith(tag);
  EXPECT_EQ(lines.size(), static_cast<size_t>((kThreads + kChildren) * kLines));
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, std::regex("\\S+ [-0-9 :.]+ " + tag + "(pid|thread)\\d+ i=\\d+ end"))) << line;
    seen.insert(line.substr(line.find(tag)));
  }
  EXPECT_EQ(seen.size(), lines.size());
}

// A file where the log folder should be: the line is lost, and nothing else.
TEST(ProgramLog, UnwritableLogAndNullFormatChangeNothingForTheCaller) {
  const std::wstring folder = common::GetLogFolder(TQ_PRODUCT_NAME, true), moved = folder + L".moved-by-test";
  ASSERT_TRUE(::MoveFileW(folder.c_str(), moved.c_str()) && testing_support::WriteBytes(folder, "not a folder"));
  ::SetLastError(1234);
  WriteProgramLogNoMask(L"%s", L"lost line");
  WriteProgramLogNoMask(nullptr);
  EXPECT_EQ(::GetLastError(), 1234u);
  EXPECT_EQ(testing_support::ReadBytes(folder), "not a folder");
  ASSERT_TRUE(::DeleteFileW(folder.c_str()) && ::MoveFileW(moved.c_str(), folder.c_str()));
}

}  // namespace

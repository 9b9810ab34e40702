#include "t_base/program_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/product_names.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/text.h"

namespace {

using testing_support::ReadProgramLog;

std::wstring UniqueTag(const wchar_t* what) {
  return std::wstring(what) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::GetTickCount64());
}

std::vector<std::string> LinesContaining(const std::string& log, const std::string& needle) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.find(needle) != std::string::npos) lines.push_back(line);
  return lines;
}

TEST(ProgramLog, FormatsWideStringsIntegersAndHexTheWindowsWay) {
  const std::wstring tag = UniqueTag(L"fmt");
  WriteProgramLogNoMask(L"%s name=%s count=%d hr=%x", tag.c_str(), L"\u884c\u60c5", -42, 0x8007000Eu);
  const auto lines = LinesContaining(ReadProgramLog(), common::ws2s(tag));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(common::ws2s(tag + L" name=\u884c\u60c5 count=-42 hr=8007000e")), std::string::npos)
      << lines[0];
  // Local time with milliseconds, then the process id.
  ASSERT_GE(lines[0].size(), 24u);
  EXPECT_EQ(lines[0][4], '-');
  EXPECT_EQ(lines[0][19], '.');
  EXPECT_NE(lines[0].find(" " + std::to_string(::GetCurrentProcessId()) + " "), std::string::npos);
}

TEST(ProgramLog, EmptyStringArgumentStillWritesALine) {
  const std::wstring tag = UniqueTag(L"empty");
  WriteProgramLogNoMask(L"%s[%s]", tag.c_str(), L"");
  const auto lines = LinesContaining(ReadProgramLog(), common::ws2s(tag) + "[]");
  EXPECT_EQ(lines.size(), 1u);
}

TEST(ProgramLog, ThreadsNeverInterleave) {
  const std::wstring tag = UniqueTag(L"threads");
  constexpr int kThreads = 8, kCalls = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&tag, t] {
      for (int i = 0; i < kCalls; ++i)
        WriteProgramLogNoMask(L"%s t=%d i=%d end", tag.c_str(), t, i);
    });
  }
  for (auto& thread : threads) thread.join();

  const auto lines = LinesContaining(ReadProgramLog(), common::ws2s(tag) + " ");
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kCalls));
  std::set<std::pair<int, int>> seen;
  for (const std::string& line : lines) {
    int t = -1, i = -1;
    const size_t at = line.find(" t=");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(line.c_str() + at, " t=%d i=%d end", &t, &i), 2) << line;
    EXPECT_EQ(line.substr(line.size() - 4), " end") << line;
    seen.insert({t, i});
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kCalls));
}

// Runs only inside the children of the test below.
TEST(ProgramLog, ChildProcessWritesTaggedLines) {
  if (!testing_support::IsChildRun()) GTEST_SKIP() << "runs as a child of ProcessesNeverInterleave";
  wchar_t tag[64] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"TQ_LOG_TAG", tag, 64), 0u);
  for (int i = 0; i < 300; ++i) WriteProgramLogNoMask(L"%s pid=%d i=%d end", tag, (int)::GetCurrentProcessId(), i);
}

TEST(ProgramLog, ProcessesNeverInterleave) {
  const std::wstring tag = UniqueTag(L"processes");
  std::vector<std::thread> children;
  int exit_codes[2] = {-1, -1};
  for (int& exit_code : exit_codes)
    children.emplace_back([&tag, &exit_code] {
      exit_code = testing_support::RunSelfInChild("ProgramLog.ChildProcessWritesTaggedLines", {{L"TQ_LOG_TAG", tag}});
    });
  for (auto& child : children) child.join();
  EXPECT_EQ(exit_codes[0], 0);
  EXPECT_EQ(exit_codes[1], 0);

  const auto lines = LinesContaining(ReadProgramLog(), common::ws2s(tag) + " ");
  EXPECT_EQ(lines.size(), 600u);
  std::set<std::string> pids;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.substr(line.size() - 4), " end") << line;
    EXPECT_EQ(line.find(common::ws2s(tag)), line.rfind(common::ws2s(tag))) << "two lines merged: " << line;
    pids.insert(line.substr(line.find(" pid="), line.find(" i=") - line.find(" pid=")));
  }
  EXPECT_EQ(pids.size(), 2u);
}

TEST(ProgramLog, UnwritableLogFolderChangesNothingForTheCaller) {
  const std::wstring folder = common::GetLogFolder(TQ_PRODUCT_NAME, true);
  const std::wstring moved = folder + L".moved-by-test";
  ASSERT_TRUE(::MoveFileW(folder.c_str(), moved.c_str()));
  // A file where the folder should be: the log cannot be created.
  ASSERT_TRUE(testing_support::WriteBytes(folder, "not a folder"));

  ::SetLastError(1234);
  WriteProgramLogNoMask(L"%s", L"lost line");
  EXPECT_EQ(::GetLastError(), 1234u);
  EXPECT_EQ(testing_support::ReadBytes(folder), "not a folder");

  ::DeleteFileW(folder.c_str());
  ASSERT_TRUE(::MoveFileW(moved.c_str(), folder.c_str()));
}

TEST(ProgramLog, NullFormatIsIgnored) { WriteProgramLogNoMask(nullptr); }

}  // namespace

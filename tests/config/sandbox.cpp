#include "sandbox.h"

#include <windows.h>

#include <sstream>

namespace config_testing {
namespace {

const wchar_t kSandboxMarker[] = L"sandbox.marker";
const wchar_t kPassedLog[] = L"passed";

std::wstring OwnFolder() {
  const std::wstring self = testing_support::SelfPath();
  return self.substr(0, self.find_last_of(L'\\'));
}

}  // namespace

Sandbox::Sandbox() {
  program_ = testing_support::CopySelfWithLibraries(folder_.path());
  if (!program_.empty() && !testing_support::WriteBytes(folder_.Child(kSandboxMarker), "")) program_.clear();
}

int Sandbox::Run(const std::string& filter) const {
  return program_.empty() ? -1 : testing_support::RunProgramInChild(program_, filter);
}

int Sandbox::PassedCount() const {
  std::istringstream lines(testing_support::ReadBytes(folder_.Child(kPassedLog)));
  int count = 0;
  for (std::string line; std::getline(lines, line);) ++count;
  return count;
}

void InCopyTest::SetUp() {
  const bool in_copy = testing_support::IsChildRun() &&
                       ::GetFileAttributesW(OwnFile(kSandboxMarker).c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!in_copy) GTEST_SKIP() << "runs only in a copy of the program";
}

void InCopyTest::TearDown() {
  if (IsSkipped() || HasFailure()) return;
  const std::wstring log = OwnFile(kPassedLog);
  testing_support::WriteBytes(log, testing_support::ReadBytes(log) +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\n");
}

std::wstring InCopyTest::OwnFile(const std::wstring& name) { return OwnFolder() + L"\\" + name; }

}  // namespace config_testing

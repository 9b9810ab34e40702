// tqutil config: test mode, the test file's settings as the library reads
// them, and the distribution channel; `tqutil status` shows mode and channel.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "command.h"
#include "commands.h"
#include "t_common/channel.h"
#include "t_common/folders.h"
#include "t_common/test_mode.h"

namespace {

using namespace tqutil;

std::wstring BesideExecutable(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  if (!common::GetAppDir(path, MAX_PATH) || !::PathAppendW(path, name)) return std::wstring();
  return path;
}

// The keys of section "test", in file order.
std::vector<std::wstring> TestKeys(const std::wstring& file) {
  std::vector<wchar_t> list(32768, L'\0');
  const DWORD length =
      ::GetPrivateProfileStringW(L"test", nullptr, L"", list.data(), static_cast<DWORD>(list.size()), file.c_str());
  std::vector<std::wstring> keys;
  for (DWORD i = 0; i < length;) {
    const std::wstring key(list.data() + i);
    if (key.empty()) break;
    keys.push_back(key);
    i += static_cast<DWORD>(key.size()) + 1;
  }
  return keys;
}

std::wstring ChannelText() {
  const std::wstring channel = common::GetChannel();
  return channel.empty() ? L"(empty first line)" : channel;
}

void PrintConfigStatus() {
  PrintFact(L"test mode", common::IsTestMode() ? L"on" : L"off");
  PrintFact(L"channel", ChannelText());
}

int RunConfig(const Args& args) {
  if (!args.empty()) return Fail(L"usage: tqutil config", kExitUsage);
  const std::wstring test_file = BesideExecutable(L"ovktest");
  const bool present = !test_file.empty() && ::PathFileExistsW(test_file.c_str());
  PrintFact(L"test mode", common::IsTestMode() ? L"on" : L"off");
  PrintFact(L"test file", test_file.empty() ? L"(unknown)" : test_file + (present ? L"" : L" (absent)"));
  if (present) {
    for (const std::wstring& key : TestKeys(test_file)) {
      PrintFact(L"test value " + key, L"\"" + common::GetTestValueString(key.c_str(), L"") + L"\" (int " +
                                          std::to_wstring(common::GetTestValueInt(key.c_str(), 0)) + L", bool " +
                                          (common::GetTestValueBool(key.c_str(), false) ? L"true" : L"false") +
                                          L")");
    }
  }
  const std::wstring channel_file = BesideExecutable(L".channel");
  const bool channel_present = !channel_file.empty() && ::PathFileExistsW(channel_file.c_str());
  PrintFact(L"channel file", channel_file.empty() ? L"(unknown)" : channel_file + (channel_present ? L"" : L" (absent)"));
  PrintFact(L"channel", ChannelText());
  return kExitOk;
}

}  // namespace

namespace tqutil {

extern const Command kConfigCommand = {L"config", L"config", L"test mode, the test file's settings and the channel", &RunConfig};
extern const StatusSection kConfigStatus = &PrintConfigStatus;

}  // namespace tqutil

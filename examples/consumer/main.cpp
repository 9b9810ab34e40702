// Uses t_common as a client program does: checks which library it loaded,
// keeps a counter in a store of its own, and asks the trading calendar about
// a holiday and a working day. Prints what it did; exits 1 when the library
// answers anything other than what its headers promise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <t_common/legal_holiday.h>
#include <t_common/server_clock.h>
#include <t_common/store.h>
#include <t_common/trading.h>

namespace {

int failures = 0;

void Check(bool ok, const wchar_t* what) {
  if (!ok) {
    std::fwprintf(stderr, L"consumer: unexpected: %ls\n", what);
    ++failures;
  }
}

// "major.minor.patch" of the t_common.dll this process loaded.
std::wstring LoadedLibraryVersion(std::wstring* path_out) {
  wchar_t path[MAX_PATH] = {};
  if (!::GetModuleFileNameW(::GetModuleHandleW(L"t_common.dll"), path, MAX_PATH)) return L"";
  *path_out = path;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  std::vector<unsigned char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !::GetFileVersionInfoW(path, 0, size, data.data()) ||
      !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
    return L"";
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
         L"." + std::to_wstring(HIWORD(info->dwFileVersionLS));
}

}  // namespace

int wmain() {
  std::wstring library_path;
  const std::wstring version = LoadedLibraryVersion(&library_path);
  std::wprintf(L"library: %ls %ls (package %ls)\n", library_path.c_str(), version.c_str(), T_COMMON_PACKAGE_VERSION);
  Check(version == T_COMMON_PACKAGE_VERSION, L"the loaded library's version differs from the package's");

  // A named store of our own: the count survives into the next run.
  common::SerializeManager& store = common::PersistentInstance(L"consumer_example");
  const int runs = store.GetValue(L"consumer", L"runs", 0) + 1;
  store.SaveValue(L"consumer", L"runs", runs);
  const int reread = common::SerializeManager(L"consumer_example").GetValue(L"consumer", L"runs", 0);
  std::wprintf(L"store: %ls, table consumer, key runs = %d (read back from the file: %d)\n",
               common::GetStoreFilePath(L"consumer_example", false).c_str(), runs, reread);
  Check(reread == runs, L"the saved count was not in the file");

  // 1 October 2030 is a Tuesday; the week's first three days are holidays.
  pattern::CSingleton<common::LegalHoliday>::GetInstance()->SetHolidays(2030, {20301001, 20301002, 20301003});
  common::SyncServerTime(common::DateToTime(20301002, 10, 0, 0));
  const stock::MarketStatus holiday_phase = stock::CheckMarketStatus(0);
  const unsigned long latest = stock::GetLatestTradingDate();
  std::wprintf(L"calendar: server time 2030-10-02 10:00 (a holiday): market phase %d, latest trading day %lu\n",
               static_cast<int>(holiday_phase), latest);
  Check(holiday_phase == stock::MarketNotOpen && latest == 20300930, L"the holiday was traded");

  common::SyncServerTime(common::DateToTime(20301008, 10, 0, 0));
  const stock::MarketStatus working_phase = stock::CheckMarketStatus(0);
  std::wprintf(L"calendar: server time 2030-10-08 10:00: market phase %d, seconds to next change %ld\n",
               static_cast<int>(working_phase), stock::TimeSpanToNextMarketStatus(0));
  Check(working_phase == stock::MarketMorning, L"a working morning was not the morning session");

  return failures == 0 ? 0 : 1;
}

// tqutil os and tqutil guid: the Windows version as the library reads it and
// the machine identifier.
#include <cstdio>
#include <string>

#include "command.h"
#include "commands.h"
#include "t_common/machine_identity.h"
#include "t_common/os_version.h"

namespace {

using namespace tqutil;

const wchar_t* FamilyName(unsigned long code) {
  switch (code & common::kOsFamilyMask) {
    case common::kOsFamilyWin32s: return L"Win32s";
    case common::kOsFamilyWin95: return L"Windows 95";
    case common::kOsFamilyWin98: return L"Windows 98";
    case common::kOsFamilyWinMe: return L"Windows Me";
    case common::kOsFamilyNt3: return L"Windows NT 3.x";
    case common::kOsFamilyNt4: return L"Windows NT 4.0";
    case common::kOsFamily2000: return L"Windows 2000";
    case common::kOsFamilyXp: return L"Windows XP";
    case common::kOsFamily2003: return L"Windows Server 2003";
    case common::kOsFamilyVista: return L"Windows Vista / Server 2008 / Server 2008 R2";
    case common::kOsFamilyWin7: return L"Windows 7";
    case common::kOsFamilyWin8: return L"Windows 8 / Server 2012";
    case common::kOsFamilyWin81: return L"Windows 8.1 / Server 2012 R2";
    case common::kOsFamilyWin10: return L"Windows 10";
    case common::kOsFamilyNtAbove6: return L"Windows NT above 6";
    default: return L"(not listed)";
  }
}

const wchar_t* YesNo(bool value) { return value ? L"yes" : L"no"; }

std::wstring Hex(unsigned long value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%lX", value);
  return text;
}

std::wstring Description() {
  wchar_t text[256];
  return common::BV_GetOSVersionDescW(text, 256) ? text : L"(unknown)";
}

std::wstring Tag() {
  wchar_t text[20];
  return common::BV_GetMiniOSVersionDescW(text, 20) ? text : L"(unknown)";
}

const wchar_t* SourceName(common::MachineIdSource source) {
  switch (source) {
    case common::MachineIdSource::kRegistry: return L"registry";
    case common::MachineIdSource::kDisk: return L"disk";
    case common::MachineIdSource::kFallback: return L"fallback";
  }
  return L"(unknown)";
}

int RunOs(const Args& args) {
  if (!args.empty()) return Fail(L"usage: tqutil os", kExitUsage);
  unsigned long code = 0, build = 0;
  if (!common::BV_GetOSVersion(&code, &build)) return Fail(L"the Windows version cannot be read");
  PrintFact(L"os version code", Hex(code));
  PrintFact(L"family", FamilyName(code));
  PrintFact(L"build", std::to_wstring(build));
  PrintFact(L"description", Description());
  PrintFact(L"tag", Tag());
  PrintFact(L"64-bit windows", YesNo(common::IsX64System()));
  PrintFact(L"xp or later", YesNo(common::IsXpOrLater()));
  PrintFact(L"vista or later", YesNo(common::IsVistaOrLater()));
  PrintFact(L"win7 or later", YesNo(common::IsWin7OrLater()));
  PrintFact(L"win8 or later", YesNo(common::IsWin8OrLater()));
  return kExitOk;
}

int RunGuid(const Args& args) {
  if (!args.empty()) return Fail(L"usage: tqutil guid", kExitUsage);
  wchar_t id[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kFallback;
  if (!common::GetUserGuidWithSource(id, 780, &source)) return Fail(L"no machine identifier");
  PrintFact(L"machine id", id);
  PrintFact(L"machine id source", SourceName(source));
  return kExitOk;
}

void PrintOsStatus() {
  unsigned long code = 0;
  PrintFact(L"windows", Description());
  PrintFact(L"windows tag", Tag() + (common::BV_GetOSVersion(&code, nullptr) ? L" (code " + Hex(code) + L")" : L""));
}

void PrintGuidStatus() {
  wchar_t id[780] = {};
  common::MachineIdSource source = common::MachineIdSource::kFallback;
  if (common::GetUserGuidWithSource(id, 780, &source))
    PrintFact(L"machine id", std::wstring(id) + L" (" + SourceName(source) + L")");
  else
    PrintFact(L"machine id", L"(unknown)");
}

}  // namespace

namespace tqutil {

extern const Command kOsCommand = {L"os", L"os", L"the Windows version: code, family, build, description, tag, tests", &RunOs};
extern const Command kGuidCommand = {L"guid", L"guid", L"the machine identifier and where it came from", &RunGuid};
extern const StatusSection kOsStatus = &PrintOsStatus;
extern const StatusSection kGuidStatus = &PrintGuidStatus;

}  // namespace tqutil

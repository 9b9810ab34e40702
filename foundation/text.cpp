#include "t_common/text.h"

#include <windows.h>

#include <cctype>
#include <cwctype>
#include <cwchar>

t_common::t_common() = default;
t_common::~t_common() = default;
t_common& t_common::operator=(const t_common&) { return *this; }

namespace common {

std::string ws2s(const std::wstring& wide, unsigned int code_page) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string narrow(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(code_page, 0, wide.data(), length, &narrow[0], needed, nullptr, nullptr);
  return narrow;
}

std::wstring s2ws(const std::string& narrow, unsigned int code_page) {
  if (narrow.empty()) return std::wstring();
  const int length = static_cast<int>(narrow.size());
  const int needed = ::MultiByteToWideChar(code_page, 0, narrow.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(code_page, 0, narrow.data(), length, &wide[0], needed);
  return wide;
}

std::string to_lower(const std::string& text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

std::wstring to_lower(const std::wstring& text) {
  std::wstring lowered(text);
  for (wchar_t& c : lowered) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lowered;
}

int Compare(const std::wstring& a, const std::wstring& b, bool case_sensitive) {
  if (!case_sensitive) return ::_wcsicmp(a.c_str(), b.c_str());
  const wchar_t* pa = a.c_str();
  const wchar_t* pb = b.c_str();
  while (*pa && *pa == *pb) {
    ++pa;
    ++pb;
  }
  const auto ua = static_cast<unsigned short>(*pa);
  const auto ub = static_cast<unsigned short>(*pb);
  return ua < ub ? -1 : (ua > ub ? 1 : 0);
}

}  // namespace common

#include "foundation/input_checks.h"

#include <gtest/gtest.h>

namespace {

TEST(InputChecks, OnlyOnePlainNameIsAccepted) {
  for (const wchar_t* name : {L"Tessaquill", L"a.lnk", L"x y.db", L".hidden", L"a..b", L"conx.txt", L"COM0",
                              L"\u884c\u60c5.db"})
    EXPECT_TRUE(common::IsPlainName(name)) << name;
  const std::wstring refused[] = {L"", L".", L"..", L"...", L"a\\b", L"a/b", L"..\\x", L"c:x", L"*", L"a?",
                                  L"a\"b", L"a<b", L"a>b", L"a|b", L"a\tb", L"a.", L"a ", L"CON", L"nul.db",
                                  L"Lpt9", L"com1.lnk", L"con.txt.x", std::wstring(1, L'\0'), std::wstring(L"sub\0junk", 8)};
  for (const std::wstring& name : refused) EXPECT_FALSE(common::IsPlainName(name)) << name.c_str();
}

TEST(InputChecks, NulsAndShellPathLengths) {
  EXPECT_FALSE(common::HoldsNul(L"plain"));
  EXPECT_TRUE(common::HoldsNul(std::wstring(L"keep.txt\0", 9)));
  EXPECT_TRUE(common::FitsShellPath(std::wstring(259, L'a').c_str()));
  EXPECT_FALSE(common::FitsShellPath(std::wstring(260, L'a').c_str()));
  EXPECT_FALSE(common::FitsShellPath(nullptr));
}

}  // namespace

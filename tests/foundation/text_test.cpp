#include "t_common/text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

// Embedded NULs convert too; an unknown code page gives empty; malformed UTF-8 gives U+FFFD.
TEST(TextConversion, BothDirectionsInUtf8AndOtherCodePages) {
  const struct { std::wstring wide; std::string narrow; unsigned int code_page; } cases[] = {
      {L"", "", 65001}, {L"\u00e4\u20ac", "\xc3\xa4\xe2\x82\xac", 65001}, {L"\u00e4\u00df", "\xe4\xdf", 1252},
      {std::wstring(L"\u884c\0\U0001F600", 4), std::string("\xe8\xa1\x8c\0\xf0\x9f\x98\x80", 8), 65001}};
  for (const auto& c : cases) {
    EXPECT_EQ(common::ws2s(c.wide, c.code_page), c.narrow) << c.code_page;
    EXPECT_EQ(common::s2ws(c.narrow, c.code_page), c.wide) << c.code_page;
  }
  EXPECT_EQ(common::ws2s(L"\u00e4"), "\xc3\xa4");
  EXPECT_EQ(common::s2ws("\xc3\xa4"), L"\u00e4");
  EXPECT_EQ(common::ws2s(L"abc", 12345), "");
  EXPECT_EQ(common::s2ws("abc", 12345), L"");
  EXPECT_EQ(common::s2ws("a\xff" "b", 65001), L"a\xfffd" L"b");
}

TEST(ToLower, ChangesOnlyAsciiLettersInTheCLocale) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(common::to_lower(std::wstring(L"ABC-\u00c4\0B", 7)), std::wstring(L"abc-\u00c4\0b", 7));
  EXPECT_EQ(common::to_lower(std::string("ABC-xyz-\xc4")), "abc-xyz-\xc4");
}

// Case-sensitive answers are exactly -1, 0 or 1, by unsigned code unit; the
// other comparison gives only a sign. Text after a NUL never counts.
TEST(Compare, CaseSensitiveExactAndInsensitiveBySign) {
  const struct { std::wstring a, b; bool case_sensitive; int expected; } cases[] = {
      {L"abc", L"ABC", true, 1}, {L"ABC", L"abc", true, -1}, {L"ab", L"abc", true, -1}, {L"abc", L"ab", true, 1},
      {L"abc", L"abc", true, 0}, {L"", L"", true, 0}, {L"\xffff", L"a", true, 1}, {L"\x7f", L"\x80", true, -1},
      {L"abc", L"ABC", false, 0}, {L"abc", L"ABD", false, -1}, {L"abd", L"ABC", false, 1},
      {std::wstring(L"ab\0x", 4), std::wstring(L"ab\0y", 4), true, 0},
      {std::wstring(L"ab\0x", 4), std::wstring(L"ab\0y", 4), false, 0}, {std::wstring(L"ab\0", 3), L"ab", true, 0}};
  for (const auto& c : cases) {
    const int result = common::Compare(c.a, c.b, c.case_sensitive);
    EXPECT_EQ(c.case_sensitive ? result : (result > 0) - (result < 0), c.expected)
        << testing::PrintToString(c.a) << " " << testing::PrintToString(c.b) << " " << c.case_sensitive;
  }
}

}  // namespace

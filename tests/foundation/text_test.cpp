#include "t_common/text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(TextConversion, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(common::ws2s(L"", 65001), "");
  EXPECT_EQ(common::s2ws("", 65001), L"");
}

TEST(TextConversion, Utf8RoundTripKeepsEveryCodeUnitAndEmbeddedNul) {
  std::wstring text = L"Tessaquill \u884c\u60c5 \u00c4";
  text.push_back(L'\0');
  text += L"after nul ";
  text += L"\U0001F600";  // a surrogate pair
  const std::string utf8 = common::ws2s(text, 65001);
  EXPECT_EQ(utf8.size(), std::string("Tessaquill ").size() + 6 + 1 + 2 + 1 + 10 + 4);
  const std::wstring back = common::s2ws(utf8, 65001);
  EXPECT_EQ(back, text);
  EXPECT_EQ(back.size(), text.size());
}

TEST(TextConversion, KnownUtf8Bytes) {
  EXPECT_EQ(common::ws2s(L"\u00e4\u20ac", 65001), "\xc3\xa4\xe2\x82\xac");
  EXPECT_EQ(common::s2ws("\xc3\xa4\xe2\x82\xac", 65001), L"\u00e4\u20ac");
}

TEST(TextConversion, UnsupportedCodePageGivesEmpty) {
  EXPECT_EQ(common::ws2s(L"abc", 12345), "");
  EXPECT_EQ(common::s2ws("abc", 12345), L"");
}

TEST(TextConversion, MalformedUtf8IsReplacedNotRejected) {
  const std::wstring decoded = common::s2ws("a\xff" "b", 65001);
  ASSERT_EQ(decoded.size(), 3u);
  EXPECT_EQ(decoded[0], L'a');
  EXPECT_EQ(decoded[1], L'\xfffd');
  EXPECT_EQ(decoded[2], L'b');
}

TEST(TextConversion, DefaultCodePageIsUtf8) {
  EXPECT_EQ(common::ws2s(L"\u00e4"), "\xc3\xa4");
  EXPECT_EQ(common::s2ws("\xc3\xa4"), L"\u00e4");
}

TEST(ToLower, ChangesOnlyAsciiLettersInTheCLocale) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(common::to_lower(std::wstring(L"ABC-\u00c4")), L"abc-\u00c4");
  EXPECT_EQ(common::to_lower(std::string("ABC-xyz-\xc4")), "abc-xyz-\xc4");
  std::wstring with_nul(L"A\0B", 3);
  EXPECT_EQ(common::to_lower(with_nul), std::wstring(L"a\0b", 3));
}

TEST(Compare, CaseSensitiveGivesExactlyMinusOneZeroOne) {
  EXPECT_EQ(common::Compare(L"abc", L"ABC", true), 1);
  EXPECT_EQ(common::Compare(L"ABC", L"abc", true), -1);
  EXPECT_EQ(common::Compare(L"ab", L"abc", true), -1);
  EXPECT_EQ(common::Compare(L"abc", L"ab", true), 1);
  EXPECT_EQ(common::Compare(L"abc", L"abc", true), 0);
  EXPECT_EQ(common::Compare(L"", L"", true), 0);
}

TEST(Compare, CaseSensitiveOrdersCodeUnitsUnsigned) {
  EXPECT_EQ(common::Compare(L"\xffff", L"a", true), 1);
  EXPECT_EQ(common::Compare(L"\x7f", L"\x80", true), -1);
}

TEST(Compare, CaseInsensitiveIgnoresAsciiCase) {
  EXPECT_EQ(common::Compare(L"abc", L"ABC", false), 0);
  EXPECT_LT(common::Compare(L"abc", L"ABD", false), 0);
  EXPECT_GT(common::Compare(L"abd", L"ABC", false), 0);
}

TEST(Compare, OnlyTextBeforeTheFirstNulCounts) {
  const std::wstring a(L"ab\0x", 4), b(L"ab\0y", 4);
  EXPECT_EQ(common::Compare(a, b, true), 0);
  EXPECT_EQ(common::Compare(a, b, false), 0);
  EXPECT_EQ(common::Compare(std::wstring(L"ab\0", 3), L"ab", true), 0);
}

TEST(LibraryType, AssignmentReturnsItself) {
  t_common a, b;
  EXPECT_EQ(&(a = b), &a);
}

}  // namespace

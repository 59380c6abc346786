#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "text/number_text.h"
#include "text/text_ops.h"

namespace tovak::text {
namespace {

// "中" is D6 D0 in GBK; its trail byte D0 must never start a match.
TEST(TextSearch, StepsOverDoubleByteCharacters) {
  Text t = "\xD6\xD0\xD0\xD6";  // two characters; D0 D0 across their border is no match
  EXPECT_EQ(Find(t, "\xD0\xD6"), 3);
  EXPECT_EQ(Find("\xB0\xA1\x41", "\xA1\x41"), -1) << "A1 is the trail byte of 啊";
  EXPECT_EQ(FindLast("a/b/c", "/"), 4);
  EXPECT_EQ(FindLast("a/b/c", "/", 3), 2);
  EXPECT_EQ(Find("abcABC", "B", 1, true), 2);
  EXPECT_EQ(Find("abc", "x"), -1);
  EXPECT_EQ(Find("abcabc", "abc", 2), 4);
  EXPECT_EQ(ReplaceAll("Cookie: a=1", "cookie:", "", true), " a=1");
  EXPECT_EQ(ReplaceAll("\xB0\xA1\x41\x41", "\xA1\x41", "!"), "\xB0\xA1\x41\x41");
}

TEST(TextParts, CountBytesAndClamp) {
  struct Case {
    Text got, want;
  } cases[] = {
      {Left("abc", 0), ""},    {Left("abc", -1), ""},     {Left("abc", 5), "abc"},  {Right("abc", 2), "bc"},
      {Right("abc", 9), "abc"}, {Mid("abcdef", 2, 3), "bcd"}, {Mid("abc", 4, 1), ""}, {Mid("abc", 0, 1), ""},
      {Mid("abc", 2), "bc"},   {Mid("abc", 3, 10), "c"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(TextTrim, RemovesOnlyAsciiAndFullWidthSpaces) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\xA1\xA1 x\xA1\xA1"), "x");
  EXPECT_EQ(Trim("\tx\r\n"), "\tx\r\n");
  EXPECT_EQ(Trim("   "), "");
}

TEST(TextSplit, KeepsInnerEmptyPiecesOnly) {
  EXPECT_TRUE(Split("", ",").empty());
  EXPECT_EQ(Split("a,,b", ","), (TextList{"a", "", "b"}));
  EXPECT_EQ(Split("a,b,", ","), (TextList{"a", "b"}));
  EXPECT_EQ(Split(",a", ","), (TextList{"", "a"}));
  EXPECT_EQ(Split("a\r\nb", "\r\n"), (TextList{"a", "b"}));
  EXPECT_EQ(ToUpperAscii("abc\xD6\xD0z"), "ABC\xD6\xD0Z");
}

TEST(NumberTexts, RoundAndFormatAsTheLabelsNeed) {
  struct Case {
    double value;
    int decimals;
    Text text;
  } cases[] = {
      {123456789 / 1048576.0, 2, "117.74"}, {1.0, 2, "1"},      {5242880 / 1048576.0, 2, "5"},
      {12.5, 2, "12.5"},                      {0.015, 2, "0.02"}, {-2.5, 0, "-3"},
      {99.5, 0, "100"},                       {0.0, 2, "0"},      {9999999999999.0, 0, "9999999999999"},
  };
  for (const Case& c : cases) EXPECT_EQ(NumberText(RoundTo(c.value, c.decimals)), c.text) << c.value;
  EXPECT_EQ(IntegerText(-42), "-42");
}

TEST(NumberTexts, TextToIntegerReadsLeadingDigits) {
  struct Case {
    Text text;
    int64_t value;
  } cases[] = {
      {"123456789", 123456789}, {"  -17x", -17}, {"+5", 5},      {"*", 0},
      {"", 0},                  {"abc", 0},      {"\xA3\xB1\xA3\xB2", 12},  // full-width 12
      {"\xA3\xAD\xA3\xB3", -3}, {"9999999999999", 9999999999999}, {"99999999999999999999", INT64_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInt64(c.text), c.value) << c.text;
}

TEST(CodePage, RoundTripsChineseAndReplacesTheUnrepresentable) {
  Text gbk = "下载器";
  EXPECT_EQ(platform::GbkToUtf8(gbk), "\xE4\xB8\x8B\xE8\xBD\xBD\xE5\x99\xA8");
  EXPECT_EQ(platform::Utf8ToGbk(platform::GbkToUtf8(gbk)), gbk);
  EXPECT_EQ(platform::Utf16ToGbk(platform::GbkToUtf16(gbk)), gbk);
  EXPECT_EQ(platform::Utf8ToGbk("a\xF0\x9F\x98\x80z"), "a?z");
}

}  // namespace
}  // namespace tovak::text

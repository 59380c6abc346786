#include <gtest/gtest.h>

#include "http/base64.h"
#include "http/content_range.h"
#include "http/header_text.h"

namespace tovak::http {
namespace {

TEST(HeaderText, NamesAndValuesAreTrimmedAroundTheFirstColon) {
  EXPECT_EQ(HeaderName("Range : bytes=0-0"), "Range");
  EXPECT_EQ(HeaderValue("Range : bytes=0-0"), "bytes=0-0");
  EXPECT_EQ(HeaderValue("Referer: http://h:8/x"), "http://h:8/x");
  EXPECT_EQ(HeaderName("no colon"), "");
  EXPECT_EQ(HeaderValue("no colon"), "");
  EXPECT_EQ(HeaderName("Name\t: v"), "Name\t");
}

TEST(HeaderText, NormalizeCapitalisesNamesOnly) {
  struct Case {
    Text in, out;
  } cases[] = {
      {"x-forwarded-for: 1", "X-Forwarded-For: 1"},
      {"Range : bytes=0-0", "Range : bytes=0-0"},
      {"content-type: text/plain", "Content-Type: text/plain"},
      {"USER-AGENT: x", "USER-AGENT: x"},
      {"a: 1\r\nno colon\r\nb-: 2", "A: 1\r\nB-: 2"},
      {" lower: v", " lower: v"},
      {"\r\nAccept: */*", "Accept: */*"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeHeaderNames(c.in), c.out) << c.in;
  EXPECT_EQ(HeaderName(NormalizeHeaderNames(" lower: v")), "lower");
  EXPECT_EQ(CapitalizeFirst("\xD6\xD0x"), "\xD6\xD0x");
}

TEST(HeaderText, MarkersAndTheQuotePlaceholder) {
  EXPECT_EQ(TextBefore("a: b", ": "), "a");
  EXPECT_EQ(TextBefore("ab", ":"), "");
  EXPECT_EQ(TextBetween("x=\"v\";", "x=#引号", "#引号"), "v");
  EXPECT_EQ(TextBetween("end start", "start", "end"), "") << "the end marker must follow the start";
  EXPECT_EQ(TextBetween("[]", "[", "]"), "");
}

TEST(HeaderText, FindsAResponseHeaderByItsWholeNameInAnyCase) {
  const Text http1 = "Content-Range-Note: x\r\nContent-Range: bytes 0-0/5242880\r\nContent-Range: bytes 0-0/1\r\n";
  EXPECT_EQ(FindHeaderValue(http1, "Content-Range"), "bytes 0-0/5242880") << "the first line of that name";
  EXPECT_EQ(FindHeaderValue("content-range: bytes 0-0/10\r\n", "Content-Range"), "bytes 0-0/10");
  EXPECT_EQ(FindHeaderValue("CONTENT-RANGE:bytes 0-0/10", "Content-Range"), "bytes 0-0/10");
  EXPECT_EQ(FindHeaderValue("Range: bytes=0-0\r\nX: Content-Range: 1", "Content-Range"), "");
  EXPECT_EQ(FindHeaderValue("", "Content-Range"), "");
}

TEST(HeaderText, ContentRangeMustNameBytesInOrderWithinTheTotal) {
  struct Case {
    Text value;
    bool valid;
    int64_t first = 0, last = 0, total = 0;
  } cases[] = {
      {"bytes 0-0/123", true, 0, 0, 123},
      {"bytes 1048577-2097153/40000000", true, 1048577, 2097153, 40000000},
      {" Bytes 5-9/* ", true, 5, 9, ContentRange::kUnknownTotal},
      {"bytes 9223372036854775806-9223372036854775806/9223372036854775807", true, 9223372036854775806,
       9223372036854775806, 9223372036854775807},
      {"bytes */123", false},
      {"bytes 5-4/10", false},
      {"bytes 0-10/10", false},
      {"bytes 0-9/10x", false},
      {"bytes 0-9", false},
      {"bytes -1-9/10", false},
      {"bytes 0 -9/10", false},
      {"items 0-9/10", false},
      {"bytes 0-9223372036854775808/*", false},
      {"bytes \xA3\xB0-9/10", false},
      {"", false},
  };
  for (const Case& c : cases) {
    auto range = ParseContentRange(c.value);
    ASSERT_EQ(range.has_value(), c.valid) << c.value;
    if (!range) continue;
    EXPECT_EQ(range->first, c.first) << c.value;
    EXPECT_EQ(range->last, c.last) << c.value;
    EXPECT_EQ(range->total, c.total) << c.value;
  }
}

TEST(Cookies, ExtractTakesTheSetCookieLinesInAnyCase) {
  EXPECT_EQ(ExtractSetCookies("Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2"), "a=1; b=2");
  EXPECT_EQ(ExtractSetCookies("set-cookie: a=1; path=/\r\nSET-COOKIE: b=2\r\n"), "a=1; b=2") << "HTTP/2 names";
  EXPECT_EQ(ExtractSetCookies("Set-Cookie:b=2\r\nSet-Cookies: c=3\r\nServer: x"), "");
  EXPECT_EQ(ExtractSetCookies(""), "");
}

TEST(Cookies, MergeListsNewFirstAndDropsDeleted) {
  struct Case {
    Text old, fresh, merged;
  } cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"}, {"a=1; b=2", "b=deleted", "a=1"},
      {"a=1;", "", "a=1"},                       {"", "", ""},
      {"a=1; a=5", "", "a=1"},                   {"", "a=1; a=1; a=2", "a=1; a=2"},
  };
  for (Case c : cases) {
    Text old = c.old, fresh = c.fresh;
    EXPECT_EQ(MergeCookies(old, fresh), c.merged) << c.old << " + " << c.fresh;
    EXPECT_EQ(old, c.merged);
  }
  EXPECT_EQ(RemoveDuplicates("a=1; a=1; b=2", "; "), "a=1; b=2");
  EXPECT_EQ(RemoveDuplicates("a=1; a=2", "; "), "a=1; a=2");
  EXPECT_EQ(IndexOfText({"a", "b"}, "b"), 2);
  EXPECT_EQ(IndexOfText({"a"}, "A"), -1);
  EXPECT_EQ(CookieName(" sid = x "), "sid");
}

TEST(Base64, EncodesTheStandardAlphabetWithPadding) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("user:"), "dXNlcjo=");
  EXPECT_EQ(Base64Encode("\xFF\xFE"), "//4=");
}

}  // namespace
}  // namespace tovak::http

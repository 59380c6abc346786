#include <gtest/gtest.h>

#include "http/base64.h"
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

TEST(Cookies, ExtractTakesTheExactSetCookieLines) {
  EXPECT_EQ(ExtractSetCookies("Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2"), "a=1; b=2");
  EXPECT_EQ(ExtractSetCookies("set-cookie: a=1\r\nSet-Cookie:b=2\r\nServer: x"), "");
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

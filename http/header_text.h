#pragma once
// Header texts (lines separated by CR LF, "name: value") and cookie texts ("a=1; b=2").
#include "text/text.h"

namespace tovak::http {

// Header names are matched without regard to case wherever a response is read: HTTP/2 sends
// them in lower case.
Text HeaderName(const Text& line);
Text HeaderValue(const Text& line);
// The value of the first response header line named `name`; empty when there is none.
Text FindHeaderValue(const Text& headerText, const Text& name);
Text CapitalizeFirst(const Text& word);
// Upper-cases the first letter of each header name and every letter after a "-" in it; lines
// without a colon are dropped.
Text NormalizeHeaderNames(const Text& headerText);
Text TextBefore(const Text& text, const Text& marker);
// "#引号" in a marker stands for a double quote.
Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker);
// The name=value pairs that the "Set-Cookie: " lines of a response set, joined by "; ".
Text ExtractSetCookies(const Text& responseHeaders);
Text CookieName(const Text& item);
int64_t IndexOfText(const TextList& list, const Text& value);
bool HasCookieNamed(const TextList& items, const Text& name);
Text RemoveDuplicates(const Text& text, const Text& separator);
// New cookies first, then the old ones the response did not set; "=deleted" items disappear.
// Both arguments are normalised in place and `oldCookies` holds the result afterwards.
Text MergeCookies(Text& oldCookies, Text& newCookies);

}  // namespace tovak::http

#include "http/header_text.h"

#include "text/text_ops.h"

namespace tovak::http {

using text::Find;
using text::Split;
using text::Trim;

Text HeaderName(const Text& line) {
  int64_t colon = Find(line, ":");
  return colon < 0 ? Text{} : Trim(text::Left(line, colon - 1));
}

Text HeaderValue(const Text& line) {
  int64_t colon = Find(line, ":");
  return colon < 0 ? Text{} : Trim(text::Mid(line, colon + 1));
}

Text FindHeaderValue(const Text& headerText, const Text& name) {
  for (const Text& line : Split(headerText, "\r\n"))
    if (text::EqualsIgnoringCase(HeaderName(line), name)) return HeaderValue(line);
  return {};
}

Text CapitalizeFirst(const Text& word) {
  Text result = word;
  if (!result.empty() && result[0] >= 'a' && result[0] <= 'z') result[0] = static_cast<char>(result[0] - 'a' + 'A');
  return result;
}

Text NormalizeHeaderNames(const Text& headerText) {
  TextList output;
  for (const Text& line : Split(headerText, "\r\n")) {
    int64_t colon = Find(line, ":");
    if (colon < 0) continue;
    Text name = text::Left(line, colon - 1);
    Text rebuilt;
    if (text::Contains(name, "-")) {
      TextList pieces = Split(name, "-");
      for (Text& piece : pieces) piece = CapitalizeFirst(piece);
      rebuilt = text::Join(pieces, "-");
    } else {
      rebuilt = CapitalizeFirst(name);
    }
    output.push_back(rebuilt + text::Right(line, static_cast<int64_t>(line.size() - rebuilt.size())));
  }
  return text::Join(output, "\r\n");
}

Text TextBefore(const Text& textValue, const Text& marker) {
  int64_t at = Find(textValue, marker);
  return at < 0 ? Text{} : text::Left(textValue, at - 1);
}

Text TextBetween(const Text& textValue, const Text& startMarker, const Text& endMarker) {
  // "#引号" in GBK, spelt out so that every compiler gives the same bytes.
  static const Text kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";
  Text start = text::ReplaceAll(startMarker, kQuotePlaceholder, "\"");
  Text end = text::ReplaceAll(endMarker, kQuotePlaceholder, "\"");
  int64_t at = Find(textValue, start);
  if (at < 0) return {};
  int64_t p = at + static_cast<int64_t>(start.size());
  int64_t stop = Find(textValue, end, p);
  if (stop < 0) return {};
  return text::Mid(textValue, p, stop - p);
}

Text ExtractSetCookies(const Text& responseHeaders) {
  static const Text kName = "Set-Cookie";
  Text result;
  for (const Text& line : Split(responseHeaders, "\r\n")) {
    // The line starts with the name, a colon and a space, in whatever case the server wrote it.
    if (!text::EqualsIgnoringCase(TextBefore(line, ": "), kName)) continue;
    const Text value = text::Mid(line, static_cast<int64_t>(kName.size()) + 2);
    Text item = text::Contains(value, ";") ? Trim(TextBefore(value, ";"))
                                           : Trim(text::ReplaceAll(line, kName + ":", "", true));
    result += item + "; ";
  }
  if (text::EndsWith(result, "; ")) result.resize(result.size() - 2);
  return result;
}

Text CookieName(const Text& item) {
  int64_t eq = Find(item, "=");
  return eq < 0 ? Trim(item) : Trim(text::Left(item, eq - 1));
}

int64_t IndexOfText(const TextList& list, const Text& value) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == value) return static_cast<int64_t>(i) + 1;
  return -1;
}

bool HasCookieNamed(const TextList& items, const Text& name) {
  for (const Text& item : items)
    if (CookieName(item) == name) return true;
  return false;
}

Text RemoveDuplicates(const Text& textValue, const Text& separator) {
  TextList seen;
  Text result;
  for (const Text& piece : Split(textValue, separator)) {
    if (IndexOfText(seen, piece) >= 0) continue;
    seen.push_back(piece);
    result += piece + separator;
  }
  return text::Left(result, static_cast<int64_t>(result.size()) - static_cast<int64_t>(separator.size()));
}

Text MergeCookies(Text& oldCookies, Text& newCookies) {
  for (Text* cookies : {&oldCookies, &newCookies}) {
    *cookies = Trim(*cookies);
    if (text::EndsWith(*cookies, ";")) *cookies += " ";
  }
  TextList oldItems = Split(oldCookies, "; ");
  TextList newItems = Split(newCookies, "; ");
  for (const Text& item : oldItems)
    if (!HasCookieNamed(newItems, CookieName(item))) newItems.push_back(item);
  oldCookies.clear();
  for (const Text& item : newItems)
    if (!text::EndsWith(item, "=deleted")) oldCookies += item + "; ";
  oldCookies = text::Left(oldCookies, static_cast<int64_t>(oldCookies.size()) - 2);
  oldCookies = RemoveDuplicates(oldCookies, "; ");
  return oldCookies;
}

}  // namespace tovak::http

#include "text/text_ops.h"

#include <algorithm>

namespace tovak::text {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(const Text& text, size_t at, const Text& what, bool ignoreCase) {
  if (at + what.size() > text.size()) return false;
  for (size_t i = 0; i < what.size(); ++i) {
    char a = text[at + i], b = what[i];
    if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
  }
  return true;
}

// Byte offsets at which a character starts.
std::vector<size_t> CharacterStarts(const Text& text) {
  std::vector<size_t> starts;
  starts.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    starts.push_back(i);
    i += CharacterWidth(text, i);
  }
  return starts;
}

// Offset of the next character start at or after `at` (0-based), walking from the text's start.
size_t NextCharacterStart(const Text& text, size_t at) {
  size_t i = 0;
  while (i < at) i += CharacterWidth(text, i);
  return i;
}

}  // namespace

bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

size_t CharacterWidth(const Text& text, size_t at) {
  return (IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) ? 2 : 1;
}

int64_t Find(const Text& text, const Text& what, int64_t from, bool ignoreCase) {
  if (what.empty() || from < 1 || static_cast<uint64_t>(from) > text.size()) return -1;
  size_t i = NextCharacterStart(text, static_cast<size_t>(from - 1));
  while (i + what.size() <= text.size()) {
    if (MatchesAt(text, i, what, ignoreCase)) return static_cast<int64_t>(i) + 1;
    i += CharacterWidth(text, i);
  }
  return -1;
}

int64_t FindLast(const Text& text, const Text& what, int64_t from, bool ignoreCase) {
  if (what.empty() || what.size() > text.size()) return -1;
  int64_t limit = (from < 0 || static_cast<uint64_t>(from) > text.size()) ? static_cast<int64_t>(text.size()) : from;
  std::vector<size_t> starts = CharacterStarts(text);
  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    if (static_cast<int64_t>(*it) + 1 > limit) continue;
    if (MatchesAt(text, *it, what, ignoreCase)) return static_cast<int64_t>(*it) + 1;
  }
  return -1;
}

bool Contains(const Text& text, const Text& what, bool ignoreCase) { return Find(text, what, 1, ignoreCase) > 0; }

Text Left(const Text& text, int64_t count) {
  if (count <= 0) return {};
  return text.substr(0, static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(text.size()))));
}

Text Right(const Text& text, int64_t count) {
  if (count <= 0) return {};
  size_t n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(text.size())));
  return text.substr(text.size() - n);
}

Text Mid(const Text& text, int64_t start, int64_t count) {
  if (count <= 0 || start < 1 || static_cast<uint64_t>(start) > text.size()) return {};
  size_t from = static_cast<size_t>(start - 1);
  size_t n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(text.size() - from)));
  return text.substr(from, n);
}

Text Trim(const Text& text) {
  size_t begin = 0, end = text.size();
  for (;;) {
    if (begin < end && text[begin] == ' ') {
      ++begin;
    } else if (begin + 1 < end && static_cast<unsigned char>(text[begin]) == 0xA1 &&
               static_cast<unsigned char>(text[begin + 1]) == 0xA1) {
      begin += 2;
    } else {
      break;
    }
  }
  for (;;) {
    if (end > begin && text[end - 1] == ' ') {
      --end;
    } else if (end >= begin + 2 && static_cast<unsigned char>(text[end - 1]) == 0xA1 &&
               static_cast<unsigned char>(text[end - 2]) == 0xA1) {
      end -= 2;
    } else {
      break;
    }
  }
  return text.substr(begin, end - begin);
}

TextList Split(const Text& text, const Text& separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) return {text};
  int64_t from = 1;
  for (;;) {
    int64_t at = Find(text, separator, from);
    if (at < 0) {
      if (static_cast<uint64_t>(from) <= text.size()) pieces.push_back(text.substr(static_cast<size_t>(from - 1)));
      return pieces;
    }
    pieces.push_back(text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(at - from)));
    from = at + static_cast<int64_t>(separator.size());
  }
}

Text Join(const TextList& pieces, const Text& separator) {
  Text joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) joined += separator;
    joined += pieces[i];
  }
  return joined;
}

Text ReplaceAll(const Text& text, const Text& what, const Text& with, bool ignoreCase) {
  if (what.empty()) return text;
  Text result;
  int64_t from = 1;
  for (;;) {
    int64_t at = Find(text, what, from, ignoreCase);
    if (at < 0) break;
    result.append(text, static_cast<size_t>(from - 1), static_cast<size_t>(at - from));
    result += with;
    from = at + static_cast<int64_t>(what.size());
  }
  if (static_cast<uint64_t>(from) <= text.size()) result.append(text, static_cast<size_t>(from - 1));
  return result;
}

Text ToUpperAscii(const Text& text) {
  Text upper = text;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool StartsWith(const Text& text, const Text& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool EqualsIgnoringCase(const Text& a, const Text& b) { return a.size() == b.size() && MatchesAt(a, 0, b, true); }

bool EndsWith(const Text& text, const Text& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace tovak::text

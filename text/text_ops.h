#pragma once
// Text operations over GBK byte strings. Positions count bytes from 1 and a search that finds
// nothing gives -1. Searches, splits and replacements treat a double-byte character as one unit,
// so a match never starts on a trail byte.
#include <cstdint>

#include "text/text.h"

namespace tovak::text {

bool IsLeadByte(unsigned char byte);
// The byte width (1 or 2) of the character that starts at offset `at`.
size_t CharacterWidth(const Text& text, size_t at);

// First occurrence of `what` at or after position `from`.
int64_t Find(const Text& text, const Text& what, int64_t from = 1, bool ignoreCase = false);
// Last occurrence of `what` that starts at or before position `from` (-1: the end of the text).
int64_t FindLast(const Text& text, const Text& what, int64_t from = -1, bool ignoreCase = false);
bool Contains(const Text& text, const Text& what, bool ignoreCase = false);

Text Left(const Text& text, int64_t count);
Text Right(const Text& text, int64_t count);
Text Mid(const Text& text, int64_t start, int64_t count = INT64_MAX);

// Removes ASCII spaces and full-width spaces (A1 A1) from both ends; never tabs, CR or LF.
Text Trim(const Text& text);
TextList Split(const Text& text, const Text& separator);
Text Join(const TextList& pieces, const Text& separator);
Text ReplaceAll(const Text& text, const Text& what, const Text& with, bool ignoreCase = false);
Text ToUpperAscii(const Text& text);
bool StartsWith(const Text& text, const Text& prefix);
// Equal but for the case of ASCII letters.
bool EqualsIgnoringCase(const Text& a, const Text& b);
bool EndsWith(const Text& text, const Text& suffix);

}  // namespace tovak::text

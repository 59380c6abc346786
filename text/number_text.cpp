#include "text/number_text.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace tovak::text {
namespace {

// Full-width forms in GBK: digits A3 B0..A3 B9, plus A3 AB, minus A3 AD, space A1 A1.
Text FullWidthToAscii(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (i + 1 < text.size()) {
      unsigned char t = static_cast<unsigned char>(text[i + 1]);
      if (c == 0xA3 && t >= 0xB0 && t <= 0xB9) { out += static_cast<char>('0' + (t - 0xB0)); ++i; continue; }
      if (c == 0xA3 && t == 0xAB) { out += '+'; ++i; continue; }
      if (c == 0xA3 && t == 0xAD) { out += '-'; ++i; continue; }
      if (c == 0xA1 && t == 0xA1) { out += ' '; ++i; continue; }
      if (c >= 0x81 && c <= 0xFE) { out += text[i]; out += text[i + 1]; ++i; continue; }
    }
    out += text[i];
  }
  return out;
}

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

Text IntegerText(int64_t value) { return std::to_string(value); }

Text NumberText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return buffer;
}

double RoundTo(double value, int decimals) {
  double scale = std::pow(10.0, decimals);
  double magnitude = std::fabs(value) * scale + 1e-12;
  double whole = std::floor(magnitude);
  if (magnitude - whole >= 0.5) whole += 1.0;
  double rounded = whole / scale;
  return value < 0 ? -rounded : rounded;
}

int64_t TextToInt64(const Text& original) {
  Text text = FullWidthToAscii(original);
  size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    magnitude = (magnitude > (limit - digit) / 10) ? limit : magnitude * 10 + digit;
  }
  if (negative) return magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
  return static_cast<int64_t>(magnitude);
}

}  // namespace tovak::text

#include "http/content_range.h"

#include "text/text_ops.h"

namespace tovak::http {
namespace {

// A run of decimal digits that fits in 63 bits; advances `at` past it.
std::optional<int64_t> ReadOffset(const Text& value, size_t& at) {
  const size_t begin = at;
  int64_t number = 0;
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    const int digit = value[at] - '0';
    if (number > (INT64_MAX - digit) / 10) return std::nullopt;
    number = number * 10 + digit;
  }
  if (at == begin) return std::nullopt;
  return number;
}

bool Take(const Text& value, size_t& at, char expected) {
  if (at >= value.size() || value[at] != expected) return false;
  ++at;
  return true;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(const Text& raw) {
  const Text value = text::Trim(raw);
  static const Text kUnit = "bytes ";
  if (!text::EqualsIgnoringCase(text::Left(value, static_cast<int64_t>(kUnit.size())), kUnit)) return std::nullopt;
  size_t at = kUnit.size();
  ContentRange range;
  auto first = ReadOffset(value, at);
  if (!first || !Take(value, at, '-')) return std::nullopt;
  auto last = ReadOffset(value, at);
  if (!last || !Take(value, at, '/')) return std::nullopt;
  range.first = *first;
  range.last = *last;
  if (Take(value, at, '*')) {
    range.total = ContentRange::kUnknownTotal;
  } else {
    auto total = ReadOffset(value, at);
    if (!total) return std::nullopt;
    range.total = *total;
  }
  if (at != value.size() || range.first > range.last) return std::nullopt;
  if (range.total != ContentRange::kUnknownTotal && range.last >= range.total) return std::nullopt;
  return range;
}

}  // namespace tovak::http

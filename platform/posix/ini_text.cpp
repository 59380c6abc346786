#include "platform/posix/ini_text.h"

#include "text/text_ops.h"

namespace tovak::platform {
namespace {

TextList Lines(const Text& content) {
  TextList lines = text::Split(content, "\n");
  for (Text& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

bool IsSectionHeader(const Text& line, Text& name) {
  Text trimmed = text::Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
  name = text::Trim(trimmed.substr(1, trimmed.size() - 2));
  return true;
}

bool SameName(const Text& a, const Text& b) { return text::ToUpperAscii(a) == text::ToUpperAscii(b); }

// Splits "key=value"; false for lines without "=".
bool KeyValue(const Text& line, Text& key, Text& value) {
  size_t eq = line.find('=');
  if (eq == Text::npos) return false;
  key = text::Trim(line.substr(0, eq));
  value = text::Trim(line.substr(eq + 1));
  return true;
}

}  // namespace

Text IniValue(const Text& content, const Text& section, const Text& key) {
  bool inSection = false;
  for (const Text& line : Lines(content)) {
    Text name, k, v;
    if (IsSectionHeader(line, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
      return v;
    }
  }
  return {};
}

Text WithIniValue(const Text& content, const Text& section, const Text& key, const Text& value) {
  TextList lines = Lines(content);
  bool inSection = false, sectionSeen = false;
  size_t insertAt = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    Text name, k, v;
    if (IsSectionHeader(lines[i], name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) { sectionSeen = true; insertAt = i + 1; }
    } else if (inSection) {
      if (KeyValue(lines[i], k, v) && SameName(k, key)) {
        lines[i] = key + "=" + value;
        return text::Join(lines, "\r\n") + "\r\n";
      }
      if (!text::Trim(lines[i]).empty()) insertAt = i + 1;
    }
  }
  if (sectionSeen) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
  return text::Join(lines, "\r\n") + "\r\n";
}

}  // namespace tovak::platform

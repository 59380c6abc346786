#pragma once
// Which file the size probe saw: its validator, so that every block can be checked to come from
// the same file. A file replaced on the server during a download would otherwise be stored as a
// mix of both versions.
#include "text/text.h"

namespace tovak::download {

class FileIdentity {
 public:
  FileIdentity() = default;
  // The probe's strong ETag, else its Last-Modified; none when it sent neither (or only a weak
  // ETag, which does not tell byte-identical files apart).
  static FileIdentity FromHeaders(const Text& responseHeaders);
  // Whether an answer names another file than this one. An answer that does not name its file
  // the same way (no validator at all, say) is given the benefit of the doubt.
  bool IsOtherFile(const Text& responseHeaders) const;

 private:
  Text header_;  // "ETag" or "Last-Modified"; empty: nothing to check
  Text value_;
};

}  // namespace tovak::download

#include "download/file_identity.h"

#include "http/header_text.h"
#include "text/text_ops.h"

namespace tovak::download {
namespace {

const char* const kETag = "ETag";
const char* const kLastModified = "Last-Modified";

bool IsStrongETag(const Text& value) { return !value.empty() && !text::StartsWith(value, "W/"); }

}  // namespace

FileIdentity FileIdentity::FromHeaders(const Text& responseHeaders) {
  FileIdentity identity;
  const Text etag = text::Trim(http::FindHeaderValue(responseHeaders, kETag));
  const Text lastModified = text::Trim(http::FindHeaderValue(responseHeaders, kLastModified));
  if (IsStrongETag(etag)) {
    identity.header_ = kETag;
    identity.value_ = etag;
  } else if (!lastModified.empty()) {
    identity.header_ = kLastModified;
    identity.value_ = lastModified;
  }
  return identity;
}

bool FileIdentity::IsOtherFile(const Text& responseHeaders) const {
  if (header_.empty()) return false;
  const Text value = text::Trim(http::FindHeaderValue(responseHeaders, header_));
  if (value.empty() || (header_ == kETag && !IsStrongETag(value))) return false;
  return value != value_;
}

}  // namespace tovak::download

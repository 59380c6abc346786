#include "app/deployment.h"

#include "platform/program_location.h"

namespace tovak::app {
namespace {

Text ConfiguredOr(const char* variable, const char* fallback) {
  Text value = platform::EnvironmentText(variable);
  return value.empty() ? Text(fallback) : value;
}

}  // namespace

Text UpdatePageUrl() { return ConfiguredOr("TOVAK_UPDATE_PAGE_URL", TOVAK_DEFAULT_UPDATE_PAGE_URL); }

Text ReleaseBaseUrl() { return ConfiguredOr("TOVAK_RELEASE_BASE_URL", TOVAK_DEFAULT_RELEASE_BASE_URL); }

Text ComposeDirectLink(const Text& version) { return ReleaseBaseUrl() + version + "/tovak.security.zip"; }

}  // namespace tovak::app

#pragma once
// The deployment's addresses: compiled-in defaults, overridable by TOVAK_UPDATE_PAGE_URL and
// TOVAK_RELEASE_BASE_URL.
#include "text/text.h"

namespace tovak::app {

Text UpdatePageUrl();
// Ends in "/releases/download/v".
Text ReleaseBaseUrl();
// The direct link for the version named by the update page's title, taken as it is.
Text ComposeDirectLink(const Text& version);

}  // namespace tovak::app

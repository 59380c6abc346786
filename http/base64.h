#pragma once
#include <cstdint>

#include "text/text.h"

namespace tovak::http {

// The standard alphabet with "=" padding; the empty input gives the empty text.
Text Base64Encode(const Bytes& data);

}  // namespace tovak::http

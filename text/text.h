#pragma once
// A text is a string of code page 936 (GBK) bytes; a byte string is raw data.
#include <string>
#include <vector>

namespace tovak {

using Text = std::string;
using Bytes = std::string;
using TextList = std::vector<Text>;

}  // namespace tovak

#include "http/base64.h"

namespace tovak::http {

Text Base64Encode(const Bytes& data) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t chunk = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) chunk |= static_cast<unsigned char>(data[i + 1]) << 8;
    if (i + 2 < data.size()) chunk |= static_cast<unsigned char>(data[i + 2]);
    out += kAlphabet[(chunk >> 18) & 63];
    out += kAlphabet[(chunk >> 12) & 63];
    out += i + 1 < data.size() ? kAlphabet[(chunk >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kAlphabet[chunk & 63] : '=';
  }
  return out;
}

}  // namespace tovak::http

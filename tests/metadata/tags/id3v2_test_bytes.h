// Byte builders for ID3v2 test tags: frames and headers written by hand, so
// that the reader is checked against the layout and not against our writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace id3v2_test {

using bytes = std::vector<std::uint8_t>;

inline bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

inline bytes operator+(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline bytes syncsafe(std::uint32_t v) {
  return {std::uint8_t((v >> 21) & 0x7F), std::uint8_t((v >> 14) & 0x7F), std::uint8_t((v >> 7) & 0x7F),
          std::uint8_t(v & 0x7F)};
}

inline bytes be32(std::uint32_t v) {
  return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

// A version 2.3 frame (plain sizes) or, with `v4`, a 2.4 frame (syncsafe).
inline bytes frame(const std::string& id, const bytes& payload, bool v4 = false, std::uint8_t status = 0,
                   std::uint8_t format = 0) {
  return text(id) + (v4 ? syncsafe(std::uint32_t(payload.size())) : be32(std::uint32_t(payload.size()))) +
         bytes{status, format} + payload;
}

inline bytes frame22(const std::string& id, const bytes& payload) {
  const auto n = std::uint32_t(payload.size());
  return text(id) + bytes{std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)} + payload;
}

inline bytes tag(std::uint8_t version, const bytes& body, std::uint8_t flags = 0) {
  return text("ID3") + bytes{version, 0, flags} + syncsafe(std::uint32_t(body.size())) + body;
}

// Encoding 0 text payload.
inline bytes latin(const std::string& s) { return bytes{0} + text(s); }

}  // namespace id3v2_test

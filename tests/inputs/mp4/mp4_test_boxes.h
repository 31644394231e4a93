// Building MP4 files byte by byte for the container library's tests: each
// box is its type and payload, so a test states exactly the structure (and
// the damage) it is about.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_open.h"

namespace mp4_test {

using bytes = std::string;

inline bytes be16(std::uint32_t v) { return {char(v >> 8), char(v)}; }
inline bytes be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
inline bytes be64(std::uint64_t v) { return be32(std::uint32_t(v >> 32)) + be32(std::uint32_t(v)); }

inline bytes cat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const auto& part : parts) out += part;
  return out;
}

inline bytes box(const char* type, const bytes& payload) { return be32(std::uint32_t(payload.size() + 8)) + type + payload; }
// A "full box": version and flags before the payload.
inline bytes full_box(const char* type, std::uint32_t version_and_flags, const bytes& payload) {
  return box(type, be32(version_and_flags) + payload);
}

inline bytes mvhd(std::uint32_t time_scale, std::uint32_t duration) {
  return full_box("mvhd", 0, be32(0) + be32(0) + be32(time_scale) + be32(duration) + bytes(80, '\0'));
}
inline bytes mdhd(std::uint32_t time_scale, std::uint32_t duration) {
  return full_box("mdhd", 0, be32(0) + be32(0) + be32(time_scale) + be32(duration) + be32(0));
}
inline bytes tkhd(std::uint32_t track_id) { return full_box("tkhd", 7, be32(0) + be32(0) + be32(track_id) + bytes(68, '\0')); }

// An audio sample entry of the given type, rate and channels, with children.
inline bytes audio_entry(const char* type, std::uint16_t channels, std::uint16_t rate, const bytes& children = "") {
  return box(type, bytes(6, '\0') + be16(1) + bytes(8, '\0') + be16(channels) + be16(16) + be32(0) + be16(rate) +
                       be16(0) + children);
}
inline bytes stsd(const bytes& entries, std::uint32_t count = 1) { return full_box("stsd", 0, be32(count) + entries); }

// An "esds" payload's descriptors: elementary stream (length 25), decoder
// configuration with the given bit rates and a two-byte set-up.
inline bytes esds_payload() {
  return bytes("\x03\x19", 2) + be16(1) + bytes(1, '\0') + bytes("\x04\x11\x40\x15", 4) + bytes(3, '\0') +
         be32(128000) + be32(96000) + bytes("\x05\x02\x12\x10", 4) + bytes("\x06\x01\x02", 3);
}
inline bytes esds(const bytes& payload = esds_payload()) { return full_box("esds", 0, payload); }

inline bytes stts(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> runs) {
  bytes out = be32(std::uint32_t(runs.size()));
  for (auto [count, duration] : runs) out += be32(count) + be32(duration);
  return full_box("stts", 0, out);
}
inline bytes stsz(std::uint32_t fixed, std::initializer_list<std::uint32_t> sizes, std::uint32_t count = 0) {
  bytes out = be32(fixed) + be32(fixed ? count : std::uint32_t(sizes.size()));
  for (auto size : sizes) out += be32(size);
  return full_box("stsz", 0, out);
}
inline bytes stsc(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
  bytes out = be32(std::uint32_t(entries.size()));
  for (const auto& e : entries) out += be32(e[0]) + be32(e[1]) + be32(e[2]);
  return full_box("stsc", 0, out);
}
inline bytes stco(std::initializer_list<std::uint32_t> offsets) {
  bytes out = be32(std::uint32_t(offsets.size()));
  for (auto offset : offsets) out += be32(offset);
  return full_box("stco", 0, out);
}

inline bytes trak(std::uint32_t id, std::uint32_t time_scale, std::uint32_t duration, const bytes& entry,
                  const bytes& tables) {
  return box("trak", (id ? tkhd(id) : bytes()) +
                         box("mdia", mdhd(time_scale, duration) + box("minf", box("stbl", stsd(entry) + tables))));
}

// A one-track AAC movie of four samples (sizes 10, 20, 30, 40 in two chunks
// at 1000 and 2000), time scale 44100, 1024 samples each.
inline bytes simple_track(std::uint32_t id = 1) {
  return trak(id, 44100, 4096, audio_entry("mp4a", 2, 44100, esds()),
              stts({{4, 1024}}) + stsz(0, {10, 20, 30, 40}) + stsc({{1, 2, 1}}) + stco({1000, 2000}));
}
inline bytes ftyp() { return box("ftyp", bytes("M4A ", 4) + be32(0)); }
inline bytes simple_file() { return ftyp() + box("moov", mvhd(1000, 93) + simple_track()) + box("mdat", bytes(16, 'x')); }

// Everything the player's input reads.
constexpr std::uint32_t reading_options = 0x13;

inline void open_bytes(tarnex::mp4_file& file, const bytes& data, std::uint32_t options = reading_options) {
  tarnex::memory_stream in(data.data(), data.size());
  tarnex::mp4_open_file(file, in, options, true);
}

// The message of the exception opening `data` throws; empty when it opens.
inline std::string open_error(const bytes& data, std::uint32_t options = reading_options) {
  try {
    tarnex::mp4_file file;
    open_bytes(file, data, options);
  } catch (const std::exception& e) {
    return e.what();
  }
  return std::string();
}

}  // namespace mp4_test

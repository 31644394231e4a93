// Small Matroska files built element by element for the structure tests.
#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "tests/inputs/matroska/ebml_test_bytes.h"

namespace matroska_test {

using namespace ebml_test;

inline std::string header(const std::string& doc_type = "matroska", std::uint64_t read_version = 1,
                          std::uint64_t doc_read_version = 2) {
  return el(0x1A45DFA3, uint_el(0x4286, 1) + uint_el(0x42F7, read_version) + el(0x4282, doc_type) +
                            uint_el(0x4285, doc_read_version));
}

inline std::string info(double duration = 2000.0, std::uint64_t scale = 1000000) {
  return el(0x1549A966, uint_el(0x2AD7B1, scale, 3) + double_el(0x4489, duration));
}

inline std::string audio(double rate = 44100.0, std::uint64_t channels = 2) {
  return el(0xE1, double_el(0xB5, rate) + uint_el(0x9F, channels) + uint_el(0x6264, 16));
}

inline std::string track(std::uint64_t number, std::uint64_t type = 2, const std::string& extra = "") {
  return el(0xAE, uint_el(0xD7, number) + uint_el(0x73C5, 1000 + number, 2) + uint_el(0x83, type) +
                      el(0x86, type == 2 ? "A_FLAC" : "V_VP9") + (type == 2 ? audio() : "") + extra);
}

inline std::string tracks(const std::string& entries = track(1)) { return el(0x1654AE6B, entries); }

// One 16-bit PCM channel at 1000 Hz, track UID 7: decodable without codec data.
inline std::string pcm_track() {
  return tracks(el(0xAE, uint_el(0xD7, 1) + uint_el(0x73C5, 7) + uint_el(0x83, 2) + el(0x86, "A_PCM/INT/LIT") +
                             el(0xE1, double_el(0xB5, 1000.0) + uint_el(0x9F, 1) + uint_el(0x6264, 16))));
}

inline std::string chapter(std::uint64_t uid, std::uint64_t start, const std::string& extra = "") {
  return el(0xB6, uint_el(0x73C4, uid) + uint_el(0x91, start, 4) + extra);
}

inline std::string chapter_title(const std::string& title) { return el(0x80, el(0x85, title)); }

inline std::string cue(std::uint64_t time, std::uint64_t track_number, std::uint64_t position) {
  return el(0xBB, uint_el(0xB3, time, 2) + el(0xB7, uint_el(0xF7, track_number) + uint_el(0xF1, position, 4)));
}

inline std::string cluster(std::uint64_t timecode, const std::string& blocks = "") {
  return el(0x1F43B675, uint_el(0xE7, timecode, 2) + blocks);
}

inline std::string seek_entry(std::uint32_t id, std::uint64_t position) {
  return el(0x4DBB, el(0x53AB, id_bytes(id)) + el(0x53AC, be(position, 4)));
}

// A Segment whose first child is a SeekHead listing the children whose IDs
// are in `listed`, with their real positions.
inline std::string segment_with_seekhead(const std::vector<std::pair<std::uint32_t, std::string>>& children,
                                         const std::vector<std::uint32_t>& listed) {
  // Positions are written in 4 bytes, so the SeekHead's size does not depend
  // on them.
  auto seekhead = [&](std::uint64_t base) {
    std::string entries;
    for (std::uint32_t id : listed) {
      std::uint64_t position = base;
      for (const auto& child : children) {
        if (child.first == id) break;
        position += child.second.size();
      }
      entries += seek_entry(id, base ? position : 0);
    }
    return el(0x114D9B74, entries);
  };
  std::string content = seekhead(seekhead(0).size());
  for (const auto& child : children) content += child.second;
  return el(0x18538067, content, 8);
}

inline std::string minimal_file(const std::string& segment_content) {
  return header() + el(0x18538067, segment_content, 8);
}

}  // namespace matroska_test

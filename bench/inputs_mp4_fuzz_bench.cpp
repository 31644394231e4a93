// Damaged MP4 files through the container library, in one process so that
// every allocation can be watched: for each file given, its boxes are cut at
// every boundary, their sizes and the counts of full boxes set to 0,
// 0x7FFFFFFF and 0xFFFFFFFF or turned into 64-bit sizes, random bytes
// flipped, and boxes nested deeply. Each case must open or fail with one of
// the library's errors, and no case may allocate more than a small multiple
// of the file's own size.   bench_inputs_mp4_fuzz FILE...
#include "bench/counting_allocator.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/sample_iterator.h"
#include "inputs/mp4/tarnex_exceptions.h"

using bench::live_bytes;
using bench::peak_bytes;

namespace {

using bytes = std::string;

std::uint32_t load_be32(const bytes& d, std::size_t at) {
  return (std::uint32_t(std::uint8_t(d[at])) << 24) | (std::uint32_t(std::uint8_t(d[at + 1])) << 16) |
         (std::uint32_t(std::uint8_t(d[at + 2])) << 8) | std::uint8_t(d[at + 3]);
}
void store_be32(bytes& d, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = char(v >> (24 - 8 * i));
}

bool is_container(const bytes& type) {
  for (const char* c : {"moov", "trak", "mdia", "minf", "stbl", "udta", "mvex", "moof", "traf", "edts", "dinf"})
    if (type == c) return true;
  return false;
}
bool is_full_box_with_count(const bytes& type) {
  for (const char* c : {"stts", "ctts", "stss", "stsc", "stco", "co64", "stsd", "trun"})
    if (type == c) return true;
  return false;
}

struct box_at {
  std::size_t offset;
  std::size_t size;
  bytes type;
};

void find_boxes(const bytes& d, std::size_t from, std::size_t to, std::vector<box_at>& out) {
  while (from + 8 <= to) {
    const std::size_t size = load_be32(d, from);
    if (size < 8 || from + size > to) return;
    const bytes type = d.substr(from + 4, 4);
    out.push_back({from, size, type});
    if (is_container(type)) find_boxes(d, from + 8, from + size, out);
    if (type == "stsd" && size > 16) find_boxes(d, from + 16, from + size, out);
    from += size;
  }
}

std::vector<std::pair<std::string, bytes>> mutations(const bytes& d, std::mt19937& random) {
  std::vector<std::pair<std::string, bytes>> cases;
  std::vector<box_at> boxes;
  find_boxes(d, 0, d.size(), boxes);
  for (const auto& b : boxes) {
    for (std::size_t cut : {b.offset + 4, b.offset + 8, b.offset + b.size / 2, b.offset + b.size - 1})
      if (cut < d.size()) cases.emplace_back("cut " + b.type + " at " + std::to_string(cut), d.substr(0, cut));
    for (std::uint32_t value : {0u, 1u, 7u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      bytes m = d;
      store_be32(m, b.offset, value);
      cases.emplace_back(b.type + " size " + std::to_string(value), m);
    }
    // A 64-bit size that claims far more than the file.
    bytes wide = d;
    wide.replace(b.offset, 4, bytes("\0\0\0\1", 4));
    wide.insert(b.offset + 8, bytes("\x7f\xff\xff\xff\xff\xff\xff\xff", 8));
    cases.emplace_back(b.type + " 64-bit size", wide);
    if (is_full_box_with_count(b.type) && b.size >= 16) {
      for (std::uint32_t value : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        bytes m = d;
        store_be32(m, b.offset + 12, value);
        cases.emplace_back(b.type + " count " + std::to_string(value), m);
        if (b.type == "trun") {  // no per-sample fields: counts cost no bytes
          store_be32(m, b.offset + 8, 0);
          cases.emplace_back("trun without fields, count " + std::to_string(value), m);
        }
      }
    }
  }
  for (int i = 0; i < 300; ++i) {
    bytes m = d;
    for (int flips = 1 + random() % 8; flips > 0; --flips) m[random() % m.size()] ^= char(1 << (random() % 8));
    cases.emplace_back("flipped bits #" + std::to_string(i), m);
  }
  // Movie boxes nested inside each other many levels deep.
  bytes nested = "\0\0\0\x08moov";
  for (int i = 0; i < 2000; ++i) {
    bytes outer(8, '\0');
    store_be32(outer, 0, std::uint32_t(nested.size() + 8));
    outer.replace(4, 4, i % 2 ? "udta" : "trak");
    nested = outer + nested;
  }
  bytes deep(8, '\0');
  store_be32(deep, 0, std::uint32_t(nested.size() + 8));
  deep.replace(4, 4, "moov");
  cases.emplace_back("boxes nested 2000 deep", d.substr(0, boxes.empty() ? 0 : boxes[0].size) + deep + nested);
  return cases;
}

// Opens the case and walks every sample of every track, as playback would.
std::string run_case(const bytes& data) {
  tarnex::mp4_file file;
  tarnex::memory_stream in(data.data(), data.size());
  tarnex::mp4_open_file(file, in, 0x13, true);
  for (const auto& track : file.tracks) {
    if (track->sample_count == 0) continue;
    tarnex::sample_iterator it(track);
    it.position(0);
    while (it.advance()) it.locate();
    for (std::size_t i = 0; i < file.song_count(); ++i) file.song_end(i);
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_inputs_mp4_fuzz FILE...\n");
    return 2;
  }
  std::mt19937 random(1);
  int passed = 0, failed = 0;
  for (int f = 1; f < argc; ++f) {
    FILE* in = std::fopen(argv[f], "rb");
    if (!in) {
      std::fprintf(stderr, "cannot open %s\n", argv[f]);
      return 2;
    }
    bytes original;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) original.append(buffer, n);
    std::fclose(in);
    for (const auto& [name, data] : mutations(original, random)) {
      const std::size_t before = live_bytes;
      peak_bytes = live_bytes;
      std::string problem;
      try {
        run_case(data);
      } catch (const tarnex::exception&) {
        // a clean refusal
      } catch (const std::exception& e) {
        problem = std::string("not a container error: ") + e.what();
      }
      // The tables may widen what the file holds (64-bit offsets, a size and
      // a duration per fragment sample), never more than this.
      const std::size_t allowed = 32 * data.size() + (1u << 20);
      if (peak_bytes - before > allowed)
        problem += " allocated " + std::to_string(peak_bytes - before) + " bytes for a file of " +
                   std::to_string(data.size());
      if (problem.empty()) {
        ++passed;
      } else {
        ++failed;
        std::printf("FAIL %s: %s: %s\n", argv[f], name.c_str(), problem.c_str());
      }
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

// Opening MP4 files with the container library, as the player's input does:
// milliseconds per open (best of several, warm cache) and the memory its
// sample tables take, per file given on the command line. In the same run, a
// plain read of the file's movie box shows what the bytes alone cost.
// bench/peers/mp4_open_peer.sh makes a 10-hour audiobook and a fragmented
// copy and sets ffprobe and mutagen against the same files.
#include "bench/bench_clock.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/mp4_stream_adapter.h"
#include "io/native_file.h"

namespace {

constexpr int rounds = 7;
constexpr std::uint32_t reading_options = 0x13;

std::size_t table_bytes(const tarnex::mp4_file& file) {
  std::size_t bytes = 0;
  for (const auto& track : file.tracks) {
    bytes += track->sample_sizes.capacity() * sizeof(std::uint32_t);
    bytes += track->time_to_sample.capacity() * sizeof(tarnex::time_to_sample_entry);
    bytes += track->sample_to_chunk.capacity() * sizeof(tarnex::sample_to_chunk_entry);
    bytes += track->chunk_offsets.capacity() * sizeof(std::uint64_t);
    bytes += track->composition_offsets.capacity() * sizeof(tarnex::composition_offset_entry);
  }
  return bytes;
}

double open_once(const char* path, tarnex::mp4_file& file, const abort_signal& abort) {
  const double start = bench::now_seconds();
  vantrel_io::file_ptr handle;
  vantrel_io::native_open(handle, path, vantrel_io::open_mode::read, abort);
  tarnex::mp4_stream_adapter in(handle, abort);
  tarnex::mp4_open_file(file, in, reading_options, true);
  return bench::now_seconds() - start;
}

// The peer: the same file opened and its top-level boxes' bytes read whole,
// with no parsing.
double read_boxes_once(const char* path, const abort_signal& abort) {
  const double start = bench::now_seconds();
  vantrel_io::file_ptr handle;
  vantrel_io::native_open(handle, path, vantrel_io::open_mode::read, abort);
  std::vector<char> buffer;
  std::uint64_t at = 0;
  const std::uint64_t size = handle->get_size(abort);
  while (at + 8 <= size) {
    unsigned char header[8];
    handle->seek(at, abort);
    handle->read_exact(header, 8, abort);
    const std::uint64_t box = (std::uint64_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
    if (box < 8) break;
    if (std::memcmp(header + 4, "mdat", 4) != 0) {
      buffer.resize(static_cast<std::size_t>(box - 8));
      handle->read_exact(buffer.data(), static_cast<std::uint32_t>(buffer.size()), abort);
    }
    at += box;
  }
  return bench::now_seconds() - start;
}

// The parse alone: the file's boxes (its media data left out) opened from
// memory.
double parse_in_memory_once(const std::string& boxes) {
  const double start = bench::now_seconds();
  tarnex::mp4_file file;
  tarnex::memory_stream in(boxes.data(), boxes.size());
  tarnex::mp4_open_file(file, in, reading_options, true);
  return bench::now_seconds() - start;
}

// The file with every media data box emptied, so it fits in memory.
std::string boxes_without_media(const char* path, const abort_signal& abort) {
  vantrel_io::file_ptr handle;
  vantrel_io::native_open(handle, path, vantrel_io::open_mode::read, abort);
  std::string out;
  std::uint64_t at = 0;
  const std::uint64_t size = handle->get_size(abort);
  while (at + 8 <= size) {
    std::string header(8, '\0');
    handle->seek(at, abort);
    handle->read_exact(header.data(), 8, abort);
    const std::uint64_t box = (std::uint64_t(std::uint8_t(header[0])) << 24) | (std::uint8_t(header[1]) << 16) |
                              (std::uint8_t(header[2]) << 8) | std::uint8_t(header[3]);
    if (box < 8) break;
    if (header.compare(4, 4, "mdat") == 0) {
      out += std::string("\0\0\0\x08mdat", 8);
    } else {
      std::string content(static_cast<std::size_t>(box - 8), '\0');
      handle->read_exact(content.data(), static_cast<std::uint32_t>(content.size()), abort);
      out += header + content;
    }
    at += box;
  }
  return out;
}

template <class Run>
double best_of(Run&& run) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const double t = run();
    if (t < best) best = t;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_inputs_mp4 FILE...\n");
    return 2;
  }
  raisable_abort_signal abort;
  for (int i = 1; i < argc; ++i) {
    const char* path = argv[i];
    try {
      tarnex::mp4_file file;
      const double open = best_of([&] { return open_once(path, file, abort); });
      const double raw = best_of([&] { return read_boxes_once(path, abort); });
      const std::string boxes = boxes_without_media(path, abort);
      const double parse = best_of([&] { return parse_in_memory_once(boxes); });
      std::uint64_t samples = 0;
      for (const auto& track : file.tracks) samples += track->sample_count;
      const std::size_t bytes = table_bytes(file);
      std::printf("%s: open %.2f ms, reading its boxes alone %.2f ms (ratio %.2f), parsing them from memory "
                  "%.2f ms; %llu samples, tables %.1f MB (%.1f bytes per sample)\n",
                  path, open * 1e3, raw * 1e3, open / raw, parse * 1e3, static_cast<unsigned long long>(samples),
                  bytes / 1e6, samples ? double(bytes) / samples : 0.0);
    } catch (const std::exception& e) {
      std::printf("%s: %s\n", path, e.what());
      return 1;
    }
  }
  return 0;
}

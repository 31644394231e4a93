// Prints what the Matroska reader finds in files, one fact per line, for the
// black-box comparison with an independent reader. With --check, prints only
// whether each file read whole or ended in a data error, and the largest
// allocation made while reading it.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "inputs/matroska/ebml_values.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "tests/inputs/matroska/largest_allocation.h"
#include "tests/inputs/matroska/matroska_test_open.h"

using namespace Matroska;

namespace {

std::uint32_t standard_id(std::uint32_t id) {
  // The marker bit comes back in front of the ID's bytes.
  for (unsigned length = 1; length <= 4; ++length) {
    if (id < (1u << (7 * length)) - 1 || length == 4) return id | (1u << (7 * length));
  }
  return id;
}

void dump(const matroska_file_state& state, const matroska_track_ptr& chosen) {
  const auto& scan = state.scan;
  std::printf("doctype %s\n", scan.doc_type.c_str());
  std::printf("segment %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", scan.segment_position, scan.segment_data_start,
              scan.segment_data_size);
  for (const auto& [id, positions] : scan.element_positions) {
    for (std::uint64_t position : positions) std::printf("position %08X %" PRIu64 "\n", standard_id(id), position);
  }
  std::printf("info %" PRIu64 " %.6f\n", state.info.timecode_scale, state.info.duration);
  for (const auto& track : state.tracks) {
    std::printf("track %u %" PRIu64 " %u %s private %zu rate %.3f %.3f channels %u bits %u flags %d%d%d\n",
                track->number, track->uid, track->type, track->codec_id.c_str(), track->codec_private.size(),
                track->audio.sampling_frequency, track->audio.output_sampling_frequency, track->audio.channels,
                track->audio.bit_depth, track->enabled, track->is_default, track->forced);
  }
  if (chosen) std::printf("chosen %u\n", chosen->number);
  for (const auto& chapter : state.chapters) {
    std::printf("chapter %" PRIu64 " %" PRIu64 " %" PRId64 " %d%d %s\n", chapter.uid, chapter.start,
                chapter.end == matroska_unset ? std::int64_t{-1} : static_cast<std::int64_t>(chapter.end),
                chapter.hidden, chapter.enabled, chapter.title.c_str());
  }
  for (const auto& [time, position] : state.cues) std::printf("cue %" PRIu64 " %" PRIu64 "\n", time, position);
  for (const auto& attachment : state.attachments) {
    std::printf("attachment %" PRIu64 " %" PRIu64 " %s|%s\n", attachment.data_position, attachment.data_size,
                attachment.mime_type.c_str(), attachment.file_name.c_str());
  }
}

void dump_blocks(const matroska_file_state& state, ebml_reader& reader) {
  matroska_test::read_clusters(state, reader, [](std::uint64_t track, const matroska_cluster_frames& block) {
    std::printf("block %" PRIu64 " %" PRIu64 " %d", track, block.cluster_timecode, block.frames.front().timecode);
    for (const auto& frame : block.frames) std::printf(" %zu", frame.data.size());
    std::printf("\n");
  });
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc > 1 && std::strcmp(argv[1], "--check") == 0;
  const bool blocks = argc > 1 && std::strcmp(argv[1], "--blocks") == 0;
  const auto& abort = never_raised_abort_signal();
  for (int i = (check || blocks) ? 2 : 1; i < argc; ++i) {
    try {
      vantrel_io::file_ptr file;
      vantrel_io::native_open(file, argv[i], vantrel_io::open_mode::read, abort);
      largest_allocation::reset();
      try {
        ebml_file_reader reader(file, abort);
        matroska_file_state state;
        const matroska_track_ptr chosen = matroska_test::read_file(state, reader);
        if (check) {
          matroska_test::read_clusters(state, reader, [](std::uint64_t, const matroska_cluster_frames&) {});
          std::printf("ok");
        } else {
          dump(state, chosen);
          if (blocks) dump_blocks(state, reader);
        }
      } catch (const vantrel_io::exception_io_data& e) {
        std::printf("error: %s", e.what());
      }
      if (check) std::printf(" | largest allocation %zu\n", largest_allocation::largest.load());
    } catch (const std::exception& e) {
      // Anything but a data error is a fault of the reader.
      std::printf("fault: %s\n", e.what());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}

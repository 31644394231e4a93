// Reads a whole Matroska file into a file state the way opening a file for
// information does: scan, Tracks and Info, Chapters, the chosen track's Cues
// and every Attachments element. Shared by the tests and the structure dump.
#pragma once

#include <functional>

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_block_reader.h"
#include "inputs/matroska/matroska_attachments_handler.h"
#include "inputs/matroska/matroska_chapters_handler.h"
#include "inputs/matroska/matroska_cues_handler.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_file_state.h"
#include "inputs/matroska/matroska_ids.h"
#include "inputs/matroska/matroska_info_handler.h"
#include "inputs/matroska/matroska_track_choice.h"
#include "inputs/matroska/matroska_tracks_handler.h"
#include "inputs/matroska/ebml_values.h"

namespace matroska_test {

// The chosen audio track, or null when the file has none.
inline Matroska::matroska_track_ptr read_file(Matroska::matroska_file_state& state, Matroska::ebml_reader& reader) {
  using namespace Matroska;
  matroska_scan_file(state.scan, reader);
  matroska_tracks_handler tracks(state.tracks);
  matroska_read_unique(state.scan, reader, tracks, ids::tracks);
  matroska_info_handler info(state.info);
  matroska_read_unique(state.scan, reader, info, ids::info);
  if (state.scan.knows(ids::chapters)) {
    matroska_chapters_handler chapters(state.editions, state.chapters);
    matroska_read_unique(state.scan, reader, chapters, ids::chapters);
  }
  matroska_track_ptr chosen;
  try {
    chosen = matroska_choose_track(state.tracks);
  } catch (const vantrel_io::exception_io_data&) {
  }
  if (chosen && state.scan.knows(ids::cues)) {
    matroska_cues_handler cues(state.cues, chosen->number);
    matroska_read_unique(state.scan, reader, cues, ids::cues);
  }
  if (state.scan.knows(ids::attachments)) {
    matroska_attachments_handler attachments(state.attachments);
    matroska_read_all(state.scan, reader, attachments, ids::attachments);
  }
  return chosen;
}

// Walks every Cluster of the Segment in file order and hands each block's
// frames, with its track number, to `on_block`.
inline void read_clusters(const Matroska::matroska_file_state& state, Matroska::ebml_reader& reader,
                          const std::function<void(std::uint64_t track, const Matroska::matroska_cluster_frames&)>& on_block) {
  using namespace Matroska;
  struct block_group_handler : ebml_element_handler {
    std::function<void(ebml_reader&)> on_block;
    void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
      if (id == ids::block) on_block(reader);
    }
  };
  struct cluster_handler : ebml_element_handler {
    block_group_handler group;
    std::uint64_t timecode = 0;
    void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
      if (id == ids::cluster_timecode) timecode = ebml_read_uint(reader, size);
      if (id == ids::simple_block) group.on_block(reader);
      if (id == ids::block_group) ebml_read_children(reader, group);
    }
  };
  struct segment_handler : ebml_element_handler {
    cluster_handler cluster;
    void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
      if (id != ids::cluster) return;
      cluster = cluster_handler{};
      cluster.group.on_block = on_block;
      ebml_read_children(reader, cluster);
    }
    std::function<void(ebml_reader&)> on_block;
  } segment;
  segment.on_block = [&](ebml_reader& block) {
    const std::uint64_t track = ebml_read_size(block);
    matroska_cluster_frames frames;
    frames.cluster_timecode = segment.cluster.timecode;
    matroska_read_block(frames, block);
    on_block(track, frames);
  };
  reader.seek(state.scan.segment_data_start);
  ebml_element_scope scope(reader, state.scan.segment_data_size);
  ebml_read_children(reader, segment);
}

}  // namespace matroska_test

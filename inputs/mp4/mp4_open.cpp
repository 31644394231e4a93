#include "inputs/mp4/mp4_open.h"

#include <string>

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/child_boxes.h"
#include "inputs/mp4/fragment_merge.h"
#include "inputs/mp4/song_list.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_boxes.h"
#include "inputs/mp4/user_data_boxes.h"

namespace tarnex {

namespace {

bool is_sample_table(std::uint32_t type) {
  for (std::uint32_t table : {fourcc("stts"), fourcc("ctts"), fourcc("stss"), fourcc("stsc"), fourcc("stsz"),
                              fourcc("stco"), fourcc("co64")})
    if (type == table) return true;
  return false;
}

// Tracks of kinds the caller did not ask for keep no tables: an audio input
// need not hold a film's video index in memory.
bool tables_wanted(const mp4_track& track, bool description_seen, std::uint32_t options) {
  if (!description_seen) return true;
  if (is_audio_kind(track.kind)) return (options & option_audio_tracks) != 0;
  if (is_video_kind(track.kind)) return (options & option_video_tracks) != 0;
  return false;
}

void read_sample_table_box(mp4_file& file, mp4_track& track, mp4_atom_reader& in, std::uint64_t size) {
  bool description_seen = false;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t) {
    if (type == fourcc("stsd")) {
      read_sample_description(child, file.options, track);
      description_seen = true;
    } else if (is_sample_table(type) && tables_wanted(track, description_seen, file.options)) {
      read_sample_table(type, child, file.options, track);
    }
  });
  // The tags and the other tracks do not depend on the damaged table: the
  // file still opens, and says how much of the track can be played.
  if (track.sample_sizes_cut && track.sample_count > track.sample_sizes.size()) {
    const std::uint32_t announced = track.sample_count;
    keep_sized_samples(track);
    file.warnings.push_back("Damaged MP4 sample size table: " + std::to_string(track.sample_count) + " of " +
                            std::to_string(announced) + " samples can be played.");
  }
}

void read_track_box(mp4_file& file, mp4_track& track, mp4_atom_reader& in, std::uint64_t size) {
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (type == fourcc("tkhd")) {
      read_track_header(child, track);
    } else if (type == fourcc("edts")) {
      read_child_boxes(child, child_size, [&](std::uint32_t edit_type, mp4_atom_reader& edits, std::uint64_t) {
        if (edit_type == fourcc("elst")) read_edit_list(edits, track);
      });
    } else if (type == fourcc("mdia")) {
      read_child_boxes(child, child_size, [&](std::uint32_t media_type, mp4_atom_reader& media, std::uint64_t media_size) {
        if (media_type == fourcc("mdhd")) {
          read_media_header(media, track);
        } else if (media_type == fourcc("minf")) {
          read_child_boxes(media, media_size, [&](std::uint32_t info_type, mp4_atom_reader& info, std::uint64_t info_size) {
            if (info_type == fourcc("stbl")) read_sample_table_box(file, track, info, info_size);
          });
        }
      });
    }
  });
}

// The movie box's children. Damage that other programs leave (an
// interrupted rewrite, a file cut short) usually lies in the user data, the
// movie's last child: a user-data box that runs past the movie box is read
// up to its end, and bytes after the user data that make no box are passed
// over, costing the tags at most. Anything else amiss fails the file: a
// child cut off by the end of the movie box, or the file ending inside it
// (`cut`), as a truncation.
void read_movie_box(mp4_file& file, stream& in, std::uint64_t size, bool cut) {
  bool after_user_data = false;
  const bool whole = read_damaged_child_boxes(
      in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size, bool child_whole) {
        if (type == fourcc("udta")) {
          if (!child_whole) file.skip_damaged_tags();
          read_user_data_box(file, child, child_size);
          after_user_data = true;
          return;
        }
        if (!child_whole) {
          if (!after_user_data) throw exception_truncation();
          file.skip_damaged_tags();
        } else if (type == fourcc("mvhd")) {
          read_movie_header(child, file);
        } else if (type == fourcc("trak")) {
          track_ptr track = new mp4_track;
          read_track_box(file, *track, child, child_size);
          file.tracks.push_back(track);
        } else if (type == fourcc("mvex")) {
          read_child_boxes(child, child_size, [&](std::uint32_t extends_type, mp4_atom_reader& extends, std::uint64_t) {
            if (extends_type == fourcc("trex")) read_track_extends(extends, file);
          });
        }
      });
  if (whole) return;
  if (after_user_data) {
    file.skip_damaged_tags();
    return;
  }
  if (cut) throw exception_truncation();
  throw exception("invalid box/atom header");
}

void read_movie_fragment(mp4_file& file, stream& in, std::uint64_t size, fragment_context& context) {
  context.has_previous_run = false;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (type != fourcc("traf")) return;
    context.header_seen = false;
    read_child_boxes(child, child_size, [&](std::uint32_t part, mp4_atom_reader& box, std::uint64_t) {
      if (part == fourcc("tfhd"))
        read_fragment_header(box, file, context);
      else if (part == fourcc("trun"))
        read_track_run(box, file, context);
    });
  });
}

bool holds(stream& in, std::uint64_t bytes) {
  try {
    in.check_remaining(bytes);
    return true;
  } catch (const exception_truncation&) {
    return false;
  }
}

void scan_top_level(mp4_file& file, stream& in, bool seekable, cut_file when_cut) {
  std::uint64_t position = 0;
  bool movie_found = false;
  fragment_context fragments;
  fragments.file_size = in.size();
  for (;;) {
    box_header header;
    if (!read_box_header(in, header, true)) {
      if (movie_found) return;
      throw exception("moov box not found");
    }
    file.total_size += header.header_size + header.content_size;
    position += header.header_size;
    if (!seekable && header.type == fourcc("mdat")) {
      // The rest of a stream cannot be reached without reading the media.
      if (movie_found) return;
      throw exception("attempting to stream a non-optimized file");
    }
    // Past the movie box a cut only loses media: what came before it plays.
    const bool cut_ends_scan = movie_found && when_cut == cut_file::keep_what_is_there;
    if (header.type == fourcc("moof")) {
      if (cut_ends_scan && !holds(in, header.content_size)) return;
      in.check_remaining(header.content_size);
      fragments.moof_offset = position - header.header_size;
      mp4_atom_reader content(in, header.content_size);
      read_movie_fragment(file, content, header.content_size, fragments);
      content.finish();
    } else if (header.type == fourcc("moov")) {
      if (movie_found) throw exception("duplicate moov box");
      file.moov_offset = position - header.header_size;
      file.moov_size = header.header_size + header.content_size;
      file.moov_header_size = header.header_size;
      movie_found = true;
      // A file cut inside its movie box (after the media data) may lose
      // no more than the tags at the movie box's end.
      std::uint64_t content_size = header.content_size;
      const bool cut = when_cut == cut_file::keep_what_is_there && !holds(in, content_size);
      if (cut)
        content_size = in.size() - in.position();
      else
        in.check_remaining(content_size);
      mp4_atom_reader content(in, content_size);
      read_movie_box(file, content, content_size, cut);
      content.finish();
    } else if (in.skip(header.content_size) != header.content_size) {
      // A file cut short inside its media data still has its movie box:
      // its tags and chapters are read, and the audio plays up to the cut.
      if (cut_ends_scan) return;
      // A writer that refuses it says why: the file still plays.
      if (movie_found) throw exception_write_refused(refusals::media_cut_short);
      throw exception_truncation();
    }
    position += header.content_size;
  }
}

}  // namespace

void mp4_open_file(mp4_file& file, stream& in, std::uint32_t options, bool seekable, cut_file when_cut) {
  file.clear();
  file.options = options;
  scan_top_level(file, in, seekable, when_cut);
  merge_fragments(file);
  if (file.movie_duration == 0 || file.movie_time_scale == 0) throw exception("invalid or missing mvhd data");
  build_song_list(file);
}

}  // namespace tarnex

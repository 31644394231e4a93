#include "inputs/mp4/tag_writing.h"

#include <algorithm>
#include <optional>

#include "foundation/byte_scan.h"
#include "inputs/mp4/box_header.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/chapter_text_track.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/stopped_write_leftover.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/user_data_boxes.h"
#include "io/in_place_overwrite.h"
#include "io/room_for_later_edits.h"

namespace tarnex {

namespace {

// Writes of at most this size, so that no single call exceeds what the
// stream interface moves at once.
constexpr std::uint32_t write_block = 1u << 20;

bool is_front_cover(const cover_picture& picture) {
  return equals_ascii_nocase(picture.kind, "front cover") && picture.index == 0;
}

bool same_entry_values_and_kind(const tag_fields::entry& a, const tag_fields::entry& b) {
  return a.multi_valued == b.multi_valued && a.values == b.values;
}

// The fields every song holds alike: with one song, all of its fields.
tag_fields common_fields(const std::vector<song>& songs) {
  tag_fields common;
  if (songs.empty()) return common;
  for (const auto& [name, entry] : songs.front().metadata.entries()) {
    bool everywhere = true;
    for (const song& other : songs) {
      const tag_fields::entry* found = other.metadata.find(name);
      if (found == nullptr || !same_entry_values_and_kind(*found, entry)) everywhere = false;
    }
    if (everywhere) common.set(name, entry);
  }
  return common;
}

bool held_by_any(const std::vector<song>& songs, const std::string& name) {
  for (const song& other : songs)
    if (other.metadata.find(name) != nullptr) return true;
  return false;
}

// The item list is what every other program reads as the file's tags. A
// book's chapters differ in their names and numbers, so what they share is
// less than the book's own tags: there the item list stays as it was read,
// and takes only the fields that every chapter now holds alike and that
// differ from what the file held, as when all chapters change album at once.
// A field of the file's that no chapter holds any more was removed from
// every chapter, and leaves the item list too: kept there, it would come
// back as every chapter's value at the next reading. An edit of the file as
// a whole says itself what the item list holds.
tag_fields item_list_fields(const mp4_file& file) {
  if (file.edited_item_list) return *file.edited_item_list;
  const tag_fields common = common_fields(file.songs);
  if (file.songs.size() <= 1 || !file.metadata_present) return common;
  tag_fields out = file.item_list.fields;
  for (const auto& [name, entry] : common.entries()) {
    const tag_fields::entry* before = file.file_metadata.find(name);
    if (before == nullptr || !same_entry_values_and_kind(*before, entry)) out.set(name, entry);
  }
  for (const auto& [name, entry] : file.file_metadata.entries())
    if (!held_by_any(file.songs, name)) out.remove(name);
  return out;
}

// The front cover the item list holds, if any.
const cover_picture* front_cover_of(const mp4_file& file) {
  for (const cover_picture& picture : file.pictures)
    if (is_front_cover(picture)) return &picture;
  return nullptr;
}

// File-level fields and every picture, and per song what differs from them.
tags_content tags_to_write(const mp4_file& file) {
  tags_content out;
  out.fields = common_fields(file.songs);
  out.pictures = file.pictures;
  for (std::size_t i = 0; i < file.songs.size(); ++i) {
    tags_segment segment;
    segment.chapter = std::uint32_t(i);
    for (const auto& [name, entry] : file.songs[i].metadata.entries()) {
      const tag_fields::entry* common = out.fields.find(name);
      if (common == nullptr || !same_entry_values_and_kind(*common, entry)) segment.fields.set(name, entry);
    }
    out.segments.push_back(std::move(segment));
  }
  return out;
}

// The children of the old user-data boxes that the writer does not make
// itself, in file order.
bool is_rewritten_user_data(std::uint32_t type) {
  return type == fourcc("meta") || type == fourcc("chpl") || type == fourcc("indx") || type == fourcc("tags");
}

std::string old_movie_payload(const mp4_file& file, stream& io) {
  const std::uint64_t payload_size = file.moov_size - file.moov_header_size;
  io.seek(file.moov_offset + file.moov_header_size);
  io.check_remaining(payload_size);
  return read_sized_text(io, payload_size);
}

// The chapter list a rewrite stores: a chapter per song, named by its title
// and timed from the presentation start. A lone chapter plays as the whole
// file and goes by the file's title, so it stays as the file held it; a
// file without a chapter list plays its whole presentation as one song and
// gets none.
std::vector<chapter> chapters_to_write(const mp4_file& file) {
  if (file.songs.size() < 2) return file.chapters;
  std::vector<chapter> out;
  for (const song& entry : file.songs) {
    const std::int64_t start = entry.start > file.presentation_start ? entry.start - file.presentation_start : 0;
    out.push_back({std::uint64_t(start), chapter_list_title(entry)});
  }
  return out;
}

// The chapters whose name differs from what the chapter list held, with
// their new names: the chapter text track takes the same renames, whole
// where the chapter list holds them cut, and keeps every other name as the
// program that wrote it stored it.
std::vector<std::optional<std::string>> chapter_renames(const mp4_file& file) {
  // A lone chapter plays as the whole file and goes by the file's title,
  // not by its chapter name.
  if (file.songs.size() < 2 || file.chapters.size() != file.songs.size()) return {};
  std::vector<std::optional<std::string>> names(file.songs.size());
  bool any = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name = chapter_title(file.songs[i]);
    if (name != file.chapters[i].name) names[i] = name, any = true;
  }
  return any ? names : std::vector<std::optional<std::string>>();
}

// Where the chapter text track's new samples are stored, if it has any.
struct chapter_text_place {
  const chapter_text_samples* samples = nullptr;
  std::uint64_t offset = 0;
  bool wide = false;
};

// How the rebuilt user data lies around the item list. A write in place
// keeps the "free" boxes among the user data where they stand; a moved
// movie box drops them and is laid out afresh for later edits.
struct user_data_layout {
  bool keep_free_boxes = false;
  std::uint32_t alignment = 0;  // a "free" box of this size just before "meta" (0: none)
  std::uint32_t room = 0;       // the "free" box beside the item list (0: none)
  room_place place = room_place::before_list;
};

// The movie box, appended to `movie`, and in `span` where its text items
// lie in `movie`. Written box by box into the one buffer: a picture's bytes
// are copied once, not once per enclosing box.
void build_movie_box(byte_buffer& movie, const mp4_file& file, const std::string& old_payload,
                     std::uint32_t write_mode, const chapter_text_place& texts, const user_data_layout& layout,
                     text_item_span* span = nullptr) {
  movie.reserve(movie.size() + old_payload.size() + box_header_bytes + layout.alignment + layout.room);
  const std::size_t movie_at = open_box(movie, fourcc("moov"));
  std::size_t track = 0;
  std::vector<std::string_view> user_data;
  for_each_child(old_payload, [&](std::uint32_t type, std::string_view content) {
    if (type == fourcc("trak") && texts.samples && track++ == texts.samples->track) {
      append_box(movie, type, track_with_chapter_text(content, *texts.samples, texts.offset, texts.wide));
      return;
    }
    if (type != fourcc("udta")) {
      append_box(movie, type, content);
      return;
    }
    user_data.push_back(content);
  });
  // Several user-data boxes merge into one, the last child of the movie box.
  const std::size_t user_data_at = open_box(movie, fourcc("udta"));
  for (std::string_view content : user_data)
    for_each_child(content, [&](std::uint32_t child, std::string_view child_content) {
      if (is_rewritten_user_data(child) || (is_free_box(child) && !layout.keep_free_boxes)) return;
      append_box(movie, child, child_content);
    });
  if (layout.alignment != 0) append_free_box(movie, layout.alignment);
  if (span) *span = {movie.size(), movie.size()};
  if (write_mode & mode_item_list) {
    const std::size_t meta_at = open_box(movie, fourcc("meta"));
    const text_item_span in_meta =
        write_meta_box(file.item_list, item_list_fields(file), front_cover_of(file), movie, layout.room, layout.place);
    if (span) *span = in_meta;
    close_box(movie, meta_at);
  }
  if (const std::vector<chapter> chapters = chapters_to_write(file); !chapters.empty()) {
    byte_buffer list;
    write_chapter_list(chapters, list);
    append_box(movie, fourcc("chpl"), list);
  }
  if (!file.index_map.empty()) {
    byte_buffer index;
    write_index_map(file.index_map, index);
    append_box(movie, fourcc("indx"), index);
  }
  if (write_mode & mode_tags_box) {
    byte_buffer tags;
    write_tags_box(tags_to_write(file), tags);
    append_box(movie, fourcc("tags"), tags);
  }
  close_box(movie, user_data_at);
  close_box(movie, movie_at);
}

// The boxes that take the old movie box's place: the chapter text track's
// new samples, if any, in a media data box of their own stored from `at`,
// then the movie box pointing at them.
byte_buffer new_boxes(const mp4_file& file, const std::string& old_payload, std::uint32_t write_mode,
                      const std::optional<chapter_text_samples>& texts, std::uint64_t at, bool wide,
                      const user_data_layout& layout, text_item_span* span = nullptr) {
  byte_buffer out;
  chapter_text_place place;
  if (texts) {
    append_box(out, fourcc("mdat"), texts->bytes);
    place = {&*texts, at + box_header_bytes, wide};
  }
  const std::size_t movie_at = out.size();
  build_movie_box(out, file, old_payload, write_mode, place, layout, span);
  if (span) *span = {span->start - movie_at, span->end - movie_at};
  return out;
}

// The layout in which a later text edit is one write within one page: the
// room before the item list, the list's header and its text items share a
// page, shifted to the start of the next one by a "free" box before "meta"
// where they would not. Text items that fill a page get the room alone.
// `movie_at` is where the movie box lands, `span` where the room goes and
// the text items end as built without either box.
user_data_layout layout_for_later_edits(std::uint64_t movie_at, const text_item_span& span) {
  const vantrel_io::later_edit_layout shared =
      vantrel_io::layout_for_later_edits(movie_at + span.start, span.end - span.start, box_header_bytes);
  user_data_layout layout;
  layout.alignment = std::uint32_t(shared.alignment);
  layout.room = std::uint32_t(shared.room);
  return layout;
}

void write_all(stream& io, std::uint64_t at, std::string_view bytes) {
  io.seek(at);
  for (std::size_t done = 0; done < bytes.size();) {
    const std::uint32_t n = std::uint32_t(bytes.size() - done < write_block ? bytes.size() - done : write_block);
    io.write(bytes.data() + done, n);
    done += n;
  }
}

// A header readers see change, through the stream's guarded overwrite. The
// disk may put unflushed writes down in any order: the caller flushes
// before a header that names or uncovers bytes written since the last
// flush, or that relies on a header changed since.
void write_header(stream& io, std::uint64_t at, std::string_view bytes) {
  io.overwrite(at, bytes.data(), std::uint32_t(bytes.size()));
}

// A box header of the given whole size: 32-bit where the size allows.
byte_buffer header_bytes(std::uint64_t size, std::uint32_t type) {
  byte_buffer out;
  append_u32(out, size > max_u32 ? 1 : std::uint32_t(size));
  append_fourcc(out, type);
  if (size > max_u32) append_u64(out, size);
  return out;
}

// A new size into the header of the box at `at`, in the width it has.
void write_box_size(stream& io, std::uint64_t at, std::uint32_t header_size, std::uint64_t size) {
  byte_buffer bytes;
  if (header_size == 16) {
    append_u64(bytes, size);
    write_header(io, at + 8, bytes);
  } else {
    append_u32(bytes, std::uint32_t(size));
    write_header(io, at, bytes);
  }
}

}  // namespace

// Where the new movie box goes and what must change on the way there.
struct movie_box_placement {
  std::uint64_t old_movie = 0;       // offset of the old movie box
  std::uint64_t old_movie_size = 0;
  std::uint64_t boxes_end = 0;       // where the file's boxes end (before an ID3v1 tag)
  std::uint64_t last_box = 0;        // the box the new one is staged in before the switch
  std::uint32_t last_header = 8;
  bool last_open_ended = false;      // its size field is 0: it runs to the end of the file
  bool movie_is_last = false;
  std::uint64_t stage = 0;           // where the new box is written first
};

namespace {

[[noreturn]] void refuse(refusal_reason why) { throw exception_write_refused(why); }

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return a > ~b ? ~std::uint64_t(0) : a + b; }

// Where the track's samples end in the file, as far as its tables tell: the
// end of its last sample, or the start of a chunk that holds none.
std::uint64_t end_of_samples(const mp4_track& track) {
  const std::uint64_t sizes_known = track.fixed_sample_size ? track.sample_count : track.sample_sizes.size();
  std::uint64_t end = 0, sample = 0;
  std::size_t entry = 0;
  for (std::size_t chunk = 0; chunk < track.chunk_offsets.size(); ++chunk) {
    const std::uint64_t number = chunk + 1;
    while (entry + 1 < track.sample_to_chunk.size() && track.sample_to_chunk[entry + 1].first_chunk <= number) ++entry;
    std::uint64_t in_chunk = 0;
    if (!track.sample_to_chunk.empty() && track.sample_to_chunk[entry].first_chunk <= number)
      in_chunk = track.sample_to_chunk[entry].samples_per_chunk;
    std::uint64_t at = track.chunk_offsets[chunk];
    end = std::max(end, at);
    for (std::uint64_t i = 0; i < in_chunk && sample < sizes_known; ++i, ++sample) {
      at = saturating_add(at, track.fixed_sample_size ? track.fixed_sample_size : track.sample_sizes[sample]);
      end = std::max(end, at);
    }
  }
  return end;
}

// Checks, before anything is written, that the file can take the new movie
// box, and works out where. The old movie box's place starts at
// `movie_place`: its offset, or that of the "free" box a stopped write left
// of it just in front.
movie_box_placement plan_placement(const mp4_file& file, const file_check_result& layout, std::uint64_t file_size,
                         std::uint64_t movie_size, std::uint64_t movie_place) {
  // Readers meet the movie box before the first fragment, whose runs need
  // its tracks: it cannot move behind the fragments, and there is no room
  // to rewrite it where it is without moving them.
  if (layout.fragmented) refuse(refusals::fragments);
  movie_box_placement plan;
  const std::uint64_t movie_end = file.moov_offset + file.moov_size;
  plan.old_movie = movie_place;
  plan.old_movie_size = movie_end - movie_place;
  if (layout.open_ended_box != no_cut) {
    // Media data that runs to the end of the file: it is given its size,
    // and the new movie box goes after it.
    plan.boxes_end = file_size;
    plan.last_box = layout.open_ended_box;
    plan.last_open_ended = true;
    if (layout.open_ended_type != fourcc("mdat") || file.total_size != layout.open_ended_box ||
        movie_end > layout.open_ended_box || file_size - layout.open_ended_box > max_u32)
      refuse(refusals::open_box_not_media);
  } else {
    // A header that cannot be read, or bytes after the last box, would make
    // the movie box look last, and writing past it would cut what follows.
    plan.boxes_end = layout.cut_position != no_cut ? layout.cut_position : file_size;
    if (layout.boxes_end != plan.boxes_end || file.total_size != plan.boxes_end || movie_end > plan.boxes_end ||
        layout.last_box_offset == no_cut)
      refuse(refusals::boxes_end_early);
    plan.last_box = layout.last_box_offset;
    plan.last_header = layout.last_box_header_size;
    plan.movie_is_last = movie_end == plan.boxes_end;
  }
  // Whatever lies past the boxes is written over or cut: no sample may. A
  // file cut inside its media data whose box runs "to the end" says no
  // more than that its samples are missing, and the new movie box would
  // land where players then read them.
  for (const track_ptr& track : file.tracks) {
    for (std::uint64_t chunk : track->chunk_offsets)
      if (chunk >= plan.boxes_end) refuse(refusals::media_past_boxes);
    if (end_of_samples(*track) > plan.boxes_end) refuse(refusals::media_past_boxes);
  }
  // The new boxes are staged whole behind the "free" header that ends the
  // boxes. A movie box that is last returns to its own offset once the new
  // one is in force, which needs the copy staged beyond where the new box
  // ends there, with room for a "free" header between.
  plan.stage = plan.boxes_end + 8;
  const std::uint64_t returned_end = plan.old_movie + movie_size;
  if (plan.movie_is_last) plan.stage = std::max(plan.stage, returned_end + 8);
  if (plan.stage + movie_size - plan.old_movie > max_u32 && plan.movie_is_last)
    refuse(refusals::movie_too_big);
  return plan;
}

// Where the size field of the last box lies.
struct byte_range {
  std::uint64_t offset;
  std::uint64_t size;
};
byte_range last_box_size_field(const movie_box_placement& plan) {
  return plan.last_header == 16 ? byte_range{plan.last_box + 8, 8} : byte_range{plan.last_box, 4};
}

}  // namespace

// A change of the movie box where it stands: the bytes from the first that
// differs to the last, from `offset`.
struct movie_box_change {
  std::uint64_t offset = 0;
  byte_buffer bytes;
};

namespace {

// The rebuilt movie box `movie` written over the old one where it stands,
// as the bytes from the first that differs to the last, where it has the old
// one's size and every byte that changes lies within one page: one write
// then puts the new tags in force, no box moves, and a kill or a power cut
// leaves the old bytes or the new ones with no flush to order anything.
std::optional<movie_box_change> overwrite_of(const mp4_file& file, const std::string& old_payload,
                                             const byte_buffer& movie, std::uint64_t movie_at) {
  // Of one size, the two headers are alike: only the payloads can differ.
  if (movie.size() != file.moov_size) return std::nullopt;
  const std::string_view after = std::string_view(movie).substr(box_header_bytes);
  const auto* old_bytes = reinterpret_cast<const std::uint8_t*>(old_payload.data());
  const auto* new_bytes = reinterpret_cast<const std::uint8_t*>(after.data());
  const std::uint64_t payload_at = movie_at + box_header_bytes;
  if (!vantrel_io::change_fits_one_write(payload_at, old_bytes, new_bytes, after.size())) return std::nullopt;
  const std::size_t first = qiv::first_difference(old_bytes, new_bytes, after.size());
  if (first == after.size()) return movie_box_change{payload_at, {}};
  const std::size_t end = first + qiv::last_difference_end(old_bytes + first, new_bytes + first, after.size() - first);
  return movie_box_change{payload_at + first, byte_buffer(after.substr(first, end - first))};
}

// Where the old "meta" box keeps its room: after the item list where a
// "free" box follows the list (as other taggers leave it), else before it.
room_place old_room_place(const std::string& old_payload) {
  room_place place = room_place::before_list;
  try {
    for_each_child(old_payload, [&](std::uint32_t type, std::string_view user_data) {
      if (type != fourcc("udta")) return;
      for_each_child(user_data, [&](std::uint32_t child, std::string_view meta) {
        if (child != fourcc("meta") || meta.size() < 4) return;
        bool after_list = false;
        for_each_child(meta.substr(4), [&](std::uint32_t box, std::string_view) {
          if (after_list && is_free_box(box)) place = room_place::after_list;
          after_list = box == fourcc("ilst");
        });
      });
    });
  } catch (const exception&) {
    // Boxes that cannot be walked keep no room to take.
  }
  return place;
}

// The movie box rebuilt at its own size, a "free" box beside the item list
// giving or taking the difference, as one overwrite (see overwrite_of): the
// room where the old file keeps it first, then on the item list's other
// side. None where the change is no such write. `movie_at` is where the
// movie box then stands.
std::optional<movie_box_change> change_in_place(const mp4_file& file, const std::string& old_payload,
                                                std::uint32_t write_mode, std::uint64_t movie_at) {
  // A 64-bit header would become a 32-bit one: not a change of the payload.
  if (file.moov_header_size != box_header_bytes) return std::nullopt;
  user_data_layout layout;
  layout.keep_free_boxes = true;
  byte_buffer movie;
  build_movie_box(movie, file, old_payload, write_mode, {}, layout);
  if (movie.size() > file.moov_size) return std::nullopt;
  const std::uint64_t room = file.moov_size - movie.size();
  if (room == 0) return overwrite_of(file, old_payload, movie, movie_at);
  if (room < box_header_bytes || room > max_u32) return std::nullopt;
  layout.room = std::uint32_t(room);
  const room_place kept = old_room_place(old_payload);
  const room_place other = kept == room_place::before_list ? room_place::after_list : room_place::before_list;
  for (room_place place : {kept, other}) {
    layout.place = place;
    movie.clear();
    build_movie_box(movie, file, old_payload, write_mode, {}, layout);
    if (std::optional<movie_box_change> change = overwrite_of(file, old_payload, movie, movie_at)) return change;
  }
  return std::nullopt;
}

// The file object's movie box moved back by `by` bytes while the write is
// planned, as it stands once a stopped write's tidying moved it there; the
// file object keeps describing the file as read until the write moves it.
class moved_back_for_planning {
public:
  moved_back_for_planning(mp4_file& file, std::uint64_t by) : file_(file), by_(by) {
    file_.moov_offset -= by_;
    file_.total_size -= by_;
  }
  ~moved_back_for_planning() {
    file_.moov_offset += by_;
    file_.total_size += by_;
  }
  moved_back_for_planning(const moved_back_for_planning&) = delete;
  moved_back_for_planning& operator=(const moved_back_for_planning&) = delete;

private:
  mp4_file& file_;
  std::uint64_t by_;
};

// Boxes that return to `at`, inside the "free" box that starts there, in
// front of the copies in force behind it: written with a "free" box open to
// the end over those copies, both on the disk before the header that shows
// them, and that header before the cut of the copies.
void return_boxes(stream& io, std::uint64_t at, std::string_view boxes, std::string_view open_free) {
  write_all(io, at + box_header_bytes, boxes.substr(box_header_bytes));
  write_header(io, at + boxes.size(), open_free);
  io.flush();
  write_header(io, at, boxes.substr(0, box_header_bytes));
  io.flush();
  io.truncate(at + boxes.size());
}

}  // namespace

struct movie_box_rewrite::plan {
  byte_buffer boxes;     // staged after the last box
  byte_buffer returned;  // the same, built for the old movie box's offset
  movie_box_placement where;
  file_check_result layout;
  std::uint64_t old_size = 0;
  std::uint64_t text_box_bytes = 0;
  std::optional<movie_box_change> in_place;  // the whole write, where one does
  stopped_write_leftover leftover;
  byte_buffer leftover_shrunk;  // the header the leftover over media data gets
  std::string cut_report;       // a write in place that cuts a staged tail
  byte_buffer open_free = header_bytes(0, fourcc("free"));
};

std::uint32_t choose_write_mode(const mp4_file& file) {
  const bool one_cover_or_none = file.pictures.empty() || (file.pictures.size() == 1 && is_front_cover(file.pictures[0]));
  return file.songs.size() == 1 && one_cover_or_none ? mode_item_list : mode_item_list | mode_tags_box;
}

movie_box_rewrite::movie_box_rewrite(mp4_file& file, stream& io, std::uint32_t write_mode,
                                     std::vector<std::string>& reports, values_edit values)
    : file_(file), reports_(reports), plan_(std::make_unique<plan>()) {
  // What could not be read would not be written back.
  if (file.tags_damaged) refuse(refusals::damaged_tags);
  // Several item lists become one: two of one item would hide one of them.
  if (file.item_list.unmergeable) refuse(refusals::unmergeable_item_lists);
  // Everything is read and built before the first byte is written.
  std::string old_payload = old_movie_payload(file, io);
  const std::vector<std::optional<std::string>> renames = chapter_renames(file);
  const std::optional<chapter_text_samples> texts =
      renames.empty() ? std::nullopt : renamed_chapter_text(old_payload, io, renames);
  plan_->layout = check_file_layout(io);
  reports.insert(reports.end(), plan_->layout.reports.begin(), plan_->layout.reports.end());
  plan_->old_size = io.size();
  stopped_write_leftover& leftover = plan_->leftover;
  leftover = find_stopped_write_leftover(io, file, old_payload, plan_->layout);
  if (leftover.kind == stopped_write_leftover::shape::over_media)
    plan_->leftover_shrunk = header_bytes(leftover.old_movie_size, fourcc("free"));
  // Chapter texts a stopped write left behind the old movie box return to
  // its place with the movie box first (the texts were read where they
  // stand); the write is planned for the file as that leaves it.
  std::optional<moved_back_for_planning> moved_back;
  if (leftover.kind == stopped_write_leftover::shape::before_chapter_texts) {
    moved_back.emplace(file, leftover.moved_by);
    old_payload = leftover.returned.substr(leftover.texts_size + box_header_bytes);
    plan_->layout.boxes_end -= leftover.moved_by;
    plan_->layout.last_box_offset = file.moov_offset;
    plan_->old_size -= leftover.moved_by;
  }
  const std::uint64_t movie_place =
      leftover.kind == stopped_write_leftover::shape::before_movie ? leftover.offset : file.moov_offset;
  // The refusals hold for a write in place too; only the movie box's size
  // decides nothing there.
  movie_box_placement where = plan_placement(file, plan_->layout, plan_->old_size, file.moov_size, movie_place);
  // The tracks read for playing are checked there; the cut would also take
  // chapter texts a text track reads past the boxes.
  if (plan_->layout.cut_position != no_cut &&
      movie_reads_between(old_payload, plan_->layout.cut_position, plan_->old_size))
    refuse(refusals::media_past_boxes);
  // A file the layout check finds whole may take the change where its
  // movie box stands; one it would cut or mend gets the whole rewrite. What
  // a stopped write left is first tidied as that write would have: its
  // staged boxes cut, the movie box returned to where it stood (where the
  // stop left room for that before the copy in force).
  const bool staged_tail_only = plan_->layout.cut_position == no_cut || plan_->layout.staged_tail;
  if (!texts && plan_->layout.reports.empty() && staged_tail_only && !where.last_open_ended &&
      file.moov_header_size == box_header_bytes &&
      (movie_place == file.moov_offset || movie_place + file.moov_size + box_header_bytes <= file.moov_offset)) {
    // Rebuilt, a movie box that other programs wrote may come out changed
    // (the player's own tags box added, its room moved) though no value
    // did: what an edit of no value leaves must be what no edit leaves.
    plan_->in_place = values == values_edit::unchanged
                          ? movie_box_change{movie_place + box_header_bytes, {}}
                          : change_in_place(file, old_payload, write_mode, movie_place);
    if (plan_->in_place) {
      plan_->where = where;
      if (plan_->layout.cut_position != no_cut)
        plan_->cut_report = trailing_garbage_report(plan_->old_size - plan_->layout.cut_position);
      if (movie_place != file.moov_offset)
        plan_->returned = header_bytes(file.moov_size, fourcc("moov")) + old_payload;
      return;
    }
  }
  text_item_span span;
  byte_buffer boxes = new_boxes(file, old_payload, write_mode, texts, 0, false, {}, &span);
  plan_->text_box_bytes = texts ? box_header_bytes + texts->bytes.size() : 0;
  // Moved anyway, the movie box is laid out for the next text edit where
  // it lands for good, whatever its size: back at its own offset when it
  // was last, else after the last box.
  const std::uint64_t lands_at = (where.movie_is_last ? where.old_movie : where.stage) + plan_->text_box_bytes;
  const user_data_layout layout = layout_for_later_edits(lands_at, span);
  boxes = new_boxes(file, old_payload, write_mode, texts, 0, false, layout);
  where = plan_placement(file, plan_->layout, plan_->old_size, boxes.size(), movie_place);
  // The chapter texts' offset goes into the movie box, which therefore is
  // built again for the place it is staged at (and, when it returns to the
  // old movie box's offset, for that place).
  const bool wide = texts && where.stage + box_header_bytes > max_u32;
  if (wide)
    where = plan_placement(file, plan_->layout, plan_->old_size,
                           new_boxes(file, old_payload, write_mode, texts, 0, true, layout).size(), movie_place);
  if (texts) boxes = new_boxes(file, old_payload, write_mode, texts, where.stage, wide, layout);
  plan_->returned = texts && where.movie_is_last
                        ? new_boxes(file, old_payload, write_mode, texts, where.old_movie, wide, layout)
                        : boxes;
  plan_->boxes = std::move(boxes);
  plan_->where = where;
}

movie_box_rewrite::~movie_box_rewrite() = default;

bool movie_box_rewrite::mends_stopped_write() const {
  return plan_->leftover.kind != stopped_write_leftover::shape::none || plan_->layout.staged_tail;
}

bool movie_box_rewrite::safe_in_place() const {
  // Returned chapter texts and movie box show themselves and the "free" box
  // behind them with one header each.
  const stopped_write_leftover& leftover = plan_->leftover;
  if (leftover.kind == stopped_write_leftover::shape::before_chapter_texts &&
      !(vantrel_io::lies_within_one_page(leftover.offset, box_header_bytes) &&
        vantrel_io::lies_within_one_page(leftover.offset + leftover.returned.size(), box_header_bytes)))
    return false;
  // A leftover over media data shrinks with one header readers see change.
  if (plan_->leftover.kind == stopped_write_leftover::shape::over_media &&
      !vantrel_io::lies_within_one_page(plan_->leftover.offset, box_header_bytes))
    return false;
  if (plan_->in_place) {
    // The movie box returning to where a stopped write moved it from shows
    // itself and the "free" box behind it with one header each.
    const std::uint64_t returned_at = plan_->where.old_movie;
    return plan_->returned.empty() ||
           (vantrel_io::lies_within_one_page(returned_at, box_header_bytes) &&
            vantrel_io::lies_within_one_page(returned_at + plan_->returned.size(), box_header_bytes));
  }
  // The payloads go behind a "free" box open to the end of the file, or
  // into the old movie box once "free" covers it: no reader reads them
  // before a header names them. What readers see change is the headers
  // below, each one write.
  const movie_box_placement& where = plan_->where;
  // The old movie box's header spans everything up to the staged box, which
  // takes a 64-bit size past 4 GiB of media data.
  const std::uint64_t switch_header = header_bytes(where.stage - where.old_movie, fourcc("free")).size();
  std::vector<byte_range> seen = {{where.boxes_end, box_header_bytes},
                                  {where.old_movie, std::max<std::uint64_t>(switch_header, box_header_bytes)}};
  if (where.last_open_ended) seen.push_back(last_box_size_field(where));
  if (where.movie_is_last) seen.push_back({where.old_movie + plan_->boxes.size(), box_header_bytes});
  for (const byte_range& range : seen)
    if (!vantrel_io::lies_within_one_page(range.offset, range.size)) return false;
  return true;
}

void movie_box_rewrite::write(stream& io) {
  shrink_leftover_over_media(io);
  return_chapter_texts(io);
  if (const std::optional<movie_box_change>& change = plan_->in_place) {
    reports_.reserve(reports_.size() + 1);
    finish_stopped_write(io);
    // The switch: one write within one page.
    if (!change->bytes.empty()) io.overwrite(change->offset, change->bytes.data(), std::uint32_t(change->bytes.size()));
    if (!plan_->cut_report.empty()) reports_.push_back(std::move(plan_->cut_report));
    if (!plan_->returned.empty()) {
      file_.moov_offset = plan_->where.old_movie;
      file_.total_size = plan_->where.old_movie + file_.moov_size;
    }
    return;
  }
  const movie_box_placement& plan = plan_->where;
  const byte_buffer& boxes = plan_->boxes;
  const byte_buffer& returned = plan_->returned;
  const std::uint64_t old_size = plan_->old_size;

  // The file reads as the old one until a single header write puts the new
  // movie box in force, and as the new one from then on. The new boxes are
  // staged whole behind a "free" header open to the end of the file, then
  // the old movie box's header spans everything up to them. Whatever a cut
  // leaves after the boxes is that free box, which the next write takes
  // over (a bare tail would fail its layout check). A span over media data
  // is "mdat": the content of a "free" box is there for any tagger to drop,
  // and media data anywhere but in a top-level "mdat" is lost to some.
  const std::uint64_t n = boxes.size();
  const std::uint64_t end = plan.boxes_end;
  const std::uint64_t stage = plan.stage;
  // An ID3v1 tag after the boxes is written over by the staged copy; it is
  // put back if the write fails.
  io.seek(end);
  const std::string old_tail = read_sized_text(io, old_size - end);
  // Every byte the write puts down is made before the first: an allocation
  // that fails later would end the edit with the file changed.
  const byte_buffer open_free = header_bytes(0, fourcc("free"));
  const byte_buffer zeros(std::size_t(stage - end - box_header_bytes), '\0');
  const byte_buffer switch_header =
      header_bytes(stage - plan.old_movie, plan.movie_is_last ? fourcc("free") : fourcc("mdat"));
  byte_buffer returned_body, returned_header, stage_free, old_movie_free;
  if (plan.movie_is_last) {
    returned_body = returned.substr(box_header_bytes);
    returned_header = returned.substr(0, box_header_bytes);
  } else {
    stage_free = header_bytes(stage - end, fourcc("free"));
    old_movie_free = header_bytes(plan.old_movie_size, fourcc("free"));
  }
  const file_check_result& layout = plan_->layout;
  const bool cut = layout.cut_position != no_cut;
  std::string cut_report = cut ? trailing_garbage_report(old_size - layout.cut_position) : std::string();
  reports_.reserve(reports_.size() + 1);
  try {
    write_header(io, end, open_free);
    // On the disk before anything it covers: a power cut would otherwise
    // leave staged bytes behind zeros, a tail no later write takes.
    io.flush();
    write_all(io, end + box_header_bytes, zeros);
    write_all(io, stage, boxes);
    if (old_size > stage + n) io.truncate(stage + n);
    // The switch names the staged boxes: without this flush a power cut
    // could leave it on the disk pointing at zeros.
    io.flush();
    // The switch: from this write on, readers read the new movie box.
    write_header(io, plan.old_movie, switch_header);
    switched_ = true;
  } catch (...) {
    try {
      write_all(io, end, old_tail);
      io.truncate(old_size);
    } catch (...) {
      // The first failure is the one to report; the staged copy is hidden.
    }
    throw;
  }

  // The new movie box is in force; what follows only tidies the layout and
  // keeps the file whole at every step. Nothing the switch hides changes
  // before the switch is on the disk: until then readers read it.
  io.flush();
  std::uint64_t new_offset = stage, new_end = stage + n;
  if (plan.movie_is_last) {
    // Back to the old offset: written inside the "free" region, with a
    // "free" box open to the end over the staged copy behind it (the tail
    // the next write cuts, should this one stop before its cut), both on
    // the disk before the header that shows them, and that header before
    // the cut of the copy readers read until then.
    write_all(io, plan.old_movie + box_header_bytes, returned_body);
    write_header(io, plan.old_movie + n, open_free);
    io.flush();
    write_header(io, plan.old_movie, returned_header);
    new_offset = plan.old_movie;
    new_end = plan.old_movie + n;
    io.flush();
    io.truncate(new_end);
  } else {
    // The boxes between the old movie box and the new one come back: the
    // "free" header at their end stops short of the new boxes and media
    // data that ran to the end of the file gets its size, both on the disk
    // before the span shrinks to the old movie box's size as "free" to show
    // them; shown earlier, they would hide the new movie box or show it
    // twice.
    write_header(io, end, stage_free);
    if (plan.last_open_ended) write_box_size(io, plan.last_box, plan.last_header, end - plan.last_box);
    io.flush();
    write_header(io, plan.old_movie, old_movie_free);
  }
  if (cut) reports_.push_back(std::move(cut_report));
  file_.moov_offset = new_offset + plan_->text_box_bytes;
  file_.moov_size = n - plan_->text_box_bytes;
  file_.moov_header_size = 8;
  file_.total_size = new_end;
}

void movie_box_rewrite::shrink_leftover_over_media(stream& io) {
  const stopped_write_leftover& leftover = plan_->leftover;
  if (leftover.kind != stopped_write_leftover::shape::over_media) return;
  // As the tidying of the write that stopped: the boxes inside first, on
  // the disk before the span shrinks to show them.
  for (const auto& [at, size] : leftover.inner_sizes) write_header(io, at, size);
  if (!leftover.inner_sizes.empty()) io.flush();
  write_header(io, leftover.offset, plan_->leftover_shrunk);
}

void movie_box_rewrite::return_chapter_texts(stream& io) {
  const stopped_write_leftover& leftover = plan_->leftover;
  if (leftover.kind != stopped_write_leftover::shape::before_chapter_texts) return;
  return_boxes(io, leftover.offset, leftover.returned, plan_->open_free);
  file_.moov_offset = leftover.offset + leftover.texts_size;
  file_.total_size = leftover.offset + leftover.returned.size();
}

void movie_box_rewrite::finish_stopped_write(stream& io) {
  const std::string_view movie = plan_->returned;
  if (!movie.empty()) {
    // The movie box in force returns to where the "free" box in front of it
    // starts.
    return_boxes(io, plan_->where.old_movie, movie, plan_->open_free);
  } else if (plan_->layout.cut_position != no_cut) {
    // Staged boxes behind the last box, which no reader reads.
    io.truncate(plan_->layout.cut_position);
  }
}

void mp4_update_file_tags(mp4_file& file, stream& io, std::uint32_t write_mode, std::vector<std::string>& reports) {
  movie_box_rewrite(file, io, write_mode, reports).write(io);
}

}  // namespace tarnex

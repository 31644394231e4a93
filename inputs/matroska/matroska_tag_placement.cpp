#include "inputs/matroska/matroska_tag_placement.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <set>

#include "foundation/work_steps.h"
#include "inputs/matroska/ebml_batched_writer.h"
#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/ebml_in_place_writing.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_ids.h"
#include "inputs/matroska/matroska_superseded_tags.h"
#include "io/room_for_later_edits.h"
#include "metadata/tags/trailing_tags.h"

namespace Matroska {

namespace {

// The Tags element's ID as it stands in the file.
constexpr std::uint8_t tags_id[] = {0x12, 0x54, 0xC3, 0x67};

struct element_at {
  std::uint64_t position, content_start, size;
  std::uint64_t end() const { return content_start + size; }
};

element_at header_at(ebml_reader& reader, std::uint64_t position, std::uint32_t expected_id) {
  reader.seek(position);
  if (ebml_read_id(reader) != expected_id) vantrel_io::throw_io_data();
  const std::uint64_t size = ebml_read_size(reader);
  if (size == ebml_unknown_size) vantrel_io::throw_io_data();
  return {position, reader.position(), size};
}

// A Seek entry of a SeekHead that points at a Tags element.
struct tags_seek_entry {
  std::uint64_t seek_position;     // the Seek element
  std::uint64_t seekhead;          // the SeekHead that holds it
  std::uint64_t seekhead_end;
  std::uint64_t target;            // absolute
  std::uint64_t value_position;    // the SeekPosition's value bytes
  unsigned value_length;
};

std::vector<tags_seek_entry> tags_seek_entries(const matroska_file_scan& scan, ebml_reader& reader) {
  std::vector<tags_seek_entry> found;
  for (std::uint64_t head : scan.positions_of(ids::seek_head)) {
    const element_at seekhead = header_at(reader, head, ids::seek_head);
    for (std::uint64_t at = seekhead.content_start; at < seekhead.end();) {
      reader.seek(at);
      const std::uint32_t id = ebml_read_id(reader);
      const std::uint64_t size = ebml_read_size(reader);
      const std::uint64_t content = reader.position();
      if (size == ebml_unknown_size || content + size > seekhead.end()) vantrel_io::throw_io_data();
      if (id == ids::seek) {
        qiv::count_work_steps(1);
        std::optional<std::uint32_t> target_id;
        tags_seek_entry entry{at, head, seekhead.end(), 0, 0, 0};
        bool has_position = false;
        for (std::uint64_t child = content; child < content + size;) {
          reader.seek(child);
          const std::uint32_t child_id = ebml_read_id(reader);
          const std::uint64_t child_size = ebml_read_size(reader);
          const std::uint64_t value = reader.position();
          if (child_size == ebml_unknown_size || value + child_size > content + size) vantrel_io::throw_io_data();
          if (child_id == ids::seek_id) {
            target_id = ebml_read_id(reader);
          } else if (child_id == ids::seek_position && child_size >= 1 && child_size <= 8) {
            entry.target = scan.segment_data_start + ebml_read_uint(reader, child_size);
            entry.value_position = value;
            entry.value_length = static_cast<unsigned>(child_size);
            has_position = true;
          }
          child = value + child_size;
        }
        if (target_id == ids::tags && has_position) found.push_back(entry);
      }
      at = content + size;
    }
  }
  return found;
}

// A Tags element of `content`, closed by the list of the elements it takes
// the place of (see matroska_superseded_tags).
std::vector<std::uint8_t> tags_element(const std::vector<std::uint8_t>& content,
                                       const std::vector<std::uint8_t>& taken_in) {
  ebml_memory_writer out;
  ebml_write_vint(out, ids::tags);
  ebml_write_vint(out, content.size() + taken_in.size());
  std::vector<std::uint8_t> bytes = out.bytes();
  bytes.insert(bytes.end(), content.begin(), content.end());
  bytes.insert(bytes.end(), taken_in.begin(), taken_in.end());
  return bytes;
}

std::vector<std::uint8_t> seek_entry_content(std::uint64_t relative) {
  ebml_memory_writer out;
  ebml_write_vint(out, ids::seek_id);
  ebml_write_vint(out, sizeof tags_id);
  out.write(tags_id, sizeof tags_id);
  ebml_write_uint_element(out, ids::seek_position, relative);
  return out.bytes();
}

// A CRC-32 over a SeekHead that is about to change would be wrong after it:
// it becomes a Void of its own size, so a reader that checks it never finds
// a stale sum.
void void_seekhead_checksum(ebml_reader& writer, std::uint64_t head) {
  constexpr std::uint32_t crc32_id = 0x3F;
  const element_at seekhead = header_at(writer, head, ids::seek_head);
  if (seekhead.size == 0) return;
  writer.seek(seekhead.content_start);
  if (ebml_read_id(writer) != crc32_id) return;
  const std::uint64_t size = ebml_read_size(writer);
  const std::uint64_t end = writer.position() + size;
  if (size == ebml_unknown_size || end > seekhead.end()) vantrel_io::throw_io_data();
  ebml_write_void(writer, seekhead.content_start, end - seekhead.content_start);
}

void void_seekhead_checksums(const matroska_file_scan& scan, ebml_reader& writer) {
  for (std::uint64_t head : scan.positions_of(ids::seek_head)) void_seekhead_checksum(writer, head);
}

// Whether a plain unsigned integer of `length` bytes holds the value.
bool fits_plain(std::uint64_t value, unsigned length) { return length >= 8 || (value >> (8 * length)) == 0; }

std::vector<std::uint8_t> bytes_at(ebml_reader& reader, std::uint64_t position, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  reader.seek(position);
  reader.read(bytes.data(), static_cast<std::uint32_t>(size));
  return bytes;
}

// Lays the SeekHead at `head` out anew within its own size: its Seek entries
// but those of Tags, then a Seek entry of `content`, then a Void over the
// rest. This takes the room of Voids among its entries (a CRC-32 turned into
// one, say) where no Void after it is left to grow into: another program's
// element may stand there. False where they do not fit.
bool relay_seekhead_with_entry(const matroska_file_scan& scan, ebml_reader& writer, std::uint64_t head,
                               const std::vector<std::uint8_t>& content) {
  std::set<std::uint64_t> tags_entries;
  for (const tags_seek_entry& entry : tags_seek_entries(scan, writer)) tags_entries.insert(entry.seek_position);
  const element_at seekhead = header_at(writer, head, ids::seek_head);
  std::vector<std::uint8_t> laid_out;
  for (std::uint64_t at = seekhead.content_start; at < seekhead.end();) {
    writer.seek(at);
    const std::uint32_t id = ebml_read_id(writer);
    const std::uint64_t size = ebml_read_size(writer);
    const std::uint64_t end = writer.position() + size;
    if (size == ebml_unknown_size || end > seekhead.end()) vantrel_io::throw_io_data();
    if (id != ids::void_element && !tags_entries.count(at)) {
      const std::vector<std::uint8_t> child = bytes_at(writer, at, static_cast<std::size_t>(end - at));
      laid_out.insert(laid_out.end(), child.begin(), child.end());
    }
    at = end;
  }
  ebml_memory_writer entry;
  ebml_write_vint(entry, ids::seek);
  ebml_write_vint(entry, content.size());
  entry.write(content.data(), static_cast<std::uint32_t>(content.size()));
  laid_out.insert(laid_out.end(), entry.bytes().begin(), entry.bytes().end());
  if (laid_out.size() > seekhead.size || !ebml_gap_fillable(seekhead.size - laid_out.size())) return false;
  writer.seek(seekhead.content_start);
  writer.write(laid_out.data(), static_cast<std::uint32_t>(laid_out.size()));
  ebml_write_void(writer, seekhead.content_start + laid_out.size(), seekhead.size - laid_out.size());
  return true;
}

// Points the SeekHeads at the Tags at `kept` and at no other Tags. Only
// the SeekHeads the player follows (the first and those it names) may carry
// the entry readers need: one written into another SeekHead (a second one in
// front of the Clusters, which ffprobe reads too) leaves the player without
// tags. The first Seek entry of a Tags element there is pointed at `kept`
// when its value has room, else one is added; every other Tags entry becomes
// Void, but one naming `kept` outside them, which stays right. False when no
// followed SeekHead can take the entry. Everything goes into `batch`, so the
// readers' view switches from the old tags to the new ones in one change.
bool point_seekheads_at(const matroska_file_scan& scan, ebml_reader& batch, std::uint64_t kept) {
  void_seekhead_checksums(scan, batch);
  const std::uint64_t relative = kept - scan.segment_data_start;
  bool named = false;
  for (const tags_seek_entry& entry : tags_seek_entries(scan, batch)) {
    const bool followed = scan.seekheads_read.count(entry.seekhead) != 0;
    if (!followed && entry.target == kept) continue;
    if (followed && !named && entry.target == kept) {
      named = true;
    } else if (followed && !named && fits_plain(relative, entry.value_length)) {
      std::uint8_t value[8];
      for (unsigned i = 0; i < entry.value_length; ++i)
        value[i] = static_cast<std::uint8_t>(relative >> (8 * (entry.value_length - 1 - i)));
      batch.seek(entry.value_position);
      batch.write(value, entry.value_length);
      named = true;
    } else {
      ebml_void_out(batch, entry.seek_position, ids::seek, entry.seekhead_end);
    }
  }
  if (!named) {
    const std::vector<std::uint8_t> content = seek_entry_content(relative);
    const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
    for (std::uint64_t head : scan.seekheads_read) {
      named = ebml_seekhead_add_entry(batch, head, content.data(), static_cast<std::uint32_t>(content.size()),
                                      segment_end);
      if (named) break;
    }
    for (std::uint64_t head : scan.seekheads_read) {
      if (named) break;
      named = relay_seekhead_with_entry(scan, batch, head, content);
    }
  }
  return named;
}

// What lies behind the Segment's end. Bytes there that no reader reads
// (what a stopped write left, zeros a file system committed with the size
// before the data, stray bytes) a write cuts off; what other programs read
// there (an ID3v1 or APEv2 tag another tagger appended, a further EBML
// document) stays at the end of the file, and only a write that no reader
// sees half done (into a copy) moves it behind a grown Segment.
struct behind_segment {
  std::uint64_t segment_end = 0;
  std::uint64_t kept_from = 0;  // the file's size where nothing stays
  std::uint64_t file_size = 0;
  bool may_grow = true;         // whether the Segment may grow at its end
  // What stays, read before any step is planned: a planned change over Tags
  // that end the Segment shows its new bytes where these stood.
  std::vector<std::uint8_t> kept_bytes;
  bool unread() const { return kept_from > segment_end; }
  bool kept() const { return file_size > kept_from; }
};

// Where the tags other programs append to a file (an APEv2 tag, ID3v1
// blocks) begin behind the Segment's end, found as the formats that carry
// such tags find them; the Segment's end where a damaged or stacked APEv2
// tag leaves that unknown, so that none of it is cut.
std::uint64_t appended_tags_start(ebml_file_reader& reader, std::uint64_t segment_end) {
  const std::uint64_t at = reader.position();
  const trailing_tags found = find_trailing_tags(reader.file(), false, reader.abort());
  // The search moves the file; the reader counts what it may read from
  // where it was.
  reader.file().seek(at, reader.abort());
  if (found.damaged_apev2 || found.stacked_apev2) return segment_end;
  return std::max(found.start, segment_end);
}

behind_segment what_lies_behind(const matroska_file_scan& scan, ebml_file_reader& reader, tag_step_rule rule) {
  behind_segment behind;
  behind.segment_end = scan.segment_data_start + scan.segment_data_size;
  behind.file_size = reader.size();
  behind.kept_from = behind.file_size;
  if (behind.file_size > behind.segment_end) {
    constexpr std::uint8_t ebml_header_id[] = {0x1A, 0x45, 0xDF, 0xA3};
    std::uint8_t head[sizeof ebml_header_id] = {};
    reader.seek(behind.segment_end);
    reader.read(head, static_cast<std::uint32_t>(
                          std::min<std::uint64_t>(sizeof head, behind.file_size - behind.segment_end)));
    behind.kept_from = std::equal(head, head + sizeof head, ebml_header_id)
                           ? behind.segment_end
                           : appended_tags_start(reader, behind.segment_end);
  }
  behind.may_grow = !behind.kept() || rule == tag_step_rule::any_order;
  if (behind.kept() && behind.may_grow) {
    const auto size = static_cast<std::size_t>(behind.file_size - behind.kept_from);
    behind.kept_bytes = bytes_at(reader, behind.kept_from, size);
  }
  return behind;
}

// How a new Tags element goes into the file.
enum class road {
  in_place,  // over an old Tags element and the Voids after it, a Void over the rest
  at_end,    // over an old Tags element that ends the Segment and the file, which grow
  append,    // after the end of the Segment, which grows over it
  into_void, // into a run of Voids that earlier Tags or a muxer left
};

struct placement {
  std::uint64_t position;  // of the element
  road how;
  std::uint64_t alignment = 0;  // append, into_void: a Void just before the element (0: none)
  std::uint64_t room = 0;       // at_end, append: the Void just after it
};

using vantrel_io::later_edit_room;
using vantrel_io::least_later_edit_room;

// Where an element of `total` bytes that would go at `position` goes so that
// a later text edit, which rewrites it and the head of the Void behind it,
// is one write within one page: the element and its room share a page,
// shifted to the start of the next one by a Void where they would not.
vantrel_io::later_edit_layout layout_for_later_edits(std::uint64_t position, std::uint64_t total) {
  static_assert(!ebml_gap_fillable(1) && ebml_gap_fillable(2), "a Void fills any gap of 2 bytes or more");
  return vantrel_io::layout_for_later_edits(position, total, 2);
}

// `element` between a Void of `before` bytes and one of `after` bytes (none
// for 0), their contents zeros.
std::vector<std::uint8_t> between_voids(std::uint64_t before, const std::vector<std::uint8_t>& element,
                                        std::uint64_t after) {
  std::vector<std::uint8_t> bytes = ebml_void_head(before);
  bytes.resize(static_cast<std::size_t>(before));
  bytes.insert(bytes.end(), element.begin(), element.end());
  const std::size_t room_at = bytes.size();
  const std::vector<std::uint8_t> room = ebml_void_head(after);
  bytes.insert(bytes.end(), room.begin(), room.end());
  bytes.resize(room_at + static_cast<std::size_t>(after));
  return bytes;
}

unsigned segment_size_length(const matroska_file_scan& scan, ebml_reader& reader) {
  reader.seek(scan.segment_position);
  if (ebml_read_id(reader) != ids::segment) vantrel_io::throw_io_data();
  std::uint8_t first;
  reader.read(&first, 1);
  const unsigned length = ebml_vint_length(first);
  if (length == 0) vantrel_io::throw_io_data();
  return length;
}

bool segment_size_fits(const matroska_file_scan& scan, ebml_reader& reader, std::uint64_t size) {
  std::uint8_t field[ebml_max_vint_length];
  return ebml_encode_vint_fixed(size, segment_size_length(scan, reader), field);
}

// How the new element can replace the Tags at `position`, if it can. Where
// it grows at the end of the Segment, it keeps room behind it; `laid_out`
// asks that the element and that room share a page, else the element is
// better moved to where they do.
std::optional<placement> over_old_tags(const matroska_file_scan& scan, ebml_reader& writer,
                                       const behind_segment& behind, std::uint64_t position, std::uint64_t total,
                                       bool laid_out) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  const std::uint64_t span = ebml_span_with_voids(writer, position, ids::tags, segment_end);
  if (total <= span && ebml_gap_fillable(span - total)) return placement{position, road::in_place};
  if (position + span != segment_end || !behind.may_grow) return std::nullopt;
  const vantrel_io::later_edit_layout layout = layout_for_later_edits(position, total);
  if (layout.alignment != 0 && laid_out) return std::nullopt;
  const std::uint64_t room = layout.alignment == 0 ? layout.room : later_edit_room;
  // The room keeps the growth above a Void's 2 bytes.
  if (!segment_size_fits(scan, writer, scan.segment_data_size + total + room - span)) return std::nullopt;
  return placement{position, road::at_end, 0, room};
}

// Where the new element goes in the run of Voids at `position`: laid out for
// later edits where the run holds that, else at its start. Its bytes go in
// under one Void before the first of them is switched.
std::optional<placement> into_spare_void(const matroska_file_scan& scan, ebml_reader& reader,
                                         std::uint64_t position, std::uint64_t total) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  const std::uint64_t span = ebml_span_with_voids(reader, position, ids::void_element, segment_end);
  const std::uint64_t head = ebml_void_head(span).size();
  auto fits = [&](std::uint64_t alignment, std::uint64_t least_room) {
    const std::uint64_t used = alignment + total;
    return used + least_room <= span && ebml_gap_fillable(span - used) && used >= head;
  };
  const vantrel_io::later_edit_layout layout = layout_for_later_edits(position, total);
  if (fits(layout.alignment, least_later_edit_room))
    return placement{position + layout.alignment, road::into_void, layout.alignment};
  if (fits(0, 0)) return placement{position, road::into_void};
  return std::nullopt;
}

std::optional<placement> after_segment(const matroska_file_scan& scan, ebml_reader& writer,
                                       const behind_segment& behind, std::uint64_t total) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  if (!behind.may_grow) return std::nullopt;
  const vantrel_io::later_edit_layout layout = layout_for_later_edits(segment_end, total);
  if (!segment_size_fits(scan, writer, scan.segment_data_size + layout.alignment + total + layout.room))
    return std::nullopt;
  return placement{segment_end + layout.alignment, road::append, layout.alignment, layout.room};
}

// The bytes that replace the Tags at `position` and the Voids after it: the
// element, then a Void over what it leaves of them.
std::vector<std::uint8_t> element_over_span(ebml_reader& reader, const matroska_file_scan& scan,
                                            std::uint64_t position, const std::vector<std::uint8_t>& element) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  const std::uint64_t span = ebml_span_with_voids(reader, position, ids::tags, segment_end);
  std::vector<std::uint8_t> bytes = element;
  const std::vector<std::uint8_t> rest = ebml_void_head(span - element.size());
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

// The old bytes of `size` at `position`, where the file may end before
// the staged `room` that follows it at `room_at`.
std::vector<std::uint8_t> bytes_before_room(ebml_reader& reader, std::uint64_t position, std::size_t size,
                                            std::uint64_t room_at, const std::vector<std::uint8_t>& room) {
  const std::size_t in_file = static_cast<std::size_t>(std::min<std::uint64_t>(size, room_at - position));
  std::vector<std::uint8_t> bytes = bytes_at(reader, position, in_file);
  bytes.insert(bytes.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(size - in_file));
  return bytes;
}

// What other programs read behind the Segment is cut off before the
// Segment grows over its place, and written again behind the grown Segment
// at `new_end`; a road taken only where no reader sees the file half done.
void cut_kept_bytes(const behind_segment& behind, vantrel_io::in_place_steps& steps) {
  if (behind.kept()) steps.cut(behind.segment_end);
}
void put_back_kept_bytes(const behind_segment& behind, std::uint64_t new_end, vantrel_io::in_place_steps& steps) {
  if (behind.kept()) steps.stage(new_end, behind.kept_bytes);
}

bool grow_segment(const matroska_file_scan& scan, ebml_reader& writer, std::uint64_t growth) {
  return ebml_rewrite_size(writer, scan.segment_position, ids::segment, scan.segment_data_size + growth);
}

// The steps planned so far, and the file as they leave it: each later step
// is planned on what the earlier ones wrote, so that a change spanning bytes
// an earlier step wrote carries them as written, not as they were.
class planned_steps {
public:
  explicit planned_steps(ebml_reader& file) : view(file) {}

  void cut(std::uint64_t size) { steps.cut(size); }
  void stage(std::uint64_t offset, std::vector<std::uint8_t> bytes) { steps.stage(offset, std::move(bytes)); }
  void fill_unread(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
    mirror(offset, bytes);
    steps.fill_unread(offset, std::move(bytes));
  }
  void change(std::uint64_t offset, std::vector<std::uint8_t> old_bytes, std::vector<std::uint8_t> bytes) {
    mirror(offset, bytes);
    steps.change(offset, std::move(old_bytes), std::move(bytes));
  }

  // The file as planned so far, to read and to plan on; edits made on it
  // are not steps.
  ebml_reader& file() { return view; }
  vantrel_io::in_place_steps steps;

private:
  ebml_batched_writer view;

  // Bytes past the file's end are staged there first: only those inside it
  // are read again.
  void mirror(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
    if (offset >= view.size()) return;
    view.seek(offset);
    view.write(bytes.data(), static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes.size(), view.size() - offset)));
  }
};

// One edit of the elements readers see; false where it cannot be made.
using element_edit = std::function<bool(ebml_reader&)>;

// Makes one edit through `writer`, counted as work: a plan makes each of
// its edits a few times, whatever the number of edits beside it.
bool make_edit(ebml_reader& writer, const element_edit& edit) {
  qiv::count_work_steps(1);
  return edit(writer);
}

// Makes the edits `edits[first, end)` through `writer`; false where one
// cannot be made.
bool make_edits(ebml_reader& writer, const std::vector<element_edit>& edits, std::size_t first, std::size_t end) {
  for (std::size_t i = first; i < end; ++i)
    if (!make_edit(writer, edits[i])) return false;
  return true;
}

// Adds the edits `edits[first, end)` to the plan as one change readers see;
// `one_write`, where given, says whether that change is one write within
// one page.
bool add_change(planned_steps& plan, const std::vector<element_edit>& edits, std::size_t first, std::size_t end,
                bool* one_write = nullptr) {
  ebml_batched_writer batch(plan.file());
  if (!make_edits(batch, edits, first, end)) return false;
  if (one_write) *one_write = batch.fits_one_write();
  batch.add_change_to(plan.steps);
  return make_edits(plan.file(), edits, first, end);
}

// Adds the edits to the plan in their order, in as few changes as one write
// within one page each allows: a change takes the edits after it while they
// still fit one write together, since edits of one change reach readers at
// once. A change grows one edit at a time on the same batch: made anew for
// each edit it takes, a page of many small edits (thousands of Tags elements
// turned into Void) would cost the square of their number. False where an
// edit cannot be made, and under `rule` where a change is no one write: the
// plan is refused then, and the edits after it are not worth making.
bool add_in_few_changes(planned_steps& plan, const std::vector<element_edit>& edits, tag_step_rule rule) {
  for (std::size_t first = 0; first < edits.size();) {
    std::size_t end = first + 1;
    if (end < edits.size()) {
      ebml_batched_writer wider(plan.file());
      if (make_edits(wider, edits, first, end))
        while (end < edits.size() && make_edit(wider, edits[end]) && wider.fits_one_write()) ++end;
    }
    bool one_write = true;
    const bool alone = end == first + 1 && rule == tag_step_rule::each_change_one_write;
    if (!add_change(plan, edits, first, end, alone ? &one_write : nullptr) || !one_write) return false;
    first = end;
  }
  return true;
}

// The steps that put the element where planned. Each leaves a file that
// reads, with no Tags element but the old or the new one: an element over
// old Tags goes down with its trailing Void in one change; a Segment grows
// over a Void staged after it before the element takes the room; an
// appended element lies after the Segment until the Segment grows over it,
// which the switch to it does (see beside_old_tags).
void tags_steps(const matroska_file_scan& scan, planned_steps& plan, const behind_segment& behind,
                const placement& where, const std::vector<std::uint8_t>& element) {
  ebml_reader& reader = plan.file();
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  if (where.how == road::append) {
    cut_kept_bytes(behind, plan.steps);
    std::vector<std::uint8_t> bytes = between_voids(where.alignment, element, where.room);
    const std::uint64_t new_end = segment_end + bytes.size();
    plan.stage(segment_end, std::move(bytes));
    put_back_kept_bytes(behind, new_end, plan.steps);
    return;
  }
  if (where.how == road::into_void) {
    // The run becomes one Void, the element's bytes go in behind its head,
    // and only then does the head become the element's (or the aligning
    // Void's before it): until that one write, readers skip whatever lies
    // there.
    const std::uint64_t run = where.position - where.alignment;
    const std::uint64_t span = ebml_span_with_voids(reader, run, ids::void_element, segment_end);
    add_change(plan, {[&](ebml_reader& writer) {
                 ebml_write_void(writer, run, span);
                 return true;
               }},
               0, 1);
    const std::vector<std::uint8_t> void_head = ebml_void_head(span);
    std::vector<std::uint8_t> bytes = between_voids(where.alignment, element, 0);
    const std::vector<std::uint8_t> rest = ebml_void_head(span - bytes.size());
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    const auto unread_from =
        static_cast<std::size_t>(std::max<std::uint64_t>(void_head.size(), where.alignment));
    plan.fill_unread(run + unread_from, std::vector<std::uint8_t>(bytes.begin() + unread_from, bytes.end()));
    const auto head_end = bytes.begin() + static_cast<std::ptrdiff_t>(void_head.size());
    plan.change(run, void_head, std::vector<std::uint8_t>(bytes.begin(), head_end));
    return;
  }
  const std::uint64_t span = ebml_span_with_voids(reader, where.position, ids::tags, segment_end);
  if (where.how == road::in_place) {
    std::vector<std::uint8_t> bytes = element_over_span(reader, scan, where.position, element);
    std::vector<std::uint8_t> old = bytes_at(reader, where.position, bytes.size());
    plan.change(where.position, std::move(old), std::move(bytes));
    return;
  }
  const std::uint64_t growth = element.size() + where.room - span;
  std::vector<std::uint8_t> room = ebml_void_head(growth);
  room.resize(static_cast<std::size_t>(growth));
  cut_kept_bytes(behind, plan.steps);
  plan.stage(segment_end, room);
  add_change(plan, {[&](ebml_reader& writer) { return grow_segment(scan, writer, growth); }}, 0, 1);
  std::vector<std::uint8_t> bytes = element;
  const std::vector<std::uint8_t> rest = ebml_void_head(where.room);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  std::vector<std::uint8_t> old = bytes_before_room(reader, where.position, bytes.size(), segment_end, room);
  plan.change(where.position, std::move(old), std::move(bytes));
  put_back_kept_bytes(behind, segment_end + growth, plan.steps);
}

// An old Tags element becomes a Void of its own size: the Voids after it
// may hold the new element by then.
void void_tags_element(ebml_reader& writer, std::uint64_t position) {
  ebml_write_void(writer, position, header_at(writer, position, ids::tags).end() - position);
}

element_edit tags_turned_void(std::uint64_t position) {
  return [position](ebml_reader& writer) {
    void_tags_element(writer, position);
    return true;
  };
}

// Every Seek entry that names the Tags at `position` becomes Void: once the
// element is Void, an entry left naming it sends readers to no Tags
// (mkvextract refuses such a file).
element_edit entries_naming_turned_void(const matroska_file_scan& scan, std::uint64_t position) {
  return [&scan, position](ebml_reader& writer) {
    for (const tags_seek_entry& entry : tags_seek_entries(scan, writer)) {
      if (entry.target != position) continue;
      void_seekhead_checksum(writer, entry.seekhead);
      ebml_void_out(writer, entry.seek_position, ids::seek, entry.seekhead_end);
    }
    return true;
  };
}

// The Tags elements that Seek entries name in the file as planned so far.
// The later edits of a plan only take such entries away or point them at
// the new element: a Tags element no entry names now is named by none when
// its turn comes, and thousands of them need no search of the SeekHeads.
std::set<std::uint64_t> tags_named_by_entries(const matroska_file_scan& scan, ebml_reader& reader) {
  std::set<std::uint64_t> named;
  for (const tags_seek_entry& entry : tags_seek_entries(scan, reader)) named.insert(entry.target);
  return named;
}

// The Tags at `position` become Void, after the Seek entries naming them
// (`named`: tags_named_by_entries): no entry ever names a Void.
void turned_void_with_entries(const matroska_file_scan& scan, std::uint64_t position,
                              const std::set<std::uint64_t>& named, std::vector<element_edit>& edits) {
  if (named.count(position)) edits.push_back(entries_naming_turned_void(scan, position));
  edits.push_back(tags_turned_void(position));
}

// Every Tags element but the one at `kept` and the stale ones becomes Void,
// each an edit of its own: they lie far apart.
void void_tags_but(const matroska_file_scan& scan, ebml_reader& planned, std::uint64_t kept,
                   std::vector<element_edit>& edits) {
  std::vector<std::uint64_t> voided;
  for (std::uint64_t position : scan.positions_of(ids::tags))
    if (position != kept && !scan.stale_tags.count(position)) voided.push_back(position);
  if (voided.empty()) return;
  const std::set<std::uint64_t> named = tags_named_by_entries(scan, planned);
  for (std::uint64_t position : voided) turned_void_with_entries(scan, position, named, edits);
}

bool acceptable(const vantrel_io::in_place_steps& steps, tag_step_rule rule) {
  return rule == tag_step_rule::any_order || steps.each_change_one_write();
}

// What every road begins with: bytes behind the Segment that no reader
// reads cut off, where nothing other programs read follows them, then the
// stale Tags turned into Void, so that every reader reads the named tags
// until the switch from them.
void begin_plan(const matroska_file_scan& scan, const behind_segment& behind, planned_steps& plan,
                tag_step_rule rule) {
  if (behind.unread() && !behind.kept()) plan.cut(behind.segment_end);
  if (scan.stale_tags.empty()) return;
  const std::set<std::uint64_t> named = tags_named_by_entries(scan, plan.file());
  std::vector<element_edit> edits;
  for (std::uint64_t position : scan.stale_tags) turned_void_with_entries(scan, position, named, edits);
  add_in_few_changes(plan, edits, rule);
}

// The new element over the one Tags element that SeekHeads name: a single
// change switches readers from the old tags to the new. The other Tags
// elements become Void after it: a second element's values are in the new
// one by then, which lists it, and a stop before its turn leaves it for the
// next write to find stale.
std::optional<vantrel_io::in_place_steps> over_named_tags(const matroska_file_scan& scan, ebml_reader& reader,
                                                          const behind_segment& behind, std::uint64_t position,
                                                          const std::vector<std::uint8_t>& element,
                                                          tag_step_rule rule, bool laid_out) {
  planned_steps plan(reader);
  begin_plan(scan, behind, plan, rule);
  const std::optional<placement> where = over_old_tags(scan, plan.file(), behind, position, element.size(), laid_out);
  if (!where) return std::nullopt;
  tags_steps(scan, plan, behind, *where, element);
  std::vector<element_edit> voids;
  void_tags_but(scan, plan.file(), position, voids);
  if (!add_in_few_changes(plan, voids, rule) || !acceptable(plan.steps, rule)) return std::nullopt;
  return std::move(plan.steps);
}

// The new element where readers do not look yet, then the SeekHeads switched
// to it, with the growth of a Segment that takes it in where one write holds
// both. The old Tags become Void in the change that switches the SeekHeads
// where one change within a page holds both: readers that also walk the
// start of the Segment (ffprobe, mkvextract) would find an old element there
// beside the new one, and a later write would find a Tags element no
// SeekHead names. Else they become Void in the next change: a stop between
// the two leaves those readers reading both until the next write, which
// finds the old element stale and turns it into Void first.
template <class Where>
std::optional<vantrel_io::in_place_steps> beside_old_tags(const matroska_file_scan& scan, ebml_reader& reader,
                                                          const behind_segment& behind, Where find_place,
                                                          const std::vector<std::uint8_t>& element,
                                                          tag_step_rule rule) {
  planned_steps plan(reader);
  begin_plan(scan, behind, plan, rule);
  const std::optional<placement> where = find_place(plan.file());
  if (!where) return std::nullopt;
  tags_steps(scan, plan, behind, *where, element);
  std::vector<element_edit> edits;
  if (where->how == road::append) {
    const std::uint64_t growth = where->alignment + element.size() + where->room;
    edits.push_back([&scan, growth](ebml_reader& writer) { return grow_segment(scan, writer, growth); });
  }
  const std::uint64_t kept = where->position;
  edits.push_back([&scan, kept](ebml_reader& writer) { return point_seekheads_at(scan, writer, kept); });
  void_tags_but(scan, plan.file(), kept, edits);
  if (!add_in_few_changes(plan, edits, rule) || !acceptable(plan.steps, rule)) return std::nullopt;
  return std::move(plan.steps);
}

}  // namespace

void matroska_find_every_tags(matroska_file_scan& scan, ebml_reader& reader) {
  class top_level : public ebml_element_handler {
  public:
    explicit top_level(matroska_file_scan& scan) : scan_(scan) {}
    void on_element(std::uint32_t id, std::uint64_t, ebml_reader&) override {
      if (id == ids::tags || id == ids::seek_head) scan_.element_positions[id].insert(element_start);
      if (id == ids::cluster && element_start < first_cluster) first_cluster = element_start;
      if (id == ids::void_element && element_start > first_cluster && previous_id != ids::void_element &&
          previous_id != ids::seek_head)
        scan_.spare_voids.insert(element_start);
      previous_id = id;
    }
    bool reads_cut_data() override { return scan_.cut; }

    std::uint64_t first_cluster = ~std::uint64_t(0);
    std::uint32_t previous_id = 0;

  private:
    matroska_file_scan& scan_;
  } handler(scan);
  // Those in front of the first Cluster are known (matroska_find_front_tags).
  const std::set<std::uint64_t> known = scan.positions_of(ids::tags);
  reader.seek(scan.segment_data_start);
  ebml_element_scope scope(reader, scan.segment_data_size);
  ebml_read_children(reader, handler);
  for (std::uint64_t position : scan.positions_of(ids::tags))
    if (!known.count(position) && position > handler.first_cluster) scan.unnamed_tags.insert(position);
}

std::optional<vantrel_io::in_place_steps> matroska_tag_steps(const matroska_file_scan& scan, ebml_file_reader& reader,
                                                             const std::vector<std::uint8_t>& content,
                                                             tag_step_rule rule) {
  // What a cut file lacks cannot be told apart from what a write would lose.
  if (scan.cut) return std::nullopt;
  const behind_segment behind = what_lies_behind(scan, reader, rule);
  std::set<std::uint64_t> named = scan.positions_of(ids::tags);
  for (const auto* unread : {&scan.unnamed_tags, &scan.second_tags, &scan.stale_tags})
    for (std::uint64_t position : *unread) named.erase(position);
  // The new element lists every Tags element readers read now but the one
  // it goes over (none where it goes elsewhere): those turn into Void only
  // after it is down.
  std::set<std::uint64_t> read_now = named;
  read_now.insert(scan.second_tags.begin(), scan.second_tags.end());
  constexpr std::uint64_t elsewhere = ~std::uint64_t{0};
  auto element_over = [&](std::uint64_t position) {
    std::set<std::uint64_t> taken_in = read_now;
    taken_in.erase(position);
    return tags_element(content, matroska_superseded_tags_list(scan, reader, taken_in));
  };

  if (named.size() <= 1) {
    for (std::uint64_t position : named)
      if (auto steps = over_named_tags(scan, reader, behind, position, element_over(position), rule, true))
        return steps;
  }
  const std::vector<std::uint8_t> element = element_over(elsewhere);

  // Otherwise the new element goes where readers do not look yet. A file
  // without a SeekHead has no switch to it: readers would find both tags or
  // neither, and a Tags element after the Clusters that no SeekHead names
  // is found by no one.
  if (scan.knows(ids::seek_head)) {
    for (std::uint64_t unnamed : scan.unnamed_tags) {
      auto where = [&](ebml_reader& view) {
        return over_old_tags(scan, view, behind, unnamed, element.size(), false);
      };
      if (auto steps = beside_old_tags(scan, reader, behind, where, element, rule)) return steps;
    }
    // Room earlier Tags left comes before growing the file, or every edit
    // that outgrows its Tags would leave another copy's worth of Void behind.
    for (std::uint64_t spare : scan.spare_voids) {
      auto where = [&](ebml_reader& view) { return into_spare_void(scan, view, spare, element.size()); };
      if (auto steps = beside_old_tags(scan, reader, behind, where, element, rule)) return steps;
    }
    auto where = [&](ebml_reader& view) { return after_segment(scan, view, behind, element.size()); };
    if (auto steps = beside_old_tags(scan, reader, behind, where, element, rule)) return steps;
  }
  // Tags that cannot move grow where they end the Segment, sharing a page
  // with their room or not.
  if (named.size() == 1)
    return over_named_tags(scan, reader, behind, *named.begin(), element_over(*named.begin()), rule, false);
  return std::nullopt;
}

}  // namespace Matroska

#include "inputs/matroska/matroska_tag_placement.h"

#include <optional>
#include <set>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_in_place_writing.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_ids.h"

namespace Matroska {

namespace {

// Answers what the writing primitives would do without changing the file:
// reads pass through, writes are dropped. The primitives read everything
// they need before their first write, so their answer holds.
class planning_reader final : public ebml_reader {
public:
  explicit planning_reader(ebml_reader& file) : file_(file) { sync(); }
  void read(void* buffer, std::uint32_t count) override { file_.read(buffer, count), sync(); }
  void skip(std::uint64_t count) override { file_.skip(count), sync(); }
  void check_available(std::uint64_t count) override { file_.check_available(count); }
  std::uint64_t position() override { return file_.position(); }
  void seek(std::uint64_t target) override { file_.seek(target), sync(); }
  std::uint64_t size() override { return file_.size(); }
  void truncate(std::uint64_t) override {}
  void write(const void*, std::uint32_t) override {}

private:
  void sync() { remaining_ = file_.remaining(); }
  ebml_reader& file_;
};

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
        std::optional<std::uint32_t> target_id;
        tags_seek_entry entry{at, seekhead.end(), 0, 0, 0};
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

std::vector<std::uint8_t> tags_element(const std::vector<std::uint8_t>& content) {
  ebml_memory_writer out;
  ebml_write_vint(out, ids::tags);
  ebml_write_vint(out, content.size());
  std::vector<std::uint8_t> bytes = out.bytes();
  bytes.insert(bytes.end(), content.begin(), content.end());
  return bytes;
}

std::vector<std::uint8_t> seek_entry_content(std::uint64_t relative) {
  ebml_memory_writer out;
  static const std::uint8_t tags_id[] = {0x12, 0x54, 0xC3, 0x67};
  ebml_write_vint(out, ids::seek_id);
  ebml_write_vint(out, sizeof tags_id);
  out.write(tags_id, sizeof tags_id);
  ebml_write_uint_element(out, ids::seek_position, relative);
  return out.bytes();
}

bool add_seek_entry(const matroska_file_scan& scan, ebml_reader& writer, std::uint64_t position) {
  const std::vector<std::uint8_t> entry = seek_entry_content(position - scan.segment_data_start);
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  for (std::uint64_t head : scan.positions_of(ids::seek_head)) {
    if (ebml_seekhead_add_entry(writer, head, entry.data(), static_cast<std::uint32_t>(entry.size()), segment_end))
      return true;
  }
  return false;
}

// A CRC-32 over a SeekHead that is about to change would be wrong after it:
// it becomes a Void of its own size, before the change, so a reader that
// checks it never finds a stale sum.
void void_seekhead_checksums(const matroska_file_scan& scan, ebml_reader& writer) {
  constexpr std::uint32_t crc32_id = 0x3F;
  for (std::uint64_t head : scan.positions_of(ids::seek_head)) {
    const element_at seekhead = header_at(writer, head, ids::seek_head);
    if (seekhead.size == 0) continue;
    writer.seek(seekhead.content_start);
    if (ebml_read_id(writer) != crc32_id) continue;
    const std::uint64_t size = ebml_read_size(writer);
    const std::uint64_t end = writer.position() + size;
    if (size == ebml_unknown_size || end > seekhead.end()) vantrel_io::throw_io_data();
    ebml_write_void(writer, seekhead.content_start, end - seekhead.content_start);
  }
}

// Every other Tags element, and every Seek entry that names one, becomes Void.
void retire_old_tags(matroska_file_scan& scan, ebml_reader& writer, std::uint64_t kept) {
  std::set<std::uint64_t> retired = scan.positions_of(ids::tags);
  retired.erase(kept);
  if (retired.empty()) return;
  void_seekhead_checksums(scan, writer);
  for (const tags_seek_entry& entry : tags_seek_entries(scan, writer)) {
    if (retired.count(entry.target)) ebml_void_out(writer, entry.seek_position, ids::seek, entry.seekhead_end);
  }
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  for (std::uint64_t position : retired) {
    ebml_void_out(writer, position, ids::tags, segment_end);
    scan.element_positions[ids::tags].erase(position);
  }
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

bool fits(std::uint64_t value, unsigned length) {
  std::uint8_t field[ebml_max_vint_length];
  return ebml_encode_vint_fixed(value, length, field);
}

// Whether a plain unsigned integer of `length` bytes holds the value.
bool fits_plain(std::uint64_t value, unsigned length) { return length >= 8 || (value >> (8 * length)) == 0; }

// New Tags after the end of the Segment, which must be the end of the file:
// written where nothing reads it yet, then taken into the Segment, then
// named by the SeekHead, and only then the old tags are retired.
bool append_tags(matroska_file_scan& scan, ebml_reader& writer, const std::vector<std::uint8_t>& element) {
  const std::uint64_t old_end = scan.segment_data_start + scan.segment_data_size;
  if (old_end != writer.size()) return false;
  const std::uint64_t new_size = scan.segment_data_size + element.size();
  if (!fits(new_size, segment_size_length(scan, writer))) return false;

  // The one Seek entry of the old tags is pointed at the new ones in a
  // single write when its value has room; otherwise a new entry is added.
  std::optional<tags_seek_entry> redirect;
  if (scan.knows(ids::seek_head)) {
    const std::vector<tags_seek_entry> entries = tags_seek_entries(scan, writer);
    if (entries.size() == 1 && scan.positions_of(ids::tags).count(entries[0].target) &&
        fits_plain(old_end - scan.segment_data_start, entries[0].value_length))
      redirect = entries[0];
    if (!redirect) {
      scan.segment_data_size = new_size;
      planning_reader plan(writer);
      const bool room = add_seek_entry(scan, plan, old_end);
      scan.segment_data_size = new_size - element.size();
      if (!room) return false;
    }
  }

  void_seekhead_checksums(scan, writer);
  writer.seek(old_end);
  writer.write(element.data(), static_cast<std::uint32_t>(element.size()));
  ebml_rewrite_size(writer, scan.segment_position, ids::segment, new_size);
  scan.segment_data_size = new_size;
  if (redirect) {
    std::uint8_t value[8];
    const std::uint64_t relative = old_end - scan.segment_data_start;
    for (unsigned i = 0; i < redirect->value_length; ++i)
      value[i] = static_cast<std::uint8_t>(relative >> (8 * (redirect->value_length - 1 - i)));
    writer.seek(redirect->value_position);
    writer.write(value, redirect->value_length);
  } else if (scan.knows(ids::seek_head)) {
    add_seek_entry(scan, writer, old_end);
  }
  scan.element_positions[ids::tags].insert(old_end);
  retire_old_tags(scan, writer, old_end);
  return true;
}

}  // namespace

void matroska_find_every_tags(matroska_file_scan& scan, ebml_reader& reader) {
  class top_level : public ebml_element_handler {
  public:
    explicit top_level(matroska_file_scan& scan) : scan_(scan) {}
    void on_element(std::uint32_t id, std::uint64_t, ebml_reader&) override {
      if (id == ids::tags || id == ids::seek_head) scan_.element_positions[id].insert(element_start);
    }

  private:
    matroska_file_scan& scan_;
  } handler(scan);
  reader.seek(scan.segment_data_start);
  ebml_element_scope scope(reader, scan.segment_data_size);
  ebml_read_children(reader, handler);
}

bool matroska_place_tags(matroska_file_scan& scan, ebml_reader& writer, const std::vector<std::uint8_t>& content) {
  const std::vector<std::uint8_t> element = tags_element(content);
  const std::uint64_t total = element.size();
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  const bool segment_ends_file = segment_end == writer.size();

  for (std::uint64_t position : scan.positions_of(ids::tags)) {
    const std::uint64_t span = ebml_span_with_voids(writer, position, ids::tags, segment_end);
    if (total <= span && ebml_gap_fillable(span - total)) {
      // The new element and the Void over the rest go out in one write.
      std::vector<std::uint8_t> bytes = element;
      const std::vector<std::uint8_t> rest = ebml_void_head(span - total);
      bytes.insert(bytes.end(), rest.begin(), rest.end());
      writer.seek(position);
      writer.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      retire_old_tags(scan, writer, position);
      return true;
    }
  }
  if (append_tags(scan, writer, element)) return true;

  // Last resort: the old Tags ends the Segment, which ends the file, and the
  // new one replaces it there, growing or cutting the file.
  if (!segment_ends_file) return false;
  for (std::uint64_t position : scan.positions_of(ids::tags)) {
    const std::uint64_t span = ebml_span_with_voids(writer, position, ids::tags, segment_end);
    if (position + span != segment_end) continue;
    const std::uint64_t new_size = position + total - scan.segment_data_start;
    if (!fits(new_size, segment_size_length(scan, writer))) return false;
    if (new_size > scan.segment_data_size) ebml_rewrite_size(writer, scan.segment_position, ids::segment, new_size);
    writer.seek(position);
    writer.write(element.data(), static_cast<std::uint32_t>(total));
    if (new_size < scan.segment_data_size) ebml_rewrite_size(writer, scan.segment_position, ids::segment, new_size);
    writer.truncate(position + total);
    scan.segment_data_size = new_size;
    retire_old_tags(scan, writer, position);
    return true;
  }
  return false;
}

}  // namespace Matroska

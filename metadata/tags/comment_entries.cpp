#include "metadata/tags/comment_entries.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "io/memory_reader.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/comment_block.h"
#include "metadata/track_info.h"

namespace {

using change = tag_field_map::entries::value_type;

// The changed field an entry belongs to; null when the edit leaves it alone.
const change* change_of(const std::string& entry, const tag_field_map::entries& changes) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string::npos) return nullptr;
  const std::string stored(entry, 0, equals);
  const auto found = changes.find(comment_name_from_storage(stored.c_str()));
  return found == changes.end() ? nullptr : &*found;
}

// The new values of a field, once, at the first place that asks for them.
class change_placer {
public:
  explicit change_placer(std::vector<std::string>& out) : out_(out) {}
  void place(const change& field) {
    if (!placed_.insert(&field).second) return;
    const std::string stored = comment_name_for_storage(field.first.c_str());
    for (const std::string& value : field.second) out_.push_back(stored + "=" + value);
  }

private:
  std::vector<std::string>& out_;
  // A set: an edit that removes a tag's thousands of fields places each.
  std::set<const change*> placed_;
};

}  // namespace

comment_block_contents comment_block_parse(const void* block, std::uint32_t size) {
  vantrel_io::memory_reader reader(block, size);
  comment_block_contents contents;
  try {
    contents.vendor = comment_block_read_string(reader);
    std::uint8_t count_bytes[4];
    reader.read(count_bytes, 4);
    const std::uint32_t count = qiv::load_le(count_bytes, 4);
    // Each entry takes at least its length: a count past that is damage.
    if (count > reader.remaining() / 4) vantrel_io::throw_io_data();
    contents.entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) contents.entries.push_back(comment_block_read_string(reader));
  } catch (const vantrel_io::exception_io_data&) {
    // A count or a length past the block's end.
    throw exception_comment_block_damaged();
  }
  return contents;
}

void comment_block_write_contents(const comment_block_contents& contents, const void* prefix,
                                  std::uint32_t prefix_size, bool framing, vantrel_io::writer& out,
                                  const abort_signal& abort) {
  if (prefix_size) out.write(prefix, prefix_size, abort);
  comment_block_write_string(out, contents.vendor, abort);
  comment_block_write_u32(out, static_cast<std::uint32_t>(contents.entries.size()), abort);
  for (const std::string& entry : contents.entries) comment_block_write_string(out, entry, abort);
  if (framing) out.write("\1", 1, abort);
}

std::vector<std::string> comment_entries_after(const std::vector<std::string>& entries,
                                               const tag_field_map::entries& changes, const track_info& to_write) {
  std::vector<std::string> out;
  out.reserve(entries.size());
  change_placer placer(out);
  for (const std::string& entry : entries) {
    if (const change* field = change_of(entry, changes)) placer.place(*field);
    else out.push_back(entry);
  }
  auto place_by_name = [&](const char* name) {
    const auto found = changes.find(name);
    if (found != changes.end()) placer.place(*found);
  };
  for (std::uint32_t f = 0; f < to_write.field_count(); ++f) place_by_name(to_write.field_name(f));
  for (const replaygain_field& field : replaygain_fields) place_by_name(field.name);
  // Entries a codec keeps for values outside the fields (gains).
  for (const change& field : changes) placer.place(field);
  return out;
}

std::size_t comment_entries_lay_out_for_rewrite(std::vector<std::string>& entries) {
  const auto is_large = [](const std::string& entry) {
    const std::size_t name_end = std::min(entry.find('='), entry.size());
    return entry.size() > comment_large_entry_size || comment_is_picture_name(entry.data(), name_end);
  };
  const auto text = std::stable_partition(entries.begin(), entries.end(), is_large);
  return std::size_t(text - entries.begin());
}

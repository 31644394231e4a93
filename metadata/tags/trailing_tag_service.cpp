// The trailing-tag service: ID3v1 and APEv2 at the end of a file, read,
// written and removed as one unit.
#include <cstring>
#include <optional>

#include "core/service_factory.h"
#include "core/tag_service.h"
#include "io/file_copy.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "metadata/tags/lyrics3v2.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/tag_region_update.h"
#include "metadata/tags/tagtype.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/tags/trailing_tags_not_replaceable.h"
#include "metadata/track_info.h"

namespace {

constexpr std::uint32_t id3v1_size = 128;

// False when there is no readable ID3v1 block ending at `end`.
bool read_id3v1_at(vantrel_io::file_object& file, std::uint64_t end, id3v1_block& block, const abort_signal& abort) {
  if (end < id3v1_size) return false;
  file.seek(end - id3v1_size, abort);
  file.read_exact(block.data(), id3v1_size, abort);
  return id3v1_is_block(block.data());
}

void set_tagtype(track_info& info, const std::string& value) {
  info.set_tech("tagtype", track_info::until_nul, value.c_str(), value.size());
}

class trailing_tag_service : public tag_service {
public:
  void read(vantrel_io::file_object& file, track_info& info, const abort_signal& abort) override {
    std::uint64_t start = 0;
    read_ex(file, info, start, abort);
  }

  void read_ex(vantrel_io::file_object& file, track_info& info, std::uint64_t& tag_start, const abort_signal& abort) override {
    const trailing_tags found = find_trailing_tags(file, true, abort);
    trailing_tags_to_info(found, info);
    tag_start = found.start;
  }

  void write(vantrel_io::file_object& file, const track_info& info, unsigned kinds, const abort_signal& abort) override {
    // The service's callers hand a file object without a path: no temporary
    // file to be had.
    vantrel_io::file_ptr held(&file);
    retag_in_place in_place;
    write_trailing_tags(held, in_place, info, kinds, abort);
  }

  void remove(vantrel_io::file_object& file, const abort_signal& abort) override {
    const trailing_tags found = find_trailing_tags(file, false, abort);
    const std::uint64_t size = file.get_size(abort);
    if (found.start < size) file.resize(found.start, abort);
  }

  bool can_hold_info(const track_info& info) override { return id3v1_can_hold_info(info); }

  void reduce_to_id3v1(track_info& info) override {
    const id3v1_block block = id3v1_render_block(info);
    info.remove_all_fields();
    info.clear_replaygain();
    id3v1_parse_block(block.data(), info);
  }
};

service_factory_single_t<trailing_tag_service> trailing_tag_service_registration;

}  // namespace

namespace {

// Whether an APEv2 tag, readable or not, ends at `end`.
bool apev2_tag_ends_at(vantrel_io::file_object& file, std::uint64_t end, const abort_signal& abort) {
  try {
    unsigned version = 0;
    apev2::read_tag_at_end(file, nullptr, version, end, abort);
  } catch (const exception_tag_not_found&) {
    return false;
  } catch (const vantrel_io::exception_io_data&) {
  }
  return true;
}

// Where a Lyrics3v2 block ending at `end` begins, when an APEv2 tag stands
// before it (there readers that know the block look for the tag); else
// `end`. Lyrics without such a tag are left to the audio, as every other
// reader leaves them.
std::uint64_t step_over_lyrics3v2(vantrel_io::file_object& file, std::uint64_t end, bool read_contents, trailing_tags& found,
                                  bool& complete, const abort_signal& abort) {
  const lyrics3v2_search lyrics = find_lyrics3v2_ending_at(file, end, abort);
  if (lyrics.cut_short) complete = false;
  if (lyrics.size == 0 || !apev2_tag_ends_at(file, end - lyrics.size, abort)) return end;
  found.has_lyrics3v2 = true;
  if (read_contents) found.lyrics3v2 = read_range(file, end - lyrics.size, lyrics.size, abort);
  return end - lyrics.size;
}

// The search over `file`; `complete` turns false when it met a damaged tag
// or came near the start of the file, where a window of the file's end may
// have cut a tag short.
trailing_tags search(vantrel_io::file_object& file, std::uint64_t end, bool read_contents, bool& complete,
                     const abort_signal& abort) {
  trailing_tags found;
  complete = true;
  const std::uint64_t file_end = end;
  for (;;) {
    const std::uint64_t pass_start = end;
    if (!found.has_apev2) {
      try {
        std::uint64_t tag_end = end;
        unsigned version = 0;
        found.apev2_items_complete = apev2::read_tag_at_end(file, read_contents ? &found.apev2_items : nullptr, version,
                                                            tag_end, abort, &found.apev2_has_header);
        found.has_apev2 = true;
        found.apev2_version = version;
        end = tag_end;
      } catch (const exception_tag_not_found&) {
      } catch (const vantrel_io::exception_io_data&) {
        found.apev2_items.clear();
        found.damaged_apev2 = true;
        complete = false;
      }
    }
    id3v1_block block;
    if (read_id3v1_at(file, end, block, abort)) {
      if (end == file_end) found.id3v1_at_end = true;
      found.id3v1_blocks.push_back(block);
      if (!found.has_apev2) ++found.id3v1_blocks_behind_apev2;
      end -= id3v1_size;
      if (found.id3v1_at_end && found.id3v1_blocks.size() == 1)
        end = step_over_lyrics3v2(file, end, read_contents, found, complete, abort);
    }
    if (end == pass_start) break;
  }
  if (end < id3v1_size) complete = false;
  found.start = end;
  found.stacked_apev2 = found.has_apev2 && apev2_tag_ends_at(file, end, abort);
  return found;
}

// Tags at the end of a file are small: one read of this much usually holds
// them all, where reading each header and body apart costs a system call
// each.
constexpr std::uint64_t tail_window = 64 * 1024;

// Whether the tags at the end of a file whose last bytes are `tail` reach
// further back than `tail` does: an APEv2 footer at the end, or before an
// ID3v1 block there, that says its tag is larger (a picture in it). Such a
// tag is read from the file itself, once.
bool tags_reach_past(const std::vector<std::uint8_t>& tail) {
  std::size_t end = tail.size();
  if (end >= id3v1_size && id3v1_is_block(tail.data() + end - id3v1_size)) end -= id3v1_size;
  const std::uint64_t tag_size = apev2::tag_size_in_footer(tail.data(), end);
  // A header may stand before the items.
  return tag_size != 0 && tag_size + 32 > end;
}

// The trailing tags as a write lays them out around its APEv2 tag: ID3v1
// blocks no reader shows (older ones, and any before the APEv2 tag) and a
// Lyrics3v2 block stay where they stood, and the block written ends the
// file. A new APEv2 tag goes right before the lyrics and that block, where
// readers look for it. Without a block at the end, the others and the
// lyrics go too: an older block would show in its place.
struct trailing_layout {
  std::vector<std::uint8_t> before_apev2, behind_apev2;

  static trailing_layout kept_around(const trailing_tags& found, const std::optional<id3v1_block>& end_block) {
    trailing_layout layout;
    if (!end_block) return layout;
    const std::vector<id3v1_block>& blocks = found.id3v1_blocks;
    const std::size_t shown = found.id3v1_at_end ? 1 : 0;
    const std::size_t behind = found.has_apev2 ? found.id3v1_blocks_behind_apev2 : shown;
    // Nearest the end first: file order is backwards.
    for (std::size_t i = blocks.size(); i-- > behind;) append(layout.before_apev2, blocks[i]);
    for (std::size_t i = behind; i-- > shown;) append(layout.behind_apev2, blocks[i]);
    append(layout.behind_apev2, found.lyrics3v2);
    append(layout.behind_apev2, *end_block);
    return layout;
  }

  std::vector<std::uint8_t> with_apev2(const std::vector<std::uint8_t>& apev2_tag) const {
    std::vector<std::uint8_t> out = before_apev2;
    append(out, apev2_tag);
    append(out, behind_apev2);
    return out;
  }

  template <class Bytes>
  static void append(std::vector<std::uint8_t>& out, const Bytes& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
};

}  // namespace

void trailing_tags_to_info(const trailing_tags& found, track_info& info) {
  if (!found.has_apev2 && found.id3v1_blocks.empty()) throw exception_tag_not_found();
  track_info_impl source;
  if (found.has_apev2) {
    apev2::read_into_track_info(found.apev2_items, found.apev2_version, source);
    // Other readers show a field the APEv2 tag lacks from the ID3v1 block
    // behind it (ffmpeg, which looks for an APEv2 footer only at the very
    // end, shows the block alone): so does the player, and an edit or
    // removal of that field then reaches the block, the one an edit writes.
    if (found.id3v1_at_end) {
      track_info_impl behind;
      id3v1_parse_block(found.id3v1_blocks.front().data(), behind);
      source.add_fields_not_held(behind);
    }
  } else {
    // With several blocks, every reader shows the one that ends the file.
    id3v1_parse_block(found.id3v1_blocks.front().data(), source);
  }
  info.copy_fields_from(source);
  info.set_replaygain(replaygain_merge(info.get_replaygain(), source.get_replaygain()));
  std::string tagtype = tagtype_of(source);
  if (found.has_apev2 && !found.id3v1_blocks.empty()) tagtype += "|id3v1";
  set_tagtype(info, tagtype);
}

std::vector<std::uint8_t> render_trailing_tags(trailing_tags& found, const track_info& info,
                                               const tag_changes& changes, unsigned kinds, emptied_tags emptied,
                                               std::vector<std::uint8_t>* for_rewrite, apev2_header header) {
  using refusal = exception_trailing_tags_not_replaceable;
  if (found.damaged_apev2) throw refusal(refusal::reason::damaged);
  if (found.stacked_apev2) throw refusal(refusal::reason::stacked);
  // The new APEv2 tag carries the old one's binary and read-only items
  // over; items a malformed one hid would be lost with the old tag.
  if ((kinds & tag_service::write_apev2) && found.has_apev2 && !found.apev2_items_complete)
    throw refusal(refusal::reason::hidden_items);
  const bool drop_emptied = emptied == emptied_tags::removed;
  std::optional<id3v1_block> block;
  if (kinds & tag_service::write_id3v1) {
    if (found.id3v1_at_end) {
      // The block other readers see: the one at the very end.
      track_info_impl own;
      id3v1_parse_block(found.id3v1_blocks.front().data(), own);
      changes.apply_to(own);
      block = id3v1_write_changes(found.id3v1_blocks.front(), own, changes);
    } else {
      block = id3v1_render_block(info);
    }
    // Lyrics stand only before a block, so one that carries them stays.
    if (drop_emptied && !found.has_lyrics3v2) {
      track_info_impl left;
      id3v1_parse_block(block->data(), left);
      if (left.field_count() == 0) block.reset();
    }
  }
  std::vector<std::uint8_t> apev2_tag;
  std::optional<std::vector<std::uint8_t>> apev2_for_rewrite;
  if (kinds & tag_service::write_apev2) {
    apev2::item_list items = std::move(found.apev2_items);
    if (found.has_apev2) {
      track_info_impl own;
      apev2::read_into_track_info(items, found.apev2_version, own);
      changes.apply_to(own);
      apev2::write_changes(items, own, changes);
    } else {
      apev2::write_from_track_info(items, info);
    }
    if (!drop_emptied || !items.empty() || block) {
      const bool always = header == apev2_header::always;
      const bool with_header = always || !found.has_apev2 || found.apev2_has_header;
      apev2_tag = with_header ? apev2::render_tag(items, true) : apev2::render_tag_without_header(items);
      // A tag already laid out so (as a whole-file write left it) is not
      // rendered twice: an empty layout for a rewrite means the same one.
      if (for_rewrite != nullptr && (with_header != always || !apev2::laid_out_for_later_edits(items)))
        apev2_for_rewrite = apev2::render_tag_for_later_edits(items, always);
    }
  }
  const trailing_layout layout = trailing_layout::kept_around(found, block);
  if (apev2_for_rewrite) *for_rewrite = layout.with_apev2(*apev2_for_rewrite);
  return layout.with_apev2(apev2_tag);
}

void write_trailing_tags(vantrel_io::file_ptr& file, retag_temp_source& rewrite, const track_info& info, unsigned kinds,
                         const abort_signal& abort, trailing_tags* known) {
  trailing_tags found = known != nullptr ? std::move(*known) : find_trailing_tags(*file, true, abort);
  track_info_impl as_read;
  if (found.has_apev2 || !found.id3v1_blocks.empty()) trailing_tags_to_info(found, as_read);
  const tag_changes changes = tag_changes::between(as_read, info);
  tag_region_update update;
  update.trailing_start = found.start;
  update.trailing =
      render_trailing_tags(found, info, changes, kinds, emptied_tags::written, &update.trailing_for_rewrite);
  // An edit that changes no value writes nothing, whatever the kinds; it is
  // still refused where any edit would be (a damaged tag may hold the very
  // fields it names).
  if (changes.empty()) return;
  apply_tag_region_update(file, rewrite, update, abort);
}

trailing_tags find_trailing_tags(vantrel_io::file_object& file, bool read_contents, const abort_signal& abort) {
  const std::uint64_t size = file.get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  bool complete = false;
  if (size > tail_window) {
    const std::vector<std::uint8_t> bytes = read_range(file, size - tail_window, tail_window, abort);
    if (!tags_reach_past(bytes)) {
      vantrel_io::file_ptr tail = vantrel_io::make_memory_file();
      tail->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
      trailing_tags found = search(*tail, tail_window, read_contents, complete, abort);
      if (complete) {
        found.start += size - tail_window;
        return found;
      }
    }
  }
  return search(file, size, read_contents, complete, abort);
}

#include "metadata/tags/tag_services.h"

#include <cstring>
#include <string>

#include "core/service_registry.h"
#include "core/tag_service.h"
#include "io/file_copy.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/memory_file.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/tagtype.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/tags/trailing_tags_not_replaceable.h"
#include "metadata/track_info.h"

namespace tag_services {

namespace {

void take_into(track_info& out, const track_info& source) {
  out.copy_fields_from(source);
  out.set_replaygain(replaygain_merge(out.get_replaygain(), source.get_replaygain()));
  const std::string tagtype = tagtype_of(source);
  if (!tagtype.empty()) out.set_tech("tagtype", track_info::until_nul, tagtype.c_str(), tagtype.size());
}

void merge_trailing_into(track_info& out, const track_info& trailing) {
  // Readers fill the leading tag's gaps from the tags at the end (mutagen
  // from the ID3v1 block, TagLib from the APEv2 tag, then the block): a
  // field shown so is one an edit or a removal reaches in every tag.
  out.add_fields_not_held(trailing);
  out.set_replaygain(replaygain_merge(out.get_replaygain(), trailing.get_replaygain()));
  const std::string theirs = tagtype_of(trailing);
  if (theirs.empty()) return;
  const std::string ours = tagtype_of(out);
  const std::string joined = ours.empty() ? theirs : ours + "|" + theirs;
  out.set_tech("tagtype", track_info::until_nul, joined.c_str(), joined.size());
}

// The info a reading gives from the tags found: the leading tag's fields
// when there are any, with each field it lacks from the trailing tags; else
// the trailing tags'; ReplayGain values the leading tag lacks come from the
// trailing tags.
void combine(const track_info* leading, const track_info* trailing, track_info& out) {
  if (leading == nullptr && trailing == nullptr) throw exception_tag_not_found();
  if (leading == nullptr) {
    take_into(out, *trailing);
    return;
  }
  take_into(out, *leading);
  if (trailing != nullptr) merge_trailing_into(out, *trailing);
}

// The fields as a read that turns pictures away gives them.
void leading_tag_to_info(const id3parser::tag& tag, track_info& out) {
  id3parser::tag fields_only;
  fields_only.version = tag.version;
  for (const id3parser::frame& f : tag.frames)
    if (f.id != id3parser::frame_id("APIC")) fields_only.frames.push_back(f);
  id3v2_tag_to_info(fields_only, out);
}

// Reads the leading tags whole for a writer; false when they are damaged,
// pictures included, and the reader's own road must judge them.
bool read_leading_for_writer(vantrel_io::file_object& file, track_info& out, bool& has_leading,
                             std::optional<id3v2_leading_tags>& kept, const abort_signal& abort) {
  kept.emplace();
  try {
    id3v2_read_leading_tags(file, *kept, abort);
  } catch (const id3parser::parseError&) {
    kept.reset();
    return false;
  } catch (const vantrel_io::exception_io_data&) {
    kept.reset();
    return false;
  }
  has_leading = kept->length > 0;
  if (has_leading) leading_tag_to_info(kept->tag, out);
  return true;
}

// The leading tag's fields through the reader's own road, which steps over
// a damaged picture; false when it finds no readable tag.
bool read_leading_fields(vantrel_io::file_object& file, track_info& out, const abort_signal& abort) {
  try {
    service_lookup_unique_t<id3v2_tag_service>()->read(file, out, abort);
    return true;
  } catch (const vantrel_io::exception_io_data&) {
  } catch (const id3parser::parseError&) {
    // A damaged leading tag must not hide the trailing tags or the audio;
    // writing still refuses to overwrite it.
  }
  return false;
}

// An edit that changes no value leaves every tag as it stands, whatever
// kinds it asks for: `update`, checked and made as for any edit, gets the
// bytes the file holds back.
void keep_tags_as_they_stand(vantrel_io::file_object& file, const id3v2_leading_tags* leading,
                             tag_region_update& update, const abort_signal& abort) {
  update.leading = leading != nullptr ? leading->bytes : vantrel_io::read_range(file, 0, update.leading_length, abort);
  update.leading_for_rewrite.clear();
  update.trailing_for_rewrite.clear();
  const std::uint64_t size = file.get_size(abort);
  if (size == vantrel_io::filesize_unknown || size < update.trailing_start) vantrel_io::throw_io_data();
  update.trailing = vantrel_io::read_range(file, update.trailing_start, size - update.trailing_start, abort);
}

}  // namespace

void read(vantrel_io::file_object& file, track_info& out, const abort_signal& abort,
          std::optional<id3v2_leading_tags>* leading_kept, std::optional<trailing_tags>* trailing_kept) {
  track_info_impl leading;
  bool has_leading = false;
  if (leading_kept == nullptr || !read_leading_for_writer(file, leading, has_leading, *leading_kept, abort))
    has_leading = read_leading_fields(file, leading, abort);
  track_info_impl trailing;
  bool has_trailing = false;
  try {
    if (trailing_kept != nullptr) {
      trailing_kept->reset();
      trailing_tags found = find_trailing_tags(file, true, abort);
      trailing_tags_to_info(trailing_kept->emplace(std::move(found)), trailing);
    } else {
      service_lookup_unique_t<tag_service>()->read(file, trailing, abort);
    }
    has_trailing = true;
  } catch (const vantrel_io::exception_io_data&) {
  }
  combine(has_leading ? &leading : nullptr, has_trailing ? &trailing : nullptr, out);
}

tag_region_update prepare_write(vantrel_io::file_object& file, unsigned kinds, const track_info& info,
                                const abort_signal& abort, std::uint64_t audio_start, id3v2_leading_tags* known,
                                trailing_tags* known_trailing, reading shown) {
  if (!file.can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  // Both ends are made in memory before the file changes: a damaged tag at
  // either end refuses the write before anything is written.
  std::optional<id3v2_leading_tags> read_now;
  id3v2_leading_tags* leading = known;
  if (leading == nullptr) {
    try {
      id3v2_read_leading_tags(file, read_now.emplace(), abort);
      leading = &*read_now;
    } catch (const id3parser::parseError&) {
      // A damaged leading tag is never written over, only removed.
      if (kinds & kind_id3v2) throw;
    } catch (const vantrel_io::exception_io_data&) {
      if (kinds & kind_id3v2) throw;
    }
  }
  const bool has_leading = leading != nullptr && leading->length > 0;
  trailing_tags found = known_trailing != nullptr ? std::move(*known_trailing) : find_trailing_tags(file, true, abort);

  // The info as the format's reading gives it from these tags: each tag
  // already there gets only what changed from it to `info`.
  track_info_impl leading_fields;
  if (has_leading) leading_tag_to_info(leading->tag, leading_fields);
  bool leading_shown = false;
  if (shown == reading::leading_then_trailing)
    leading_shown = leading != nullptr ? has_leading : read_leading_fields(file, leading_fields, abort);
  track_info_impl trailing_fields;
  const bool has_trailing = found.has_apev2 || !found.id3v1_blocks.empty();
  if (has_trailing) trailing_tags_to_info(found, trailing_fields);
  // The leading tag's fields alone are compared where they stand: a copy of
  // a tag of many values would cost their memory once more.
  const bool leading_alone = leading_shown && !has_trailing;
  track_info_impl as_read;
  if (!leading_alone && (leading_shown || has_trailing))
    combine(leading_shown ? &leading_fields : nullptr, has_trailing ? &trailing_fields : nullptr, as_read);
  const tag_changes changes = tag_changes::between(leading_alone ? leading_fields : as_read, info);
  as_read.remove_all_fields();

  tag_region_update update;
  if ((kinds & kind_id3v2) && has_leading) {
    // Not needed past here: changed where it stands.
    track_info_impl& own = leading_fields;
    changes.apply_to(own);
    update.leading_length = leading->length;
    // An edit of no value keeps the tag as it stands (below), even one that
    // could not be rendered anew.
    const bool emptied = (kinds & emptied_tags_removed) && id3v2_tag_for_info(leading->tag, own).frames.empty();
    if (!changes.empty() && !emptied) {
      id3v2_rendered_tag rendered = id3v2_render(std::move(leading->tag), leading->length, own);
      update.leading = std::move(rendered.bytes);
      update.leading_for_rewrite = std::move(rendered.for_rewrite);
    }
    // Only a caller's copy outlives this call.
    if (leading == known) update.old_leading = &known->bytes;
  } else if (kinds & kind_id3v2) {
    update.leading = id3v2_render(id3parser::tag(), 0, info).bytes;
  } else if (leading != nullptr) {
    update.leading_length = leading->length;
  } else {
    file.seek(0, abort);
    id3v2_count_leading_tags(file, update.leading_length, abort);
  }
  // Trailing tags that would reach back into the leading tags or over the
  // first audio frame are damage, not tags: replacing them would cut audio.
  if (found.start < update.leading_length || found.start < audio_start)
    throw exception_trailing_tags_not_replaceable(exception_trailing_tags_not_replaceable::reason::damaged);
  unsigned trailing_kinds = 0;
  if (kinds & kind_apev2) trailing_kinds |= tag_service::write_apev2;
  if (kinds & kind_id3v1) trailing_kinds |= tag_service::write_id3v1;
  update.trailing_start = found.start;
  update.trailing = render_trailing_tags(found, info, changes, trailing_kinds,
                                         (kinds & emptied_tags_removed) ? emptied_tags::removed : emptied_tags::written,
                                         &update.trailing_for_rewrite,
                                         (kinds & apev2_header_always) ? apev2_header::always : apev2_header::as_found);
  if (changes.empty()) keep_tags_as_they_stand(file, leading, update, abort);
  return update;
}

void write(vantrel_io::file_ptr& file, retag_temp_source& rewrite, unsigned kinds, const track_info& info,
           const abort_signal& abort, std::uint64_t audio_start, id3v2_leading_tags* leading,
           trailing_tags* trailing) {
  tag_region_update update = prepare_write(*file, kinds, info, abort, audio_start, leading, trailing);
  apply_tag_region_update(file, rewrite, update, abort);
}

vantrel_io::file_ptr tags_after_update(const tag_region_update& update) {
  // The zeros stand for the audio between the tags: no tag ends in them, so
  // the search for trailing tags stops where it stops in the file, and no
  // second leading tag begins in them.
  constexpr std::size_t between = 128;
  vantrel_io::file_ptr tags = vantrel_io::make_memory_file();
  const abort_signal& never = never_raised_abort_signal();
  const std::vector<std::uint8_t> zeros(between);
  for (const std::vector<std::uint8_t>* bytes : {&update.leading, &zeros, &update.trailing})
    if (!bytes->empty()) tags->write(bytes->data(), static_cast<std::uint32_t>(bytes->size()), never);
  tags->seek(0, never);
  return tags;
}

void remove_trailing(vantrel_io::file_object& file, const abort_signal& abort) {
  service_lookup_unique_t<tag_service>()->remove(file, abort);
}

void read_trailing(vantrel_io::file_object& file, track_info& out, const abort_signal& abort) {
  service_lookup_unique_t<tag_service>()->read(file, out, abort);
}

}  // namespace tag_services

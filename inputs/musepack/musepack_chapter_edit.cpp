#include "inputs/musepack/musepack_chapter_edit.h"

#include <map>
#include <string>
#include <vector>

#include "foundation/work_steps.h"
#include "inputs/musepack/musepack_chapter_value_not_stored.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_packets.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/tag_field_map.h"

namespace musepack {

namespace {

// The places of one chapter: its tag's own fields and its packet's gain and peak.
struct chapter_places {
  apev2::item_list items;
  bool readable = true;
  track_info_impl tag;
  track_info_impl tag_after;
  std::uint16_t gain = 0;
  std::uint16_t peak = 0;
  std::vector<std::string> changed_names;  // those its tag takes the change of
};

bool info_holds_field(const track_info& info, const std::string& name) {
  if (const replaygain_field* gain = replaygain_find_field(name.c_str())) {
    std::string text;
    return replaygain_format_field(text, info.get_replaygain(), *gain);
  }
  return info.find_field(name.c_str()) != track_info::not_found;
}

// The packet's 16-bit value that stands for `name`; null for every other name.
std::uint16_t* packet_value(chapter_places& places, const std::string& name) {
  const replaygain_field* gain = replaygain_find_field(name.c_str());
  if (gain == nullptr) return nullptr;
  if (gain->value == &replaygain_info::track_gain) return &places.gain;
  if (gain->value == &replaygain_info::track_peak) return &places.peak;
  return nullptr;
}

void set_packet_value(chapter_places& places, const std::string& name, const track_info& edited) {
  const replaygain_info gain = edited.get_replaygain();
  if (std::uint16_t* value = packet_value(places, name))
    *value = value == &places.gain ? gain_to_header(gain.track_gain) : peak_to_header(gain.track_peak);
}

// Notes a change for the chapter's tag; all are made at once when every
// name is placed.
void change_tag(chapter_places& places, const std::string& name) {
  // Rewriting a tag that cannot be read would lose what it holds.
  if (!places.readable) vantrel_io::throw_io_data();
  places.changed_names.push_back(name);
}

bool made_alike_everywhere(const std::vector<tag_changes>& changes, const std::string& name) {
  const auto first = changes.front().all().find(name);
  if (first == changes.front().all().end()) return false;
  for (const tag_changes& own : changes) {
    const auto found = own.all().find(name);
    if (found == own.all().end() || found->second != first->second) return false;
  }
  return true;
}

// Throws unless every change of `changes` reads back from `reads` as made.
// Gains the packet stores in 16 bits read back rounded: there only whether
// they are present counts.
void check_reads_back(const track_info& reads, const tag_changes& changes, chapter_places& places,
                      std::uint32_t chapter) {
  tag_field_map got;
  fields_from_info(reads, got);
  for (const auto& [name, values] : changes.all()) {
    const tag_field_map::values* now = got.find(name);
    const tag_field_map::values have = now != nullptr ? *now : tag_field_map::values();
    const std::uint16_t* in_packet = packet_value(places, name);
    const bool stored = in_packet != nullptr && *in_packet != 0 ? have.empty() == values.empty() : have == values;
    if (!stored) throw exception_chapter_value_not_stored(name.c_str(), chapter);
  }
}

}  // namespace

void overlay_chapter(track_info& out, std::uint16_t gain, std::uint16_t peak, const apev2::item_list& items) {
  replaygain_info merged = out.get_replaygain();
  if (gain != 0) merged.track_gain = gain_from_header(gain);
  if (peak != 0) merged.track_peak = peak_from_header(peak);
  out.set_replaygain(merged);
  if (items.empty()) return;
  track_info_impl chapter_tags;
  apev2::read_into_track_info(items, apev2::version_2, chapter_tags);
  // The chapter's fields replace those of the same name; the others stay.
  qiv::bit_array replaced(out.field_count());
  for (std::uint32_t i = 0; i < out.field_count(); ++i)
    replaced.set(i, chapter_tags.find_field(out.field_name(i)) != track_info::not_found);
  out.remove_fields(replaced);
  for (std::uint32_t i = 0; i < chapter_tags.field_count(); ++i)
    track_info::copy_field_values_from(out, chapter_tags, i);
  out.set_replaygain(replaygain_merge(chapter_tags.get_replaygain(), out.get_replaygain()));
}

chapter_rewrites plan_chapter_edit(const std::vector<chapter_packet>& chapters,
                                   const std::vector<track_info_impl>& shown,
                                   const std::vector<track_info_impl>& edited, track_info& file_info) {
  const std::size_t count = chapters.size();
  if (count == 0 || shown.size() != count || edited.size() != count) vantrel_io::throw_io_data();
  std::vector<tag_changes> changes;
  // The chapters changing each name: a name one chapter changes costs that
  // chapter alone, not every chapter of the file.
  std::map<std::string, std::vector<std::size_t>, field_name_less> changed_in;
  std::vector<chapter_places> places(count);
  for (std::size_t i = 0; i < count; ++i) {
    changes.push_back(tag_changes::between(shown[i], edited[i]));
    for (const auto& entry : changes.back().all()) changed_in[entry.first].push_back(i);
    chapter_places& own = places[i];
    own.readable = chapters[i].read_items(own.items);
    apev2::read_into_track_info(own.items, apev2::version_2, own.tag);
    own.tag_after = own.tag;
    own.gain = chapters[i].gain;
    own.peak = chapters[i].peak;
  }

  std::vector<std::string> file_changes;
  for (const auto& [name, changing] : changed_in) {
    // Made alike, the change is every chapter's.
    const bool alike = changing.size() == count && made_alike_everywhere(changes, name);
    bool every_chapter_holds = true;
    for (const std::size_t i : changing) {
      qiv::count_work_steps(1);
      chapter_places& own = places[i];
      const bool in_tag = info_holds_field(own.tag, name);
      const std::uint16_t* in_packet = packet_value(own, name);
      const bool held = in_tag || (in_packet != nullptr && *in_packet != 0);
      every_chapter_holds = every_chapter_holds && held;
      if (in_tag) change_tag(own, name);
      if (held && in_packet != nullptr && *in_packet != 0) set_packet_value(own, name, edited[i]);
      if (held || alike) continue;
      // Nothing of this chapter holds it: its own place takes it.
      if (in_packet != nullptr) {
        set_packet_value(own, name, edited[i]);
      } else {
        change_tag(own, name);
      }
    }
    if (alike && (info_holds_field(file_info, name) || !every_chapter_holds)) file_changes.push_back(name);
  }
  for (std::size_t i = 0; i < count; ++i) changes[i].apply_to(places[i].tag_after, places[i].changed_names);
  changes.front().apply_to(file_info, file_changes);

  chapter_rewrites rewrites(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (changes[i].empty()) continue;
    chapter_places& own = places[i];
    const tag_changes tag_edit = tag_changes::between(own.tag, own.tag_after);
    if (!tag_edit.empty()) apev2::write_changes(own.items, own.tag_after, tag_edit);
    track_info_impl reads(file_info);
    overlay_chapter(reads, own.gain, own.peak, own.items);
    check_reads_back(reads, changes[i], own, static_cast<std::uint32_t>(i + 1));
    if (tag_edit.empty() && own.gain == chapters[i].gain && own.peak == chapters[i].peak) continue;
    rewrites[i] = packet_bytes("CT", chapter_payload(chapters[i], own.gain, own.peak,
                                                     tag_edit.empty() ? nullptr : &own.items));
  }
  return rewrites;
}

}  // namespace musepack

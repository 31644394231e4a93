#include "inputs/matroska/matroska_tags.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <unordered_set>

#include "foundation/byte_compare.h"
#include "foundation/work_steps.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_chapter_value_misread.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_text.h"

namespace Matroska {

namespace {

namespace tag_ids {
// In the reader's form: the standard ID without its length-marker bit.
constexpr std::uint32_t tag = 0x3373;
constexpr std::uint32_t targets = 0x23C0;
constexpr std::uint32_t target_type_value = 0x28CA;
constexpr std::uint32_t target_type = 0x23CA;
constexpr std::uint32_t chapter_uid = 0x23C4;
constexpr std::uint32_t track_uid = 0x23C5;
constexpr std::uint32_t edition_uid = 0x23C9;
constexpr std::uint32_t attachment_uid = 0x23C6;
constexpr std::uint32_t simple_tag = 0x27C8;
constexpr std::uint32_t tag_name = 0x05A3;
constexpr std::uint32_t tag_string = 0x0487;
constexpr std::uint32_t tag_language = 0x047A;
constexpr std::uint32_t tag_default = 0x0484;
constexpr std::uint32_t tag_language_bcp47 = 0x047B;
constexpr std::uint32_t tag_default_bogus = 0x04B4;
}  // namespace tag_ids

struct mapping_row {
  const char* field;
  const char* tag_name;
  std::uint64_t level;
};

constexpr mapping_row mapping[] = {
    {"album", "TITLE", 50},
    {"title", "TITLE", 30},
    {"artist", "ARTIST", 30},
    {"album artist", "ARTIST", 50},
    {"tracknumber", "PART_NUMBER", 30},
    {"totaltracks", "TOTAL_PARTS", 50},
    {"discnumber", "PART_NUMBER", 50},
    {"totaldiscs", "TOTAL_PARTS", 60},
    {"date", "DATE_RECORDED", 50},
    {"release date", "DATE_RELEASED", 50},
    {"replaygain_track_gain", "REPLAYGAIN_GAIN", 30},
    {"replaygain_track_peak", "REPLAYGAIN_PEAK", 30},
    {"replaygain_album_gain", "REPLAYGAIN_GAIN", 50},
    {"replaygain_album_peak", "REPLAYGAIN_PEAK", 50},
};

bool same_name(const std::string& a, const char* b) { return qiv::stricmp_ascii(a.c_str(), b) == 0; }

// TagNames read as another field at the track's level than at the album's.
bool level_mapped(const std::string& tag_name) {
  for (const char* name : {"TITLE", "ARTIST", "PART_NUMBER", "TOTAL_PARTS", "REPLAYGAIN_GAIN", "REPLAYGAIN_PEAK"})
    if (same_name(tag_name, name)) return true;
  return false;
}

// The levels whose values of the level-mapped TagNames (a collection's
// title, a box set's, a side's, a movement's) are fields of their own, under
// the first TargetType the format names for the level: read as the track's
// or the album's they would be a second value there, which an edit of that
// would replace. A new value of such a field is written at the level given
// here.
struct level_band {
  const char* name;
  std::uint64_t level;
};
constexpr level_band other_levels[] = {
    {"COLLECTION", 70}, {"EDITION", 60}, {"PART", 40}, {"SUBTRACK", 20}, {"SHOT", 10}};

// The band of a level-mapped TagName read at `level`; null where it reads
// as the track's or the album's field.
const level_band* other_level(const std::string& tag_name, std::uint64_t level) {
  if (!level_mapped(tag_name)) return nullptr;
  if (level > matroska_level_discs) return &other_levels[0];
  // The count of a set's discs is the album's total of discs.
  if (level == matroska_level_discs) return same_name(tag_name, "TOTAL_PARTS") ? nullptr : &other_levels[1];
  if (level >= matroska_level_album || level == matroska_level_track) return nullptr;
  if (level > matroska_level_track) return &other_levels[2];
  return level > other_levels[4].level ? &other_levels[3] : &other_levels[4];
}

// The level a TargetType names (mkvmerge leaves out the default 50 beside
// "ALBUM"); 0 for a name the format does not give.
std::uint64_t named_level(const std::string& target_type) {
  struct named_level {
    const char* name;
    std::uint64_t level;
  };
  // The TargetTypes the format names for each level.
  static constexpr named_level named[] = {
      {"COLLECTION", 70}, {"EDITION", 60},  {"ISSUE", 60},   {"VOLUME", 60},   {"OPUS", 60},     {"SEASON", 60},
      {"SEQUEL", 60},     {"ALBUM", 50},    {"OPERA", 50},   {"CONCERT", 50},  {"MOVIE", 50},    {"EPISODE", 50},
      {"PART", 40},       {"SESSION", 40},  {"TRACK", 30},   {"SONG", 30},     {"CHAPTER", 30},  {"SUBTRACK", 20},
      {"MOVEMENT", 20},   {"SCENE", 20},    {"SHOT", 10},
  };
  for (const named_level& one : named)
    if (same_name(target_type, one.name)) return one.level;
  return 0;
}

struct targets_record {
  matroska_tag_targets uids;
  std::uint64_t level = 0;
  bool level_read = false;
  std::string target_type;
  bool chapter_zero = false;
};

class targets_handler : public ebml_element_handler {
public:
  explicit targets_handler(targets_record& record) : record_(record) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case tag_ids::target_type_value:
        record_.level = ebml_read_uint(reader, size);
        record_.level_read = true;
        break;
      case tag_ids::target_type:
        record_.target_type = ebml_read_ascii(reader, size);
        break;
      case tag_ids::chapter_uid: {
        const std::uint64_t uid = ebml_read_uint(reader, size);
        if (uid == 0) record_.chapter_zero = true;
        else record_.uids.chapters.insert(uid);
        break;
      }
      case tag_ids::edition_uid:
        record_.uids.editions.insert(ebml_read_uint(reader, size));
        break;
      case tag_ids::track_uid:
        record_.uids.tracks.insert(ebml_read_uint(reader, size));
        break;
      case tag_ids::attachment_uid:
        record_.uids.attachments.insert(ebml_read_uint(reader, size));
        break;
    }
  }

private:
  targets_record& record_;
};

struct simple_tag_record {
  std::string name;
  std::string value;
  bool has_value = false;
  std::uint64_t position = 0;
  // Its language (a TagLanguageBCP47 over a TagLanguage, "und" without
  // either) and whatever else it holds besides its name, value and default
  // flag (nested SimpleTags, a TagBinary), as they stand: what tells it from
  // another of that name and value.
  std::string language = "und";
  bool language_bcp47 = false;
  std::string others;
};

// `compared`: the SimpleTag may be compared with those of another Tags
// element (see drop_values_held_before), and what tells it from another of
// its name and value is read; where one element is read, nothing is.
class simple_tag_handler : public ebml_element_handler {
public:
  simple_tag_handler(simple_tag_record& record, bool compared) : record_(record), compared_(compared) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == tag_ids::tag_name) {
      record_.name = ebml_read_utf8(reader, size);
    } else if (id == tag_ids::tag_string) {
      if (record_.has_value) vantrel_io::throw_io_data();
      record_.value = ebml_read_utf8(reader, size);
      record_.has_value = true;
    } else if (!compared_) {
      return;
    } else if (id == tag_ids::tag_language) {
      if (!record_.language_bcp47) record_.language = as_text(reader, size);
    } else if (id == tag_ids::tag_language_bcp47) {
      record_.language = as_text(reader, size);
      record_.language_bcp47 = true;
    } else if (id != tag_ids::tag_default && id != tag_ids::tag_default_bogus) {
      record_.others += std::to_string(id) + ":" + std::to_string(size) + ":";
      // A large one is told by where it stands: it is never taken for another.
      if (size > compared_size) record_.others += std::to_string(record_.position);
      else record_.others += as_text(reader, size);
    }
  }

private:
  static constexpr std::uint64_t compared_size = 1 << 20;
  // The bytes as they stand, read straight into the text: a language code
  // beside every value needs no buffer of its own.
  static std::string as_text(ebml_reader& reader, std::uint64_t size) {
    if (size > ebml_max_binary_size) vantrel_io::throw_io_data();
    reader.check_available(size);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size) reader.read(text.data(), static_cast<std::uint32_t>(size));
    return text;
  }
  simple_tag_record& record_;
  bool compared_;
};

// One Tag as read; its level is settled once every Tag is read.
struct read_tag {
  targets_record targets;
  std::uint64_t targets_position = matroska_unset;
  std::vector<simple_tag_record> simple_tags;
  bool whole_file() const { return targets.uids.whole_file() || targets.chapter_zero; }
};

class tag_handler : public ebml_element_handler {
public:
  tag_handler(std::vector<read_tag>& tags, bool compared) : tags_(tags), compared_(compared) {}
  void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
    if (id == tag_ids::targets) {
      if (tag_.targets_position != matroska_unset) vantrel_io::throw_io_data();
      tag_.targets_position = element_start;
      targets_handler handler(tag_.targets);
      ebml_read_children(reader, handler);
    } else if (id == tag_ids::simple_tag) {
      simple_tag_record record;
      record.position = element_start;
      simple_tag_handler handler(record, compared_);
      ebml_read_children(reader, handler);
      tag_.simple_tags.push_back(std::move(record));
    }
  }
  void on_end() override { tags_.push_back(std::move(tag_)); }

private:
  std::vector<read_tag>& tags_;
  bool compared_;
  read_tag tag_;
};

// A Tag that repeats an earlier one byte for byte (a second Tags element
// copied from the first) says nothing new: taken in, it would show each of
// its values twice and a rewrite would store them twice.
class tags_handler : public ebml_element_handler {
public:
  tags_handler(std::vector<read_tag>& tags, std::set<std::string>& contents_seen, bool compared)
      : tags_(tags), contents_seen_(contents_seen), compared_(compared) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id != tag_ids::tag) return;
    // Copies are text; a Tag that carries a large binary is kept as it is.
    if (size <= max_compared_size) {
      const std::uint64_t content = reader.position();
      std::string bytes(static_cast<std::size_t>(size), '\0');
      reader.read(bytes.data(), static_cast<std::uint32_t>(size));
      if (!contents_seen_.insert(std::move(bytes)).second) return;
      reader.seek(content);
    }
    tag_handler handler(tags_, compared_);
    ebml_read_children(reader, handler);
  }

private:
  static constexpr std::uint64_t max_compared_size = 1 << 20;
  std::vector<read_tag>& tags_;
  std::set<std::string>& contents_seen_;
  bool compared_;
};

// The TagNames with a value in Tags that say the track's level, by the UIDs
// those Tags are aimed at (the whole file's left out).
using names_by_targets = std::map<matroska_tag_targets, std::set<std::string, ascii_nocase_less>>;

names_by_targets track_level_names(const std::vector<read_tag>& tags) {
  names_by_targets names;
  for (const read_tag& tag : tags) {
    if (tag.whole_file() || !tag.targets.level_read || tag.targets.level != matroska_level_track) continue;
    auto& held = names[tag.targets.uids];
    for (const simple_tag_record& simple : tag.simple_tags)
      if (simple.has_value) held.insert(simple.name);
  }
  return names;
}

// The level of a Tag: its TargetTypeValue, else the level its TargetType
// names, else the format's default 50 for the whole file. A Tag aimed at
// UIDs with neither is the track's own level, as ffmpeg means the stream
// tags it writes so; but beside a Tag aimed at the same UIDs that says the
// track's level and shares a TagName with it, it is the default 50: writers
// that say levels (mkvmerge, mkvpropedit) leave out only that one, and read
// at the track's level it would be a second value of the same name there.
std::uint64_t tag_level(const read_tag& tag, const names_by_targets& track_level) {
  if (tag.targets.level_read) return tag.targets.level;
  if (const std::uint64_t named = named_level(tag.targets.target_type)) return named;
  if (tag.whole_file()) return matroska_level_album;
  const auto beside = track_level.find(tag.targets.uids);
  if (beside == track_level.end()) return matroska_level_track;
  for (const simple_tag_record& simple : tag.simple_tags)
    if (simple.has_value && beside->second.count(simple.name)) return matroska_level_album;
  return matroska_level_track;
}

// A value as it stands in its Tag, compared in place (no copy of each
// SimpleTag): what makes two values one is their target, level, name,
// language and value, and whatever else their SimpleTags hold.
struct held_value {
  const read_tag* tag;
  std::uint64_t level;
  std::size_t tag_hash;  // of the target and level, made once per Tag
  const simple_tag_record* simple;
};

const matroska_tag_targets& aimed_at(const read_tag& tag) {
  static const matroska_tag_targets whole_file;
  return tag.whole_file() ? whole_file : tag.targets.uids;
}

void mix_hash(std::size_t& hash, std::size_t more) { hash ^= more + 0x9E3779B9u + (hash << 6) + (hash >> 2); }

std::size_t target_level_hash(const read_tag& tag, std::uint64_t level) {
  std::size_t hash = std::hash<std::uint64_t>{}(level);
  const matroska_tag_targets& targets = aimed_at(tag);
  for (const std::set<std::uint64_t>* uids :
       {&targets.chapters, &targets.editions, &targets.tracks, &targets.attachments}) {
    mix_hash(hash, uids->size());
    for (std::uint64_t uid : *uids) mix_hash(hash, std::hash<std::uint64_t>{}(uid));
  }
  return hash;
}

struct held_value_hash {
  std::size_t operator()(const held_value& held) const {
    const simple_tag_record& simple = *held.simple;
    std::size_t hash = held.tag_hash;
    for (const std::string* text : {&simple.name, &simple.language, &simple.value, &simple.others})
      mix_hash(hash, std::hash<std::string>{}(*text));
    mix_hash(hash, simple.has_value);
    return hash;
  }
};

struct same_held_value {
  bool operator()(const held_value& a, const held_value& b) const {
    const simple_tag_record& x = *a.simple;
    const simple_tag_record& y = *b.simple;
    return a.level == b.level && x.has_value == y.has_value && x.value == y.value && x.name == y.name &&
           x.language == y.language && x.others == y.others && aimed_at(*a.tag) == aimed_at(*b.tag);
  }
};

// Leaves out of each Tags element (its Tags start at an index of
// `element_starts`) the values an earlier element holds: another program's
// element that repeats values of the file's own is merged into it, and
// merging must show and store each value once.
void drop_values_held_before(std::vector<read_tag>& tags, const std::vector<std::size_t>& element_starts) {
  if (element_starts.size() < 2) return;
  const names_by_targets track_level = track_level_names(tags);
  std::unordered_set<held_value, held_value_hash, same_held_value> held_before;
  // Each Tag's SimpleTags are final once its own were left out, so the
  // values held refer to them where they stand.
  std::vector<held_value> held_here;
  std::size_t next_element = 0;
  for (std::size_t index = 0; index < tags.size(); ++index) {
    for (; next_element < element_starts.size() && element_starts[next_element] <= index; ++next_element) {
      held_before.insert(held_here.begin(), held_here.end());
      held_here.clear();
    }
    const read_tag& tag = tags[index];
    const std::uint64_t level = tag_level(tag, track_level);
    const std::size_t tag_hash = target_level_hash(tag, level);
    std::vector<simple_tag_record>& simples = tags[index].simple_tags;
    qiv::count_work_steps(simples.size());
    if (!held_before.empty())
      std::erase_if(simples, [&](const simple_tag_record& simple) {
        return held_before.count(held_value{&tag, level, tag_hash, &simple}) != 0;
      });
    for (const simple_tag_record& simple : simples) held_here.push_back(held_value{&tag, level, tag_hash, &simple});
  }
}

// Files the Tags read into the collection's groups, each SimpleTag under
// the field its TagName reads as at its Tag's level.
void gather(matroska_tag_collection& collection, const std::vector<read_tag>& tags) {
  const names_by_targets track_level = track_level_names(tags);
  for (const read_tag& tag : tags) {
    const bool whole = tag.whole_file();
    const std::uint64_t level = tag_level(tag, track_level);
    matroska_tag_group& group = whole ? collection.whole_file : collection.targeted[tag.targets.uids];
    if (!tag.targets.target_type.empty()) group.target_types.emplace(level, tag.targets.target_type);
    const std::size_t index = collection.tags.size();
    collection.tags.push_back(matroska_tag_source{
        whole ? matroska_tag_targets{} : tag.targets.uids, level, tag.targets.level_read, tag.targets_position,
        !whole && !tag.targets.level_read && named_level(tag.targets.target_type) == 0});
    for (const simple_tag_record& simple : tag.simple_tags) {
      const std::string field =
          simple.has_value ? matroska_field_from_tag_name(simple.name, level) : matroska_reserved_field;
      group.fields[field].push_back(
          matroska_tag_entry{simple.name, simple.value, level, simple.position, index, simple.position});
    }
  }
}

bool same_entries(const std::vector<matroska_tag_entry>& entries, const track_info& info, std::uint32_t field) {
  if (entries.size() != info.field_value_count(field)) return false;
  for (std::uint32_t i = 0; i < entries.size(); ++i)
    if (entries[i].value != info.field_value(field, i)) return false;
  return true;
}

// The groups one subsong's fields can be stored in, the first the one new
// fields go to: the whole file and the track that plays, or a chapter.
using tag_places = std::vector<matroska_tag_group*>;

// The field's values become `values`, stored where the field was found: each
// over the SimpleTag of the value it takes the place of, those beyond in the
// Tag of the last one under its TagName. A field new to the places goes to
// the first, under the TagName and level of `model` when given (the value it
// hides elsewhere), else under its mapped name.
void replace_field(const tag_places& places, const std::string& name, const std::vector<std::string>& values,
                   const matroska_tag_entry* model = nullptr) {
  matroska_tag_group* home = nullptr;
  std::vector<matroska_tag_entry> before;
  for (matroska_tag_group* group : places) {
    auto at = group->fields.find(name);
    if (at == group->fields.end() || at->second.empty()) continue;
    home = group;
    before = at->second;
    break;
  }
  matroska_tag_entry beyond;
  if (home) {
    beyond = before.back();
    beyond.source_position = matroska_unset;
  } else {
    home = places.front();
    if (model) {
      beyond.tag_name = model->tag_name;
      beyond.level = model->level;
    } else {
      matroska_tag_name_from_field(name, beyond.tag_name, beyond.level);
    }
  }
  for (matroska_tag_group* group : places) group->fields.erase(name);
  auto& entries = home->fields[name];
  for (std::size_t i = 0; i < values.size(); ++i) {
    entries.push_back(i < before.size() ? before[i] : beyond);
    if (entries.back().value == values[i]) continue;
    entries.back().value = values[i];
    entries.back().edited = true;
  }
}

struct replaygain_value {
  const char* field;
  float value;
  bool present;
  bool is_gain;
};

std::vector<replaygain_value> replaygain_values(const replaygain_info& gain) {
  return {
      {"replaygain_album_gain", gain.album_gain, replaygain_info::gain_present(gain.album_gain), true},
      {"replaygain_track_gain", gain.track_gain, replaygain_info::gain_present(gain.track_gain), true},
      {"replaygain_album_peak", gain.album_peak, replaygain_info::peak_present(gain.album_peak), false},
      {"replaygain_track_peak", gain.track_peak, replaygain_info::peak_present(gain.track_peak), false},
  };
}

bool is_replaygain_field(const std::string& name) {
  for (const replaygain_value& one : replaygain_values(replaygain_info{}))
    if (same_name(name, one.field)) return true;
  return false;
}

float replaygain_value_of(const replaygain_info& gain, const std::string& field) {
  if (same_name(field, "replaygain_album_gain")) return gain.album_gain;
  if (same_name(field, "replaygain_track_gain")) return gain.track_gain;
  if (same_name(field, "replaygain_album_peak")) return gain.album_peak;
  return gain.track_peak;
}

// Whether the first stored value of a ReplayGain field reads as `wanted`.
bool same_replaygain(const std::vector<matroska_tag_entry>& entries, const replaygain_value& wanted) {
  if (entries.empty()) return false;
  replaygain_info stored;
  stored.set_from_field(wanted.field, entries.front().value.c_str(), entries.front().value.size());
  return replaygain_value_of(stored, wanted.field) == wanted.value;
}

// One field an info changes against what was read: its new values, or none
// when it is removed.
struct field_change {
  std::string name;
  std::vector<std::string> values;
  bool removed = false;
  bool operator==(const field_change&) const = default;
};

// The fields of `info` that differ from those `shown` reads as, and those
// `shown` holds that the info no longer has. ReplayGain values compare as
// numbers, whatever text they were stored as.
std::vector<field_change> changes_between(const matroska_tag_group& shown, const track_info& info) {
  std::vector<field_change> changes;
  for (const auto& [name, entries] : shown.fields) {
    if (name == matroska_reserved_field || is_replaygain_field(name)) continue;
    if (info.find_field(name.c_str()) == track_info::not_found) changes.push_back({name, {}, true});
  }
  for (std::uint32_t field = 0; field < info.field_count(); ++field) {
    const std::string name = info.field_name(field);
    const auto found = shown.fields.find(name);
    if (name == matroska_reserved_field ||
        (found != shown.fields.end() && same_entries(found->second, info, field)))
      continue;
    field_change change{name, {}, false};
    for (std::uint32_t i = 0; i < info.field_value_count(field); ++i) change.values.emplace_back(info.field_value(field, i));
    changes.push_back(std::move(change));
  }
  for (const replaygain_value& one : replaygain_values(info.get_replaygain())) {
    const auto found = shown.fields.find(one.field);
    const bool stored = found != shown.fields.end() && !found->second.empty();
    if (!one.present) {
      if (stored) changes.push_back({one.field, {}, true});
      continue;
    }
    if (stored && same_replaygain(found->second, one)) continue;
    std::string text;
    if (one.is_gain ? replaygain_format_gain(text, one.value) : replaygain_format_peak(text, one.value))
      changes.push_back({one.field, {text}});
  }
  return changes;
}

// A changed value keeps the SimpleTag it was read from, a new one goes
// where the field was found, and a removed field goes from every place.
void apply_change(const tag_places& places, const field_change& change) {
  if (!change.removed) return replace_field(places, change.name, change.values);
  for (matroska_tag_group* group : places) group->fields.erase(change.name);
}

// Appends the fields (not the reserved one) of one group after another's.
void append_fields(matroska_tag_group& to, const matroska_tag_group& from) {
  for (const auto& [name, entries] : from.fields) {
    if (name == matroska_reserved_field) continue;
    auto& target = to.fields[name];
    target.insert(target.end(), entries.begin(), entries.end());
  }
}

void apply_info(const tag_places& places, const track_info& info) {
  matroska_tag_group shown;
  for (const matroska_tag_group* group : places) append_fields(shown, *group);
  for (const field_change& change : changes_between(shown, info)) apply_change(places, change);
}

matroska_tag_targets chapter_target(std::uint64_t uid) {
  matroska_tag_targets targets;
  targets.chapters.insert(uid);
  return targets;
}

void write_text_element(ebml_memory_writer& out, std::uint32_t id, const std::string& text) {
  ebml_write_vint(out, id);
  ebml_write_vint(out, text.size());
  if (!text.empty()) out.write(text.data(), static_cast<std::uint32_t>(text.size()));
}

void append_element(ebml_memory_writer& out, std::uint32_t id, const ebml_memory_writer& content) {
  ebml_write_vint(out, id);
  ebml_write_vint(out, content.size());
  if (content.size()) out.write(content.bytes().data(), content.size());
}

void copy_bytes(ebml_memory_writer& out, ebml_reader& reader, std::uint64_t from, std::uint64_t to) {
  if (to - from > 0xFFFFFFFFu) vantrel_io::throw_io_data();
  reader.seek(from);
  const std::vector<std::uint8_t> bytes = ebml_read_binary(reader, to - from);
  if (!bytes.empty()) out.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// Copies the content of the element at `position`, which has the ID `id`.
void copy_content(ebml_memory_writer& out, ebml_reader& reader, std::uint64_t position, std::uint32_t id) {
  reader.seek(position);
  if (ebml_read_id(reader) != id) vantrel_io::throw_io_data();
  const std::uint64_t size = ebml_read_size(reader);
  const std::uint64_t start = reader.position();
  copy_bytes(out, reader, start, start + size);
}

// The children of the SimpleTag at `position` with `value` for its
// TagString: its name, language, default flag and nested SimpleTags stay.
void copy_with_value(ebml_memory_writer& out, ebml_reader& reader, std::uint64_t position, const std::string& value) {
  struct child {
    std::uint32_t id;
    std::uint64_t start, end;
  };
  class children_handler : public ebml_element_handler {
  public:
    void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
      found.push_back(child{id, element_start, reader.position() + size});
    }
    std::vector<child> found;
  } handler;
  reader.seek(position);
  ebml_read_element(reader, handler, tag_ids::simple_tag);
  for (const child& one : handler.found) {
    if (one.id == tag_ids::tag_string) write_text_element(out, tag_ids::tag_string, value);
    else copy_bytes(out, reader, one.start, one.end);
  }
}

void write_simple_tag(ebml_memory_writer& out, const matroska_tag_entry& entry, ebml_reader& reader) {
  ebml_memory_writer content;
  if (entry.source_position == matroska_unset) {
    write_text_element(content, tag_ids::tag_name, entry.tag_name);
    write_text_element(content, tag_ids::tag_string, entry.value);
    write_text_element(content, tag_ids::tag_language, "und");
    ebml_write_uint_element(content, tag_ids::tag_default, 1);
  } else if (entry.edited) {
    copy_with_value(content, reader, entry.source_position, entry.value);
  } else {
    copy_content(content, reader, entry.source_position, tag_ids::simple_tag);
  }
  append_element(out, tag_ids::simple_tag, content);
}

// One Tag element to write: a Tag read from the file, with its Targets
// copied, or a new one aimed at `targets` at `level`.
struct tag_to_write {
  std::size_t source = matroska_no_tag;
  matroska_tag_targets targets;
  std::uint64_t level = 0;
  const matroska_tag_group* group = nullptr;
  // Each SimpleTag with its place; values new to the Tag go last.
  std::vector<std::pair<std::uint64_t, const matroska_tag_entry*>> simple_tags;
  // The TagNames of those with a TagString.
  std::vector<std::string> value_names;
  // The level it was read at, which its Targets leave unsaid, is written.
  bool level_written_out = false;
};

// Whether a new value at `level` may join the Tag read as `source`: it reads
// at that level here and in readers that take a level left unsaid as 50.
bool takes_level(const matroska_tag_source& source, std::uint64_t level) {
  return source.level == level && (source.level_written || level == matroska_level_album);
}

void write_targets(ebml_memory_writer& out, const tag_to_write& tag, const matroska_tag_collection& collection,
                   ebml_reader& reader) {
  ebml_memory_writer record;
  if (tag.source != matroska_no_tag) {
    const std::uint64_t position = collection.tags[tag.source].targets_position;
    if (position == matroska_unset) return;
    if (tag.level_written_out)
      ebml_write_uint_element(record, tag_ids::target_type_value, collection.tags[tag.source].level);
    copy_content(record, reader, position, tag_ids::targets);
  } else {
    ebml_write_uint_element(record, tag_ids::target_type_value, tag.level);
    if (auto type = tag.group->target_types.find(tag.level); type != tag.group->target_types.end())
      write_text_element(record, tag_ids::target_type, type->second);
    for (std::uint64_t uid : tag.targets.chapters) ebml_write_uint_element(record, tag_ids::chapter_uid, uid);
    for (std::uint64_t uid : tag.targets.editions) ebml_write_uint_element(record, tag_ids::edition_uid, uid);
    for (std::uint64_t uid : tag.targets.tracks) ebml_write_uint_element(record, tag_ids::track_uid, uid);
    for (std::uint64_t uid : tag.targets.attachments) ebml_write_uint_element(record, tag_ids::attachment_uid, uid);
  }
  append_element(out, tag_ids::targets, record);
}

// A Tag whose level is read from its neighbours (tag_level) reads at the
// level the written Tags give it: where that is no longer the level it was
// read at (its level-30 neighbour lost the TagName they shared, or is gone),
// that level is written into its Targets, so that an album's title aimed at
// the track does not turn into a second track title after an edit of the
// other. Tags that hold no value read by level (mkvmerge's statistics) keep
// their Targets.
void keep_levels_from_neighbours(std::vector<tag_to_write>& tags, const matroska_tag_collection& collection) {
  auto aimed_at = [&](const tag_to_write& tag) {
    return tag.source == matroska_no_tag ? tag.targets : collection.tags[tag.source].group;
  };
  auto says_track_level = [&](const tag_to_write& tag) {
    if (tag.source == matroska_no_tag) return tag.level == matroska_level_track;
    const matroska_tag_source& source = collection.tags[tag.source];
    return source.level_written && source.level == matroska_level_track;
  };
  // The TagNames with a value in written Tags that say the track's level,
  // by the UIDs they are aimed at.
  names_by_targets track_level;
  for (const tag_to_write& tag : tags)
    if (!tag.simple_tags.empty() && says_track_level(tag))
      track_level[aimed_at(tag)].insert(tag.value_names.begin(), tag.value_names.end());
  for (tag_to_write& tag : tags) {
    if (tag.source == matroska_no_tag || !collection.tags[tag.source].level_from_neighbours) continue;
    // Never itself among them: its Targets say no level.
    const auto beside = track_level.find(aimed_at(tag));
    const bool beside_track_level =
        beside != track_level.end() && std::any_of(tag.value_names.begin(), tag.value_names.end(),
                                                   [&](const std::string& name) { return beside->second.count(name); });
    const std::uint64_t level = beside_track_level ? matroska_level_album : matroska_level_track;
    const bool read_by_level = std::any_of(tag.value_names.begin(), tag.value_names.end(), level_mapped);
    tag.level_written_out = read_by_level && level != collection.tags[tag.source].level;
  }
}

// The Tags read, in file order, each with the values that stay in it, then
// a new Tag for each target and level whose values no Tag read can take.
std::vector<tag_to_write> tags_to_write(const matroska_tag_collection& collection) {
  std::vector<tag_to_write> tags(collection.tags.size());
  for (std::size_t i = 0; i < tags.size(); ++i) tags[i].source = i;
  // The first Tag that takes a new value aimed at these UIDs at this level:
  // one read, else one made for such values before.
  std::map<std::pair<matroska_tag_targets, std::uint64_t>, std::size_t> takers;
  for (std::size_t i = 0; i < collection.tags.size(); ++i) {
    const matroska_tag_source& source = collection.tags[i];
    if (takes_level(source, source.level)) takers.emplace(std::pair(source.group, source.level), i);
  }
  auto home_of = [&](const matroska_tag_targets& targets, const matroska_tag_group& group,
                     const matroska_tag_entry& entry) -> std::pair<std::size_t, std::uint64_t> {
    if (entry.tag != matroska_no_tag && collection.tags[entry.tag].group == targets) return {entry.tag, entry.place};
    const auto [taker, made] = takers.emplace(std::pair(targets, entry.level), tags.size());
    if (made) tags.push_back(tag_to_write{matroska_no_tag, targets, entry.level, &group, {}});
    return {taker->second, matroska_unset};
  };
  auto place = [&](const matroska_tag_targets& targets, const matroska_tag_group& group) {
    for (const auto& [name, entries] : group.fields) {
      for (const matroska_tag_entry& entry : entries) {
        const auto [index, at] = home_of(targets, group, entry);
        tags[index].simple_tags.emplace_back(at, &entry);
        if (name != matroska_reserved_field) tags[index].value_names.push_back(entry.tag_name);
      }
    }
  };
  place(matroska_tag_targets{}, collection.whole_file);
  for (const auto& [targets, group] : collection.targeted) place(targets, group);
  for (tag_to_write& tag : tags)
    std::stable_sort(tag.simple_tags.begin(), tag.simple_tags.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  keep_levels_from_neighbours(tags, collection);
  return tags;
}

void write_tags(ebml_memory_writer& out, const matroska_tag_collection& collection, ebml_reader& reader) {
  for (const tag_to_write& tag : tags_to_write(collection)) {
    if (tag.simple_tags.empty()) continue;
    ebml_memory_writer content;
    write_targets(content, tag, collection, reader);
    for (const auto& [at, entry] : tag.simple_tags) write_simple_tag(content, *entry, reader);
    append_element(out, tag_ids::tag, content);
  }
}

}  // namespace

bool ascii_nocase_less::operator()(const std::string& a, const std::string& b) const {
  return qiv::stricmp_ascii(a.c_str(), b.c_str()) < 0;
}

bool matroska_tag_targets::operator<(const matroska_tag_targets& other) const {
  auto rank = [](const matroska_tag_targets& t) {
    return !t.chapters.empty() ? 0 : !t.editions.empty() ? 1 : !t.tracks.empty() ? 2 : 3;
  };
  return std::forward_as_tuple(rank(*this), chapters, editions, tracks, attachments) <
         std::forward_as_tuple(rank(other), other.chapters, other.editions, other.tracks, other.attachments);
}

std::string matroska_field_from_tag_name(const std::string& tag_name, std::uint64_t level) {
  if (const level_band* band = other_level(tag_name, level)) return std::string(band->name) + " " + tag_name;
  const bool album = level >= matroska_level_album;
  if (same_name(tag_name, "TITLE")) return album ? "album" : "title";
  if (same_name(tag_name, "ARTIST")) return album ? "album artist" : "artist";
  if (same_name(tag_name, "PART_NUMBER")) return album ? "discnumber" : "tracknumber";
  if (same_name(tag_name, "TOTAL_PARTS")) return level > matroska_level_album ? "totaldiscs" : "totaltracks";
  if (same_name(tag_name, "REPLAYGAIN_GAIN")) return album ? "replaygain_album_gain" : "replaygain_track_gain";
  if (same_name(tag_name, "REPLAYGAIN_PEAK")) return album ? "replaygain_album_peak" : "replaygain_track_peak";
  if (same_name(tag_name, "DATE_RELEASED")) return "release date";
  if (same_name(tag_name, "DATE_RECORDED")) return "date";
  return tag_name;
}

void matroska_tag_name_from_field(const std::string& field, std::string& tag_name, std::uint64_t& level) {
  for (const mapping_row& row : mapping) {
    if (same_name(field, row.field)) {
      tag_name = row.tag_name;
      level = row.level;
      return;
    }
  }
  // Matroska TagNames are upper case; other readers look them up that way.
  tag_name = field;
  for (char& c : tag_name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  level = matroska_level_track;
  for (const level_band& band : other_levels) {
    const std::string prefix = std::string(band.name) + " ";
    if (tag_name.size() > prefix.size() && tag_name.compare(0, prefix.size(), prefix) == 0 &&
        other_level(tag_name.substr(prefix.size()), band.level) == &band) {
      tag_name.erase(0, prefix.size());
      level = band.level;
      return;
    }
  }
}

matroska_tag_collection matroska_tags_load(const matroska_file_scan& scan, ebml_reader& reader,
                                           matroska_damaged_tags on_damage) {
  matroska_tag_collection collection;
  std::vector<read_tag> tags;
  std::set<std::string> contents_seen;
  // A Tags element after the Clusters that no SeekHead names is read by no
  // reader: after a write killed before it ended it may be that write's new
  // element or its old one. A stale one the named element took in. Taking
  // their values in would bring them back, or twice.
  std::vector<std::uint64_t> read;
  for (std::uint64_t position : scan.positions_of(ids::tags))
    if (!scan.unnamed_tags.count(position) && !scan.stale_tags.count(position)) read.push_back(position);
  const bool compared = read.size() > 1;
  std::vector<std::size_t> element_starts;
  for (std::uint64_t position : read) {
    bool whole = false;
    element_starts.push_back(tags.size());
    try {
      tags_handler handler(tags, contents_seen, compared);
      reader.seek(position);
      ebml_read_element(reader, handler, ids::tags);
      whole = matroska_at_segment_child(scan, reader);
    } catch (const vantrel_io::exception_io_data&) {
      if (on_damage == matroska_damaged_tags::refuse) throw;
    }
    if (whole) continue;
    if (on_damage == matroska_damaged_tags::refuse) vantrel_io::throw_io_data();
    collection.damaged = true;
  }
  drop_values_held_before(tags, element_starts);
  gather(collection, tags);
  return collection;
}

void matroska_tags_to_info(const matroska_tag_group& group, track_info& info) {
  info.remove_all_fields();
  info.clear_replaygain();
  for (const auto& [name, entries] : group.fields) {
    if (name == matroska_reserved_field || entries.empty()) continue;
    if (info.try_set_replaygain(name.c_str(), entries.front().value.c_str())) continue;
    for (const matroska_tag_entry& entry : entries)
      info.add_value(name.c_str(), name.size(), entry.value.c_str(), entry.value.size());
  }
}

namespace {

matroska_tag_targets track_target(std::uint64_t uid) {
  matroska_tag_targets targets;
  targets.tracks.insert(uid);
  return targets;
}

// The group of Tags aimed at the track that plays alone (none: null).
matroska_tag_group* track_group(matroska_tag_collection& collection, std::uint64_t track_uid) {
  if (track_uid == 0) return nullptr;
  const auto found = collection.targeted.find(track_target(track_uid));
  return found == collection.targeted.end() ? nullptr : &found->second;
}

// The whole file as the track that plays sees it: the whole file's fields,
// then those aimed at the track, as if the file held them at track level.
matroska_tag_group file_view(matroska_tag_collection& collection, std::uint64_t track_uid) {
  matroska_tag_group view = collection.whole_file;
  if (const matroska_tag_group* track = track_group(collection, track_uid)) append_fields(view, *track);
  return view;
}

// The groups of Tags naming each chapter, in the order of the targeted
// groups, each marked when it names that chapter alone. Made once for all
// chapters: a search of every group for each chapter costs the chapters
// times the Tags.
struct chapter_group {
  const matroska_tag_group* group;
  bool alone;
};
using groups_by_chapter = std::map<std::uint64_t, std::vector<chapter_group>>;

groups_by_chapter chapter_groups(const matroska_tag_collection& collection) {
  groups_by_chapter by_chapter;
  for (const auto& [targets, group] : collection.targeted)
    for (const std::uint64_t uid : targets.chapters)
      by_chapter[uid].push_back({&group, targets == chapter_target(uid)});
  return by_chapter;
}

const std::vector<chapter_group>& groups_naming(const groups_by_chapter& by_chapter, std::uint64_t uid) {
  static const std::vector<chapter_group> none;
  const auto found = by_chapter.find(uid);
  return found == by_chapter.end() ? none : found->second;
}

// What a chapter reads from Tags it shares: those naming it beside other
// targets, then the whole file's as the track sees it, each for the fields
// still missing. The track's title is not a chapter's: a chapter goes by its
// own TITLE or its name, as ffmpeg shows it, and given the track's title
// every chapter would read as the same song.
matroska_tag_group shared_view(matroska_tag_collection& collection, const groups_by_chapter& by_chapter,
                               std::uint64_t uid, std::uint64_t track_uid) {
  matroska_tag_group view;
  for (const chapter_group& shared : groups_naming(by_chapter, uid)) {
    if (shared.alone) continue;
    for (const auto& [name, entries] : shared.group->fields)
      if (!view.fields.count(name)) view.fields[name] = entries;
  }
  for (const auto& [name, entries] : file_view(collection, track_uid).fields)
    if (!view.fields.count(name) && !same_name(name, "title")) view.fields[name] = entries;
  return view;
}

const matroska_tag_group* own_group(const matroska_tag_collection& collection, std::uint64_t uid) {
  const auto found = collection.targeted.find(chapter_target(uid));
  return found == collection.targeted.end() ? nullptr : &found->second;
}

bool all_empty(const std::vector<matroska_tag_entry>& entries) {
  return std::all_of(entries.begin(), entries.end(), [](const matroska_tag_entry& e) { return e.value.empty(); });
}

// A chapter's fields: those of the Tags aimed at it alone, each in place of
// the field of that name it shares; own values that are all empty remove
// that field for this chapter alone.
matroska_tag_group chapter_view(matroska_tag_collection& collection, const groups_by_chapter& by_chapter,
                                std::uint64_t uid, std::uint64_t track_uid) {
  matroska_tag_group view;
  const matroska_tag_group* own = own_group(collection, uid);
  if (own)
    for (const auto& [name, entries] : own->fields)
      if (!all_empty(entries)) view.fields[name] = entries;
  for (const auto& [name, entries] : shared_view(collection, by_chapter, uid, track_uid).fields)
    if (!own || !own->fields.count(name)) view.fields[name] = entries;
  return view;
}

// A chapter whose Tags give it no title shows its name, unless its own Tags
// removed the title.
bool shows_chapter_name(const matroska_tag_collection& collection, std::uint64_t uid, const matroska_tag_group& view,
                        const std::string& name) {
  const matroska_tag_group* own = own_group(collection, uid);
  return !name.empty() && !view.fields.count("title") && !(own && own->fields.count("title"));
}

// What a reader shows of the title when the played track has a name: the
// name while the tags give no title; tags whose titles are all empty (a
// removed title) give none, and do not bring the name back.
void show_track_name(const matroska_tag_group& view, const std::string& track_name, track_info& info) {
  const auto stored = view.fields.find("title");
  if (stored == view.fields.end() || stored->second.empty()) {
    info.set_field("title", track_info::until_nul, track_name.c_str(), track_name.size());
    return;
  }
  const std::uint32_t field = info.find_field("title");
  if (field == track_info::not_found) return;
  for (std::uint32_t i = info.field_value_count(field); i-- > 0;) {
    if (*info.field_value(field, i) == '\0') info.remove_field_value(field, i);
  }
}

// Readers show the track's name as the title while no tag gives one, and a
// title Tag aimed at the track takes its place, for ffprobe too. The name
// itself (in Tracks) is never rewritten: an unchanged title leaves the tags
// as they are, a new one goes to the track's Tags, and a removed one becomes
// an empty TITLE there, since the name would otherwise show again.
void title_over_track_name(matroska_tag_collection& collection, std::uint64_t track_uid,
                           const std::string& track_name, track_info& info) {
  const matroska_tag_group* track = track_group(collection, track_uid);
  const bool name_shows = !collection.whole_file.fields.count("title") && !(track && track->fields.count("title"));
  std::uint32_t field = info.find_field("title");
  if (name_shows && field != track_info::not_found && info.field_value_count(field) == 1 &&
      track_name == info.field_value(field, 0)) {
    info.remove_field_value(field, 0);
    return;
  }
  if (field == track_info::not_found) field = info.set_field("title", track_info::until_nul, "", 0);
  if (!name_shows) return;
  std::vector<std::string> values;
  for (std::uint32_t i = 0; i < info.field_value_count(field); ++i) values.emplace_back(info.field_value(field, i));
  replace_field({&collection.targeted[track_target(track_uid)]}, "title", values);
}

// Whether a Tag naming the chapter, alone or beside other targets, holds
// the field.
bool chapter_holds(const groups_by_chapter& by_chapter, std::uint64_t uid, const std::string& name) {
  for (const chapter_group& naming : groups_naming(by_chapter, uid))
    if (naming.group->fields.count(name)) return true;
  return false;
}

// ffmpeg and the players built on it read a chapter's Tags whatever their
// level: there an album's TITLE would be the chapter's title, an album
// artist its artist. The TagNames read by level stand in a Tag aimed at a
// chapter only at the chapter's own level, the track's.
bool reads_alike_for_chapters(const std::string& tag_name, std::uint64_t level) {
  return !level_mapped(tag_name) || level == matroska_level_track;
}

bool reads_alike_for_chapters(const std::vector<matroska_tag_entry>& entries) {
  return std::all_of(entries.begin(), entries.end(),
                     [](const matroska_tag_entry& e) { return reads_alike_for_chapters(e.tag_name, e.level); });
}

using chapter_changes = std::map<std::uint64_t, std::vector<field_change>>;
using chapter_views = std::map<std::uint64_t, matroska_tag_group>;

// Whether a chapter left out of the edit already reads what the change
// makes (its own info was not handed over since nothing in it changed).
bool reads_as_changed(const matroska_tag_group& view, const field_change& change) {
  const auto found = view.fields.find(change.name);
  if (change.removed) return found == view.fields.end();
  if (found == view.fields.end() || found->second.size() != change.values.size()) return false;
  for (std::size_t i = 0; i < change.values.size(); ++i) {
    const std::string& stored = found->second[i].value;
    if (!is_replaygain_field(change.name)) {
      if (stored != change.values[i]) return false;
      continue;
    }
    replaygain_info a, b;
    a.set_from_field(change.name.c_str(), stored.c_str(), stored.size());
    b.set_from_field(change.name.c_str(), change.values[i].c_str(), change.values[i].size());
    if (replaygain_value_of(a, change.name) != replaygain_value_of(b, change.name)) return false;
  }
  return true;
}

// The Tags aimed at chapters that hold each field, in the order of the
// targeted groups: a change every chapter makes alike visits those alone,
// not every Tag of the file.
using chapter_groups_by_field = std::map<std::string, std::vector<matroska_tag_group*>, ascii_nocase_less>;

chapter_groups_by_field chapter_groups_holding_fields(matroska_tag_collection& collection) {
  chapter_groups_by_field holding;
  for (auto& [targets, group] : collection.targeted) {
    if (targets.chapters.empty()) continue;
    qiv::count_work_steps(group.fields.size());
    for (const auto& [name, entries] : group.fields) holding[name].push_back(&group);
  }
  return holding;
}

// A change every chapter makes alike is made where each Tag aimed at
// chapters holds the field, so that no chapter keeps the old value beside
// the new one; a value such a Tag cannot hold as what it is leaves it, and
// the chapters read the new one from the whole file. Only changes of that
// field touch it, so `holding`, made before them, still names every Tag
// that holds it.
void apply_to_chapter_tags(const chapter_groups_by_field& holding, const field_change& change) {
  const auto groups = holding.find(change.name);
  if (groups == holding.end()) return;
  qiv::count_work_steps(groups->second.size());
  for (matroska_tag_group* group : groups->second) {
    const auto found = group->fields.find(change.name);
    if (found == group->fields.end()) continue;
    if (change.removed || !reads_alike_for_chapters(found->second)) group->fields.erase(found);
    else replace_field({group}, change.name, change.values);
  }
}

// One chapter's changes by name: whether it makes a change is a lookup, not
// a search of its list, and the changes made for every chapter leave the
// list in one pass: searching the lists would make an edit of many fields
// in many chapters cost the chapters times the square of their changes.
class chapter_change_index {
public:
  explicit chapter_change_index(std::vector<field_change>& list) : list_(list), made_(list.size(), false) {
    for (std::size_t i = 0; i < list.size(); ++i) positions_.emplace(list[i].name, i);
  }

  bool holds(const field_change& change) const { return find(change) != none; }

  // Marks the first such change in the list made.
  void mark_made(const field_change& change) {
    const std::size_t at = find(change);
    if (at != none) made_[at] = true;
  }

  // Leaves the changes not made in the list, in their order.
  void drop_made() {
    qiv::count_work_steps(list_.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list_.size(); ++i) {
      if (made_[i]) continue;
      if (kept != i) list_[kept] = std::move(list_[i]);  // a vector moved onto itself empties
      ++kept;
    }
    list_.erase(list_.begin() + std::ptrdiff_t(kept), list_.end());
  }

private:
  static constexpr std::size_t none = ~std::size_t{0};

  // The first change in the list equal to `change` and not made.
  std::size_t find(const field_change& change) const {
    const auto [first, last] = positions_.equal_range(change.name);
    for (auto at = first; at != last; ++at) {
      qiv::count_work_steps(1);
      if (!made_[at->second] && list_[at->second] == change) return at->second;
    }
    return none;
  }

  std::vector<field_change>& list_;
  std::vector<bool> made_;
  std::multimap<std::string, std::size_t> positions_;  // names as the changes spell them
};

// A change every chapter of the file makes alike is the file's change: it
// is made in the Tags aimed at chapters that hold the field and in the
// whole file's and the track's Tags, where ffprobe and mkvextract find the
// file's value; it is new to the whole file only while some chapter has no
// Tag of its own for it. A title stays with the chapters (the track's is
// not theirs), and one they all remove stays while one has a name, which
// would show in its place.
void apply_changes_alike(matroska_tag_collection& collection, const groups_by_chapter& by_chapter,
                         chapter_changes& changes, const chapter_views& views, std::uint64_t track_uid) {
  if (changes.empty()) return;
  std::map<std::uint64_t, chapter_change_index> indexes;
  for (auto& [uid, list] : changes) indexes.emplace(uid, list);
  std::vector<field_change> alike;
  for (const field_change& change : changes.begin()->second) {
    bool everywhere = !(change.removed && same_name(change.name, "title"));
    for (auto view = views.begin(); everywhere && view != views.end(); ++view) {
      qiv::count_work_steps(1);
      const auto index = indexes.find(view->first);
      everywhere = (index != indexes.end() && index->second.holds(change)) || reads_as_changed(view->second, change);
    }
    if (everywhere) alike.push_back(change);
  }
  const chapter_groups_by_field holding = chapter_groups_holding_fields(collection);
  tag_places places{&collection.whole_file};
  if (matroska_tag_group* track = track_group(collection, track_uid)) places.push_back(track);
  for (const field_change& change : alike) {
    apply_to_chapter_tags(holding, change);
    const bool title = same_name(change.name, "title");
    if (!title) {
      const bool held = std::any_of(places.begin(), places.end(), [&](matroska_tag_group* g) {
        return g->fields.count(change.name) != 0;
      });
      const auto unheld_by_a_chapter = [&] {
        return std::any_of(views.begin(), views.end(), [&](const auto& one) {
          qiv::count_work_steps(1);
          return !chapter_holds(by_chapter, one.first, change.name);
        });
      };
      if (held || (!change.removed && unheld_by_a_chapter())) apply_change(places, change);
    }
    for (auto& [uid, index] : indexes)
      if (!title || chapter_holds(by_chapter, uid, change.name)) index.mark_made(change);
  }
  for (auto& [uid, index] : indexes) index.drop_made();
}

// One chapter's change, made in the Tags aimed at it alone. A field it
// removes that it would still read from a Tag it shares (or, for the title,
// from its name) is removed by an empty value of its own. A value that Tag
// could not hold as what it is (reads_alike_for_chapters) is refused.
void apply_chapter_change(matroska_tag_collection& collection, std::uint64_t uid, const field_change& change,
                          const matroska_tag_group& shared, bool named) {
  matroska_tag_group& own = collection.targeted[chapter_target(uid)];
  const auto hidden = shared.fields.find(change.name);
  const matroska_tag_entry* model =
      hidden != shared.fields.end() && !hidden->second.empty() ? &hidden->second.front() : nullptr;
  const auto held = own.fields.find(change.name);
  if (change.removed && !model && !(named && same_name(change.name, "title"))) {
    own.fields.erase(change.name);
    return;
  }
  matroska_tag_entry written;
  if (held != own.fields.end() && !held->second.empty()) written = held->second.back();
  else if (model) written = *model;
  else matroska_tag_name_from_field(change.name, written.tag_name, written.level);
  if (!reads_alike_for_chapters(written.tag_name, written.level))
    throw exception_chapter_value_misread(change.name.c_str());
  replace_field({&own}, change.name, change.removed ? std::vector<std::string>{""} : change.values, model);
}

// Chapter edits go into each chapter's own Tags, so that every Tag a
// chapter shares with others, the track or the whole file keeps its
// values; only what every chapter changes alike goes where they share it.
void apply_chapter_infos(matroska_tag_collection& collection, const std::map<std::uint64_t, track_info_impl>& infos,
                         const std::map<std::uint64_t, std::string>& chapters, std::uint64_t track_uid) {
  const groups_by_chapter by_chapter = chapter_groups(collection);
  chapter_views views;
  for (const auto& [uid, name] : chapters) views[uid] = chapter_view(collection, by_chapter, uid, track_uid);
  chapter_changes changes;
  std::map<std::uint64_t, matroska_tag_group> shared;
  for (const auto& [uid, info] : infos) {
    const matroska_tag_group view =
        views.count(uid) ? views[uid] : chapter_view(collection, by_chapter, uid, track_uid);
    std::vector<field_change>& list = changes[uid] = changes_between(view, info);
    // A title shown from the chapter's name is not among its fields: handed
    // back as it is it changes nothing, while its removal is still a change.
    const auto name = chapters.find(uid);
    if (name != chapters.end() && shows_chapter_name(collection, uid, view, name->second)) {
      const std::uint32_t title = info.find_field("title");
      if (title == track_info::not_found) list.push_back({"title", {}, true});
      else if (info.field_value_count(title) == 1 && name->second == info.field_value(title, 0))
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [](const field_change& c) { return same_name(c.name, "title"); }),
                   list.end());
    }
    shared[uid] = shared_view(collection, by_chapter, uid, track_uid);
  }
  apply_changes_alike(collection, by_chapter, changes, views, track_uid);
  for (const auto& [uid, list] : changes) {
    const auto name = chapters.find(uid);
    const bool named = name != chapters.end() && !name->second.empty();
    for (const field_change& change : list) apply_chapter_change(collection, uid, change, shared[uid], named);
  }
}

}  // namespace

bool matroska_tags_read_infos(const matroska_file_scan& scan, ebml_reader& reader,
                              std::map<std::uint64_t, track_info_impl>& infos,
                              const std::map<std::uint64_t, std::string>& chapters, std::uint64_t track_uid,
                              const std::string& track_name) {
  matroska_tag_collection collection = matroska_tags_load(scan, reader, matroska_damaged_tags::skip);
  const groups_by_chapter by_chapter = chapter_groups(collection);
  for (auto& [uid, info] : infos) {
    if (uid == 0) {
      const matroska_tag_group view = file_view(collection, track_uid);
      matroska_tags_to_info(view, info);
      if (!track_name.empty()) show_track_name(view, track_name, info);
      continue;
    }
    const matroska_tag_group view = chapter_view(collection, by_chapter, uid, track_uid);
    matroska_tags_to_info(view, info);
    const auto name = chapters.find(uid);
    if (name != chapters.end() && shows_chapter_name(collection, uid, view, name->second))
      info.set_field("title", track_info::until_nul, name->second.c_str(), name->second.size());
  }
  return !collection.damaged;
}

std::vector<std::uint8_t> matroska_tags_build(const matroska_file_scan& scan, ebml_reader& reader,
                                              const std::map<std::uint64_t, track_info_impl>& infos,
                                              const std::map<std::uint64_t, std::string>& chapters,
                                              std::uint64_t track_uid, const std::string& track_name) {
  matroska_tag_collection collection = matroska_tags_load(scan, reader, matroska_damaged_tags::refuse);
  if (auto whole = infos.find(0); whole != infos.end()) {
    track_info_impl info;
    info.copy_all_from(whole->second);
    if (!track_name.empty() && track_uid != 0) title_over_track_name(collection, track_uid, track_name, info);
    tag_places places{&collection.whole_file};
    if (matroska_tag_group* track = track_group(collection, track_uid)) places.push_back(track);
    apply_info(places, info);
  } else if (!infos.empty()) {
    apply_chapter_infos(collection, infos, chapters, track_uid);
  }
  ebml_memory_writer out;
  write_tags(out, collection, reader);
  return out.bytes();
}

}  // namespace Matroska

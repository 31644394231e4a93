#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "foundation/work_steps.h"
#include "metadata/tags/compilation_album_artist.h"
#include "metadata/tags/id3v2_field_mapping.h"
#include "metadata/tags/id3v2_frame_order.h"
#include "metadata/tags/id3v2_stacked_tags.h"
#include "metadata/tags/id3v2_text_encoding.h"
#include "metadata/tags/id3v2_v22_frames.h"
#include "metadata/tags/user_defined_names.h"

using id3parser::frame;
using id3parser::frame_id;

namespace {

bool yields_any(const tag_field_map& map, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (map.has(name)) return true;
  return false;
}

bool yields_replaygain(const tag_field_map& map) {
  for (const auto& entry : map.all())
    if (is_replaygain_field_name(entry.first.c_str())) return true;
  return false;
}

// Every field the old frames give is already in `fields` with the same
// values; such fields need no new frame and leave the map.
bool take_if_matching(const tag_field_map& produced, tag_field_map& fields) {
  if (yields_replaygain(produced)) return false;
  for (const auto& entry : produced.all()) {
    const tag_field_map::values* wanted = fields.find(entry.first);
    if (wanted == nullptr || *wanted != entry.second) return false;
  }
  for (const auto& entry : produced.all()) fields.remove(entry.first);
  return true;
}

// The fields one frame gives on its own; none when it gives none or cannot
// be read.
tag_field_map fields_of_frame(const frame& f, unsigned version) {
  tag_field_map given;
  if (f.is_raw()) return given;
  try {
    id3v2_map_frame(f, version, false, given);
  } catch (const id3parser::parseError&) {
    return tag_field_map();
  }
  return given;
}

std::string user_description(const frame& f) {
  if (f.id != frame_id("TXXX") || f.is_raw()) return {};
  try {
    return id3v2_text_value(f, 0, false);
  } catch (const id3parser::parseError&) {
    return {};
  }
}

bool has_trailing_index(const frame& f) {
  const std::string name = user_description(f);
  return id3v2_strip_trailing_index(name) != name;
}

bool maps_without_error(const frame& f, unsigned version, bool strict) {
  tag_field_map ignored;
  try {
    id3v2_map_frame(f, version, strict, ignored);
  } catch (const id3parser::parseError&) {
    return false;
  }
  return true;
}

// Version 2.3 gives a text frame one string, yet taggers store a list
// there as 2.4 does (mutagen's NUL-separated values) and read it back so:
// such a frame breaks a rule only when it would break one in 2.4 too.
bool breaks_version_rules(const frame& f, unsigned version) {
  if (maps_without_error(f, version, true)) return false;
  const bool text_list = version == 3 && char(f.id >> 24) == 'T' && !f.is_raw();
  return !(text_list && maps_without_error(f, 4, true));
}

using name_set = std::set<std::string, field_name_less>;

// A field whose values read as they did before the edit keeps every frame
// that gave it, byte for byte, whatever their kinds: a tag may give one
// field from a standard frame and a user-defined one at once (TMOO beside
// TXXX:MOOD, as two taggers wrote them). A field one of whose frames breaks
// the version's rules is written anew.
// `removed` receives the fields the tag gave that the edit removes.
void keep_frames_of_unchanged_fields(std::vector<frame>& side, std::vector<frame>& keep, unsigned version,
                                     tag_field_map& fields, name_set& removed, std::size_t& work) {
  // The names each frame gives; its values are held one frame at a time,
  // so that a frame of many values costs their memory once, not once for
  // each of these steps.
  std::vector<std::vector<std::string>> given(side.size());
  name_set rewritten;
  for (std::size_t i = 0; i < side.size(); ++i) {
    ++work;
    const frame& f = side[i];
    if (f.is_raw()) continue;
    const tag_field_map values = fields_of_frame(f, version);
    for (const auto& entry : values.all()) given[i].push_back(entry.first);
    if (has_trailing_index(f)) rewritten.insert(given[i].begin(), given[i].end());
  }
  // Each field's values are compared once, not once for each of its
  // frames: a field of many frames would cost their number squared.
  name_set unchanged;
  {
    tag_field_map as_read;
    for (const frame& f : side) {
      ++work;
      if (f.is_raw()) continue;
      try {
        // In one map, as a reading does: a year and a day-month frame make one date.
        id3v2_map_frame(f, version, false, as_read);
      } catch (const id3parser::parseError&) {
      }
    }
    for (const auto& [name, before] : as_read.all()) {
      work += before.size();
      const tag_field_map::values* after = fields.find(name);
      if (rewritten.count(name) == 0 && after != nullptr && *after == before) unchanged.insert(name);
      if (after == nullptr || after->empty()) removed.insert(name);
    }
  }
  // A field one of whose frames breaks the version's rules is written anew.
  for (std::size_t i = 0; i < side.size(); ++i) {
    ++work;
    const bool matters = std::any_of(given[i].begin(), given[i].end(),
                                     [&](const std::string& name) { return unchanged.count(name) != 0; });
    if (matters && breaks_version_rules(side[i], version))
      for (const std::string& name : given[i]) unchanged.erase(name);
  }
  name_set kept_fields;
  std::vector<frame> remaining;
  for (std::size_t i = 0; i < side.size(); ++i) {
    ++work;
    const std::vector<std::string>& names = given[i];
    const bool stays = !names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
      return unchanged.count(name) != 0;
    });
    if (!stays) {
      remaining.push_back(std::move(side[i]));
      continue;
    }
    kept_fields.insert(names.begin(), names.end());
    keep.push_back(std::move(side[i]));
  }
  for (const std::string& name : kept_fields) fields.remove(name);
  side = std::move(remaining);
}

struct user_frame_values {
  std::string description;
  std::vector<std::string> values;
};

// Fields whose frames give other fields too, or whose value is split over
// frames of one kind (a year and a day-month), are not sent back by value.
bool is_routed_by_value(const std::string& name) {
  for (const char* composite : {"date", "tracknumber", "totaltracks", "discnumber", "totaldiscs"})
    if (!field_name_less()(name, composite) && !field_name_less()(composite, name)) return false;
  return !is_replaygain_field_name(name.c_str());
}

// The frames that gave one field, by kind: a standard frame, or a
// user-defined one under one description.
struct field_sources {
  struct source {
    std::uint32_t id;
    std::string description;  // of a user-defined frame
    std::vector<std::string> old_values;
    std::vector<std::string> new_values;
    bool breaks_rules = false;  // a frame of it breaks the version's rules
  };
  std::vector<source> list;  // in the order the tag first gives each kind
  std::map<std::pair<std::uint32_t, std::string>, std::size_t> index;

  source& of(std::uint32_t id, const std::string& description) {
    const auto [at, added] = index.emplace(std::make_pair(id, description), list.size());
    if (added) list.push_back(source{id, description, {}, {}});
    return list[at->second];
  }
};

// Hands each value the edit kept to the first kind that held it and has
// not handed it out yet; returns the values no kind held.
std::vector<std::string> claim_kept_values(std::vector<field_sources::source>& list,
                                           const tag_field_map::values& wanted, std::size_t& work) {
  struct holders {
    std::vector<std::size_t> kinds;  // one entry per value held, in kind order
    std::size_t next = 0;
  };
  std::unordered_map<std::string, holders> held;
  for (std::size_t k = 0; k < list.size(); ++k)
    for (const std::string& value : list[k].old_values) {
      ++work;
      held[value].kinds.push_back(k);
    }
  std::vector<std::string> added;
  for (const std::string& value : wanted) {
    ++work;
    const auto found = held.find(value);
    if (found == held.end() || found->second.next == found->second.kinds.size()) {
      added.push_back(value);
      continue;
    }
    list[found->second.kinds[found->second.next++]].new_values.push_back(value);
  }
  return added;
}

// A description and the field its user-defined frames give; names match
// with letters folded, as fields do.
struct user_kind_less {
  bool operator()(const std::pair<std::string, std::string>& a, const std::pair<std::string, std::string>& b) const {
    if (a.first != b.first) return a.first < b.first;
    return field_name_less()(a.second, b.second);
  }
};

// A changed field that user-defined frames gave: each value the edit kept
// goes back to the kind of frame it came from (a standard frame, or a
// user-defined one under its description); a new value takes the place of
// one the edit took from a kind, else goes to the first user-defined kind,
// which holds any number of values. What goes to user-defined frames
// leaves `fields` for `routed`; what goes to the standard frame stays.
void route_changed_values(std::vector<frame>& side, std::vector<frame>& keep, unsigned version, tag_field_map& fields,
                          std::vector<user_frame_values>& routed, std::size_t& work) {
  std::set<std::pair<std::string, std::string>, user_kind_less> untouched;
  std::map<std::string, field_sources, field_name_less> sources;
  name_set unroutable;
  for (const frame& f : side) {
    ++work;
    const tag_field_map given = fields_of_frame(f, version);
    if (given.empty()) continue;
    const std::string description = user_description(f);
    for (const auto& [name, values] : given.all()) {
      if (given.all().size() != 1 || has_trailing_index(f) || !is_routed_by_value(name)) unroutable.insert(name);
      field_sources::source& same = sources[name].of(f.id, description);
      same.old_values.insert(same.old_values.end(), values.begin(), values.end());
      same.breaks_rules = same.breaks_rules || breaks_version_rules(f, version);
    }
  }
  for (auto& [name, group] : sources) {
    std::vector<field_sources::source>& list = group.list;
    tag_field_map::values* wanted = fields.find(name);
    const bool user_defined = std::any_of(list.begin(), list.end(), [](const field_sources::source& s) {
      return s.id == frame_id("TXXX");
    });
    if (wanted == nullptr || !user_defined || unroutable.count(name) != 0) continue;
    const std::vector<std::string> added = claim_kept_values(list, *wanted, work);
    std::size_t to = 0;
    while (to < list.size() && list[to].new_values.size() == list[to].old_values.size()) ++to;
    if (to == list.size()) {
      to = 0;
      while (list[to].id != frame_id("TXXX")) ++to;
    }
    list[to].new_values.insert(list[to].new_values.end(), added.begin(), added.end());
    tag_field_map::values standard;
    for (field_sources::source& s : list) {
      work += s.old_values.size();
      if (s.id != frame_id("TXXX"))
        standard.insert(standard.end(), s.new_values.begin(), s.new_values.end());
      else if (s.new_values == s.old_values && !s.breaks_rules)
        untouched.emplace(s.description, name);
      else if (!s.new_values.empty())
        routed.push_back({s.description, std::move(s.new_values)});
    }
    if (standard.empty())
      fields.remove(name);
    else
      *wanted = std::move(standard);
  }
  // A user-defined kind whose values stay keeps its frames as they are.
  std::vector<frame> remaining;
  for (frame& f : side) {
    ++work;
    bool stays = false;
    if (f.id == frame_id("TXXX") && !untouched.empty()) {
      const std::string description = user_description(f);
      const tag_field_map given = fields_of_frame(f, version);  // held: a loop over a temporary's entries dangles
      for (const auto& entry : given.all()) stays = stays || untouched.count({description, entry.first}) != 0;
    }
    (stays ? keep : remaining).push_back(std::move(f));
  }
  side = std::move(remaining);
}

// The rating byte of a rating frame that holds an e-mail and one, else null.
const std::uint8_t* rating_byte(const frame& f) {
  if (f.id != frame_id("POPM") || f.is_raw()) return nullptr;
  const auto zero = std::find(f.data.begin(), f.data.end(), std::uint8_t(0));
  return zero == f.data.end() || zero + 1 == f.data.end() ? nullptr : &*(zero + 1);
}

// When the rating changed (it is still to be written, or a frame left
// after the frames of unchanged fields were kept gives one), the rating
// frames that can be read, for the edit to write it into.
std::vector<frame> take_changed_ratings(std::vector<frame>& side, const tag_field_map& fields, std::size_t& work) {
  const bool changed = fields.has("rating") || std::any_of(side.begin(), side.end(), [&](const frame& f) {
                         ++work;
                         const std::uint8_t* rating = rating_byte(f);
                         return rating != nullptr && *rating != 0;
                       });
  if (!changed) return {};
  std::vector<frame> ratings, remaining;
  for (frame& f : side) {
    ++work;
    (rating_byte(f) != nullptr ? ratings : remaining).push_back(std::move(f));
  }
  side = std::move(remaining);
  return ratings;
}

// The first spelling the tag gives each user-defined name, by the name.
using spellings = std::map<std::string, std::string, field_name_less>;

class frame_builder {
public:
  frame_builder(id3parser::tag& t, tag_field_map& fields, std::uint8_t encoding, spellings old_user_names)
      : tag_(t), fields_(fields), encoding_(encoding), old_user_names_(std::move(old_user_names)) {}

  frame& add(std::uint32_t id) {
    tag_.frames.emplace_back();
    tag_.frames.back().id = id;
    return tag_.frames.back();
  }

  void text(std::uint32_t id, const std::vector<std::string>& values) {
    frame& f = add(id);
    id3v2_set_text(f, values[0], encoding_);
    for (std::size_t i = 1; i < values.size(); ++i) id3v2_append_text(f, values[i]);
  }

  void ascii(std::uint32_t id, const std::string& value) { id3v2_set_ascii_text(add(id), value, encoding_); }

  const tag_field_map::values* single_value(const char* field) {
    const tag_field_map::values* values = fields_.find(field);
    return values != nullptr && values->size() == 1 ? values : nullptr;
  }

  void single(std::uint32_t id, const char* field) {
    if (const tag_field_map::values* values = single_value(field)) {
      text(id, {(*values)[0]});
      fields_.remove(field);
    }
  }

  void url(std::uint32_t id, const char* field) {
    if (const tag_field_map::values* values = single_value(field)) {
      id3v2_set_url(add(id), (*values)[0]);
      fields_.remove(field);
    }
  }

  void multi(std::uint32_t id, const char* field) {
    const tag_field_map::values* values = fields_.find(field);
    if (values == nullptr || values->empty()) return;
    if (tag_.version >= 4) {
      text(id, *values);
    } else {
      std::string joined;
      for (std::size_t i = 0; i < values->size(); ++i) joined += (i ? " / " : "") + (*values)[i];
      text(id, {joined});
    }
    fields_.remove(field);
  }

  void lyrics() {
    if (const tag_field_map::values* values = single_value("unsynced lyrics")) {
      frame& f = add(frame_id("USLT"));
      id3v2_set_text(f, "", encoding_);
      id3v2_append_text(f, (*values)[0]);
      fields_.remove("unsynced lyrics");
    }
  }

  void genre() {
    const tag_field_map::values* values = fields_.find("genre");
    if (values == nullptr || values->empty()) return;
    std::vector<std::string> escaped;
    for (const std::string& v : *values) escaped.push_back(v.empty() || v[0] != '(' ? v : "(" + v);
    if (tag_.version >= 4) {
      text(frame_id("TCON"), escaped);
    } else {
      std::string joined;
      for (std::size_t i = 0; i < escaped.size(); ++i) joined += (i ? ";" : "") + escaped[i];
      text(frame_id("TCON"), {joined});
    }
    fields_.remove("genre");
  }

  void v3_date(bool date_as_is) {
    const tag_field_map::values* values = single_value("date");
    if (values == nullptr) return;
    const std::string v = (*values)[0];
    if (date_as_is || id3v2_date_pattern_matches(v, "####")) {
      ascii(frame_id("TYER"), v);
    } else if (id3v2_date_pattern_matches(v, "####-##-##") || id3v2_date_pattern_matches(v, "#### ## ##")) {
      ascii(frame_id("TYER"), v.substr(0, 4));
      ascii(frame_id("TDAT"), v.substr(8, 2) + v.substr(5, 2));
    } else if (id3v2_date_pattern_matches(v, "####-##")) {
      ascii(frame_id("TYER"), v.substr(0, 4));
      ascii(frame_id("TDAT"), "00" + v.substr(5, 2));
    } else {
      return;
    }
    fields_.remove("date");
  }

  void original_year() {
    const tag_field_map::values* values = single_value("original release date");
    if (values == nullptr || !id3v2_date_pattern_matches((*values)[0], "####")) return;
    ascii(frame_id("TORY"), (*values)[0]);
    fields_.remove("original release date");
  }

  void timestamp(std::uint32_t id, const char* field) {
    const tag_field_map::values* values = single_value(field);
    if (values == nullptr) return;
    const std::string& v = (*values)[0];
    const std::size_t slash = v.find('/');
    const bool valid = slash == std::string::npos
                           ? is_timestamp(v)
                           : is_timestamp(v.substr(0, slash)) && is_timestamp(v.substr(slash + 1));
    if (!valid) return;
    ascii(id, v);
    fields_.remove(field);
  }

  void number(std::uint32_t id, const char* number_field, const char* total_field) {
    const tag_field_map::values* number = fields_.find(number_field);
    if (number == nullptr || number->empty()) return;
    std::string text = (*number)[0];
    const std::size_t slash = text.find('/');
    const tag_field_map::values* total = fields_.find(total_field);
    if (slash != std::string::npos) {
      std::replace(text.begin() + slash + 1, text.end(), '/', '_');
    } else if (total != nullptr && !total->empty()) {
      std::string total_text = (*total)[0];
      std::replace(total_text.begin(), total_text.end(), '/', '_');
      text += "/" + total_text;
    }
    if (slash != std::string::npos || total != nullptr) fields_.remove(total_field);
    ascii(id, text);
    fields_.remove(number_field);
  }

  // The rating goes into the rating byte of every rating frame the tag
  // held, whoever wrote it, so that every reader shows it; their e-mails
  // and play counts stay. A removed rating (or one that is no star count)
  // leaves the byte 0, "unrated"; a frame then holding nothing but its
  // e-mail goes. Without such a frame, the player writes its own.
  void rating(std::vector<frame> held) {
    static constexpr std::uint8_t bytes_for_stars[] = {1, 64, 128, 196, 255};
    const tag_field_map::values* values = single_value("rating");
    std::uint8_t stars_byte = 0;
    if (values != nullptr && (*values)[0].size() == 1 && (*values)[0][0] >= '1' && (*values)[0][0] <= '5')
      stars_byte = bytes_for_stars[(*values)[0][0] - '1'];
    for (frame& f : held) {
      const auto rating_at = f.data.begin() + (rating_byte(f) - f.data.data());
      if (*rating_at != stars_byte) f.status_flags &= std::uint8_t(~frame::read_only_flag(tag_.version));
      *rating_at = stars_byte;
      const bool counts_plays = std::any_of(rating_at + 1, f.data.end(), [](std::uint8_t b) { return b != 0; });
      if (stars_byte != 0 || counts_plays) tag_.frames.push_back(std::move(f));
    }
    if (stars_byte == 0) return;
    if (held.empty()) {
      frame& f = add(frame_id("POPM"));
      static constexpr char email[] = "Windows Media Player 9 Series";
      f.data.assign(email, email + sizeof email);  // with its terminating zero
      f.data.push_back(stars_byte);
      f.data.insert(f.data.end(), 4, 0);
    }
    fields_.remove("rating");
  }

  void remaining() {
    for (const auto& entry : fields_.all()) {
      const std::string& name = entry.first;
      const tag_field_map::values& values = entry.second;
      if (values.empty()) continue;
      if (starts_with_nocase(name, "www")) {
        const std::string description = rest_after(name, 3);
        for (const std::string& v : values) {
          frame& f = add(frame_id("WXXX"));
          id3v2_set_text(f, description, encoding_);
          frame url;
          id3v2_set_url(url, v);
          f.data.insert(f.data.end(), url.data.begin(), url.data.end());
        }
      } else if (starts_with_nocase(name, "comment")) {
        std::string description = rest_after(name, 7);
        if (equals_nocase(description, "iTunNORM")) description = "iTunNORM";
        std::uint8_t encoding = encoding_;
        if (description.compare(0, 4, "iTun") == 0 &&
            std::all_of(values.begin(), values.end(), [](const std::string& v) {
              return v.find_first_not_of(" 0123456789ABCDEF") == std::string::npos;
            }))
          encoding = 0;
        for (const std::string& v : values) {
          frame& f = add(frame_id("COMM"));
          id3v2_set_text(f, description, encoding);
          id3v2_append_text(f, v);
        }
      } else if (is_replaygain_field_name(name.c_str())) {
        frame& f = add(frame_id("TXXX"));
        id3v2_set_ascii_text(f, user_name(name), encoding_);
        id3v2_append_text(f, values[0]);
      } else {
        user_defined(user_name(name), values);
      }
    }
  }

  // Version 2.3 has no lists: a frame for each value.
  void user_defined(const std::string& description, const std::vector<std::string>& values) {
    if (tag_.version >= 4) {
      std::vector<std::string> strings{description};
      strings.insert(strings.end(), values.begin(), values.end());
      text(frame_id("TXXX"), strings);
    } else {
      for (const std::string& v : values) text(frame_id("TXXX"), {description, v});
    }
  }

private:
  // The description a user-defined frame of the tag already gives the
  // field, else the one other taggers give it.
  std::string user_name(const std::string& field) const {
    const auto old = old_user_names_.find(field);
    return old != old_user_names_.end() ? old->second : user_defined_name_for(field);
  }

  static bool is_timestamp(const std::string& v) {
    for (const char* pattern :
         {"####", "####-##", "####-##-##", "####-##-##T##", "####-##-##T##:##", "####-##-##T##:##:##"})
      if (id3v2_date_pattern_matches(v, pattern)) return true;
    return false;
  }
  static char fold(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }
  static bool starts_with_nocase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != 0; ++i)
      if (i >= text.size() || fold(text[i]) != fold(prefix[i])) return false;
    return true;
  }
  static bool equals_nocase(const std::string& a, const char* b) {
    return starts_with_nocase(a, b) && a.size() == std::char_traits<char>::length(b);
  }
  static std::string rest_after(const std::string& name, std::size_t prefix) {
    std::size_t start = prefix;
    while (start < name.size() && name[start] == ' ') ++start;
    return name.substr(start);
  }

  id3parser::tag& tag_;
  tag_field_map& fields_;
  std::uint8_t encoding_;
  spellings old_user_names_;
};

void keep_unchanged_frames(std::vector<frame>& side, std::vector<frame>& keep, unsigned old_version, unsigned version,
                           tag_field_map& fields, std::size_t& work) {
  std::vector<frame> remaining;
  for (frame& f : side) {
    ++work;
    if (has_trailing_index(f)) continue;
    if (f.is_raw()) {
      // Undecodable frames survive only a rewrite in their own version.
      if (f.raw_version == version) keep.push_back(std::move(f));
      continue;
    }
    tag_field_map produced;
    try {
      id3v2_map_frame(f, old_version, true, produced);
    } catch (const id3parser::parseError&) {
      // Other programs may read what this one cannot: a frame that gives no
      // field stays until an edit writes its field (drop_frames_written_anew).
      if (fields_of_frame(f, old_version).empty()) keep.push_back(std::move(f));
      continue;
    }
    if (yields_replaygain(produced) || yields_any(produced, {"tracknumber", "discnumber"})) continue;
    if (take_if_matching(produced, fields))
      keep.push_back(std::move(f));
    else
      remaining.push_back(std::move(f));
  }

  using group_test = bool (*)(const frame&);
  const group_test groups[] = {
      [](const frame&) { return true; },
      [](const frame& f) { return f.id == frame_id("COMM"); },
      [](const frame& f) { return f.id == frame_id("USLT"); },
      [](const frame& f) { return f.id == frame_id("TXXX"); },
      [](const frame& f) { return f.id == frame_id("TYER") || f.id == frame_id("TDAT"); },
  };
  for (group_test in_group : groups) {
    work += remaining.size();
    if (std::none_of(remaining.begin(), remaining.end(), in_group)) continue;
    tag_field_map produced;
    try {
      for (const frame& f : remaining)
        if (in_group(f)) id3v2_map_frame(f, old_version, false, produced);
    } catch (const id3parser::parseError&) {
      continue;
    }
    if (!take_if_matching(produced, fields)) continue;
    std::vector<frame> still;
    for (frame& f : remaining) (in_group(f) ? keep : still).push_back(std::move(f));
    remaining = std::move(still);
  }
}

bool cannot_be_read(const frame& f, unsigned version) {
  return f.is_raw() || !maps_without_error(f, version, false);
}

// The description of a comment frame, when it can be read.
bool comment_description(const frame& f, std::string& description) {
  if (f.is_raw()) return false;
  try {
    description = id3v2_text_value(f, 0, false);
  } catch (const id3parser::parseError&) {
    return false;
  }
  return true;
}

// A kept frame that gave the reading no field (compressed, undecodable, or
// holding only empty strings) gives way to a field the edit wrote anew
// instead of standing beside it: a text or URL frame id stands once in a
// tag, and a user-defined frame is its description's. A comment, lyrics or
// rating frame the reading cannot decode gives way to one of its kind the
// edit wrote: lyrics and rating are one field each, and a comment is the
// plain one (which other readers take such a frame for, showing it before
// ours) or that of the description it holds. A field the edit removes
// takes such frames with it just the same: other readers would still show
// them.
void drop_frames_written_anew(std::vector<frame>& keep, const std::vector<frame>& written,
                              const name_set& written_fields, const name_set& removed, unsigned version,
                              std::size_t& work) {
  std::set<std::uint32_t> written_ids;
  std::set<std::string> written_comments;
  for (const frame& f : written) {
    written_ids.insert(f.id);
    std::string description;
    if (f.id == frame_id("COMM") && comment_description(f, description)) written_comments.insert(description);
  }
  const auto replaced = [&](const frame& kept) {
    if (written_ids.count(kept.id) != 0) return true;
    const char* field = id3v2_field_of_frame_id(kept.id);
    return field != nullptr && removed.count(field) != 0;
  };
  const auto comment_replaced = [&](const std::string& description) {
    return written_comments.count(description) != 0 ||
           removed.count(description.empty() ? std::string("comment") : "comment " + description) != 0;
  };
  const auto written_anew = [&](const frame& kept) {
    ++work;
    const char kind = char(kept.id >> 24);
    const bool one_per_id =
        (kind == 'T' && kept.id != frame_id("TXXX")) || (kind == 'W' && kept.id != frame_id("WXXX"));
    if (one_per_id) return replaced(kept) && (kept.is_raw() || fields_of_frame(kept, version).empty());
    if (kept.id == frame_id("USLT") || kept.id == frame_id("POPM"))
      return replaced(kept) && cannot_be_read(kept, version);
    if (kept.id == frame_id("COMM")) {
      if (!cannot_be_read(kept, version)) return false;
      std::string description;
      return comment_replaced("") || (comment_description(kept, description) && comment_replaced(description));
    }
    if (kept.id != frame_id("TXXX") || !fields_of_frame(kept, version).empty()) return false;
    const std::string description = id3v2_strip_trailing_index(user_description(kept));
    return !description.empty() && (written_fields.count(description) != 0 || removed.count(description) != 0);
  };
  keep.erase(std::remove_if(keep.begin(), keep.end(), written_anew), keep.end());
}

}  // namespace

void id3v2_frames_from_fields(const id3v2_write_options& options, id3parser::tag& t, tag_field_map fields) {
  std::size_t steps = 0;
  id3v2_refuse_losing_stacked_frames(t);
  const unsigned old_version = t.version;
  const id3v2_frame_places places(t.frames);
  if (t.version == 2) {
    // Its frames took their later forms when it was read; they are kept or
    // replaced as those of a version 2.3 tag are.
    id3v2_refuse_v22_frames_without_later_form(t);
    t.version = 3;
    id3v2_reencode_comments_for_v23(t);
  } else if (t.version != 3 && t.version != 4) {
    t.version = 3;
    id3v2_downgrade_frames(t, 3);
  }
  std::uint8_t encoding = options.encoding;
  if (encoding == 2 || (t.version == 3 && encoding == 3)) encoding = 1;

  // The album artist a compilation shows is the reading's, not the tag's.
  const tag_field_map::values* album_artist = fields.find("album artist");
  if (album_artist && is_shown_compilation_album_artist(*album_artist) && fields.has("itunescompilation") &&
      std::none_of(t.frames.begin(), t.frames.end(), [](const frame& f) { return f.id == frame_id("TPE2"); }))
    fields.remove("album artist");

  spellings old_user_names;
  for (const frame& f : t.frames) {
    ++steps;
    if (f.id != frame_id("TXXX") || f.is_raw()) continue;
    try {
      const std::string name = id3v2_text_value(f, 0, false);
      old_user_names.emplace(name, name);
    } catch (const id3parser::parseError&) {
    }
  }
  std::vector<frame> side = std::move(t.frames);
  t.frames.clear();
  std::vector<frame> keep;
  const unsigned read_as = old_version == 0 ? t.version : old_version;
  name_set removed;
  keep_frames_of_unchanged_fields(side, keep, read_as, fields, removed, steps);
  std::vector<frame> ratings;
  if (!options.no_rating) ratings = take_changed_ratings(side, fields, steps);
  std::vector<user_frame_values> routed;
  route_changed_values(side, keep, read_as, fields, routed, steps);
  keep_unchanged_frames(side, keep, read_as, t.version, fields, steps);

  name_set written_fields;
  for (const auto& entry : fields.all()) written_fields.insert(entry.first);
  for (const user_frame_values& u : routed) written_fields.insert(u.description);
  frame_builder b(t, fields, encoding, std::move(old_user_names));
  for (const user_frame_values& u : routed) b.user_defined(u.description, u.values);
  b.multi(frame_id("TIT1"), "content group");
  b.single(frame_id("TIT2"), "title");
  b.single(frame_id("TIT3"), "subtitle");
  b.single(frame_id("TSST"), "set subtitle");
  b.single(frame_id("TALB"), "album");
  b.single(frame_id("TSRC"), "isrc");
  b.single(frame_id("TENC"), "encoded by");
  b.single(frame_id("TCOP"), "copyright");
  b.single(frame_id("TPUB"), "publisher");
  b.single(frame_id("TOWN"), "owner");
  b.single(frame_id("TRSN"), "radio station");
  b.single(frame_id("TRSO"), "radio station owner");
  b.single(frame_id("TSSE"), "encoding settings");
  b.single(frame_id("TBPM"), "bpm");
  b.single(frame_id("TMED"), "media type");
  b.single(frame_id("TKEY"), "initial key");
  b.multi(frame_id("TSOT"), "titlesortorder");
  b.multi(frame_id("TSOP"), "artistsortorder");
  b.multi(frame_id("TSOA"), "albumsortorder");
  b.multi(frame_id("TSO2"), "albumartistsortorder");
  b.multi(frame_id("TSOC"), "composersortorder");
  b.single(frame_id("TLAN"), "language");
  b.lyrics();
  b.genre();
  b.url(frame_id("WCOM"), "commercial information url");
  b.url(frame_id("WCOP"), "copyright url");
  b.url(frame_id("WOAF"), "file webpage url");
  b.url(frame_id("WOAR"), "artist webpage url");
  b.url(frame_id("WOAS"), "source webpage url");
  b.url(frame_id("WORS"), "internet radio webpage url");
  b.url(frame_id("WPAY"), "payment url");
  b.url(frame_id("WPUB"), "publisher url");
  b.single(frame_id("TCMP"), "itunescompilation");
  if (t.version == 3) {
    b.v3_date(options.date_as_is);
    b.original_year();
    b.single(frame_id("TRDA"), "recording dates");
  } else {
    b.timestamp(frame_id("TDRC"), "date");
    b.timestamp(frame_id("TDOR"), "original release date");
    b.multi(frame_id("TIPL"), "involved people");
    b.multi(frame_id("TMCL"), "musician credits");
    // Version 2.3 has no mood frame; there it stays a user-defined one.
    b.multi(frame_id("TMOO"), "mood");
  }
  b.timestamp(frame_id("TDRL"), "release date");
  b.number(frame_id("TRCK"), "tracknumber", "totaltracks");
  b.number(frame_id("TPOS"), "discnumber", "totaldiscs");
  b.multi(frame_id("TOPE"), "original artist");
  b.multi(frame_id("TOAL"), "original album");
  b.multi(frame_id("TPE1"), "artist");
  b.multi(frame_id("TPE2"), "album artist");
  b.multi(frame_id("TPE3"), "conductor");
  b.multi(frame_id("TPE4"), "remixed by");
  b.multi(frame_id("TCOM"), "composer");
  b.multi(frame_id("TEXT"), "lyricist");
  if (!options.no_rating) b.rating(std::move(ratings));
  b.remaining();
  steps += keep.size() + t.frames.size();
  drop_frames_written_anew(keep, t.frames, written_fields, removed, read_as, steps);
  for (frame& f : keep) t.frames.push_back(std::move(f));
  qiv::count_work_steps(steps);
  places.put_in_place(t.frames);
}

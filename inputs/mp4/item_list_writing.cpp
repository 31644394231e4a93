// Writing the item list: the items whose fields are as read, as they were;
// numbers and genres in their binary items, mapped fields as text items,
// everything else as freeform items under the "com.apple.iTunes" vendor; the
// cover and the items kept unparsed. Each keeps its place in the list.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "foundation/work_steps.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/item_keys.h"
#include "inputs/mp4/item_list.h"
#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/user_defined_names.h"

namespace tarnex {

namespace {

// Genres written as a "gnre" number: the classic list only, which every
// reader of the number knows.
constexpr int gnre_genre_count = 80;

constexpr std::uint32_t type_binary = 0, type_utf8 = 1, type_jpeg = 13, type_png = 14, type_integer = 21;

using field_map = std::map<std::string, tag_fields::entry, ascii_nocase_less>;

void append_data_box(byte_buffer& out, std::uint32_t type_code, const byte_buffer& value) {
  byte_buffer payload;
  append_u32(payload, type_code);  // version 0
  append_u32(payload, 0);          // locale
  payload += value;
  append_box(out, fourcc("data"), payload);
}

void append_item(byte_buffer& out, std::uint32_t key, std::uint32_t type_code, const byte_buffer& value) {
  byte_buffer data;
  append_data_box(data, type_code, value);
  append_box(out, key, data);
}

// Several values of one field go into one item, a "data" child each: other
// taggers read a repeated item as one value replacing the one before.
void append_text_item(byte_buffer& out, std::uint32_t key, const std::vector<std::string>& values) {
  byte_buffer data;
  for (const std::string& value : values) append_data_box(data, type_utf8, value);
  append_box(out, key, data);
}

void append_freeform_item(byte_buffer& out, const std::string& name, const std::vector<std::string>& values) {
  byte_buffer item, mean, label;
  append_u32(mean, 0);
  mean += "com.apple.iTunes";
  append_box(item, fourcc("mean"), mean);
  append_u32(label, 0);
  label += name;
  append_box(item, fourcc("name"), label);
  for (const std::string& value : values) append_data_box(item, type_utf8, value);
  append_box(out, fourcc("----"), item);
}

// The names the file's freeform items give their fields, the first item's
// spelling of each.
using freeform_names = std::set<std::string, ascii_nocase_less>;

freeform_names freeform_names_read(const ilst_metadata& metadata, std::size_t& work) {
  freeform_names names;
  for (const item_as_read& item : metadata.items_as_read) {
    ++work;
    if (item.key != fourcc("----")) continue;
    for (const auto& [name, entry] : item.gave.entries()) names.insert(name);
  }
  return names;
}

// A freeform item keeps the name the file gives it (readers look it up as
// written); one made anew takes the name other taggers write.
std::string freeform_name(const freeform_names& read, const std::string& field, bool multi_valued) {
  if (!multi_valued && equals_ascii_nocase(field, "codec")) return "cdec";
  const auto found = read.find(field);
  return found != read.end() ? *found : user_defined_name_for(field);
}

// Leading decimal digits after optional blanks and a sign, 0 when there
// are none (so "00120 BPM" is 120).
long decimal_value(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value < 100000000) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

bool all_digits(const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; }

// Takes the field out of `fields` when it holds exactly one value (and, for
// numbers, one made of digits); answers that value, empty otherwise.
std::string take_single(field_map& fields, const char* name, bool number) {
  const auto found = fields.find(name);
  if (found == fields.end() || found->second.values.size() != 1) return std::string();
  std::string value = found->second.values.front();
  if (number && !all_digits(value)) return std::string();
  fields.erase(found);
  return value;
}

std::uint32_t picture_type_code(const std::string& bytes) {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1A\n", 8) == 0) return type_png;
  if (bytes.size() >= 2 && std::memcmp(bytes.data(), "\xFF\xD8", 2) == 0) return type_jpeg;
  return type_binary;
}

void append_number_pair(byte_buffer& out, std::uint32_t key, const std::string& number, const std::string& total,
                        bool trailing_zero) {
  byte_buffer value;
  append_u16(value, 0);
  append_u16(value, std::uint32_t(decimal_value(number)));
  append_u16(value, std::uint32_t(decimal_value(total)));
  if (trailing_zero) append_u16(value, 0);
  append_item(out, key, type_binary, value);
}

// The items as read that go back as they were, in file order; the fields
// they hold are taken out of `fields`. An item stays while every field it
// gave holds the values read from all the items that gave it. A field stays
// with its items only when all of them stay: an item that goes (another of
// its fields changed, as a track total beside its number) would take some
// of the field's values with it, so the field is written anew instead.
std::vector<const item_as_read*> take_unchanged_items(const std::vector<item_as_read>& items, field_map& fields,
                                                     std::size_t& work) {
  field_map as_read;
  for (const item_as_read& item : items)
    for (const auto& [name, entry] : item.gave.entries())
      for (const std::string& value : entry.values) {
        ++work;
        as_read[name].values.push_back(value);
      }
  const auto unchanged = [&](const std::string& name) {
    ++work;
    const auto now = fields.find(name);
    return now != fields.end() && now->second.values == as_read[name].values;
  };
  // An item that goes takes with it every item it shares a field with, and
  // theirs in turn: the fields of the items that go, gathered as they are
  // found, tell the items still staying which of them must go too.
  std::vector<bool> stays(items.size());
  std::set<std::string, ascii_nocase_less> going_fields;
  std::vector<std::size_t> going;
  for (std::size_t i = 0; i < items.size(); ++i) {
    stays[i] = true;
    for (const auto& [name, entry] : items[i].gave.entries()) stays[i] = stays[i] && unchanged(name);
    if (!stays[i]) going.push_back(i);
  }
  std::map<std::string, std::vector<std::size_t>, ascii_nocase_less> items_giving;
  for (std::size_t i = 0; i < items.size(); ++i)
    for (const auto& [name, entry] : items[i].gave.entries()) items_giving[name].push_back(i);
  while (!going.empty()) {
    const std::size_t i = going.back();
    going.pop_back();
    for (const auto& [name, entry] : items[i].gave.entries()) {
      if (!going_fields.insert(name).second) continue;
      for (const std::size_t j : items_giving[name]) {
        ++work;
        if (stays[j]) stays[j] = false, going.push_back(j);
      }
    }
  }
  std::vector<const item_as_read*> kept;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!stays[i]) continue;
    kept.push_back(&items[i]);
    for (const auto& [name, entry] : items[i].gave.entries()) fields.erase(name);
  }
  return kept;
}

// What an item stands for: its key, and a freeform item's name. Both genre
// keys stand for the one genre.
struct item_kind {
  std::uint32_t key;
  std::string freeform_name;

  item_kind(std::uint32_t item_key, const std::string& name)
      : key(item_key == fourcc("gnre") ? fourcc("\xA9gen") : item_key), freeform_name(name) {
    for (char& c : freeform_name)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  bool operator<(const item_kind& other) const {
    return std::tie(key, freeform_name) < std::tie(other.key, other.freeform_name);
  }
};

// The kind of item that stands for a field: the number, flag and genre
// items for theirs, a text item where the field has a key, else a freeform
// item.
item_kind kind_of_field(const std::string& name, bool multi_valued, const freeform_names& freeform_read) {
  static constexpr std::pair<const char*, std::uint32_t> own_items[] = {
      {"track", fourcc("trkn")},      {"tracknumber", fourcc("trkn")},       {"totaltracks", fourcc("trkn")},
      {"disc", fourcc("disk")},       {"discnumber", fourcc("disk")},        {"totaldiscs", fourcc("disk")},
      {"tempo", fourcc("tmpo")},      {"itunescompilation", fourcc("cpil")}, {"itunespodcast", fourcc("pcst")},
      {"genre", fourcc("\xA9gen")},
  };
  for (const auto& [field, key] : own_items)
    if (equals_ascii_nocase(name, field)) return {key, ""};
  if (const std::uint32_t key = item_key_for_field(name)) return {key, ""};
  return {fourcc("----"), freeform_name(freeform_read, name, multi_valued)};
}

// The items in the order they go into the list: each kept item, the cover
// and each unparsed item at its old place, an item made anew at the place of
// the first old item that gave one of its fields, or else of the unparsed
// item of its kind it replaces (so that a changed field does not move its
// item and the same edit made twice gives the same bytes), and items of new
// fields after them all. An unparsed item of a kind the edit writes goes:
// readers that take the first of two items of one key (TagLib) would show
// it instead of the new one. So does one of a field the edit removes, which
// they would still show.
class placed_items {
  // Larger than any text field of a common tag: pictures, lyrics, binary
  // blobs. A small picture keeps its place like any other item.
  static bool is_bulky(const byte_buffer& item) { return item.size() >= 1024; }

public:
  static constexpr std::size_t after_the_others = ~std::size_t(0);

  // `kept` in file order, as take_unchanged_items gives it.
  placed_items(const std::vector<item_as_read>& as_read, const std::vector<const item_as_read*>& kept,
               const std::vector<raw_item>& unparsed, std::size_t& work) {
    for (const raw_item& raw : unparsed) {
      ++work;
      unparsed_places_.emplace(item_kind(raw.key, raw.freeform_name), raw.place);
    }
    auto next_kept = kept.begin();
    for (const item_as_read& item : as_read) {
      ++work;
      if (next_kept != kept.end() && *next_kept == &item) {
        ++next_kept;
        continue;
      }
      for (const auto& [name, entry] : item.gave.entries()) {
        const auto [first, added] = first_place_gone_.emplace(name, item.place);
        if (!added) first->second = std::min(first->second, item.place);
      }
    }
  }

  void add(std::size_t place, byte_buffer bytes) { items_.push_back({place, std::move(bytes)}); }

  // An item made anew of `kind` that holds the given fields.
  void add_new(const item_kind& kind, std::initializer_list<std::string> fields, byte_buffer bytes) {
    std::size_t place = after_the_others;
    for (const std::string& name : fields)
      if (const auto gone = first_place_gone_.find(name); gone != first_place_gone_.end())
        place = std::min(place, gone->second);
    if (const auto replaced = unparsed_places_.find(kind); replaced != unparsed_places_.end())
      place = std::min(place, replaced->second);
    replaced_.insert(kind);
    add(place, std::move(bytes));
  }

  // The unparsed items of `kind` go with a field the edit removes.
  void remove_unparsed(const item_kind& kind) { replaced_.insert(kind); }

  // An unparsed item keeps its place unless its kind was made anew or removed.
  void add_unparsed(const raw_item& raw, byte_buffer bytes) {
    if (replaced_.count(item_kind(raw.key, raw.freeform_name)) == 0) add(raw.place, std::move(bytes));
  }

  // Text items lead the list and bulky ones close it, each kind in its
  // places: a text edit then moves the list's start, not a byte of a
  // picture. Answers where the text items end in `out`.
  std::size_t append_to(byte_buffer& out) {
    std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
      return std::pair(is_bulky(a.second), a.first) < std::pair(is_bulky(b.second), b.first);
    });
    std::size_t text_end = out.size();
    for (const auto& [place, bytes] : items_) {
      out += bytes;
      if (!is_bulky(bytes)) text_end = out.size();
    }
    return text_end;
  }

private:
  // The place of the first item gone that gave each field.
  std::map<std::string, std::size_t, ascii_nocase_less> first_place_gone_;
  // The first place of the unparsed items of each kind.
  std::map<item_kind, std::size_t> unparsed_places_;
  std::set<item_kind> replaced_;
  std::vector<std::pair<std::size_t, byte_buffer>> items_;
};

// The "covr" items at their places, each as read: an edit that changes or
// removes the front cover changes only the picture that gave it, so the
// other pictures, in that item or others, stay. An item left without a
// picture goes.
void add_cover_items(const ilst_metadata& metadata, const cover_picture* front_cover, placed_items& items) {
  const std::vector<cover_item>& covers = metadata.cover_items;
  if (covers.empty()) {
    if (!front_cover) return;
    byte_buffer item;
    append_item(item, fourcc("covr"), picture_type_code(front_cover->bytes), front_cover->bytes);
    items.add(placed_items::after_the_others, std::move(item));
    return;
  }
  const bool front_cover_kept = front_cover && front_cover->bytes == metadata.front_cover_as_read;
  for (const cover_item& cover : covers) {
    byte_buffer item;
    if (&cover != &covers.back() || front_cover_kept) {
      append_box(item, fourcc("covr"), cover.payload);
    } else {
      if (!front_cover && cover.pictures <= 1) continue;
      const std::string_view payload = cover.payload;
      const std::size_t at = open_box(item, fourcc("covr"));
      item += payload.substr(0, cover.shown_start);
      if (front_cover) append_data_box(item, picture_type_code(front_cover->bytes), front_cover->bytes);
      item += payload.substr(cover.shown_end);
      close_box(item, at);
    }
    items.add(cover.place, std::move(item));
  }
}

std::size_t append_item_list(const ilst_metadata& metadata, const tag_fields& to_write,
                             const cover_picture* front_cover, byte_buffer& out) {
  // Items visited, fields compared and places looked up count as work
  // steps: an edit costs work linear in the list's size.
  std::size_t work = 0;
  field_map fields = to_write.entries();
  const std::vector<const item_as_read*> kept = take_unchanged_items(metadata.items_as_read, fields, work);
  placed_items items(metadata.items_as_read, kept, metadata.raw_items, work);
  for (const item_as_read* item : kept) {
    byte_buffer bytes;
    append_box(bytes, item->key, item->payload);
    items.add(item->place, std::move(bytes));
  }
  std::string track = take_single(fields, "track", true);
  const std::string tracknumber = take_single(fields, "tracknumber", true);
  std::string disc = take_single(fields, "disc", true);
  const std::string discnumber = take_single(fields, "discnumber", true);
  if (track.empty()) track = tracknumber;
  if (disc.empty()) disc = discnumber;
  // A total without its number has no item of its own: it stays a field and
  // is written as a freeform item below instead of being dropped.
  const std::string totaltracks = track.empty() ? std::string() : take_single(fields, "totaltracks", true);
  const std::string totaldiscs = disc.empty() ? std::string() : take_single(fields, "totaldiscs", true);
  const std::string genre = take_single(fields, "genre", false);
  const std::string tempo = take_single(fields, "tempo", false);
  const std::string compilation = take_single(fields, "itunescompilation", false);
  const std::string podcast = take_single(fields, "itunespodcast", false);

  byte_buffer item;
  if (!track.empty()) {
    append_number_pair(item, fourcc("trkn"), track, totaltracks, true);
    items.add_new({fourcc("trkn"), ""}, {"track", "tracknumber", "totaltracks"}, std::move(item));
  }
  if (!disc.empty()) {
    item.clear();
    append_number_pair(item, fourcc("disk"), disc, totaldiscs, false);
    items.add_new({fourcc("disk"), ""}, {"disc", "discnumber", "totaldiscs"}, std::move(item));
  }
  if (!tempo.empty()) {
    byte_buffer value;
    append_u16(value, std::uint32_t(decimal_value(tempo)));
    item.clear();
    append_item(item, fourcc("tmpo"), type_integer, value);
    items.add_new({fourcc("tmpo"), ""}, {"tempo"}, std::move(item));
  }
  for (const auto& [flag, key, name] : {std::tuple{&compilation, fourcc("cpil"), "itunescompilation"},
                                        std::tuple{&podcast, fourcc("pcst"), "itunespodcast"}}) {
    if (flag->empty()) continue;
    item.clear();
    append_item(item, key, type_integer, byte_buffer(1, char(decimal_value(*flag) & 0xFF)));
    items.add_new({key, ""}, {name}, std::move(item));
  }
  if (!genre.empty()) {
    const int index = id3v1_genre_index(genre.c_str());
    item.clear();
    if (index >= 0 && index < gnre_genre_count) {
      byte_buffer value;
      append_u16(value, std::uint32_t(index + 1));
      append_item(item, fourcc("gnre"), type_binary, value);
    } else {
      append_item(item, fourcc("\xA9gen"), type_utf8, genre);
    }
    items.add_new({fourcc("gnre"), ""}, {"genre"}, std::move(item));
  }
  const freeform_names freeform_read = freeform_names_read(metadata, work);
  for (const auto& [name, entry] : fields) {
    ++work;
    if (entry.values.empty()) continue;
    // Several genres go into the text item, as other taggers store a list:
    // the number item holds one.
    const std::uint32_t key = equals_ascii_nocase(name, "genre") ? fourcc("\xA9gen") : item_key_for_field(name);
    item.clear();
    if (key != 0) {
      append_text_item(item, key, entry.values);
      items.add_new({key, ""}, {name}, std::move(item));
      continue;
    }
    const std::string stored_name = freeform_name(freeform_read, name, entry.multi_valued);
    append_freeform_item(item, stored_name, entry.values);
    items.add_new({fourcc("----"), stored_name}, {name}, std::move(item));
  }
  for (const item_as_read& read : metadata.items_as_read)
    for (const auto& [name, entry] : read.gave.entries()) {
      ++work;
      const tag_fields::entry* now = to_write.find(name);
      if (now == nullptr || now->values.empty())
        items.remove_unparsed(kind_of_field(name, entry.multi_valued, freeform_read));
    }
  add_cover_items(metadata, front_cover, items);
  for (const raw_item& raw : metadata.raw_items) {
    item.clear();
    append_box(item, raw.key, raw.payload);
    items.add_unparsed(raw, std::move(item));
  }
  qiv::count_work_steps(work + kept.size());
  return items.append_to(out);
}

}  // namespace

void write_meta_box(const ilst_metadata& metadata, byte_buffer& out) {
  write_meta_box(metadata, metadata.fields, metadata.front_cover ? &*metadata.front_cover : nullptr, out);
}

text_item_span write_meta_box(const ilst_metadata& as_read, const tag_fields& fields, const cover_picture* front_cover,
                              byte_buffer& out, std::uint32_t room, room_place place) {
  append_u32(out, 0);  // version and flags
  byte_buffer handler;
  append_u32(handler, 0);
  append_u32(handler, 0);
  append_fourcc(handler, fourcc("mdir"));
  append_fourcc(handler, fourcc("appl"));
  append_u32(handler, 0);
  append_u32(handler, 0);
  append_u8(handler, 0);
  append_box(out, fourcc("hdlr"), handler);
  text_item_span span;
  span.start = out.size();
  if (room != 0 && place == room_place::before_list) append_free_box(out, room);
  const std::size_t list = open_box(out, fourcc("ilst"));
  span.end = append_item_list(as_read, fields, front_cover, out);
  close_box(out, list);
  if (room != 0 && place == room_place::after_list) append_free_box(out, room);
  return span;
}

}  // namespace tarnex

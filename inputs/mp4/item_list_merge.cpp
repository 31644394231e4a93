#include "inputs/mp4/item_list_merge.h"

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

// Readers look a freeform item's vendor and name up with letters folded.
std::string folded(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// What an item stands for, as readers tell items apart: its key (both genre
// keys are the one genre), and a freeform item's vendor and name (no vendor
// being the iTunes one, as the reader takes it).
std::string kind_of_item(std::uint32_t key, const std::string& payload) {
  if (key == fourcc("gnre")) key = fourcc("\xA9gen");
  byte_buffer kind;
  append_fourcc(kind, key);
  if (key != fourcc("----")) return kind;
  std::string mean, name;
  try {
    for_each_child(payload, [&](std::uint32_t type, std::string_view content) {
      if (content.size() < 4) return;
      if (type == fourcc("mean")) mean = folded(content.substr(4));
      if (type == fourcc("name")) name = folded(content.substr(4));
    });
  } catch (const exception&) {
    return kind + payload;  // an item of its own
  }
  if (mean.empty()) mean = "com.apple.itunes";
  return kind + mean + '\0' + name;
}

// An unmapped item as stored: its key and payload.
byte_buffer stored(const raw_item& raw) {
  byte_buffer bytes;
  append_fourcc(bytes, raw.key);
  return bytes + raw.payload;
}

bool holds_any_field_of(const tag_fields& fields, const tag_fields& gave) {
  for (const auto& [name, entry] : gave.entries())
    if (fields.find(name) != nullptr) return true;
  return false;
}

}  // namespace

void merge_item_list(ilst_metadata& into, ilst_metadata&& later) {
  const std::size_t offset = into.items_read;
  into.items_read += later.items_read;

  std::set<std::string> kinds_held, unmapped_held;
  for (const item_as_read& item : into.items_as_read) kinds_held.insert(kind_of_item(item.key, item.payload));
  for (const raw_item& raw : into.raw_items) {
    kinds_held.insert(kind_of_item(raw.key, raw.payload));
    unmapped_held.insert(stored(raw));
  }

  // The player shows the first list's value of a field both hold: the
  // later items that gave it go, and with them what else they gave, which
  // the fields below still carry and an edit writes anew.
  for (item_as_read& item : later.items_as_read) {
    if (holds_any_field_of(into.fields, item.gave)) continue;
    item.place += offset;
    into.items_as_read.push_back(std::move(item));
  }
  for (const auto& [name, entry] : later.fields.entries())
    if (into.fields.find(name) == nullptr) into.fields.set(name, entry);

  for (raw_item& raw : later.raw_items) {
    if (unmapped_held.count(stored(raw))) continue;  // the same item twice
    if (kinds_held.count(kind_of_item(raw.key, raw.payload))) {
      into.unmergeable = true;
      continue;
    }
    raw.place += offset;
    into.raw_items.push_back(std::move(raw));
  }

  if (later.cover_items.empty()) return;
  if (into.cover_items.empty()) {
    for (cover_item& cover : later.cover_items) {
      cover.place += offset;
      into.cover_items.push_back(std::move(cover));
    }
    into.front_cover = std::move(later.front_cover);
    into.front_cover_as_read = std::move(later.front_cover_as_read);
    return;
  }
  const bool same_covers = std::equal(into.cover_items.begin(), into.cover_items.end(), later.cover_items.begin(),
                                      later.cover_items.end(),
                                      [](const cover_item& a, const cover_item& b) { return a.payload == b.payload; });
  if (!same_covers) into.unmergeable = true;
}

}  // namespace tarnex

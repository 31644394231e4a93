#include "inputs/mp4/item_keys.h"

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/tag_fields.h"

namespace tarnex {

namespace {

struct key_row {
  const char* key;  // \xA9 is the copyright sign that starts the classic keys
  const char* field;
};

constexpr key_row rows[] = {
    {"\xA9nam", "title"},           {"\xA9" "ART", "artist"},       {"\xA9wrt", "composer"},
    {"\xA9" "alb", "album"},        {"\xA9" "day", "year"},         {"\xA9too", "tool"},
    {"\xA9" "cmt", "comment"},      {"\xA9grp", "contentgroup"},    {"\xA9lyr", "lyrics"},
    {"aART", "album artist"},       {"soar", "artistsortorder"},    {"soal", "albumsortorder"},
    {"sonm", "titlesortorder"},     {"soaa", "albumartistsortorder"}, {"soco", "composersortorder"},
    {"cprt", "copyright"},          {"purd", "purchasedate"},       {"apID", "purchaseaccount"},
};

std::uint32_t key_of(const char* key) {
  return (std::uint32_t(std::uint8_t(key[0])) << 24) | (std::uint32_t(std::uint8_t(key[1])) << 16) |
         (std::uint32_t(std::uint8_t(key[2])) << 8) | std::uint32_t(std::uint8_t(key[3]));
}

}  // namespace

const char* field_for_item_key(std::uint32_t key) {
  for (const key_row& row : rows)
    if (key_of(row.key) == key) return row.field;
  return nullptr;
}

std::uint32_t item_key_for_field(const std::string& name) {
  for (const key_row& row : rows)
    if (equals_ascii_nocase(name, row.field)) return key_of(row.key);
  return 0;
}

}  // namespace tarnex

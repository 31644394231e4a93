#include "playback/decoders/ogg_comment_fields.h"

#include <cstring>

#include "foundation/utf8.h"
#include "metadata/tags/comment_block.h"
#include "metadata/track_info.h"

bool ogg_comment_fields::split(const char* text, std::size_t length, std::string& name, const char*& value,
                               std::size_t& value_length) {
  if (!text || !qiv::is_valid_utf8(text, length)) return false;
  const void* equals = std::memchr(text, '=', length);
  if (!equals || equals == text) return false;
  name.assign(text, static_cast<const char*>(equals));
  value = static_cast<const char*>(equals) + 1;
  value_length = length - name.size() - 1;
  return true;
}

bool ogg_comment_fields::is_picture(const char* text, std::size_t length) {
  const void* equals = text ? std::memchr(text, '=', length) : nullptr;
  return equals && comment_is_picture_name(text, static_cast<std::size_t>(static_cast<const char*>(equals) - text));
}

void ogg_comment_fields::add(const char* text, std::size_t length) {
  if (is_picture(text, length)) return;
  std::string stored;
  const char* value;
  std::size_t value_length;
  if (!split(text, length, stored, value, value_length)) return;
  const char* name = comment_name_from_storage(stored.c_str());
  if (info_.try_set_replaygain(name, value, value_length)) return;
  fields_.add_value(name, value, value_length);
}

void ogg_comment_fields::finish() {
  fields_.canonicalize();
  info_.remove_all_fields();
  fields_.apply_to_info(info_);
}

#include "metadata/album_art_data.h"

#include <cstring>

album_art_data_ptr album_art_data::create_from_buffer(const void* bytes, std::uint32_t size) {
  album_art_data_ptr picture(new album_art_data());
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  if (size) picture->bytes_.assign(first, first + size);
  return picture;
}

bool album_art_map::get(const GUID& type, album_art_data_ptr& out) const {
  const auto* node = tree_.find(type);
  if (!node) return false;
  out = node->value;
  return true;
}

void album_art_map::set(const GUID& type, const album_art_data_ptr& picture) {
  tree_.insert(type).node->value = picture;
}

album_art_map& album_art_map::operator=(const album_art_map& other) {
  if (this == &other) return *this;
  tree_.clear();
  other.for_each([this](const GUID& type, const album_art_data_ptr& picture) { set(type, picture); });
  return *this;
}

exception_album_art_not_found::exception_album_art_not_found()
    : exception_io_not_found(vantrel_io::io_message("exception_album_art_not_found", "Attached picture not found")) {}

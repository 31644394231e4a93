// The pictures embedded in a file: one counted copy of each picture's bytes,
// kept per album-art type (front cover, back cover ...) in a map keyed by the
// type's GUID. Pictures travel between the playback thread, workers and the
// main thread, so only their counts are shared.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "foundation/avl_tree.h"
#include "foundation/refcounted.h"
#include "io/io_exceptions.h"

class album_art_data final : public qiv::refcounted_object {
public:
  static qiv::ref_ptr<album_art_data> create_from_buffer(const void* bytes, std::uint32_t size);

  const std::uint8_t* get_ptr() const noexcept { return bytes_.data(); }
  std::uint32_t get_size() const noexcept { return static_cast<std::uint32_t>(bytes_.size()); }

private:
  album_art_data() = default;
  ~album_art_data() override = default;
  std::vector<std::uint8_t> bytes_;
};

using album_art_data_ptr = qiv::ref_ptr<album_art_data>;

// At most one picture per type.
class album_art_map {
public:
  album_art_map() = default;
  album_art_map(const album_art_map& other) { *this = other; }
  album_art_map& operator=(const album_art_map& other);

  // False, and `out` untouched, when the map lacks the type.
  bool get(const GUID& type, album_art_data_ptr& out) const;
  void set(const GUID& type, const album_art_data_ptr& picture);
  bool remove(const GUID& type) { return tree_.remove(type); }
  std::uint32_t count() const noexcept { return tree_.count(); }
  void remove_all() noexcept { tree_.clear(); }

  // Visits the pictures in type order.
  template <class Visit>
  void for_each(Visit&& visit) const {
    for (auto* node = tree_.first(); node; node = tree_.step(node, true)) visit(node->key, node->value);
  }

private:
  qiv::avl_map<GUID, album_art_data_ptr, qiv::guid_order> tree_;
};

// What an input throws when the wanted picture type is absent.
class exception_album_art_not_found : public vantrel_io::exception_io_not_found {
public:
  exception_album_art_not_found();
};

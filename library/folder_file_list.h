// The files of one folder in a folder tree, kept flat: the entries sorted by
// name in one vector, their names back to back in one text. A library of
// 100,000 files would otherwise pay a tree node and a string for each.
//
// Adding or removing an entry moves the others and may move the names: a
// reference to an entry, or a name, holds only until the list next changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/compact_handle_list.h"

struct folder_tree_file {
  std::uint64_t file_time = 0;  // last-write time when the tracks were read; 0 = never
  compact_handle_list handles;
  DWORD attributes = 0;

private:
  friend class folder_file_list;
  std::uint32_t name_at = 0;  // where the name starts in the list's names
};

class folder_file_list {
public:
  using iterator = std::vector<folder_tree_file>::iterator;
  using const_iterator = std::vector<folder_tree_file>::const_iterator;

  // In byte-wise name order.
  iterator begin() noexcept { return files_.begin(); }
  iterator end() noexcept { return files_.end(); }
  const_iterator begin() const noexcept { return files_.begin(); }
  const_iterator end() const noexcept { return files_.end(); }
  std::size_t size() const noexcept { return files_.size(); }
  bool empty() const noexcept { return files_.empty(); }

  // The entry's name, NUL-terminated.
  const char* name_of(const folder_tree_file& file) const noexcept { return names_.data() + file.name_at; }

  folder_tree_file* find(std::string_view name) noexcept;
  // The entry of `name`, made empty when there was none.
  folder_tree_file& insert(std::string_view name);
  // An empty entry for `name` after the others, whatever their order:
  // until restore_order, the list offers nothing but appending.
  folder_tree_file& append(std::string_view name);
  // Sorts entries appended out of order; of one name, the last appended
  // stays.
  void restore_order();
  // False when there was no such entry.
  bool erase(std::string_view name) noexcept;
  void clear() noexcept;
  // Room for `count` entries more without moving them.
  void reserve(std::size_t count);
  // Gives back what growing or erasing left unused, once a folder is filled.
  void shrink_to_fit();

private:
  iterator lower_bound(std::string_view name) noexcept;
  // A new empty entry of `name` at `at`.
  folder_tree_file& emplace(iterator at, std::string_view name);
  // Drops the names of erased entries from the text.
  void pack_names();

  std::vector<folder_tree_file> files_;
  std::string names_;              // each name followed by a NUL
  std::size_t unused_name_bytes_ = 0;  // of erased entries
};

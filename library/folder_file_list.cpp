#include "library/folder_file_list.h"

#include <algorithm>
#include <utility>

folder_file_list::iterator folder_file_list::lower_bound(std::string_view name) noexcept {
  // std::string_view compares bytes as unsigned, as the name order of the
  // stored library file does.
  return std::lower_bound(files_.begin(), files_.end(), name,
                          [&](const folder_tree_file& file, std::string_view key) { return name_of(file) < key; });
}

folder_tree_file* folder_file_list::find(std::string_view name) noexcept {
  const iterator at = lower_bound(name);
  return at != files_.end() && name_of(*at) == name ? &*at : nullptr;
}

folder_tree_file& folder_file_list::insert(std::string_view name) {
  // Listings and the stored library give names in order: those go last.
  iterator at = files_.empty() || name_of(files_.back()) < name ? files_.end() : lower_bound(name);
  if (at != files_.end() && name_of(*at) == name) return *at;
  return emplace(at, name);
}

folder_tree_file& folder_file_list::append(std::string_view name) { return emplace(files_.end(), name); }

folder_tree_file& folder_file_list::emplace(iterator at, std::string_view name) {
  const std::size_t name_at = names_.size();
  names_.append(name);
  names_.push_back('\0');
  try {
    at = files_.emplace(at);
  } catch (...) {
    names_.resize(name_at);
    throw;
  }
  at->name_at = static_cast<std::uint32_t>(name_at);
  return *at;
}

void folder_file_list::restore_order() {
  // Each name is measured once, as the sort compares it many times.
  std::vector<std::pair<std::string_view, std::uint32_t>> order;
  order.reserve(files_.size());
  for (const folder_tree_file& file : files_)
    order.emplace_back(name_of(file), static_cast<std::uint32_t>(order.size()));
  const auto not_before = [](const auto& a, const auto& b) { return !(a.first < b.first); };
  if (std::adjacent_find(order.begin(), order.end(), not_before) == order.end()) return;
  // A stable sort keeps the entries of one name in the order they came.
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<folder_tree_file> kept;
  kept.reserve(files_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i + 1 < order.size() && order[i].first == order[i + 1].first) {
      unused_name_bytes_ += order[i].first.size() + 1;
      continue;
    }
    kept.push_back(std::move(files_[order[i].second]));
  }
  files_ = std::move(kept);
}

bool folder_file_list::erase(std::string_view name) noexcept {
  const iterator at = lower_bound(name);
  if (at == files_.end() || name_of(*at) != name) return false;
  unused_name_bytes_ += name.size() + 1;
  files_.erase(at);
  if (files_.empty()) {
    clear();
  } else if (unused_name_bytes_ > names_.size() / 2) {
    try {
      pack_names();
    } catch (...) {
      // No memory for the packed copy: the names stay where they are.
    }
  }
  return true;
}

void folder_file_list::clear() noexcept {
  files_.clear();
  names_.clear();
  unused_name_bytes_ = 0;
}

void folder_file_list::reserve(std::size_t count) { files_.reserve(files_.size() + count); }

void folder_file_list::shrink_to_fit() {
  // A little room is left alone: a folder rescanned often would otherwise
  // be copied each time for a few bytes.
  const auto roomy = [](std::size_t capacity, std::size_t size) { return capacity - size > size / 8; };
  if (roomy(names_.size(), names_.size() - unused_name_bytes_)) pack_names();
  if (roomy(files_.capacity(), files_.size())) files_.shrink_to_fit();
  if (roomy(names_.capacity(), names_.size())) names_.shrink_to_fit();
}

void folder_file_list::pack_names() {
  std::string packed;
  packed.reserve(names_.size() - unused_name_bytes_);
  for (folder_tree_file& file : files_) {
    const char* name = name_of(file);
    file.name_at = static_cast<std::uint32_t>(packed.size());
    packed.append(name);
    packed.push_back('\0');
  }
  names_ = std::move(packed);
  unused_name_bytes_ = 0;
}

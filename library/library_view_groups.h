// The groups of one level of a library view: each distinct key text with the
// tracks filed under it. Held flat (the keys one after another in one text,
// the tracks of every group in one list) so that grouping 100,000 tracks
// costs one sort instead of a tree node and a wide string per track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/nav_types.h"
#include "metadata/track_handle.h"

class library_view_groups {
public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  std::size_t size() const { return key_ends_.size(); }
  // The groups' keys are in UTF-16 code-unit order, each once.
  std::wstring_view key(std::size_t group) const {
    const std::size_t start = group == 0 ? 0 : key_ends_[group - 1] + 1;
    return {key_text_.data() + start, key_ends_[group] - start};
  }
  std::span<const track_handle_ptr> tracks(std::size_t group) const {
    return {tracks_.data() + starts_[group], tracks_.data() + starts_[group + 1]};
  }
  // The group of that key, or npos.
  std::size_t find(std::wstring_view key) const;
  // The groups in the system's natural order of their keys; keys it ranks
  // alike keep their code-unit order.
  std::vector<std::uint32_t> natural_order() const;
  void clear();

private:
  friend class library_view_grouper;
  void append_key(std::wstring_view key);
  // Ends the key appended to key_text_ since the last one.
  void end_key();

  std::wstring key_text_;  // every key, each followed by a NUL
  std::vector<std::uint32_t> key_ends_;  // where each key's NUL stands
  std::vector<std::uint32_t> starts_;  // where each group's tracks begin, and the end
  track_handle_list tracks_;
};

// Files tracks under UTF-8 key texts, then makes the groups in one go.
class library_view_grouper {
public:
  // Keeps a key text and answers its number. Adding a text again is allowed
  // (it joins the same group) but costs a sort place each time.
  std::uint32_t add_key(std::string_view text);
  // Files track `track_index` of the list given to finish under that key.
  void file(std::uint32_t key, std::uint32_t track_index) { filed_.emplace_back(key, track_index); }

  // The groups, one per distinct key text added, each group's tracks in the
  // order they were filed. The grouper and the tracks are spent.
  void finish(track_handle_list&& tracks, library_view_groups& out);

private:
  std::string text_;  // every key text, one after another
  std::vector<std::pair<std::uint32_t, std::uint32_t>> key_spans_;  // offset and length in text_
  std::vector<std::pair<std::uint32_t, std::uint32_t>> filed_;  // key, track index
};

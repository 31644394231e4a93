// One field of the tag editor: its name and its values in every track of the
// dialog. Tracks are numbered 0..N-1 in the dialog's order; a track that was
// never given values has none.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class field_display_context;

using value_list = std::vector<std::string>;

class edited_field {
public:
  static constexpr std::uint32_t all_tracks = ~std::uint32_t(0);

  edited_field() = default;
  edited_field(std::string name, std::uint32_t track_count) : name(std::move(name)), track_count(track_count) {}

  const value_list& values(std::uint32_t track) const;
  // A track whose values equal its neighbour's shares that list.
  void set_values(std::uint32_t track, value_list values);
  // Every track 0..N-1 gets these values, one list for all.
  void set_values_all(const value_list& values);
  // Changes every track's values, each shared list once.
  void transform_values(const std::function<void(value_list&)>& transform);
  // The tracks that have been given values, in order, with their values.
  template <typename Visit>
  void for_each_track(Visit&& visit) const {
    for (const auto& [track, list] : per_track_) visit(track, *list);
  }

  // Values joined by "; ".
  std::string joined_value(std::uint32_t track) const;
  bool all_identical() const;
  bool any_value() const;
  // The joined value when all tracks agree, else the distinct values after
  // the "multiple values" marker, cut after 100 values or 200 characters.
  std::string display_text() const;
  // Parses typed text by the field's kind: split at ";" and at line breaks
  // for a multi-value field, one value otherwise (inner line breaks kept),
  // none for an empty text. Line breaks at either end are dropped.
  void set_value(std::string_view text, std::uint32_t track, const field_display_context& context);

  std::string name;
  std::uint32_t track_count = 0;

private:
  // Keyed by track index; filled only as tracks get values. Lists are never
  // changed once stored, only replaced: a field copies cheaply, and many
  // tracks with the same thousands of values hold them once.
  std::map<std::uint32_t, std::shared_ptr<const value_list>> per_track_;
};

using edited_field_ptr = std::shared_ptr<edited_field>;
using edited_field_list = std::vector<edited_field_ptr>;

// ";" separates values; leading spaces of each piece go, trailing ones stay,
// empty pieces are kept as empty values.
value_list split_values(std::string_view text);

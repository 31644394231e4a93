// A read-only copy of a track_info in one memory block. The properties
// dialog and several inputs keep many of these at once: one allocation per
// track, and the common field names point at shared static texts instead of
// being copied. Every write operation is a fatal internal error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "metadata/track_info.h"

class compact_track_info final : public track_info {
public:
  // Tracks with this many fields or more get a sorted name index; fewer are
  // searched linearly, which is faster for them.
  static constexpr std::uint32_t index_threshold = 21;

  compact_track_info() = default;
  explicit compact_track_info(const track_info& source) { copy_from(source); }
  compact_track_info(const compact_track_info& other) : track_info() { copy_from(other); }
  compact_track_info& operator=(const compact_track_info& other) {
    if (this != &other) copy_from(other);
    return *this;
  }

  // Replaces the content by a copy of `source`; on failure (no memory) the
  // old content stays.
  void copy_from(const track_info& source);

  // Whether a name points at the shared table rather than into the block.
  static bool is_shared_name(const char* name) noexcept;
  bool has_index() const noexcept { return index_ != nullptr; }

  double get_length() const override { return length_; }
  replaygain_info get_replaygain() const override { return replaygain_; }
  std::uint32_t field_count() const override { return field_count_; }
  const char* field_name(std::uint32_t field) const override;
  std::uint32_t field_value_count(std::uint32_t field) const override;
  const char* field_value(std::uint32_t field, std::uint32_t value) const override;
  std::uint32_t find_field(const char* name, std::size_t length = until_nul) const override;
  std::uint32_t tech_count() const override { return tech_count_; }
  const char* tech_name(std::uint32_t index) const override;
  const char* tech_value(std::uint32_t index) const override;
  std::uint32_t find_tech(const char* name, std::size_t length = until_nul) const override;

  void set_length(double) override;
  void set_replaygain(const replaygain_info&) override;
  std::uint32_t set_field(const char*, std::size_t, const char*, std::size_t) override;
  std::uint32_t insert_field_value(std::uint32_t, std::uint32_t, const char*, std::size_t) override;
  void remove_fields(const qiv::bit_array&) override;
  void reorder_fields(const std::uint32_t*) override;
  void remove_field_value(std::uint32_t, std::uint32_t) override;
  void replace_field_value(std::uint32_t, std::uint32_t, const char*, std::size_t) override;
  std::uint32_t set_tech(const char*, std::size_t, const char*, std::size_t) override;
  void remove_techs(const qiv::bit_array&) override;
  void copy_all_from(const track_info&) override;
  void copy_fields_from(const track_info&) override;
  void copy_techs_from(const track_info&) override;
  std::uint32_t append_field(const char*, std::size_t, const char*, std::size_t) override;
  std::uint32_t append_tech(const char*, std::size_t, const char*, std::size_t) override;

  struct field_entry {
    const char* name;
    std::uint32_t value_count;
    // One value: its text; more: a table of value_count texts.
    union {
      const char* single;
      const char* const* values;
    };
  };
  struct tech_entry {
    const char* name;
    const char* value;
  };

private:
  std::uint32_t field_count_ = 0;
  std::uint32_t tech_count_ = 0;
  const field_entry* fields_ = nullptr;
  const tech_entry* techs_ = nullptr;
  // Field positions ordered by name, ASCII letters folded; null below the threshold.
  const std::uint32_t* index_ = nullptr;
  double length_ = 0.0;
  replaygain_info replaygain_;
  std::unique_ptr<char[]> block_;
};

// The full metadata of one track: named fields with one or more text values
// each, single-valued technical entries (sample rate, codec, bit rate ...),
// the length and the ReplayGain record. Inputs and tag readers fill one,
// everything else reads it through this interface. Texts are UTF-8, given as
// a pointer and a byte count where qiv::until_nul means "up to the NUL".
// Indices are not checked: callers take them from the count and find calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "foundation/bit_array.h"
#include "foundation/string_object.h"
#include "metadata/field_name_index.h"
#include "metadata/replaygain_info.h"
#include "metadata/track_display_info.h"

class track_info : public display_field_source {
public:
  static constexpr std::uint32_t not_found = ~std::uint32_t(0);
  static constexpr std::size_t until_nul = qiv::until_nul;

  virtual ~track_info() = default;

  double get_length() const override = 0;
  virtual void set_length(double seconds) = 0;
  virtual void set_replaygain(const replaygain_info& record) = 0;
  virtual replaygain_info get_replaygain() const = 0;

  virtual std::uint32_t field_count() const = 0;
  virtual const char* field_name(std::uint32_t field) const = 0;
  virtual std::uint32_t field_value_count(std::uint32_t field) const = 0;
  virtual const char* field_value(std::uint32_t field, std::uint32_t value) const = 0;
  // First field whose name matches with ASCII letters folded; not_found.
  virtual std::uint32_t find_field(const char* name, std::size_t length = until_nul) const = 0;
  // Replaces the first field of that name by a new last field with one value.
  virtual std::uint32_t set_field(const char* name, std::size_t name_length, const char* value,
                                  std::size_t value_length) = 0;
  // A position past the value count appends; answers the position used.
  virtual std::uint32_t insert_field_value(std::uint32_t field, std::uint32_t position, const char* value,
                                           std::size_t length) = 0;
  virtual void remove_fields(const qiv::bit_array& selection) = 0;
  // Field k becomes the former field permutation[k].
  virtual void reorder_fields(const std::uint32_t* permutation) = 0;
  // Removing the last value removes the field.
  virtual void remove_field_value(std::uint32_t field, std::uint32_t value) = 0;
  virtual void replace_field_value(std::uint32_t field, std::uint32_t value, const char* text,
                                   std::size_t length) = 0;

  virtual std::uint32_t tech_count() const = 0;
  virtual const char* tech_name(std::uint32_t index) const = 0;
  virtual const char* tech_value(std::uint32_t index) const = 0;
  virtual std::uint32_t set_tech(const char* name, std::size_t name_length, const char* value,
                                 std::size_t value_length) = 0;
  virtual void remove_techs(const qiv::bit_array& selection) = 0;
  virtual std::uint32_t find_tech(const char* name, std::size_t length = until_nul) const = 0;

  virtual void copy_all_from(const track_info& other) = 0;
  virtual void copy_fields_from(const track_info& other) = 0;
  virtual void copy_techs_from(const track_info& other) = 0;
  // Appends without looking for a field or entry of the same name.
  virtual std::uint32_t append_field(const char* name, std::size_t name_length, const char* value,
                                     std::size_t value_length) = 0;
  virtual std::uint32_t append_tech(const char* name, std::size_t name_length, const char* value,
                                    std::size_t value_length) = 0;

  // Routines over the interface above.
  void remove_all_fields();
  void reset();
  std::uint32_t total_value_count() const;
  void add_field_value(std::uint32_t field, const char* value, std::size_t length = until_nul);
  // Adds the value to the field of that name (ASCII letters folded), making
  // the field when there is none: what a reader gathers under one name stays
  // one field. Answers the field's index.
  std::uint32_t add_value(const char* name, std::size_t name_length, const char* value, std::size_t value_length);
  static void copy_field_values_from(track_info& destination, const track_info& source, std::uint32_t field);
  // Copies each field of `source` this info lacks, with its values: the
  // fields a second tag shows where the first holds none.
  void add_fields_not_held(const track_info& source);
  void get_field_joined(std::uint32_t field, const char* separator, qiv::string_object& out) const;
  // False, and `out` empty, when the field is absent; else values joined by ", ".
  bool get_field_text(const char* name, qiv::string_object& out) const;
  std::optional<const char*> tech_value_by_name(const char* name) const;
  // Leading blanks, a sign, digits; 0 when absent.
  std::int64_t get_tech_int(const char* name) const;
  void set_tech_int(const char* name, std::int64_t value);
  // "decoded_bitspersample" if in 1..256, else "bitspersample" if so, else 0.
  std::uint32_t get_decoded_bits_per_sample() const;
  void set_bitrate(std::int64_t kilobits_per_second);
  // Rounded kbps; a length of 0 or less leaves "bitrate" alone.
  void set_bitrate_from_size(std::uint64_t bytes, double seconds);
  // At least one byte, all in 32..126, none of = % < >. Not enforced here:
  // tag readers and the properties dialog check names before accepting them.
  static bool is_valid_field_name(const char* name);

  void clear_replaygain();
  bool try_set_replaygain(const char* name, const char* value, std::size_t length = until_nul);
  void set_tech_unless_replaygain(const char* name, const char* value, std::size_t length = until_nul);

  // display_field_source, so display records fill straight from a track_info.
  std::uint32_t value_count(const char* name) const override;
  const char* value(const char* name, std::uint32_t index) const override;

protected:
  track_info() = default;
  void remove_all_techs();
  track_info(const track_info&) = default;
  track_info& operator=(const track_info&) = default;
};

// The implementation every input and tag reader builds on the stack: the
// first ten fields and each field's first value live inside the object, so a
// typical track costs no list allocation at all.
class track_info_impl final : public track_info {
public:
  track_info_impl();
  track_info_impl(const track_info_impl& other);
  explicit track_info_impl(const track_info& other);
  track_info_impl& operator=(const track_info_impl& other);
  ~track_info_impl() override;

  double get_length() const override { return length_; }
  void set_length(double seconds) override { length_ = seconds; }
  void set_replaygain(const replaygain_info& record) override { replaygain_ = record; }
  replaygain_info get_replaygain() const override { return replaygain_; }

  std::uint32_t field_count() const override;
  const char* field_name(std::uint32_t field) const override;
  std::uint32_t field_value_count(std::uint32_t field) const override;
  const char* field_value(std::uint32_t field, std::uint32_t value) const override;
  std::uint32_t find_field(const char* name, std::size_t length = until_nul) const override;
  std::uint32_t set_field(const char* name, std::size_t name_length, const char* value,
                          std::size_t value_length) override;
  std::uint32_t insert_field_value(std::uint32_t field, std::uint32_t position, const char* value,
                                   std::size_t length) override;
  void remove_fields(const qiv::bit_array& selection) override;
  void reorder_fields(const std::uint32_t* permutation) override;
  void remove_field_value(std::uint32_t field, std::uint32_t value) override;
  void replace_field_value(std::uint32_t field, std::uint32_t value, const char* text, std::size_t length) override;

  std::uint32_t tech_count() const override;
  const char* tech_name(std::uint32_t index) const override;
  const char* tech_value(std::uint32_t index) const override;
  std::uint32_t set_tech(const char* name, std::size_t name_length, const char* value,
                         std::size_t value_length) override;
  void remove_techs(const qiv::bit_array& selection) override;
  std::uint32_t find_tech(const char* name, std::size_t length = until_nul) const override;

  void copy_all_from(const track_info& other) override;
  void copy_fields_from(const track_info& other) override;
  void copy_techs_from(const track_info& other) override;
  std::uint32_t append_field(const char* name, std::size_t name_length, const char* value,
                             std::size_t value_length) override;
  std::uint32_t append_tech(const char* name, std::size_t name_length, const char* value,
                            std::size_t value_length) override;

  static constexpr std::uint32_t inline_fields = 10;
  // Records with more fields (or technical entries) than this find names
  // through an index; a scan of fewer costs less than keeping one.
  static constexpr std::uint32_t unindexed_fields = 32;

  // A heap list that grows by doubling and shrinks by halving, so repeated
  // appends and removals cost amortised constant time without holding on to
  // memory after a large list shrinks.
  template <class T>
  class list {
  public:
    list() = default;
    // A moved-from list is empty, not a count over a missing block.
    list(list&& other) noexcept
        : items_(std::move(other.items_)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    list& operator=(list&& other) noexcept {
      items_ = std::move(other.items_);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      return *this;
    }
    std::uint32_t size() const noexcept { return size_; }
    std::uint32_t capacity() const noexcept { return capacity_; }
    T& operator[](std::uint32_t i) noexcept { return items_[i]; }
    const T& operator[](std::uint32_t i) const noexcept { return items_[i]; }
    // Leaves the list as it was when the new block cannot be had.
    void resize(std::uint32_t count);

  private:
    std::unique_ptr<T[]> items_;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
  };

  struct field {
    std::string name;
    std::string first;         // value 0
    list<std::string> others;  // values 1..n-1
  };
  struct tech_entry {
    std::string name;
    std::string value;
  };

private:
  struct field_names final : field_name_index::names {
    explicit field_names(const track_info_impl& record) : record(record) {}
    const std::string& name_at(std::uint32_t position) const override { return record.field_at(position).name; }
    const track_info_impl& record;
  };
  struct tech_names final : field_name_index::names {
    explicit tech_names(const track_info_impl& record) : record(record) {}
    const std::string& name_at(std::uint32_t position) const override { return record.techs_[position].name; }
    const track_info_impl& record;
  };

  field& field_at(std::uint32_t index) noexcept;
  const field& field_at(std::uint32_t index) const noexcept;
  void resize_fields(std::uint32_t count);
  // After fields or entries moved or went: the index afresh, or none for a
  // short record.
  void reindex_fields() noexcept;
  void reindex_techs() noexcept;

  field inline_[inline_fields];
  std::uint32_t inline_count_ = 0;
  list<field> heap_fields_;
  // Empty, or the first position of every name (unindexed_fields).
  field_name_index name_index_;
  list<tech_entry> techs_;
  field_name_index tech_index_;
  double length_ = 0.0;
  replaygain_info replaygain_;
};

// Capacity a list should have for `need` entries when it has `current`; the
// rule every list of track_info_impl follows. Throws exception_overflow.
std::uint32_t track_info_list_capacity(std::uint32_t current, std::uint32_t need);

// The small view of a track that lists, captions and sort keys draw from:
// the eight display fields (field_name_set order) and the length in seconds.
// Every track handle caches one; the library file stores one per track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/field_name_set.h"

// What a display record is filled from: the full tag record of a track,
// reduced to what the display fields need. Names compare without regard to
// case, as the tag record compares them.
class display_field_source {
public:
  virtual double get_length() const = 0;
  // The number of values of the field named `name`; 0 when it is absent.
  virtual std::uint32_t value_count(const char* name) const = 0;
  // Value `index` (below value_count) of the field named `name`.
  virtual const char* value(const char* name, std::uint32_t index) const = 0;

protected:
  ~display_field_source() = default;
};

class track_display_info {
public:
  // Joins the values of a field with several values.
  static constexpr const char* value_separator = "; ";

  track_display_info() = default;
  track_display_info(const track_display_info& other);
  track_display_info(track_display_info&&) noexcept = default;
  track_display_info& operator=(const track_display_info& other);
  track_display_info& operator=(track_display_info&&) noexcept = default;
  ~track_display_info() = default;

  // Text of field `index`; "" when the field is empty or the index unknown.
  const char* get(std::uint32_t index) const noexcept;
  // The eight texts found in one pass, for readers of several fields.
  void get_all(std::string_view (&out)[field_name_set::field_count]) const noexcept;
  // The text up to `length` bytes or its first NUL.
  void set(std::uint32_t index, const char* text, std::size_t length = static_cast<std::size_t>(-1));
  // Appends "; " and the text when the field already holds one, else sets it.
  void append(std::uint32_t index, const char* text, std::size_t length = static_cast<std::size_t>(-1));
  // Empties the eight texts; the length stays.
  void clear();

  // Seconds; 0 or less when unknown.
  float get_length() const noexcept { return length_; }
  void set_length(float seconds) noexcept { length_ = seconds; }

  // Album and disc split from the album's suffix, "3/12" track numbers cut
  // to their digits, every other field from the source's values.
  void fill_from(const display_field_source& source);

  // Stream form, little-endian: float32 length; u32 n = the texts' bytes + 8;
  // then the eight texts, each followed by one NUL.
  void write(vantrel_io::writer& target, const abort_signal& abort) const;
  // Reads the stream form. A block that is not exactly eight NUL-terminated
  // texts throws exception_io_data; on any failure the record is unchanged.
  void read(vantrel_io::reader& source, const abort_signal& abort);

  friend bool operator==(const track_display_info& a, const track_display_info& b) noexcept;

private:
  // A library holds one record per track, so the eight texts share one
  // allocation, back to back, each with its NUL (the stream form's block),
  // and nothing else: a table of where each ends would cost a library of
  // 100,000 tracks nearly a megabyte, while finding a text by its NULs takes
  // a few dozen bytes' scan. Null while all are empty.
  const char* texts() const noexcept;
  std::uint32_t texts_size() const noexcept;
  // Where text `index` (below field_count) ends within texts(), past its NUL.
  std::uint32_t end_of(std::uint32_t index) const noexcept;
  // Makes the block from `size` bytes of eight NUL-terminated texts.
  void assign_texts(const char* data, std::size_t size);

  float length_ = 0.0f;
  std::unique_ptr<char[]> block_;
};

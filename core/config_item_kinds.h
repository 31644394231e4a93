// The kinds of configuration item and the form their value takes in a record
// of "config.dat" (little-endian; a value is the record's whole data, so no
// kind writes its own length unless it holds several values).
//
//   config_bool               1 byte, 0 or 1
//   config_int32, config_float  4 bytes
//   config_guid               16 bytes
//   config_guid_set           u32 count, then the GUIDs in ascending order
//   config_text               the UTF-8 bytes, no length, no terminator
//   config_locked_text        as config_text, for values shared across threads
//   config_text_list          u32 count, then per text a u32 length and the bytes
//   config_window_position    six i32 (the second to seventh value)
//   config_playback_gain      u32, u32, float, float
//
// Owners read and change the values directly; only config_locked_text may be
// used from several threads. The DSP chain, DSP preset list and font kinds
// live beside their value types (core/dsp_chain.h, core/dsp_preset_list.h,
// core/font_record.h).
#pragma once

#include <cstdint>

#include "core/config_item.h"
#include "foundation/array.h"
#include "foundation/avl_tree.h"
#include "foundation/string_small.h"
#include "foundation/win32_handles.h"

// A single value that lies in its record as it lies in memory.
template <class T>
class config_plain_value : public config_item {
public:
  config_plain_value(const GUID& guid, const T& initial, config_item** list = &global_list_head)
      : config_item(guid, list), value_(initial) {}

  const T& get() const noexcept { return value_; }
  void set(const T& value) noexcept { value_ = value; }

  void read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) override {
    T value;
    source.read_exact(&value, sizeof(T), abort);
    value_ = value;
  }
  void write(byte_stream_writer& target, const abort_signal& abort) override { target.write(&value_, sizeof(T), abort); }

private:
  T value_;
};

using config_int32 = config_plain_value<std::int32_t>;
using config_float = config_plain_value<float>;
// The 16 bytes in memory order equal the GUID written field by field.
using config_guid = config_plain_value<GUID>;

class config_bool final : public config_item {
public:
  config_bool(const GUID& guid, bool initial, config_item** list = &global_list_head)
      : config_item(guid, list), value_(initial) {}

  bool get() const noexcept { return value_; }
  void set(bool value) noexcept { value_ = value; }

  // Any byte other than 0 reads as true: a bool holding another bit pattern
  // would be undefined.
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  bool value_;
};

class config_guid_set final : public config_item {
public:
  using guid_set = qiv::avl_set<GUID, qiv::guid_order>;

  explicit config_guid_set(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  guid_set& value() noexcept { return value_; }
  const guid_set& value() const noexcept { return value_; }

  // A damaged record leaves the set as it was.
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  guid_set value_;
};

class config_text final : public config_item {
public:
  config_text(const GUID& guid, const char* initial, config_item** list = &global_list_head)
      : config_item(guid, list), value_(initial) {}

  const char* get() const noexcept { return value_.get_ptr(); }
  void set(const char* text) { value_.set_string(text); }

  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  qiv::string_small value_;
};

// A text that several threads read and change: every access holds the
// item's own lock for as long as the text is copied.
class config_locked_text final : public config_item {
public:
  config_locked_text(const GUID& guid, const char* initial, config_item** list = &global_list_head)
      : config_item(guid, list), value_(initial) {}

  void get(qiv::string_object& out);
  void set(const char* text);

  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  critical_section lock_;
  qiv::string_small value_;
};

class config_text_list final : public config_item {
public:
  explicit config_text_list(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  qiv::array<qiv::string_small>& value() noexcept { return value_; }
  const qiv::array<qiv::string_small>& value() const noexcept { return value_; }

  // A damaged record leaves the list as it was.
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  qiv::array<qiv::string_small> value_;
};

// A dialog's saved place on the screen: seven values that the dialog
// interprets. The first is the dialog's own run-time state and is never
// stored.
struct window_position {
  static constexpr std::int32_t unset_coordinate = INT32_MIN;  // 0x80000000
  std::int32_t values[7] = {0, -1, -1, unset_coordinate, unset_coordinate, 0, 0};
};

class config_window_position final : public config_item {
public:
  explicit config_window_position(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  window_position& value() noexcept { return value_; }
  const window_position& value() const noexcept { return value_; }

  // A record that ends after the first two stored values is the short form:
  // the place and size fall back to "unset" (0x80000000, 0x80000000, 0, 0).
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  window_position value_;
};

// The ReplayGain settings of playback, interpreted by the playback engine.
struct playback_gain_settings {
  std::uint32_t source_mode = 2;
  std::uint32_t processing_mode = 1;
  float preamp_with_info_db = 0.0f;
  float preamp_without_info_db = 0.0f;
};
static_assert(sizeof(playback_gain_settings) == 16);

using config_playback_gain = config_plain_value<playback_gain_settings>;

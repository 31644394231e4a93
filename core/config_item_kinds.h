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
//   config_window_position    six i32: width, height, x, y, dpi x, dpi y
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

// A dialog's saved place on the screen: its client size and the offset of
// its client area from its owner's window, in pixels at the screen DPI the
// record was taken at (ui/framework/window_placement.h restores it).
struct window_position {
  static constexpr std::int32_t unset_size = -1;
  static constexpr std::int32_t unset_coordinate = INT32_MIN;  // 0x80000000
  // Larger than any screen: a stored size or offset beyond these is damage,
  // and an offset this small cannot overflow when added to a coordinate.
  static constexpr std::int32_t largest_size = 32767;
  static constexpr std::int32_t largest_offset = 1 << 24;
  static constexpr std::int32_t largest_dpi = 9600;

  std::int32_t width = unset_size;
  std::int32_t height = unset_size;
  std::int32_t x = unset_coordinate;
  std::int32_t y = unset_coordinate;
  std::int32_t dpi_x = 0;  // 0: never taken
  std::int32_t dpi_y = 0;

  // Every field unset or within its range.
  bool is_plausible() const noexcept;
};

// A window_position item and the windows of its kind open now (not stored).
// Saving the configuration while such a window is open stores where that
// window is, not where it was when it opened.
class config_window_position final : public config_item {
public:
  explicit config_window_position(const GUID& guid, config_item** list = &global_list_head) : config_item(guid, list) {}

  window_position& value() noexcept { return value_; }
  const window_position& value() const noexcept { return value_; }

  // Main thread only, like the windows.
  void attach(HWND window);
  void detach(HWND window) noexcept;
  const qiv::array<HWND>& attached_windows() const noexcept { return attached_; }
  // Takes the placement of the first attached window that can be measured;
  // false (the value unchanged) when none can.
  bool capture_attached();

  // A record that ends after the first two values is the short form: the
  // place falls back to unset. A record with an implausible field (a size of
  // 0 or beyond any screen, a negative DPI) gives the default placement.
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  window_position value_;
  qiv::array<HWND> attached_;
};

// The ReplayGain settings of playback, stored byte for byte: source 1 prefers
// track values, 2 album values; processing 0 applies nothing, 1 the gain, 2
// the gain with clipping prevention, 3 only clipping prevention. The playback
// engine interprets them (playback/replaygain_scale.h).
struct playback_gain_settings {
  std::uint32_t source_mode = 2;
  std::uint32_t processing_mode = 1;
  float preamp_without_info_db = 0.0f;
  float preamp_with_info_db = 0.0f;
};
static_assert(sizeof(playback_gain_settings) == 16);

// The 16 bytes as they lie in memory. A record whose preamps are not finite
// numbers (NaN would silence every track) or that is not 16 bytes long
// gives the default settings.
class config_playback_gain final : public config_item {
public:
  config_playback_gain(const GUID& guid, const playback_gain_settings& initial, config_item** list = &global_list_head)
      : config_item(guid, list), value_(initial) {}

  const playback_gain_settings& get() const noexcept { return value_; }
  void set(const playback_gain_settings& value) noexcept { value_ = value; }

  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

private:
  playback_gain_settings value_;
};

#include "core/config_item_kinds.h"

#include <cmath>
#include <utility>

#include "core/window_position_capture.h"


void config_bool::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  std::uint8_t byte;
  source.read_exact(&byte, 1, abort);
  value_ = byte != 0;
}

void config_bool::write(byte_stream_writer& target, const abort_signal& abort) {
  const std::uint8_t byte = value_ ? 1 : 0;
  target.write(&byte, 1, abort);
}

void config_guid_set::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  const std::uint32_t count = source.read_u32(abort);
  source.require_remaining(std::uint64_t(count) * sizeof(GUID));
  guid_set loaded;
  for (std::uint32_t i = 0; i < count; ++i) loaded.insert(source.read_guid(abort));
  value_.clear();
  for (auto* node = loaded.first(); node != nullptr; node = guid_set::step(node, true)) value_.insert(node->key);
}

void config_guid_set::write(byte_stream_writer& target, const abort_signal& abort) {
  target.write_u32(value_.count(), abort);
  for (auto* node = value_.first(); node != nullptr; node = guid_set::step(node, true)) target.write_guid(node->key, abort);
}

void config_text::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  source.read_to_end(value_, abort);
}

void config_text::write(byte_stream_writer& target, const abort_signal& abort) {
  target.write(value_.get_ptr(), static_cast<std::uint32_t>(value_.get_length()), abort);
}

void config_locked_text::get(qiv::string_object& out) {
  critical_section_lock hold(lock_);
  out.set_string(value_.get_ptr());
}

void config_locked_text::set(const char* text) {
  qiv::string_small copy(text);  // allocate outside the lock
  critical_section_lock hold(lock_);
  value_ = std::move(copy);
}

void config_locked_text::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  qiv::string_small text;
  source.read_to_end(text, abort);
  critical_section_lock hold(lock_);
  value_ = std::move(text);
}

void config_locked_text::write(byte_stream_writer& target, const abort_signal& abort) {
  qiv::string_small copy;
  get(copy);
  target.write(copy.get_ptr(), static_cast<std::uint32_t>(copy.get_length()), abort);
}

void config_text_list::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  const std::uint32_t count = source.read_u32(abort);
  // Every entry holds at least its length field.
  source.require_remaining(std::uint64_t(count) * 4);
  qiv::array<qiv::string_small> loaded;
  loaded.set_size(count);
  for (qiv::string_small& text : loaded) source.read_length_prefixed_string(text, abort);
  value_ = std::move(loaded);
}

void config_text_list::write(byte_stream_writer& target, const abort_signal& abort) {
  target.write_u32(value_.get_count(), abort);
  for (const qiv::string_small& text : value_) target.write_length_prefixed_string(text.get_ptr(), abort);
}

bool window_position::is_plausible() const noexcept {
  const auto size_ok = [](std::int32_t size) { return size == unset_size || (size > 0 && size <= largest_size); };
  const auto offset_ok = [](std::int32_t offset) {
    return offset == unset_coordinate || (offset >= -largest_offset && offset <= largest_offset);
  };
  const auto dpi_ok = [](std::int32_t dpi) { return dpi >= 0 && dpi <= largest_dpi; };
  return size_ok(width) && size_ok(height) && offset_ok(x) && offset_ok(y) && dpi_ok(dpi_x) && dpi_ok(dpi_y);
}

void config_window_position::attach(HWND window) {
  for (HWND attached : attached_)
    if (attached == window) return;
  attached_.append(window);
}

void config_window_position::detach(HWND window) noexcept {
  for (std::uint32_t i = 0; i < attached_.get_count(); ++i) {
    if (attached_[i] != window) continue;
    attached_.remove_range(i, i + 1);
    return;
  }
}

bool config_window_position::capture_attached() {
  for (HWND window : attached_)
    if (take_window_position(window, value_)) return true;
  return false;
}

void config_window_position::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  window_position loaded;
  loaded.width = source.read_i32(abort);
  loaded.height = source.read_i32(abort);
  std::uint8_t rest[16];
  if (source.read(rest, sizeof(rest), abort) == sizeof(rest)) {
    std::int32_t fields[4];
    for (int i = 0; i < 4; ++i) {
      std::uint32_t field = 0;
      for (int b = 0; b < 4; ++b) field |= std::uint32_t(rest[4 * i + b]) << (8 * b);
      fields[i] = static_cast<std::int32_t>(field);
    }
    loaded.x = fields[0];
    loaded.y = fields[1];
    loaded.dpi_x = fields[2];
    loaded.dpi_y = fields[3];
  }
  value_ = loaded.is_plausible() ? loaded : window_position{};
}

void config_window_position::write(byte_stream_writer& target, const abort_signal& abort) {
  capture_attached();
  const std::int32_t fields[6] = {value_.width, value_.height, value_.x, value_.y, value_.dpi_x, value_.dpi_y};
  for (std::int32_t field : fields) target.write_i32(field, abort);
}

void config_playback_gain::read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) {
  playback_gain_settings loaded;
  if (size == sizeof(loaded)) source.read_exact(&loaded, sizeof(loaded), abort);
  const bool usable = size == sizeof(loaded) && std::isfinite(loaded.preamp_with_info_db) &&
                      std::isfinite(loaded.preamp_without_info_db);
  value_ = usable ? loaded : playback_gain_settings{};
}

void config_playback_gain::write(byte_stream_writer& target, const abort_signal& abort) {
  target.write(&value_, sizeof(value_), abort);
}

#include "core/config_item_kinds.h"

#include <utility>


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

void config_window_position::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  value_.values[1] = source.read_i32(abort);
  value_.values[2] = source.read_i32(abort);
  std::uint8_t rest[16];
  if (source.read(rest, sizeof(rest), abort) != sizeof(rest)) {
    value_.values[3] = window_position::unset_coordinate;
    value_.values[4] = window_position::unset_coordinate;
    value_.values[5] = 0;
    value_.values[6] = 0;
    return;
  }
  for (int i = 0; i < 4; ++i) {
    std::uint32_t field = 0;
    for (int b = 0; b < 4; ++b) field |= std::uint32_t(rest[4 * i + b]) << (8 * b);
    value_.values[3 + i] = static_cast<std::int32_t>(field);
  }
}

void config_window_position::write(byte_stream_writer& target, const abort_signal& abort) {
  for (int i = 1; i < 7; ++i) target.write_i32(value_.values[i], abort);
}

// The font a dialog lets the user choose, in the 76-byte form stored in
// "config.dat": the face name as 32 UTF-16 units, then height, weight and
// the style bytes of the Win32 font description.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/config_item_kinds.h"

struct font_record {
  wchar_t face_name[LF_FACESIZE] = {};  // NUL-terminated
  std::int32_t height = 0;              // as LOGFONT: negative is the character height in pixels
  std::int32_t weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strike_out = 0;
  std::uint8_t char_set = 0;
};
static_assert(sizeof(font_record) == 76, "the stored font record is 76 bytes");

font_record font_record_from_logfont(const LOGFONTW& font);

// The menu font of the visual styles, else the default GUI font.
font_record default_menu_font_record();

// The stored record as it is, except that the face name always ends within
// its 32 units: a damaged file cannot make it run past the array. A default
// given as a function is made on first use (get or write) rather than during
// static initialisation, where it would load the window and theme libraries
// into every program that links the item, console tools included.
class config_font : public config_plain_value<font_record> {
public:
  using config_plain_value<font_record>::config_plain_value;
  config_font(const GUID& guid, font_record (*make_default)(), config_item** list = &global_list_head)
      : config_plain_value<font_record>(guid, font_record{}, list), make_default_(make_default) {}

  const font_record& get() {
    make_default_now();
    return config_plain_value<font_record>::get();
  }
  void set(const font_record& value) noexcept {
    make_default_ = nullptr;
    config_plain_value<font_record>::set(value);
  }
  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override {
    config_plain_value<font_record>::read(source, size, abort);
    make_default_ = nullptr;
    font_record value = config_plain_value<font_record>::get();
    value.face_name[LF_FACESIZE - 1] = L'\0';
    set(value);
  }
  void write(byte_stream_writer& target, const abort_signal& abort) override {
    make_default_now();
    config_plain_value<font_record>::write(target, abort);
  }

private:
  void make_default_now() {
    if (make_default_ == nullptr) return;
    set(make_default_());
  }

  font_record (*make_default_)() = nullptr;
};

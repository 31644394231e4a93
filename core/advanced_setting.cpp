#include "core/advanced_setting.h"

#include <utility>

#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/number_format.h"

namespace {

// The run of decimal digits at the start of at most `length` bytes, 0 when
// there is none. A number too large for 64 bits counts as the largest value
// rather than wrapping, so that an absurdly long number clamps to an entry's
// maximum instead of landing anywhere in its range.
std::uint64_t parse_decimal_saturating(const char* text, std::size_t length) noexcept {
  constexpr std::uint64_t largest = ~std::uint64_t(0);
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (largest - digit) / 10) return largest;
    value = value * 10 + digit;
  }
  return value;
}

void set_decimal(qiv::string_object& out, std::uint64_t value) {
  char buffer[qiv::decimal_buffer_size];
  out.set_string(qiv::format_uint(buffer, value, 0));
}

} // namespace

advanced_setting_branch::advanced_setting_branch(const GUID& own_guid, const GUID& parent, const char* name,
                                                 service_factory** list)
    : advanced_setting_static(list), name_(name), own_guid_(own_guid), parent_(parent) {}

void advanced_setting_branch::get_name(qiv::string_object& out) const { out.set_string(name_.get_ptr()); }

advanced_setting_checkbox::advanced_setting_checkbox(const char* name, const GUID& parent, service_factory** list)
    : advanced_setting_checkbox(name, parent, true, 0.0, false, list) {}

advanced_setting_checkbox::advanced_setting_checkbox(const char* name, const GUID& parent, bool default_state,
                                                     double priority, bool radio, service_factory** list)
    : advanced_setting_static(list),
      name_(name),
      default_(default_state),
      current_(default_state),
      parent_(parent),
      priority_(priority),
      radio_(radio) {}

void advanced_setting_checkbox::get_name(qiv::string_object& out) const { out.set_string(name_.get_ptr()); }

advanced_setting_radio::advanced_setting_radio(const char* name, bool default_state, double priority,
                                               service_factory** list)
    : advanced_setting_checkbox(name, group_branch_guid, default_state, priority, true, list) {}

advanced_setting_string::advanced_setting_string(const GUID& parent, const char* name, const char* default_text,
                                                 double priority, service_factory** list)
    : advanced_setting_static(list),
      default_(default_text),
      name_(name),
      current_(default_text),
      priority_(priority),
      parent_(parent) {}

void advanced_setting_string::get_name(qiv::string_object& out) const { out.set_string(name_.get_ptr()); }

void advanced_setting_string::reset() {
  require_main_thread();
  critical_section_lock hold(lock_);
  current_ = default_;
}

void advanced_setting_string::get_state(qiv::string_object& out) const {
  // Copied under the lock: a reader on another thread must never see the
  // text while the main thread reallocates it.
  critical_section_lock hold(lock_);
  out.set_string(current_.get_ptr(), current_.get_length());
}

void advanced_setting_string::set_state(const char* text, std::size_t length) {
  require_main_thread();
  // Copied before taking the lock, so readers wait only for the swap.
  qiv::string_small replacement(text, length);
  critical_section_lock hold(lock_);
  current_ = std::move(replacement);
}

void advanced_setting_string::get_default(qiv::string_object& out) const { out.set_string(default_.get_ptr()); }

advanced_setting_integer::advanced_setting_integer(const GUID& parent, const char* name, std::uint64_t default_value,
                                                   std::uint64_t minimum, std::uint64_t maximum, double priority,
                                                   service_factory** list)
    : advanced_setting_static(list),
      current_(default_value),
      priority_(priority),
      default_(default_value),
      minimum_(minimum),
      maximum_(maximum),
      parent_(parent),
      name_(name) {}

advanced_setting_integer advanced_setting_integer::construct_fade(const char* name, double priority,
                                                                  service_factory** list) {
  return advanced_setting_integer(fading_branch_guid, name, 100, 0, 10000, priority, list);
}

void advanced_setting_integer::get_name(qiv::string_object& out) const { out.set_string(name_.get_ptr()); }

void advanced_setting_integer::get_state(qiv::string_object& out) const { set_decimal(out, current_.load()); }

void advanced_setting_integer::set_state(const char* text, std::size_t length) {
  current_.store(parse_clamped(text, length));
}

void advanced_setting_integer::get_default(qiv::string_object& out) const { set_decimal(out, default_); }

void advanced_setting_integer::validate(qiv::string_object& text) const {
  set_decimal(text, parse_clamped(text.get_ptr(), text.get_length()));
}

std::uint64_t advanced_setting_integer::parse_clamped(const char* text, std::size_t length) const noexcept {
  const std::uint64_t value = parse_decimal_saturating(text, length);
  if (value < minimum_) return minimum_;
  if (value > maximum_) return maximum_;
  return value;
}

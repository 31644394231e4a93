#include "core/localized_text.h"

#include <cstring>
#include <utility>

#include "foundation/string_buffer.h"
#include "foundation/utf8.h"

language_table::language_table() : texts_(std::make_unique<text_map>()) {}

// A moved-from table holds no map until its next set.
language_table::language_table(language_table&& other) noexcept : texts_(std::move(other.texts_)) {}

language_table& language_table::operator=(language_table&& other) noexcept {
  std::swap(texts_, other.texts_);
  if (other.texts_) other.texts_->clear();
  return *this;
}

language_table::~language_table() = default;

void language_table::set(const char* id, const char* text) {
  if (!texts_) texts_ = std::make_unique<text_map>();
  texts_->insert(id).node->value.set_string(text);
}

const char* language_table::find(const char* id) const {
  if (!texts_) return nullptr;
  const auto* node = texts_->find(id);
  return node ? node->value.get_ptr() : nullptr;
}

std::uint32_t language_table::count() const { return texts_ ? texts_->count() : 0; }

void language_table::clear() {
  if (texts_) texts_->clear();
}

namespace {

language_table& process_table() {
  static language_table table;
  return table;
}

qiv::string_small& process_credits() {
  static qiv::string_small credits;
  return credits;
}

}  // namespace

const language_table& current_language_table() { return process_table(); }

void install_language_table(language_table&& table) {
  process_table().clear();  // the old texts go before the new ones arrive
  process_table() = std::move(table);
}

const char* localization_credits() { return process_credits().get_ptr(); }
void set_localization_credits(const char* text) { process_credits().set_string(text); }

const char* localized_text_find(const char* id) { return id ? process_table().find(id) : nullptr; }

const char* localized_text_get(const char* id) {
  const char* text = localized_text_find(id);
  return text ? text : qiv::empty_text;
}

bool localized_text_format(const char* id, const localized_values& values, qiv::string_object& output) {
  const char* text = localized_text_find(id);
  if (text == nullptr) return false;
  qiv::string_buffer result;
  const char* rest = text;
  // No escape exists for a literal brace: every "{" opens a placeholder,
  // while a lone "}" is plain text.
  while (const char* open = std::strchr(rest, '{')) {
    result.append_n(rest, static_cast<std::size_t>(open - rest));
    const char* close = std::strchr(open + 1, '}');
    if (close == nullptr) return false;
    const qiv::string_small name(open + 1, static_cast<std::size_t>(close - open - 1));
    const auto* value = values.find(name);
    if (value == nullptr) return false;
    result.append_c_str(value->value.get_ptr());
    rest = close + 1;
  }
  result.append_c_str(rest);
  output.set_string(result.get_ptr());
  return true;
}

namespace localized_text {

const char* get(const char* id) { return localized_text_get(id); }

bool get(const char* id, qiv::string_object& output) {
  const char* text = localized_text_get(id);
  output.set_string(text);
  return text[0] != '\0';
}

void get_or(const char* id, const char* fallback, qiv::string_object& output) {
  if (!get(id, output) && fallback != nullptr) output.set_string(fallback);
}

qiv::wide_buffer to_wide(const char* id) {
  const char* text = localized_text_get(id);
  qiv::wide_buffer wide;
  const std::size_t units = qiv::estimate_utf8_to_wide(text);
  wide.set_size(units);
  qiv::convert_utf8_to_wide(wide.get_buffer(), units, text, qiv::until_nul);
  return wide;
}

void set(const char* id, const char* text) { process_table().set(id, text); }

void clear() {
  process_table().clear();
  process_credits().set_string("");
}

}  // namespace localized_text

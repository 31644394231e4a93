#include "inputs/mp4/tag_fields.h"

#include <cstring>

#include "foundation/byte_compare.h"

namespace tarnex {

namespace {

unsigned char fold(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

bool starts_with_nocase(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != 0; ++i)
    if (i >= text.size() || fold(text[i]) != fold(prefix[i])) return false;
  return true;
}

bool is_single_valued_name(const std::string& name) {
  for (const char* special : {"tool", "codec", "ITUNSMPB", "ITUNNORM", "CDEC"})
    if (equals_ascii_nocase(name, special)) return true;
  return starts_with_nocase(name, "replaygain_");
}

}  // namespace

// Unsigned bytes beyond ASCII: the foundation's folding comparisons order
// them as signed, which would put other names first.
bool ascii_nocase_less::operator()(const std::string& a, const std::string& b) const {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool equals_ascii_nocase(const std::string& a, const char* b) {
  return qiv::stricmp_ascii_n(a.data(), a.size(), b, std::strlen(b)) == 0;
}

void tag_fields::add(const std::string& name, const std::string& value) {
  entry& slot = entries_[name];
  slot.multi_valued = !is_single_valued_name(name);
  slot.values.push_back(value);
}

const tag_fields::entry* tag_fields::find(const std::string& name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : &found->second;
}

bool same_values(const tag_fields& a, const tag_fields& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [name, entry] : a.entries()) {
    const tag_fields::entry* other = b.find(name);
    if (other == nullptr || other->values != entry.values) return false;
  }
  return true;
}

}  // namespace tarnex

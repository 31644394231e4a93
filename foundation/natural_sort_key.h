// Byte keys whose memcmp order follows the system's natural text order
// (StrCmpLogicalW: digit runs by value, case ignored) on nearly every text,
// so a sort compares keys and asks the system only to confirm the result.
// Where a key and the system disagree, the system is right; the keys only
// make the common case fast.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace qiv {

// How the system's natural order compares: as a whole text by collation
// (Windows), or character by character with each digit run read as a 32-bit
// number that wraps (Wine). Keys model whichever the system shows.
enum class natural_order_kind { collation, per_character };

natural_order_kind detect_natural_order_kind();

// The UTF-16 units that occur in a set of texts, one bit each.
class utf16_unit_set {
public:
  void add(std::wstring_view text) noexcept;
  void add(const utf16_unit_set& other) noexcept;
  bool contains(wchar_t unit) const noexcept { return (bits_[unit >> 5] >> (unit & 31)) & 1; }
  // Whether a unit is a digit other than '0' to '9', which the system's
  // character-by-character compare may read as part of a number.
  bool holds_other_digits() const noexcept;

private:
  std::uint32_t bits_[65536 / 32] = {};
};

// Whether keys of that kind order texts made of these units exactly as the
// system's compare does, so that nothing needs confirming: the
// character-by-character kind on a system that compares that way, with no
// digits beyond ASCII ones.
bool keys_equal_system_order(natural_order_kind kind, const utf16_unit_set& units);

class natural_sort_key_maker {
public:
  // `units` holds every unit of the texts whose keys will be made; the
  // per-character kind ranks them once under the system's comparison of
  // single characters. Call from one thread; append_key is then safe to call
  // from several.
  natural_sort_key_maker(natural_order_kind kind, const utf16_unit_set& units);

  // Appends the key of `text` (up to its first NUL) to `out`.
  void append_key(std::wstring_view text, std::vector<std::uint8_t>& out) const;

private:
  void append_per_character_key(std::wstring_view text, std::vector<std::uint8_t>& out) const;
  void append_collation_key(std::wstring_view text, std::vector<std::uint8_t>& out) const;

  natural_order_kind kind_;
  std::uint32_t collation_flags_;  // collation kind only
  std::unique_ptr<std::uint16_t[]> rank_of_unit_;  // per-character kind only
};

} // namespace qiv

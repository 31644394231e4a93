#include "foundation/natural_sort_key.h"

#include <algorithm>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/ascii_digit.h"

namespace qiv {

namespace {

// The per-character key: each unit as its rank, each digit run as a marker
// below every rank followed by its value, both big-endian so memcmp orders
// them; a text that is a prefix of another comes first.
constexpr std::uint16_t digit_run_marker = 1;
constexpr std::uint16_t first_rank = 2;

void append_u16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

std::wstring_view up_to_nul(std::wstring_view text) {
  const std::size_t nul = text.find(L'\0');
  return nul == std::wstring_view::npos ? text : text.substr(0, nul);
}

} // namespace

natural_order_kind detect_natural_order_kind() {
  // A whole-text collation ignores the hyphen at first and reads numbers of
  // any size; a character-by-character compare does neither and reads "01"
  // as 1.
  const bool per_character = StrCmpLogicalW(L"a-b", L"ab") < 0 && StrCmpLogicalW(L"x4294967296", L"x1") < 0 &&
                             StrCmpLogicalW(L"1", L"01") == 0;
  return per_character ? natural_order_kind::per_character : natural_order_kind::collation;
}

bool keys_equal_system_order(natural_order_kind kind, const utf16_unit_set& units) {
  static const natural_order_kind system_kind = detect_natural_order_kind();
  return kind == natural_order_kind::per_character && system_kind == natural_order_kind::per_character &&
         !units.holds_other_digits();
}

bool utf16_unit_set::holds_other_digits() const noexcept {
  for (std::uint32_t unit = 128; unit < 65536; ++unit) {
    if (!contains(static_cast<wchar_t>(unit))) continue;
    const wchar_t text = static_cast<wchar_t>(unit);
    WORD type = 0;
    if (!GetStringTypeW(CT_CTYPE1, &text, 1, &type) || (type & C1_DIGIT) != 0) return true;
  }
  return false;
}

void utf16_unit_set::add(std::wstring_view text) noexcept {
  for (const wchar_t unit : text) bits_[unit >> 5] |= std::uint32_t{1} << (unit & 31);
}

void utf16_unit_set::add(const utf16_unit_set& other) noexcept {
  for (std::size_t i = 0; i < std::size(bits_); ++i) bits_[i] |= other.bits_[i];
}

natural_sort_key_maker::natural_sort_key_maker(natural_order_kind kind, const utf16_unit_set& units)
    : kind_(kind), collation_flags_(LCMAP_SORTKEY | NORM_IGNORECASE | SORT_DIGITSASNUMBERS) {
  if (kind_ != natural_order_kind::per_character) {
    // A system without number-aware keys: the confirming pass orders numbers.
    if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, collation_flags_, L"1", 1, nullptr, 0, nullptr, nullptr, 0) == 0)
      collation_flags_ &= ~static_cast<std::uint32_t>(SORT_DIGITSASNUMBERS);
    return;
  }
  std::vector<wchar_t> present;
  for (std::uint32_t unit = 1; unit < 65536; ++unit)
    if (units.contains(static_cast<wchar_t>(unit)) && !is_ascii_digit(static_cast<wchar_t>(unit)))
      present.push_back(static_cast<wchar_t>(unit));
  const auto compare_units = [](wchar_t a, wchar_t b) {
    const wchar_t text_a[2] = {a, 0};
    const wchar_t text_b[2] = {b, 0};
    return StrCmpLogicalW(text_a, text_b);
  };
  std::stable_sort(present.begin(), present.end(), [&](wchar_t a, wchar_t b) { return compare_units(a, b) < 0; });

  // Units the system finds equal (the two cases of a letter) share a rank.
  rank_of_unit_ = std::make_unique<std::uint16_t[]>(65536);
  std::uint16_t rank = first_rank;
  for (std::size_t i = 0; i < present.size(); ++i) {
    if (i > 0 && compare_units(present[i - 1], present[i]) != 0) ++rank;
    rank_of_unit_[present[i]] = rank;
  }
}

void natural_sort_key_maker::append_key(std::wstring_view text, std::vector<std::uint8_t>& out) const {
  text = up_to_nul(text);
  if (kind_ == natural_order_kind::per_character)
    append_per_character_key(text, out);
  else
    append_collation_key(text, out);
}

void natural_sort_key_maker::append_per_character_key(std::wstring_view text, std::vector<std::uint8_t>& out) const {
  std::size_t i = 0;
  while (i < text.size()) {
    if (!is_ascii_digit(text[i])) {
      append_u16(out, rank_of_unit_[text[i++]]);
      continue;
    }
    // The value wraps at 32 bits and compares signed, as the system reads it.
    std::uint32_t value = 0;
    for (; i < text.size() && is_ascii_digit(text[i]); ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - L'0');
    value ^= 0x80000000u;
    append_u16(out, digit_run_marker);
    append_u16(out, static_cast<std::uint16_t>(value >> 16));
    append_u16(out, static_cast<std::uint16_t>(value));
  }
}

void natural_sort_key_maker::append_collation_key(std::wstring_view text, std::vector<std::uint8_t>& out) const {
  if (text.empty()) return;  // the empty key comes first, as the empty text does
  const int length = static_cast<int>(text.size());
  const std::size_t start = out.size();
  // Most keys fit this guess, which saves asking the system for the size.
  int size = length * 6 + 16;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out.resize(start + static_cast<std::size_t>(size));
    const int written = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, collation_flags_, text.data(), length,
                                      reinterpret_cast<LPWSTR>(out.data() + start), size, nullptr, nullptr, 0);
    if (written > 0) {
      out.resize(start + static_cast<std::size_t>(written));
      return;
    }
    size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, collation_flags_, text.data(), length, nullptr, 0, nullptr,
                         nullptr, 0);
    if (size <= 0) break;
  }
  // No key: the confirming pass puts the text where it belongs.
  out.resize(start);
}

} // namespace qiv

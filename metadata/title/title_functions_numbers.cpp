// Integer arithmetic, number formats and the text progress bars.
#include <windows.h>

#include <cstdint>
#include <limits>

#include "foundation/decimal_text.h"
#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"
#include "metadata/title/title_functions.h"

namespace {

constexpr std::uint32_t max_number_width = 32;
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();

// Scripts compute in signed 64 bits with wrap-around; the sums are done
// unsigned because signed overflow is undefined.
std::int64_t wrap_add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrap_sub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
std::int64_t wrap_mul(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
// The smallest value divided by -1 traps on x86 instead of wrapping; the
// wrapped quotient is the value itself and the remainder 0.
std::int64_t wrap_div(std::int64_t a, std::int64_t b) { return b == -1 ? wrap_sub(0, a) : a / b; }
std::int64_t wrap_mod(std::int64_t a, std::int64_t b) { return b == -1 ? 0 : a % b; }

enum class fold { add, sub, mul, div, mod, min, max };

// Combines the first argument with each of the others in turn; true when any
// argument was true.
bool fold_arguments(title_call& call, fold how, std::size_t min_count, std::int64_t empty_value) {
  std::size_t count = call.arg_count();
  if (count < min_count) return false;
  bool any = false;
  std::int64_t value = empty_value;
  for (std::size_t i = 0; i < count; ++i) {
    bool truth = false;
    std::int64_t v = call.eval_arg_int(i, &truth);
    any |= truth;
    if (i == 0 && how != fold::add && how != fold::mul) {
      value = v;
      continue;
    }
    switch (how) {
      case fold::add: value = wrap_add(value, v); break;
      case fold::sub: value = wrap_sub(value, v); break;
      case fold::mul: value = wrap_mul(value, v); break;
      // A divisor of 0 is skipped: the value stays.
      case fold::div: if (v != 0) value = wrap_div(value, v); break;
      case fold::mod: if (v != 0) value = wrap_mod(value, v); break;
      case fold::min: if (v < value) value = v; break;
      case fold::max: if (v > value) value = v; break;
    }
  }
  qiv::format_int64(call.output(), value);
  return any;
}

void add_zeros(qiv::string_object& out, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) out.add_string("0");
}

struct roman_row {
  std::int64_t value;
  const char* letters;
};

constexpr roman_row roman_rows[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"},
                                    {90, "XC"},  {50, "L"},   {40, "XL"},  {10, "X"},   {9, "IX"},
                                    {5, "V"},    {4, "IV"},   {1, "I"}};

// Reads the shared arguments of the two bars: position and range as 32-bit
// numbers (a range below 1 becomes 1), the length clamped to 1..256 cells.
struct bar_arguments {
  std::int32_t position = 0;
  std::int32_t range = 1;
  std::int32_t length = 1;
  qiv::string_buffer first, second;
  bool truth = false;
};

bool read_bar(title_call& call, bar_arguments& bar) {
  if (call.arg_count() != 5) return false;
  bool position_truth = false, range_truth = false;
  bar.position = static_cast<std::int32_t>(call.eval_arg_int(0, &position_truth));
  bar.range = static_cast<std::int32_t>(call.eval_arg_int(1, &range_truth));
  std::int64_t length = call.eval_arg_int(2);
  call.eval_arg(3, bar.first);
  call.eval_arg(4, bar.second);
  if (bar.range < 1) bar.range = 1;
  bar.length = static_cast<std::int32_t>(length < 1 ? 1 : length > 256 ? 256 : length);
  bar.truth = position_truth && range_truth;
  return true;
}

}  // namespace

bool title_num(title_call& call) {
  if (call.arg_count() != 2) return false;
  bool truth = false;
  std::int64_t value = call.eval_arg_int(0, &truth);
  auto width = static_cast<std::uint32_t>(call.eval_arg_int(1));
  if (width > max_number_width) width = max_number_width;
  qiv::string_fixed<24> digits;  // on the stack: list columns format numbers per row
  // The magnitude is taken unsigned so that the smallest value has one.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  qiv::format_uint64(digits, magnitude);
  qiv::string_object& out = call.output();
  std::uint32_t shown = static_cast<std::uint32_t>(digits.get_length()) + (value < 0 ? 1 : 0);
  if (value < 0) out.add_string("-");
  if (width > shown) add_zeros(out, width - shown);
  out.add_string(digits.get_ptr(), digits.get_length());
  return truth;
}

bool title_hex(title_call& call) {
  if (call.arg_count() != 2) return false;
  bool truth = false;
  auto value = static_cast<std::uint32_t>(call.eval_arg_int(0, &truth));
  std::int64_t width = call.eval_arg_int(1);
  if (width < 0) width = 0;
  if (width > max_number_width) width = max_number_width;
  char digits[9];
  int length = 0;
  do {
    digits[length++] = "0123456789ABCDEF"[value & 15];
    value >>= 4;
  } while (value);
  qiv::string_object& out = call.output();
  if (width > length) add_zeros(out, static_cast<std::uint32_t>(width - length));
  while (length) out.add_string(&digits[--length], 1);
  return truth;
}

bool title_add(title_call& call) { return fold_arguments(call, fold::add, 0, 0); }
bool title_sub(title_call& call) { return fold_arguments(call, fold::sub, 1, 0); }
bool title_mul(title_call& call) { return fold_arguments(call, fold::mul, 0, 1); }
bool title_div(title_call& call) { return fold_arguments(call, fold::div, 1, 0); }
bool title_mod(title_call& call) { return fold_arguments(call, fold::mod, 1, 0); }
bool title_min(title_call& call) { return fold_arguments(call, fold::min, 1, 0); }
bool title_max(title_call& call) { return fold_arguments(call, fold::max, 1, 0); }

bool title_muldiv(title_call& call) {
  if (call.arg_count() != 3) return false;
  std::int64_t divisor = call.eval_arg_int(2);
  if (divisor == 0) {
    call.output().add_string("-1");
    return true;
  }
  std::int64_t a = call.eval_arg_int(0);
  std::int64_t b = call.eval_arg_int(1);
  qiv::format_int64(call.output(), wrap_div(wrap_mul(a, b), divisor));
  return true;
}

bool title_roman(title_call& call) {
  if (call.arg_count() != 1) return false;
  bool truth = false;
  std::int64_t value = static_cast<std::int32_t>(call.eval_arg_int(0, &truth));
  if (value < 0) value = -value;
  if (value == 0 || value > 100000) return truth;
  for (const roman_row& row : roman_rows) {
    for (; value >= row.value; value -= row.value) call.output().add_string(row.letters);
  }
  return truth;
}

bool title_progress(title_call& call) {
  bar_arguments bar;
  if (!read_bar(call, bar)) return false;
  int marker = MulDiv(bar.position, bar.length, bar.range);
  if (marker < 0) marker = 0;
  if (marker > bar.length - 1) marker = bar.length - 1;
  for (int i = 0; i < bar.length; ++i) {
    const qiv::string_buffer& cell = i == marker ? bar.first : bar.second;
    call.output().add_string(cell.get_ptr(), cell.get_length());
  }
  return bar.truth;
}

bool title_progress2(title_call& call) {
  bar_arguments bar;
  if (!read_bar(call, bar)) return false;
  std::int64_t filled =
      (static_cast<std::int64_t>(bar.position) * bar.length + (bar.range - 1) / 2) / bar.range;
  if (filled < 0) filled = 0;
  if (filled > bar.length) filled = bar.length;
  for (int i = 0; i < bar.length; ++i) {
    const qiv::string_buffer& cell = i < filled ? bar.first : bar.second;
    call.output().add_string(cell.get_ptr(), cell.get_length());
  }
  return bar.truth;
}

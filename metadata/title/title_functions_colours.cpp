// Colour codes: a text control sequence that list views turn into colour.
// A code is 0x03, six hexadecimal digits (blue, green, red), optionally "|"
// and a second colour, then 0x03; 0x03 twice ends colouring.
#include <cmath>
#include <cstdint>

#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "metadata/title/title_functions.h"

namespace {

constexpr char code_mark = '\x03';

struct colour {
  int blue = 0;
  int green = 0;
  int red = 0;
};

struct colour_code {
  colour first;
  colour second;
  bool has_second = false;
};

int clamp_component(std::int64_t value) {
  auto low = static_cast<std::int32_t>(value);
  return low < 0 ? 0 : low > 255 ? 255 : low;
}

void add_hex_pair(qiv::string_object& out, int value) {
  char digits[2] = {"0123456789ABCDEF"[value >> 4], "0123456789ABCDEF"[value & 15]};
  out.add_string(digits, 2);
}

void add_colour(qiv::string_object& out, const colour& c) {
  add_hex_pair(out, c.blue);
  add_hex_pair(out, c.green);
  add_hex_pair(out, c.red);
}

void add_code(qiv::string_object& out, const colour_code& code) {
  out.add_string(&code_mark, 1);
  add_colour(out, code.first);
  if (code.has_second) {
    out.add_string("|");
    add_colour(out, code.second);
  }
  out.add_string(&code_mark, 1);
}

void add_end_of_colour(qiv::string_object& out) { out.add_string("\x03\x03"); }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool read_colour(const char* p, std::size_t left, colour& c) {
  if (left < 6) return false;
  int values[3];
  for (int i = 0; i < 3; ++i) {
    int high = hex_value(p[2 * i]), low = hex_value(p[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    values[i] = high * 16 + low;
  }
  c = {values[0], values[1], values[2]};
  return true;
}

bool read_code(const qiv::string_buffer& text, colour_code& code) {
  const char* p = text.get_ptr();
  std::size_t length = text.get_length();
  if (length < 7 || p[0] != code_mark || !read_colour(p + 1, length - 1, code.first)) return false;
  code.has_second = length >= 14 && p[7] == '|' && read_colour(p + 8, length - 8, code.second);
  return true;
}

// |difference| x f / r for 0 <= f <= r, exact whatever the range: the
// product may not fit in 64 bits, so it is built bit by bit from the
// difference's 8 bits as a quotient and a remainder below r.
int scaled_difference(int difference, std::uint64_t f, std::uint64_t r) {
  const auto magnitude = static_cast<unsigned>(difference < 0 ? -difference : difference);
  int quotient = 0;
  std::uint64_t remainder = 0;  // always below r, so doubling it or adding f stays below 2^64
  for (int bit = 7; bit >= 0; --bit) {
    quotient *= 2;
    remainder *= 2;
    if (remainder >= r) {
      remainder -= r;
      ++quotient;
    }
    if ((magnitude >> bit) & 1u) {
      remainder += f;
      if (remainder >= r) {
        remainder -= r;
        ++quotient;
      }
    }
  }
  return difference < 0 ? -quotient : quotient;
}

// Blends back and forth: the first colour at 0, the second at r, the first
// again at 2r. A range of 0 or less gives the midpoint.
colour blend_colours(const colour& a, const colour& b, std::int64_t p, std::int64_t r) {
  std::uint64_t f = 1;
  std::uint64_t range = 2;
  if (r > 0) {
    range = static_cast<std::uint64_t>(r);
    // Unsigned: twice any signed 64-bit range still fits, and so does |p|.
    const std::uint64_t distance = p < 0 ? 0 - static_cast<std::uint64_t>(p) : static_cast<std::uint64_t>(p);
    f = distance % (2 * range);
    if (f > range) f = 2 * range - f;
  }
  auto mix = [&](int x, int y) { return x + scaled_difference(y - x, f, range); };
  return {mix(a.blue, b.blue), mix(a.green, b.green), mix(a.red, b.red)};
}

colour_code blend_codes(const colour_code& a, const colour_code& b, std::int64_t p, std::int64_t r,
                        bool borrow_second) {
  colour_code result;
  result.first = blend_colours(a.first, b.first, p, r);
  result.has_second = a.has_second || b.has_second;
  if (result.has_second) {
    // A code without a second colour blends from black, or, in a transition,
    // from the other code's second colour.
    colour a2 = a.has_second ? a.second : borrow_second ? b.second : colour{};
    colour b2 = b.has_second ? b.second : borrow_second ? a.second : colour{};
    result.second = blend_colours(a2, b2, p, r);
  }
  return result;
}

bool write_components(title_call& call, colour (*make)(title_call&, std::size_t)) {
  std::size_t count = call.arg_count();
  if (count == 0) {
    add_end_of_colour(call.output());
    return false;
  }
  if (count != 3 && count != 6) return false;
  colour_code code;
  code.first = make(call, 0);
  if (count == 6) {
    code.second = make(call, 3);
    code.has_second = true;
  }
  add_code(call.output(), code);
  return false;
}

colour rgb_at(title_call& call, std::size_t first) {
  colour c;
  c.red = clamp_component(call.eval_arg_int(first));
  c.green = clamp_component(call.eval_arg_int(first + 1));
  c.blue = clamp_component(call.eval_arg_int(first + 2));
  return c;
}

int clamp_hsl(std::int64_t value) {
  auto low = static_cast<std::int32_t>(value);
  return low < 0 ? 0 : low > 240 ? 240 : low;
}

int to_component(double value) {
  auto v = static_cast<int>(std::floor(value * 255 + 0.5));
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

colour hsl_at(title_call& call, std::size_t first) {
  int hue = clamp_hsl(call.eval_arg_int(first));
  double s = clamp_hsl(call.eval_arg_int(first + 1)) / 240.0;
  double l = clamp_hsl(call.eval_arg_int(first + 2)) / 240.0;
  if (s == 0) {
    int grey = to_component(l);
    return {grey, grey, grey};
  }
  double m2 = l < 0.5 ? l * (1 + s) : l + s - l * s;
  double m1 = 2 * l - m2;
  // Six sextants of 40 hue steps; the top of the scale (240) is the last
  // sextant at its start.
  int sextant = hue / 40;
  double fraction = (hue % 40) / 40.0;
  double rising = m1 + (m2 - m1) * fraction;
  double falling = m2 - (m2 - m1) * fraction;
  double r = 0, g = 0, b = 0;
  switch (sextant) {
    case 0: r = m2; g = rising; b = m1; break;
    case 1: r = falling; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = rising; break;
    case 3: r = m1; g = falling; b = m2; break;
    case 4: r = rising; g = m1; b = m2; break;
    default: r = m2; g = m1; b = sextant == 5 ? falling : m2; break;
  }
  return {to_component(b), to_component(g), to_component(r)};
}

}  // namespace

bool title_rgb(title_call& call) { return write_components(call, rgb_at); }

bool title_hsl(title_call& call) { return write_components(call, hsl_at); }

bool title_blend(title_call& call) {
  if (call.arg_count() != 4) return false;
  qiv::string_buffer first, second;
  call.eval_arg(0, first);
  call.eval_arg(1, second);
  std::int64_t position = call.eval_arg_int(2);
  std::int64_t range = call.eval_arg_int(3);
  colour_code a, b;
  if (!read_code(first, a) || !read_code(second, b)) return false;
  add_code(call.output(), blend_codes(a, b, position, range, false));
  return true;
}

bool title_transition(title_call& call) {
  std::size_t count = call.arg_count();
  if (count < 3 || count > 5) return false;
  qiv::string_buffer text, first, second;
  bool truth = call.eval_arg(0, text);
  call.eval_arg(1, first);
  call.eval_arg(2, second);
  qiv::string_object& out = call.output();
  colour_code a, b;
  if (!read_code(first, a) || !read_code(second, b)) {
    out.add_string(text.get_ptr(), text.get_length());
    return truth;
  }
  std::int64_t range = count == 5 ? call.eval_arg_int(4)
                                  : static_cast<std::int64_t>(qiv::utf8_strlen(text.get_ptr(), text.get_length())) - 1;
  std::int64_t position = count >= 4 ? call.eval_arg_int(3) : 0;
  const char* p = text.get_ptr();
  for (std::size_t i = 0; i < text.get_length();) {
    std::uint32_t code_point = 0;
    std::size_t length = qiv::utf8_decode_char_n(p + i, text.get_length() - i, code_point);
    if (!length) break;
    add_code(out, blend_codes(a, b, position, range, true));
    // Stepping in unsigned arithmetic: a position at the 64-bit limit wraps
    // instead of overflowing.
    position = static_cast<std::int64_t>(static_cast<std::uint64_t>(position) + 1);
    out.add_string(p + i, length);
    i += length;
  }
  add_end_of_colour(out);
  return truth;
}

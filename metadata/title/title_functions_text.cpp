// The functions that reshape, measure and search text.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/ascii_digit.h"
#include "foundation/case_folding.h"
#include "foundation/decimal_text.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "foundation/win32_text.h"
#include "foundation/crc32.h"
#include "metadata/title/title_functions.h"
#include "metadata/title/title_text_search.h"

namespace {

// Bounds on what one call may write, whatever numbers a script passes.
constexpr std::uint32_t max_padding = 1024;
constexpr std::size_t max_repeat_bytes = 4096;
constexpr std::uint32_t max_tabs = 16;

// One decoded character: its code point and its length in bytes, 0 at the
// end of the text or at an invalid sequence, where every walk stops.
struct utf8_char {
  std::uint32_t code_point = 0;
  std::size_t length = 0;
};

utf8_char next_char(const char* text, std::size_t remaining) {
  utf8_char c;
  if (remaining) c.length = qiv::utf8_decode_char_n(text, remaining, c.code_point);
  return c;
}

void add_char(qiv::string_object& out, std::uint32_t code_point) {
  char bytes[qiv::utf8_max_sequence];
  std::size_t length = qiv::utf8_encode_char(code_point, bytes);
  if (length) out.add_string(bytes, length);
}

void add_repeated(qiv::string_object& out, std::uint32_t code_point, std::uint32_t count) {
  if (code_point == 0) return;
  for (std::uint32_t i = 0; i < count; ++i) add_char(out, code_point);
}

// Byte offset just after the first `count` characters, stopping early at an
// invalid sequence.
std::size_t bytes_of_chars(const qiv::string_buffer& text, std::size_t count) {
  const char* p = text.get_ptr();
  std::size_t length = text.get_length();
  std::size_t offset = 0;
  for (std::size_t taken = 0; taken < count; ++taken) {
    utf8_char c = next_char(p + offset, length - offset);
    if (!c.length) break;
    offset += c.length;
  }
  return offset;
}

bool is_word_separator(std::uint32_t c) {
  switch (c) {
    case 0: case ' ': case ',': case '\t': case '(': case ')': case '[': case ']': case '|':
    case '/': case '\\':
      return true;
    default:
      return false;
  }
}

// Square brackets belong to a word when abbreviating, so "[Live]" stays one.
bool is_abbr_separator(std::uint32_t c) {
  return c != 0 && c != '[' && c != ']' && is_word_separator(c);
}

bool is_roman_letter(char c) {
  return c == 'I' || c == 'V' || c == 'X' || c == 'L' || c == 'C' || c == 'D' || c == 'M';
}


bool equals_ascii_nocase(const char* text, std::size_t length, const char* word) {
  for (std::size_t i = 0; i < length; ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (a != word[i]) return false;
  }
  return word[length] == '\0';
}

// Words an abbreviation keeps whole: Roman numerals, numbers and the
// soundtrack markers RPG and OST, which mean nothing once cut to a letter.
bool is_kept_word(const char* text, std::size_t remaining) {
  std::size_t length = 0;
  while (length < remaining) {
    utf8_char c = next_char(text + length, remaining - length);
    if (!c.length || is_word_separator(c.code_point)) break;
    length += c.length;
  }
  // A word that opens with a bracket ("[Live]") has no letters before the
  // separator and so passes: bracketed words are kept whole.
  bool roman = true, digits = true;
  for (std::size_t i = 0; i < length; ++i) {
    roman &= is_roman_letter(text[i]);
    digits &= qiv::is_ascii_digit(text[i]);
  }
  return roman || digits || equals_ascii_nocase(text, length, "rpg") ||
         equals_ascii_nocase(text, length, "ost");
}

bool change_word_case(title_call& call, bool lower_rest) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::string_object& out = call.output();
  const char* p = x.get_ptr();
  std::size_t length = x.get_length();
  bool word_start = true;
  for (std::size_t i = 0; i < length;) {
    utf8_char c = next_char(p + i, length - i);
    if (!c.length) break;
    if (is_word_separator(c.code_point)) {
      out.add_string(p + i, c.length);
      word_start = true;
    } else if (word_start) {
      add_char(out, qiv::char_upper(c.code_point));
      word_start = false;
    } else if (lower_rest) {
      add_char(out, qiv::char_lower(c.code_point));
    } else {
      out.add_string(p + i, c.length);
    }
    i += c.length;
  }
  return truth;
}

// Reads the arguments shared by pad, pad_right, padcut and padcut_right: the
// width as an unsigned 32-bit number, so a negative one asks for the cap.
struct pad_arguments {
  qiv::string_buffer text;
  bool truth = false;
  std::uint32_t width = 0;
  std::uint32_t pad_char = ' ';
};

bool read_pad_arguments(title_call& call, pad_arguments& args) {
  std::size_t count = call.arg_count();
  if (count != 2 && count != 3) return false;
  args.truth = call.eval_arg(0, args.text);
  args.width = static_cast<std::uint32_t>(call.eval_arg_int(1));
  if (count == 3) args.pad_char = call.eval_arg_char(2);
  return true;
}

bool pad(title_call& call, bool right) {
  pad_arguments args;
  if (!read_pad_arguments(call, args)) return false;
  std::size_t shown = args.text.get_length();
  std::uint32_t remaining = args.width;
  std::size_t offset = 0;
  while (true) {
    utf8_char c = next_char(args.text.get_ptr() + offset, shown - offset);
    if (!c.length) break;
    offset += c.length;
    if (remaining) --remaining;
  }
  qiv::string_object& out = call.output();
  if (!right) out.add_string(args.text.get_ptr(), offset);
  add_repeated(out, args.pad_char, remaining < max_padding ? remaining : max_padding);
  if (right) out.add_string(args.text.get_ptr(), offset);
  return args.truth;
}

bool padcut(title_call& call, bool right) {
  pad_arguments args;
  if (!read_pad_arguments(call, args)) return false;
  std::uint32_t width = args.width < max_padding ? args.width : max_padding;
  std::size_t offset = 0;
  std::uint32_t taken = 0;
  for (; taken < width; ++taken) {
    utf8_char c = next_char(args.text.get_ptr() + offset, args.text.get_length() - offset);
    if (!c.length) break;
    offset += c.length;
  }
  qiv::string_object& out = call.output();
  if (!right) out.add_string(args.text.get_ptr(), offset);
  add_repeated(out, args.pad_char, width - taken);
  if (right) out.add_string(args.text.get_ptr(), offset);
  return args.truth;
}

bool pick_by_length(title_call& call, bool longest) {
  std::size_t count = call.arg_count();
  if (count == 0) return false;
  qiv::string_buffer best, candidate;
  bool best_truth = call.eval_arg(0, best);
  std::size_t best_length = qiv::utf8_strlen(best.get_ptr(), best.get_length());
  for (std::size_t i = 1; i < count; ++i) {
    candidate.truncate(0);
    bool truth = call.eval_arg(i, candidate);
    std::size_t length = qiv::utf8_strlen(candidate.get_ptr(), candidate.get_length());
    if (longest ? length > best_length : length < best_length) {
      best = candidate;
      best_truth = truth;
      best_length = length;
    }
  }
  call.output().add_string(best.get_ptr(), best.get_length());
  return best_truth;
}

// Writes a 1-based character position, 0 when nothing was found.
bool write_position(title_call& call, std::size_t position) {
  qiv::format_uint64(call.output(), position);
  return position != 0;
}

bool find_char(title_call& call, bool last) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer s, wanted;
  call.eval_arg(0, s);
  call.eval_arg(1, wanted);
  utf8_char w = next_char(wanted.get_ptr(), wanted.get_length());
  std::size_t found = 0;
  if (w.length) {
    const char* p = s.get_ptr();
    std::size_t position = 0;
    for (std::size_t i = 0; i < s.get_length();) {
      utf8_char c = next_char(p + i, s.get_length() - i);
      if (!c.length) break;
      ++position;
      if (c.length == w.length && std::char_traits<char>::compare(p + i, wanted.get_ptr(), w.length) == 0) {
        found = position;
        if (!last) break;
      }
      i += c.length;
    }
  }
  return write_position(call, found);
}

bool prefix_matches(const qiv::string_buffer& text, const qiv::string_buffer& prefix, std::size_t& after) {
  std::size_t t = 0, p = 0;
  while (p < prefix.get_length()) {
    utf8_char a = next_char(text.get_ptr() + t, text.get_length() - t);
    utf8_char b = next_char(prefix.get_ptr() + p, prefix.get_length() - p);
    if (!a.length || !b.length || qiv::compare_char_nocase(a.code_point, b.code_point) != 0) return false;
    t += a.length;
    p += b.length;
  }
  if (t >= text.get_length() || text.get_ptr()[t] != ' ') return false;
  after = t;
  return true;
}

bool move_prefix(title_call& call, bool swap) {
  std::size_t count = call.arg_count();
  if (count == 0) return false;
  qiv::string_buffer text;
  bool truth = call.eval_arg(0, text);
  qiv::string_object& out = call.output();
  std::size_t after = 0;
  bool matched = false;
  if (count == 1) {
    for (const char* word : {"the", "a"}) {
      if (prefix_matches(text, qiv::string_buffer(word), after)) {
        matched = true;
        break;
      }
    }
  } else {
    qiv::string_buffer prefix;
    for (std::size_t i = 1; i < count && !matched; ++i) {
      prefix.truncate(0);
      call.eval_arg(i, prefix);
      matched = prefix_matches(text, prefix, after);
    }
  }
  if (!matched) {
    out.add_string(text.get_ptr(), text.get_length());
    return truth;
  }
  out.add_string(text.get_ptr() + after + 1, text.get_length() - after - 1);
  if (swap) {
    out.add_string(", ");
    // The prefix comes back as the text spelt it, not as the script did.
    out.add_string(text.get_ptr(), after);
  }
  return truth;
}

// Round trip through a code page: what it cannot hold comes back as the
// system conversion's substitute characters.
bool through_code_page(title_call& call, UINT code_page) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  std::vector<wchar_t> wide(qiv::estimate_utf8_to_wide_n(x.get_ptr(), x.get_length()));
  int units = static_cast<int>(qiv::convert_utf8_to_wide(wide.data(), wide.size(), x.get_ptr(), x.get_length()));
  if (units == 0) return truth;
  int bytes = WideCharToMultiByte(code_page, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return truth;
  std::vector<char> narrow(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(code_page, 0, wide.data(), units, narrow.data(), bytes, nullptr, nullptr);
  int back = MultiByteToWideChar(code_page, 0, narrow.data(), bytes, nullptr, 0);
  if (back <= 0) return truth;
  std::vector<wchar_t> result(static_cast<std::size_t>(back));
  MultiByteToWideChar(code_page, 0, narrow.data(), bytes, result.data(), back);
  // The conversion replaces its target: convert aside, then append.
  qiv::string_buffer converted;
  wide_to_utf8(result.data(), result.size(), converted);
  call.output().add_string(converted.get_ptr(), converted.get_length());
  return truth;
}

}  // namespace

bool title_upper(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::string_add_upper(call.output(), x.get_ptr());
  return truth;
}

bool title_lower(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::string_add_lower(call.output(), x.get_ptr(), x.get_length());
  return truth;
}

bool title_caps(title_call& call) { return change_word_case(call, true); }

bool title_caps2(title_call& call) { return change_word_case(call, false); }

bool title_trim(title_call& call) {
  std::size_t count = call.arg_count();
  if (count != 1 && count != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  std::uint32_t trimmed = count == 2 ? call.eval_arg_char(1) : ' ';
  qiv::string_object& out = call.output();
  std::size_t start = out.get_length();
  std::size_t keep = start;
  bool leading = true;
  for (std::size_t i = 0; i < x.get_length();) {
    utf8_char c = next_char(x.get_ptr() + i, x.get_length() - i);
    if (!c.length) break;
    bool is_trimmed = c.code_point == trimmed;
    if (!(leading && is_trimmed)) {
      leading = false;
      out.add_string(x.get_ptr() + i, c.length);
      if (!is_trimmed) keep = out.get_length();
    }
    i += c.length;
  }
  out.truncate(keep);
  return truth;
}

bool title_pad(title_call& call) { return pad(call, false); }
bool title_pad_right(title_call& call) { return pad(call, true); }
bool title_padcut(title_call& call) { return padcut(call, false); }
bool title_padcut_right(title_call& call) { return padcut(call, true); }

bool title_repeat(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  auto times = static_cast<std::int32_t>(call.eval_arg_int(1));
  // An empty text would never reach the byte limit: billions of empty copies
  // would only burn time.
  if (x.get_length() == 0) return truth;
  std::size_t written = 0;
  for (std::int32_t i = 0; i < times && written < max_repeat_bytes; ++i) {
    call.output().add_string(x.get_ptr(), x.get_length());
    written += x.get_length();
  }
  return truth;
}

bool title_abbr(title_call& call) {
  std::size_t count = call.arg_count();
  if (count != 1 && count != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::string_object& out = call.output();
  if (count == 2) {
    std::int64_t limit = call.eval_arg_int(1);
    auto length = static_cast<std::int64_t>(qiv::utf8_strlen(x.get_ptr(), x.get_length()));
    if (length < limit) {
      out.add_string(x.get_ptr(), x.get_length());
      return truth;
    }
  }
  bool in_word = false, keep = false;
  const char* p = x.get_ptr();
  for (std::size_t i = 0; i < x.get_length();) {
    utf8_char c = next_char(p + i, x.get_length() - i);
    if (!c.length) break;
    if (is_abbr_separator(c.code_point)) {
      in_word = false;
    } else if (!in_word) {
      in_word = true;
      keep = is_kept_word(p + i, x.get_length() - i);
      out.add_string(p + i, c.length);
    } else if (keep) {
      out.add_string(p + i, c.length);
    }
    i += c.length;
  }
  return truth;
}

bool title_ansi(title_call& call) { return through_code_page(call, CP_ACP); }
bool title_ascii(title_call& call) { return through_code_page(call, 20127); }

bool title_longest(title_call& call) { return pick_by_length(call, true); }
bool title_shortest(title_call& call) { return pick_by_length(call, false); }

bool title_strchr(title_call& call) { return find_char(call, false); }
bool title_strrchr(title_call& call) { return find_char(call, true); }

bool title_strstr(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer s, sub;
  call.eval_arg(0, s);
  call.eval_arg(1, sub);
  const char* p = s.get_ptr();
  const std::size_t length = s.get_length();
  std::size_t found = 0;
  if (sub.get_length() != 0 && sub.get_length() <= length) {
    // Only an occurrence at a character boundary counts: walk the characters
    // up to each occurrence and skip those that start inside one.
    text_occurrences occurrences(p, length, sub.get_ptr(), sub.get_length());
    std::size_t boundary = 0, position = 1;
    for (std::size_t next = occurrences.first_from(0); next < length; next = occurrences.first_from(boundary)) {
      while (boundary < next) {
        utf8_char c = next_char(p + boundary, length - boundary);
        if (!c.length) return write_position(call, 0);  // an unreadable byte ends the walk
        boundary += c.length;
        ++position;
      }
      if (boundary == next) {
        found = position;
        break;
      }
    }
  }
  return write_position(call, found);
}

bool title_len(title_call& call) {
  if (call.arg_count() != 1) return false;
  bool truth = false;
  std::size_t length = call.eval_arg_length(0, &truth);
  qiv::format_uint64(call.output(), length);
  return truth;
}

bool title_len2(title_call& call) { return title_len(call); }

bool title_replace(title_call& call) {
  std::size_t count = call.arg_count();
  if (count < 3) return false;
  qiv::string_buffer text;
  bool truth = call.eval_arg(0, text);
  std::size_t pairs = (count - 1) / 2;
  std::vector<qiv::string_buffer> searches(pairs), replacements(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    call.eval_arg(1 + 2 * i, searches[i]);
    call.eval_arg(2 + 2 * i, replacements[i]);
  }
  // At each position the first pair in argument order that matches wins, so
  // the next replacement is at the nearest occurrence of any search text,
  // taken by the earliest pair there; the bytes before it are copied.
  std::vector<text_occurrences> occurrences;
  std::vector<std::size_t> searched_pairs;
  const char* p = text.get_ptr();
  const std::size_t length = text.get_length();
  for (std::size_t k = 0; k < pairs; ++k) {
    if (searches[k].get_length() == 0) continue;
    occurrences.emplace_back(p, length, searches[k].get_ptr(), searches[k].get_length());
    searched_pairs.push_back(k);
  }
  qiv::string_object& out = call.output();
  for (std::size_t i = 0; i < length;) {
    std::size_t nearest = length;
    std::size_t winner = pairs;
    for (std::size_t s = 0; s < occurrences.size(); ++s) {
      const std::size_t at = occurrences[s].first_from(i);
      if (at < nearest) {
        nearest = at;
        winner = searched_pairs[s];
      }
    }
    out.add_string(p + i, nearest - i);
    if (winner == pairs) break;
    out.add_string(replacements[winner].get_ptr(), replacements[winner].get_length());
    i = nearest + searches[winner].get_length();
  }
  return truth;
}

bool title_strcmp(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer a, b;
  call.eval_arg(0, a);
  call.eval_arg(1, b);
  if (a.get_length() != b.get_length() ||
      std::char_traits<char>::compare(a.get_ptr(), b.get_ptr(), a.get_length()) != 0)
    return false;
  call.output().add_string("1");
  return true;
}

bool title_stricmp(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer a, b;
  call.eval_arg(0, a);
  call.eval_arg(1, b);
  // The system comparison knows folds one code point at a time cannot (a
  // final sigma against a capital sigma); it stops at an unreadable byte,
  // where only identical remainders count as equal.
  if (qiv::stricmp_utf8_system(a.get_ptr(), b.get_ptr()) != 0) return false;
  const std::size_t readable_a = qiv::utf8_chars_to_bytes(a.get_ptr(), a.get_length());
  const std::size_t readable_b = qiv::utf8_chars_to_bytes(b.get_ptr(), b.get_length());
  if (a.get_length() - readable_a != b.get_length() - readable_b ||
      std::char_traits<char>::compare(a.get_ptr() + readable_a, b.get_ptr() + readable_b,
                                      a.get_length() - readable_a) != 0)
    return false;
  call.output().add_string("1");
  return true;
}

bool title_rot13(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  std::string rotated(x.get_ptr(), x.get_length());
  for (char& c : rotated) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>('a' + (c - 'a' + 13) % 26);
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>('A' + (c - 'A' + 13) % 26);
  }
  call.output().add_string(rotated.data(), rotated.size());
  return truth;
}

bool title_left(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  auto count = static_cast<std::uint32_t>(call.eval_arg_int(1));
  call.output().add_string(x.get_ptr(), bytes_of_chars(x, count));
  return truth;
}

bool title_right(title_call& call) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  auto count = static_cast<std::int32_t>(call.eval_arg_int(1));
  if (count <= 0) return truth;
  std::size_t length = qiv::utf8_strlen(x.get_ptr(), x.get_length());
  std::size_t skip = length > static_cast<std::size_t>(count) ? length - count : 0;
  std::size_t from = bytes_of_chars(x, skip);
  call.output().add_string(x.get_ptr() + from, bytes_of_chars(x, length) - from);
  return truth;
}

bool title_substr(title_call& call) {
  if (call.arg_count() != 3) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  auto from = static_cast<std::int32_t>(call.eval_arg_int(1));
  auto to = static_cast<std::int32_t>(call.eval_arg_int(2));
  if (from < 1) from = 1;
  if (to < from) return truth;
  std::size_t begin = bytes_of_chars(x, static_cast<std::size_t>(from) - 1);
  std::size_t end = bytes_of_chars(x, static_cast<std::size_t>(to));
  call.output().add_string(x.get_ptr() + begin, end - begin);
  return truth;
}

bool title_insert(title_call& call) {
  if (call.arg_count() != 3) return false;
  qiv::string_buffer x, inserted;
  bool truth = call.eval_arg(0, x);
  auto position = static_cast<std::uint32_t>(call.eval_arg_int(2));
  call.eval_arg(1, inserted);
  std::size_t split = bytes_of_chars(x, position);
  qiv::string_object& out = call.output();
  out.add_string(x.get_ptr(), split);
  out.add_string(inserted.get_ptr(), inserted.get_length());
  out.add_string(x.get_ptr() + split, x.get_length() - split);
  return truth;
}

bool title_fix_eol(title_call& call) {
  std::size_t count = call.arg_count();
  if (count != 1 && count != 2) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::string_object& out = call.output();
  std::size_t end = 0;
  while (end < x.get_length() && x.get_ptr()[end] != '\r' && x.get_ptr()[end] != '\n') ++end;
  out.add_string(x.get_ptr(), end);
  if (end == x.get_length()) return truth;
  if (count == 2) call.eval_arg(1, out);
  else out.add_string(" (...)");
  return truth;
}

bool title_char(title_call& call) {
  if (call.arg_count() != 1) return false;
  auto code_point = static_cast<std::uint32_t>(call.eval_arg_int(0));
  if (code_point <= 0x7FFFFFFF) add_char(call.output(), code_point);
  return false;
}

bool title_crlf(title_call& call) {
  call.output().add_string("\r\n");
  return false;
}

bool title_tab(title_call& call) {
  std::uint32_t count = 1;
  if (call.arg_count() == 1) {
    count = static_cast<std::uint32_t>(call.eval_arg_int(0));
    if (count > max_tabs) count = max_tabs;
  }
  for (std::uint32_t i = 0; i < count; ++i) call.output().add_string("\t");
  return false;
}

bool title_crc32(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer x;
  bool truth = call.eval_arg(0, x);
  qiv::format_uint64(call.output(), qiv::crc32(x.get_ptr(), x.get_length()));
  return truth;
}

bool title_stripprefix(title_call& call) { return move_prefix(call, false); }
bool title_swapprefix(title_call& call) { return move_prefix(call, true); }

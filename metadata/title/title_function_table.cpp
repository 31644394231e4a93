#include "metadata/title/title_function_table.h"

#include <array>
#include <string>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "foundation/crc32.h"
#include "metadata/title/title_functions.h"
#include "metadata/title/title_variable_functions.h"

namespace {

// Table order decides nothing between distinct names but is kept stable, so
// that the rows the function library fills in stay where its readers expect.
const title_function_row rows[] = {
    {title_stripprefix, "stripprefix", true},
    {title_swapprefix, "swapprefix", true},
    {title_if, "if", true},
    {title_if2, "if2", true},
    {title_if3, "if3", true},
    {title_upper, "upper", true},
    {title_lower, "lower", true},
    {title_trim, "trim", true},
    {title_pad, "pad", true},
    {title_pad_right, "pad_right", true},
    {title_left, "cut", true},
    {title_padcut, "padcut", true},
    {title_padcut_right, "padcut_right", true},
    {title_repeat, "repeat", true},
    {title_abbr, "abbr", true},
    {title_caps, "caps", true},
    {title_caps2, "caps2", true},
    {title_longest, "longest", true},
    {title_shortest, "shortest", true},
    {title_iflonger, "iflonger", true},
    {title_ifgreater, "ifgreater", true},
    {title_ifequal, "ifequal", true},
    {title_num, "num", true},
    {title_num, "dec", true},
    {title_hex, "hex", true},
    {title_strchr, "strchr", true},
    {title_strchr, "strlchr", true},
    {title_strrchr, "strrchr", true},
    {title_strstr, "strstr", true},
    {title_len, "len", true},
    {title_len2, "len2", true},
    {title_add, "add", true},
    {title_sub, "sub", true},
    {title_mul, "mul", true},
    {title_div, "div", true},
    {title_mod, "mod", true},
    {title_xor, "xor", true},
    {title_and, "and", true},
    {title_or, "or", true},
    {title_not, "not", true},
    {title_filename, "filename", true},
    {title_min, "min", true},
    {title_max, "max", true},
    {title_get, "get", false},
    {title_put, "put", false},
    {title_puts, "puts", false},
    {title_null, "null", true},
    {title_replace, "replace", true},
    {title_ext, "ext", true},
    {title_strcmp, "strcmp", true},
    {title_stricmp, "stricmp", true},
    {title_rot13, "rot13", true},
    {title_roman, "roman", true},
    {title_left, "left", true},
    {title_right, "right", true},
    {title_char, "char", true},
    {title_crlf, "crlf", true},
    {title_tab, "tab", true},
    {title_substr, "substr", true},
    {title_directory, "directory", true},
    {title_directory_path, "directory_path", true},
    {title_greater, "greater", true},
    {title_longer, "longer", true},
    {title_progress, "progress", true},
    {title_progress2, "progress2", true},
    {title_select, "select", true},
    {title_rgb, "rgb", true},
    {title_hsl, "hsl", true},
    {title_blend, "blend", true},
    {title_transition, "transition", true},
    {title_insert, "insert", true},
    {title_muldiv, "muldiv", true},
    {title_fix_eol, "fix_eol", true},
    {title_ansi, "ansi", true},
    {title_ascii, "ascii", true},
    {title_crc32, "crc32", true},
    {title_year, "year", true},
    {title_month, "month", true},
    {title_day_of_month, "day_of_month", true},
    {title_date, "date", true},
    {title_time, "time", true},
};

constexpr std::size_t row_count = sizeof(rows) / sizeof(rows[0]);

// Hashed once, on first use; the initialisation of a local static is
// thread-safe, so concurrent first compiles are harmless.
const std::array<std::uint32_t, row_count>& row_hashes() {
  static const std::array<std::uint32_t, row_count> hashes = [] {
    std::array<std::uint32_t, row_count> result{};
    for (std::size_t i = 0; i < row_count; ++i) result[i] = title_function_hash(rows[i].name, qiv::until_nul);
    return result;
  }();
  return hashes;
}

void add_lower(qiv::string_buffer& out, const char* name, std::size_t length) {
  qiv::string_add_lower(out, name, length);
}

}  // namespace

std::uint32_t title_function_hash(const char* name, std::size_t length) {
  qiv::string_buffer lower;
  add_lower(lower, name, length);
  if (lower.get_length() == 0) return 0;
  return qiv::crc32(lower.get_ptr(), lower.get_length());
}

const title_function_row* find_title_function(const char* name, std::size_t length) {
  qiv::string_buffer lower;
  add_lower(lower, name, length);
  std::uint32_t hash = lower.get_length() == 0 ? 0 : qiv::crc32(lower.get_ptr(), lower.get_length());
  const auto& hashes = row_hashes();
  for (std::size_t i = 0; i < row_count; ++i) {
    if (hashes[i] != hash) continue;
    // Row names are stored in lower case, so a byte comparison decides.
    const char* row_name = rows[i].name;
    std::size_t row_length = std::char_traits<char>::length(row_name);
    if (row_length == lower.get_length() &&
        std::char_traits<char>::compare(row_name, lower.get_ptr(), row_length) == 0)
      return &rows[i];
  }
  return nullptr;
}

title_node_ref make_function_node(const char* name, std::size_t length, title_node_list arguments) {
  const title_function_row* row = find_title_function(name, length);
  if (row && row->implementation)
    return title_node_ref(new function_node(row->implementation, row->foldable, std::move(arguments)));
  return title_node_ref(new unknown_function_node(name, length, std::move(arguments)));
}

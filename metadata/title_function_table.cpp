#include "metadata/title_function_table.h"

#include <array>
#include <string>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "metadata/crc32.h"
#include "metadata/title_variable_functions.h"

namespace {

// Table order decides nothing between distinct names but is kept stable, so
// that the rows the function library fills in stay where its readers expect.
const title_function_row rows[] = {
    {nullptr, "stripprefix", true},
    {nullptr, "swapprefix", true},
    {nullptr, "if", true},
    {nullptr, "if2", true},
    {nullptr, "if3", true},
    {nullptr, "upper", true},
    {nullptr, "lower", true},
    {nullptr, "trim", true},
    {nullptr, "pad", true},
    {nullptr, "pad_right", true},
    {nullptr, "cut", true},
    {nullptr, "padcut", true},
    {nullptr, "padcut_right", true},
    {nullptr, "repeat", true},
    {nullptr, "abbr", true},
    {nullptr, "caps", true},
    {nullptr, "caps2", true},
    {nullptr, "longest", true},
    {nullptr, "shortest", true},
    {nullptr, "iflonger", true},
    {nullptr, "ifgreater", true},
    {nullptr, "ifequal", true},
    {nullptr, "num", true},
    {nullptr, "dec", true},
    {nullptr, "hex", true},
    {nullptr, "strchr", true},
    {nullptr, "strlchr", true},
    {nullptr, "strrchr", true},
    {nullptr, "strstr", true},
    {nullptr, "len", true},
    {nullptr, "len2", true},
    {nullptr, "add", true},
    {nullptr, "sub", true},
    {nullptr, "mul", true},
    {nullptr, "div", true},
    {nullptr, "mod", true},
    {nullptr, "xor", true},
    {nullptr, "and", true},
    {nullptr, "or", true},
    {nullptr, "not", true},
    {nullptr, "filename", true},
    {nullptr, "min", true},
    {nullptr, "max", true},
    {title_get, "get", false},
    {title_put, "put", false},
    {title_puts, "puts", false},
    {nullptr, "null", true},
    {nullptr, "replace", true},
    {nullptr, "ext", true},
    {nullptr, "strcmp", true},
    {nullptr, "stricmp", true},
    {nullptr, "rot13", true},
    {nullptr, "roman", true},
    {nullptr, "left", true},
    {nullptr, "right", true},
    {nullptr, "char", true},
    {nullptr, "crlf", true},
    {nullptr, "tab", true},
    {nullptr, "substr", true},
    {nullptr, "directory", true},
    {nullptr, "directory_path", true},
    {nullptr, "greater", true},
    {nullptr, "longer", true},
    {nullptr, "progress", true},
    {nullptr, "progress2", true},
    {nullptr, "select", true},
    {nullptr, "rgb", true},
    {nullptr, "hsl", true},
    {nullptr, "blend", true},
    {nullptr, "transition", true},
    {nullptr, "insert", true},
    {nullptr, "muldiv", true},
    {nullptr, "fix_eol", true},
    {nullptr, "ansi", true},
    {nullptr, "ascii", true},
    {nullptr, "crc32", true},
    {nullptr, "year", true},
    {nullptr, "month", true},
    {nullptr, "day_of_month", true},
    {nullptr, "date", true},
    {nullptr, "time", true},
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
  return crc32(lower.get_ptr(), lower.get_length());
}

const title_function_row* find_title_function(const char* name, std::size_t length) {
  qiv::string_buffer lower;
  add_lower(lower, name, length);
  std::uint32_t hash = lower.get_length() == 0 ? 0 : crc32(lower.get_ptr(), lower.get_length());
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

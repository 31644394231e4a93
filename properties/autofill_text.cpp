#include "properties/autofill_text.h"

#include "foundation/path_names.h"
#include "foundation/string_buffer.h"
#include "io/path_schemes.h"

namespace {

bool is_space_or_tab(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::optional<std::size_t> match_blank_insensitive(std::string_view text, std::string_view literal) {
  std::size_t t = 0, l = 0;
  while (l < literal.size()) {
    if (t < text.size() && is_space_or_tab(text[t]) && is_space_or_tab(literal[l])) {
      while (t < text.size() && is_space_or_tab(text[t])) ++t;
      while (l < literal.size() && is_space_or_tab(literal[l])) ++l;
      continue;
    }
    if (t >= text.size() || text[t] != literal[l]) return std::nullopt;
    ++t;
    ++l;
  }
  return t;
}

std::size_t count_path_separators(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += qiv::is_path_separator(c) ? 1 : 0;
  return count;
}

std::string strip_extension(std::string_view text) {
  for (std::size_t i = text.size(); i-- > 0;) {
    if (qiv::is_path_separator(text[i])) break;
    if (text[i] == '.') return std::string(text.substr(0, i));
  }
  return std::string(text);
}

std::string path_tail(const char* path, unsigned levels) {
  qiv::string_buffer display;
  vantrel_io::get_display_path(display, path);
  const std::string_view text = display.get_ptr();
  std::size_t start = text.size();
  while (start > 0 && !qiv::is_path_separator(text[start - 1])) --start;
  for (; levels > 0 && start > 0; --levels) {
    // Step back over the separator; a separator right before it (the ":"
    // and "\" of a drive root) uses up the level where it stands.
    const std::size_t separator = start - 1;
    if (separator > 0 && qiv::is_path_separator(text[separator - 1])) continue;
    start = separator;
    while (start > 0 && !qiv::is_path_separator(text[start - 1])) --start;
  }
  return std::string(text.substr(start));
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      return lines;
    }
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
}

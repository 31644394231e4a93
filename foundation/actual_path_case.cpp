#include "foundation/actual_path_case.h"

#include <cstring>

#include "foundation/case_folding.h"
#include "foundation/find_file_enum.h"
#include "foundation/string_small.h"

namespace {

constexpr char long_prefix[] = "\\\\?\\";
constexpr std::size_t long_prefix_length = sizeof(long_prefix) - 1;

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The long form, which Windows neither reinterprets nor limits to MAX_PATH. A
// UNC path must take it as "\\?\UNC\server\share": "\\?\" put before
// "\\server" names no file at all.
void long_form(const qiv::string_small& path, bool unc, qiv::string_small& query) {
  const char* text = path.get_ptr();
  if (std::strncmp(text, long_prefix, long_prefix_length) == 0) {
    query.set_string(text);
  } else if (unc) {
    query.set_string("\\\\?\\UNC\\");
    query.add_string(text + 2);
  } else {
    query.set_string(long_prefix);
    query.add_string(text);
  }
}

// The stored name of the entry that `query` names, when one of the entries it
// lists equals `component` ignoring case. A component with wildcards lists
// several entries, none of which can be named like it.
bool find_stored_name(const char* query, const char* component, std::size_t length, qiv::string_small& name) {
  const auto entries = find_file_enum::create(query);
  if (!entries) return false;
  do {
    entries->name(name);
    if (name.get_length() == length && qiv::equals_nocase_n(component, name.get_ptr(), length)) return true;
  } while (entries->next());
  return false;
}

} // namespace

bool get_actual_path_case(const char* path, qiv::string_object& output) {
  qiv::string_small result;
  const char* rest;
  bool unc = false;
  if (path[0] == '\\' && path[1] == '\\') {
    const char* server_end = std::strchr(path + 2, '\\');
    if (!server_end) return false;
    const char* share = server_end + 1;
    const char* share_end = std::strchr(share, '\\');
    if (share_end == share || *share == '\0') return false;
    if (!share_end) {
      qiv::string_add_lower(result, path, qiv::until_nul);
      output.set_string(result.get_ptr());
      return true;
    }
    qiv::string_add_lower(result, path, static_cast<std::size_t>(share_end + 1 - path));
    rest = share_end + 1;
    if (*rest == '\\') return false;
    unc = true;
  } else {
    if (!is_ascii_letter(path[0]) || path[1] != ':' || path[2] != '\\') return false;
    const char drive[] = {static_cast<char>(path[0] & ~0x20), ':', '\\', '\0'};
    result.set_string(drive);
    rest = path + 3;
  }

  qiv::string_small query;
  qiv::string_small stored;
  while (*rest != '\0') {
    if (*rest == '\\') {
      // A doubled separator: nothing can be looked up past it, but the path
      // must still name what it named.
      result.add_string(rest);
      break;
    }
    const char* end = std::strchr(rest, '\\');
    if (!end) end = rest + std::strlen(rest);
    const std::size_t length = static_cast<std::size_t>(end - rest);
    const std::size_t component_start = result.get_length();
    result.add_string(rest, length);
    long_form(result, unc, query);
    if (!find_stored_name(query.get_ptr(), rest, length, stored)) {
      result.add_string(end);
      break;
    }
    result.truncate(component_start);
    result.add_string(stored.get_ptr());
    if (*end == '\0') break;
    result.add_string("\\");
    rest = end + 1;
  }
  output.set_string(result.get_ptr());
  return true;
}

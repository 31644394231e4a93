#include "core/command_line.h"

#include <cstring>

namespace command_line {

token_list tokenize(const char* text) {
  token_list tokens;
  if (text == nullptr || *text == '\0') return tokens;
  const char* p = text;
  for (;;) {
    qiv::string_small token;
    bool quoted = false;
    for (; *p != '\0'; ++p) {
      if (*p == '"') {
        quoted = !quoted;
        continue;
      }
      if (*p == ' ' && !quoted) break;
      token.add_string(p, 1);
    }
    tokens.append(token);
    while (*p == ' ') ++p;
    if (*p == '\0') break;
  }
  return tokens;
}

int find_option(const token_list& tokens, const char* name) {
  for (std::uint32_t i = 1; i < tokens.get_count(); ++i) {
    const char* token = tokens[i].get_ptr();
    if (token[0] == '/' && std::strcmp(token + 1, name) == 0) return static_cast<int>(i);
  }
  return -1;
}

} // namespace command_line

// A field provider over a fixed set of fields for title-formatting tests:
// names listed in `absent` are handled but not found, as a track's empty tag
// would be; every other unlisted name is not handled at all.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "metadata/title_field_provider.h"

class fake_field_provider final : public field_provider {
public:
  std::map<std::string, std::string> fields;
  std::set<std::string> absent;
  // When set, functions named so are answered with their arguments joined by "+".
  std::string known_function;
  std::vector<std::string> last_function_args;

  bool process_field(title_field_output& out, const char* name, std::size_t length, bool& found) override {
    std::string key(name, length);
    if (absent.count(key)) {
      found = false;
      return true;
    }
    auto it = fields.find(key);
    if (it == fields.end()) return false;
    out.write(title_text_type_a, it->second.data(), it->second.size());
    found = true;
    return true;
  }

  bool process_function(title_field_output& out, const char* name, std::size_t length,
                        const title_function_args& args, bool& found) override {
    last_function_args.clear();
    for (std::uint32_t i = 0; i < args.count(); ++i)
      last_function_args.emplace_back(args.get_text(i), args.get_length(i));
    if (known_function.empty() || std::string(name, length) != known_function) return false;
    std::string joined;
    for (std::size_t i = 0; i < last_function_args.size(); ++i)
      joined += (i ? "+" : "") + last_function_args[i];
    out.write(title_text_type_b, joined.data(), joined.size());
    found = true;
    return true;
  }
};

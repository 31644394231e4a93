// zorvtool tf SCRIPT [name=value ...]: evaluates a title-formatting script
// against a track described on the command line, to try a script without a
// library.
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "foundation/time_format.h"
#include "metadata/title_script.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

// A track made of name=value pairs; @length, @path and @subsong give its
// location and length.
class argument_track final : public field_provider {
public:
  std::vector<std::pair<std::string, std::string>> fields;  // in the order given
  std::string path;
  unsigned long subsong = 0;
  double length = 0;

  bool process_field(title_field_output& out, const char* name, std::size_t name_length,
                     bool& found) override {
    found = false;
    if (is(name, name_length, "path")) {
      write(out, title_text_type_b, path.empty() ? std::string("n/a") : path, found);
      return true;
    }
    if (is(name, name_length, "subsong")) {
      write(out, title_text_type_b, std::to_string(subsong), found);
      return true;
    }
    if (is(name, name_length, "length") || is(name, name_length, "length_seconds")) {
      if (!(length > 0)) {
        out.write(title_text_type_a, "?");
        return true;
      }
      auto seconds = static_cast<std::uint64_t>(std::floor(length + 0.5));
      if (is(name, name_length, "length"))
        write(out, title_text_type_b, qiv::format_timespan(seconds).get_ptr(), found);
      else
        write(out, title_text_type_b, std::to_string(seconds), found);
      return true;
    }
    // Several values of one name read as one text, the way lists show them.
    std::string joined;
    bool any = false;
    for (const auto& [field, value] : fields) {
      if (qiv::compare_nocase_ex(field.data(), field.size(), name, name_length) != 0) continue;
      if (any) joined += ", ";
      joined += value;
      any = true;
    }
    if (!any) return false;
    write(out, title_text_type_a, joined, found);
    return true;
  }

  bool process_function(title_field_output&, const char*, std::size_t, const title_function_args&,
                        bool& found) override {
    found = false;
    return false;
  }

private:
  static bool is(const char* name, std::size_t length, const char* builtin) {
    return qiv::compare_nocase_ex(name, length, builtin, std::char_traits<char>::length(builtin)) == 0;
  }
  static void write(title_field_output& out, const GUID& type, const std::string& text, bool& found) {
    out.write(type, text.data(), text.size());
    found = true;
  }
};

bool parse_number(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value);
}

int run_tf(const zorvtool::arguments& args) {
  if (args.empty()) {
    zorvtool::print_error("usage: zorvtool tf SCRIPT [name=value ...]\n");
    return 2;
  }
  argument_track track;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& pair = args[i];
    std::size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
      zorvtool::print_error("zorvtool tf: expected name=value, got \"" + pair + "\"\n");
      return 2;
    }
    std::string name = pair.substr(0, equals);
    std::string value = pair.substr(equals + 1);
    double number = 0;
    if (name == "@path") {
      track.path = value;
    } else if (name == "@length") {
      // Beyond 2^53 seconds a length is no track's and no longer a whole number.
      if (!parse_number(value, number) || number < 0 || number > 9007199254740992.0) {
        zorvtool::print_error("zorvtool tf: @length needs a number of seconds, got \"" + value + "\"\n");
        return 2;
      }
      track.length = number;
    } else if (name == "@subsong") {
      if (!parse_number(value, number) || number < 0 || number > 4294967295.0 || number != std::floor(number)) {
        zorvtool::print_error("zorvtool tf: @subsong needs a whole number, got \"" + value + "\"\n");
        return 2;
      }
      track.subsong = static_cast<unsigned long>(number);
    } else {
      track.fields.emplace_back(std::move(name), std::move(value));
    }
  }
  qiv::string_buffer out;
  title_script::compile(args[0].c_str())->evaluate(track, out);
  zorvtool::print(std::string(out.get_ptr(), out.get_length()) + "\n");
  return 0;
}

const zorvtool::command_registration registration(
    {"tf", "tf SCRIPT [name=value ...]  evaluate a title-formatting script", run_tf});

}  // namespace

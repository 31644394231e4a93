// Evaluates scripts against fake fields, for the function library tests:
// %x% is found with text "x", %n% is found with text "12", %empty% is a field
// the track lacks (handled, not found); any other field is not handled at all.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/string_buffer.h"
#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_script.h"

class fake_field_provider final : public field_provider {
public:
  std::map<std::string, std::string> fields = {{"x", "x"}, {"n", "12"}};
  std::set<std::string> absent = {"empty"};
  // When set, functions named so are answered with their arguments joined by "+".
  std::string known_function;
  std::vector<std::string> last_function_args;

  bool process_field(title_field_output& out, const char* name, std::size_t length, bool& found) override {
    const std::string key(name, length);
    const auto it = fields.find(key);
    if (absent.count(key) == 0 && it == fields.end()) return false;
    found = it != fields.end();
    if (found) out.write(title_text_type_a, it->second.data(), it->second.size());
    return true;
  }

  bool process_function(title_field_output& out, const char* name, std::size_t length,
                        const title_function_args& args, bool& found) override {
    last_function_args.clear();
    std::string joined;
    for (std::uint32_t i = 0; i < args.count(); ++i) {
      last_function_args.emplace_back(args.get_text(i), args.get_length(i));
      joined += (i ? "+" : "") + last_function_args.back();
    }
    if (known_function.empty() || std::string(name, length) != known_function) return false;
    out.write(title_text_type_b, joined.data(), joined.size());
    found = true;
    return true;
  }
};

struct script_case {
  std::string script;
  std::string expected;
};

struct truth_case {
  const char* call;
  bool truth;
};

class TitleFunctionTest : public ::testing::Test {
protected:
  std::string run(const std::string& script) {
    qiv::string_buffer out;
    title_script::compile(script.c_str())->evaluate(provider, out);
    return std::string(out.get_ptr(), out.get_length());
  }

  // The truth of a call, read through an optional block around it that keeps
  // a marker only when the call was true.
  bool truth_of(const std::string& call) { return run("[" + call + "T]").size() > 0; }

  template <std::size_t n>
  void expect_texts(const script_case (&cases)[n]) {
    for (const script_case& c : cases) EXPECT_EQ(run(c.script), c.expected) << c.script;
  }
  template <std::size_t n>
  void expect_truths(const truth_case (&cases)[n]) {
    for (const truth_case& c : cases) EXPECT_EQ(truth_of(c.call), c.truth) << c.call;
  }

  fake_field_provider provider;
};

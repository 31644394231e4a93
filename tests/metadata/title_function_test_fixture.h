// Evaluates scripts against fake fields, for the function library tests:
// %x% is found with text "x", %n% is found with text "12", %empty% is a field
// the track lacks (handled, not found).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_field_provider.h"
#include "foundation/string_buffer.h"
#include "metadata/title_script.h"

// One row of a table-driven test: a script and the text it must give.
struct script_case {
  std::string script;
  std::string expected;
};

// A call and the truth it must report.
struct truth_case {
  const char* call;
  bool truth;
};

class TitleFunctionTest : public ::testing::Test {
protected:
  TitleFunctionTest() {
    provider.fields = {{"x", "x"}, {"n", "12"}};
    provider.absent = {"empty"};
  }

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

// Evaluates one script against fake fields, for the function library tests:
// %x% is found with text "x", %n% is found with text "12", %empty% is a field
// the track lacks (handled, not found).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_field_provider.h"
#include "foundation/string_buffer.h"
#include "metadata/title_script.h"

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

  fake_field_provider provider;
};

#include "metadata/title/title_script.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/string_small.h"
#include "title_function_test_fixture.h"

namespace {

using TitleEvaluation = TitleFunctionTest;

TEST_F(TitleEvaluation, NodesWriteTextAndTruth) {
  provider.known_function = "Mine";
  expect_texts({
      {"plain text", "plain text"},
      {"a[plain]b", "ab"},                    // literal text alone is false
      {"<%nosuch%>", "<?>"},                  // a field no one handles
      {"<[%nosuch%]>", "<>"},
      {"[%x% - ]t", "x - t"},
      {"[%empty% - ]t", "t"},                 // handled, not found: the block vanishes
      {"[a[%x%]b]", "axb"},                   // an inner block passes its truth outward
      {"[a[%empty%]b]", ""},
      {"$nosuch($puts(v,1))$get(v)", "[UNKNOWN FUNCTION]1"},  // its arguments still run
      {"[$Mine(%x%,,b)]", "x++b"},            // the provider answers what the table lacks
  });
  EXPECT_EQ(provider.last_function_args, (std::vector<std::string>{"x", "", "b"}));
}

TEST_F(TitleEvaluation, VariablesLiveForOneRunInEvaluationOrder) {
  expect_texts({
      {"$puts(n,%x%)$get(n)", "x"},
      {"$put(v,A)$get(v)", "AA"},
      {"$puts(v,A)$get(V)", "A"},             // names ignore case
      {"$puts(v,A)$puts(V,B)$get(v)", "B"},
      {"$get(v)$puts(v,A)", ""},
      {"[x$get(never)]", ""},                 // unknown: nothing, false
      {"[$puts(v,%x%)$get(v)]", "x"},
      {"<$put(a)$puts(a,b,c)$get()$get(a,b)>", "<>"},
      // An empty name names no variable, however it came to be empty.
      {"$puts(,A)$get()", ""},
      {"$puts([%empty%],A)<$get([%empty%])>", "<>"},
      {"$put(,A)$get()", "A"},                // put still writes its value
      {"$puts(v,A)$puts(,B)$get(v)", "A"},
  });
  auto script = title_script::compile("$get(v)$puts(v,once)");
  qiv::string_small out;
  script->evaluate(provider, out);
  script->evaluate(provider, out);
  EXPECT_STREQ(out.get_ptr(), "");            // nothing survives into the next run
}

class tagging_filter final : public title_text_filter {
public:
  void write(const GUID& type, qiv::string_object& out, const char* text, std::size_t length) override {
    out.add_c_str(IsEqualGUID(type, title_text_type_a) ? "<a:" : "<b:");
    out.add_string(text, length);
    out.add_c_str(">");
  }
};

TEST_F(TitleEvaluation, FilterSeesProviderTextButNotScriptText) {
  provider.known_function = "f";
  tagging_filter filter;
  qiv::string_small out("stale text that is longer than the result");
  title_script::compile("lit %x% $f(1)")->evaluate(provider, out, &filter);
  EXPECT_STREQ(out.get_ptr(), "lit <a:x> <b:1>");
  title_script::compile("")->evaluate(provider, out);
  EXPECT_STREQ(out.get_ptr(), "");
}

TEST_F(TitleEvaluation, OneScriptEvaluatesOnManyThreadsAtOnce) {
  auto script = title_script::compile("[%x%-]$puts(v,%x%)$get(v)$nosuch()");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      qiv::string_buffer out;
      for (int i = 0; i < 2000; ++i) {
        script->evaluate(provider, out);
        if (std::string(out.get_ptr()) != "x-x[UNKNOWN FUNCTION]") ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace

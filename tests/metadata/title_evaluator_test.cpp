#include "metadata/title_script.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "fake_field_provider.h"
#include "foundation/string_buffer.h"
#include "metadata/title_call.h"

namespace {

class TitleEvaluation : public ::testing::Test {
protected:
  std::string run(const char* script) {
    qiv::string_buffer out;
    title_script::compile(script)->evaluate(provider, out);
    return out.get_ptr();
  }
  fake_field_provider provider;
};

TEST_F(TitleEvaluation, LiteralTextIsWrittenAndLiteralOptionalBlocksVanish) {
  EXPECT_EQ(run("plain text"), "plain text");
  EXPECT_EQ(run("a[plain]b"), "ab");
}

TEST_F(TitleEvaluation, UnhandledFieldWritesQuestionMark) {
  EXPECT_EQ(run("<%nosuch%>"), "<?>");
  EXPECT_EQ(run("<[%nosuch%]>"), "<>");
}

TEST_F(TitleEvaluation, OptionalBlockKeepsTextOnlyWhenAFieldInsideWasFound) {
  provider.fields = {{"album", "Al"}, {"x", "X"}};
  provider.absent = {"empty"};
  EXPECT_EQ(run("[%album% - ]t"), "Al - t");
  EXPECT_EQ(run("[%empty% - ]t"), "t");
  EXPECT_EQ(run("[a[%x%]b]"), "aXb");
  EXPECT_EQ(run("[a[%empty%]b]"), "");
}

TEST_F(TitleEvaluation, OutputIsReplacedNotAppended) {
  qiv::string_buffer out("stale");
  title_script::compile("new")->evaluate(provider, out);
  EXPECT_STREQ(out.get_ptr(), "new");
}

TEST_F(TitleEvaluation, UnknownFunctionWritesMarkerButStillEvaluatesItsArguments) {
  EXPECT_EQ(run("$nosuch($puts(v,1))$get(v)"), "[UNKNOWN FUNCTION]1");
}

TEST_F(TitleEvaluation, ProviderAnswersFunctionsTheTableLacksWithEvaluatedArguments) {
  provider.fields = {{"x", "X"}};
  provider.known_function = "Mine";
  EXPECT_EQ(run("[$Mine(%x%,,b)]"), "X++b");
  ASSERT_EQ(provider.last_function_args.size(), 3u);
  EXPECT_EQ(provider.last_function_args[0], "X");
}

TEST_F(TitleEvaluation, VariablesAreCaseInsensitiveAndSeenInEvaluationOrder) {
  provider.fields = {{"title", "Song"}};
  EXPECT_EQ(run("$puts(n,%title%)$get(n)"), "Song");
  EXPECT_EQ(run("$put(v,A)$get(v)"), "AA");
  EXPECT_EQ(run("$puts(v,A)$get(V)"), "A");
  EXPECT_EQ(run("$puts(v,A)$puts(V,B)$get(v)"), "B");
  EXPECT_EQ(run("$get(v)$puts(v,A)"), "");
}

TEST_F(TitleEvaluation, GetOfAnUnstoredNameIsEmptyAndFalse) {
  provider.fields = {{"x", "X"}};
  EXPECT_EQ(run("[x$get(never)]"), "");
  EXPECT_EQ(run("[$puts(v,%x%)$get(v)]"), "X");
}

TEST_F(TitleEvaluation, VariablesDoNotSurviveIntoTheNextRun) {
  auto script = title_script::compile("$get(v)$puts(v,once)");
  qiv::string_buffer out;
  script->evaluate(provider, out);
  script->evaluate(provider, out);
  EXPECT_STREQ(out.get_ptr(), "");
}

TEST_F(TitleEvaluation, VariableFunctionsWithWrongArgumentCountWriteNothing) {
  EXPECT_EQ(run("<$put(a)$puts(a,b,c)$get()$get(a,b)>"), "<>");
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
  provider.fields = {{"x", "X"}};
  provider.known_function = "f";
  tagging_filter filter;
  qiv::string_buffer out;
  title_script::compile("lit %x% $f(1)")->evaluate(provider, out, &filter);
  EXPECT_STREQ(out.get_ptr(), "lit <a:X> <b:1>");
}

TEST_F(TitleEvaluation, OneScriptEvaluatesOnManyThreadsAtOnce) {
  provider.fields = {{"x", "X"}};
  auto script = title_script::compile("[%x%-]$puts(v,%x%)$get(v)$nosuch()");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      qiv::string_buffer out;
      for (int i = 0; i < 2000; ++i) {
        script->evaluate(provider, out);
        if (std::string(out.get_ptr()) != "X-X[UNKNOWN FUNCTION]") ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// Argument helpers, driven directly with literal arguments.
class TitleCallArguments : public ::testing::Test {
protected:
  title_call call_with(std::vector<std::string> texts) {
    arguments.clear();
    for (const auto& text : texts) arguments.emplace_back(new literal_node(text.data(), text.size(), true));
    return title_call(arguments, out, context);
  }
  title_node_list arguments;
  qiv::string_buffer out{"kept"};
  title_context context = title_context::constant_folding();
};

TEST_F(TitleCallArguments, IntegersReadLikeDecimalPrefixesAndSaturate) {
  auto call = call_with({"  42x", "", "abc", "-3", "99999999999999999999", "-99999999999999999999", "+7"});
  EXPECT_EQ(call.eval_arg_int(0), 42);
  EXPECT_EQ(call.eval_arg_int(1), 0);
  EXPECT_EQ(call.eval_arg_int(2), 0);
  EXPECT_EQ(call.eval_arg_int(3), -3);
  EXPECT_EQ(call.eval_arg_int(4), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(call.eval_arg_int(5), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(call.eval_arg_int(6), 7);
  bool truth = false;
  EXPECT_EQ(call.eval_arg_int(9, &truth), 0);
  EXPECT_FALSE(truth);
  EXPECT_STREQ(out.get_ptr(), "kept");
}

TEST_F(TitleCallArguments, CharactersAndLengthsCountCodePoints) {
  auto call = call_with({"\xC3\xA9t\xC3\xA9", ""});
  EXPECT_EQ(call.eval_arg_char(0), 0xE9u);
  EXPECT_EQ(call.eval_arg_char(1), 0u);
  EXPECT_EQ(call.eval_arg_length(0), 3u);
  EXPECT_EQ(call.eval_arg_length(1), 0u);
  EXPECT_STREQ(out.get_ptr(), "kept");
}

}  // namespace

#include "metadata/title_compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_field_provider.h"
#include "foundation/string_buffer.h"
#include "metadata/title_function_table.h"
#include "metadata/title_script.h"

namespace {

title_node_ref compile_raw(const char* text) { return compile_title_text(text, std::strlen(text)); }

std::string run(const char* script) {
  fake_field_provider provider;
  provider.fields = {{"x", "X"}, {"title", "T"}};
  qiv::string_buffer out;
  title_script::compile(script)->evaluate(provider, out);
  return out.get_ptr();
}

// The literal text a script folds to, or "<not literal>".
std::string folded_text(const char* script) {
  auto script_ref = title_script::compile(script);
  auto* literal = dynamic_cast<literal_node*>(script_ref->root().get());
  return literal ? literal->text() : "<not literal>";
}

const title_node_list& call_arguments(const char* script) {
  static title_node_ref keep;
  keep = compile_raw(script);
  auto* unknown = dynamic_cast<unknown_function_node*>(keep.get());
  EXPECT_NE(unknown, nullptr) << script;
  static const title_node_list none;
  return unknown ? unknown->arguments() : none;
}

TEST(TitleCompilerEscapes, DoubledSpecialCharactersStandForThemselves) {
  EXPECT_EQ(folded_text("%%"), "%");
  EXPECT_EQ(folded_text("''"), "'");
  EXPECT_EQ(folded_text("$$"), "$");
  EXPECT_EQ(folded_text("100%% of $$5 isn''t"), "100% of $5 isn't");
}

TEST(TitleCompilerEscapes, QuotedTextLosesEverySpecialMeaning) {
  EXPECT_EQ(folded_text("'[%x%]'"), "[%x%]");
  EXPECT_EQ(folded_text("'$if(a,b)'"), "$if(a,b)");
  EXPECT_EQ(run("'a\nb'"), "a\nb");
}

TEST(TitleCompilerMalformed, CompilesUpToTheFirstError) {
  EXPECT_EQ(run("abc%title"), "abc");
  EXPECT_EQ(run("a)b"), "a");
  EXPECT_EQ(run("a]b"), "a");
  EXPECT_EQ(run("a(b"), "a");
  EXPECT_EQ(run("abc$if"), "abc");
  EXPECT_EQ(run("abc$if (x)"), "abc");
  EXPECT_EQ(run("abc$"), "abc");
  EXPECT_EQ(run("abc[%x%"), "abc");
  EXPECT_EQ(run("abc$put(a,b"), "abc");
  EXPECT_EQ(run("abc'def"), "abc");
  EXPECT_EQ(run("abc'"), "abc");
}

TEST(TitleCompilerMalformed, ErrorInsideABlockEndsOnlyThatBlock) {
  // The inner span stops at its stray parenthesis; the outer one goes on
  // after the bracket whose extent was already found.
  EXPECT_EQ(run("[%x%(y)]z"), "Xz");
  EXPECT_EQ(run("$put(v,%x%(y))$get(v)"), "XX");
}

TEST(TitleCompilerFields, NameIsEveryByteBetweenThePercentSigns) {
  auto node = compile_raw("%a $b(c), [d]%");
  auto* field = dynamic_cast<field_node*>(node.get());
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->name(), "a $b(c), [d]");
}

TEST(TitleCompilerArguments, CommasAndParenthesesSplitAsWritten) {
  EXPECT_EQ(call_arguments("$f()").size(), 0u);
  EXPECT_EQ(call_arguments("$f(,)").size(), 2u);
  EXPECT_EQ(call_arguments("$f(a,)").size(), 2u);
  EXPECT_EQ(call_arguments("$f(a)").size(), 1u);
  EXPECT_EQ(call_arguments("$f( )").size(), 1u);
  EXPECT_EQ(call_arguments("$f(a,[b,c],'d,e')").size(), 3u);
}

TEST(TitleCompilerArguments, ParenthesisedCommaDoesNotSplitAndEmptiesTheArgument) {
  const title_node_list& args = call_arguments("$f(a,(b,c))");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_NE(dynamic_cast<empty_node*>(args[1].get()), nullptr);
}

TEST(TitleCompilerLookup, FunctionNamesIgnoreCase) {
  EXPECT_EQ(run("$PUT(v,1)$Get(V)"), "11");
  EXPECT_NE(dynamic_cast<function_node*>(compile_raw("$GeT(v)").get()), nullptr);
}

TEST(TitleCompilerLookup, NameMissingFromTheTableAsksTheProvider) {
  EXPECT_NE(dynamic_cast<unknown_function_node*>(compile_raw("$nosuch(a)").get()), nullptr);
}

TEST(TitleCompilerLookup, NameWhoseHashCollidesWithABuiltInDoesNotCallIt) {
  const char* collider = "abaaaabbbbbbbbbbaabbaaaaabababbaaaaaaaaa";
  ASSERT_EQ(title_function_hash(collider, std::strlen(collider)), title_function_hash("get", 3));
  EXPECT_EQ(find_title_function(collider, std::strlen(collider)), nullptr);
  EXPECT_EQ(run("$puts(v,1)$abaaaabbbbbbbbbbaabbaaaaabababbaaaaaaaaa(v)"), "[UNKNOWN FUNCTION]");
}

TEST(TitleCompilerScanner, ClosingIsFoundOnlyOutsideNestingAndQuotes) {
  auto find = [](const char* text, const char* stops) { return find_closing(text, std::strlen(text), stops); };
  EXPECT_EQ(find("a(b,c),d", ",)"), 6);
  EXPECT_EQ(find("[x,y]z,", ","), 6);
  EXPECT_EQ(find("',)'x)", ")"), 5);
  EXPECT_EQ(find("'unclosed)", ")"), -1);
  EXPECT_EQ(find("a)b", "]"), -1);
  EXPECT_EQ(find("abc", ")"), -1);
  // Percent signs do not hide a closing character inside a field name.
  EXPECT_EQ(find("%a)b%)", ")"), 2);
}

TEST(TitleCompilerSimplification, FoldedConstantKeepsItsTruth) {
  // A put outside is not constant, but the folded literal inside the
  // sequence must not make an optional block appear.
  fake_field_provider provider;
  qiv::string_buffer out;
  title_script::compile("[a'b'$$c]$puts(v,1)[x$get(v)]")->evaluate(provider, out);
  EXPECT_STREQ(out.get_ptr(), "x1");
}

TEST(TitleCompilerLayout, LineBreaksOutsideQuotesAreIgnored) {
  EXPECT_EQ(run("[%x%\n - ]\r\n%title%"), run("[%x% - ]%title%"));
  EXPECT_EQ(run("$put(\nv,\r\n1)"), "1");
}

TEST(TitleCompilerSimplification, EmptyTextIsAnEmptySequence) {
  auto root = compile_raw("");
  auto* sequence = dynamic_cast<sequence_node*>(root.get());
  ASSERT_NE(sequence, nullptr);
  EXPECT_TRUE(sequence->children().empty());
  EXPECT_EQ(run(""), "");
}

TEST(TitleCompilerSimplification, LiteralOptionalBlockFoldsToFalseEmptyText) {
  auto script = title_script::compile("[abc]");
  auto* literal = dynamic_cast<literal_node*>(script->root().get());
  ASSERT_NE(literal, nullptr);
  EXPECT_EQ(literal->text(), "");
  EXPECT_FALSE(literal->truth());
}

TEST(TitleCompilerSimplification, ConstantRunsMergeAroundFields) {
  auto script = title_script::compile("abc[%x%]def");
  auto* sequence = dynamic_cast<sequence_node*>(script->root().get());
  ASSERT_NE(sequence, nullptr);
  EXPECT_EQ(sequence->children().size(), 3u);

  auto merged = title_script::compile("a'b'$$c%x%d[e]f");
  auto* parts = dynamic_cast<sequence_node*>(merged->root().get());
  ASSERT_NE(parts, nullptr);
  ASSERT_EQ(parts->children().size(), 3u);
  EXPECT_EQ(dynamic_cast<literal_node&>(*parts->children()[0]).text(), "ab$c");
  EXPECT_EQ(dynamic_cast<literal_node&>(*parts->children()[2]).text(), "df");
}

TEST(TitleCompilerSimplification, VariableFunctionsAreNeverFolded) {
  auto script = title_script::compile("$put(v,1)");
  EXPECT_NE(dynamic_cast<function_node*>(script->root().get()), nullptr);
}

}  // namespace

#include "metadata/title_compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "metadata/title_function_table.h"
#include "title_function_test_fixture.h"

namespace {

title_node_ref compile_raw(const char* text) { return compile_title_text(text, std::strlen(text)); }

// The literal text a script folds to, or "<not literal>".
std::string folded_text(const char* script) {
  auto compiled = title_script::compile(script);
  auto* literal = dynamic_cast<literal_node*>(compiled->root().get());
  return literal ? literal->text() : "<not literal>";
}

std::size_t argument_count(const char* script) {
  title_node_ref node = compile_raw(script);
  auto* unknown = dynamic_cast<unknown_function_node*>(node.get());
  return unknown ? unknown->arguments().size() : ~std::size_t(0);
}

using TitleCompiler = TitleFunctionTest;

TEST_F(TitleCompiler, SyntaxAsWritten) {
  expect_texts({
      {"100%% of $$5 isn''t", "100% of $5 isn't"},   // doubled special characters
      {"'[%x%]'", "[%x%]"},                            // quoted text loses every meaning
      {"'$if(a,b)'", "$if(a,b)"},
      {"'a\nb'", "a\nb"},
      {"[%x%\n - ]\r\n%x%", "x - x"},                  // line breaks outside quotes vanish
      {"$put(\nv,\r\n1)", "1"},
      {"$PUT(v,1)$Get(V)", "11"},                      // function names ignore case
      // Malformed text compiles up to its first error.
      {"abc%title", "abc"},
      {"a)b", "a"},
      {"a]b", "a"},
      {"a(b", "a"},
      {"abc$if", "abc"},
      {"abc$if (x)", "abc"},
      {"abc$", "abc"},
      {"abc[%x%", "abc"},
      {"abc$put(a,b", "abc"},
      {"abc'def", "abc"},
      {"abc'", "abc"},
      // An error inside a block ends only that block; the outer span goes on
      // after the bracket whose extent was already found.
      {"[%x%(y)]z", "xz"},
      {"$put(v,%x%(y))$get(v)", "xx"},
      {"", ""},
  });
}

TEST(TitleCompilerNodes, FieldNamesAndArgumentsSplitAsWritten) {
  auto* field = dynamic_cast<field_node*>(compile_raw("%a $b(c), [d]%").get());
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->name(), "a $b(c), [d]");
  const std::pair<const char*, std::size_t> calls[] = {
      {"$f()", 0}, {"$f(,)", 2}, {"$f(a,)", 2}, {"$f(a)", 1}, {"$f( )", 1}, {"$f(a,[b,c],'d,e')", 3},
      {"$f(a,(b,c))", 2},  // the parenthesised comma does not split
  };
  for (const auto& [script, count] : calls) EXPECT_EQ(argument_count(script), count) << script;
  title_node_ref node = compile_raw("$f(a,(b,c))");
  EXPECT_NE(dynamic_cast<empty_node*>(static_cast<unknown_function_node&>(*node).arguments()[1].get()), nullptr);
}

TEST_F(TitleCompiler, NameWhoseHashCollidesWithABuiltInDoesNotCallIt) {
  const char* collider = "abaaaabbbbbbbbbbaabbaaaaabababbaaaaaaaaa";
  ASSERT_EQ(title_function_hash(collider, std::strlen(collider)), title_function_hash("get", 3));
  EXPECT_EQ(find_title_function(collider, std::strlen(collider)), nullptr);
  EXPECT_EQ(run(std::string("$puts(v,1)$") + collider + "(v)"), "[UNKNOWN FUNCTION]");
}

TEST(TitleCompilerScanner, ClosingIsFoundOnlyOutsideNestingAndQuotes) {
  const struct {
    const char* text;
    const char* stops;
    std::ptrdiff_t offset;
  } cases[] = {
      {"a(b,c),d", ",)", 6}, {"[x,y]z,", ",", 6}, {"',)'x)", ")", 5}, {"'unclosed)", ")", -1},
      {"a)b", "]", -1},      {"abc", ")", -1},
      {"%a)b%)", ")", 2},  // percent signs do not hide a closing character
  };
  for (const auto& c : cases) EXPECT_EQ(find_closing(c.text, std::strlen(c.text), c.stops), c.offset) << c.text;
}

TEST_F(TitleCompiler, ConstantsFoldAndKeepTheirTruth) {
  EXPECT_EQ(folded_text("%%"), "%");
  EXPECT_EQ(folded_text("$if(,a,b)"), "b");
  auto block = title_script::compile("[abc]");
  auto* literal = dynamic_cast<literal_node*>(block->root().get());
  ASSERT_NE(literal, nullptr);
  EXPECT_EQ(literal->text(), "");
  EXPECT_FALSE(literal->truth());

  auto merged = title_script::compile("a'b'$$c%x%d[e]f");
  auto* parts = dynamic_cast<sequence_node*>(merged->root().get());
  ASSERT_NE(parts, nullptr);
  ASSERT_EQ(parts->children().size(), 3u);
  EXPECT_EQ(dynamic_cast<literal_node&>(*parts->children()[0]).text(), "ab$c");
  EXPECT_EQ(dynamic_cast<literal_node&>(*parts->children()[2]).text(), "df");

  // Variable functions run on every evaluation, and a folded literal inside
  // a sequence must not make an optional block appear.
  EXPECT_NE(dynamic_cast<function_node*>(title_script::compile("$put(v,1)")->root().get()), nullptr);
  EXPECT_EQ(run("[a'b'$$c]$puts(v,1)[x$get(v)]"), "x1");
}

}  // namespace

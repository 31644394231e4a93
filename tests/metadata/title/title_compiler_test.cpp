#include "metadata/title/title_compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "metadata/title/title_function_table.h"
#include "title_function_test_fixture.h"

namespace {

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
      {"<%a $b(c), [d]%>", "<?>"},                     // a field name is taken as written
      // Constants fold, keeping their truth: a folded literal inside a
      // sequence must not make an optional block appear.
      {"$if(,a,b)[abc]", "b"},
      {"[a'b'$$c]$puts(v,1)[x$get(v)]", "x1"},
  });
}

TEST_F(TitleCompiler, ArgumentsSplitAtTopLevelCommasOnly) {
  const std::pair<const char*, std::size_t> calls[] = {
      {"$f()", 0}, {"$f(,)", 2}, {"$f(a,)", 2}, {"$f(a)", 1}, {"$f( )", 1}, {"$f(a,[b,c],'d,e')", 3},
      {"$f(a,(b,c))", 2},  // the parenthesised comma does not split
  };
  for (const auto& [script, count] : calls) {
    run(script);
    EXPECT_EQ(provider.last_function_args.size(), count) << script;
  }
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

}  // namespace

// No script, however malformed or hostile, may crash the program, hang it or
// make it allocate without bound: scripts come from users and from files.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "title_function_test_fixture.h"

namespace {

const std::vector<std::string> function_names = {
    "stripprefix", "swapprefix", "if", "if2", "if3", "upper", "lower", "trim", "pad", "pad_right", "cut", "padcut",
    "padcut_right", "repeat", "abbr", "caps", "caps2", "longest", "shortest", "iflonger", "ifgreater", "ifequal",
    "num", "dec", "hex", "strchr", "strlchr", "strrchr", "strstr", "len", "len2", "add", "sub", "mul", "div", "mod",
    "xor", "and", "or", "not", "filename", "min", "max", "get", "put", "puts", "null", "replace", "ext", "strcmp",
    "stricmp", "rot13", "roman", "left", "right", "char", "crlf", "tab", "substr", "directory", "directory_path",
    "greater", "longer", "progress", "progress2", "select", "rgb", "hsl", "blend", "transition", "insert", "muldiv",
    "fix_eol", "ansi", "ascii", "crc32", "year", "month", "day_of_month", "date", "time", "nosuchfunction"};

const std::vector<std::string> atoms = {
    "%x%", "%n%", "%empty%", "%missing%", "x", "0", "1", "-1", "7", "255", "2147483647", "-2147483648",
    "4294967296", "9223372036854775807", "-9223372036854775808", "99999999999999999999999", "1000000000",
    "'quoted'", "'", "[", "]", "(", ")", ",", "$", "%", "2004-07-15 12:34:56", "a/b\\c.d", ""};

class script_generator {
public:
  explicit script_generator(unsigned seed) : random_(seed) {}

  std::string script(int depth) {
    std::string text;
    const int parts = pick(4) + 1;
    for (int i = 0; i < parts; ++i) text += depth > 0 && pick(3) == 0 ? call(depth - 1) : optional_or_atom(depth);
    return text;
  }

private:
  int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

  std::string optional_or_atom(int depth) {
    if (depth > 0 && pick(5) == 0) return "[" + script(depth - 1) + "]";
    return atoms[pick(static_cast<int>(atoms.size()))];
  }

  std::string call(int depth) {
    std::string text = "$" + function_names[pick(static_cast<int>(function_names.size()))] + "(";
    const int arguments = pick(6);
    for (int i = 0; i < arguments; ++i) {
      if (i) text += ",";
      text += script(depth);
    }
    if (pick(10) != 0) text += ")";  // sometimes left open
    return text;
  }

  std::mt19937 random_;
};

class TitleScriptFuzz : public TitleFunctionTest {};

TEST_F(TitleScriptFuzz, RandomScriptsEvaluateToBoundedText) {
  script_generator generator(20261206);
  for (int i = 0; i < 3000; ++i) {
    const std::string script = generator.script(4);
    const std::string result = run(script);
    ASSERT_LT(result.size(), 16u << 20) << script;
  }
}

TEST_F(TitleScriptFuzz, DeepNestingNeitherCrashesNorHangs) {
  for (const char* opener : {"$if(", "[", "$upper(", "$repeat(x,"}) {
    std::string script;
    // Far deeper than the thread's stack could follow one level at a time.
    for (int i = 0; i < 100000; ++i) script += opener;
    script += "%x%";
    run(script);
    for (int i = 0; i < 100000; ++i) script += std::string(opener) == "[" ? "]" : ")";
    run(script);
  }
  SUCCEED();
}

// Arguments at and past every cap, and calls whose text multiplies at every
// level of nesting, all stay within the output cap.
TEST_F(TitleScriptFuzz, HostileArgumentsAndMultiplyingNestsStayWithinTheCaps) {
  const auto nest = [](const std::string& open, const std::string& inner, const std::string& close, int levels) {
    std::string script;
    for (int i = 0; i < levels; ++i) script += open;
    script += inner;
    for (int i = 0; i < levels; ++i) script += close;
    return script;
  };
  constexpr std::size_t cap = 1024 * 1024;
  const std::pair<std::string, std::size_t> scripts[] = {  // the script and the most text it may give
      {"$repeat($repeat($repeat(xyz,2147483647),2147483647),2147483647)", cap - 1},
      {"$pad(x,2147483647)$pad_right(x,4294967295)$num(1,2147483647)$hex(1,2147483647)", cap - 1},
      {"$progress(1,2,2147483647,a,b)$progress2(1,2,2147483647,a,b)", cap - 1},
      {"$div(-9223372036854775808,-1)$mod(-9223372036854775808,-1)$muldiv(-9223372036854775808,-1,1)", cap - 1},
      {"$repeat(,4294967295)$insert(x,y,-1)$substr(x,-5,4294967295)$left(x,-1)$right(x,-1)", cap - 1},
      {"$blend(0,FFFFFF,-9223372036854775808,9223372036854775807)$transition(abc,0,FFFFFF)", cap - 1},
      {"$roman(4294967295)$char(4294967295)$char(-1)", cap - 1},
      {nest("$replace(", "x", ",x,xx)", 40), cap},  // doubles at every level
      {nest("$progress(0,1,256,a,", "b", ")", 6), cap},  // 256 copies at every level
      {nest("$progress(%n%,1,256,", "%x%", ",b)", 6), cap},  // the same from track data
      {"$puts(a,x)" + nest("", "", "$puts(a,$get(a)$get(a))", 40) + "$get(a)", cap},  // a variable doubled
  };
  for (const auto& [script, at_most] : scripts) {
    std::string text;
    ASSERT_NO_THROW(text = run(script)) << script.substr(0, 60);
    EXPECT_LE(text.size(), at_most) << script.substr(0, 60);
  }
}

}  // namespace

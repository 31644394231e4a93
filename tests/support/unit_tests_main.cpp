// The entry of a layer's merged unit-test executable, which holds the tests
// of many source files. --source=<concept>_test.cpp runs only the tests that
// file defines, so that ctest runs and names each file's tests as a test of
// its own. GoogleTest's own flags work as under gtest_main; a --gtest_filter
// narrows the file's tests further.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view source_option = "--source=";

// GoogleTest's wildcards: '*' any run of characters, '?' any one.
bool wildcard_matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == '*')
    return wildcard_matches(pattern.substr(1), name) || (!name.empty() && wildcard_matches(pattern, name.substr(1)));
  if (name.empty() || (pattern.front() != '?' && pattern.front() != name.front())) return false;
  return wildcard_matches(pattern.substr(1), name.substr(1));
}

bool any_pattern_matches(std::string_view patterns, std::string_view name) {
  while (true) {
    const std::size_t colon = patterns.find(':');
    if (wildcard_matches(patterns.substr(0, colon), name)) return true;
    if (colon == std::string_view::npos) return false;
    patterns.remove_prefix(colon + 1);
  }
}

// Whether a --gtest_filter ("positive patterns[-negative patterns]") selects
// the full test name; an empty positive part selects every test.
bool filter_selects(std::string_view filter, std::string_view name) {
  const std::size_t dash = filter.find('-');
  const std::string_view positive = filter.substr(0, dash);
  if (!positive.empty() && !any_pattern_matches(positive, name)) return false;
  return dash == std::string_view::npos || !any_pattern_matches(filter.substr(dash + 1), name);
}

// The whole last component only: "fast_sort_test.cpp" is not "sort_test.cpp".
bool path_names_file(std::string_view path, std::string_view file) {
  if (!path.ends_with(file)) return false;
  if (path.size() == file.size()) return true;
  const char before = path[path.size() - file.size() - 1];
  return before == '/' || before == '\\';
}

// Narrows GoogleTest's filter to the tests `file` defines; false when it
// defines none, so that a renamed file cannot pass by running nothing.
bool run_only_tests_of(std::string_view file) {
  const std::string filter = GTEST_FLAG_GET(filter);
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  std::string names;
  bool file_has_tests = false;
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& test = *suite.GetTestInfo(t);
      if (!path_names_file(test.file(), file)) continue;
      file_has_tests = true;
      const std::string name = std::string(suite.name()) + "." + test.name();
      if (!filter_selects(filter, name)) continue;
      if (!names.empty()) names += ':';
      names += name;
    }
  }
  // "-*": the user's own filter left none of the file's tests.
  GTEST_FLAG_SET(filter, names.empty() ? "-*" : names);
  return file_has_tests;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!argument.starts_with(source_option)) continue;
    const std::string_view file = argument.substr(source_option.size());
    if (!run_only_tests_of(file)) {
      std::fprintf(stderr, "No test of this executable is defined in a file named \"%.*s\".\n",
                   static_cast<int>(file.size()), file.data());
      return 1;
    }
  }
  return RUN_ALL_TESTS();
}

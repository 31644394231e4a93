// Which language zorv.exe speaks: the user's override file, "/lang", and the
// UI language. The texts are watched where a user sees one early: the prompt
// for a damaged "config.dat", which quotes the "exception_io_data" text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/resource_data.h"
#include "io/localization.h"
#include "support/program_copy.h"

namespace {

using test_support::program_options;
using test_support::program_result;
using test_support::run_program;

// The start-up prompt for a damaged configuration file in the language of a
// built-in table, read from the tables this test carries too.
std::wstring prompt_in(std::uint16_t table) {
  const auto bytes = load_resource_data(GetModuleHandleW(nullptr), MAKEINTRESOURCEA(table), "TEXT");
  localization_loader loader;
  localization_parse(loader, static_cast<const char*>(bytes->data()), bytes->size());
  const char* text = loader.table.find("exception_io_data");
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0) - 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), static_cast<int>(wide.size()) + 1);
  return L"Error reading configuration file (" + wide + L").\nContinue?";
}

constexpr std::uint16_t english_table = 293;
constexpr std::uint16_t german_table = 296;

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
const std::string xyz_override =
    declaration + "<localization name=\"Test\"><entry id=\"exception_io_data\" text=\"XYZ\"/></localization>\n";

// A portable copy of the program with a damaged "config.dat", so that start-up
// asks; the answer Cancel ends it there.
class damaged_copy : public test_support::program_copy {
public:
  damaged_copy() {
    create_profile();
    test_support::write_file(config(), "damaged");
  }
  void write_override(const std::string& content) const {
    test_support::write_file(profile() + L"\\zorv-language.xml", content);
  }

  // The text of the one prompt the start-up shows.
  std::wstring prompt(const std::wstring& arguments = L"") const {
    program_options options = test_support::options_for(exe(), arguments);
    options.message_box_answer = IDCANCEL;
    options.on_window = [](HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); };
    const program_result result = run_program(options);
    EXPECT_EQ(result.exit_code, 0u) << result.debug_output;
    if (result.message_boxes.size() != 1) {
      ADD_FAILURE() << result.message_boxes.size() << " message boxes; " << result.debug_output;
      return L"";
    }
    return result.message_boxes[0].text;
  }
};

class LanguageChoice : public ::testing::Test {
protected:
  void SetUp() override {
    if (test_support::built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  }
};

}  // namespace

TEST_F(LanguageChoice, TheOverrideFileRedefinesTexts) {
  damaged_copy copy;
  copy.write_override(xyz_override);
  EXPECT_EQ(copy.prompt(), L"Error reading configuration file (XYZ).\nContinue?");
}

TEST_F(LanguageChoice, LangOptionForcesItsTableAndIgnoresTheOverride) {
  damaged_copy copy;
  copy.write_override(xyz_override);
  EXPECT_EQ(copy.prompt(L"/lang 1033"), prompt_in(english_table));
  EXPECT_EQ(copy.prompt(L"/lang 0x409"), prompt_in(english_table));
  EXPECT_EQ(copy.prompt(L"/lang 0x407"), prompt_in(german_table));
}

TEST_F(LanguageChoice, RefusedOverrideFilesFallBackToTheBuiltinTable) {
  const std::string xyz_entry = "<entry id=\"exception_io_data\" text=\"XYZ\"/>";
  std::string oversized = xyz_override + "<!--";
  oversized.append(static_cast<std::size_t>(localization_override_max_size) - oversized.size() + 1 - 3, 'x');
  oversized += "-->";
  const std::pair<const char*, std::string> cases[] = {
      {"over the size limit", oversized},
      {"byte-order mark", "\xEF\xBB\xBF" + xyz_override},
      {"another encoding",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><localization>" + xyz_entry + "</localization>"},
      {"no localization root", declaration + "<localisation>" + xyz_entry + "</localisation>"},
  };
  const std::wstring builtin = damaged_copy().prompt();
  ASSERT_EQ(builtin.find(L"XYZ"), std::wstring::npos);
  for (const auto& [name, content] : cases) {
    damaged_copy copy;
    copy.write_override(content);
    EXPECT_EQ(copy.prompt(), builtin) << name;
  }
}

// Run by its own ctest entry in a German locale (see CMakeLists.txt): the
// program inherits the locale from this test process.
TEST_F(LanguageChoice, TheUserInterfaceLanguageChoosesTheBuiltinTable) {
  if ((GetUserDefaultUILanguage() & 0x3FF) != 0x07) GTEST_SKIP() << "needs a German user interface language";
  damaged_copy copy;
  EXPECT_EQ(copy.prompt(), prompt_in(german_table));
}

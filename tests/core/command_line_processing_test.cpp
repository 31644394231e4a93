#include "core/command_line_processing.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/builtin_command_line_handler.h"
#include "core/command_line.h"
#include "core/command_dispatcher.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

using texts = std::vector<std::string>;


TEST(CommandLineTokens, SpacesSeparateAndQuotesGroupWithoutBeingKept) {
  const struct {
    const char* line;
    texts tokens;
    const char* why;
  } cases[] = {
      {"\"C:\\Program Files\\zorv.exe\" \"C:\\My Music\\a b.flac\" /play",
       {"C:\\Program Files\\zorv.exe", "C:\\My Music\\a b.flac", "/play"}, "quoted paths"},
      {"zorv a\"b c\"d", {"zorv", "ab cd"}, "a quoted run inside a token joins it"},
      {"zorv \"x y", {"zorv", "x y"}, "an unterminated quote takes the rest of the line"},
      {"", {}, "nothing"},
      {"zorv \"\" x", {"zorv", "", "x"}, "empty quotes are a token"},
      {" zorv", {"", "zorv"}, "a leading space ends an empty first token"},
      {"zorv   x   ", {"zorv", "x"}, "a run of spaces is one separator"},
      {"zorv a\tb", {"zorv", "a\tb"}, "only the space separates"},
  };
  for (const auto& c : cases) {
    texts tokens;
    for (const auto& token : command_line::tokenize(c.line)) tokens.emplace_back(token.get_ptr());
    EXPECT_EQ(tokens, c.tokens) << c.why;
  }
  // Exact and case-sensitive, never the program (token 0), never with '-'.
  const auto tokens = command_line::tokenize("/quiet /lang 0x409 /QUIET /hide2 /hide -play");
  const std::pair<const char*, int> options[] = {{"quiet", -1}, {"lang", 1}, {"QUIET", 3}, {"hide", 5}, {"play", -1}};
  for (const auto& [name, index] : options) EXPECT_EQ(command_line::find_option(tokens, name), index) << name;
}

// Records what it is given; knows "/known", and "/add" and "/help" take files.
struct recording_handler : command_line_handler {
  result process_option(const char* option) override {
    events.push_back(std::string("option ") + option);
    const auto answer = answers.find(option);
    return answer == answers.end() ? not_handled : answer->second;
  }
  void process_parameter(const char* path) override { events.push_back(std::string("parameter ") + path); }
  void end_option() override { events.push_back("end"); }
  bool wants_folders_whole() override { return false; }
  static inline texts events;
  static inline const std::map<std::string, result> answers = {
      {"/known", handled}, {"/add", handled_takes_parameters}, {"/help", handled_takes_parameters}};
};

struct recording_popup : popup_message {
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    shown.push_back(std::string(caption) + ": " + text);
  }
  static inline texts shown;
};

// Sees which commands the options ask for; offers none.
struct recording_dispatcher : command_dispatcher {
  bool find_context_command(const GUID&, service_handle&, std::uint32_t&) override { return false; }
  bool find_group_command(const GUID& command, service_handle&, std::uint32_t&) override {
    wchar_t text[40] = {};
    StringFromGUID2(command, text, 40);
    commands.emplace_back(text, text + 38);
    return false;
  }
  static inline texts commands;
};

class CommandLineProcessing : public ::testing::Test {
protected:
  void SetUp() override {
    recording_handler::events.clear();
    recording_popup::shown.clear();
    recording_dispatcher::commands.clear();
    app::state() = app::process_state();
    service_registry::build(list_);
    app::state().registry_ready = true;
  }
  void TearDown() override {
    service_registry::free();
    app::state() = app::process_state();
  }

  texts items_of(const char* text, bool is_own = true) {
    command_line_items items;
    activated_ = command_line::run(text, is_own, "C:\\Music", items);
    texts result;
    for (const auto& item : items) result.emplace_back(item.get_ptr());
    return result;
  }

  service_factory* list_ = nullptr;
  single_factory<sample_tag_service> tags_{&list_};
  single_factory<recording_popup> popup_{&list_};
  single_factory<recording_dispatcher> dispatcher_{&list_};
  single_factory<recording_handler> recording_{&list_};
  single_factory<builtin_command_line_handler> builtin_{&list_};
  bool activated_ = false;
};

TEST_F(CommandLineProcessing, UnknownOptionIsReportedAndTheRestOfTheLineStillRuns) {
  EXPECT_EQ(items_of("zorv /known /bogus \"\" a.mp3 -known /quiet /QUIET /MakeReadOnly"), texts{"C:\\Music\\a.mp3"});
  EXPECT_EQ(recording_handler::events, (texts{"option /known", "option /bogus", "option -known"}));
  EXPECT_EQ(recording_popup::shown,
            (texts{"Error: unknown commandline parameter: /bogus", "Error: unknown commandline parameter: -known"}));
}

TEST_F(CommandLineProcessing, HandlerThatTakesParametersGetsTheFilesUntilTheNextOption) {
  EXPECT_EQ(items_of("zorv /add a.mp3 sub/b.mp3 /known c.mp3 /add d.mp3 /help e.mp3"),
            (texts{"C:\\Music\\c.mp3", "C:\\Music\\e.mp3"}));
  // "/help" is offered to every handler but binds none of them.
  EXPECT_EQ(recording_handler::events,
            (texts{"option /add", "parameter C:\\Music\\a.mp3", "parameter C:\\Music\\sub\\b.mp3", "end",
                   "option /known", "option /add", "parameter C:\\Music\\d.mp3", "end", "option /help"}));
}

TEST_F(CommandLineProcessing, LanguageValueIsNoFileAndTheFilesAfterItAreKept) {
  EXPECT_EQ(items_of("zorv /lang 1033 a.mp3 /LANG 0x409 b.mp3 c.mp3 /lang /bogus d.mp3 /lang"),
            (texts{"C:\\Music\\a.mp3", "C:\\Music\\b.mp3", "C:\\Music\\c.mp3", "C:\\Music\\d.mp3"}));
  // An option right after "/lang" is not its value.
  EXPECT_EQ(recording_handler::events, texts{"option /bogus"});
  EXPECT_EQ(recording_popup::shown, texts{"Error: unknown commandline parameter: /bogus"});
}

TEST_F(CommandLineProcessing, BuiltInOptionsRunTheirMenuCommandsWhateverTheirCase) {
  EXPECT_TRUE(items_of("zorv /PLAY /pause /Prev /next /stop /exit /QUIT /show /hide -play").empty());
  EXPECT_EQ(recording_dispatcher::commands,
            (texts{"{D3F83B15-D4AF-4586-8BD0-4EA415E31FE1}", "{FCEF5262-7FA5-452E-A527-C14E0CB582DE}",
                   "{059C4566-4708-4EBF-8139-6A8EA5A9DFC8}", "{E58895A0-A2F0-45B6-8799-1440E4DB7284}",
                   "{C3378028-165F-4374-966C-2FA2E0FCD3A8}", "{6D38C73A-15D8-472C-8E68-6F946B82ECB4}",
                   "{6D38C73A-15D8-472C-8E68-6F946B82ECB4}", "{90500F09-F16F-415E-A047-AC5045C95FFE}",
                   "{13C17E8D-0D6F-41A4-B24A-59371043E925}"}));
  EXPECT_EQ(recording_popup::shown, texts{"Error: unknown commandline parameter: -play"});
}

TEST_F(CommandLineProcessing, UserInterfaceComesForwardForFilesOrABareSecondStart) {
  const struct {
    const char* text;
    bool is_own;
    bool activated;
  } cases[] = {{"zorv", false, true},        {"zorv /known", false, false}, {"zorv /known a.mp3", false, true},
               {"zorv", true, false},        {"zorv a.mp3", true, true}};
  for (const auto& c : cases) {
    items_of(c.text, c.is_own);
    EXPECT_EQ(activated_, c.activated) << c.text << (c.is_own ? " (own)" : " (handed over)");
  }
}

}  // namespace

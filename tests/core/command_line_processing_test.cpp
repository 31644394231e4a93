#include "core/command_line_processing.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/builtin_command_line_handler.h"
#include "core/command_dispatcher.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

using texts = std::vector<std::string>;


// Records what it is given; answers the options the test names.
class recording_handler : public command_line_handler {
public:
  result process_option(const char* option) override {
    events.push_back(std::string("option ") + option);
    const auto answer = answers.find(option);
    return answer == answers.end() ? not_handled : answer->second;
  }
  void process_parameter(const char* path) override { events.push_back(std::string("parameter ") + path); }
  void end_option() override { events.push_back("end"); }
  bool wants_folders_whole() override { return false; }
  static inline texts events;
  static inline std::map<std::string, result> answers;
};

class recording_popup : public popup_message {
public:
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    shown.push_back(std::string(caption) + ": " + text);
  }
  static inline texts shown;
};

// Sees which commands the options ask for; offers none.
class recording_dispatcher : public command_dispatcher {
public:
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
    recording_handler::answers = {{"/known", command_line_handler::handled},
                                  {"/add", command_line_handler::handled_takes_parameters},
                                  {"/help", command_line_handler::handled_takes_parameters}};
    recording_popup::shown.clear();
    recording_dispatcher::commands.clear();
    app::state() = app::process_state();
  }
  void TearDown() override {
    service_registry::free();
    app::state() = app::process_state();
  }

  // The program's registry holds either the recording handler or the built-in one.
  void build_registry(bool builtin) {
    if (builtin) builtin_ = std::make_unique<single_factory<builtin_command_line_handler>>(&list_);
    else recording_ = std::make_unique<single_factory<recording_handler>>(&list_);
    service_registry::build(list_);
    app::state().registry_ready = true;
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
  std::unique_ptr<single_factory<recording_handler>> recording_;
  std::unique_ptr<single_factory<builtin_command_line_handler>> builtin_;
  bool activated_ = false;
};

TEST_F(CommandLineProcessing, UnknownOptionIsReportedAndTheRestOfTheLineStillRuns) {
  build_registry(false);
  EXPECT_EQ(items_of("zorv /known /bogus \"\" a.mp3 -known /quiet /QUIET /MakeReadOnly"), texts{"C:\\Music\\a.mp3"});
  EXPECT_EQ(recording_handler::events, (texts{"option /known", "option /bogus", "option -known"}));
  EXPECT_EQ(recording_popup::shown,
            (texts{"Error: unknown commandline parameter: /bogus", "Error: unknown commandline parameter: -known"}));
}

TEST_F(CommandLineProcessing, HandlerThatTakesParametersGetsTheFilesUntilTheNextOption) {
  build_registry(false);
  EXPECT_EQ(items_of("zorv /add a.mp3 sub/b.mp3 /known c.mp3 /add d.mp3 /help e.mp3"),
            (texts{"C:\\Music\\c.mp3", "C:\\Music\\e.mp3"}));
  // "/help" is offered to every handler but binds none of them.
  EXPECT_EQ(recording_handler::events,
            (texts{"option /add", "parameter C:\\Music\\a.mp3", "parameter C:\\Music\\sub\\b.mp3", "end",
                   "option /known", "option /add", "parameter C:\\Music\\d.mp3", "end", "option /help"}));
}

TEST_F(CommandLineProcessing, LanguageValueIsNoFileAndTheFilesAfterItAreKept) {
  build_registry(false);
  EXPECT_EQ(items_of("zorv /lang 1033 a.mp3 /LANG 0x409 b.mp3 c.mp3"),
            (texts{"C:\\Music\\a.mp3", "C:\\Music\\b.mp3", "C:\\Music\\c.mp3"}));
  EXPECT_TRUE(recording_handler::events.empty());
  // An option right after "/lang" is not its value.
  EXPECT_EQ(items_of("zorv /lang /bogus a.mp3 /lang"), texts{"C:\\Music\\a.mp3"});
  EXPECT_EQ(recording_popup::shown, texts{"Error: unknown commandline parameter: /bogus"});
}

TEST_F(CommandLineProcessing, BuiltInOptionsRunTheirMenuCommandsWhateverTheirCase) {
  build_registry(true);
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
  build_registry(false);
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

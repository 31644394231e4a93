#include "core/command_line_processing.h"

#include "core/app_state.h"
#include "core/command_line.h"
#include "core/command_line_handler.h"
#include "core/command_line_locations.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "core/ui_control.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"

namespace command_line {

namespace {

bool is_option(const char* token) { return token[0] == '/' || token[0] == '-'; }

bool option_is(const char* token, const char* name) { return qiv::compare_nocase(token, name) == 0; }

class token_run : private location_sink {
public:
  token_run(command_line_items& items) : items_(items), handlers_(service_list_t<command_line_handler>()) {}

  // The current handler has been ended before.
  void option(const char* token) {
    if (option_is(token, "/help") || option_is(token, "/?")) {
      // Every handler may print its own help; none of them takes it.
      for (auto& handler : handlers_) handler->process_option(token);
      return;
    }
    for (auto& handler : handlers_) {
      const command_line_handler::result answer = handler->process_option(token);
      if (answer == command_line_handler::handled) return;
      if (answer == command_line_handler::handled_takes_parameters) {
        current_ = handler;
        return;
      }
    }
    qiv::string_buffer text("unknown commandline parameter: ");
    text.add_c_str(token);
    popup_message_show(text.get_ptr(), "Error");
  }

  void location(const char* token, const char* directory) {
    qiv::string_buffer resolved;
    resolve_location(token, directory, resolved);
    expand_location(resolved.get_ptr(), !current_ || current_->wants_folders_whole(), *this);
  }

  void end_current() {
    if (!current_) return;
    service_ptr<command_line_handler> ending = std::move(current_);
    ending->end_option();
  }

private:
  void add(const char* path) override {
    qiv::string_buffer canonical;
    canonicalize_path(path, canonical);
    if (current_) current_->process_parameter(canonical.get_ptr());
    else items_.append(qiv::string_small(canonical.get_ptr()));
  }

  command_line_items& items_;
  qiv::array<service_ptr<command_line_handler>> handlers_;
  service_ptr<command_line_handler> current_;
};

}  // namespace

bool run(const char* text, bool is_own, const char* directory, command_line_items& items) {
  const bool was_empty = items.is_empty();
  const token_list tokens = tokenize(text);
  // A second start with nothing to hand over only asks to be shown.
  const bool activate = !is_own && tokens.get_count() <= 1;
  token_run handling(items);
  for (std::uint32_t i = 1; i < tokens.get_count(); ++i) {
    const char* token = tokens[i].get_ptr();
    if (token[0] == '\0') continue;
    if (!is_option(token)) {
      handling.location(token, directory);
      continue;
    }
    handling.end_current();
    // Start-up has read these already; they mean nothing here.
    if (option_is(token, "/quiet") || option_is(token, "/makereadonly")) continue;
    if (option_is(token, "/lang")) {
      // Start-up read the language from the one token after "/lang": that
      // token is its value, not a file, and the files after it are the
      // user's again.
      if (i + 1 < tokens.get_count() && !is_option(tokens[i + 1].get_ptr())) ++i;
      continue;
    }
    handling.option(token);
  }
  handling.end_current();
  return (was_empty && !items.is_empty()) || activate;
}

void process(const char* text, bool is_own, const char* directory) {
  const app::process_state& s = app::state();
  if (!s.registry_ready) return;
  command_line_items items;
  const bool activate = run(text, is_own, directory, items);
  if (activate)
    for (auto& control : service_list_t<ui_control>()) control->activate();
  if (!items.is_empty() && s.ui_main_window != nullptr) nav_open_locations(s.ui_main_window, items);
}

}  // namespace command_line

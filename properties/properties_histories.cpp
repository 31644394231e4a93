#include "properties/properties_histories.h"

#include "core/config_item_registrations.h"
#include "foundation/string_buffer.h"

namespace {

class locked_text_history_store final : public value_history_store {
public:
  explicit locked_text_history_store(config_locked_text& item) noexcept : item_(item) {}
  std::string get_text() const override {
    qiv::string_buffer text;
    item_.get(text);
    return text.get_ptr();
  }
  void set_text(const std::string& text) override { item_.set(text.c_str()); }

private:
  config_locked_text& item_;
};

}  // namespace

value_history& field_name_history() {
  static locked_text_history_store store(config::properties_standard_fields);
  static value_history history(store, 64);
  return history;
}

value_history& autofill_pattern_history() {
  static config_text_history_store store(config::autofill_pattern);
  static value_history history(store, 10);
  return history;
}
